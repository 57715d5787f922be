// The comparison as the page shows it, on the core's own answers: which lines are differences,
// each difference's bytes in both files, the panel's facts, the status line, n and p.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {comparedText, differenceFacts, differenceList, differencePixel, differenceSaid,
        differencesOf, differingPixels, pictureMismatch, sideBytes, stepDifference,
        verdictWords} from '../../../web/compare_text.js';
import {factsText} from '../../../web/panel_text.js';
import {identical, notBitmap, rgbAgainst565, runAgainstStored, samePicture,
        skippedAgainstStored} from './comparisons.mjs';

// The list as [line, kind and the member's name or place] pairs, for whole comparisons.
const kinds = (comparison) => differenceList(comparison).map(({text, difference}) => {
  if (difference === null) return [text, null];
  const {kind, number} = difference;
  const what = kind === 'field' ? difference.field.name
    : kind === 'entry' ? difference.entry.index
      : `${difference.pixel.x},${difference.pixel.y}`;
  return [text, `${number} ${kind} ${what}`];
});

const differences = (comparison) => differencesOf(differenceList(comparison));
const names = {a: 'one.bmp', b: 'two.bmp'};
// The panel's lines for difference number of comparison, of total.
const facts = (comparison, number, total, change = (item) => item) =>
  factsText(differenceFacts(change(differences(comparison)[number]), total, names)).split('\n');

test('fields of the same picture are differences; the bytes, pixels and verdict are facts', () => {
  const linked = (comparison) => kinds(comparison).map(([, kind]) => kind);
  for (const comparison of [samePicture, identical, notBitmap]) {
    assert.deepEqual(kinds(comparison).map(([text]) => text), comparison.lines, comparison.lines[0]);
  }
  assert.deepEqual([samePicture, identical, notBitmap].map(linked), [
    [null, '0 field bfSize', '1 field biCompression', '2 field biSizeImage', null, null],
    [null, null], [null, null]]);
  assert.equal(differences(notBitmap).length, 0);
  assert.equal(differences(rgbAgainst565).length, 18);
});

test('fields only one file has, and the listed pixels, each on its own line', () => {
  const list = kinds(rgbAgainst565);
  assert.equal(list.length, rgbAgainst565.lines.length);
  assert.deepEqual(list.filter(([, kind]) => kind !== null).map(([, kind]) => kind), [
    '0 field bfSize', '1 field bfOffBits', '2 field biBitCount', '3 field biCompression',
    '4 field biSizeImage', '5 field biRedMask', '6 field biGreenMask', '7 field biBlueMask',
    '8 pixel 3,0', '9 pixel 4,0', '10 pixel 5,0', '11 pixel 7,0', '12 pixel 8,0',
    '13 pixel 9,0', '14 pixel 10,0', '15 pixel 11,0', '16 pixel 12,0', '17 pixel 13,0']);
  // Each linked line is the core's line about that member.
  for (const [text, kind] of list.filter(([, linked]) => linked !== null)) {
    const [, what, name] = kind.split(' ');
    if (what === 'pixel') assert.ok(text.startsWith(`pixel (${name.replace(',', ', ')}): `));
    else assert.match(text, new RegExp(`^(only in B: )?${name} \\(`));
  }
  assert.deepEqual(list.slice(-2), [['pixels: 5,202 more differ, not listed', null],
                                    ['verdict: different pictures', null]]);
});

test('table entries, then the entries not listed and those one table lacks, then pixels', () => {
  const list = kinds(skippedAgainstStored);
  const linked = list.filter(([, kind]) => kind !== null).map(([, kind]) => kind);
  assert.equal(linked.length, 5 + 16 + 10);
  assert.deepEqual(linked.slice(4, 7), ['4 field biClrUsed', '5 entry 0', '6 entry 1']);
  assert.deepEqual(linked.slice(20, 22), ['20 entry 15', '21 pixel 27,21']);
  assert.deepEqual(list.find(([text]) => text.startsWith('entry 15 ')),
                   [list[21][0], '20 entry 15']);
  for (const line of ['entries: 236 more differ, not listed', 'entry 252 only in A']) {
    assert.deepEqual(list.find(([text]) => text === line), [line, null]);
  }
});

test('lines are linked as the core links them, not by where they are', () => {
  // A line of a kind not known here, one the core links to nothing and one that names a
  // member the answer does not hold are plain lines; the rest keep their members.
  const links = [...skippedAgainstStored.links];
  links[1] = {kind: 'row', index: 0};
  links[2] = null;
  links[3] = {kind: 'field', index: 99};
  links[4] = {kind: 'constructor', index: 0};
  assert.deepEqual(kinds({...skippedAgainstStored, links}).slice(1, 6).map(([, kind]) => kind),
                   [null, null, null, null, '0 field biClrUsed']);
  // Moved lines keep their members.
  const swapped = {...samePicture, lines: [...samePicture.lines].reverse(),
                   links: [...samePicture.links].reverse()};
  assert.deepEqual(kinds(swapped).map(([, kind]) => kind),
                   [null, null, '0 field biSizeImage', '1 field biCompression', '2 field bfSize',
                    null]);
});

