// The comparison as the page shows it, on the core's own answers: which lines are differences,
// each difference's bytes in both files, the panel's facts, the status line, n and p.
import assert from 'node:assert/strict';
import {describe, test} from 'node:test';

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

describe('the lines that are differences', () => {
  test('fields of the same picture; the bytes, pixels and verdict lines are facts', () => {
    assert.deepEqual(kinds(samePicture), [
      ['bytes: 9,254 vs 8,788; first difference at 2, bfSize in both', null],
      ['bfSize (2, 4 bytes): 9254 [26 24 00 00] vs 8788 [54 22 00 00]', '0 field bfSize'],
      ['biCompression (30, 4 bytes): 0 [00 00 00 00] vs 1 [01 00 00 00]',
       '1 field biCompression'],
      ['biSizeImage (34, 4 bytes): 8192 [00 20 00 00] vs 7726 [2E 1E 00 00]',
       '2 field biSizeImage'],
      ['pixels: same picture (8,128 pixels), stored uncompressed in A and as RLE8 in B', null],
      ['verdict: same picture, different bytes', null],
    ]);
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
    for (const [text, kind] of list) {
      if (kind === null) continue;
      const [, what, name] = kind.split(' ');
      if (what === 'pixel') assert.ok(text.startsWith(`pixel (${name.replace(',', ', ')}): `));
      else assert.match(text, new RegExp(`^(only in B: )?${name} \\(`));
    }
    assert.deepEqual(list.slice(-2), [['pixels: 5,202 more differ, not listed', null],
                                      ['verdict: different pictures', null]]);
  });

  test('table entries, then the entries not listed and those one table lacks, then pixels',
       () => {
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
    const list = kinds({...skippedAgainstStored, links});
    assert.deepEqual(list.slice(1, 6).map(([, kind]) => kind),
                     [null, null, null, null, '0 field biClrUsed']);
    // Moved lines keep their members.
    const swapped = {...samePicture, lines: [...samePicture.lines].reverse(),
                     links: [...samePicture.links].reverse()};
    assert.deepEqual(kinds(swapped).map(([, kind]) => kind),
                     [null, null, '0 field biSizeImage', '1 field biCompression', '2 field bfSize',
                      null]);
  });

  test('identical files and a file that is not a BMP have no difference to select', () => {
    assert.deepEqual(kinds(identical), [['bytes: identical, 9,254 bytes', null],
                                        ['verdict: identical bytes', null]]);
    assert.deepEqual(kinds(notBitmap), [['B: not a BMP file: it does not start with BM', null],
                                        ['verdict: different pictures', null]]);
    assert.equal(differencesOf(differenceList(notBitmap)).length, 0);
    assert.equal(differencesOf(differenceList(rgbAgainst565)).length, 18);
  });
});

