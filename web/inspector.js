// The inspector: pixels, header fields, table entries and dump items, their bytes and lines.

// Each is linked to the bytes that store it and the report lines that print it, with a view
// of those bytes. The core answers every question of where; this module only asks and shows.

import {count} from './numbers.js';
import {WorkerClient} from './workers.js';

// A window of the report around a place holds up to this many bytes of lines before it, and
// as many after.
const kWindowBytes = 256 << 10;
// The view of the bytes: 16 a line, this many lines before and after the selection's first.
const kHexContext = 3;

const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');
const at = (offset) => `${count(offset)} (0x${offset.toString(16).toUpperCase()})`;
const colourOf = (rgb) => `#${rgb.map(hex2).join('')}`;
const plural = (n, one, many = `${one}s`) => `${count(n)} ${n === 1 ? one : many}`;

export class Inspector {
  // elements: panel, facts, hex, form, pixelX, pixelY, frame (the picture's box), canvas,
  // pixelMark; view and picture: the report view and the picture panel; requestWindows(ranges)
  // resolves to those runs of the report's lines.
  constructor(elements, site, {view, picture, requestWindows}) {
    Object.assign(this, elements);
    this.view = view;
    this.picture = picture;
    this.requestWindows = requestWindows;
    this.answers = new Map();
    this.reads = new Set();
    this.client = new WorkerClient(site.workerUrl, {
      onMessage: (data) => this.onAnswer(data),
      onFailure: (message) => this.onFailure(message),
      init: {type: 'init', module: site.module, warmUp: false},
    });
    this.file = null;
    this.summary = null;
    this.token = 0;  // the latest question whose answer is to be shown
    this.selected = null;  // {kind, x, y} for a pixel; {kind, line, column} for a place
    this.bindPicture();
    this.bindReport();
    this.form.addEventListener('submit', (event) => {
      event.preventDefault();
      this.selectFromFields();
    });
    new ResizeObserver(() => this.placePixelMark()).observe(this.canvas);
    view.onShowStart = () => this.markSelection();
    this.reset();
  }

  start() {
    return this.client.start();
  }

  reset() {
    this.file = null;
    this.summary = null;
    this.selected = null;
    this.token += 1;
    for (const field of [this.pixelX, this.pixelY]) {
      field.value = '';
      field.disabled = true;
    }
    this.form.querySelector('button').disabled = true;
    this.pixelMark.hidden = true;
    this.hex.replaceChildren();
    this.hex.hidden = true;
    this.setData({});
    this.show([['To inspect', 'pick a file: then point at its picture, pick a pixel by its x ' +
                'and y, or click a line of its report.']]);
  }

  // Opens the inspector on file once its report is done.
  async open(file) {
    const summary = await this.ask({question: 'open', file});
    if (summary === null) return;
    this.file = file;
    this.summary = summary;
    this.view.setDumpLines(summary.dumps.map((dump) => dump.firstLine - 1));
    const usable = summary.width > 0 && summary.height > 0;
    this.pixelX.max = String(Math.max(0, summary.width - 1));
    this.pixelY.max = String(Math.max(0, summary.height - 1));
    for (const field of [this.pixelX, this.pixelY]) field.disabled = !usable;
    this.form.querySelector('button').disabled = !usable;
    this.show([['The file', `${count(summary.width)} × ${count(summary.height)} pixels at ` +
                `${summary.bits} bits`],
               ['To inspect', 'point at the picture, pick a pixel by its x and y, or click a ' +
                'line of the report']]);
  }

  // One question to the core; resolves to its answer, or null once the question is stale.
  ask(message) {
    const token = this.token;
    return new Promise((resolve) => {
      const id = this.client.request({type: 'inspect', ...message});
      this.answers.set(id, (answer) => resolve(token === this.token ? answer : null));
    });
  }

  onAnswer({type, id, answer, message}) {
    if (type === 'failed') this.onFailure(message);
    if (type !== 'inspected') return;
    this.answers.get(id)?.(answer);
    this.answers.delete(id);
  }

