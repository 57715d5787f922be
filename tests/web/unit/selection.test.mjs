// The one selection: made from the core's answers, pinned or previewed, moved by keys.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {byteSelection, emptyModel, entrySelection, fieldSelection, itemSelection,
        lineSelection, pin, pixelSelection, preview, printedPlaces, regionSelection, shown,
        stepCursor, stepPixel, typedPixel} from '../../../web/selection.js';
import * as answers from './answers.mjs';

const place = (line, column, chars, pastEnd = false) => ({line, column, chars, pastEnd});
// The places of the sample's item 1, in both dumps.
const kItem1 = [place(46, 4, 3), place(53, 10, 9)];
const pick = (selection, ...keys) => keys.map((key) => selection[key]);

test('selections of pixels: their bytes, their items in both dumps, the keys at the first', () => {
  assert.deepEqual(pixelSelection(answers.samplePixel), {
    origin: {kind: 'pixel', x: 6, y: 0}, offset: '148', count: 1, pixel: {x: 6, y: 0, count: 1},
    places: [place(49, 19, 3), place(56, 55, 9)], line: null, cursor: {line: 49, column: 19}});
  // Three bytes, one item: marked once, and drawn as past the end.
  assert.deepEqual(pick(pixelSelection(answers.cut24Pixel, {kind: 'offset', offset: '67'}),
                        'origin', 'offset', 'count', 'places'),
                   [{kind: 'offset', offset: '67'}, '66', 3, [place(28, 1, 14, true)]]);
  // At no fixed offset, or beyond any file: no bytes and no items.
  for (const answer of [{x: 1, y: 2, fixedOffsets: false},
                        {x: 3, y: 4, fixedOffsets: true, beyondAnyFile: true, count: 4,
                         missing: 4, bytes: []}]) {
    assert.deepEqual(pick(pixelSelection(answer), 'offset', 'count', 'places', 'cursor', 'pixel'),
                     [null, 0, [], null, {x: answer.x, y: answer.y, count: 1}]);
  }
  // An RLE pixel: the command that set or skipped it, and the items of its first byte.
  assert.deepEqual(pixelSelection(answers.pal8rlePixel, null, answers.pal8rleDecoded,
                                  answers.pal8rleCommandByte), {
    origin: {kind: 'pixel', x: 0, y: 0}, offset: '8656', count: 26, pixel: {x: 0, y: 0, count: 1},
    places: [place(345, 127, 3), place(409, 379, 9)], line: null,
    cursor: {line: 345, column: 127}});
  assert.deepEqual(pick(pixelSelection({x: 27, y: 21, fixedOffsets: false}, null,
                                       answers.pal4rletrnsSkipped),
                        'offset', 'count', 'places', 'cursor'), ['3018', 4, [], null]);
  // An uncompressed pixel keeps the bytes of the report's layout.
  assert.deepEqual(pixelSelection(answers.samplePixel, null, answers.sampleDecoded),
                   pixelSelection(answers.samplePixel));
  // One the report's layout has not, or stores nowhere: the decoder's bytes.
  assert.deepEqual(pixelSelection(null, null, answers.sampleDecoded), {
    origin: {kind: 'pixel', x: 6, y: 0}, offset: '148', count: 1, pixel: {x: 6, y: 0, count: 1},
    places: [], line: null, cursor: null});
  assert.deepEqual(pick(pixelSelection({x: 0, y: 0, fixedOffsets: false}, {
    kind: 'offset', offset: '1070'}, answers.shortfileMissing), 'origin', 'offset', 'count'),
                   [{kind: 'offset', offset: '1070'}, '1070', 1]);
  assert.deepEqual(pick(pixelSelection(null, null, answers.jpegPixel), 'offset', 'count', 'pixel'),
                   [null, 0, {x: 0, y: 0, count: 1}]);
});

