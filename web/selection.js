// The one selection: a byte range of the file and what it came from, and how keys move it.

// A selection is a plain object, made from the core's answers and never from the page's own
// arithmetic:
//   origin   what was chosen: {kind: 'pixel', x, y}, {kind: 'field', name}, {kind: 'entry',
//            index}, {kind: 'item'}, {kind: 'offset', offset}, {kind: 'region', offset, name}
//            (a region of the file's map), {kind: 'line'} or {kind: 'difference'} (a
//            difference of a comparison that has no bytes in this file)
//   offset   its first byte, a decimal string; null when it has none (a line, a pixel no
//            byte holds, an offset beyond any file)
//   count    how many bytes from offset
//   pixel    the pixels to outline, {x, y, count} in a row, or null
//   places   the report's items that print its bytes, [{line, column, chars, pastEnd}]
//   line     a report line to light (a header field's, a table entry's, a line of neither), or
//            null
//   cursor   where the report's keys go on from: {line, column, target}, target the core's
//            answer about that place, or undefined while it is not asked yet
//   compared for a difference of a comparison, what the inspector shows of it besides
//            (inspector.js's chooseDifference); absent otherwise
// The inspector holds the pinned selection and the preview under the pointer side by side;
// everything it shows is drawn from them.

import {count} from './numbers.js';
import {dumpRows, rowsAt} from './report_pieces.js';

// The model: the pinned selection, and the preview the pointer shows while nothing is pinned
// or beside what is.
export const emptyModel = () => ({pinned: null, preview: null});

// What the panel, the marks, the outline, the bytes and the x and y fields show: the pinned
// selection; a preview only while nothing is pinned.
export const shown = (model) => model.pinned ?? model.preview;

export const pin = (model, selection) => ({pinned: selection, preview: null});
export const preview = (model, selection) => ({...model, preview: selection});

// The items a report prints for bytes ([{dumps}], as the core answers for each byte): each
// printed item once, in the order of the bytes and the dumps.
export function printedPlaces(bytes) {
  const seen = new Set();
  const places = [];
  for (const byte of bytes) {
    for (const inDump of byte.dumps) {
      if (inDump.why !== 'printed') continue;
      const {dump, index, line, column, chars, pastEnd} = inDump.place;
      const key = `${dump}:${index}`;
      if (seen.has(key)) continue;
      seen.add(key);
      places.push({line, column, chars, pastEnd: pastEnd === true});
    }
  }
  return places;
}

const cursorAt = (places) =>
  places.length > 0 ? {line: places[0].line, column: places[0].column} : null;

// The pixel the core described: its answer to pixel {x, y} as the report walks the file
// (pixel; null when the report's layout has no such pixel) and the decoder's (decoded, or
// null). Its bytes are the RLE command that set or skipped it, when one did (commandByte: the
// core's answer to byte for the command's first byte, whose items the dumps print); else the
// bytes the report's layout stores it in; else those the decoder read it from.
export function pixelSelection(pixel, origin = null, decoded = null, commandByte = null) {
  const {x, y} = pixel ?? decoded;
  const chosen = origin ?? {kind: 'pixel', x, y};
  const at = {x, y, count: 1};
  if (decoded?.command) {
    const places = commandByte === null ? [] : printedPlaces([commandByte]);
    return {origin: chosen, offset: decoded.command.offset, count: decoded.command.size,
            pixel: at, places, line: null, cursor: cursorAt(places)};
  }
  if (pixel !== null && pixel.fixedOffsets && !pixel.beyondAnyFile) {
    const places = printedPlaces(pixel.bytes);
    return {origin: chosen, offset: pixel.offset, count: pixel.count, pixel: at, places,
            line: null, cursor: cursorAt(places)};
  }
  const data = decoded?.data ?? null;
  return {origin: chosen, offset: data === null ? null : data.offset,
          count: data === null ? 0 : data.size, pixel: at, places: [], line: null,
          cursor: null};
}

// A region of the file's map (the decoder's answer), chosen whole, and what its first byte is
// as the report walks the file (byte, the core's answer to byte): the items that print it.
export function regionSelection(region, byte) {
  const places = printedPlaces([byte]);
  return {origin: {kind: 'region', offset: String(region.offset), name: region.name},
          offset: String(region.offset), count: region.size,
          pixel: region.pixels > 0 ? {x: region.x, y: region.y, count: region.pixels} : null,
          places, line: null, cursor: cursorAt(places)};
}

// The item at a place of the report (the core's answer to place, of kind 'item'), and what
// its first byte is (its answer to byte).
export function itemSelection(answer, byte) {
  const {place} = answer;
  const what = byte.what;
  return {origin: {kind: 'item'}, offset: place.offset, count: place.bytes,
          pixel: what.kind === 'pixel' ? {x: what.x, y: what.y, count: what.count} : null,
          places: printedPlaces([byte]), line: null,
          cursor: {line: place.line, column: place.column, target: answer}};
}

