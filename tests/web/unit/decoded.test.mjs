// The decoder's answers in the page's words: the picture's size, the two colours and when they
// differ, where a pixel comes from, regions of the map, the picture's note and legend.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {test} from 'node:test';

import {colourFacts, coloursDiffer, decodedEntryText, isCommand, kindGroup, kindWords,
        kRegionGroups, pictureNote, pictureSize, readBackError, regionFacts, sourceFacts,
        undefinedText} from '../../../web/decoded.js';
import {factsText} from '../../../web/panel_text.js';
import * as answers from './answers.mjs';

const text = (facts) => factsText(facts);
const {sample, sampleFormat, pal8v5Format, sampleDecoded, pal8rleDecoded, pal4rletrnsSkipped,
       shortfileMissing, jpegPixel} = answers;

test('the picture\'s size is the decoder\'s where it read a header, else the report\'s', () => {
  // An OS/2 1.x header, which the report reads as a 40-byte one.
  const os2 = {...pal8v5Format, header: {kind: 'core', name: 'BITMAPCOREHEADER', size: 12},
               width: 127, height: 64};
  const garbled = {...sample, layout: {...sample.layout, width: 4194431, height: 524289,
                                       end: '2566914944'}};
  const none = {...sampleFormat, header: {kind: 'none', name: '', size: 0}, width: 0, height: 0};
  for (const [name, describe, format, width, height, end] of [
    ['sample', sample, sampleFormat, 8, 4, '150'], ['OS/2', garbled, os2, 127, 64, '9338'],
    ['no header', sample, none, 8, 4, '150'], ['no answer', garbled, null, 4194431, 524289,
                                                '2566914944'],
    ['no pixels', sample, {...sampleFormat, pixels: null}, 8, 4, null]]) {
    assert.deepEqual(pictureSize(describe, format), {width, height, end}, name);
  }
});

test('the picture\'s note says who drew it, whether the other could, when it is scaled', () => {
  const note = (source, browserDecodes, problem = null, scaledDown = false) => pictureNote({
    width: 127, height: 64, source, scaledDown, problem, browserDecodes});
  assert.equal(pictureNote({width: 4000, height: 3000, source: 'browser', scaledDown: true,
                            problem: null, browserDecodes: true}),
               '4,000 × 3,000 pixels, as this browser decodes the file (shown scaled down).');
  assert.equal(note('quillfen', false), '127 × 64 pixels, as the format defines it, drawn by ' +
               'Quillfen\'s decoder: this browser cannot decode the file.');
  assert.equal(note('quillfen', true),
               '127 × 64 pixels, as the format defines it, drawn by Quillfen\'s decoder.');
  assert.equal(note('browser', true, 'an embedded JPEG is named, not decoded'),
               '127 × 64 pixels, as this browser decodes the file (Quillfen\'s decoder cannot: ' +
               'an embedded JPEG is named, not decoded).');
  assert.equal(pictureNote({undecodable: 'The source image could not be decoded.',
                            problem: 'a negative width', browserDecodes: false}),
               'Neither this browser nor Quillfen\'s decoder can decode the file as a picture: ' +
               'a negative width.');
  // The legend counts the undefined pixels of each kind there are.
  assert.equal(undefinedText({skipped: 0, missing: 0, badIndex: 0}), '');
  assert.equal(undefinedText({skipped: 416, missing: 0, badIndex: 0}),
               'Hatched: pixels the format leaves undefined, 416 pixels skipped by the RLE ' +
               'commands.');
  assert.equal(undefinedText({skipped: 1, missing: 6453, badIndex: 4793}),
               'Hatched: pixels the format leaves undefined, 1 pixel skipped by the RLE ' +
               'commands; 6,453 pixels missing: their bytes lie past the end of the file; ' +
               '4,793 pixels whose index is past the colour table.');
});

