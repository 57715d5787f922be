// The panel's text for each kind of selection, from the core's answers, and the bytes view.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {dumpFacts, entryIndex, factsText, hexRows, kCounting, panelFacts,
        pixelValue} from '../../../web/panel_text.js';
import {byteSelection, entrySelection, fieldSelection, itemSelection, lineSelection,
        pixelSelection, regionSelection} from '../../../web/selection.js';
import * as answers from './answers.mjs';

const {sample, cut24, pal4, samplePixel, sampleDecoded: decoded, sampleItem: item,
       sampleItemByte: itemByte, sampleFormat: format} = answers;
const bytes = (...values) => new Uint8Array(values);
const text = (describe, selection, details) => factsText(panelFacts(describe, selection, details));
// A pixel's text, with no bytes, colour or entry unless given.
const pixelText = (describe, pixel, more = {}, origin = null) =>
  text(describe, pixelSelection(pixel, origin), {pixel, stored: bytes(), colour: null,
                                                 entry: null, ...more});
const items = (line, index, row) => `line ${line} (from 1), item ${index} of the row (from 0), ` +
                                    `in the row numbered ${row}`;
const sampleItems = (i, r, a, b) => [`Bitmap Data[Indexed data]: ${items(a, i, r)}`,
                                     `Bitmap Data[RGB translated]: ${items(b, i, r)}`];
const kSampleWalk = 'The dumps\' walk: Bitmap Data[Indexed data] reads 32 items from 118 in ' +
                    'rows of 8, skipping 0 bytes at each break; Bitmap Data[RGB translated] ' +
                    'reads 32 items from 118 in rows of 8, skipping 0 bytes at each break';
const kCompressed = 'nowhere fixed: biCompression marks the pixels as compressed, so they are ' +
                    'not at fixed offsets';
const white = {index: 15, inTable: true, offset: '114', stored: bytes(0xFF, 0xFF, 0xFF, 0)};
// The sample's pixel 6, 0, its colours as given.
const samplePixelText = (...colours) => [
  'Pixel: x 6, y 0 (from 0, at the top left)', ...colours, 'Stored at: 148 (0x94), 1 byte',
  'Stored bytes: 0F', 'Stored row: row 3 as stored (from 0; rows bottom-up, 8 bytes each from ' +
  '118), byte 6 of the row (from 0)', 'Table entry: #FFFFFF, entry 15 (from 0), stored at 114 ' +
  '(0x72)', ...sampleItems(6, 4, 49, 56), kSampleWalk];
const partsOf = (facts, label) => facts.find(([name]) => name === label)[1];

// Each row: what is shown, then the whole text (a list of lines), lines it holds in a row (a
// string) or {not: a word it lacks}.
const pastItem = {...item, place: {...item.place, pastEnd: true}};
const pastWhat = (what, stored = bytes()) => text(sample, itemSelection(pastItem, {
  ...itemByte, what}), {place: pastItem, byte: {...itemByte, what}, stored});
const offsetIs = (what) => {
  const byte = {...answers.samplePastFile, offset: '20', what};
  return text(sample, byteSelection(byte), {byte, stored: bytes(0)});
};
const itemText = (more) => text(sample, itemSelection(item, itemByte), {
  place: item, byte: itemByte, stored: bytes(0x01), ...more});
const regionText = (region, stored) => text(sample, regionSelection(region, itemByte), {
  region, format, byte: itemByte, stored});
const width = sample.fields.find(({name}) => name === 'biWidth');
const entry5 = answers.sampleEntryPlace;
const entry5Text = (...stored) => text(sample, entrySelection(entry5, 33), {
  entryPlace: entry5, stored: bytes(...stored)});
const row3 = {offset: 118, size: 8, kind: 'pixel-row', name: 'row 3', note: '', x: 0, y: 3,
              pixels: 8};
const long = {...row3, size: 5000};
const oneItem = {...decoded, x: 1, y: 3, rgba: [0x11, 0x22, 0x33, 255]};
const loose = {x: 1, y: 2, fixedOffsets: false};
const layout = (changes) => ({...sample, layout: {...sample.layout, ...changes}});
const far = {x: 2147483647, y: 2147483647, fixedOffsets: true, beyondAnyFile: true, count: 4,
             missing: 4, bytes: []};
