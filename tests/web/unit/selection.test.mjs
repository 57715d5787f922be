// The one selection: made from the core's answers, pinned or previewed, moved by keys.
import assert from 'node:assert/strict';
import {describe, test} from 'node:test';

import {byteSelection, emptyModel, entrySelection, fieldSelection, itemSelection,
        lineSelection, pin, pixelSelection, preview, printedPlaces, regionSelection, shown,
        stepCursor, stepPixel, typedPixel} from '../../../web/selection.js';
import * as answers from './answers.mjs';

describe('selections from the core\'s answers', () => {
  test('a pixel: its bytes, its items in both dumps, the keys starting at the first', () => {
    assert.deepEqual(pixelSelection(answers.samplePixel), {
      origin: {kind: 'pixel', x: 6, y: 0}, offset: '148', count: 1,
      pixel: {x: 6, y: 0, count: 1},
      places: [{line: 49, column: 19, chars: 3, pastEnd: false},
               {line: 56, column: 55, chars: 9, pastEnd: false}],
      line: null, cursor: {line: 49, column: 19}});
    // Three bytes, one item: marked once, and drawn as past the end.
    const cut = pixelSelection(answers.cut24Pixel, {kind: 'offset', offset: '67'});
    assert.deepEqual([cut.origin, cut.offset, cut.count, cut.places],
                     [{kind: 'offset', offset: '67'}, '66', 3,
                      [{line: 28, column: 1, chars: 14, pastEnd: true}]]);
  });

  test('a pixel at no fixed offset, or beyond any file, has no bytes and no items', () => {
    for (const answer of [{x: 1, y: 2, fixedOffsets: false},
                          {x: 3, y: 4, fixedOffsets: true, beyondAnyFile: true, count: 4,
                           missing: 4, bytes: []}]) {
      const selection = pixelSelection(answer);
      assert.deepEqual([selection.offset, selection.count, selection.places, selection.cursor],
                       [null, 0, [], null]);
      assert.deepEqual(selection.pixel, {x: answer.x, y: answer.y, count: 1});
    }
  });

  test('an RLE pixel: the command that set or skipped it, and the items of its first byte',
       () => {
    const set = pixelSelection(answers.pal8rlePixel, null, answers.pal8rleDecoded,
                               answers.pal8rleCommandByte);
    assert.deepEqual(set, {
      origin: {kind: 'pixel', x: 0, y: 0}, offset: '8656', count: 26,
      pixel: {x: 0, y: 0, count: 1},
      places: [{line: 345, column: 127, chars: 3, pastEnd: false},
               {line: 409, column: 379, chars: 9, pastEnd: false}],
      line: null, cursor: {line: 345, column: 127}});
    const skipped = pixelSelection({x: 27, y: 21, fixedOffsets: false}, null,
                                   answers.pal4rletrnsSkipped);
    assert.deepEqual([skipped.offset, skipped.count, skipped.places, skipped.cursor],
                     ['3018', 4, [], null]);
    // An uncompressed pixel keeps the bytes of the report's layout.
    const stored = pixelSelection(answers.samplePixel, null, answers.sampleDecoded);
    assert.deepEqual(stored, pixelSelection(answers.samplePixel));
  });

  test('a pixel the report\'s layout has not, or stores nowhere: the decoder\'s bytes', () => {
    const os2 = pixelSelection(null, null, answers.sampleDecoded);
    assert.deepEqual(os2, {origin: {kind: 'pixel', x: 6, y: 0}, offset: '148', count: 1,
                           pixel: {x: 6, y: 0, count: 1}, places: [], line: null,
                           cursor: null});
    const loose = pixelSelection({x: 0, y: 0, fixedOffsets: false}, {kind: 'offset',
                                                                     offset: '1070'},
                                 answers.shortfileMissing);
    assert.deepEqual([loose.origin, loose.offset, loose.count],
                     [{kind: 'offset', offset: '1070'}, '1070', 1]);
    const none = pixelSelection(null, null, answers.jpegPixel);
    assert.deepEqual([none.offset, none.count, none.pixel], [null, 0, {x: 0, y: 0, count: 1}]);
  });

  test('a region of the map: whole, the pixels it sets, the items of its first byte', () => {
    const row = {offset: 118, size: 8, kind: 'pixel-row', name: 'row 3', note: '', x: 0, y: 3,
                 pixels: 8};
    assert.deepEqual(regionSelection(row, answers.sampleItemByte), {
      origin: {kind: 'region', offset: '118', name: 'row 3'}, offset: '118', count: 8,
      pixel: {x: 0, y: 3, count: 8},
      places: [{line: 46, column: 4, chars: 3, pastEnd: false},
               {line: 53, column: 10, chars: 9, pastEnd: false}],
      line: null, cursor: {line: 46, column: 4}});
    const field = answers.pal8v5Regions.regions[0];
    const chosen = regionSelection(field, answers.sampleFieldByte);
    assert.deepEqual([chosen.offset, chosen.count, chosen.pixel, chosen.places, chosen.cursor],
                     ['46', 4, null, [], null]);
  });

  test('an item: its bytes, the pixel its first byte is of, every dump\'s item for it', () => {
    assert.deepEqual(itemSelection(answers.sampleItem, answers.sampleItemByte), {
      origin: {kind: 'item'}, offset: '119', count: 1, pixel: {x: 1, y: 3, count: 1},
      places: [{line: 46, column: 4, chars: 3, pastEnd: false},
               {line: 53, column: 10, chars: 9, pastEnd: false}],
      line: null, cursor: {line: 46, column: 4, target: answers.sampleItem}});
    const padding = {...answers.sampleItemByte, what: {kind: 'padding', row: 2, y: 1}};
    assert.equal(itemSelection(answers.sampleItem, padding).pixel, null);
  });

  test('a field, an entry and a line light their line; one no line prints lights none', () => {
    const width = answers.sample.fields.find(({name}) => name === 'biWidth');
    assert.deepEqual(fieldSelection(width), {
      origin: {kind: 'field', name: 'biWidth'}, offset: '18', count: 4, pixel: null,
      places: [], line: 15, cursor: {line: 15, column: 0}});
    const reserved = fieldSelection(answers.sample.fields[2]);
    assert.deepEqual([reserved.offset, reserved.count, reserved.line, reserved.cursor],
                     ['6', 2, null, null]);
    assert.deepEqual(entrySelection(answers.sampleEntry, 34), {
      origin: {kind: 'entry', index: '6'}, offset: '78', count: 4, pixel: null, places: [],
      line: 34, cursor: {line: 34, column: 0}});
    const unlisted = entrySelection({index: '300', offset: '1254'}, 0);
    assert.deepEqual([unlisted.line, unlisted.cursor], [null, null]);
    const cursor = {line: 45, column: 2, target: answers.sampleLine};
    assert.deepEqual(lineSelection(cursor), {origin: {kind: 'line'}, offset: null, count: 0,
                                             pixel: null, places: [], line: 45, cursor});
  });

  test('a byte chosen by its offset: one byte, the items that print it', () => {
    assert.deepEqual(byteSelection(answers.sampleItemByte), {
      origin: {kind: 'offset', offset: '119'}, offset: '119', count: 1, pixel: null,
      places: [{line: 46, column: 4, chars: 3, pastEnd: false},
               {line: 53, column: 10, chars: 9, pastEnd: false}],
      line: null, cursor: {line: 46, column: 4}});
    assert.deepEqual(byteSelection(answers.samplePastFile).cursor, null);
  });

  test('each item is marked once, whichever bytes of it are asked about', () => {
    const [first] = answers.cut24Pixel.bytes;
    assert.equal(printedPlaces(answers.cut24Pixel.bytes).length, 1);
    assert.equal(printedPlaces([first, first]).length, 1);
    // The same index in another dump is another item.
    assert.equal(printedPlaces(answers.samplePixel.bytes).length, 2);
    assert.deepEqual(printedPlaces([answers.sampleFieldByte]), []);
  });
});

