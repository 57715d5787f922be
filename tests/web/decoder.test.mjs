// The decoder in the page, in Chromium, read from what is rendered: pictures the browser cannot
// decode drawn by Quillfen with their undefined pixels hatched (the canvas's pixels and the
// screen's), the format's picture asked for, the format's colour beside the browser's and
// however a pixel is selected, RLE pixels traced to the commands that set or skipped them
// (worked out here from the file's own bytes), and the map strip over the bytes view, by
// pointer and by keyboard.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapHeader, hex2} from './bitmaps.mjs';
import {bitmapFile, choosePixel, clickText, desktopSession, goToOffset, inspected,
        inspectorSettled, litBytes, nativeReport, pickToInspect, root,
        scratchDir} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const suite = (name) => path.join(root, 'tests/data/bmpsuite', name);
const hexOf = (bytes) => [...bytes].map(hex2).join(' ');
const colourOf = ([red, green, blue]) => `#${[red, green, blue].map(hex2).join('')}`;

let page;
const session = desktopSession(scratch, (started) => {
  ({page} = started);
});

const formatColour = () => page.$eval('#inspector', (panel) => panel.dataset.formatColour);
const picture = () => page.evaluate(() => {
  const canvas = document.querySelector('#picture');
  const legend = document.querySelector('#picture-legend');
  return {state: document.body.dataset.picture, source: canvas.dataset.source ?? null,
          note: document.querySelector('#picture-note').textContent,
          legend: legend.hidden ? '' : legend.textContent.replace(/\s+/g, ' ').trim(),
          width: canvas.width, height: canvas.height};
});

// The choice of whose picture is drawn, each input as its value, checked and disabled.
const choice = () => page.$$eval('#picture-source input', (inputs) => inputs.map((input) =>
  `${input.value}${input.checked ? ' checked' : ''}${input.matches(':disabled') ? ' off' : ''}`));

// Chooses whose picture is drawn, by keyboard: the radio button focused, then Space.
async function drawAs(source) {
  await page.focus(`#picture-source input[value="${source}"]`);
  await page.keyboard.press('Space');
  await page.waitForFunction((wanted) => document.body.dataset.picture !== 'decoding' &&
    document.querySelector('#picture').dataset.source === wanted, {}, source);
}

// The RGBA the canvas holds at the middle of each picture pixel [x, y] of a picture of width x
// height pixels, read back from the canvas itself.
const canvasAt = (width, height, points) => page.evaluate((width, height, points) => {
  const canvas = document.querySelector('#picture');
  const copy = new OffscreenCanvas(canvas.width, canvas.height).getContext('2d');
  copy.drawImage(canvas, 0, 0);
  return points.map(([x, y]) => Array.from(copy.getImageData(
    Math.floor((x + 0.5) * canvas.width / width), Math.floor((y + 0.5) * canvas.height / height),
    1, 1).data));
}, width, height, points);

// Chromium's own decode of a PNG or BMP, in a page of its own: the RGBA at each point [x, y]
// (scaled by scale), or every pixel's when points is null.
async function decodeInChromium(bytes, points = null, scale = 1) {
  const reader = await session.browser.newPage();
  try {
    return await reader.evaluate(async (bytes, points, scale) => {
      const image = await createImageBitmap(new Blob([new Uint8Array(bytes)]));
      const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
      context.drawImage(image, 0, 0);
      if (points === null) {
        return Array.from(context.getImageData(0, 0, image.width, image.height).data);
      }
      return points.map(([x, y]) => Array.from(context.getImageData(
        Math.floor(x * scale), Math.floor(y * scale), 1, 1).data));
    }, [...bytes], points, scale);
  } finally {
    await reader.close();
  }
}

// What the screen shows over the picture at each point [x, y] of the canvas's box, in CSS px.
async function screenAt(points) {
  const png = await page.screenshot({clip: await (await page.$('#picture')).boundingBox(),
                                     type: 'png'});
  return decodeInChromium(png, points, await page.evaluate(() => devicePixelRatio));
}

