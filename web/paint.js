// The picture as Quillfen's decoder gives it, painted into a canvas's RGBA: pure functions.

// The picture's worker is a classic script: the site writes this module into it with its
// exports as plain declarations (web/site.cmake), and the Node tests import it as it is.

// A picture is shown at most this many pixels on its longer side, scaled down when larger.
export const kCanvasSide = 1600;
// A smaller one is drawn with up to this many canvas pixels a side for each of its pixels, so
// that the checks behind its partly transparent pixels show inside each pixel.
export const kMaxBlock = 8;
// The checks behind partly transparent pixels: this many a side on the canvas's longer side,
// in these two greys, as image editors show transparency.
const kChecksAcross = 64;
const kCheckLight = 0xFF;
const kCheckDark = 0xCC;

// For each of length canvas pixels, the picture's pixel it shows, of count: the one under its
// middle.
const sourcesOf = (length, count) =>
  Int32Array.from({length}, (_, c) => Math.floor(((c + 0.5) * count) / length));

// How a picture of width x height pixels is drawn: the canvas's size, the picture's pixel
// each canvas column and row shows, the side of a check, and whether it is scaled down.
export function canvasPlan(width, height) {
  const longer = Math.max(width, height);
  const scale = longer > kCanvasSide ? kCanvasSide / longer
    : Math.min(kMaxBlock, Math.floor(kCanvasSide / longer));
  const canvasWidth = Math.max(1, Math.round(width * scale));
  const canvasHeight = Math.max(1, Math.round(height * scale));
  return {width: canvasWidth, height: canvasHeight, scaledDown: scale < 1,
          columns: sourcesOf(canvasWidth, width), rows: sourcesOf(canvasHeight, height),
          check: Math.max(1, Math.round(Math.max(canvasWidth, canvasHeight) / kChecksAcross))};
}

// The first index of sorted (ascending) whose value is at least value.
function firstAtLeast(sorted, value) {
  let low = 0;
  let high = sorted.length;
  while (low < high) {
    const middle = (low + high) >> 1;
    if (sorted[middle] < value) low = middle + 1;
    else high = middle;
  }
  return low;
}

// Paints a block of the picture's pixels, rows y to y + rowCount - 1 and in each pixels x to
// x + count - 1 (rgba 4 bytes a pixel, state one: 0 defined), onto the canvas pixels of plan
// that show them, in target (the canvas's RGBA). A defined pixel is its colour, laid over the
// checks where it is partly transparent, so that it is opaque on the canvas; a pixel the
// format does not define is left fully transparent, where the canvas's own pattern shows.
export function paintBlock(target, plan, {y, rowCount, x, count, rgba, state}) {
  const rowEnd = firstAtLeast(plan.rows, y + rowCount);
  const columnFrom = firstAtLeast(plan.columns, x);
  const columnEnd = firstAtLeast(plan.columns, x + count);
  for (let cy = firstAtLeast(plan.rows, y); cy < rowEnd; cy += 1) {
    const row = (plan.rows[cy] - y) * count - x;
    for (let cx = columnFrom; cx < columnEnd; cx += 1) {
      const from = row + plan.columns[cx];
      const to = 4 * (cy * plan.width + cx);
      if (state[from] !== 0) {
        target.fill(0, to, to + 4);
        continue;
      }
      const alpha = rgba[4 * from + 3];
      const check = ((Math.floor(cx / plan.check) + Math.floor(cy / plan.check)) & 1) === 0
        ? kCheckLight : kCheckDark;
      target[to + 3] = 255;
      for (let channel = 0; channel < 3; channel += 1) {
        target[to + channel] = Math.round((rgba[4 * from + channel] * alpha +
                                           check * (255 - alpha)) / 255);
      }
    }
  }
}

// Adds the states of a block's pixels to counts: [defined, skipped, missing, index past the
// table].
export function countStates(state, counts) {
  for (const value of state) counts[value] += 1;
}