describe('the model', () => {
  test('a preview shows only while nothing is pinned, and never replaces what is', () => {
    const a = {offset: '1'};
    const b = {offset: '2'};
    let model = emptyModel();
    assert.equal(shown(model), null);
    model = preview(model, a);
    assert.equal(shown(model), a);
    model = pin(model, b);
    assert.deepEqual(model, {pinned: b, preview: null});
    model = preview(model, a);
    assert.equal(shown(model), b);
    assert.equal(model.preview, a);
  });
});

describe('the picture\'s keys and fields', () => {
  test('arrows move the pixel by one, by ten with Shift, never off the picture', () => {
    const at = {x: 5, y: 5};
    assert.deepEqual(stepPixel('ArrowRight', false, at, 8, 7), {x: 6, y: 5});
    assert.deepEqual(stepPixel('ArrowLeft', false, at, 8, 7), {x: 4, y: 5});
    assert.deepEqual(stepPixel('ArrowUp', false, at, 8, 7), {x: 5, y: 4});
    assert.deepEqual(stepPixel('ArrowDown', false, at, 8, 7), {x: 5, y: 6});
    assert.deepEqual(stepPixel('ArrowRight', true, at, 20, 20), {x: 15, y: 5});
    assert.deepEqual(stepPixel('ArrowRight', false, {x: 7, y: 6}, 8, 7), {x: 7, y: 6});
    assert.deepEqual(stepPixel('ArrowDown', false, {x: 7, y: 6}, 8, 7), {x: 7, y: 6});
    assert.deepEqual(stepPixel('ArrowLeft', true, {x: 3, y: 0}, 8, 7), {x: 0, y: 0});
    assert.deepEqual(stepPixel('ArrowUp', true, {x: 3, y: 2}, 8, 7), {x: 3, y: 0});
    assert.deepEqual(stepPixel('ArrowDown', true, {x: 3, y: 2}, 8, 7), {x: 3, y: 6});
    assert.equal(stepPixel('Home', false, at, 8, 7), null);
  });

  test('a typed pixel is whole and inside the picture, from 0', () => {
    assert.deepEqual(typedPixel('0', '0', 8, 4), {x: 0, y: 0});
    assert.deepEqual(typedPixel('7', '3', 8, 4), {x: 7, y: 3});
    const error = {error: 'x goes from 0 to 7, and y from 0 to 3.'};
    for (const [x, y] of [['8', '0'], ['0', '4'], ['-1', '0'], ['0', '-1'], ['1.5', '0'],
                          ['0', '2.5'], ['', '0'], [' ', '0'], ['0', ' '], ['a', '0'],
                          ['0', 'b']]) {
      assert.deepEqual(typedPixel(x, y, 8, 4), error, `${x}, ${y}`);
    }
    assert.deepEqual(typedPixel('0', '0', 83358, 1), {x: 0, y: 0});
    assert.equal(typedPixel('83358', '0', 83358, 1).error,
                 'x goes from 0 to 83,357, and y from 0 to 0.');
  });
});