// A top-down 24-bit file of 16 x 12 pixels, each row one colour, cut in its eighth row: rows 0
// to 6 whole, pixels 0 to 5 of row 7, and two bytes of pixel 6.
const rowColour = (y) => [20 * y, 255 - 20 * y, 0x80];
function cutTopDown() {
  const header = bitmapHeader({width: 16, height: -12, bits: 24, fileSize: 54 + 48 * 12});
  const rows = Array.from({length: 12}, (_, y) => Buffer.from(Array.from({length: 16}, () =>
    [...rowColour(y)].reverse()).flat()));
  fs.writeFileSync(file('cut.bmp'), Buffer.concat([header, ...rows]).subarray(0, 54 + 48 * 7 +
                                                                             20));
  return file('cut.bmp');
}

const isHatch = ([red, green, blue]) =>
  (red > 240 && green < 15 && blue > 240) || (red < 15 && green < 15 && blue < 15);

describe('a picture the browser cannot decode', () => {
  test('is drawn by Quillfen, its missing part hatched below the rows the file holds, the ' +
       'browser\'s picture not to be chosen',
       async () => {
    await pickToInspect(page, cutTopDown());
    assert.deepEqual(await picture(), {
      state: 'shown', source: 'quillfen',
      note: '16 × 12 pixels, as the format defines it, drawn by Quillfen\'s decoder: this ' +
            'browser cannot decode the file.',
      legend: 'Hatched: pixels the format leaves undefined, 74 pixels missing: their bytes lie ' +
              'past the end of the file.',
      width: 8 * 16, height: 8 * 12});
    // The canvas: the file's colours, opaque, where it holds them; transparent from pixel 6 of
    // row 7 on.
    const points = [[0, 0], [15, 0], [7, 3], [15, 6], [5, 7], [6, 7], [15, 7], [0, 8], [9, 11]];
    const held = await canvasAt(16, 12, points);
    points.forEach(([x, y], i) => assert.deepEqual(held[i], y < 7 || (y === 7 && x < 6)
      ? [...rowColour(y), 255] : [0, 0, 0, 0], `canvas at ${x}, ${y}`));
    // The screen: the rows above the cut in their colours; below it the hatch, magenta and
    // black, across every pixel of a row.
    const box = await (await page.$('#picture')).boundingBox();
    const scale = Math.min(box.width / 16, box.height / 12);
    const left = (box.width - 16 * scale) / 2;
    const top = (box.height - 12 * scale) / 2;
    const above = await screenAt([[left + 3.5 * scale, top + 2.5 * scale],
                                  [left + 12.5 * scale, top + 6.5 * scale]]);
    assert.deepEqual(above.map((rgba) => rgba.slice(0, 3)), [rowColour(2), rowColour(6)]);
    const hatch = await screenAt(Array.from({length: Math.floor(16 * scale)}, (_, i) =>
      [left + i, top + 10.5 * scale]));
    assert.ok(hatch.every(isHatch), `not the hatch: ${JSON.stringify(hatch.find((rgba) =>
      !isHatch(rgba)))}`);
    assert.ok(hatch.some(([red]) => red > 240) && hatch.some(([red]) => red < 15));
    // The inspector: the format's colour where the file holds it, none where it does not.
    for (const [x, y, colour] of [[3, 2, colourOf(rowColour(2))], [6, 7, '']]) {
      await choosePixel(page, x, y);
      assert.equal(await formatColour(), colour, `${x}, ${y}`);
    }
    // The browser's picture cannot be chosen for it; for the next file it is drawn again.
    assert.deepEqual(await choice(), ['browser off', 'quillfen checked']);
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.deepEqual([(await picture()).source, await choice()],
                     ['browser', ['browser checked', 'quillfen']]);
  });

  test('a large one is scaled to 1,600 pixels, decoded off the page\'s thread', async () => {
    // Cut after 1,500 of its 3,000 rows of 12,000 bytes.
    const whole = fs.readFileSync(bitmapFile(file('large.bmp'), 24, 4000, 3000));
    fs.writeFileSync(file('large-cut.bmp'), whole.subarray(0, 54 + 1500 * 12000));
    await page.evaluate(() => {
      window.longTasks = [];
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
      }).observe({type: 'longtask'});
    });
    await pickToInspect(page, file('large-cut.bmp'));
    const shown = await picture();
    assert.deepEqual([shown.state, shown.source, shown.width, shown.height],
                     ['shown', 'quillfen', 1600, 1200]);
    assert.match(shown.note, /^4,000 × 3,000 pixels, as the format defines it, drawn by .* \(shown scaled down\)\.$/);
    assert.equal(shown.legend, 'Hatched: pixels the format leaves undefined, 6,000,000 pixels ' +
                 'missing: their bytes lie past the end of the file.');
    // Bottom-up: the file holds the lower half.
    const [top, bottom] = await canvasAt(4000, 3000, [[2000, 10], [2000, 2990]]);
    assert.deepEqual([top[3], bottom[3]], [0, 255]);
    const longest = Math.max(0, ...await page.evaluate(() => window.longTasks));
    assert.ok(longest < 200, `a task of ${longest} ms on the page's thread`);
  });
});

