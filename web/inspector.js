// The inspector: what the pointer, the keys and the fields choose, asked of the core and shown.

// Pixels, header fields, table entries, dump items, offsets and regions of the file's map are
// linked to the bytes that store them and the report lines that print them. The core answers
// every question of where (app/inspect.h) and what the format makes of the file
// (app/decode_answers.h); this module asks, holds the one selection (selection.js) and draws
// it: the panel's text (panel_text.js), the marks in the report, the outline on the picture,
// the map strip and the bytes (inspector_views.js) and the x and y fields. A difference of a
// comparison (compare.js) is selected here too: in this file as its bytes are, with the other
// file's side in the panel and that file's bytes beside these.

import {colourHex, isCommand, pictureSize} from './decoded.js';
import {stripSegments} from './map_strip.js';
import {count, parseOffset, size} from './numbers.js';
import {entryIndex, kCounting, panelFacts} from './panel_text.js';
import {MapStripView, outlineBox, PanelView, showHex} from './inspector_views.js';
import {byteSelection, emptyModel, entrySelection, fieldSelection, itemSelection,
        lineSelection, pin, pixelSelection, preview, printedPlaces, regionSelection, shown,
        stepCursor, stepPixel, typedPixel} from './selection.js';
import {isAbort} from './workers.js';

