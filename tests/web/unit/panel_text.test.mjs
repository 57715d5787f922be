// The panel's text for each kind of selection, from the core's answers, and the bytes view.
import assert from 'node:assert/strict';
import {describe, test} from 'node:test';

import {dumpFacts, entryIndex, factsText, hexRows, kCounting, panelFacts,
        pixelValue} from '../../../web/panel_text.js';
import {byteSelection, entrySelection, fieldSelection, itemSelection, lineSelection,
        pixelSelection, regionSelection} from '../../../web/selection.js';
import * as answers from './answers.mjs';

const bytes = (...values) => new Uint8Array(values);
const text = (describe, selection, details) => factsText(panelFacts(describe, selection, details));
const kSampleWalk = 'The dumps\' walk: Bitmap Data[Indexed data] reads 32 items from 118 in ' +
                    'rows of 8, skipping 0 bytes at each break; Bitmap Data[RGB translated] ' +
                    'reads 32 items from 118 in rows of 8, skipping 0 bytes at each break';

describe('a pixel', () => {
  test('of an 8-bit file: its byte, its row, its table entry and its items', () => {
    const pixel = answers.samplePixel;
    const facts = panelFacts(answers.sample, pixelSelection(pixel), {
      pixel, stored: bytes(0x0F), colour: [255, 254, 0, 255],
      entry: {index: 15, inTable: true, offset: '114', stored: bytes(0xFF, 0xFF, 0xFF, 0)}});
    assert.equal(factsText(facts), [
      'Pixel: x 6, y 0 (from 0, at the top left)',
      'Browser colour: #FFFE00',
      'Stored at: 148 (0x94), 1 byte',
      'Stored bytes: 0F',
      'Stored row: row 3 as stored (from 0; rows bottom-up, 8 bytes each from 118), byte 6 of ' +
      'the row (from 0)',
      'Table entry: #FFFFFF, entry 15 (from 0), stored at 114 (0x72)',
      'Bitmap Data[Indexed data]: line 49 (from 1), item 6 of the row (from 0), in the row ' +
      'numbered 4',
      'Bitmap Data[RGB translated]: line 56 (from 1), item 6 of the row (from 0), in the row ' +
      'numbered 4',
      kSampleWalk].join('\n'));
    // What can be copied, and the swatches, are parts of their own.
    assert.deepEqual(facts[1][1], [{swatch: '#FFFE00'}, '#FFFE00']);
    assert.deepEqual(facts[2][1], [{copy: '148', shown: '148'}, ' (0x94), 1 byte']);
    assert.deepEqual(facts[3][1], [{copy: '0F'}]);
    assert.deepEqual(facts[5][1], [{swatch: '#FFFFFF'}, '#FFFFFF, entry 15 (from 0), stored at ',
                                   {copy: '114', shown: '114'}, ' (0x72)']);
  });

  test('whose table entry is not in the table, or not in the file', () => {
    const pixel = answers.samplePixel;
    const entryOf = (entry) => panelFacts(answers.sample, pixelSelection(pixel), {
      pixel, stored: bytes(0x20), colour: null, entry}).find(([label]) => label ===
                                                           'Table entry')[1];
    assert.equal(entryOf({index: 32, inTable: false, offset: '182', stored: bytes()}),
                 'entry 32 (from 0): not in the report\'s table of 16 entries');
    assert.equal(entryOf({index: 3, inTable: true, offset: '66', stored: bytes(1, 2, 3)}),
                 'entry 3 (from 0): past the end of the file');
    const one = {...answers.sample, table: {...answers.sample.table, count: '1'}};
    assert.equal(panelFacts(one, pixelSelection(pixel), {
      pixel, stored: bytes(0x20), colour: null,
      entry: {index: 32, inTable: false, offset: '182', stored: bytes()}})
      .find(([label]) => label === 'Table entry')[1],
                 'entry 32 (from 0): not in the report\'s table of 1 entry');
    assert.equal(panelFacts(answers.sample, pixelSelection(pixel), {
      pixel, stored: bytes(0x20), colour: null, entry: null}).some(([label]) =>
      label === 'Table entry'), false);
  });

  test('of a 4-bit file: which bits of its byte, and their value', () => {
    const pixel = answers.pal4Pixel;
    const shown = text(answers.pal4, pixelSelection(pixel), {
      pixel, stored: bytes(0x3C), colour: null,
      entry: {index: 12, inTable: true, offset: '102', stored: bytes(1, 2, 3, 0)}});
    assert.match(shown, /^Stored bytes: 3C: bits 3 to 0 of the byte, 1100$/m);
    assert.match(shown, /^Table entry: #030201, entry 12 \(from 0\), stored at 102 \(0x66\)$/m);
    assert.match(shown, /^Browser colour: none: the browser has not decoded the picture$/m);
    const high = {...pixel, shift: 4};
    assert.match(text(answers.pal4, pixelSelection(high), {pixel: high, stored: bytes(0x3C),
                                                           colour: null, entry: null}),
                 /^Stored bytes: 3C: bits 7 to 4 of the byte, 0011$/m);
    const one = {...pixel, bits: 1, shift: 5};
    assert.match(text(answers.pal4, pixelSelection(one), {pixel: one, stored: bytes(0x20),
                                                          colour: null, entry: null}),
                 /^Stored bytes: 20: bit 5 of the byte, 1$/m);
  });

  test('cut short: how many of its own bytes are missing, and only when some are', () => {
    const pixel = answers.cut24Pixel;
    assert.equal(text(answers.cut24, pixelSelection(pixel), {pixel, stored: bytes(0x8C),
                                                             colour: null, entry: null}), [
      'Pixel: x 0, y 0 (from 0, at the top left)',
      'Browser colour: none: the browser has not decoded the picture',
      'Stored at: 66 (0x42), 3 bytes',
      'Stored bytes: 8C',
      'Missing: 2 of its 3 bytes lie past the end of the file, which is 67 bytes long',
      'Stored row: row 1 as stored (from 0; rows bottom-up, 12 bytes each from 54), byte 0 of ' +
      'the row (from 0)',
      'Bitmap Data: line 28 (from 1), item 0 of the row (from 0), in the row numbered 2, ' +
      'printed past the end of the file: it repeats the item read last',
      'The dumps\' walk: Bitmap Data reads 6 items from 54 in rows of 3, skipping 3 bytes at ' +
      'each break'].join('\n'));
    const missing = (answer) => text(answers.cut24, pixelSelection(answer), {
      pixel: answer, stored: bytes(), colour: null, entry: null}).match(/^Missing: .*$/m)?.[0];
    assert.equal(missing({...pixel, missing: 3}),
                 'Missing: all 3 of its bytes lie past the end of the file, which is 67 bytes ' +
                 'long');
    assert.equal(missing({...pixel, count: 1, missing: 1}),
                 'Missing: its byte lies past the end of the file, which is 67 bytes long');
    assert.equal(missing(answers.cut24Whole), undefined);
    const topDown = {...answers.cut24, layout: {...answers.cut24.layout, topDown: true}};
    assert.match(text(topDown, pixelSelection(pixel), {pixel, stored: bytes(), colour: null,
                                                       entry: null}),
                 /^Stored row: row 1 as stored \(from 0; rows top-down, 12 bytes each from 54\)/m);
    assert.doesNotMatch(text(answers.cut24, pixelSelection(pixel), {pixel, stored: bytes(),
                                                                   colour: null, entry: null}),
                        /Stored bytes/);
  });

  test('at no fixed offset, or beyond any file', () => {
    const loose = {x: 1, y: 2, fixedOffsets: false};
    const compressed = {...answers.sample, layout: {...answers.sample.layout, compressed: true}};
    assert.equal(text(compressed, pixelSelection(loose), {pixel: loose, stored: null,
                                                          colour: [0, 0, 0, 255], entry: null}), [
      'Pixel: x 1, y 2 (from 0, at the top left)', 'Browser colour: #000000',
      'Stored: nowhere fixed: biCompression marks the pixels as compressed, so they are not at ' +
      'fixed offsets'].join('\n'));
    const odd = {...answers.sample, layout: {...answers.sample.layout, bits: 7}};
    assert.match(text(odd, pixelSelection(loose), {pixel: loose, stored: null, colour: null,
                                                   entry: null}),
                 /^Stored: nowhere fixed: 7 bits per pixel is a depth the format does not define$/m);
    const far = {x: 2147483647, y: 2147483647, fixedOffsets: true, beyondAnyFile: true,
                 count: 4, missing: 4, bytes: []};
    assert.equal(text(answers.sample, pixelSelection(far), {pixel: far, stored: null,
                                                            colour: null, entry: null}), [
      'Pixel: x 2,147,483,647, y 2,147,483,647 (from 0, at the top left)',
      'Browser colour: none: the browser has not decoded the picture',
      'Stored at: beyond any file: its offset would pass 18,446,744,073,709,551,615, the last ' +
      'a file can have'].join('\n'));
  });

  test('a 64-bit offset is shown whole, as the core gives it', () => {
    const pixel = {...answers.samplePixel, offset: '18446744047939747902', count: 4, bits: 32,
                   missing: 4};
    const facts = panelFacts(answers.sample, pixelSelection(pixel), {pixel, stored: bytes(),
                                                                     colour: null, entry: null});
    assert.match(factsText(facts),
                 /^Stored at: 18,446,744,047,939,747,902 \(0xFFFFFFFA0000003E\), 4 bytes$/m);
    assert.deepEqual(facts[2][1][0], {copy: '18446744047939747902',
                                      shown: '18,446,744,047,939,747,902'});
  });
});

describe('a pixel as the format defines it', () => {
  test('set by an RLE command: both colours, the command, its value, its entry, the report\'s ' +
       'items for the command', () => {
    const {pal8rle, pal8rlePixel: pixel, pal8rleDecoded: decoded,
           pal8rleCommandByte: commandByte} = answers;
    const selection = pixelSelection(pixel, null, decoded, commandByte);
    assert.equal(text(pal8rle, selection, {pixel, decoded, commandByte, stored: bytes(0, 0x18),
                                           colour: [255, 0, 0, 255], entry: null}), [
      'Pixel: x 0, y 0 (from 0, at the top left)',
      'Format colour: #FF0000',
      'Browser colour: #FF0000',
      'Set by: the absolute run at 8,656 (0x21D0), 26 bytes: ' + decoded.command.hex,
      'Value in it: 8,658 (0x21D2): 05',
      'Table entry: #FF0000, entry 5 (from 0), stored at 74 (0x4A)',
      'Stored: nowhere fixed: biCompression marks the pixels as compressed, so they are not at ' +
      'fixed offsets',
      'In the report: the dumps read the RLE commands as pixel bytes; the command\'s first byte ' +
      'is printed as follows',
      'Bitmap Data[Indexed data]: line 345 (from 1), item 42 of the row (from 0), in the row ' +
      'numbered 60',
      'Bitmap Data[RGB translated]: line 409 (from 1), item 42 of the row (from 0), in the row ' +
      'numbered 60',
      'The dumps\' walk: Bitmap Data[Indexed data] reads 7,662 items from 1,062 in rows of 127, ' +
      'skipping 1 byte at each break; Bitmap Data[RGB translated] reads 7,662 items from 1,062 ' +
      'in rows of 127, skipping 1 byte at each break'].join('\n'));
  });

  test('stored where the report\'s layout stores it: its table entry is the report\'s', () => {
    const pixel = answers.samplePixel;
    const shown = text(answers.sample, pixelSelection(pixel, null, answers.sampleDecoded), {
      pixel, decoded: answers.sampleDecoded, stored: bytes(0x0F), colour: [255, 255, 255, 255],
      entry: {index: 15, inTable: true, offset: '114', stored: bytes(0xFF, 0xFF, 0xFF, 0)}});
    assert.match(shown, /^Format colour: #FFFFFF\nBrowser colour: #FFFFFF\nStored at: 148/m);
    assert.equal(shown.match(/^Table entry: /gm).length, 1);
    assert.doesNotMatch(shown, /Format stores it at|Colours differ/);
  });

  test('that the report\'s layout does not have', () => {
    const decoded = answers.sampleDecoded;
    const shown = text(answers.sample, pixelSelection(null, null, decoded), {
      pixel: null, decoded, stored: bytes(0x0F), colour: null, browserCannot: true,
      entry: null});
    assert.equal(shown, [
      'Pixel: x 6, y 0 (from 0, at the top left)', 'Format colour: #FFFFFF',
      'Browser colour: none: this browser cannot decode the file',
      'Format stores it at: 148 (0x94): 0F',
      'Table entry: #FFFFFF, entry 15 (from 0), stored at 114 (0x72)',
      'In the report: no pixel x 6, y 0: the report reads the header as a picture of 8 × 4 ' +
      'pixels'].join('\n'));
  });
});

describe('a region of the map', () => {
  test('chosen whole: what the format makes of it, its bytes, the report\'s items', () => {
    const region = {offset: 118, size: 8, kind: 'pixel-row', name: 'row 3', note: '', x: 0,
                    y: 3, pixels: 8};
    const byte = answers.sampleItemByte;
    assert.equal(text(answers.sample, regionSelection(region, byte), {
      region, format: answers.sampleFormat, byte, stored: bytes(0, 1, 2, 3, 4, 5, 6, 7)}), [
      'In the file\'s map: row 3 (from 0, at the top): a stored row of pixels',
      'Region: 118 (0x76), 8 bytes',
      'Sets pixels: x 0 to 7, y 3 (from 0)', 'Stored bytes: 00 01 02 03 04 05 06 07',
      'Bitmap Data[Indexed data]: line 46 (from 1), item 1 of the row (from 0), in the row ' +
      'numbered 1',
      'Bitmap Data[RGB translated]: line 53 (from 1), item 1 of the row (from 0), in the row ' +
      'numbered 1',
      kSampleWalk].join('\n'));
    // More bytes than the panel lists: how many more.
    const long = {...region, size: 5000};
    assert.match(text(answers.sample, regionSelection(long, byte), {
      region: long, format: answers.sampleFormat, byte, stored: new Uint8Array(4096)}),
                 /^Stored bytes: 00 00 .* 00 and 904 bytes more, not shown here$/m);
    assert.doesNotMatch(text(answers.sample, regionSelection(long, byte), {
      region: long, format: answers.sampleFormat, byte, stored: bytes()}), /Stored bytes/);
  });

  test('a field, an entry or a byte: the report\'s view, then the format\'s', () => {
    const width = answers.sample.fields.find(({name}) => name === 'biWidth');
    const region = {offset: 18, size: 4, kind: 'info-header', name: 'biWidth', note: ''};
    const facts = text(answers.sample, fieldSelection(width), {
      field: width, region, format: answers.sampleFormat, stored: bytes(8, 0, 0, 0)});
    assert.match(facts, /^Report line: line 15 \(from 1\)\nIn the file's map: biWidth: a field of the info header\nRegion: 18 \(0x12\), 4 bytes\nValue: 8: pixels$/m);
    // Bytes 54 on of a V5 file: the report's table entry 0, the format's red mask.
    const entry = {kind: 'entry', index: '0', offset: '54', line: 28};
    const mask = answers.pal8v5Regions.regions.find(({name}) => name === 'bV5RedMask');
    assert.match(text(answers.sample, entrySelection(entry, 28), {
      entryPlace: entry, region: mask, format: answers.pal8v5Format, stored: bytes(0, 0, 0, 0)}),
                 /^Table entry: entry 0 \(from 0\)\n(.*\n)*In the file's map: bV5RedMask: a field of the info header\nRegion: 54 \(0x36\), 4 bytes\nValue: 0x00000000: no bits$/m);
  });
});

describe('the report\'s lines', () => {
  test('an item: where it is, what it reads, the pixel it is of', () => {
    assert.equal(text(answers.sample, itemSelection(answers.sampleItem, answers.sampleItemByte),
                      {place: answers.sampleItem, byte: answers.sampleItemByte,
                       stored: bytes(0x01)}), [
      'Report item: Bitmap Data[Indexed data]: line 46 (from 1), item 1 of the row (from 0), in ' +
      'the row numbered 1',
      'Read at: 119 (0x77), 1 byte',
      'Stored bytes: 01',
      'Pixel: x 1, y 3 (from 0)',
      'Bitmap Data[Indexed data]: line 46 (from 1), item 1 of the row (from 0), in the row ' +
      'numbered 1',
      'Bitmap Data[RGB translated]: line 53 (from 1), item 1 of the row (from 0), in the row ' +
      'numbered 1',
      kSampleWalk].join('\n'));
  });

  test('an item of one pixel: its colours, as for the pixel chosen itself', () => {
    const item = itemSelection(answers.sampleItem, answers.sampleItemByte);
    const decoded = {...answers.sampleDecoded, x: 1, y: 3, rgba: [0x11, 0x22, 0x33, 255]};
    const facts = panelFacts(answers.sample, item, {
      place: answers.sampleItem, byte: answers.sampleItemByte, stored: bytes(0x01), decoded,
      colour: [0x11, 0x22, 0x34, 255], browserCannot: false});
    assert.match(factsText(facts), /^Pixel: x 1, y 3 \(from 0\)\nFormat colour: #112233\nBrowser colour: #112234\nColours differ: this browser shows #112234 where the format defines #112233\nBitmap Data\[Indexed data\]: line 46/m);
    assert.deepEqual(facts.find(([label]) => label === 'Format colour')[1],
                     [{swatch: '#112233'}, '#112233']);
    assert.match(text(answers.sample, item, {
      place: answers.sampleItem, byte: answers.sampleItemByte, stored: bytes(0x01), decoded,
      colour: null, browserCannot: true}),
                 /^Format colour: #112233\nBrowser colour: none: this browser cannot decode the file$/m);
  });

  test('an item past the end of the file says what it repeats; a byte\'s other roles', () => {
    const place = {...answers.sampleItem, place: {...answers.sampleItem.place, pastEnd: true}};
    const facts = (what, stored = bytes()) => text(answers.sample, itemSelection(place, {
      ...answers.sampleItemByte, what}), {place, byte: {...answers.sampleItemByte, what},
                                          stored});
    assert.match(facts({kind: 'pixel', x: 28, y: 62, count: 2}),
                 /^Stored bytes: past the end of the file, which is 150 bytes long: the item repeats what the dump read last\nPixel: x 28 to 29, y 62 \(from 0\)$/m);
    assert.match(facts({kind: 'padding', row: 2, y: 1}, bytes(7)),
                 /^Stored bytes: 07; past the end.*\nPixel: none: the format counts this byte as padding of stored row 2 \(from 0\)$/m);
    assert.match(facts({kind: 'pixel-data'}), /^Pixel: none: the pixels are not at fixed offsets$/m);
    assert.match(facts({kind: 'past-file'}),
                 /^Pixel: none: the byte lies outside the picture's stored rows$/m);
  });

  test('a header field: where it is stored, and the file\'s length beside bfSize', () => {
    const size = answers.sample.fields.find(({name}) => name === 'bfSize');
    assert.equal(text(answers.sample, fieldSelection(size), {field: size,
                                                             stored: bytes(0x96, 0, 0, 0)}), [
      'Header field: bfSize', 'Stored at: 2 (0x2), 4 bytes',
      'Stored bytes: 96 00 00 00 (file order, least significant first)',
      'Measured length: the file is 150 bytes long', 'Report line: line 10 (from 1)'].join('\n'));
    const reserved = answers.sample.fields[2];
    assert.equal(text(answers.sample, fieldSelection(reserved), {field: reserved,
                                                                 stored: bytes()}), [
      'Header field: bfReserved1', 'Stored at: 6 (0x6), 2 bytes',
      'Stored bytes: none: past the end of the file',
      'Report line: none: the report prints no line for this field'].join('\n'));
  });

  test('a table entry, and a line that prints none of these', () => {
    const entry = answers.sampleEntryPlace;
    assert.equal(text(answers.sample, entrySelection(entry, 33), {entryPlace: entry,
                                                                  stored: bytes(0x55, 0x55, 0x55,
                                                                                0)}), [
      'Table entry: entry 5 (from 0)',
      'Stored at: 74 (0x4A), 4 bytes: blue, green, red, reserved',
      'Stored bytes: 55 55 55 00'].join('\n'));
    assert.deepEqual(panelFacts(answers.sample, entrySelection(entry, 33), {
      entryPlace: entry, stored: bytes(0x10, 0x20, 0x30, 0)})[2][1],
                     [{swatch: '#302010'}, {copy: '10 20 30 00'}]);
    assert.equal(text(answers.sample, entrySelection(entry, 33), {entryPlace: entry,
                                                                  stored: bytes(1, 2)}),
                 'Table entry: entry 5 (from 0)\nStored at: 74 (0x4A), 4 bytes: blue, green, ' +
                 'red, reserved\nStored bytes: past the end of the file: the report shows zeros');
    assert.equal(text(answers.sample, lineSelection({line: 45, column: 2}), {stored: null}),
                 'Report line: line 45 (from 1) prints no header field, table entry or pixel ' +
                 'byte');
  });
});

describe('an offset', () => {
  const at = (what, describe = answers.sample) => {
    const byte = {...answers.samplePastFile, offset: '20', what};
    return text(describe, byteSelection(byte), {byte, stored: bytes(0)});
  };

  test('says which byte it is and what holds it', () => {
    assert.equal(at({kind: 'past-file'}), [
      'Offset: 20 (0x14)',
      'What it is: past the end of the file, which is 150 bytes long',
      'Bitmap Data[Indexed data]: not printed: it lies past the dump\'s 32 items',
      'Bitmap Data[RGB translated]: not printed: it lies past the dump\'s 32 items',
      kSampleWalk].join('\n'));
    assert.match(at({kind: 'gap'}), /^What it is: between the header and colour table and the pixels, which start at 118$/m);
    assert.match(at({kind: 'past-pixels'}), /^What it is: past the stored pixels, which end at 150$/m);
    assert.match(at({kind: 'padding', row: 3, y: 0}), /^What it is: row padding: a byte that rounds stored row 3 \(from 0\) up to whole 32-bit words$/m);
    assert.match(at({kind: 'pixel-data'}), /^What it is: pixel data at no fixed offsets: biCompression marks the pixels as compressed, or their depth is one the format does not define$/m);
  });

  test('of a field, an entry or a pixel: that byte, then the whole of what holds it', () => {
    const field = answers.sampleFieldByte;
    const width = answers.sample.fields.find(({name}) => name === 'biWidth');
    const origin = {kind: 'offset', offset: '20'};
    assert.equal(text(answers.sample, {...fieldSelection(width), origin},
                      {field: width, byte: field, stored: bytes(8, 0, 0, 0)}), [
      'Offset: 20 (0x14)', 'What it is: a byte of the header field biWidth',
      'Header field: biWidth', 'Stored at: 18 (0x12), 4 bytes',
      'Stored bytes: 08 00 00 00 (file order, least significant first)',
      'Report line: line 15 (from 1)'].join('\n'));
    const entry = {kind: 'entry', index: '11', offset: '98', line: 39};
    assert.match(text(answers.sample, {...entrySelection(entry, 39), origin: {kind: 'offset',
                                                                             offset: '100'}},
                      {entryPlace: entry, byte: {...field, offset: '100', what: entry},
                       stored: bytes()}),
                 /^Offset: 100 \(0x64\)\nWhat it is: a byte of colour-table entry 11 \(from 0\)\nTable entry: entry 11 \(from 0\)$/m);
    const pixel = answers.pal4Pixel;
    const what = {kind: 'pixel', x: 4, y: 2, count: 2, inPixel: 0};
    assert.match(text(answers.pal4, pixelSelection(pixel, {kind: 'offset', offset: '4008'}),
                      {pixel, byte: {...field, what}, stored: bytes(0x3C), colour: null,
                       entry: null}),
                 /^Offset: 4,008 \(0xFA8\)\nWhat it is: a byte of the pixels x 4 to 5, y 2 \(from 0\)\nPixel: x 5, y 2/);
    assert.match(at({kind: 'pixel', x: 3, y: 1, count: 1}), /^What it is: a byte of the pixel x 3, y 1 \(from 0\)$/m);
  });
});

describe('the dumps', () => {
  test('why a byte is not printed, and a depth with no dump', () => {
    const byte = (why) => ({dumps: [{why}, {why: 'printed', place: {
      index: '3', inRow: '3', rowNumber: 0, line: 53, pastEnd: false}}]});
    assert.deepEqual(dumpFacts(answers.sample, [byte('padding'), byte('before-start'),
                                                byte('past-count')]).slice(0, 2), [
      ['Bitmap Data[Indexed data]', 'not printed: the row walk skips this byte as padding; ' +
       'not printed: it lies before the dump\'s start at 118; not printed: it lies past the ' +
       'dump\'s 32 items'],
      ['Bitmap Data[RGB translated]', 'line 53 (from 1), item 3 of the row (from 0), in the ' +
       'row numbered 0']]);
    assert.deepEqual(dumpFacts({...answers.sample, layout: {...answers.sample.layout, bits: 32},
                                dumps: []}, [byte('printed')]),
                     [['In the report', 'no dump: the report prints none at 32 bits per pixel']]);
  });

  test('how much is counted from where, said once', () => {
    assert.equal(kCounting, 'Rows, items, entries, bytes, x and y count from 0; report lines ' +
                            'from 1, as sed counts them.');
  });
});

describe('the values of pixels under 8 bits', () => {
  test('the pixel\'s bits, and the entry its byte names', () => {
    assert.equal(pixelValue(0xB4, {shift: 4, bits: 4}), 0xB);
    assert.equal(pixelValue(0xB4, {shift: 0, bits: 4}), 0x4);
    assert.equal(pixelValue(0xB4, {shift: 7, bits: 1}), 1);
    assert.equal(pixelValue(0xB4, {shift: 6, bits: 1}), 0);
    assert.equal(pixelValue(0xB4, {shift: 2, bits: 2}), 1);
    assert.equal(entryIndex({bits: 8, shift: 0}, bytes(0xC8)), 0xC8);
    assert.equal(entryIndex({bits: 4, shift: 4}, bytes(0xC8)), 0xC);
    assert.equal(entryIndex({bits: 24, shift: 0}, bytes(1, 2, 3)), null);
    assert.equal(entryIndex({bits: 8, shift: 0}, bytes()), null);
    assert.equal(entryIndex({bits: 16, shift: 0}, bytes(1, 2)), null);
  });
});

describe('the bytes view', () => {
  // Which bytes a row lights, by their place in the row.
  const lit = (rows) => rows.map((row) => {
    const hex = row.slice(1, -1).filter((part) => part.text !== ' ');
    return hex.flatMap((part, i) => (part.selected ? [i] : []));
  });

  test('lights exactly the selected bytes, across rows, and none past the file', () => {
    const file = bytes(...Array.from({length: 40}, (_, i) => i));
    // Only bytes are lit, never the offsets, the blanks or the text beside them.
    for (const part of hexRows(0, file, 0, 40).flat()) {
      assert.equal(part.selected, /^[0-9a-f]{2}$/.test(part.text), part.text);
    }
    assert.deepEqual(lit(hexRows(0, file, 14, 3)), [[14, 15], [0], []]);
    assert.deepEqual(lit(hexRows(0, file, 0, 1)), [[0], [], []]);
    assert.deepEqual(lit(hexRows(16, file.subarray(16), 39, 4)), [[], [7]]);
    assert.deepEqual(lit(hexRows(0, file, 100, 4)), [[], [], []]);
  });

  test('rows as xxd writes them', () => {
    const file = bytes(...[0x42, 0x4D, 0x96, 0x00, 0x20, 0x7E, 0x7F, 0x1F],
                       ...Array.from({length: 12}, (_, i) => 0x61 + i));
    const rows = hexRows(0x70, file, 0x71, 2).map((row) => row.map((part) => part.text).join(''));
    assert.deepEqual(rows, [
      '00000070: 424d 9600 207e 7f1f 6162 6364 6566 6768  BM.. ~..abcdefgh\n',
      '00000080: 696a 6b6c                                ijkl\n']);
    assert.deepEqual(hexRows(0, bytes(), 0, 1), []);
  });
});