// A report whose dump has rows of four 3-character items from line 10, ten items in all: rows
// on lines 10, 11 and 12, the last of two items; a field on line 3; 20 lines in all. ask()
// answers as the core would, and counts the questions.
const kReport = {report: {lastLine: 20},
                 dumps: [{firstLine: 10, rows: 3, itemChars: 3, rowLength: '4', printed: '10'}]};
function oracle(dumps = kReport.dumps) {
  const asked = [];
  const ask = async (line, column) => {
    asked.push([line, column]);
    const [dump] = dumps;
    const rowLength = Number(dump.rowLength) || Number(dump.printed);
    const item = Math.floor((column - 1) / dump.itemChars);
    const index = (line - dump.firstLine) * rowLength + item;
    if (line >= dump.firstLine && line < dump.firstLine + dump.rows && column >= 1 &&
        item < rowLength && index < Number(dump.printed)) {
      return {kind: 'item', place: {index: String(index), line,
                                    column: 1 + item * dump.itemChars}};
    }
    return line === 3 ? {kind: 'field', name: 'biWidth'} : {kind: 'nothing'};
  };
  return {ask, asked};
}

async function walk(keys, from, dumps) {
  const {ask, asked} = oracle(dumps);
  let cursor = from;
  const path = [];
  for (const key of keys) {
    const [name, ctrl] = key.startsWith('Ctrl+') ? [key.slice(5), true] : [key, false];
    cursor = await stepCursor(name, ctrl, cursor, {...kReport, dumps: dumps ?? kReport.dumps},
                              ask);
    path.push([cursor.line, cursor.column, cursor.target.kind === 'item'
      ? Number(cursor.target.place.index) : cursor.target.kind]);
  }
  return {path, asked};
}

