// The decoder's answers in the page's words: the picture's size, the two colours and when they
// differ, where a pixel comes from, regions of the map, the picture's note and legend.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {describe, test} from 'node:test';

import {colourFacts, coloursDiffer, decodedEntryText, isCommand, kindGroup, kindWords,
        kRegionGroups, pictureNote, pictureSize, readBackError, regionFacts, sourceFacts,
        undefinedText} from '../../../web/decoded.js';
import {factsText} from '../../../web/panel_text.js';
import * as answers from './answers.mjs';

const text = (facts) => factsText(facts);

describe('the picture', () => {
  test('its size is the decoder\'s where it read a header, else the report\'s layout', () => {
    assert.deepEqual(pictureSize(answers.sample, answers.sampleFormat),
                     {width: 8, height: 4, end: '150'});
    // An OS/2 1.x header, which the report reads as a 40-byte one.
    const os2 = {...answers.pal8v5Format, header: {kind: 'core', name: 'BITMAPCOREHEADER',
                                                   size: 12}, width: 127, height: 64};
    const garbled = {...answers.sample, layout: {...answers.sample.layout, width: 4194431,
                                                 height: 524289, end: '2566914944'}};
    assert.deepEqual(pictureSize(garbled, os2), {width: 127, height: 64, end: '9338'});
    const none = {...answers.sampleFormat, header: {kind: 'none', name: '', size: 0},
                  width: 0, height: 0};
    assert.deepEqual(pictureSize(answers.sample, none), {width: 8, height: 4, end: '150'});
    assert.deepEqual(pictureSize(garbled, null),
                     {width: 4194431, height: 524289, end: '2566914944'});
    assert.deepEqual(pictureSize(answers.sample, {...answers.sampleFormat, pixels: null}),
                     {width: 8, height: 4, end: null});
  });

  test('its note says who drew it, whether the other could, and when it is scaled', () => {
    assert.equal(pictureNote({width: 4000, height: 3000, source: 'browser', scaledDown: true,
                              problem: null, browserDecodes: true}),
                 '4,000 × 3,000 pixels, as this browser decodes the file (shown scaled down).');
    assert.equal(pictureNote({width: 127, height: 64, source: 'quillfen', scaledDown: false,
                              problem: null, browserDecodes: false}),
                 '127 × 64 pixels, as the format defines it, drawn by Quillfen\'s decoder: ' +
                 'this browser cannot decode the file.');
    assert.equal(pictureNote({width: 127, height: 64, source: 'quillfen', scaledDown: false,
                              problem: null, browserDecodes: true}),
                 '127 × 64 pixels, as the format defines it, drawn by Quillfen\'s decoder.');
    assert.equal(pictureNote({width: 127, height: 64, source: 'browser', scaledDown: false,
                              problem: 'an embedded JPEG is named, not decoded',
                              browserDecodes: true}),
                 '127 × 64 pixels, as this browser decodes the file (Quillfen\'s decoder ' +
                 'cannot: an embedded JPEG is named, not decoded).');
    assert.equal(pictureNote({undecodable: 'The source image could not be decoded.',
                              problem: 'a negative width', browserDecodes: false}),
                 'Neither this browser nor Quillfen\'s decoder can decode the file as a ' +
                 'picture: a negative width.');
  });

  test('its legend counts the undefined pixels of each kind there are', () => {
    assert.equal(undefinedText({skipped: 0, missing: 0, badIndex: 0}), '');
    assert.equal(undefinedText({skipped: 416, missing: 0, badIndex: 0}),
                 'Hatched: pixels the format leaves undefined, 416 pixels skipped by the RLE ' +
                 'commands.');
    assert.equal(undefinedText({skipped: 1, missing: 6453, badIndex: 4793}),
                 'Hatched: pixels the format leaves undefined, 1 pixel skipped by the RLE ' +
                 'commands; 6,453 pixels missing: their bytes lie past the end of the file; ' +
                 '4,793 pixels whose index is past the colour table.');
  });
});

