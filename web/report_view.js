// The report view: the report's text as it arrives, in pieces laid out only when on screen;
// header lines kept whole, dump rows wrapped between items when asked; notes at its foot.

import {count} from './numbers.js';

// Text is laid out in pieces of about this many characters, each ending at a line end.
const kPieceChars = 32 << 10;
// Every dump section starts on the line after this.
const kDumpStart = '\n === Bitmap Data';
// The width of one item of each dump, in characters, in the order the dumps come: bit
// pictures, hex bytes, translated colours, red.green.blue triples.
const kDumpItemChars = {1: [8, 9], 4: [3, 9], 8: [3, 9], 16: [3, 9], 24: [14]};
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

export class ReportView {
  constructor(pre, note, wrapSwitch) {
    this.pre = pre;
    this.note = note;
    this.wrapSwitch = wrapSwitch;
    this.charWidth = 0;
    wrapSwitch.addEventListener('change', () => this.applyWrap());
    new ResizeObserver(() => this.fitRows()).observe(pre);
    this.applyWrap();
    this.reset();
  }

  reset() {
    this.pre.replaceChildren();
    this.pre.removeAttribute('tabindex');
    this.note.textContent = '';
    this.note.hidden = true;
    this.pending = '';
    this.shownBytes = 0;  // bytes of the report laid out
    this.itemChars = [];
    this.dumps = 0;  // dump sections begun so far
  }

  // The dumps' item widths come from the bit count of the file's header.
  setBitCount(bits) {
    this.itemChars = kDumpItemChars[bits] ?? [];
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
      const shown = this.shownBytes;
      this.say(`Shown: the first ${count(shown)} bytes of the report's ` +
               `${count(reportLength)}, up to the end of a line. Save report ` +
               'writes all of it.');
    } else {
      this.emitLines(this.pending, true);
    }
    this.pending = '';
    if (cancelled) this.say('Cancelled: the report stops here, where its run was stopped.');
  }

  say(text) {
    this.note.textContent = text;
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
    this.shownBytes += utf8Length(text);
    const itemChars = this.dumps > 0 ? this.itemChars[this.dumps - 1] : undefined;
    if (itemChars !== undefined) {
      piece.className = 'dump';
      piece.dataset.item = String(itemChars);
    }
    this.pre.append(piece);
    this.pre.tabIndex = 0;
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
