// The map strip over the bytes view: the decoder's regions cut to the bytes shown, their
// shares, labels, legend, the selected ones and the keys.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {holdsSelected, segmentLabel, stepSegment, stripLegend,
        stripSegments} from '../../../web/map_strip.js';
import * as answers from './answers.mjs';

test('segments cover the bytes shown exactly, the regions at the edges cut to them', () => {
  // The regions that hold bytes 48 to 159 of pal8v5.bmp: a header field that starts at 46,
  // the V5 fields, then table entries, the last of which ends at 162.
  const segments = stripSegments(answers.pal8v5Regions.regions, 48, 160);
  assert.deepEqual(segments[0], {region: answers.pal8v5Regions.regions[0], from: 48, to: 50,
                                 share: 2 / 112, group: 'header'});
  assert.deepEqual(segments.at(-1).region.name, 'entry 5');
  assert.deepEqual([segments.at(-1).from, segments.at(-1).to], [158, 160]);
  for (let i = 1; i < segments.length; i += 1) {
    assert.equal(segments[i].from, segments[i - 1].to, `segment ${i} starts where the last ends`);
  }
  assert.ok(Math.abs(segments.reduce((sum, {share}) => sum + share, 0) - 1) < 1e-12);
  assert.deepEqual(segments.map(({group}) => group).filter((group, i, all) =>
    all.indexOf(group) === i), ['header', 'table']);
  assert.equal(segments.find(({region}) => region.name === 'bV5RedMask').share, 4 / 112);
});

test('a region outside the bytes shown has none, one that ends where they start too', () => {
  const regions = [{offset: 0, size: 10, kind: 'gap'}, {offset: 10, size: 5, kind: 'mask'},
                   {offset: 15, size: 5, kind: 'png'}];
  assert.deepEqual(stripSegments(regions, 10, 15).map(({region}) => region.kind), ['mask']);
  assert.deepEqual(stripSegments(regions, 9, 16).map(({from, to}) => [from, to]),
                   [[9, 10], [10, 15], [15, 16]]);
});

test('segments are named whole, with their kind, for a screen reader', () => {
  const [first] = stripSegments(answers.pal8v5Regions.regions, 48, 160);
  assert.equal(segmentLabel(first),
               'bV5ClrUsed: a field of the info header, bytes 46 to 49 (4 bytes)');
  const pad = {region: {offset: 1273, size: 1, kind: 'row-padding', name: 'padding of row 63'}};
  assert.equal(segmentLabel(pad), 'padding of row 63 (from 0, at the top): row padding, ' +
               'byte 1,273 (1 byte)');
  const entry = {region: {offset: 138, size: 4, kind: 'colour-entry', name: 'entry 12'}};
  assert.equal(segmentLabel(entry), 'entry 12 (from 0): a colour-table entry, bytes 138 to ' +
               '141 (4 bytes)');
  // Only a number that ends the name is a row's or an entry's.
  const run = {region: {offset: 9, size: 2, kind: 'encoded-run', name: 'encoded run of 3'}};
  assert.equal(segmentLabel(run), 'encoded run of 3: an RLE encoded run, bytes 9 to 10 ' +
               '(2 bytes)');
});

test('the legend lists the groups drawn, in its own order', () => {
  const segments = stripSegments(answers.rgb16Regions.regions, 50, 80);
  assert.deepEqual(stripLegend(segments), [['header', 'header fields'], ['mask', 'masks'],
                                           ['pixels', 'pixels and RLE runs']]);
  assert.deepEqual(stripLegend([]), []);
});

test('segments that hold a selected byte are selected, and only those', () => {
  for (const [from, count, holds] of [[54, 4, true], [57, 1, true], [50, 5, true],
                                      [58, 4, false], [50, 4, false]]) {
    assert.equal(holdsSelected({from: 54, to: 58}, from, count), holds, `${count} from ${from}`);
  }
});

test('the keys move one region at a time, to the ends with Home and End, never past', () => {
  for (const [key, from, to] of [['ArrowRight', 2, 3], ['ArrowDown', 2, 3], ['ArrowLeft', 2, 1],
                                 ['ArrowUp', 2, 1], ['ArrowRight', 4, 4], ['ArrowLeft', 0, 0],
                                 ['Home', 3, 0], ['End', 1, 4], ['PageDown', 1, null]]) {
    assert.equal(stepSegment(key, from, 5), to, `${key} from ${from}`);
  }
});
