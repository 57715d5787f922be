// The report view: the report's text, or excerpts of its lines, with places found and marked.

// Text is laid out in pieces (report_pieces.js), only when on screen; header lines are kept
// whole, dump rows wrapped between items when asked, items printed past the end of the file
// drawn apart; a place is found by line and column, and from a click.

import {count} from './numbers.js';
import {cutPieces, dumpRows, indexInPiece, lastLineOf, placeInPiece,
        utf8Length} from './report_pieces.js';

// The widths of the dumps' items, in characters, for which the style sheet has a rule: hex
// bytes, bit pictures, translated colours, red.green.blue triples.
const kItemWidths = [3, 8, 9, 14];

export class ReportView {
  // pre: #report; note: the note at its foot; legend: the line that explains items drawn as
  // missing; wrapSwitch: the Wrap long lines checkbox.
  constructor({pre, note, legend, wrapSwitch}) {
    this.pre = pre;
    this.note = note;
    this.legend = legend;
    this.wrapSwitch = wrapSwitch;
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
    this.legend.hidden = true;
    this.rows = [];  // the lines of each dump's rows, from the core's description
    this.pending = '';  // text after the last line end laid out
    this.nextLine = 1;  // the line the next piece starts with
    this.shownBytes = 0;  // bytes of the report laid out
    this.head = null;  // the report's start while excerpts are shown: {pieces, legend}
    this.reportNote = '';  // the note the report ended with
    this.clearMarks();
  }

  // The core's description of the file: which lines are which dump's rows, and its items.
  describe(describe) {
    this.rows = dumpRows(describe.dumps);
  }

  append(text) {
    const {pieces, rest, nextLine} = cutPieces(this.pending + text, this.nextLine, this.rows,
                                               false);
    this.addPieces(pieces);
    this.pending = rest;
    this.nextLine = nextLine;
  }

  // The run is over. cut: the report went on past what was shown, which then ends at its last
  // whole line; cancelled: it stops where the run was cancelled.
  end({cut = false, cancelled = false, reportLength = 0} = {}) {
    if (!cut) this.addPieces(cutPieces(this.pending, this.nextLine, this.rows, true).pieces);
    this.pending = '';
    if (cut) {
      this.say(`Shown: the first ${count(this.shownBytes)} bytes of the report's ` +
               `${count(reportLength)}, up to the end of a line. Save report writes all of it.`);
    }
    if (cancelled) this.say('Cancelled: the report stops here, where its run was stopped.');
    this.reportNote = this.note.hidden ? '' : this.note.textContent;
  }

  // The note the report ended with, in place of any other.
  restoreNote() {
    if (this.reportNote) this.say(this.reportNote);
    else this.note.hidden = true;
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

  // Lays pieces out after those shown; an item printed past the end of the file is an element
  // of its own, marked data-past-end.
  addPieces(pieces) {
    const elements = [];
    for (const {line, text, dump, parts} of pieces) {
      const piece = document.createElement('span');
      piece.dataset.line = String(line);
      if (parts === null) {
        piece.textContent = text;
      } else {
        for (const part of parts) {
          if (typeof part === 'string') {
            piece.append(part);
          } else {
            const item = document.createElement('span');
            item.className = 'past-end';
            item.dataset.pastEnd = '';
            item.textContent = part.pastEnd;
            piece.append(item);
          }
        }
        this.legend.hidden = false;
      }
      if (dump >= 0) {
        piece.className = 'dump';
        piece.dataset.item = String(this.rows[dump].itemChars);
      }
      this.shownBytes += utf8Length(text);
      elements.push(piece);
    }
    this.pre.append(...elements);
    if (this.pre.firstChild !== null) this.pre.tabIndex = 0;
  }

  // Excerpts of the report's lines ([{firstLine, text}], in order) in place of what is shown;
  // the report's start comes back with showStart(). Where lines are left out between
  // excerpts, the next one's first piece says so, in generated content outside the text.
  showExcerpts(excerpts, lastReportLine) {
    if (this.head === null) {
      this.head = {pieces: [...this.pre.children], legend: this.legend.hidden};
    }
    this.clearMarks();
    this.pre.replaceChildren();
    this.legend.hidden = true;
    const spans = [];
    for (const {firstLine, text} of excerpts) {
      const first = this.pre.children.length;
      this.addPieces(cutPieces(text, firstLine, this.rows, true).pieces);
      const piece = this.pre.children[first];
      if (piece !== undefined && spans.length > 0) {
        piece.classList.add('gap');
        piece.dataset.gap = `lines ${count(spans.at(-1)[1] + 1)} to ${count(firstLine - 1)} ` +
                            'not shown';
      }
      if (piece !== undefined) spans.push([firstLine, this.lastLine()]);
    }
    const shown = spans.map(([from, to]) => `${count(from)} to ${count(to)}`).join(' and ');
    this.say(`Shown: lines ${shown} of the report's ${count(lastReportLine)}, around the ` +
             'selection.', {label: 'Show the report\'s start', run: () => this.showStart()});
  }

  // The report's start again, in place of excerpts, and its selection marked there.
  showStart() {
    this.restoreStart();
    this.onShowStart?.();
  }

  restoreStart() {
    if (this.head === null) return;
    this.clearMarks();
    this.pre.replaceChildren(...this.head.pieces);
    this.legend.hidden = this.head.legend;
    this.restoreNote();
    this.head = null;
  }

  // Whether the report's start, shown or set aside for excerpts, holds line.
  startShows(line) {
    if (this.head === null) return this.shows(line);
    const last = this.head.pieces.at(-1);
    return last !== undefined && line <= lastLineOf(last.textContent, Number(last.dataset.line));
  }

  // The first line shown.
  firstShownLine() {
    const first = this.pre.firstElementChild;
    return first === null ? 1 : Number(first.dataset.line);
  }

  // The last line shown in full or in part.
  lastLine() {
    const last = this.pre.lastElementChild;
    return last === null ? 0 : lastLineOf(last.textContent, Number(last.dataset.line));
  }

  // The piece that holds line, by the line each starts with; null when none can.
  pieceOf(line) {
    const pieces = this.pre.children;
    if (pieces.length === 0 || line < Number(pieces[0].dataset.line)) return null;
    let low = 0;
    let high = pieces.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (Number(pieces[middle].dataset.line) <= line) low = middle;
      else high = middle - 1;
    }
    return pieces[low];
  }