const cutPixel = (changes, more) => pixelText(cut24, {...answers.cut24Pixel, ...changes}, more);
const entryRow = (describe, index, inTable, stored) => pixelText(describe, samplePixel, {
  stored: bytes(0x20), entry: index === null ? null : {index, inTable, offset: '66', stored}});
const pal4Text = (changes, stored, entry = null) => pixelText(pal4, {...answers.pal4Pixel,
                                                                     ...changes}, {stored, entry});
const entryAt = 'Stored at: 74 (0x4A), 4 bytes: blue, green, red, reserved';
const twoPixels = (more = {}) => pixelText(pal4, answers.pal4Pixel, {
  byte: {...answers.sampleFieldByte, what: {kind: 'pixel', x: 4, y: 2, count: 2, inPixel: 0}},
  stored: bytes(0x3C), ...more}, {kind: 'offset', offset: '4008'});
const kRows = [
  ['a cut 24-bit pixel: its missing bytes, its item printed past the end',
   () => cutPixel({}, {stored: bytes(0x8C)}),
   ['Pixel: x 0, y 0 (from 0, at the top left)',
    'Browser colour: none: the browser has not decoded the picture',
    'Stored at: 66 (0x42), 3 bytes', 'Stored bytes: 8C',
    'Missing: 2 of its 3 bytes lie past the end of the file, which is 67 bytes long',
    'Stored row: row 1 as stored (from 0; rows bottom-up, 12 bytes each from 54), byte 0 of ' +
    'the row (from 0)', `Bitmap Data: ${items(28, 0, 2)}, printed past the end of the file: ` +
    'it repeats the item read last', 'The dumps\' walk: Bitmap Data reads 6 items from 54 in ' +
    'rows of 3, skipping 3 bytes at each break']],
  ['all bytes missing', () => cutPixel({missing: 3}),
   'Missing: all 3 of its bytes lie past the end of the file, which is 67 bytes long'],
  ['its one byte missing', () => cutPixel({count: 1, missing: 1}),
   'Missing: its byte lies past the end of the file, which is 67 bytes long'],
  ['a whole pixel misses nothing', () => pixelText(cut24, answers.cut24Whole), {not: 'Missing'}],
  ['no stored bytes, none listed', () => cutPixel({}), {not: 'Stored bytes'}],
  ['rows top-down', () => pixelText({...cut24, layout: {...cut24.layout, topDown: true}},
                                    answers.cut24Pixel),
   'Stored row: row 1 as stored (from 0; rows top-down, 12 bytes each from 54), byte 0 of the ' +
   'row (from 0)'],
  ['an entry not in the table', () => entryRow(sample, 32, false, bytes()),
   'Table entry: entry 32 (from 0): not in the report\'s table of 16 entries'],
  ['an entry not in a table of one', () => entryRow({...sample, table: {count: '1'}}, 32, false,
                                                    bytes()),
   'Table entry: entry 32 (from 0): not in the report\'s table of 1 entry'],
  ['an entry past the file', () => entryRow(sample, 3, true, bytes(1, 2, 3)),
   'Table entry: entry 3 (from 0): past the end of the file'],
  ['no entry, no line', () => entryRow(sample, null), {not: 'Table entry'}],
  ['4-bit pixel, low bits', () => pal4Text({}, bytes(0x3C), {index: 12, inTable: true,
                                                             offset: '102',
                                                             stored: bytes(1, 2, 3, 0)}),
   'Stored at: 4,008 (0xFA8), 1 byte\nStored bytes: 3C: bits 3 to 0 of the byte, 1100\n' +
   'Stored row: row 61 as stored (from 0; rows bottom-up, 64 bytes each from 102), byte 2 of ' +
   'the row (from 0)\nTable entry: #030201, entry 12 (from 0), stored at 102 (0x66)'],
  ['4-bit pixel, high bits', () => pal4Text({shift: 4}, bytes(0x3C)),
   'Stored bytes: 3C: bits 7 to 4 of the byte, 0011'],
  ['1-bit pixel', () => pal4Text({bits: 1, shift: 5}, bytes(0x20)),
   'Stored bytes: 20: bit 5 of the byte, 1'],
  ['a compressed pixel', () => pixelText(layout({compressed: true}), loose, {
    colour: [0, 0, 0, 255], stored: null}),
   ['Pixel: x 1, y 2 (from 0, at the top left)', 'Browser colour: #000000',
    `Stored: ${kCompressed}`]],
  ['a depth the format does not define', () => pixelText(layout({bits: 7}), loose),
   'Stored: nowhere fixed: 7 bits per pixel is a depth the format does not define'],
  ['a pixel beyond any file', () => pixelText(sample, far, {stored: null}),
   ['Pixel: x 2,147,483,647, y 2,147,483,647 (from 0, at the top left)',
    'Browser colour: none: the browser has not decoded the picture',
    'Stored at: beyond any file: its offset would pass 18,446,744,073,709,551,615, the last a ' +
    'file can have']],
  ['a pixel the format stores where the report does: one table entry',
   () => text(sample, pixelSelection(samplePixel, null, decoded), {
     pixel: samplePixel, decoded, stored: bytes(0x0F), colour: [255, 255, 255, 255],
     entry: white}),
   samplePixelText('Format colour: #FFFFFF', 'Browser colour: #FFFFFF')],
  ['a pixel the report\'s layout has not', () => text(sample, pixelSelection(null, null, decoded),
                                                       {pixel: null, decoded, stored: bytes(0x0F),
                                                        colour: null, browserCannot: true,
                                                        entry: null}),
   ['Pixel: x 6, y 0 (from 0, at the top left)', 'Format colour: #FFFFFF',
    'Browser colour: none: this browser cannot decode the file',
    'Format stores it at: 148 (0x94): 0F',
    'Table entry: #FFFFFF, entry 15 (from 0), stored at 114 (0x72)',
    'In the report: no pixel x 6, y 0: the report reads the header as a picture of 8 × 4 ' +
    'pixels']],
  ['a region of the map chosen whole', () => regionText(row3, bytes(0, 1, 2, 3, 4, 5, 6, 7)),
   ['In the file\'s map: row 3 (from 0, at the top): a stored row of pixels',
    'Region: 118 (0x76), 8 bytes', 'Sets pixels: x 0 to 7, y 3 (from 0)',
    'Stored bytes: 00 01 02 03 04 05 06 07', ...sampleItems(1, 1, 46, 53), kSampleWalk]],
  ['a region longer than the bytes listed', () => regionText(long, new Uint8Array(4096)),
   `Stored bytes: ${'00 '.repeat(4095)}00 and 904 bytes more, not shown here`],
  ['a region with no bytes in the file', () => regionText(long, bytes()), {not: 'Stored bytes'}],
  ['a field, then its region', () => text(sample, fieldSelection(width), {
    field: width, region: {offset: 18, size: 4, kind: 'info-header', name: 'biWidth', note: ''},
    format, stored: bytes(8, 0, 0, 0)}),
   'Report line: line 15 (from 1)\nIn the file\'s map: biWidth: a field of the info header\n' +
   'Region: 18 (0x12), 4 bytes\nValue: 8: pixels'],
  ['the report\'s entry 0, the format\'s red mask', () => {
    const entry = {kind: 'entry', index: '0', offset: '54', line: 28};
    const mask = answers.pal8v5Regions.regions.find(({name}) => name === 'bV5RedMask');
    return text(sample, entrySelection(entry, 28), {entryPlace: entry, region: mask,
                                                    format: answers.pal8v5Format,
                                                    stored: bytes(0, 0, 0, 0)});
  }, ['Table entry: entry 0 (from 0)', 'Stored at: 54 (0x36), 4 bytes: blue, green, red, reserved',
      'Stored bytes: 00 00 00 00', 'In the file\'s map: bV5RedMask: a field of the info header',
      'Region: 54 (0x36), 4 bytes', 'Value: 0x00000000: no bits']],
  ['an item', () => itemText({}),
   [`Report item: Bitmap Data[Indexed data]: ${items(46, 1, 1)}`, 'Read at: 119 (0x77), 1 byte',
    'Stored bytes: 01', 'Pixel: x 1, y 3 (from 0)', ...sampleItems(1, 1, 46, 53), kSampleWalk]],
  ['an item of a pixel whose colours differ', () => itemText({
    decoded: oneItem, colour: [0x11, 0x22, 0x34, 255], browserCannot: false}),
   'Pixel: x 1, y 3 (from 0)\nFormat colour: #112233\nBrowser colour: #112234\nColours differ: ' +
   `this browser shows #112234 where the format defines #112233\n${sampleItems(1, 1, 46, 53)[0]}`],
  ['an item of a pixel the browser cannot show', () => itemText({
    decoded: oneItem, colour: null, browserCannot: true}),
   'Format colour: #112233\nBrowser colour: none: this browser cannot decode the file'],
  ['an item past the end, of two pixels', () => pastWhat({kind: 'pixel', x: 28, y: 62, count: 2}),
   'Stored bytes: past the end of the file, which is 150 bytes long: the item repeats what the ' +
   'dump read last\nPixel: x 28 to 29, y 62 (from 0)'],
  ['an item past the end, of padding', () => pastWhat({kind: 'padding', row: 2, y: 1}, bytes(7)),
   'Stored bytes: 07; past the end of the file, which is 150 bytes long: the item repeats what ' +
   'the dump read last\nPixel: none: the format counts this byte as padding of stored row 2 ' +
   '(from 0)'],
  ['an item of RLE data', () => pastWhat({kind: 'pixel-data'}),
   'Pixel: none: the pixels are not at fixed offsets'],
  ['an item past the file', () => pastWhat({kind: 'past-file'}),
   'Pixel: none: the byte lies outside the picture\'s stored rows'],
  ['bfSize, beside the file\'s length', () => {
    const size = sample.fields.find(({name}) => name === 'bfSize');
    return text(sample, fieldSelection(size), {field: size, stored: bytes(0x96, 0, 0, 0)});
  }, ['Header field: bfSize', 'Stored at: 2 (0x2), 4 bytes',
      'Stored bytes: 96 00 00 00 (file order, least significant first)',
      'Measured length: the file is 150 bytes long', 'Report line: line 10 (from 1)']],
  ['a field past the file, on no line', () => text(sample, fieldSelection(sample.fields[2]), {
    field: sample.fields[2], stored: bytes()}),
   ['Header field: bfReserved1', 'Stored at: 6 (0x6), 2 bytes',
    'Stored bytes: none: past the end of the file',
    'Report line: none: the report prints no line for this field']],
  ['a table entry', () => entry5Text(0x55, 0x55, 0x55, 0),
   ['Table entry: entry 5 (from 0)', entryAt, 'Stored bytes: 55 55 55 00']],
  ['a table entry cut short', () => entry5Text(1, 2),
   ['Table entry: entry 5 (from 0)', entryAt,
    'Stored bytes: past the end of the file: the report shows zeros']],
  ['a line of none', () => text(sample, lineSelection({line: 45, column: 2}), {stored: null}),
   ['Report line: line 45 (from 1) prints no header field, table entry or pixel byte']],
  ['an offset past the file', () => offsetIs({kind: 'past-file'}),
   ['Offset: 20 (0x14)', 'What it is: past the end of the file, which is 150 bytes long',
    'Bitmap Data[Indexed data]: not printed: it lies past the dump\'s 32 items',
    'Bitmap Data[RGB translated]: not printed: it lies past the dump\'s 32 items', kSampleWalk]],
  ['an offset in the gap', () => offsetIs({kind: 'gap'}),
   'What it is: between the header and colour table and the pixels, which start at 118'],
  ['an offset past the pixels', () => offsetIs({kind: 'past-pixels'}),
   'What it is: past the stored pixels, which end at 150'],
  ['an offset in padding', () => offsetIs({kind: 'padding', row: 3, y: 0}),
   'What it is: row padding: a byte that rounds stored row 3 (from 0) up to whole 32-bit words'],
  ['an offset in RLE data', () => offsetIs({kind: 'pixel-data'}),
   'What it is: pixel data at no fixed offsets: biCompression marks the pixels as compressed, ' +
   'or their depth is one the format does not define'],
  ['an offset of one pixel', () => offsetIs({kind: 'pixel', x: 3, y: 1, count: 1}),
   'What it is: a byte of the pixel x 3, y 1 (from 0)'],
  ['an offset in a field', () => text(sample, {...fieldSelection(width), origin: {
    kind: 'offset', offset: '20'}}, {field: width, byte: answers.sampleFieldByte,
                                     stored: bytes(8, 0, 0, 0)}),
   ['Offset: 20 (0x14)', 'What it is: a byte of the header field biWidth',
    'Header field: biWidth', 'Stored at: 18 (0x12), 4 bytes',
    'Stored bytes: 08 00 00 00 (file order, least significant first)',
    'Report line: line 15 (from 1)']],
  ['an offset in an entry', () => {
    const entry = {kind: 'entry', index: '11', offset: '98', line: 39};
    return text(sample, {...entrySelection(entry, 39), origin: {kind: 'offset', offset: '100'}},
                {entryPlace: entry, byte: {...answers.sampleFieldByte, offset: '100',
                                           what: entry}, stored: bytes()});
  }, ['Offset: 100 (0x64)', 'What it is: a byte of colour-table entry 11 (from 0)',
      'Table entry: entry 11 (from 0)', 'Stored at: 98 (0x62), 4 bytes: blue, green, red, reserved',
      'Stored bytes: past the end of the file: the report shows zeros']],
  ['an offset in a byte of two pixels', () => twoPixels(),
   'Offset: 4,008 (0xFA8)\nWhat it is: a byte of the pixels x 4 to 5, y 2 (from 0)\n' +
   'Pixel: x 5, y 2 (from 0, at the top left)'],
  ['a pixel chosen by an offset: its region of the map not said', () => twoPixels({
    region: row3, format}), {not: 'file\'s map'}],
];