test('colours differ in alpha, or in a channel by more than a canvas keeps', () => {
  for (const [a, b, differ] of [
    [[255, 0, 0, 255], [255, 0, 0, 255], false], [[255, 0, 0, 255], [254, 0, 0, 255], true],
    [[0, 0, 0, 255], [0, 0, 1, 255], true], [[144, 128, 112, 255], [143, 128, 112, 64], true],
    [[100, 100, 100, 255], [100, 100, 100, 128], true],
    // Fully transparent: no colour to compare.
    [[9, 8, 7, 0], [0, 0, 0, 0], false],
    // Half transparent: a step either way is the canvas's rounding, two are not.
    [[100, 100, 100, 128], [101, 99, 100, 128], false],
    [[100, 100, 100, 128], [102, 100, 100, 128], true],
    // Nearly transparent: far coarser (Pillow's rgb32bf-rgba.bmp at alpha 8).
    [[0, 8, 255, 8], [0, 0, 255, 8], false], [[0, 30, 255, 8], [0, 0, 255, 8], true]]) {
    assert.equal(coloursDiffer(a, b), differ, `${a} against ${b}`);
  }
  assert.deepEqual([128, 8, 255, 1].map(readBackError), [1, 16, 0, 128]);
});

test('the format\'s colour beside the browser\'s, and a line when they differ', () => {
  assert.equal(text(colourFacts(sampleDecoded, [255, 255, 255, 255], false)),
               'Format colour: #FFFFFF\nBrowser colour: #FFFFFF');
  const facts = colourFacts({...sampleDecoded, rgba: [144, 128, 112, 255]}, [143, 128, 112, 64],
                            false);
  assert.equal(text(facts), 'Format colour: #908070\nBrowser colour: #8F8070, alpha 64\n' +
               'Colours differ: this browser shows #8F8070, alpha 64 where the format defines ' +
               '#908070');
  assert.deepEqual(facts.slice(0, 2).map(([, parts]) => parts),
                   [[{swatch: '#908070'}, '#908070'], [{swatch: '#8F8070'}, '#8F8070, alpha 64']]);
  // A pixel the format does not define, which the browser shows.
  assert.equal(text(colourFacts(pal4rletrnsSkipped, [0, 0, 0, 255], false)),
               'Format colour: none: no command sets it: the delta at offset 3018 passes over ' +
               'it\nBrowser colour: #000000\nColours differ: this browser shows #000000 where ' +
               'the format defines no colour (skipped)');
  assert.equal(text(colourFacts(shortfileMissing, null, true)),
               'Format colour: none: its bytes, from offset 1070, pass the end of the file ' +
               '(273 bytes)\nBrowser colour: none: this browser cannot decode the file');
  // Not decoded: nothing to compare with.
  assert.equal(text(colourFacts(jpegPixel, [1, 2, 3, 255], false)),
               'Format colour: none: an embedded JPEG is named, not decoded\n' +
               'Browser colour: #010203');
  assert.equal(text(colourFacts(null, null, false)),
               'Browser colour: none: the browser has not decoded the picture');
});

test('where a pixel comes from: the command that set or skipped it, or its bytes', () => {
  // Its text whole is in the panel's test of an RLE pixel.
  const facts = sourceFacts(pal8rleDecoded, true);
  assert.deepEqual(facts[0][1].filter((part) => typeof part !== 'string'),
                   [{copy: '8656', shown: '8,656'}, {copy: pal8rleDecoded.command.hex}]);
  assert.equal(text(sourceFacts(answers.pal4rlePixel, false)),
               'Set by: the absolute run at 3,770 (0xEBA), 12 bytes: 00 13 11 11 31 11 91 31 ' +
               '91 31 B3 90\nValue in it: 3,772 (0xEBC): 11, bits 3 to 0');
  assert.equal(text(sourceFacts(pal4rletrnsSkipped, true)),
               'Skipped by: the delta at 3,018 (0xBCA), 4 bytes: 00 02 12 00');
  // Its bytes, said only where the report's layout does not say them.
  assert.deepEqual(sourceFacts(sampleDecoded, false), []);
  assert.equal(text(sourceFacts(sampleDecoded, true)), 'Format stores it at: 148 (0x94): 0F');
  const missing = sourceFacts(shortfileMissing, true);
  assert.equal(text(missing), 'Format stores it at: 1,070 (0x42E): past the end of the file');
  // Nothing to copy of bytes the file does not hold.
  assert.deepEqual(missing[0][1], [{copy: '1070', shown: '1,070'},
                                   ' (0x42E): past the end of the file']);
  assert.equal(text(sourceFacts({...shortfileMissing, data: {...shortfileMissing.data,
                                                             hex: '80'}}, true)),
               'Format stores it at: 1,070 (0x42E): 80, bit 7');
  assert.deepEqual([sourceFacts(jpegPixel, true), sourceFacts(null, true)], [[], []]);
});