test('a difference\'s bytes in each file: fields, fields one header lacks, entries, pixels', () => {
  const [bfSize] = differences(samePicture).map(({difference}) => difference);
  const [mask, stored] = [5, 8].map((n) => differences(rgbAgainst565)[n].difference);
  const [entry, skipped] = [5, 21].map((n) => differences(skippedAgainstStored)[n].difference);
  const run = differences(runAgainstStored).at(-1).difference;
  const pixelA = (item, a) => ({...item, pixel: {...item.pixel, a: {...item.pixel.a, ...a}}});
  for (const [name, difference, a, b] of [
    ['a field', bfSize, ['2', 4], ['2', 4]], ['a field only in B', mask, null, ['54', 4]],
    ['a stored pixel', stored, ['24255', 3], ['16200', 2]], ['an entry', entry, ['54', 4],
                                                            ['54', 4]],
    // The delta that skipped the pixel in A; the byte that holds its index in B.
    ['a skipped pixel', skipped, ['6562', 4], ['6465', 1]],
    // A pixel an absolute run sets: its own index byte, not the run.
    ['a pixel in a run', run, ['8038', 1], ['8496', 1]],
    // An entry past one table, a pixel no byte holds, whether a command names it or not.
    ['an entry past B\'s table', {...entry, entry: {...entry.entry, b: null}}, ['54', 4], null],
    ['a pixel nowhere', pixelA(skipped, {command: null, data: null}), null, ['6465', 1]],
    ['a pixel of a run, not held', pixelA(run, {data: null}), null, ['8496', 1]]]) {
    assert.deepEqual([sideBytes(difference, 'a'), sideBytes(difference, 'b')],
                     [a, b].map((side) => side && {offset: side[0], count: side[1]}), name);
  }
  assert.equal(run.kind, 'pixel');
  assert.deepEqual([differencePixel(stored), differencePixel(bfSize)], [{x: 3, y: 0}, null]);
});

test('the panel says which difference it is, and each side', () => {
  const unheldA = (item) => {
    item.difference.pixel.a = {...item.difference.pixel.a, data: null};
    return item;
  };
  const translucent = (item) => {
    item.difference.pixel.a.rgba = [1, 2, 3, 128];
    return item;
  };
  for (const [comparison, number, total, lines, change] of [
    [samePicture, 1, 3, ['Difference: 2 of 3 (from 1): biCompression (30, 4 bytes): 0 [00 00 00 ' +
                         '00] vs 1 [01 00 00 00]',
                         'A, one.bmp: biCompression = 0, at 30, 4 bytes: 00 00 00 00',
                         'B, two.bmp: biCompression = 1, at 30, 4 bytes: 01 00 00 00']],
    [rgbAgainst565, 6, 18, [null, 'A, one.bmp: the header has no such field',
                            'B, two.bmp: biGreenMask = 0x000007E0, at 58, 4 bytes: E0 07 00 00']],
    [skippedAgainstStored, 5, 31, [null, 'A, one.bmp: #8000FF, at 54, 4 bytes: FF 00 80 00',
                                   'B, two.bmp: #000000, at 54, 4 bytes: 00 00 00 00']],
    [skippedAgainstStored, 21, 31, [null, 'A, one.bmp: no colour (skipped), the delta at ' +
                                    '6,562, 4 bytes: 00 02 12 00',
                                    'B, two.bmp: #FFFFFF (index 251), at 6,465, 1 byte: FB']],
    // A pixel set by an RLE command: its own byte, in the command, as the core's line says.
    [runAgainstStored, 3, 4, [null, 'A, one.bmp: #CC5533 (index 58), at 8,038, 1 byte: 3A, in ' +
                              'the absolute run at 8,026',
                              'B, two.bmp: #FF5533 (index 59), at 8,496, 1 byte: 3B']],
    [runAgainstStored, 3, 4, [null, 'A, one.bmp: #CC5533 (index 58), at none'], unheldA],
    [rgbAgainst565, 9, 18, [null, 'A, one.bmp: #010203, alpha 128, at 24,258, 3 bytes: 21 21 FF'],
     translucent]]) {
    const shown = facts(comparison, number, total, change);
    lines.forEach((line, i) => line === null || assert.equal(shown[i], line, `${number}, ${i}`));
    if (change === undefined) assert.equal(shown.length, lines.length, `${number} of ${total}`);
  }
  assert.ok(differences(runAgainstStored)[3].text.endsWith(
    '#CC5533 (index 58) at 8,038 [3A] in the absolute run at 8,026 vs #FF5533 (index 59) at ' +
    '8,496 [3B]'));
  assert.equal(differenceSaid(differences(rgbAgainst565)[8], 18),
               'Difference 9 of 18: pixel (3, 0): #FF1919 at 24,255 [19 19 FF] vs #FF1819 at ' +
               '16,200 [C3 F8]');
});