test('the panel\'s text for each kind of selection', () => {
  for (const [name, shown, want] of kRows) {
    const got = shown();
    const said = `${name}:\n${got}`;
    if (Array.isArray(want)) assert.equal(got, want.join('\n'), name);
    else if (typeof want === 'string') assert.ok(`\n${got}\n`.includes(`\n${want}\n`), said);
    else assert.ok(!got.includes(want.not), said);
  }
});

test('an 8-bit pixel: its text, and the parts to copy and the swatches', () => {
  const facts = panelFacts(sample, pixelSelection(samplePixel), {
    pixel: samplePixel, stored: bytes(0x0F), colour: [255, 254, 0, 255], entry: white});
  assert.equal(factsText(facts), samplePixelText('Browser colour: #FFFE00').join('\n'));
  assert.deepEqual(facts.slice(1, 4).map(([, parts]) => parts), [
    [{swatch: '#FFFE00'}, '#FFFE00'], [{copy: '148', shown: '148'}, ' (0x94), 1 byte'],
    [{copy: '0F'}]]);
  assert.deepEqual(facts[5][1], [{swatch: '#FFFFFF'}, '#FFFFFF, entry 15 (from 0), stored at ',
                                 {copy: '114', shown: '114'}, ' (0x72)']);
  // A 64-bit offset is shown whole, as the core gives it.
  const huge = {...samplePixel, offset: '18446744047939747902', count: 4, bits: 32, missing: 4};
  const far64 = panelFacts(sample, pixelSelection(huge), {pixel: huge, stored: bytes(),
                                                          colour: null, entry: null});
  assert.match(factsText(far64),
               /^Stored at: 18,446,744,047,939,747,902 \(0xFFFFFFFA0000003E\), 4 bytes$/m);
  assert.deepEqual(far64[2][1][0], {copy: '18446744047939747902',
                                    shown: '18,446,744,047,939,747,902'});
  assert.deepEqual(partsOf(panelFacts(sample, itemSelection(item, itemByte), {
    place: item, byte: itemByte, stored: bytes(0x01), decoded: oneItem, colour: null}),
  'Format colour'), [{swatch: '#112233'}, '#112233']);
  assert.deepEqual(panelFacts(sample, entrySelection(entry5, 33), {
    entryPlace: entry5, stored: bytes(0x10, 0x20, 0x30, 0)})[2][1],
                   [{swatch: '#302010'}, {copy: '10 20 30 00'}]);
});