describe('the report\'s keys', () => {
  test('ArrowRight goes item by item, row after row, and stops at the last item', async () => {
    const {path} = await walk(Array(11).fill('ArrowRight'), {line: 10, column: 1});
    assert.deepEqual(path.map(([, , index]) => index), [1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9]);
    assert.deepEqual(path[3], [11, 1, 4]);
    assert.deepEqual(path[9], [12, 4, 9]);
  });

  test('ArrowLeft goes back the same way, to the last item of the row before', async () => {
    const {path} = await walk(Array(10).fill('ArrowLeft'), {line: 12, column: 4});
    assert.deepEqual(path.map(([, , index]) => index), [8, 7, 6, 5, 4, 3, 2, 1, 0, 0]);
    assert.deepEqual(path[1], [11, 10, 7]);
  });

  test('Home and End go to a row\'s first and last item, on a short last row too', async () => {
    const full = await walk(['End', 'Home'], {line: 11, column: 4});
    assert.deepEqual(full.path, [[11, 10, 7], [11, 1, 4]]);
    // A full row's last item is where a row's length puts it: asked about once.
    assert.deepEqual(full.asked, [[11, 4], [11, 10], [11, 1]]);
    const {path, asked} = await walk(['End'], {line: 12, column: 1});
    assert.deepEqual(path, [[12, 4, 9]]);
    assert.ok(asked.length <= 5, `${asked.length} questions`);
    // One row of all the items (a width of 0): the last is found all the same.
    const oneRow = [{firstLine: 10, rows: 1, itemChars: 3, rowLength: '0', printed: '10'}];
    assert.deepEqual((await walk(['End'], {line: 10, column: 1}, oneRow)).path, [[10, 28, 9]]);
  });

  test('up and down keep the column in the dump, onto a shorter row\'s last item', async () => {
    assert.deepEqual((await walk(['ArrowDown', 'ArrowDown', 'ArrowUp'], {line: 10,
                                                                        column: 10})).path,
                     [[11, 10, 7], [12, 4, 9], [11, 4, 5]]);
  });

  test('outside a dump\'s rows every arrow goes a line; into the rows, to an item', async () => {
    assert.deepEqual((await walk(['ArrowDown', 'ArrowRight', 'ArrowLeft', 'ArrowUp'],
                                 {line: 2, column: 0})).path,
                     [[3, 0, 'field'], [4, 0, 'nothing'], [3, 0, 'field'], [2, 0, 'nothing']]);
    assert.deepEqual((await walk(['ArrowDown', 'ArrowUp', 'ArrowUp'], {line: 9, column: 0}))
                         .path, [[10, 1, 0], [9, 1, 'nothing'], [8, 1, 'nothing']]);
    assert.deepEqual((await walk(['ArrowUp'], {line: 13, column: 20})).path, [[12, 4, 9]]);
    assert.deepEqual((await walk(['ArrowDown'], {line: 12, column: 1})).path,
                     [[13, 1, 'nothing']]);
    assert.deepEqual((await walk(['Home', 'End'], {line: 5, column: 2})).path,
                     [[5, 2, 'nothing'], [5, 2, 'nothing']]);
    assert.deepEqual((await walk(['ArrowUp'], {line: 2, column: 0})).path, [[1, 0, 'nothing']]);
    assert.deepEqual((await walk(['ArrowDown'], {line: 19, column: 0})).path,
                     [[20, 0, 'nothing']]);
    // A row's line chosen at column 0, where no item is: the arrows go a line.
    assert.deepEqual((await walk(['ArrowRight'], {line: 11, column: 0})).path, [[12, 1, 8]]);
    // Ctrl with an arrow is the arrow.
    assert.deepEqual((await walk(['Ctrl+ArrowRight'], {line: 10, column: 1})).path,
                     [[10, 4, 1]]);
  });

  test('Ctrl+Home and Ctrl+End go to the first and last line; no key goes past them',
       async () => {
    assert.deepEqual((await walk(['Ctrl+End', 'ArrowDown', 'ArrowRight', 'Ctrl+Home',
                                  'ArrowUp', 'ArrowLeft'], {line: 11, column: 4})).path,
                     [[20, 0, 'nothing'], [20, 0, 'nothing'], [20, 0, 'nothing'],
                      [1, 0, 'nothing'], [1, 0, 'nothing'], [1, 0, 'nothing']]);
  });

  test('a cursor not yet asked about is asked about first, then moved', async () => {
    const {path, asked} = await walk(['ArrowRight'], {line: 10, column: 4});
    assert.deepEqual(path, [[10, 7, 2]]);
    assert.deepEqual(asked, [[10, 4], [10, 7]]);
    const known = {line: 10, column: 4, target: {kind: 'item', place: {index: '1'}}};
    assert.deepEqual((await walk(['ArrowRight'], known)).asked, [[10, 7]]);
  });
});