test('selections of regions, items, fields, entries, lines and offsets', () => {
  const row = {offset: 118, size: 8, kind: 'pixel-row', name: 'row 3', note: '', x: 0, y: 3,
               pixels: 8};
  assert.deepEqual(regionSelection(row, answers.sampleItemByte), {
    origin: {kind: 'region', offset: '118', name: 'row 3'}, offset: '118', count: 8,
    pixel: {x: 0, y: 3, count: 8}, places: kItem1, line: null, cursor: {line: 46, column: 4}});
  assert.deepEqual(pick(regionSelection(answers.pal8v5Regions.regions[0],
                                        answers.sampleFieldByte),
                        'offset', 'count', 'pixel', 'places', 'cursor'), ['46', 4, null, [], null]);
  assert.deepEqual(itemSelection(answers.sampleItem, answers.sampleItemByte), {
    origin: {kind: 'item'}, offset: '119', count: 1, pixel: {x: 1, y: 3, count: 1},
    places: kItem1, line: null, cursor: {line: 46, column: 4, target: answers.sampleItem}});
  const padding = {...answers.sampleItemByte, what: {kind: 'padding', row: 2, y: 1}};
  assert.equal(itemSelection(answers.sampleItem, padding).pixel, null);
  // A field, an entry and a line light their line; one no line prints lights none.
  assert.deepEqual(fieldSelection(answers.sample.fields.find(({name}) => name === 'biWidth')), {
    origin: {kind: 'field', name: 'biWidth'}, offset: '18', count: 4, pixel: null, places: [],
    line: 15, cursor: {line: 15, column: 0}});
  assert.deepEqual(pick(fieldSelection(answers.sample.fields[2]), 'offset', 'count', 'line',
                        'cursor'), ['6', 2, null, null]);
  assert.deepEqual(entrySelection(answers.sampleEntry, 34), {
    origin: {kind: 'entry', index: '6'}, offset: '78', count: 4, pixel: null, places: [],
    line: 34, cursor: {line: 34, column: 0}});
  assert.deepEqual(pick(entrySelection({index: '300', offset: '1254'}, 0), 'line', 'cursor'),
                   [null, null]);
  const cursor = {line: 45, column: 2, target: answers.sampleLine};
  assert.deepEqual(lineSelection(cursor), {origin: {kind: 'line'}, offset: null, count: 0,
                                           pixel: null, places: [], line: 45, cursor});
  // A byte chosen by its offset: one byte, the items that print it.
  assert.deepEqual(byteSelection(answers.sampleItemByte), {
    origin: {kind: 'offset', offset: '119'}, offset: '119', count: 1, pixel: null,
    places: kItem1, line: null, cursor: {line: 46, column: 4}});
  assert.equal(byteSelection(answers.samplePastFile).cursor, null);
});

test('each item is marked once, whichever bytes of it are asked about', () => {
  const [first] = answers.cut24Pixel.bytes;
  assert.equal(printedPlaces(answers.cut24Pixel.bytes).length, 1);
  assert.equal(printedPlaces([first, first]).length, 1);
  // The same index in another dump is another item.
  assert.equal(printedPlaces(answers.samplePixel.bytes).length, 2);
  assert.deepEqual(printedPlaces([answers.sampleFieldByte]), []);
});

test('a preview shows only while nothing is pinned, and never replaces what is', () => {
  const [a, b] = [{offset: '1'}, {offset: '2'}];
  let model = emptyModel();
  assert.equal(shown(model), null);
  model = preview(model, a);
  assert.equal(shown(model), a);
  model = pin(model, b);
  assert.deepEqual(model, {pinned: b, preview: null});
  model = preview(model, a);
  assert.deepEqual([shown(model), model.preview], [b, a]);
});

test('arrows move the pixel by one, by ten with Shift, never off the picture', () => {
  for (const [key, shift, [x, y], width, height, to] of [
    ['ArrowRight', false, [5, 5], 8, 7, [6, 5]], ['ArrowLeft', false, [5, 5], 8, 7, [4, 5]],
    ['ArrowUp', false, [5, 5], 8, 7, [5, 4]], ['ArrowDown', false, [5, 5], 8, 7, [5, 6]],
    ['ArrowRight', true, [5, 5], 20, 20, [15, 5]], ['ArrowRight', false, [7, 6], 8, 7, [7, 6]],
    ['ArrowDown', false, [7, 6], 8, 7, [7, 6]], ['ArrowLeft', true, [3, 0], 8, 7, [0, 0]],
    ['ArrowUp', true, [3, 2], 8, 7, [3, 0]], ['ArrowDown', true, [3, 2], 8, 7, [3, 6]],
    ['Home', false, [5, 5], 8, 7, null]]) {
    assert.deepEqual(stepPixel(key, shift, {x, y}, width, height),
                     to && {x: to[0], y: to[1]}, `${key} ${shift} from ${x}, ${y}`);
  }
});