test('an RLE pixel: both colours, the command, its value and entry, the command\'s items', () => {
  const {pal8rle, pal8rlePixel: pixel, pal8rleDecoded: rle,
         pal8rleCommandByte: commandByte} = answers;
  const selection = pixelSelection(pixel, null, rle, commandByte);
  assert.equal(text(pal8rle, selection, {pixel, decoded: rle, commandByte, stored: bytes(0, 0x18),
                                         colour: [255, 0, 0, 255], entry: null}), [
    'Pixel: x 0, y 0 (from 0, at the top left)', 'Format colour: #FF0000',
    'Browser colour: #FF0000', `Set by: the absolute run at 8,656 (0x21D0), 26 bytes: ` +
    rle.command.hex, 'Value in it: 8,658 (0x21D2): 05',
    'Table entry: #FF0000, entry 5 (from 0), stored at 74 (0x4A)', `Stored: ${kCompressed}`,
    'In the report: the dumps read the RLE commands as pixel bytes; the command\'s first byte ' +
    'is printed as follows',
    `Bitmap Data[Indexed data]: ${items(345, 42, 60)}`,
    `Bitmap Data[RGB translated]: ${items(409, 42, 60)}`,
    'The dumps\' walk: Bitmap Data[Indexed data] reads 7,662 items from 1,062 in rows of 127, ' +
    'skipping 1 byte at each break; Bitmap Data[RGB translated] reads 7,662 items from 1,062 ' +
    'in rows of 127, skipping 1 byte at each break'].join('\n'));
});