describe('colours', () => {
  test('differ in alpha, or in a channel by more than a canvas keeps', () => {
    assert.equal(coloursDiffer([255, 0, 0, 255], [255, 0, 0, 255]), false);
    assert.equal(coloursDiffer([255, 0, 0, 255], [254, 0, 0, 255]), true);
    assert.equal(coloursDiffer([0, 0, 0, 255], [0, 0, 1, 255]), true);
    assert.equal(coloursDiffer([144, 128, 112, 255], [143, 128, 112, 64]), true);
    assert.equal(coloursDiffer([100, 100, 100, 255], [100, 100, 100, 128]), true);
    // Fully transparent: no colour to compare.
    assert.equal(coloursDiffer([9, 8, 7, 0], [0, 0, 0, 0]), false);
    // Half transparent: a step either way is the canvas's rounding, two are not.
    assert.equal(readBackError(128), 1);
    assert.equal(coloursDiffer([100, 100, 100, 128], [101, 99, 100, 128]), false);
    assert.equal(coloursDiffer([100, 100, 100, 128], [102, 100, 100, 128]), true);
    // Nearly transparent: far coarser (Pillow's rgb32bf-rgba.bmp at alpha 8).
    assert.equal(readBackError(8), 16);
    assert.equal(coloursDiffer([0, 8, 255, 8], [0, 0, 255, 8]), false);
    assert.equal(coloursDiffer([0, 30, 255, 8], [0, 0, 255, 8]), true);
    assert.equal(readBackError(255), 0);
    assert.equal(readBackError(1), 128);
  });

  test('the format\'s beside the browser\'s, and a line when they differ', () => {
    assert.equal(text(colourFacts(answers.sampleDecoded, [255, 255, 255, 255], false)),
                 'Format colour: #FFFFFF\nBrowser colour: #FFFFFF');
    const facts = colourFacts({...answers.sampleDecoded, rgba: [144, 128, 112, 255]},
                              [143, 128, 112, 64], false);
    assert.equal(text(facts), 'Format colour: #908070\nBrowser colour: #8F8070, alpha 64\n' +
                 'Colours differ: this browser shows #8F8070, alpha 64 where the format ' +
                 'defines #908070');
    assert.deepEqual(facts[0][1], [{swatch: '#908070'}, '#908070']);
    assert.deepEqual(facts[1][1], [{swatch: '#8F8070'}, '#8F8070, alpha 64']);
    // A pixel the format does not define, which the browser shows.
    assert.equal(text(colourFacts(answers.pal4rletrnsSkipped, [0, 0, 0, 255], false)),
                 'Format colour: none: no command sets it: the delta at offset 3018 passes ' +
                 'over it\nBrowser colour: #000000\nColours differ: this browser shows ' +
                 '#000000 where the format defines no colour (skipped)');
    assert.equal(text(colourFacts(answers.shortfileMissing, null, true)),
                 'Format colour: none: its bytes, from offset 1070, pass the end of the file ' +
                 '(273 bytes)\nBrowser colour: none: this browser cannot decode the file');
    // Not decoded: nothing to compare with.
    assert.equal(text(colourFacts(answers.jpegPixel, [1, 2, 3, 255], false)),
                 'Format colour: none: an embedded JPEG is named, not decoded\n' +
                 'Browser colour: #010203');
    assert.equal(text(colourFacts(null, null, false)),
                 'Browser colour: none: the browser has not decoded the picture');
  });
});

describe('where a pixel comes from', () => {
  test('the RLE command that set it, and its value in it', () => {
    const facts = sourceFacts(answers.pal8rleDecoded, true);
    assert.equal(text(facts), 'Set by: the absolute run at 8,656 (0x21D0), 26 bytes: 00 18 05 ' +
                 '05 0B 05 35 0B 35 35 65 35 65 3B 6B 65 6B 65 9B 6B 9B 95 C5 9B C5 9B\n' +
                 'Value in it: 8,658 (0x21D2): 05');
    assert.deepEqual(facts[0][1].filter((part) => typeof part !== 'string'),
                     [{copy: '8656', shown: '8,656'},
                      {copy: answers.pal8rleDecoded.command.hex}]);
    assert.equal(text(sourceFacts(answers.pal4rlePixel, false)),
                 'Set by: the absolute run at 3,770 (0xEBA), 12 bytes: 00 13 11 11 31 11 91 31 ' +
                 '91 31 B3 90\nValue in it: 3,772 (0xEBC): 11, bits 3 to 0');
  });

  test('the command that skipped it', () => {
    assert.equal(text(sourceFacts(answers.pal4rletrnsSkipped, true)),
                 'Skipped by: the delta at 3,018 (0xBCA), 4 bytes: 00 02 12 00');
  });

  test('its bytes, said only where the report\'s layout does not say them', () => {
    assert.deepEqual(sourceFacts(answers.sampleDecoded, false), []);
    assert.equal(text(sourceFacts(answers.sampleDecoded, true)),
                 'Format stores it at: 148 (0x94): 0F');
    const missing = sourceFacts(answers.shortfileMissing, true);
    assert.equal(text(missing), 'Format stores it at: 1,070 (0x42E): past the end of the file');
    // Nothing to copy of bytes the file does not hold.
    assert.deepEqual(missing[0][1], [{copy: '1070', shown: '1,070'},
                                     ' (0x42E): past the end of the file']);
    assert.equal(text(sourceFacts({...answers.shortfileMissing,
                                   data: {...answers.shortfileMissing.data, hex: '80'}}, true)),
                 'Format stores it at: 1,070 (0x42E): 80, bit 7');
    assert.deepEqual(sourceFacts(answers.jpegPixel, true), []);
    assert.deepEqual(sourceFacts(null, true), []);
  });

  test('its table entry as the decoder read it', () => {
    assert.deepEqual(decodedEntryText(answers.pal8rleDecoded),
                     [{swatch: '#FF0000'}, '#FF0000, entry 5 (from 0), stored at ',
                      {copy: '74', shown: '74'}, ' (0x4A)']);
    assert.equal(decodedEntryText(answers.badIndexPixel),
                 'entry 102 (from 0): past the colour table');
    assert.equal(decodedEntryText({index: 3, entry: {offset: '66', size: 4, hex: ''}}),
                 'entry 3 (from 0): past the end of the file');
    // bfOffBits inside the table: the file can end inside an entry a pixel names.
    assert.equal(decodedEntryText({index: 2, entry: {offset: '62', size: 4, hex: 'FF 00'}}),
                 'entry 2 (from 0): cut short by the end of the file');
    assert.deepEqual(decodedEntryText({index: 1, entry: {offset: '12', size: 3, hex: '01 02 03'}}),
                     [{swatch: '#030201'}, '#030201, entry 1 (from 0), stored at ',
                      {copy: '12', shown: '12'}, ' (0xC)']);
  });
});