test('a typed pixel is whole and inside the picture, from 0', () => {
  assert.deepEqual(typedPixel('0', '0', 8, 4), {x: 0, y: 0});
  assert.deepEqual(typedPixel('7', '3', 8, 4), {x: 7, y: 3});
  for (const [x, y] of [['8', '0'], ['0', '4'], ['-1', '0'], ['0', '-1'], ['1.5', '0'],
                        ['0', '2.5'], ['', '0'], [' ', '0'], ['0', ' '], ['a', '0'], ['0', 'b']]) {
    assert.deepEqual(typedPixel(x, y, 8, 4), {error: 'x goes from 0 to 7, and y from 0 to 3.'},
                     `${x}, ${y}`);
  }
  assert.deepEqual(typedPixel('0', '0', 83358, 1), {x: 0, y: 0});
  assert.equal(typedPixel('83358', '0', 83358, 1).error,
               'x goes from 0 to 83,357, and y from 0 to 0.');
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

// Each row: the keys, where the cursor starts, and [line, column, item or kind] after each key.
const kWalks = [
  // ArrowRight item by item, row after row, stopping at the last item; ArrowLeft back.
  [Array(11).fill('ArrowRight'), [10, 1], [[10, 4, 1], [10, 7, 2], [10, 10, 3], [11, 1, 4],
                                           [11, 4, 5], [11, 7, 6], [11, 10, 7], [12, 1, 8],
                                           [12, 4, 9], [12, 4, 9], [12, 4, 9]]],
  [Array(10).fill('ArrowLeft'), [12, 4], [[12, 1, 8], [11, 10, 7], [11, 7, 6], [11, 4, 5],
                                          [11, 1, 4], [10, 10, 3], [10, 7, 2], [10, 4, 1],
                                          [10, 1, 0], [10, 1, 0]]],
  // Home and End, on a short last row too; up and down onto a shorter row's last item.
  [['End', 'Home'], [11, 4], [[11, 10, 7], [11, 1, 4]]],
  [['End'], [12, 1], [[12, 4, 9]]],
  [['ArrowDown', 'ArrowDown', 'ArrowUp'], [10, 10], [[11, 10, 7], [12, 4, 9], [11, 4, 5]]],
  // Outside a dump's rows every arrow goes a line; into the rows, to an item.
  [['ArrowDown', 'ArrowRight', 'ArrowLeft', 'ArrowUp'], [2, 0],
   [[3, 0, 'field'], [4, 0, 'nothing'], [3, 0, 'field'], [2, 0, 'nothing']]],
  [['ArrowDown', 'ArrowUp', 'ArrowUp'], [9, 0], [[10, 1, 0], [9, 1, 'nothing'], [8, 1, 'nothing']]],
  [['ArrowUp'], [13, 20], [[12, 4, 9]]],
  [['ArrowDown'], [12, 1], [[13, 1, 'nothing']]],
  [['Home', 'End'], [5, 2], [[5, 2, 'nothing'], [5, 2, 'nothing']]],
  [['ArrowUp'], [2, 0], [[1, 0, 'nothing']]],
  [['ArrowDown'], [19, 0], [[20, 0, 'nothing']]],
  // A row's line chosen at column 0, where no item is: the arrows go a line.
  [['ArrowRight'], [11, 0], [[12, 1, 8]]],
  // Ctrl with an arrow is the arrow; Ctrl+Home and Ctrl+End go to the first and last line.
  [['Ctrl+ArrowRight'], [10, 1], [[10, 4, 1]]],
  [['Ctrl+End', 'ArrowDown', 'ArrowRight', 'Ctrl+Home', 'ArrowUp', 'ArrowLeft'], [11, 4],
   [[20, 0, 'nothing'], [20, 0, 'nothing'], [20, 0, 'nothing'], [1, 0, 'nothing'],
    [1, 0, 'nothing'], [1, 0, 'nothing']]],
];

test('the report\'s keys move the cursor item by item and line by line', async () => {
  for (const [keys, [line, column], path] of kWalks) {
    assert.deepEqual((await walk(keys, {line, column})).path, path, `${keys} from ${line}`);
  }
});

test('the report\'s keys ask the core as little as they can', async () => {
  // A full row's last item is where a row's length puts it: asked about once.
  assert.deepEqual((await walk(['End', 'Home'], {line: 11, column: 4})).asked,
                   [[11, 4], [11, 10], [11, 1]]);
  const {asked} = await walk(['End'], {line: 12, column: 1});
  assert.ok(asked.length <= 5, `${asked.length} questions`);
  // One row of all the items (a width of 0): the last is found all the same.
  const oneRow = [{firstLine: 10, rows: 1, itemChars: 3, rowLength: '0', printed: '10'}];
  assert.deepEqual((await walk(['End'], {line: 10, column: 1}, oneRow)).path, [[10, 28, 9]]);
  // A cursor not yet asked about is asked about first, then moved.
  const first = await walk(['ArrowRight'], {line: 10, column: 4});
  assert.deepEqual([first.path, first.asked], [[[10, 7, 2]], [[10, 4], [10, 7]]]);
  const known = {line: 10, column: 4, target: {kind: 'item', place: {index: '1'}}};
  assert.deepEqual((await walk(['ArrowRight'], known)).asked, [[10, 7]]);
});