test('why a dump does not print a byte; a depth with no dump; what counts from where', () => {
  const byte = (why) => ({dumps: [{why}, {why: 'printed', place: {
    index: '3', inRow: '3', rowNumber: 0, line: 53, pastEnd: false}}]});
  assert.deepEqual(dumpFacts(sample, [byte('padding'), byte('before-start'),
                                      byte('past-count')]).slice(0, 2), [
    ['Bitmap Data[Indexed data]', 'not printed: the row walk skips this byte as padding; not ' +
     'printed: it lies before the dump\'s start at 118; not printed: it lies past the dump\'s ' +
     '32 items'],
    ['Bitmap Data[RGB translated]', items(53, 3, 0)]]);
  assert.deepEqual(dumpFacts({...layout({bits: 32}), dumps: []}, [byte('printed')]),
                   [['In the report', 'no dump: the report prints none at 32 bits per pixel']]);
  assert.equal(kCounting, 'Rows, items, entries, bytes, x and y count from 0; report lines ' +
                          'from 1, as sed counts them.');
});

test('the value of a pixel under 8 bits, and the entry its byte names', () => {
  for (const [shift, bits, value] of [[4, 4, 0xB], [0, 4, 0x4], [7, 1, 1], [6, 1, 0],
                                      [2, 2, 1]]) {
    assert.equal(pixelValue(0xB4, {shift, bits}), value, `${bits} bits at ${shift}`);
  }
  for (const [bits, shift, stored, index] of [[8, 0, [0xC8], 0xC8], [4, 4, [0xC8], 0xC],
                                              [24, 0, [1, 2, 3], null], [8, 0, [], null],
                                              [16, 0, [1, 2], null]]) {
    assert.equal(entryIndex({bits, shift}, bytes(...stored)), index, `${bits} bits`);
  }
});