  // The worker stopped, or broke off a question (a file that can no longer be read): the
  // questions asked are dropped, and a fresh worker answers the next.
  onFailure(message) {
    for (const answer of this.answers.values()) answer(null);
    this.answers.clear();
    this.show([['Stopped', `the inspector stopped (${message}). Pick the file again to ` +
                'inspect it.']]);
    this.summary = null;
    this.client.start();
  }

  // The bytes of the file from offset on, up to count of them: fewer past its end. Reads under
  // way are held here, where the collector finds them.
  async bytesAt(offset, length) {
    if (offset >= this.file.size) return new Uint8Array(0);
    const end = Math.min(this.file.size, offset + length);
    const read = this.file.slice(offset, end).arrayBuffer();
    this.reads.add(read);
    try {
      return new Uint8Array(await read);
    } finally {
      this.reads.delete(read);
    }
  }

  // ---- the picture

  bindPicture() {
    this.canvas.addEventListener('pointermove', (event) => {
      const pixel = this.pixelAt(event);
      if (pixel !== null && !this.pinned()) this.inspectPixel(pixel.x, pixel.y, false);
    });
    this.canvas.addEventListener('click', (event) => {
      const pixel = this.pixelAt(event);
      if (pixel !== null) this.selectPixel(pixel.x, pixel.y);
    });
    this.frame.addEventListener('keydown', (event) => {
      const steps = {ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1]};
      const step = steps[event.key];
      if (!step || this.summary === null) return;
      event.preventDefault();
      const from = this.selected?.kind === 'pixel' ? this.selected : {x: 0, y: 0};
      const stride = event.shiftKey ? 10 : 1;
      const x = Math.min(this.summary.width - 1, Math.max(0, from.x + step[0] * stride));
      const y = Math.min(this.summary.height - 1, Math.max(0, from.y + step[1] * stride));
      this.selectPixel(x, y);
    });
  }

  // The picture can be focused, and its pixel outlined, while it is shown.
  onPictureState(state) {
    if (state === 'shown') this.frame.tabIndex = 0;
    else this.frame.removeAttribute('tabindex');
    this.placePixelMark();
  }

  pinned() {
    return this.selected?.kind === 'pixel';
  }

  // Where the picture is drawn in the canvas's box: it keeps its proportions (object-fit).
  drawnRect() {
    const box = this.canvas.getBoundingClientRect();
    const {width, height} = this.summary;
    const scale = Math.min(box.width / width, box.height / height);
    return {left: box.left + (box.width - width * scale) / 2,
            top: box.top + (box.height - height * scale) / 2, scale, box};
  }

  pixelAt(event) {
    if (this.summary === null || document.body.dataset.picture !== 'shown') return null;
    const {left, top, scale} = this.drawnRect();
    const x = Math.floor((event.clientX - left) / scale);
    const y = Math.floor((event.clientY - top) / scale);
    const inside = x >= 0 && y >= 0 && x < this.summary.width && y < this.summary.height;
    return inside ? {x, y} : null;
  }

  // The selected pixels, outlined on the picture: [x, y, count] in a row.
  placePixelMark(pixels = this.markedPixels) {
    this.markedPixels = pixels;
    if (!pixels || this.summary === null || document.body.dataset.picture !== 'shown') {
      this.pixelMark.hidden = true;
      return;
    }
    const [x, y, width] = pixels;
    const {left, top, scale, box} = this.drawnRect();
    const frame = this.frame.getBoundingClientRect();
    // At least a few screen pixels, centred on the pixel, however small it is drawn.
    const size = Math.max(6, scale);
    const across = Math.max(size, width * scale);
    const style = this.pixelMark.style;
    style.left = `${left - frame.left + x * scale + (width * scale - across) / 2}px`;
    style.top = `${top - frame.top + y * scale + (scale - size) / 2}px`;
    style.width = `${across}px`;
    style.height = `${size}px`;
    this.pixelMark.hidden = box.width === 0;
  }

  selectFromFields() {
    if (this.summary === null) return;
    const x = Number(this.pixelX.value);
    const y = Number(this.pixelY.value);
    const {width, height} = this.summary;
    if (!Number.isInteger(x) || !Number.isInteger(y) || x < 0 || y < 0 || x >= width ||
        y >= height) {
      this.show([['Pixel', `x goes from 0 to ${count(width - 1)}, and y from 0 to ` +
                  `${count(height - 1)}.`]]);
      return;
    }
    this.selectPixel(x, y);
  }

  // Chooses the pixel at x, y: the panel, the marks in the report and on the picture, and the
  // bytes around it.
  async selectPixel(x, y) {
    this.selected = {kind: 'pixel', x, y};
    this.pixelX.value = String(x);
    this.pixelY.value = String(y);
    await this.busyWhile(() => this.inspectPixel(x, y, true));
  }

  // The panel is busy while work finds what to show, and no longer once the last work is done.
  async busyWhile(work) {
    this.panel.setAttribute('aria-busy', 'true');
    await work();
    const token = this.token;
    await Promise.resolve();
    if (token === this.token) this.panel.setAttribute('aria-busy', 'false');
  }

  // Fills the panel for the pixel at x, y; a selected one is marked in the report too, as soon
  // as the core has said where, while its bytes and colour are read for the panel.
  async inspectPixel(x, y, selected) {
    this.token += 1;
    const token = this.token;
    const colour = this.picture.colourAt(x, y);
    const answer = await this.ask({question: 'pixel', x, y});
    if (answer === null) return;
    let marking = null;
    if (selected) {
      this.markedPixels = [x, y, 1];
      this.placePixelMark();
      marking = this.markPlaces(answer.stored ? printedPlaces(answer.bytes[0].dumps) : [], token);
    }
    const stored = answer.stored ? await this.bytesAt(answer.offset, answer.count) : null;
    let entry = null;
    if (stored !== null && stored.length > 0 && answer.bits <= 8 &&
        this.summary.table.listed) {
      const index = stored[0] >> answer.shift & ((1 << answer.bits) - 1);
      entry = {index, bytes: await this.bytesAt(this.summary.tableOffset + 4 * index, 4)};
    }
    const decoded = await colour;
    if (token !== this.token) return;
    this.setData({offset: answer.stored ? answer.offset : '', bytes: stored, x, y});
    this.show(this.pixelFacts(answer, stored, decoded, entry));
    if (selected) {
      await marking;
      if (answer.stored) await this.showBytes(answer.offset, answer.count, token);
      else this.hex.hidden = true;
    }
  }

  pixelFacts(answer, stored, colour, entry) {
    const {summary} = this;
    const facts = [['Pixel', `${count(answer.x)}, ${count(answer.y)} (0, 0 is the top left)`]];
    facts.push(['Decoded colour', colour === null ? 'none: the browser has not decoded the ' +
                'picture' : {swatch: colourOf(colour)}]);
    if (!answer.stored) {
      facts.push(['Stored', summary.compressed
        ? `nowhere fixed: biCompression marks the pixels as compressed, so they are not at ` +
          'fixed offsets'
        : `nowhere fixed: ${summary.bits} bits per pixel is a depth the format does not ` +
          'define']);
      return facts;
    }
    const past = answer.offset + answer.count - summary.fileLength;
    facts.push(['Stored at', `${at(answer.offset)}, ${plural(answer.count, 'byte')}`]);
    if (stored.length > 0) {
      let bytes = [...stored].map(hex2).join(' ');
      if (answer.bits < 8) {
        const value = stored[0] >> answer.shift & ((1 << answer.bits) - 1);
        const high = answer.shift + answer.bits - 1;
        bytes += `: bit${answer.bits > 1 ? `s ${high} to ${answer.shift}` : ` ${high}`} of the ` +
                 `byte, ${value.toString(2).padStart(answer.bits, '0')}`;
      }
      facts.push(['Stored bytes', bytes]);
    }
    if (past > 0) {
      facts.push(['Past the end', `${past === answer.count ? 'its bytes lie' : `${plural(past,
        'of its bytes', 'of its bytes')} lie`} past the end of the file, which is ` +
        `${plural(summary.fileLength, 'byte')} long`]);
    }
    facts.push(['File layout', `row ${count(answer.row)} as stored (rows ` +
                `${summary.topDown ? 'top-down' : 'bottom-up'}, ${plural(summary.rowBytes,
                  'byte')} each from ${count(summary.start)}), byte ` +
                `${count(answer.offset - summary.start - answer.row * summary.rowBytes)} of ` +
                'its row']);
    if (entry !== null) {
      const {index, bytes} = entry;
      const inTable = index < summary.table.count;
      facts.push(['Table entry', bytes.length === 4 && inTable
        ? {swatch: colourOf([bytes[2], bytes[1], bytes[0]]),
           text: `entry ${index}, stored at ${at(summary.tableOffset + 4 * index)}`}
        : `entry ${index}: ${inTable ? 'past the end of the file' : `not in the report's ` +
          `table of ${plural(summary.table.count, 'entry', 'entries')}`}`]);
    }
    facts.push(...this.dumpFacts(answer.bytes));
    return facts;
  }

  // Where each dump prints the given bytes, or why it does not; and each dump's walk.
  dumpFacts(bytes) {
    const {summary} = this;
    if (summary.dumps.length === 0) {
      return [['In the report', `no dump: the report prints none at ${summary.bits} bits ` +
               'per pixel']];
    }
    const facts = [];
    summary.dumps.forEach((dump, d) => {
      const seen = new Set();
      const places = [];
      for (const byte of bytes) {
        const inDump = byte.dumps[d];
        if (inDump.why === 'printed') {
          if (seen.has(inDump.place.index)) continue;
          seen.add(inDump.place.index);
          const {rowNumber, inRow, line} = inDump.place;
          places.push(`row ${count(rowNumber)}, item ${count(inRow + 1)} (line ${count(line)})`);
        } else {
          places.push(unprinted(inDump.why, dump));
        }
      }
      facts.push([dump.title, places.join('; ')]);
    });
    facts.push(['The dumps\' walk', summary.dumps.map((dump) => `${dump.title} reads ` +
      `${plural(dump.printed, 'item')} from ${count(dump.start)} in rows of ` +
      `${count(dump.rowLength)}, skipping ${plural(dump.rowPad, 'byte')} at each break`)
      .join('; ')]);
    return facts;
  }

  // ---- the report

  bindReport() {
    const report = this.view.pre;
    report.addEventListener('click', (event) => {
      const caret = document.caretPositionFromPoint?.(event.clientX, event.clientY);
      const node = caret ? caret.offsetNode : null;
      if (node === null || node.nodeType !== Node.TEXT_NODE) return;
      const place = this.view.position(node, caret.offset);
      if (place !== null) this.busyWhile(() => this.selectPlace(place.line, place.column));
    });
    report.addEventListener('keydown', (event) => {
      if (this.summary === null || !['ArrowUp', 'ArrowDown', 'ArrowLeft',
                                     'ArrowRight'].includes(event.key)) {
        return;
      }
      event.preventDefault();
      const from = this.selected?.kind === 'place' ? this.selected
                                                   : {line: this.view.firstLine, column: 0};
      const chars = this.selected?.chars ?? 0;
      const line = from.line + (event.key === 'ArrowDown') - (event.key === 'ArrowUp');
      let column = from.column;
      if (event.key === 'ArrowRight') column += chars;
      if (event.key === 'ArrowLeft') column = Math.max(chars > 0 ? 1 : 0, column - chars);
      if (line >= 1 && line <= this.summary.lastLine) {
        this.busyWhile(() => this.selectPlace(line, column));
      }
    });
  }

  // Chooses what the report prints at line, column.
  async selectPlace(line, column) {
    if (this.summary === null) return;
    this.token += 1;
    const answer = await this.ask({question: 'place', line, column});
    if (answer === null) return;
    const token = this.token;
    this.selected = {kind: 'place', line, column, chars: 0};
    if (answer.kind === 'field' || answer.kind === 'entry') {
      const offset = answer.offset;
      const width = answer.kind === 'field' ? answer.width : 4;
      const stored = await this.bytesAt(offset, width);
      if (token !== this.token) return;
      this.setData({offset, bytes: stored});
      this.show(answer.kind === 'field' ? this.fieldFacts(answer, stored)
                                        : this.entryFacts(answer, stored));
      this.markedPixels = null;
      this.placePixelMark();
      this.view.clearMarks();
      await this.showLine(line, token);
      await this.showBytes(offset, width, token);
      return;
    }
    if (answer.kind !== 'item') {
      this.view.clearMarks();
      this.view.highlightLine(line);
      this.setData({});
      this.show([['Report line', `line ${count(line)} prints no header field, table entry ` +
                  'or pixel byte']]);
      this.hex.hidden = true;
      return;
    }
    const {place} = answer;
    this.selected = {kind: 'place', line, column: place.column, chars: place.chars};
    const [byte, stored] = await Promise.all([this.ask({question: 'byte', offset: place.offset}),
                                              this.bytesAt(place.offset, place.bytes)]);
    if (byte === null || token !== this.token) return;
    this.setData({offset: place.offset, bytes: stored,
                  ...(byte.pixels.kind === 'pixels' ? {x: byte.pixels.x, y: byte.pixels.y}
                                                    : {})});
    this.show(this.itemFacts(place, byte, stored));
    this.markedPixels = byte.pixels.kind === 'pixels'
      ? [byte.pixels.x, byte.pixels.y, byte.pixels.count] : null;
    this.placePixelMark();
    await this.markPlaces(printedPlaces(byte.dumps), token);
    await this.showBytes(place.offset, place.bytes, token);
  }

  fieldFacts({name, offset, width}, stored) {
    const facts = [['Header field', name],
                   ['Stored at', `${at(offset)}, ${plural(width, 'byte')}`],
                   ['Stored bytes', stored.length > 0 ? [...stored].map(hex2).join(' ') +
                    ' (file order, least significant first)' : 'none: past the end of the file']];
    if (name === 'bfSize') {
      facts.push(['Measured length', `the file is ${plural(this.summary.fileLength, 'byte')} ` +
                  'long']);
    }
    return facts;
  }

  entryFacts({index, offset}, stored) {
    const facts = [['Table entry', `entry ${count(index)}`],
                   ['Stored at', `${at(offset)}, 4 bytes: blue, green, red, reserved`]];
    if (stored.length === 4) {
      facts.push(['Stored bytes', {swatch: colourOf([stored[2], stored[1], stored[0]]),
                                   text: [...stored].map(hex2).join(' ')}]);
    } else {
      facts.push(['Stored bytes', 'past the end of the file: the report shows zeros']);
    }
    return facts;
  }

  itemFacts(place, byte, stored) {
    const {summary} = this;
    const facts = [['Report item', `${place.title}: row ${count(place.rowNumber)}, item ` +
                    `${count(place.inRow + 1)} (line ${count(place.line)})`],
                   ['Read at', `${at(place.offset)}, ${plural(place.bytes, 'byte')}`]];
    if (stored.length < place.bytes) {
      facts.push(['Stored bytes', `${stored.length > 0 ? [...stored].map(hex2).join(' ') + '; '
        : ''}past the end of the file, which is ${plural(summary.fileLength, 'byte')} long: ` +
        `the item repeats what the dump read last`]);
    } else {
      facts.push(['Stored bytes', [...stored].map(hex2).join(' ')]);
    }
    const {kind, x, y, count: pixels} = byte.pixels;
    facts.push(['Pixel', kind === 'pixels'
      ? `${pixels > 1 ? `${count(x)} to ${count(x + pixels - 1)}` : count(x)}, ${count(y)}`
      : kind === 'padding' ? 'none: the format counts this byte as row padding'
      : summary.fixedOffsets ? 'none: the byte lies outside the picture\'s stored rows'
      : 'none: the pixels are not at fixed offsets']);
    facts.push(...this.dumpFacts([byte]));
    return facts;
  }

  // Marks each place in the report, showing a window of it around them where they are not
  // shown; scrolls to the first.
  async markPlaces(places, token) {
    if (places.length === 0) {
      this.view.clearMarks();
      return;
    }
    const lines = places.map((place) => place.line);
    if (lines.some((line) => !this.view.shows(line))) {
      if (!await this.showWindows(lines, token)) return;
    }
    this.markShown(places);
    this.view.pre.querySelector('mark')?.scrollIntoView({block: 'center', inline: 'nearest'});
  }

  async showLine(line, token) {
    if (!this.view.shows(line) && !await this.showWindows([line], token)) return;
    const range = this.view.highlightLine(line);
    range?.startContainer.parentElement.scrollIntoView({block: 'nearest'});
  }

  // Shows the report's lines around lines instead of what is shown; false when the selection
  // has changed meanwhile or the windows could not be made.
  async showWindows(lines, token) {
    const ranges = await this.ask({question: 'windows', before: kWindowBytes,
                                   after: kWindowBytes,
                                   lines: [...new Set(lines)].sort((a, b) => a - b)});
    if (ranges === null) return false;
    const windows = await this.requestWindows(ranges);
    if (windows === null || token !== this.token) return false;
    this.view.showWindows(windows, this.summary.lastLine);
    return true;
  }

  // After the report's start comes back, the selection's marks come back with it where the
  // start shows them.
  async markSelection() {
    const {selected} = this;
    if (selected?.kind === 'pixel') {
      const answer = await this.ask({question: 'pixel', x: selected.x, y: selected.y});
      if (answer?.stored) this.markShown(printedPlaces(answer.bytes[0].dumps));
    } else if (selected?.kind === 'place') {
      const answer = await this.ask({question: 'place', line: selected.line,
                                     column: selected.column});
      if (answer?.kind === 'item') {
        const byte = await this.ask({question: 'byte', offset: answer.place.offset});
        if (byte !== null) this.markShown(printedPlaces(byte.dumps));
      } else if (answer !== null) {
        this.view.highlightLine(selected.line);
      }
    }
  }

  markShown(places) {
    this.view.clearMarks();
    for (const place of places) this.view.mark(place.line, place.column, place.chars);
  }

  // ---- the bytes, as xxd shows them

  async showBytes(offset, length, token) {
    const first = Math.max(0, Math.floor(offset / 16) - kHexContext) * 16;
    const bytes = await this.bytesAt(first, (2 * kHexContext + 1) * 16);
    if (token !== this.token) return;
    const lines = [];
    for (let line = 0; line * 16 < bytes.length; line += 1) {
      const start = first + line * 16;
      const row = bytes.subarray(line * 16, line * 16 + 16);
      const pieces = [`${start.toString(16).padStart(8, '0')}: `];
      for (let i = 0; i < 16; i += 1) {
        const text = i < row.length ? row[i].toString(16).padStart(2, '0') : '  ';
        const selected = start + i >= offset && start + i < offset + length && i < row.length;
        pieces.push(selected ? {selected: text} : text);
        if (i % 2 === 1) pieces.push(' ');
      }
      pieces.push(' ', [...row].map((b) => (b >= 0x20 && b < 0x7F ? String.fromCharCode(b)
                                                               : '.')).join(''), '\n');
      lines.push(pieces);
    }
    const nodes = [];
    for (const piece of lines.flat()) {
      if (typeof piece === 'string') {
        nodes.push(piece);
      } else {
        const span = document.createElement('span');
        span.className = 'selected';
        span.textContent = piece.selected;
        nodes.push(span);
      }
    }
    this.hex.replaceChildren(...nodes);
    this.hex.hidden = bytes.length === 0;
  }

  // ---- the panel

  setData({offset = '', bytes = null, x = '', y = ''}) {
    const data = this.panel.dataset;
    data.offset = String(offset);
    data.bytes = bytes === null ? '' : [...bytes].map(hex2).join(' ');
    data.x = String(x);
    data.y = String(y);
  }

  // facts: [name, text or {swatch, text}] pairs.
  show(facts) {
    const nodes = [];
    for (const [name, value] of facts) {
      const term = document.createElement('dt');
      term.textContent = name;
      const detail = document.createElement('dd');
      if (typeof value === 'string') {
        detail.textContent = value;
      } else {
        const swatch = document.createElement('span');
        swatch.className = 'swatch';
        swatch.style.background = value.swatch;
        detail.append(swatch, value.swatch, value.text ? `, ${value.text}` : '');
      }
      nodes.push(term, detail);
    }
    this.facts.replaceChildren(...nodes);
  }
}

function printedPlaces(dumps) {
  return dumps.filter((inDump) => inDump.why === 'printed').map((inDump) => inDump.place);
}

function unprinted(why, dump) {
  switch (why) {
    case 'padding':
      return 'not printed: the row walk skips this byte as padding';
    case 'past-count':
      return `not printed: it lies past the dump's ${plural(dump.printed, 'item')}`;
    default:
      return `not printed: it lies before the dump's start at ${count(dump.start)}`;
  }
}
