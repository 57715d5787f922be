// The report view: the report's text, or windows of its lines, with places found and marked.

// Text is laid out in pieces, only when on screen; header lines are kept whole, dump rows
// wrapped between items when asked; a place is found by line and column, and from a click.

import {count} from './numbers.js';

// Text is laid out in pieces of about this many characters, each ending at a line end.
const kPieceChars = 32 << 10;
// Every dump section starts on the line after this.
const kDumpStart = '\n === Bitmap Data';
// The widths of the dumps' items, in characters: hex bytes, bit pictures, translated colours,
// red.green.blue triples.
const kItemWidths = [3, 8, 9, 14];

// The length of text in UTF-8, without encoding it: the report is ASCII but for file names.
function utf8Length(text) {
  let bytes = text.length;
  for (let i = 0; i < text.length; i += 1) {
    const code = text.charCodeAt(i);
    if (code >= 0x80) bytes += code >= 0x800 && (code < 0xD800 || code > 0xDFFF) ? 2 : 1;
  }
  return bytes;
}

function countLineEnds(text, end = text.length) {
  let ends = 0;
  for (let at = text.indexOf('\n'); at >= 0 && at < end; at = text.indexOf('\n', at + 1)) {
    ends += 1;
  }
  return ends;
}

export class ReportView {
  constructor(pre, note, wrapSwitch) {
    this.pre = pre;
    this.note = note;
    this.wrapSwitch = wrapSwitch;
    this.charWidth = 0;
    this.head = null;  // the pieces of the report's start while a window is shown
    this.dumpLines = [];  // the line each dump's title is on, once known
    wrapSwitch.addEventListener('change', () => this.applyWrap());
    new ResizeObserver(() => this.fitRows()).observe(pre);
    this.applyWrap();
    this.reset();
  }

  reset() {
    this.pre.replaceChildren();
    this.pre.removeAttribute('tabindex');
    this.note.replaceChildren();
    this.note.hidden = true;
    this.pending = '';
    this.shownBytes = 0;  // bytes of the report laid out
    this.itemChars = [];
    this.dumps = 0;  // dump sections begun so far
    this.firstLine = 1;  // the line the first piece starts with
    this.nextLine = 1;  // the line the next piece starts with
    this.head = null;
    this.dumpLines = [];
    CSS.highlights?.delete('quillfen-line');
  }

  // The dumps the core makes of the file ([{itemChars}], in order), as its header says.
  setDumps(dumps) {
    this.itemChars = dumps.map((dump) => dump.itemChars);
  }

  // The lines of the dumps' titles, from the inspector: a window that starts inside a dump
  // knows its items' width from them.
  setDumpLines(titleLines) {
    this.dumpLines = titleLines;
  }

  append(text) {
    let rest = this.pending + text;
    for (;;) {
      const start = rest.indexOf(kDumpStart);
      if (start < 0) break;
      this.emitLines(rest.slice(0, start + 1), true);
      this.dumps += 1;
      rest = rest.slice(start + 1);
    }
    this.pending = this.emitLines(rest, false);
  }

  // The run is over. cut: the report went on past what was shown, which then ends at its last
  // whole line; cancelled: it stops where the run was cancelled.
  end({cut = false, cancelled = false, reportLength = 0} = {}) {
    if (cut) {
      const lineEnd = this.pending.lastIndexOf('\n') + 1;
      this.emitLines(this.pending.slice(0, lineEnd), true);
      this.say(`Shown: the first ${count(this.shownBytes)} bytes of the report's ` +
               `${count(reportLength)}, up to the end of a line. Save report writes all of it.`);
    } else {
      this.emitLines(this.pending, true);
    }
    this.pending = '';
    this.cut = cut;
    this.endNote = this.note.textContent;
    if (cancelled) this.say('Cancelled: the report stops here, where its run was stopped.');
  }

  say(text, action = null) {
    this.note.replaceChildren(text);
    if (action !== null) {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = action.label;
      button.addEventListener('click', action.run);
      this.note.append(' ', button);
    }
    this.note.hidden = false;
  }

  // Lays text out in pieces that end at line ends; with whole, the last piece takes what is
  // left. Returns what is left.
  emitLines(text, whole) {
    let from = 0;
    for (;;) {
      let cut = text.lastIndexOf('\n', from + kPieceChars) + 1;
      if (cut <= from) cut = text.indexOf('\n', from + kPieceChars) + 1;
      if (cut <= from && whole && from < text.length) cut = text.length;
      if (cut <= from) break;
      this.addPiece(text.slice(from, cut));
      from = cut;
    }
    return text.slice(from);
  }

  addPiece(text) {
    const piece = document.createElement('span');
    piece.textContent = text;
    piece.dataset.line = String(this.nextLine);
    this.nextLine += countLineEnds(text);
    this.shownBytes += utf8Length(text);
    const itemChars = this.dumps > 0 ? this.itemChars[this.dumps - 1] : undefined;
    if (itemChars !== undefined) {
      piece.className = 'dump';
      piece.dataset.item = String(itemChars);
    }
    this.pre.append(piece);
    this.pre.tabIndex = 0;
  }