test('the bytes view: rows as xxd writes them, exactly the selected bytes lit', () => {
  // Which bytes a row lights, by their place in the row.
  const lit = (rows) => rows.map((row) => row.slice(1, -1).filter((part) => part.text !== ' ')
    .flatMap((part, i) => (part.selected ? [i] : [])));
  const file = bytes(...Array.from({length: 40}, (_, i) => i));
  // Only bytes are lit, never the offsets, the blanks or the text beside them.
  for (const part of hexRows(0, file, 0, 40).flat()) {
    assert.equal(part.selected, /^[0-9a-f]{2}$/.test(part.text), part.text);
  }
  assert.deepEqual(lit(hexRows(0, file, 14, 3)), [[14, 15], [0], []]);
  assert.deepEqual(lit(hexRows(0, file, 0, 1)), [[0], [], []]);
  assert.deepEqual(lit(hexRows(16, file.subarray(16), 39, 4)), [[], [7]]);
  assert.deepEqual(lit(hexRows(0, file, 100, 4)), [[], [], []]);
  const text16 = bytes(0x42, 0x4D, 0x96, 0x00, 0x20, 0x7E, 0x7F, 0x1F,
                       ...Array.from({length: 12}, (_, i) => 0x61 + i));
  assert.deepEqual(hexRows(0x70, text16, 0x71, 2).map((row) => row.map((p) => p.text).join('')), [
    '00000070: 424d 9600 207e 7f1f 6162 6364 6566 6768  BM.. ~..abcdefgh\n',
    '00000080: 696a 6b6c                                ijkl\n']);
  assert.deepEqual(hexRows(0, bytes(), 0, 1), []);
});
