// The difference picture of two files' pixels, painted for a canvas: pure functions.

// The worker paints it from the rows the core's decoders give for both files: the first
// file's picture dimmed, and bright wherever a pixel differs in colour or in state, as the
// core compares them. Like paint.js, the site writes this module into the worker's script with
// its exports as plain declarations, and the Node tests import it as it is.

// A differing pixel's colour, and how the first file's picture is dimmed under it: each
// channel to kDimBase + channel / kDimDivisor, so that no dimmed colour comes near it.
export const kBright = [255, 255, 0];
const kDimBase = 64;
const kDimDivisor = 4;

// For each of count picture pixels along one side, the canvas pixels (of sources.length, each
// showing the picture pixel sources[c], in order) that mark it when it differs: from
// starts[x] up to starts[x + 1]. A pixel no canvas pixel shows, in a picture scaled down, is
// marked on the one that shows the next pixel, so that no difference is lost.
export function markStarts(sources, count) {
  const starts = new Int32Array(count + 1);
  let c = 0;
  for (let x = 0; x <= count; x += 1) {
    while (c < sources.length && sources[c] < x) c += 1;
    starts[x] = c;
  }
  return starts;
}

// The canvas pixels [from, to) that mark picture pixel x: at least one.
function marked(starts, x, length) {
  const from = Math.min(starts[x], length - 1);
  return [from, Math.max(starts[x + 1], from + 1)];
}

// Marks in mask (a byte a canvas pixel of plan) picture pixel x, y as differing. starts:
// {columns, rows}, markStarts of plan's sides. Whatever finds the pixels that differ (the rows
// compared here, or a mask of them the core gives) marks them through this.
export function markPixel(mask, plan, {columns, rows}, x, y) {
  const [top, bottom] = marked(rows, y, plan.height);
  const [left, right] = marked(columns, x, plan.width);
  for (let cy = top; cy < bottom; cy += 1) {
    mask.fill(1, cy * plan.width + left, cy * plan.width + right);
  }
}

// Marks in mask the pixels of a block that differ between the two files: rows y to y +
// rowCount - 1 and in each pixels x to x + count - 1, a and b each {rgba, state} as the
// decoder gives them. Returns how many of the block's pixels differ: their sum over the
// box of differences is the core's count when the picture is exact.
export function markDifferences(mask, plan, starts, {y, rowCount, x, count, a, b}) {
  let differ = 0;
  for (let r = 0; r < rowCount; r += 1) {
    for (let i = 0; i < count; i += 1) {
      const p = r * count + i;
      const q = 4 * p;
      if (a.state[p] === b.state[p] && a.rgba[q] === b.rgba[q] &&
          a.rgba[q + 1] === b.rgba[q + 1] && a.rgba[q + 2] === b.rgba[q + 2] &&
          a.rgba[q + 3] === b.rgba[q + 3]) {
        continue;
      }
      differ += 1;
      markPixel(mask, plan, starts, x + i, y + r);
    }
  }
  return differ;
}

// Turns target, the first file's picture as paint.js paints it, into the difference picture:
// each canvas pixel mask marks bright, every other one dimmed (left transparent where the
// picture is).
export function finishDifference(target, mask) {
  for (let p = 0; p < mask.length; p += 1) {
    const at = 4 * p;
    if (mask[p] !== 0) {
      target.set(kBright, at);
      target[at + 3] = 255;
    } else if (target[at + 3] !== 0) {
      for (let channel = 0; channel < 3; channel += 1) {
        target[at + channel] = kDimBase + Math.floor(target[at + channel] / kDimDivisor);
      }
    }
  }
}