  shows(line) {
    const piece = this.pieceOf(line);
    return piece !== null && line <= lastLineOf(piece.textContent, Number(piece.dataset.line));
  }

  // The text node and offset in it of line's column, or null when the line is not shown.
  locate(line, column) {
    const piece = this.pieceOf(line);
    if (piece === null) return null;
    let at = indexInPiece(piece.textContent, Number(piece.dataset.line), line, column);
    if (at < 0) return null;
    // A place at the end of one text node is the start of the next, unless it is the last.
    const nodes = textNodes(piece);
    for (const [i, node] of nodes.entries()) {
      if (at < node.data.length || (at === node.data.length && i === nodes.length - 1)) {
        return {node, offset: at};
      }
      at -= node.data.length;
    }
    return null;
  }

  // The line and column of a point in the text (a node and an offset in it), or null.
  position(node, offset) {
    const piece = node.parentElement?.closest('#report > span');
    if (!piece) return null;
    let at = offset;
    for (const other of textNodes(piece)) {
      if (other === node) break;
      at += other.data.length;
    }
    return placeInPiece(piece.textContent, Number(piece.dataset.line), at);
  }

  // Marks chars characters at line, column: a mark element whose data-line is the line; null
  // when the line is not shown.
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
      const parent = mark.parentElement;
      mark.replaceWith(...mark.childNodes);
      parent.normalize();
    }
    CSS.highlights?.delete('quillfen-line');
  }

  // Lights up a whole line, without changing the text: for header lines and table rows.
  // Returns the range lit, or null when the line is not shown.
  highlightLine(line) {
    CSS.highlights?.delete('quillfen-line');
    const from = this.locate(line, 0);
    if (from === null) return null;
    const range = document.createRange();
    range.setStart(from.node, from.offset);
    const end = from.node.data.indexOf('\n', from.offset);
    range.setEnd(from.node, end < 0 ? from.node.data.length : end);
    CSS.highlights?.set('quillfen-line', new Highlight(range));
    return range;
  }

  applyWrap() {
    this.pre.classList.toggle('wrap', this.wrapSwitch.checked);
    this.fitRows();
  }

  // How many whole items of each width fit on a line: a wrapped dump row breaks only between
  // items, never inside one. The character's width is measured each time, in case the font
  // has changed since.
  fitRows() {
    if (!this.wrapSwitch.checked) return;
    const probe = document.createElement('span');
    probe.className = 'probe';
    probe.textContent = '0'.repeat(100);
    this.pre.append(probe);
    const charWidth = probe.getBoundingClientRect().width / 100;
    probe.remove();
    if (charWidth === 0) return;
    const style = getComputedStyle(this.pre);
    const inner = this.pre.clientWidth - parseFloat(style.paddingLeft) -
                  parseFloat(style.paddingRight);
    // One column for the row's "[" hanging before the items.
    const columns = inner / charWidth - 1;
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