describe('regions of the map', () => {
  const named = (name) => answers.pal8v5Regions.regions.find((region) => region.name === name);

  test('a field of a V5 header: what it is, where, its value and note', () => {
    assert.equal(text(regionFacts(answers.pal8v5Format, named('bV5CSType'))),
                 'In the file\'s map: bV5CSType: a field of the info header\n' +
                 'Region: 70 (0x46), 4 bytes\nValue: sRGB: LCS_sRGB');
    assert.equal(text(regionFacts(answers.pal8v5Format, named('bV5RedMask'))),
                 'In the file\'s map: bV5RedMask: a field of the info header\n' +
                 'Region: 54 (0x36), 4 bytes\nValue: 0x00000000: no bits');
    assert.match(text(regionFacts(answers.pal8v5Format, named('bV5GammaRed'))),
                 /^Value: 0\.0$/m);
    // Only the field of that name at that offset has its value.
    assert.doesNotMatch(text(regionFacts(answers.pal8v5Format, {...named('bV5CSType'),
                                                                offset: 74})), /Value/);
  });

  test('a mask, a row that sets pixels, an entry the pixels also claim', () => {
    const [, mask, , , row] = answers.rgb16Regions.regions;
    assert.equal(text(regionFacts(null, mask)),
                 'In the file\'s map: biRedMask: a colour mask after the info header\n' +
                 'Region: 54 (0x36), 4 bytes');
    assert.equal(text(regionFacts(null, row)),
                 'In the file\'s map: row 63 (from 0, at the top): a stored row of pixels\n' +
                 'Region: 66 (0x42), 254 ' +
                 'bytes\nSets pixels: x 0 to 126, y 63 (from 0)');
    assert.match(text(regionFacts(null, {offset: 1070, size: 2, kind: 'encoded-run',
                                         name: 'encoded run of 1', note: '', x: 5, y: 63,
                                         pixels: 1})),
                 /^Sets pixels: x 5, y 63 \(from 0\)$/m);
    assert.equal(text(regionFacts(null, answers.mmapEntry)),
                 'In the file\'s map: entry 0 (from 0): a colour-table entry\nRegion: 54 ' +
                 '(0x36), 4 ' +
                 'bytes\nNote: bytes 54 to 1061 are also claimed by the pixel data; the colour ' +
                 'table wins');
  });

  test('every kind of region the core names has words of its own and a group the legend ' +
       'lists', () => {
    // The names decode::regionKindName gives, read from its source.
    const source = fs.readFileSync(new URL('../../../decode/map.cpp', import.meta.url), 'utf8');
    const table = source.match(/regionKindName\(RegionKind kind\) \{[^{]*\{([^}]*)\}/)[1];
    const kinds = [...table.matchAll(/"([a-z0-9-]+)"/g)].map(([, kind]) => kind);
    assert.equal(kinds.length, 22);
    const groups = kRegionGroups.map(([group]) => group);
    assert.equal(new Set(groups).size, groups.length);
    for (const kind of kinds) {
      assert.ok(groups.includes(kindGroup(kind)), kind);
      assert.match(kindWords(kind), /^\S+ \S/, kind);
    }
    assert.equal(new Set(kinds.map(kindWords)).size, kinds.length);
    assert.ok(kRegionGroups.every(([group, name]) => name !== '' &&
                                  kinds.some((kind) => kindGroup(kind) === group)));
  });

  test('kinds in words and groups, RLE commands told apart', () => {
    assert.equal(kindWords('delta'), 'an RLE delta');
    assert.equal(kindGroup('delta'), 'control');
    assert.equal(kindGroup('absolute-run'), 'pixels');
    assert.equal(kindGroup('run-pad'), 'padding');
    assert.equal(kindWords('a-kind-to-come'), 'a-kind-to-come');
    assert.equal(kindGroup('a-kind-to-come'), 'other');
    for (const kind of ['encoded-run', 'absolute-run', 'end-of-line', 'end-of-bitmap', 'delta',
                        'cut-command']) {
      assert.equal(isCommand({kind}), true, kind);
    }
    for (const kind of ['run-pad', 'pixel-row', 'row-padding', 'gap', 'pixel-data']) {
      assert.equal(isCommand({kind}), false, kind);
    }
    assert.equal(isCommand(null), false);
  });
});