// An excerpt of the report around a line holds up to this many bytes of lines before it, and
// as many after; excerpts of more than kMaxExcerptBytes in all, which a line of a very wide
// picture can make alone, are not shown.
const kExcerptBytes = 256 << 10;
const kMaxExcerptBytes = 16 << 20;
// The view of the bytes: 16 a line, this many lines before and after the selection's first.
const kHexContext = 3;
// The panel lists at most this many of a selection's bytes: a region of the map can be a whole
// row of pixels, a profile or gigabytes past the pixels.
const kMaxListedBytes = 4096;
// The bytes view shows a few hundred bytes, and the map strip at most this many regions of them.
const kMaxStripRegions = 256;
// Selections past the text shown that come quicker than this, in milliseconds, make one run
// of the report for their excerpts: a run starts once the selection has held still this long.
const kExcerptPauseMs = 60;
// The keys that move the report's cursor (selection.js), with or without Ctrl.
const kReportKeys = ['ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'Home', 'End'];
// What the panel says of an open file while nothing is selected.
const kOpenFacts = [['To inspect', 'point at the picture, pick a pixel by its x and y or a byte ' +
                     'by its offset, or click a line of the report.']];

export class Inspector {
  // elements: panel (#inspector), facts, preview, counting, hex, map (the map strip's box),
  // mapStrip, mapLegend, toMark (the link to the mark), pixelForm, pixelX, pixelY, offsetForm,
  // offset, frame (the picture's box), canvas, outline; hexCaption, and hexB, hexBBox and
  // hexBCaption: the second file's bytes for a difference. client: the inspector's worker; view:
  // the report view; picture: the picture panel; requestExcerpts(ranges, signal) resolves to
  // those excerpts of the report.
  constructor(elements, {client, view, picture, requestExcerpts}) {
    this.elements = elements;
    this.client = client;
    this.view = view;
    this.picture = picture;
    this.requestExcerpts = requestExcerpts;
    this.panel = new PanelView({panel: elements.panel, facts: elements.facts,
                                preview: elements.preview,
                                onCopy: (text, button) => this.copy(text, button)});
    this.strip = new MapStripView({box: elements.map, strip: elements.mapStrip,
                                   legend: elements.mapLegend,
                                   onChoose: (region) => this.chooseRegion(region)});
    elements.counting.textContent = kCounting;
    this.busyCount = 0;
    this.keys = [];  // report keys not yet followed, in order
    this.stepping = false;
    this.bindPicture();
    this.bindReport();
    this.bindForms();
    new ResizeObserver(() => this.placeOutline()).observe(elements.canvas);
    view.onShowStart = () => this.remark();
    this.reset();
  }

  start() {
    return this.client.start();
  }

  // No file: nothing to inspect, nothing asked.
  reset() {
    this.work?.abort();
    this.hover?.abort();
    this.file = null;
    this.describe = null;
    this.format = null;
    this.size = null;
    this.signal = null;
    this.model = emptyModel();
    this.cursor = null;
    this.pixelCursor = null;
    this.keys = [];
    const {pixelX, pixelY, offset, hex, toMark} = this.elements;
    for (const field of [pixelX, pixelY, offset]) {
      field.value = '';
      field.disabled = true;
    }
    for (const form of [this.elements.pixelForm, this.elements.offsetForm]) {
      form.querySelector('button').disabled = true;
    }
    hex.replaceChildren();
    hex.hidden = true;
    this.strip.hide();
    this.hideCompared();
    toMark.hidden = true;
    this.placeOutline();
    this.panel.setData(null, null);
    this.panel.preview('');
    this.panel.show([['To inspect', 'pick a file: then point at its picture, pick a pixel by ' +
                      'its x and y or a byte by its offset, or click a line of its report.']]);
  }

  // The comparison a difference came from is gone or replaced: a difference pinned, or on its
  // way, is dropped with the second file's bytes, and the panel is back to what it says of an
  // open file. Any other selection stays.
  dropDifference() {
    if (this.workHow === 'compare') this.work?.abort();
    if (this.model.pinned?.compared === undefined) {
      this.hideCompared();
      return;
    }
    this.clearSelection();
    this.panel.preview('');
    this.panel.show(this.describe === null ? [] : kOpenFacts);
  }

  // Nothing selected: no marks, no bytes views, no outline, no data hooks.
  clearSelection() {
    this.model = emptyModel();
    this.view.clearMarks();
    this.elements.hex.hidden = true;
    this.strip.hide();
    this.hideCompared();
    this.elements.toMark.hidden = true;
    this.placeOutline();
    this.panel.setData(null, null);
  }

  // Opens the inspector on file once its report is done; signal aborts when another file is
  // picked, and with it every question about this one. Resolves to the decoder's answer about
  // the file, or null when it could not be asked.
  async open(file, signal) {
    let opened;
    try {
      opened = await this.ask({question: 'open', file}, signal);
    } catch (error) {
      this.failed(error);
      return null;
    }
    const {describe, format} = opened;
    this.file = file;
    this.describe = describe;
    this.format = format;
    this.size = pictureSize(describe, format);
    this.signal = signal;
    const {pixelX, pixelY, offset, pixelForm, offsetForm} = this.elements;
    const {width, height} = this.size;
    const usable = width > 0 && height > 0;
    pixelX.max = String(Math.max(0, width - 1));
    pixelY.max = String(Math.max(0, height - 1));
    for (const field of [pixelX, pixelY]) field.disabled = !usable;
    pixelForm.querySelector('button').disabled = !usable;
    offset.disabled = false;
    offsetForm.querySelector('button').disabled = false;
    this.panel.busy(false);
    this.panel.show(kOpenFacts);
    return format;
  }

  // The core's answer to a question; one it refuses to answer ({refused: why}; a file's
  // description has refused: false) rejects with a RangeError that says why.
  async ask(question, signal) {
    const answer = await this.client.request({type: 'inspect', ...question}, {signal});
    if (typeof answer.refused === 'string') throw new RangeError(answer.refused);
    return answer;
  }

  // The worker stopped, or broke off a question (a file that can no longer be read): a fresh
  // worker answers the next file.
  stopped(error) {
    this.describe = null;
    this.panel.busy(false);
    this.panel.show([['Stopped', `the inspector stopped (${error.message}). Pick the file ` +
                      'again to inspect it.']]);
  }

  // What went wrong with a question: nothing to say when it was cancelled; a refusal in words;
  // anything else stopped the inspector.
  failed(error) {
    if (error instanceof RangeError) this.say('Not answered', error.message);
    else if (!isAbort(error)) this.stopped(error);
  }

  busy(step) {
    this.busyCount += step;
    this.panel.busy(this.busyCount > 0);
  }

  // ---- choosing

  // Pins what resolve(signal) finds, in place of any selection under way, and draws it. how:
  // where it was chosen: 'report' (whose mark then comes into view), 'picture', 'fields',
  // 'strip', 'compare' (a difference) or 'compared-picture'.
  async choose(resolve, how) {
    this.work?.abort();
    const work = new AbortController();
    this.work = work;
    this.workHow = how;
    const signal = AbortSignal.any([this.signal, work.signal]);
    this.busy(1);
    try {
      const {selection, details} = await resolve(signal);
      signal.throwIfAborted();
      this.model = pin(this.model, selection);
      if (how !== 'report' && selection.cursor !== null) this.cursor = selection.cursor;
      if (selection.pixel !== null) this.pixelCursor = selection.pixel;
      this.panel.preview('');
      await this.draw(selection, details, signal, how);
    } catch (error) {
      this.failed(error);
    } finally {
      this.busy(-1);
    }
  }

  // The pixel at x, y: the report's answer (null where its layout has no such pixel) and the
  // decoder's, its bytes or the RLE command that set it, its table entry, and the colour this
  // browser decoded.
  pixel(x, y, origin) {
    return async (signal) => {
      // Asked together, so that a newer choice's abort, which rejects all three, is handled
      // once here and never left unhandled on one of them.
      const [decoded, pixel, colour] = await Promise.all([
        this.ask({question: 'decoded', x, y}, signal).catch(unlessRefused),
        this.ask({question: 'pixel', x, y}, signal).catch(unlessRefused),
        this.picture.colourAt(x, y, signal)]);
      if (decoded === null && pixel === null) {
        throw new RangeError(`the picture has no pixel x ${count(x)}, y ${count(y)}`);
      }
      const commandByte = (decoded?.command ?? null) === null ? null
        : await this.ask({question: 'byte', offset: decoded.command.offset}, signal);
      const selection = pixelSelection(pixel, origin, decoded, commandByte);
      const stored = await this.bytesOf(selection, signal);
      const reportStores = pixel !== null && selection.offset === pixel.offset &&
                           pixel.fixedOffsets && !pixel.beyondAnyFile;
      const index = reportStores && stored !== null ? entryIndex(pixel, stored) : null;
      const entry = index === null || !this.describe.table.listed ? null
        : await this.entry(index, signal);
      return {selection, details: {pixel, decoded, commandByte, stored, entry,
                                   colour,
                                   browserCannot: this.picture.browserDecodes === false}};
    };
  }

  // The region of the file's map that holds the byte at offset (a decimal string or BigInt):
  // null past the end of the file.
  async region(offset, signal) {
    if (BigInt(offset) >= BigInt(this.file.size)) return null;
    return this.ask({question: 'region', offset: Number(offset)}, signal);
  }

  // A region of the file's map, chosen whole.
  chooseRegion(region) {
    this.choose(async (signal) => {
      const byte = await this.ask({question: 'byte', offset: String(region.offset)}, signal);
      const selection = regionSelection(region, byte);
      return {selection, details: {region, format: this.format, byte,
                                   stored: await this.bytesOf(selection, signal)}};
    }, 'strip');
  }

  // A difference of a comparison, chosen in both files. compared: {facts (the panel's about
  // the difference), pixel ({x, y} or null), a and b (each file's bytes, {offset, count} or
  // null, as the core's comparison gives them), file (the second file), name (its name)}. In
  // this file it is the pixel, or what the byte at its offset is, with the comparison's bytes.
  chooseDifference(compared) {
    if (this.describe === null) return;
    this.choose(async (signal) => {
      const {pixel, a} = compared;
      let found;
      if (pixel !== null) {
        found = await this.pixel(pixel.x, pixel.y)(signal);
      } else if (a !== null) {
        found = await this.offset(BigInt(a.offset))(signal);
      } else {
        // A field only the other file's header has.
        found = {selection: {origin: {kind: 'difference'}, offset: null, count: 0, pixel: null,
                             places: [], line: null, cursor: null},
                 details: {onlyCompared: true}};
      }
      // The comparison's bytes of a pixel are its own (one byte of an RLE run, say), where this
      // file's selection of it may be the whole command that set it: the report marks them.
      let {places, cursor} = found.selection;
      if (a !== null && a.offset !== found.selection.offset) {
        places = printedPlaces([await this.ask({question: 'byte', offset: a.offset}, signal)]);
        cursor = places.length > 0 ? {line: places[0].line, column: places[0].column} : null;
      }
      found.selection = {...found.selection, offset: a === null ? null : a.offset,
                         count: a === null ? 0 : a.count, places, cursor, compared};
      found.details.stored = await this.bytesOf(found.selection, signal);
      return found;
    }, 'compare');
  }

  // A table entry by its index: where the core says it is stored, and its bytes.
  async entry(index, signal) {
    const entry = await this.ask({question: 'entry', index}, signal);
    return {...entry, stored: await this.bytesAt(BigInt(entry.offset), 4, signal)};
  }

  // What the report prints at a cursor ({line, column} and perhaps the core's answer there).
  place(cursor) {
    return async (signal) => {
      const target = cursor.target ?? await this.ask({question: 'place', line: cursor.line,
                                                      column: cursor.column}, signal);
      const at = {...cursor, target};
      switch (target.kind) {
        case 'item': {
          const byte = await this.ask({question: 'byte', offset: target.place.offset}, signal);
          const selection = itemSelection(target, byte);
          return {selection, details: {place: target, byte,
                                       ...await this.itemColours(byte.what, signal),
                                       ...await this.mapped(selection, signal)}};
        }
        case 'field': {
          const field = this.describe.fields.find(({name}) => name === target.name);
          const selection = fieldSelection(field, at);
          return {selection, details: {field, ...await this.mapped(selection, signal)}};
        }
        case 'entry': {
          const selection = {...entrySelection(target, at.line), cursor: at};
          return {selection, details: {entryPlace: target,
                                       ...await this.mapped(selection, signal)}};
        }
        default:
          return {selection: lineSelection(at), details: {stored: null}};
      }
    };
  }

  // What the byte at offset (a BigInt) is: a field, an entry or a pixel of the report's
  // layout, or an RLE command of the file's map, is chosen whole; and what the format makes
  // of it.
  offset(offset) {
    return async (signal) => {
      const byte = await this.ask({question: 'byte', offset: String(offset)}, signal);
      const region = await this.region(offset, signal);
      const origin = {kind: 'offset', offset: String(offset)};
      const {what} = byte;
      let found;
      if (what.kind === 'field') {
        const field = this.describe.fields.find(({name}) => name === what.name);
        found = {selection: {...fieldSelection(field), origin}, details: {field}};
      } else if (what.kind === 'entry') {
        found = {selection: {...entrySelection(what, what.line), origin},
                 details: {entryPlace: what}};
      } else if (what.kind === 'pixel') {
        found = await this.pixel(what.x, what.y, origin)(signal);
        found.selection.pixel = {x: what.x, y: what.y, count: what.count};
      } else if (isCommand(region)) {
        found = {selection: {...regionSelection(region, byte), origin}, details: {}};
      } else {
        found = {selection: byteSelection(byte), details: {}};
      }
      found.details.byte = byte;
      found.details.region = region;
      found.details.format = this.format;
      found.details.stored ??= await this.bytesOf(found.selection, signal);
      return found;
    };
  }

  // The colours of the one pixel an item reads (the core's answer to what its byte is), as
  // for the pixel chosen itself: {decoded, colour, browserCannot}; none for an item of
  // several pixels or of none.
  async itemColours(what, signal) {
    if (what.kind !== 'pixel' || what.count !== 1) return {};
    const [decoded, colour] = await Promise.all([
      this.ask({question: 'decoded', x: what.x, y: what.y}, signal).catch(unlessRefused),
      this.picture.colourAt(what.x, what.y, signal)]);
    return {decoded, colour, browserCannot: this.picture.browserDecodes === false};
  }

  // The selection's bytes and the region of the file's map its first byte is in.
  async mapped(selection, signal) {
    const region = selection.offset === null ? null : await this.region(selection.offset, signal);
    return {region, format: this.format, stored: await this.bytesOf(selection, signal)};
  }

  // The selection's bytes that the file holds, at most kMaxListedBytes: fewer past its end,
  // null when it has none.
  bytesOf(selection, signal) {
    if (selection.offset === null) return Promise.resolve(null);
    return this.bytesAt(BigInt(selection.offset), Math.min(selection.count, kMaxListedBytes),
                        signal);
  }

  // Up to length bytes of file from offset (a BigInt) on: fewer past its end.
  async bytesAt(offset, length, signal, file = this.file) {
    const size = BigInt(file.size);
    if (offset >= size) return new Uint8Array(0);
    const end = offset + BigInt(length) < size ? offset + BigInt(length) : size;
    const bytes = new Uint8Array(await file.slice(Number(offset), Number(end)).arrayBuffer());
    signal.throwIfAborted();
    return bytes;
  }

  // ---- drawing

  // Draws the selection: the panel and its hooks, the x and y fields, the outline, the marks
  // in the report, the bytes around it; then brings the answer into view.
  async draw(selection, details, signal, how) {
    const facts = details.onlyCompared ? [] : panelFacts(this.describe, selection, details);
    this.panel.show(selection.compared ? [...selection.compared.facts, ...facts] : facts);
    this.panel.setData(selection, details.stored, formatColour(details));
    if (selection.pixel !== null) {
      this.elements.pixelX.value = String(selection.pixel.x);
      this.elements.pixelY.value = String(selection.pixel.y);
    }
    this.placeOutline();
    await this.mark(selection, signal);
    await this.showBytes(selection, signal);
    await this.showCompared(selection.compared ?? null, signal);
    // Differences are stepped through in their list, and pixels on the compared pictures,
    // which stay where they are.
    if (how === 'compare' || how === 'compared-picture') return;
    const mark = this.view.pre.querySelector('mark');
    const oneColumn = getComputedStyle(this.elements.panel.parentElement).position !== 'sticky';
    if (oneColumn && how !== 'report') {
      // On a narrow screen the panel is far from the report: it comes into view, and the
      // link under it leads to the mark.
      this.elements.panel.scrollIntoView({block: 'nearest'});
    } else if (mark !== null && how !== 'strip') {
      mark.scrollIntoView({block: how === 'report' ? 'nearest' : 'center', inline: 'nearest'});
    }
  }

  // Marks the selection's items in the report and lights its line, showing excerpts of the
  // report around them where they are not shown.
  async mark(selection, signal) {
    const lines = selection.places.map((place) => place.line);
    if (selection.line !== null) lines.push(selection.line);
    if (this.view.head === null) this.view.restoreNote();
    if (lines.some((line) => !this.view.shows(line))) {
      if (lines.every((line) => this.view.startShows(line))) {
        this.view.restoreStart();
      } else {
        await pause(kExcerptPauseMs, signal);
        const ranges = await this.ask({question: 'excerpts', lines, before: kExcerptBytes,
                                       after: kExcerptBytes}, signal);
        const total = ranges.reduce((sum, {from, to}) => sum + BigInt(to) - BigInt(from), 0n);
        if (total > BigInt(kMaxExcerptBytes)) {
          this.view.say(`The report's lines around the selection are ${size(total)} long: too ` +
                        'long to show here. Save report writes them.');
        } else {
          const excerpts = await this.requestExcerpts(ranges, signal);
          signal.throwIfAborted();
          this.view.showExcerpts(excerpts, this.describe.report.lastLine);
        }
      }
    }
    this.markShown(selection);
  }

  markShown(selection) {
    this.view.clearMarks();
    const marks = selection.places.map(({line, column, chars}) =>
      this.view.mark(line, column, chars)).filter((mark) => mark !== null);
    if (marks.length > 0) marks[0].id = 'report-mark';
    this.elements.toMark.hidden = marks.length === 0;
    if (selection.line !== null) this.view.highlightLine(selection.line);
  }

  // The report's start came back: the pinned selection's marks come back where it shows them.
  remark() {
    if (this.model.pinned !== null) this.markShown(this.model.pinned);
  }

  // The bytes around the selection, and over them the map's regions that hold them.
  async showBytes(selection, signal) {
    const {hex} = this.elements;
    if (selection.offset === null || BigInt(selection.offset) >= BigInt(this.file.size)) {
      hex.hidden = true;
      this.strip.hide();
      return;
    }
    const offset = Number(selection.offset);
    const {first, bytes} = await this.bytesAround(offset, signal);
    const {regions} = await this.ask({question: 'regions', from: first, to: first + bytes.length,
                                      max: kMaxStripRegions}, signal);
    showHex(hex, first, bytes, offset, selection.count);
    this.strip.show(stripSegments(regions, first, first + bytes.length), offset,
                    selection.count);
  }

  // The bytes view's lines around offset (a number inside file): {first, bytes}.
  async bytesAround(offset, signal, file = this.file) {
    const first = Math.max(0, Math.floor(offset / 16) - kHexContext) * 16;
    return {first, bytes: await this.bytesAt(BigInt(first), (2 * kHexContext + 1) * 16, signal,
                                             file)};
  }

  // For a difference, each bytes view says whose bytes it shows, and the second file's are
  // shown beside the first's.
  async showCompared(compared, signal) {
    if (compared === null) {
      this.hideCompared();
      return;
    }
    const {hexCaption, hexB, hexBBox, hexBCaption} = this.elements;
    const {b, file, name} = compared;
    hexCaption.textContent = `A, ${this.file.name}${compared.a === null ? ': no bytes of it' : ''}`;
    hexCaption.hidden = false;
    hexBBox.hidden = false;
    if (b === null || BigInt(b.offset) >= BigInt(file.size)) {
      hexBCaption.textContent = `B, ${name}: no bytes of it${b === null ? '' : ' in the file'}`;
      hexB.replaceChildren();
      hexB.hidden = true;
      return;
    }
    const offset = Number(b.offset);
    const {first, bytes} = await this.bytesAround(offset, signal, file);
    hexBCaption.textContent = `B, ${name}`;
    showHex(hexB, first, bytes, offset, b.count);
  }

  hideCompared() {
    const {hexCaption, hexBBox, hexB, hexBCaption} = this.elements;
    hexCaption.hidden = true;
    hexBBox.hidden = true;
    hexB.replaceChildren();
    hexBCaption.textContent = '';
  }

  // The outline of the shown selection's pixels on the picture, while it is shown; and on the
  // compared pictures (onShownPixel).
  placeOutline() {
    const {outline, frame} = this.elements;
    const pixel = this.describe === null ? null : shown(this.model)?.pixel ?? null;
    this.onShownPixel?.(pixel);
    if (pixel === null || document.body.dataset.picture !== 'shown') {
      outline.hidden = true;
      return;
    }
    const drawn = this.drawnRect();
    const origin = frame.getBoundingClientRect();
    const box = outlineBox({...drawn, left: drawn.left - origin.left,
                            top: drawn.top - origin.top}, pixel);
    Object.assign(outline.style, {left: `${box.left}px`, top: `${box.top}px`,
                                  width: `${box.width}px`, height: `${box.height}px`});
    outline.hidden = drawn.width === 0;
  }

  // Where the picture is drawn in the canvas's box, on screen: it keeps its proportions
  // (object-fit).
  drawnRect() {
    const box = this.elements.canvas.getBoundingClientRect();
    const {width, height} = this.size;
    const scale = Math.min(box.width / width, box.height / height);
    return {left: box.left + (box.width - width * scale) / 2,
            top: box.top + (box.height - height * scale) / 2,
            width: width * scale, height: height * scale, scale};
  }

  async copy(text, button) {
    try {
      await navigator.clipboard.writeText(text);
      button.textContent = 'Copied';
    } catch (error) {
      button.textContent = `Not copied: ${error.message}`;
    }
  }

  // ---- the picture

  bindPicture() {
    const {canvas, frame} = this.elements;
    canvas.addEventListener('pointermove', (event) => this.hoverAt(this.pixelAt(event)));
    canvas.addEventListener('pointerleave', () => this.panel.preview(''));
    canvas.addEventListener('click', (event) => {
      const pixel = this.pixelAt(event);
      if (pixel !== null) this.choose(this.pixel(pixel.x, pixel.y), 'picture');
    });
    frame.addEventListener('keydown', (event) => this.stepPixelBy(event, 'picture'));
  }

  // An arrow key on a picture moves the selected pixel (selection.js's stepPixel), from the
  // last pixel chosen anywhere, inside this file's picture. how: as choose takes it.
  stepPixelBy(event, how) {
    if (this.describe === null) return;
    const from = this.pixelCursor ?? {x: 0, y: 0};
    const {width, height} = this.size;
    const to = stepPixel(event.key, event.shiftKey, from, width, height);
    if (to === null) return;
    event.preventDefault();
    this.pixelCursor = to;
    this.choose(this.pixel(to.x, to.y), how);
  }

  // Chooses the pixel at x, y, as a picture other than this one shows it (how: as choose takes
  // it).
  choosePixel(x, y, how) {
    if (this.describe !== null) this.choose(this.pixel(x, y), how);
  }

  // The pixel under the pointer: beside a pinned selection, one line says which it is; with
  // none pinned, the panel shows it.
  async hoverAt(pixel) {
    if (pixel === null) return;
    if (this.model.pinned !== null) {
      this.panel.preview(`Under the pointer: x ${count(pixel.x)}, y ${count(pixel.y)} ` +
                         '(from 0). Click to choose it.');
      return;
    }
    this.hover?.abort();
    const hover = new AbortController();
    this.hover = hover;
    const signal = AbortSignal.any([this.signal, hover.signal]);
    try {
      const {selection, details} = await this.pixel(pixel.x, pixel.y)(signal);
      signal.throwIfAborted();
      if (this.model.pinned !== null) return;
      this.model = preview(this.model, selection);
      this.panel.show(panelFacts(this.describe, selection, details));
      this.panel.setData(selection, details.stored, formatColour(details));
      this.placeOutline();
    } catch (error) {
      this.failed(error);
    }
  }

  // The picture can be focused, and its pixel outlined, while it is shown.
  onPictureState(state) {
    if (state === 'shown') this.elements.frame.tabIndex = 0;
    else this.elements.frame.removeAttribute('tabindex');
    this.placeOutline();
  }

  pixelAt(event) {
    if (this.describe === null || document.body.dataset.picture !== 'shown') return null;
    const {left, top, scale} = this.drawnRect();
    const x = Math.floor((event.clientX - left) / scale);
    const y = Math.floor((event.clientY - top) / scale);
    const {width, height} = this.size;
    const inside = x >= 0 && y >= 0 && x < width && y < height;
    return inside ? {x, y} : null;
  }

  // ---- the report

  bindReport() {
    const report = this.view.pre;
    report.addEventListener('click', (event) => {
      if (this.describe === null) return;
      const caret = document.caretPositionFromPoint?.(event.clientX, event.clientY);
      const node = caret ? caret.offsetNode : null;
      if (node === null || node.nodeType !== Node.TEXT_NODE) return;
      const place = this.view.position(node, caret.offset);
      if (place !== null) this.choosePlace(place);
    });
    report.addEventListener('keydown', (event) => {
      if (this.describe === null || !kReportKeys.includes(event.key)) return;
      event.preventDefault();
      this.keys.push({key: event.key, ctrl: event.ctrlKey || event.metaKey});
      if (!this.stepping) this.followKeys();
    });
  }

  choosePlace(cursor) {
    this.cursor = cursor;
    this.choose(async (signal) => {
      const found = await this.place(cursor)(signal);
      this.cursor = found.selection.cursor;
      return found;
    }, 'report');
  }

  // Follows the report's keys one after another, each from where the one before led, so that
  // none is lost however fast they come; the selection follows the cursor.
  async followKeys() {
    this.stepping = true;
    this.busy(1);
    const {signal} = this;
    const ask = (line, column) => this.ask({question: 'place', line, column}, signal);
    try {
      while (this.keys.length > 0) {
        const {key, ctrl} = this.keys.shift();
        // With nothing selected, an arrow, Home or End chooses the first line shown.
        const from = this.cursor ?? {line: this.view.firstShownLine(), column: 0};
        const to = this.cursor === null && !ctrl
          ? {...from, target: await ask(from.line, from.column)}
          : await stepCursor(key, ctrl, from, this.describe, ask);
        if (signal.aborted) return;
        if (to !== from) {
          this.cursor = to;
          this.choose(this.place(to), 'report');
        }
      }
    } catch (error) {
      this.failed(error);
    } finally {
      this.keys = [];
      this.stepping = false;
      this.busy(-1);
    }
  }

  // ---- the fields

  bindForms() {
    const {pixelForm, pixelX, pixelY, offsetForm, offset} = this.elements;
    pixelForm.addEventListener('submit', (event) => {
      event.preventDefault();
      if (this.describe === null) return;
      const {width, height} = this.size;
      const typed = typedPixel(pixelX.value, pixelY.value, width, height);
      if (typed.error !== undefined) this.say('Pixel', typed.error);
      else this.choose(this.pixel(typed.x, typed.y), 'fields');
    });
    offsetForm.addEventListener('submit', (event) => {
      event.preventDefault();
      if (this.describe === null) return;
      const typed = parseOffset(offset.value);
      if (typed.error !== undefined) this.say('Offset', typed.error);
      else this.choose(this.offset(typed.offset), 'fields');
    });
  }

  // A word about what was typed, in place of any selection.
  say(label, text) {
    this.work?.abort();
    this.clearSelection();
    this.panel.show([[label, text]]);
  }
}

// The report's and the decoder's answers about a pixel each read the header their own way, and
// either may find a picture that has no such pixel: null then.
const unlessRefused = (error) => {
  if (error instanceof RangeError) return null;
  throw error;
};

// The selected pixel's colour as the format defines it, #RRGGBB; '' when no pixel is selected
// or the format defines none.
const formatColour = ({decoded}) => (decoded?.state === 0 ? colourHex(decoded.rgba) : '');

// Resolves after ms milliseconds; rejects with the abort's reason as soon as signal aborts.
function pause(ms, signal) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(resolve, ms);
    signal.addEventListener('abort', () => {
      clearTimeout(timer);
      reject(signal.reason);
    }, {once: true});
  });
}