describe('the format\'s picture and colours', () => {
  // The core's pixels are checked against Pillow's; here, that the page draws them in place.
  test('asked for, of RLE in a top-down file: every pixel as Chromium decodes them, and the ' +
       'choice holds for the next file', async () => {
    const name = suite('b/rletopdown.bmp');
    try {
      await pickToInspect(page, name);
      assert.equal((await picture()).source, 'browser');
      await drawAs('quillfen');
      await pickToInspect(page, name);
      await page.waitForFunction(() => document.body.dataset.picture === 'shown');
      const shown = await picture();
      assert.deepEqual([shown.source, shown.legend, shown.note], ['quillfen', '', '127 × 64 ' +
        'pixels, as the format defines it, drawn by Quillfen\'s decoder.']);
      const points = Array.from({length: 127 * 64}, (_, i) => [i % 127, Math.floor(i / 127)]);
      const drawn = await canvasAt(127, 64, points);
      const decoded = await decodeInChromium(fs.readFileSync(name));
      points.forEach(([x, y], i) => assert.deepEqual(drawn[i], decoded.slice(4 * i, 4 * i + 4),
                                                    `at ${x}, ${y}`));
    } finally {
      await drawAs('browser');
    }
  });

  test('beside the browser\'s, said to differ where Chromium honours alpha in a 32-bit BI_RGB ' +
       'file, which the format ignores', async () => {
    // A V5 header whose alpha mask Chromium honours for BI_RGB; the format reads BI_RGB's
    // fourth byte as nothing. Rows bottom-up: the top row's alphas are FF and 40.
    const header = bitmapHeader({width: 2, height: 2, bits: 32, infoSize: 124,
                                 fileSize: 138 + 16, imageSize: 16,
                                 masks: [0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000]});
    fs.writeFileSync(file('alpha.bmp'), Buffer.concat([header, Buffer.from([
      0x10, 0x20, 0xF0, 0x00, 0x30, 0xC0, 0x40, 0x80, 0xE0, 0x50, 0x60, 0xFF, 0x70, 0x80, 0x90,
      0x40])]));
    await pickToInspect(page, file('alpha.bmp'));
    assert.equal((await picture()).source, 'browser');
    // Colours alike say no more: the Node tests' case.
    await choosePixel(page, 1, 0);
    assert.equal(await formatColour(), '#908070');
    assert.match((await inspected(page)).facts, /^Format colour\n#908070\nBrowser colour\n#8F8070, alpha 64\nColours differ\n/m);
    assert.deepEqual(await page.$$eval('#facts .swatch', (all) => all.slice(0, 2).map((swatch) =>
      getComputedStyle(swatch).backgroundColor)), ['rgb(144, 128, 112)', 'rgb(143, 128, 112)']);
  });

  // A click on the picture asks as the x and y fields do.
  test('given however the pixel is selected: the x and y fields, a report item, an offset',
       async () => {
    // 24 bits, 127 × 64, rows bottom-up of 384 bytes from 54: blue, green, red.
    const bytes = fs.readFileSync(suite('rgb24.bmp'));
    const offsetOf = (x, y) => 54 + (63 - y) * 384 + 3 * x;
    await pickToInspect(page, suite('rgb24.bmp'));
    let mark;
    for (const [how, select, x, y] of [
      ['the x and y fields', () => choosePixel(page, 100, 15), 100, 15],
      // Three items of 14 characters to the left of the pixel's.
      ['a click on a report item', () => clickText(page, mark.line, mark.column - 3 * 14 + 2),
       97, 15],
      ['an offset inside the pixel', () => goToOffset(page, String(offsetOf(9, 20) + 1)), 9, 20],
    ]) {
      await select();
      const shown = await inspected(page);
      const colour = colourOf([...bytes.subarray(offsetOf(x, y), offsetOf(x, y) + 3)].reverse());
      assert.deepEqual([shown.x, shown.y, await formatColour()], [String(x), String(y), colour],
                       how);
      assert.match(shown.facts, new RegExp(`^Format colour\n${colour}$`, 'm'), how);
      [mark] = shown.marks;
    }
  });
});

test('an RLE pixel names the command that set or skipped it, its bytes lit and marked', async () => {
  const bytes = fs.readFileSync(suite('q/pal4rletrns.bmp'));
  const native = nativeReport(suite('q/pal4rletrns.bmp')).text.split('\n');
  await pickToInspect(page, suite('q/pal4rletrns.bmp'));
  // A pixel a run sets and one a delta skips; the sources of others are the core's, checked there.
  for (const [x, y, how, kind, offset, size, value, colour] of [
    [0, 0, 'Set by', 'absolute run', 4260, 12, '4,262', '#FF0000'],
    [27, 42, 'Skipped by', 'delta', 1304, 4, null, '']]) {
    await choosePixel(page, x, y);
    const shown = await inspected(page);
    const stored = bytes.subarray(offset, offset + size);
    assert.deepEqual([shown.x, shown.y, shown.offset, shown.bytes, await formatColour()],
                     [String(x), String(y), String(offset), hexOf(stored), colour], `${x}, ${y}`);
    const at = `\n${how}\nthe ${kind} at ${offset.toLocaleString('en')} (0x` +
               `${offset.toString(16).toUpperCase()}), ${size} bytes: ${hexOf(stored)}`;
    assert.ok(shown.facts.includes(at) && (value === null ||
              shown.facts.includes(`\nValue in it\n${value} `)), `${at} in\n${shown.facts}`);
    // The bytes view lights the command's bytes it shows (7 rows of 16), and no others.
    const first = await page.$eval('#hex', (hex) => parseInt(hex.textContent, 16));
    assert.deepEqual(await litBytes(page), [...stored]
      .filter((_, i) => offset + i < first + 7 * 16).map((byte) => hex2(byte).toLowerCase()),
    `${x}, ${y}`);
    for (const mark of shown.marks) {
      assert.equal(native[mark.line - 1].substr(mark.column, mark.text.length), mark.text,
                   `${x}, ${y}: the mark on line ${mark.line}`);
    }
  }
});

describe('the map strip', () => {
  // The strip's regions as drawn: their bytes, names, selection, and boxes.
  const strip = () => page.$$eval('#map-strip [role="option"]', (options) => options.map(
    (option) => {
      const box = option.getBoundingClientRect();
      return {from: Number(option.dataset.from), to: Number(option.dataset.to),
              label: option.ariaLabel, selected: option.ariaSelected === 'true',
              width: box.width, colour: getComputedStyle(option).backgroundColor};
    }));

  test('covers the bytes view\'s bytes, each region as wide as its share, coloured by kind; ' +
       'a click or the keys and Enter select a region; an offset in an RLE command, the command',
       async () => {
    await pickToInspect(page, suite('g/pal8v5.bmp'));
    await goToOffset(page, '123');
    assert.match((await inspected(page)).facts, /^In the file's map\nbV5Intent: a field of the info header\nRegion\n122 \(0x7A\), 4 bytes/m);
    // The bytes view's first offset and how many bytes it shows.
    const [first, count] = await page.$eval('#hex', (hex) => {
      const lines = hex.textContent.trim().split('\n');
      return [parseInt(lines[0], 16), lines.reduce((sum, line) =>
        sum + line.slice(10, 49).replace(/ /g, '').length / 2, 0)];
    });
    assert.deepEqual([first, count], [64, 112]);
    // The segments' bounds are the module's, checked in Node; here, each drawn at its share.
    const regions = await strip();
    assert.deepEqual([regions[0].from, regions.at(-1).to], [first, first + count]);
    const box = await page.$eval('#map-strip', (element) => {
      const style = getComputedStyle(element);
      return {inner: element.clientWidth - parseFloat(style.paddingLeft) -
                     parseFloat(style.paddingRight), gap: parseFloat(style.columnGap)};
    });
    const perByte = (box.inner - box.gap * (regions.length - 1)) / count;
    for (const region of regions) {
      assert.ok(Math.abs(region.width - (region.to - region.from) * perByte) < 1.5,
                `${region.label}: ${region.width} px for ${region.to - region.from} bytes`);
    }
    // The region selected alone; header fields in one colour, table entries in another.
    const field = regions.find(({label}) => label.startsWith('bV5Intent:'));
    const entry = regions.find(({label}) => label.startsWith('entry 0 ('));
    assert.deepEqual(regions.filter(({selected}) => selected), [field]);
    assert.notEqual(field.colour, entry.colour);
    assert.deepEqual(await page.$$eval('#map-legend li', (items) => items.map((item) =>
      item.textContent)), ['header fields', 'colour table']);
    // A click selects a region; the keys go from region to region and Enter selects.
    await goToOffset(page, '70');
    await (await page.$('#map-strip [aria-label^="bV5RedMask:"]')).click();
    await inspectorSettled(page);
    let shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes, await litBytes(page)],
                     ['54', '00 00 00 00', ['00', '00', '00', '00']]);
    assert.match(shown.facts, /^In the file's map\nbV5RedMask: a field of the info header\n/m);
    assert.equal((await strip()).find(({selected}) => selected).label.split(':')[0],
                 'bV5RedMask');
    // From the keyboard: on from the selected region, two to the right, and Enter.
    await page.focus('#map-strip');
    for (const key of ['ArrowRight', 'ArrowRight', 'Enter']) await page.keyboard.press(key);
    await inspectorSettled(page);
    shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.focused], ['62', 'map-strip']);
    assert.match(shown.facts, /^In the file's map\nbV5BlueMask: /m);
    assert.equal(await page.$eval('#map-strip', (element) =>
      document.getElementById(element.getAttribute('aria-activedescendant')).ariaLabel
        .split(':')[0]), 'bV5BlueMask');
    // An absolute run of 24 from 8,656, chosen by a byte inside it.
    const bytes = fs.readFileSync(suite('pal8rle.bmp'));
    await pickToInspect(page, suite('pal8rle.bmp'));
    await goToOffset(page, '8660');
    shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes], ['8656', hexOf(bytes.subarray(8656, 8682))]);
    assert.match(shown.facts, /^In the file's map\nabsolute run of 24: an RLE absolute run\n/m);
  });
});