test('a pixel\'s table entry as the decoder read it', () => {
  assert.deepEqual(decodedEntryText(pal8rleDecoded),
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

test('regions of the map: fields and their values, masks, rows, entries also claimed', () => {
  const named = (name) => answers.pal8v5Regions.regions.find((region) => region.name === name);
  const [, mask, , , row] = answers.rgb16Regions.regions;
  const field = (name) => `In the file's map: ${name}: a field of the info header`;
  for (const [name, format, region, want] of [
    ['bV5CSType', pal8v5Format, named('bV5CSType'),
     `${field('bV5CSType')}\nRegion: 70 (0x46), 4 bytes\nValue: sRGB: LCS_sRGB`],
    ['bV5RedMask', pal8v5Format, named('bV5RedMask'),
     `${field('bV5RedMask')}\nRegion: 54 (0x36), 4 bytes\nValue: 0x00000000: no bits`],
    ['bV5GammaRed', pal8v5Format, named('bV5GammaRed'),
     `${field('bV5GammaRed')}\nRegion: 110 (0x6E), 4 bytes\nValue: 0.0`],
    // Only the field of that name at that offset has its value.
    ['elsewhere', pal8v5Format, {...named('bV5CSType'), offset: 74},
     `${field('bV5CSType')}\nRegion: 74 (0x4A), 4 bytes`],
    ['a mask', null, mask, 'In the file\'s map: biRedMask: a colour mask after the info header\n' +
     'Region: 54 (0x36), 4 bytes'],
    ['a row', null, row, 'In the file\'s map: row 63 (from 0, at the top): a stored row of ' +
     'pixels\nRegion: 66 (0x42), 254 bytes\nSets pixels: x 0 to 126, y 63 (from 0)'],
    ['a run of one', null, {offset: 1070, size: 2, kind: 'encoded-run', name: 'encoded run of 1',
                            note: '', x: 5, y: 63, pixels: 1},
     'In the file\'s map: encoded run of 1: an RLE encoded run\nRegion: 1,070 (0x42E), 2 bytes\n' +
     'Sets pixels: x 5, y 63 (from 0)'],
    ['an entry', null, answers.mmapEntry, 'In the file\'s map: entry 0 (from 0): a colour-table ' +
     'entry\nRegion: 54 (0x36), 4 bytes\nNote: bytes 54 to 1061 are also claimed by the pixel ' +
     'data; the colour table wins']]) {
    assert.equal(text(regionFacts(format, region)), want, name);
  }
});

test('every kind of region the core names has words of its own and a group the legend lists',
     () => {
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
       // Kinds in words and groups, RLE commands told apart.
       assert.equal(kindWords('delta'), 'an RLE delta');
       assert.deepEqual(['delta', 'absolute-run', 'run-pad', 'a-kind-to-come'].map(kindGroup),
                        ['control', 'pixels', 'padding', 'other']);
       assert.equal(kindWords('a-kind-to-come'), 'a-kind-to-come');
       for (const kind of ['encoded-run', 'absolute-run', 'end-of-line', 'end-of-bitmap', 'delta',
                           'cut-command', 'run-pad', 'pixel-row', 'row-padding', 'gap',
                           'pixel-data']) {
         assert.equal(isCommand({kind}), !/pad|row|gap|data/.test(kind), kind);
       }
       assert.equal(isCommand(null), false);
     });