test('the status line says what the comparison found, in the core\'s words', () => {
  const said = (comparison) => comparedText(comparison, {a: 'pal8.bmp', b: 'other.bmp'});
  const pixels = (changes) => ({...samePicture, pixels: {...samePicture.pixels, ...changes}});
  const kept = (line, i) => i < 2 || i > 3;
  const oneField = {...samePicture, fields: samePicture.fields.slice(0, 1),
                    lines: samePicture.lines.filter(kept), links: samePicture.links.filter(kept)};
  const notCompared = 'same picture, different bytes; the pixels were not compared';
  const jpeg = 'an embedded JPEG is named, not decoded';
  for (const [name, comparison, words] of [
    ['same picture', samePicture, 'same picture, different bytes; 0 pixels of 8,128 differ; 3 ' +
     'differences listed, n and p go from one to the next.'],
    ['identical', identical, 'identical bytes.'],
    ['not compared', pixels({compared: false}), `${notCompared}; 3 differences listed, n and p ` +
     'go from one to the next.'],
    ['B not decoded', pixels({compared: false, problemB: jpeg}), `${notCompared} (B: ${jpeg}); ` +
     '3 differences listed, n and p go from one to the next.'],
    ['neither decoded', pixels({compared: false, problemA: 'a broken header', problemB: jpeg}),
     `${notCompared} (A: a broken header; B: ${jpeg}); 3 differences listed, n and p go from ` +
     'one to the next.'],
    ['different', rgbAgainst565, 'different pictures; 5,212 pixels of 8,128 differ; 18 ' +
     'differences listed, n and p go from one to the next.'],
    ['one pixel', pixels({count: '1'}), 'same picture, different bytes; 1 pixel of 8,128 differ; ' +
     '3 differences listed, n and p go from one to the next.'],
    ['one field', oneField, 'same picture, different bytes; 0 pixels of 8,128 differ; 1 ' +
     'difference listed, n and p go from one to the next.']]) {
    assert.deepEqual(said(comparison), {said: `pal8.bmp against other.bmp: ${words}`}, name);
  }
  assert.equal(verdictWords({verdict: 'something new'}), 'something new');
  // A file the core refuses says which and why.
  assert.deepEqual(said(notBitmap),
                   {failed: 'B, other.bmp, is not a BMP file: it does not start with BM.'});
  assert.deepEqual(said({...notBitmap, trouble: {file: 'a', reason: 'not a BMP file'}}),
                   {failed: 'A, pal8.bmp, is not a BMP file.'});
});

test('how many pixels differ, and a difference picture that marks another count', () => {
  assert.deepEqual([rgbAgainst565, samePicture, identical].map(differingPixels),
                   ['5212', '0', '0']);
  assert.equal(differingPixels({...rgbAgainst565, pixels: {...rgbAgainst565.pixels,
                                                           compared: false}}), null);
  assert.equal(pictureMismatch(5212, rgbAgainst565.pixels), null);
  assert.equal(pictureMismatch(0, samePicture.pixels), null);
  assert.equal(pictureMismatch(5213, rgbAgainst565.pixels),
               'The difference picture marks 5,213 pixels where the core counts 5,212: it is ' +
               'not exact. The list and the count of differing pixels are the core\'s.');
  assert.match(pictureMismatch(1, samePicture.pixels),
               /^The difference picture marks 1 pixel where the core counts 0: /);
  // Counts past 2^53 compare exactly.
  const huge = {...rgbAgainst565.pixels, count: '9007199254740993'};
  assert.match(pictureMismatch(2 ** 53, huge), /counts 9,007,199,254,740,993: it is not/);
  assert.match(pictureMismatch(0, identical.pixels),
               /^The difference picture marks 0 pixels where the core did not compare /);
});

test('n and p go round the differences; other keys and empty lists go nowhere', () => {
  const steps = (key, from, total, times) => {
    const seen = [];
    for (let i = 0, at = from; i < times; i += 1) seen.push(at = stepDifference(key, at, total));
    return seen;
  };
  assert.deepEqual(steps('n', null, 3, 4), [0, 1, 2, 0]);
  assert.deepEqual(steps('p', null, 3, 4), [2, 1, 0, 2]);
  assert.deepEqual(steps('n', 1, 1, 2), [0, 0]);
  assert.equal(stepDifference('n', null, 0), null);
  assert.equal(stepDifference('x', 0, 3), null);
});
