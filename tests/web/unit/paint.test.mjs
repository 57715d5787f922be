// The decoder's picture painted for a canvas: its size, which pixel each canvas pixel shows,
// colours laid over the checks, undefined pixels left transparent, blocks painted apart.
import assert from 'node:assert/strict';
import {describe, test} from 'node:test';

import {canvasPlan, countStates, kCanvasSide, kMaxBlock,
        paintBlock} from '../../../web/paint.js';

// A canvas of plan's size, painted with the blocks given, then read back pixel by pixel.
function painted(plan, blocks) {
  const target = new Uint8ClampedArray(plan.width * plan.height * 4).fill(7);
  for (const block of blocks) paintBlock(target, plan, block);
  return (x, y) => [...target.subarray(4 * (y * plan.width + x), 4 * (y * plan.width + x) + 4)];
}

// A block of pixels from rows of [[r, g, b, a] or null (undefined: state 1)].
function block(y, x, rows) {
  const count = rows[0].length;
  const rgba = new Uint8Array(rows.length * count * 4);
  const state = new Uint8Array(rows.length * count);
  rows.flat().forEach((pixel, i) => {
    if (pixel === null) state[i] = 1;
    else rgba.set(pixel, 4 * i);
  });
  return {y, rowCount: rows.length, x, count, rgba, state};
}

describe('the canvas', () => {
  test('a small picture gets whole blocks of canvas pixels, a large one is scaled down', () => {
    const small = canvasPlan(3, 2);
    assert.deepEqual([small.width, small.height, small.scaledDown], [3 * kMaxBlock,
                                                                     2 * kMaxBlock, false]);
    assert.deepEqual([...small.columns], [0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,
                                          2, 2, 2, 2, 2, 2, 2, 2]);
    // As many canvas pixels a side as fit in the bound, whole.
    const middle = canvasPlan(500, 7);
    assert.deepEqual([middle.width, middle.height], [1500, 21]);
    const exact = canvasPlan(kCanvasSide, 1);
    assert.deepEqual([exact.width, exact.height, exact.scaledDown], [kCanvasSide, 1, false]);
    assert.equal(exact.columns[kCanvasSide - 1], kCanvasSide - 1);
    // Past the bound: the longer side is the bound, each canvas pixel the nearest pixel.
    const large = canvasPlan(6000, 4000);
    assert.deepEqual([large.width, large.height, large.scaledDown], [1600, 1067, true]);
    assert.deepEqual([large.columns[0], large.columns[1], large.columns[1599]], [1, 5, 5998]);
    assert.equal(large.rows[1066], 3998);
    // Checks about a 64th of the longer side.
    assert.equal(large.check, 25);
    assert.equal(small.check, 1);
    // A picture one pixel high and very wide keeps a row.
    assert.equal(canvasPlan(100000, 1).height, 1);
  });
});

describe('painting', () => {
  test('opaque pixels as they are, partly transparent ones over the checks, undefined ones ' +
       'transparent', () => {
    const plan = canvasPlan(2, 1);
    const at = painted(plan, [block(0, 0, [[[0x80, 0x90, 0xFF, 255], null]])]);
    assert.deepEqual([at(0, 0), at(kMaxBlock - 1, kMaxBlock - 1), at(kMaxBlock, 0),
                      at(2 * kMaxBlock - 1, kMaxBlock - 1)],
                     [[0x80, 0x90, 0xFF, 255], [0x80, 0x90, 0xFF, 255], [0, 0, 0, 0],
                      [0, 0, 0, 0]]);

    // Half transparent: (colour x 128 + check x 127) / 255 over light and dark checks in turn.
    const checks = canvasPlan(64, 2);
    const half = Array(64).fill([0, 100, 200, 128]);
    const light = painted(checks, [block(0, 0, [half, half])]);
    assert.deepEqual([checks.check, light(0, 0), light(8, 0)],
                     [8, [127, 177, 227, 255], [102, 152, 202, 255]]);
    assert.deepEqual(light(8, 8), light(0, 0));
    assert.deepEqual(light(16, 0), light(0, 0));
    // Alpha 0 is the check itself: still a colour, never the pattern of an undefined pixel.
    const clear = painted(checks, [block(0, 0, [Array(64).fill([9, 9, 9, 0])])]);
    assert.deepEqual(clear(0, 8), [7, 7, 7, 7]);  // row 1 was not in the block
    assert.deepEqual(clear(0, 0), [0xFF, 0xFF, 0xFF, 255]);
    assert.deepEqual(clear(8, 0), [0xCC, 0xCC, 0xCC, 255]);
  });

  test('blocks of rows and pieces of rows paint their own canvas pixels and no others', () => {
    const plan = canvasPlan(3, 3);
    const red = [255, 0, 0, 255];
    const blue = [0, 0, 255, 255];
    // Row 1, pixels 1 and 2 only; then row 2 whole.
    const at = painted(plan, [block(1, 1, [[red, blue]]), block(2, 0, [[blue, red, blue]])]);
    const side = kMaxBlock;
    for (const [x, y, colour] of [[0, 0, [7, 7, 7, 7]], [side - 1, side, [7, 7, 7, 7]],
                                  [side, side, red], [2 * side - 1, 2 * side - 1, red],
                                  [2 * side, side, blue], [3 * side - 1, 2 * side - 1, blue],
                                  [0, 2 * side, blue], [side, 3 * side - 1, red],
                                  [3 * side - 1, 3 * side - 1, blue]]) {
      assert.deepEqual(at(x, y), colour, `${x}, ${y}`);
    }
  });

  test('scaled down, each canvas pixel shows its nearest pixel, undefined ones too', () => {
    // 3,200 x 2: the canvas is 1,600 x 1, each canvas pixel the second of two.
    const plan = canvasPlan(3200, 2);
    assert.deepEqual([plan.width, plan.height], [1600, 1]);
    const row = Array.from({length: 3200}, (_, x) => (x % 4 === 3 ? null : [x % 256, 0, 0, 255]));
    const at = painted(plan, [block(0, 0, [row]), block(1, 0, [Array(3200).fill(null)])]);
    assert.deepEqual(at(0, 0), [0, 0, 0, 0]);  // row 1, undefined
    const top = painted(plan, [block(1, 0, [row])]);
    assert.deepEqual([top(0, 0), top(1, 0), top(2, 0)], [[1, 0, 0, 255], [0, 0, 0, 0],
                                                         [5, 0, 0, 255]]);
  });

  test('states are counted by kind', () => {
    const counts = [0, 0, 0, 0];
    countStates(new Uint8Array([0, 1, 1, 2, 3, 3, 3, 0]), counts);
    countStates(new Uint8Array([2]), counts);
    assert.deepEqual(counts, [2, 2, 2, 3]);
  });
});