describe('a difference in each file', () => {
  const differences = (comparison) => differencesOf(differenceList(comparison))
    .map(({difference}) => difference);

  test('bytes of fields, fields one header lacks, entries and pixels', () => {
    const [bfSize] = differences(samePicture);
    assert.deepEqual([sideBytes(bfSize, 'a'), sideBytes(bfSize, 'b')],
                     [{offset: '2', count: 4}, {offset: '2', count: 4}]);
    const mask = differences(rgbAgainst565)[5];
    assert.deepEqual([sideBytes(mask, 'a'), sideBytes(mask, 'b')],
                     [null, {offset: '54', count: 4}]);
    const stored = differences(rgbAgainst565)[8];
    assert.deepEqual([sideBytes(stored, 'a'), sideBytes(stored, 'b')],
                     [{offset: '24255', count: 3}, {offset: '16200', count: 2}]);
    assert.deepEqual(differencePixel(stored), {x: 3, y: 0});
    assert.equal(differencePixel(bfSize), null);
    const all = differences(skippedAgainstStored);
    const entry = all[5];
    assert.deepEqual([sideBytes(entry, 'a'), sideBytes(entry, 'b')],
                     [{offset: '54', count: 4}, {offset: '54', count: 4}]);
    // The delta that skipped the pixel in A; the byte that holds its index in B.
    const skipped = all[21];
    assert.deepEqual([sideBytes(skipped, 'a'), sideBytes(skipped, 'b')],
                     [{offset: '6562', count: 4}, {offset: '6465', count: 1}]);
    // A pixel an absolute run sets: its own index byte, not the run.
    const run = differences(runAgainstStored).at(-1);
    assert.equal(run.kind, 'pixel');
    assert.deepEqual([sideBytes(run, 'a'), sideBytes(run, 'b')],
                     [{offset: '8038', count: 1}, {offset: '8496', count: 1}]);
    // An entry past one table, a pixel no byte holds, whether a command names it or not.
    const past = {...entry, entry: {...entry.entry, b: null}};
    assert.equal(sideBytes(past, 'b'), null);
    const nowhere = {...skipped, pixel: {...skipped.pixel, a: {...skipped.pixel.a, command: null,
                                                               data: null}}};
    assert.equal(sideBytes(nowhere, 'a'), null);
    const unheld = {...run, pixel: {...run.pixel, a: {...run.pixel.a, data: null}}};
    assert.equal(sideBytes(unheld, 'a'), null);
  });

  test('the panel says which difference it is, and each side', () => {
    const names = {a: 'one.bmp', b: 'two.bmp'};
    const item = (comparison, number) => differencesOf(differenceList(comparison))[number];
    assert.equal(factsText(differenceFacts(item(samePicture, 1), 3, names)), [
      'Difference: 2 of 3 (from 1): biCompression (30, 4 bytes): 0 [00 00 00 00] vs 1 ' +
      '[01 00 00 00]',
      'A, one.bmp: biCompression = 0, at 30, 4 bytes: 00 00 00 00',
      'B, two.bmp: biCompression = 1, at 30, 4 bytes: 01 00 00 00'].join('\n'));
    assert.equal(factsText(differenceFacts(item(rgbAgainst565, 6), 18, names)).split('\n')
                   .slice(1).join('\n'), [
      'A, one.bmp: the header has no such field',
      'B, two.bmp: biGreenMask = 0x000007E0, at 58, 4 bytes: E0 07 00 00'].join('\n'));
    assert.equal(factsText(differenceFacts(item(skippedAgainstStored, 5), 31, names)).split('\n')
                   .slice(1).join('\n'), [
      'A, one.bmp: #8000FF, at 54, 4 bytes: FF 00 80 00',
      'B, two.bmp: #000000, at 54, 4 bytes: 00 00 00 00'].join('\n'));
    assert.equal(factsText(differenceFacts(item(skippedAgainstStored, 21), 31, names)).split('\n')
                   .slice(1).join('\n'), [
      'A, one.bmp: no colour (skipped), the delta at 6,562, 4 bytes: 00 02 12 00',
      'B, two.bmp: #FFFFFF (index 251), at 6,465, 1 byte: FB'].join('\n'));
    // A pixel set by an RLE command: its own byte, in the command, as the core's line says.
    const [, run] = factsText(differenceFacts(item(runAgainstStored, 3), 4, names)).split('\n');
    assert.equal(run, 'A, one.bmp: #CC5533 (index 58), at 8,038, 1 byte: 3A, in the absolute ' +
                      'run at 8,026');
    assert.ok(differencesOf(differenceList(runAgainstStored))[3].text.endsWith(
      '#CC5533 (index 58) at 8,038 [3A] in the absolute run at 8,026 vs #FF5533 (index 59) at ' +
      '8,496 [3B]'));
    assert.equal(factsText(differenceFacts(item(runAgainstStored, 3), 4, names)).split('\n')[2],
                 'B, two.bmp: #FF5533 (index 59), at 8,496, 1 byte: 3B');
    const unheld = item(runAgainstStored, 3);
    unheld.difference.pixel.a = {...unheld.difference.pixel.a, data: null};
    assert.equal(factsText(differenceFacts(unheld, 4, names)).split('\n')[1],
                 'A, one.bmp: #CC5533 (index 58), at none');
    const translucent = item(rgbAgainst565, 9);
    translucent.difference.pixel.a.rgba = [1, 2, 3, 128];
    assert.match(factsText(differenceFacts(translucent, 18, names)),
                 /A, one\.bmp: #010203, alpha 128, at 24,258, 3 bytes: 21 21 FF/);
    assert.equal(differenceSaid(item(rgbAgainst565, 8), 18),
                 'Difference 9 of 18: pixel (3, 0): #FF1919 at 24,255 [19 19 FF] vs #FF1819 at ' +
                 '16,200 [C3 F8]');
  });
});

describe('the status line and the keys', () => {
  const names = {a: 'pal8.bmp', b: 'other.bmp'};

  test('what the comparison found, in the core\'s words', () => {
    assert.deepEqual(comparedText(samePicture, names), {
      said: 'pal8.bmp against other.bmp: same picture, different bytes; 0 pixels of 8,128 ' +
            'differ; 3 differences listed, n and p go from one to the next.'});
    assert.deepEqual(comparedText(identical, names), {
      said: 'pal8.bmp against other.bmp: identical bytes.'});
    const undecoded = {...samePicture, pixels: {...samePicture.pixels, compared: false}};
    assert.match(comparedText(undecoded, names).said,
                 /: same picture, different bytes; the pixels were not compared; 3 differences/);
    const embedded = {...samePicture, pixels: {...undecoded.pixels,
                                               problemB: 'an embedded JPEG is named, not decoded'}};
    assert.ok(comparedText(embedded, names).said.includes('; the pixels were not compared (B: ' +
                                                          'an embedded JPEG is named, not ' +
                                                          'decoded); 3 differences'));
    const both = {...samePicture, pixels: {...embedded.pixels, problemA: 'a broken header'}};
    assert.ok(comparedText(both, names).said.includes('; the pixels were not compared (A: a ' +
                                                      'broken header; B: an embedded JPEG is ' +
                                                      'named, not decoded); 3 differences'));
    assert.deepEqual(comparedText(rgbAgainst565, names).said.split('; ').slice(1),
                     ['5,212 pixels of 8,128 differ',
                      '18 differences listed, n and p go from one to the next.']);
    const onePixel = {...samePicture, pixels: {...samePicture.pixels, count: '1'}};
    assert.match(comparedText(onePixel, names).said, /; 1 pixel of 8,128 differ; 3 differences/);
    const kept = (line, i) => i < 2 || i > 3;
    const oneField = {...samePicture, fields: samePicture.fields.slice(0, 1),
                      lines: samePicture.lines.filter(kept), links: samePicture.links.filter(kept)};
    assert.match(comparedText(oneField, names).said, /; 1 difference listed/);
    assert.deepEqual([rgbAgainst565, samePicture, identical].map(verdictWords),
                     ['different pictures', 'same picture, different bytes', 'identical bytes']);
    assert.equal(verdictWords({verdict: 'something new'}), 'something new');
  });

  test('how many pixels differ: none for identical files, nothing said when not compared', () => {
    assert.equal(differingPixels(rgbAgainst565), '5212');
    assert.equal(differingPixels(samePicture), '0');
    assert.equal(differingPixels(identical), '0');
    const undecoded = {...rgbAgainst565, pixels: {...rgbAgainst565.pixels, compared: false}};
    assert.equal(differingPixels(undecoded), null);
  });

  test('a difference picture that marks another count than the core\'s is said not exact',
       () => {
         assert.equal(pictureMismatch(5212, rgbAgainst565.pixels), null);
         assert.equal(pictureMismatch(0, samePicture.pixels), null);
         assert.equal(pictureMismatch(5213, rgbAgainst565.pixels),
                      'The difference picture marks 5,213 pixels where the core counts 5,212: ' +
                      'it is not exact. The list and the count of differing pixels are the ' +
                      'core\'s.');
         assert.match(pictureMismatch(1, samePicture.pixels),
                      /^The difference picture marks 1 pixel where the core counts 0: /);
         // Counts past 2^53 compare exactly.
         const huge = {...rgbAgainst565.pixels, count: '9007199254740993'};
         assert.match(pictureMismatch(2 ** 53, huge), /counts 9,007,199,254,740,993: it is not/);
         assert.match(pictureMismatch(0, identical.pixels),
                      /^The difference picture marks 0 pixels where the core did not compare /);
       });

  test('a file the core refuses says which and why', () => {
    assert.deepEqual(comparedText(notBitmap, names), {
      failed: 'B, other.bmp, is not a BMP file: it does not start with BM.'});
    const first = {...notBitmap, trouble: {file: 'a', reason: 'not a BMP file'}};
    assert.deepEqual(comparedText(first, names), {failed: 'A, pal8.bmp, is not a BMP file.'});
  });

  test('n and p go round the differences; other keys and empty lists go nowhere', () => {
    const steps = (key, from, total, times) => {
      const seen = [];
      let at = from;
      for (let i = 0; i < times; i += 1) {
        at = stepDifference(key, at, total);
        seen.push(at);
      }
      return seen;
    };
    assert.deepEqual(steps('n', null, 3, 4), [0, 1, 2, 0]);
    assert.deepEqual(steps('p', null, 3, 4), [2, 1, 0, 2]);
    assert.deepEqual(steps('n', 1, 1, 2), [0, 0]);
    assert.equal(stepDifference('n', null, 0), null);
    assert.equal(stepDifference('x', 0, 3), null);
  });
});