  // Windows of the report's lines ([{firstLine, text}], in order) in place of what is shown;
  // the report's start comes back with showStart(). Where lines are left out between windows,
  // the next window's first piece says so, in generated content outside the text.
  showWindows(windows, lastReportLine) {
    if (this.head === null) {
      this.head = [...this.pre.children];
      this.headNote = this.note.hidden ? '' : this.note.textContent;
    }
    this.pre.replaceChildren();
    this.shownBytes = 0;
    const spans = [];
    for (const {firstLine, text} of windows) {
      const first = this.pre.children.length;
      this.nextLine = firstLine;
      this.dumps = this.dumpLines.filter((titleLine) => titleLine <= firstLine).length;
      this.pending = '';
      this.append(text);
      this.emitLines(this.pending, true);
      this.pending = '';
      const piece = this.pre.children[first];
      if (piece !== undefined && first > 0) {
        piece.classList.add('gap');
        piece.dataset.gap = `lines ${count(spans.at(-1)[1] + 1)} to ${count(firstLine - 1)} ` +
                            'not shown';
      }
      spans.push([firstLine, this.lastLine()]);
    }
    this.firstLine = spans.length > 0 ? spans[0][0] : 1;
    const shown = spans.map(([from, to]) => `${count(from)} to ${count(to)}`).join(' and ');
    this.say(`Shown: lines ${shown} of the report's ${count(lastReportLine)}, around the ` +
             'selection.', {label: 'Show the report\'s start', run: () => this.showStart()});
  }

  showStart() {
    if (this.head === null) return;
    this.pre.replaceChildren(...this.head);
    this.head = null;
    this.firstLine = 1;
    this.nextLine = 1 + [...this.pre.children].reduce((lines, piece) =>
      lines + countLineEnds(piece.textContent), 0);
    if (this.headNote) this.say(this.headNote);
    else this.note.hidden = true;
    this.onShowStart?.();
  }

  // The last line shown in full.
  lastLine() {
    const last = this.pre.lastElementChild;
    return last === null || last.textContent.endsWith('\n') ? this.nextLine - 1 : this.nextLine;
  }

  shows(line) {
    if (this.pre.children.length === 0 || line < this.firstLine || line > this.lastLine()) {
      return false;
    }
    // Between windows, lines are left out.
    const piece = this.pieceOf(line);
    const text = piece.textContent;
    const lastInPiece = Number(piece.dataset.line) + countLineEnds(text) -
                        (text.endsWith('\n') ? 1 : 0);
    return line <= lastInPiece;
  }

  // The piece that holds line, by the line each starts with.
  pieceOf(line) {
    const pieces = this.pre.children;
    let low = 0;
    let high = pieces.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (Number(pieces[middle].dataset.line) <= line) low = middle;
      else high = middle - 1;
    }
    return pieces[low];
  }

  // The text node and offset in it of line's column, or null when the line is not shown.
  locate(line, column) {
    if (!this.shows(line)) return null;
    const piece = this.pieceOf(line);
    const text = piece.textContent;
    let at = 0;
    for (let l = Number(piece.dataset.line); l < line; l += 1) at = text.indexOf('\n', at) + 1;
    at += column;
    for (const node of textNodes(piece)) {
      if (at <= node.data.length) return {node, offset: at};
      at -= node.data.length;
    }
    return null;
  }

  // The line and column of a point in the text (a node and an offset in it).
  position(node, offset) {
    const piece = node.parentElement?.closest('#report > span');
    if (!piece) return null;
    let at = offset;
    for (const other of textNodes(piece)) {
      if (other === node) break;
      at += other.data.length;
    }
    const text = piece.textContent;
    const lineStart = text.lastIndexOf('\n', at - 1) + 1;
    return {line: Number(piece.dataset.line) + countLineEnds(text, lineStart), column: at - lineStart};
  }

  // Marks chars characters at line, column: a mark element whose data-line is the line.
  mark(line, column, chars) {
    const from = this.locate(line, column);
    if (from === null) return null;
    const range = document.createRange();
    range.setStart(from.node, from.offset);
    range.setEnd(from.node, Math.min(from.node.data.length, from.offset + chars));
    const mark = document.createElement('mark');
    mark.dataset.line = String(line);
    range.surroundContents(mark);
    return mark;
  }

  clearMarks() {
    for (const mark of this.pre.querySelectorAll('mark')) {
      const piece = mark.parentElement;
      mark.replaceWith(...mark.childNodes);
      piece.normalize();
    }
    CSS.highlights?.delete('quillfen-line');
  }

  // Lights up a whole line, without changing the text: for header lines and table rows.
  highlightLine(line) {
    CSS.highlights?.delete('quillfen-line');
    const from = this.locate(line, 0);
    if (from === null || !CSS.highlights) return null;
    const range = document.createRange();
    range.setStart(from.node, from.offset);
    const end = from.node.data.indexOf('\n', from.offset);
    range.setEnd(from.node, end < 0 ? from.node.data.length : end);
    CSS.highlights.set('quillfen-line', new Highlight(range));
    return range;
  }

  applyWrap() {
    this.pre.classList.toggle('wrap', this.wrapSwitch.checked);
    this.fitRows();
  }

  // How many whole items of each width fit on a line: a wrapped dump row breaks only between
  // items, never inside one.
  fitRows() {
    if (!this.wrapSwitch.checked) return;
    if (this.charWidth === 0) {
      const probe = document.createElement('span');
      probe.className = 'probe';
      probe.textContent = '0'.repeat(100);
      this.pre.append(probe);
      this.charWidth = probe.getBoundingClientRect().width / 100;
      probe.remove();
      if (this.charWidth === 0) return;
    }
    const style = getComputedStyle(this.pre);
    const inner = this.pre.clientWidth - parseFloat(style.paddingLeft) -
                  parseFloat(style.paddingRight);
    // One column for the row's "[" hanging before the others, and one to spare.
    const columns = Math.floor(inner / this.charWidth) - 2;
    for (const width of kItemWidths) {
      const fit = Math.max(1, Math.floor(columns / width)) * width;
      this.pre.style.setProperty(`--fit-${width}`, String(fit));
    }
  }
}

function textNodes(element) {
  const nodes = [];
  const walker = document.createTreeWalker(element, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node !== null; node = walker.nextNode()) nodes.push(node);
  return nodes;
}
