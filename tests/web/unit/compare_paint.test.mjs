// The difference picture painted for a canvas: which canvas pixels mark a picture pixel,
// pixels differing in colour, alpha or state marked and counted, the first file dimmed.
import assert from 'node:assert/strict';
import {describe, test} from 'node:test';

import {finishDifference, kBright, markDifferences, markPixel,
        markStarts} from '../../../web/compare_paint.js';
import {canvasPlan} from '../../../web/paint.js';

// A one-row or many-row block of {rgba, state} from [[r, g, b, a, state]] rows.
function side(rows) {
  const pixels = rows.flat();
  return {rgba: new Uint8Array(pixels.flatMap((pixel) => pixel.slice(0, 4))),
          state: new Uint8Array(pixels.map((pixel) => pixel[4]))};
}

// A canvas's plan for a picture, where each of its pixels is marked, and an empty mask.
function canvas(width, height) {
  const plan = canvasPlan(width, height);
  return {plan, starts: {columns: markStarts(plan.columns, width),
                         rows: markStarts(plan.rows, height)},
          mask: new Uint8Array(plan.width * plan.height)};
}

// The canvas pixels marked, as [x, y] pairs.
function markedAt(mask, plan) {
  const marked = [];
  mask.forEach((value, p) => {
    if (value !== 0) marked.push([p % plan.width, Math.floor(p / plan.width)]);
  });
  return marked;
}

describe('where a picture pixel is marked', () => {
  test('a picture drawn larger marks each pixel\'s whole block', () => {
    const plan = canvasPlan(3, 2);
    assert.deepEqual([...markStarts(plan.columns, 3)], [0, 8, 16, 24]);
    assert.deepEqual([...markStarts(plan.rows, 2)], [0, 8, 16]);
  });

  test('a picture scaled down marks a pixel no canvas pixel shows on its neighbour\'s', () => {
    // 3200 pixels on 1600 canvas pixels: canvas pixel c shows pixel 2c + 1.
    const plan = canvasPlan(3200, 1);
    assert.equal(plan.columns[0], 1);
    const starts = markStarts(plan.columns, 3200);
    assert.deepEqual([...starts.subarray(0, 5)], [0, 0, 1, 1, 2]);
    assert.equal(starts[3200], 1600);
    const mask = new Uint8Array(plan.width * plan.height);
    const same = [9, 9, 9, 255, 0];
    const a = side([[same, same, same, same]]);
    const b = side([[[9, 9, 9, 255, 0], same, [8, 9, 9, 255, 0], same]]);
    const rows = markStarts(plan.rows, 1);
    // Pixels 3198 and 3199 of the row: the last canvas pixel shows 3199.
    assert.equal(markDifferences(mask, plan, {columns: starts, rows},
                                 {y: 0, rowCount: 1, x: 3196, count: 4, a, b}), 1);
    assert.deepEqual(markedAt(mask, plan), [[1599, 0]]);
    mask.fill(0);
    const first = side([[[1, 1, 1, 255, 0], [2, 2, 2, 255, 0]]]);
    assert.equal(markDifferences(mask, plan, {columns: starts, rows},
                                 {y: 0, rowCount: 1, x: 0, count: 2, a: first,
                                  b: side([[same, same]])}), 2);
    assert.deepEqual(markedAt(mask, plan), [[0, 0]]);
  });
});

describe('what differs', () => {
  test('colour, alpha and state each differ; the same pixel does not', () => {
    // A 3 x 2 picture, drawn 8 canvas pixels a side for each of its pixels.
    const {plan, starts, mask} = canvas(3, 2);
    const a = side([[[10, 20, 30, 255, 0], [10, 20, 30, 255, 0], [0, 0, 0, 0, 1]],
                    [[10, 20, 30, 255, 0], [10, 20, 30, 255, 0], [0, 0, 0, 0, 2]]]);
    const b = side([[[10, 20, 30, 255, 0], [10, 20, 31, 255, 0], [0, 0, 0, 0, 1]],
                    [[10, 20, 30, 254, 0], [10, 20, 30, 255, 0], [0, 0, 0, 0, 3]]]);
    assert.equal(markDifferences(mask, plan, starts, {y: 0, rowCount: 2, x: 0, count: 3, a, b}),
                 3);
    const blocks = new Set(markedAt(mask, plan).map(([x, y]) => `${x >> 3},${y >> 3}`));
    assert.deepEqual([...blocks].sort(), ['0,1', '1,0', '2,1']);
    assert.equal(markedAt(mask, plan).length, 3 * 64);
  });

  test('a block of rows from the middle of the picture marks its own rows', () => {
    const {plan, starts, mask} = canvas(2, 4);
    const a = side([[[0, 0, 0, 255, 0], [0, 0, 0, 255, 0]]]);
    const b = side([[[0, 0, 0, 255, 0], [255, 0, 0, 255, 0]]]);
    assert.equal(markDifferences(mask, plan, starts, {y: 2, rowCount: 1, x: 0, count: 2, a, b}),
                 1);
    const marked = markedAt(mask, plan);
    assert.deepEqual([marked[0], marked[marked.length - 1]], [[8, 16], [15, 23]]);
  });
});

describe('pixels marked as the core finds them', () => {
  test('one pixel marks its block, and the one that shows it when scaled down', () => {
    const {plan, starts, mask} = canvas(3, 2);
    markPixel(mask, plan, starts, 2, 1);
    const marked = markedAt(mask, plan);
    assert.equal(marked.length, 64);
    assert.deepEqual([marked[0], marked[63]], [[16, 8], [23, 15]]);
    const wide = canvas(3200, 1);
    markPixel(wide.mask, wide.plan, wide.starts, 3198, 0);
    assert.deepEqual(markedAt(wide.mask, wide.plan), [[1599, 0]]);
  });
});

describe('the difference picture', () => {
  test('marked pixels bright, the first file dimmed, nothing where it has no colour', () => {
    const target = new Uint8ClampedArray([0, 100, 255, 255, 200, 40, 8, 255, 0, 0, 0, 0,
                                          0, 0, 0, 0]);
    finishDifference(target, new Uint8Array([0, 1, 0, 1]));
    assert.deepEqual([...target], [64, 89, 127, 255, ...kBright, 255, 0, 0, 0, 0,
                                   ...kBright, 255]);
  });
});