// A header field of the file's description ({name, offset, width, line}).
// A reserved field, which no line prints, has line 0.
export function fieldSelection(field, cursor = field.line > 0 ? {line: field.line, column: 0}
                                                               : null) {
  return {origin: {kind: 'field', name: field.name}, offset: field.offset, count: field.width,
          pixel: null, places: [], line: field.line > 0 ? field.line : null, cursor};
}

// A colour-table entry, as the core answers place for its line or says a byte is of one
// ({index, offset}), and its line (0 when none lists it).
export function entrySelection(entry, line) {
  return {origin: {kind: 'entry', index: entry.index}, offset: entry.offset, count: 4,
          pixel: null, places: [], line: line > 0 ? line : null,
          cursor: line > 0 ? {line, column: 0} : null};
}

// A report line that prints no header field, table entry or item.
export function lineSelection(cursor) {
  return {origin: {kind: 'line'}, offset: null, count: 0, pixel: null, places: [],
          line: cursor.line, cursor};
}

// A byte chosen by its offset, when it is not a field, an entry or a pixel: row padding, the
// gap before the pixels, bytes past them or past the file (the core's answer to byte).
export function byteSelection(byte) {
  const places = printedPlaces([byte]);
  return {origin: {kind: 'offset', offset: byte.offset}, offset: byte.offset, count: 1,
          pixel: null, places, line: null, cursor: cursorAt(places)};
}

// The pixel typed into the x and y fields: {x, y}, or {error} in words when it is not one of
// the picture's.
export function typedPixel(xText, yText, width, height) {
  const x = Number(xText);
  const y = Number(yText);
  if (xText.trim() === '' || yText.trim() === '' || !Number.isInteger(x) ||
      !Number.isInteger(y) || x < 0 || y < 0 || x >= width || y >= height) {
    return {error: `x goes from 0 to ${count(width - 1)}, and y from 0 to ${count(height - 1)}.`};
  }
  return {x, y};
}

// The pixel at x, y moved by an arrow key, a step of 10 with Shift, kept inside the picture;
// null for any other key.
export function stepPixel(key, shift, from, width, height) {
  const steps = {ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1]};
  const step = steps[key];
  if (!step) return null;
  const stride = shift ? 10 : 1;
  return {x: Math.min(width - 1, Math.max(0, from.x + step[0] * stride)),
          y: Math.min(height - 1, Math.max(0, from.y + step[1] * stride))};
}

const isItem = (at) => at.target.kind === 'item';

// Where a key moves the report's cursor from: left and right item by item within a dump's
// rows, wrapping to the next or previous row; up and down line by line, keeping the column,
// onto a row's last item where a row is shorter; elsewhere every arrow a line; Home and End to
// a row's first and last item; with ctrl, Home and End to the report's first and last line.
// describe is the core's description of the file; ask(line, column) resolves to its answer
// about that place.
// Resolves to the new cursor, or to from when the key leads nowhere.
export async function stepCursor(key, ctrl, cursor, describe, ask) {
  const at = async (line, column) => ({line, column, target: await ask(line, column)});
  if (ctrl && key === 'Home') return at(1, 0);
  if (ctrl && key === 'End') return at(describe.report.lastLine, 0);
  const from = cursor.target === undefined ? await at(cursor.line, cursor.column) : cursor;
  const rows = dumpRows(describe.dumps);
  const dump = rowsAt(rows, from.line);
  const lastItemOn = (line) => lastItem(line, rows[dump], describe.dumps[dump], at);
  // Up and down go a line, in a dump's rows as elsewhere.
  if (dump >= 0 && isItem(from) && key !== 'ArrowUp' && key !== 'ArrowDown') {
    const width = rows[dump].itemChars;
    switch (key) {
      case 'ArrowRight': {
        const right = await at(from.line, from.column + width);
        if (isItem(right)) return right;
        return from.line < rows[dump].last ? at(from.line + 1, 1) : from;
      }
      case 'ArrowLeft':
        if (from.column - width >= 1) return at(from.line, from.column - width);
        return from.line > rows[dump].first ? lastItemOn(from.line - 1) : from;
      case 'Home':
        return at(from.line, 1);
      default:
        return lastItemOn(from.line);
    }
  }
  if (key === 'Home' || key === 'End') return from;
  const line = from.line + (key === 'ArrowDown' || key === 'ArrowRight' ? 1 : -1);
  if (line < 1 || line > describe.report.lastLine) return from;
  const onto = rowsAt(rows, line);
  if (onto < 0) return at(line, from.column);
  const item = await at(line, Math.max(1, from.column));
  return isItem(item) ? item : lastItem(line, rows[onto], describe.dumps[onto], at);
}

// The last item of a dump's row at line: at a full row's length, or, on a last row that is
// shorter, found by halving between its first item and that length.
async function lastItem(line, rows, dump, at) {
  const width = rows.itemChars;
  const column = (item) => 1 + item * width;
  let high = (Number(dump.rowLength) || Number(dump.printed)) - 1;
  const full = await at(line, column(high));
  if (isItem(full)) return full;
  let low = 0;
  while (high - low > 1) {
    const middle = Math.floor((low + high) / 2);
    if (isItem(await at(line, column(middle)))) low = middle;
    else high = middle;
  }
  return at(line, column(low));
}
