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

import {bitmapHeader, headerOf, rleCommands} from './bitmaps.mjs';
import {bitmapFile, choosePixel, clickText, desktopSession, goToOffset, inspected,
        inspectorSettled, nativeReport, pickToInspect, root, scratchDir} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const suite = (name) => path.join(root, 'tests/data/bmpsuite', name);
const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');
const hexOf = (bytes) => [...bytes].map(hex2).join(' ');
// A byte as the bytes view shows it, as xxd does: lower-case hex.
const xxd2 = (value) => value.toString(16).padStart(2, '0');
const colourOf = ([red, green, blue]) => `#${[red, green, blue].map(hex2).join('')}`;

let page;
const session = desktopSession(scratch, (started) => {
  ({page} = started);
});

const formatColour = () => page.$eval('#inspector', (panel) => panel.dataset.formatColour);
const litBytes = () => page.$$eval('#hex .selected', (spans) => spans.map((span) =>
  span.textContent));
const picture = () => page.evaluate(() => {
  const canvas = document.querySelector('#picture');
  const legend = document.querySelector('#picture-legend');
  return {state: document.body.dataset.picture, source: canvas.dataset.source ?? null,
          note: document.querySelector('#picture-note').textContent,
          legend: legend.hidden ? '' : legend.textContent.replace(/\s+/g, ' ').trim(),
          width: canvas.width, height: canvas.height};
});

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

// What the screen shows over the picture's pixels: a screenshot of the canvas's box, decoded
// in a page of its own, read at each point [x, y] of the box, in CSS pixels.
async function screenAt(points) {
  const box = await (await page.$('#picture')).boundingBox();
  const png = await page.screenshot({clip: box, type: 'png'});
  const reader = await session.browser.newPage();
  try {
    return await reader.evaluate(async (bytes, points, scale) => {
      const image = await createImageBitmap(new Blob([new Uint8Array(bytes)]));
      const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
      context.drawImage(image, 0, 0);
      return points.map(([x, y]) => Array.from(context.getImageData(
        Math.floor(x * scale), Math.floor(y * scale), 1, 1).data));
    }, [...png], points, await page.evaluate(() => devicePixelRatio));
  } finally {
    await reader.close();
  }
}

// Chromium's own decode of a file, every pixel's RGBA: what the format's picture of a file it
// decodes rightly is held to.
async function browserDecode(bytes) {
  const reader = await session.browser.newPage();
  try {
    return await reader.evaluate(async (bytes) => {
      const image = await createImageBitmap(new Blob([new Uint8Array(bytes)]));
      const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
      context.drawImage(image, 0, 0);
      return Array.from(context.getImageData(0, 0, image.width, image.height).data);
    }, [...bytes]);
  } finally {
    await reader.close();
  }
}

// A top-down 24-bit file of 16 x 12 pixels, each row one colour, cut in its eighth row: rows 0
// to 6 whole, pixels 0 to 5 of row 7, and two bytes of pixel 6.
const kCutWidth = 16;
const kCutHeight = 12;
const rowColour = (y) => [20 * y, 255 - 20 * y, 0x80];
function cutTopDown() {
  const header = bitmapHeader({width: kCutWidth, height: -kCutHeight, bits: 24,
                               fileSize: 54 + 48 * kCutHeight});
  const rows = Array.from({length: kCutHeight}, (_, y) => {
    const [red, green, blue] = rowColour(y);
    return Buffer.from(Array.from({length: kCutWidth}, () => [blue, green, red]).flat());
  });
  const whole = Buffer.concat([header, ...rows]);
  fs.writeFileSync(file('cut.bmp'), whole.subarray(0, 54 + 48 * 7 + 20));
  return file('cut.bmp');
}

const isHatch = ([red, green, blue]) =>
  (red > 240 && green < 15 && blue > 240) || (red < 15 && green < 15 && blue < 15);

describe('a picture the browser cannot decode', () => {
  test('is drawn by Quillfen, its missing part hatched below the rows the file holds',
       async () => {
    await pickToInspect(page, cutTopDown());
    assert.deepEqual(await picture(), {
      state: 'shown', source: 'quillfen',
      note: '16 × 12 pixels, as the format defines it, drawn by Quillfen\'s decoder: this ' +
            'browser cannot decode the file.',
      legend: 'Hatched: pixels the format leaves undefined, 74 pixels missing: their bytes lie ' +
              'past the end of the file.',
      width: 8 * kCutWidth, height: 8 * kCutHeight});
    // The canvas: the file's colours, opaque, where it holds them; transparent from pixel 6 of
    // row 7 on.
    const points = [[0, 0], [15, 0], [7, 3], [15, 6], [5, 7], [6, 7], [15, 7], [0, 8], [9, 11]];
    const held = await canvasAt(kCutWidth, kCutHeight, points);
    points.forEach(([x, y], i) => {
      const expected = y < 7 || (y === 7 && x < 6) ? [...rowColour(y), 255] : [0, 0, 0, 0];
      assert.deepEqual(held[i], expected, `canvas at ${x}, ${y}`);
    });
    // The screen: the rows above the cut in their colours; below it the hatch, magenta and
    // black, across every pixel of a row.
    const box = await (await page.$('#picture')).boundingBox();
    const scale = Math.min(box.width / kCutWidth, box.height / kCutHeight);
    const left = (box.width - kCutWidth * scale) / 2;
    const top = (box.height - kCutHeight * scale) / 2;
    const centre = (x, y) => [left + (x + 0.5) * scale, top + (y + 0.5) * scale];
    const above = await screenAt([centre(3, 2), centre(12, 6)]);
    assert.deepEqual(above.map((rgba) => rgba.slice(0, 3)), [rowColour(2), rowColour(6)]);
    const across = Array.from({length: Math.floor(kCutWidth * scale)}, (_, i) =>
      [left + i, top + 10.5 * scale]);
    const hatch = await screenAt(across);
    assert.ok(hatch.every(isHatch), `not the hatch: ${JSON.stringify(hatch.find((rgba) =>
      !isHatch(rgba)))}`);
    assert.ok(hatch.some(([red]) => red > 240) && hatch.some(([red]) => red < 15));

    // The inspector: the format's colour where the file holds it, none where it does not.
    await choosePixel(page, 3, 2);
    assert.equal(await formatColour(), colourOf(rowColour(2)));
    assert.match((await inspected(page)).facts,
                 /\nBrowser colour\nnone: this browser cannot decode the file\n/);
    await choosePixel(page, 6, 7);
    assert.equal(await formatColour(), '');
    assert.match((await inspected(page)).facts,
                 /^Format colour\nnone: its bytes, from offset 408, pass the end of the file \(410 bytes\)$/m);
  });

  test('the choice of whose picture is drawn shows Quillfen\'s, the browser\'s disabled, and ' +
       'the next file is drawn as asked', async () => {
    const choice = () => page.$$eval('#picture-source input', (inputs) => Object.fromEntries(
      inputs.map((input) => [input.value, {checked: input.checked,
                                           disabled: input.matches(':disabled')}])));
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal((await picture()).source, 'browser');
    assert.deepEqual(await choice(), {browser: {checked: true, disabled: false},
                                      quillfen: {checked: false, disabled: false}});
    await pickToInspect(page, cutTopDown());
    assert.deepEqual([(await picture()).state, (await picture()).source], ['shown', 'quillfen']);
    assert.deepEqual(await choice(), {browser: {checked: false, disabled: true},
                                      quillfen: {checked: true, disabled: false}});
    // What was asked for holds: the browser's picture, where it can draw one.
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal((await picture()).source, 'browser');
    assert.deepEqual(await choice(), {browser: {checked: true, disabled: false},
                                      quillfen: {checked: false, disabled: false}});
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
    assert.equal(top[3], 0);
    assert.equal(bottom[3], 255);
    const longest = Math.max(0, ...await page.evaluate(() => window.longTasks));
    assert.ok(longest < 200, `a task of ${longest} ms on the page's thread`);
  });
});

describe('the format\'s picture, asked for', () => {
  test('of a 2-bit file and of RLE in a top-down file: every pixel as Chromium decodes them',
       async () => {
    try {
      for (const name of ['q/pal2.bmp', 'b/rletopdown.bmp']) {
        const bytes = fs.readFileSync(suite(name));
        await pickToInspect(page, suite(name));
        assert.equal((await picture()).source, 'browser', name);
        await drawAs('quillfen');
        // The choice holds for the files picked after it.
        await pickToInspect(page, suite(name));
        await page.waitForFunction(() => document.body.dataset.picture === 'shown');
        const shown = await picture();
        assert.deepEqual([shown.state, shown.source, shown.legend], ['shown', 'quillfen', ''],
                         name);
        assert.equal(shown.note, '127 × 64 pixels, as the format defines it, drawn by ' +
                     'Quillfen\'s decoder.');
        const points = [];
        for (let y = 0; y < 64; y += 1) for (let x = 0; x < 127; x += 1) points.push([x, y]);
        const drawn = await canvasAt(127, 64, points);
        const decoded = await browserDecode(bytes);
        points.forEach(([x, y], i) => {
          const expected = decoded.slice(4 * (y * 127 + x), 4 * (y * 127 + x) + 4);
          assert.deepEqual(drawn[i], expected, `${name} at ${x}, ${y}`);
        });
        await drawAs('browser');
      }
    } finally {
      await drawAs('browser');
    }
  });
});

describe('the format\'s colour beside the browser\'s', () => {
  test('says when they differ: alpha in a 32-bit BI_RGB file, which the format ignores',
       async () => {
    // A V5 header whose alpha mask Chromium honours for BI_RGB; the format reads BI_RGB's
    // fourth byte as nothing. Rows bottom-up: the top row's alphas are FF and 40.
    const header = bitmapHeader({width: 2, height: 2, bits: 32, infoSize: 124,
                                 fileSize: 138 + 16, imageSize: 16,
                                 masks: [0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000]});
    const pixels = Buffer.from([0x10, 0x20, 0xF0, 0x00, 0x30, 0xC0, 0x40, 0x80,
                                0xE0, 0x50, 0x60, 0xFF, 0x70, 0x80, 0x90, 0x40]);
    fs.writeFileSync(file('alpha.bmp'), Buffer.concat([header, pixels]));
    await pickToInspect(page, file('alpha.bmp'));
    assert.equal((await picture()).source, 'browser');
    await choosePixel(page, 1, 0);
    let shown = await inspected(page);
    assert.equal(await formatColour(), '#908070');
    assert.match(shown.facts, /^Format colour\n#908070\nBrowser colour\n#8F8070, alpha 64\nColours differ\nthis browser shows #8F8070, alpha 64 where the format defines #908070$/m);
    // Where the file's alpha byte is FF, the two agree, and nothing says they differ.
    await choosePixel(page, 0, 0);
    shown = await inspected(page);
    assert.equal(await formatColour(), '#6050E0');
    assert.match(shown.facts, /^Format colour\n#6050E0\nBrowser colour\n#6050E0\nStored at/m);
    assert.doesNotMatch(shown.facts, /Colours differ/);
    // The swatches show both colours.
    const swatches = await page.$$eval('#facts .swatch', (all) => all.slice(0, 2).map((swatch) =>
      getComputedStyle(swatch).backgroundColor));
    assert.deepEqual(swatches, ['rgb(96, 80, 224)', 'rgb(96, 80, 224)']);
  });
});

describe('the format\'s colour of a pixel', () => {
  test('is given however the pixel is selected: picture, its keys, the report\'s items and ' +
       'keys, the x and y fields, an offset', async () => {
    // 24 bits, 127 × 64, rows bottom-up of 384 bytes from 54: blue, green, red.
    const bmp = suite('rgb24.bmp');
    const bytes = fs.readFileSync(bmp);
    const offsetOf = (x, y) => 54 + (63 - y) * 384 + 3 * x;
    const colourAt = (x, y) => colourOf([...bytes.subarray(offsetOf(x, y), offsetOf(x, y) + 3)]
                                          .reverse());
    const selected = async (x, y, how) => {
      const shown = await inspected(page);
      assert.deepEqual([shown.x, shown.y], [String(x), String(y)], how);
      assert.equal(await formatColour(), colourAt(x, y), how);
      assert.match(shown.facts, new RegExp(`^Format colour\n${colourAt(x, y)}$`, 'm'), how);
      return shown;
    };
    await pickToInspect(page, bmp);
    await page.waitForFunction(() => document.body.dataset.picture === 'shown');
    const box = await (await page.$('#picture')).boundingBox();
    const scale = Math.min(box.width / 127, box.height / 64);
    await page.mouse.click(box.x + (box.width - 127 * scale) / 2 + 100.5 * scale,
                           box.y + (box.height - 64 * scale) / 2 + 15.5 * scale);
    await inspectorSettled(page);
    await selected(100, 15, 'a click on the picture');
    await page.focus('#picture-frame');
    await page.keyboard.press('ArrowLeft');
    await inspectorSettled(page);
    await selected(99, 15, 'ArrowLeft on the picture');
    await page.focus('#report');
    await page.keyboard.press('ArrowRight');
    await inspectorSettled(page);
    await selected(100, 15, 'ArrowRight in the report');
    await page.keyboard.press('End');
    await inspectorSettled(page);
    const {marks: [mark]} = await selected(126, 15, 'End in the report');
    // Three items of 14 characters to the left of the row's last.
    await clickText(page, mark.line, mark.column - 3 * 14 + 2);
    await selected(123, 15, 'a click on a report item');
    await choosePixel(page, 5, 7);
    await selected(5, 7, 'the x and y fields');
    await goToOffset(page, String(offsetOf(9, 20) + 1));
    await selected(9, 20, 'an offset inside the pixel');
  });
});

describe('RLE pixels', () => {
  // Corners, pixels spread over the picture, and the first pixels some command skips.
  function* pixelsOf(pixels) {
    yield* [[0, 0], [126, 0], [0, 63], [126, 63], [60, 30], [17, 44], [99, 5]];
    let skipped = 0;
    for (const [key, {skipped: isSkipped}] of pixels) {
      if (isSkipped && skipped < 3) {
        skipped += 1;
        yield key.split(',').map(Number);
      }
    }
  }

  for (const name of ['pal8rle.bmp', 'q/pal4rletrns.bmp']) {
    test(`${name}: each pixel names the command that set or skipped it, its bytes marked`,
         async () => {
      const bytes = fs.readFileSync(suite(name));
      const header = headerOf(bytes);
      header.bits = bytes.readUInt16LE(28);
      const {pixels} = rleCommands(bytes, header);
      const native = nativeReport(suite(name)).text.split('\n');
      await pickToInspect(page, suite(name));
      let skips = 0;
      for (const [x, y] of pixelsOf(pixels)) {
        const where = `${name} ${x}, ${y}`;
        const {command, value, shift, skipped} = pixels.get(`${x},${y}`);
        await choosePixel(page, x, y);
        const shown = await inspected(page);
        const stored = bytes.subarray(command.offset, command.offset + command.size);
        assert.deepEqual([shown.x, shown.y, shown.offset, shown.bytes],
                         [String(x), String(y), String(command.offset), hexOf(stored)], where);
        const at = `the ${command.kind} at ${command.offset.toLocaleString('en')} ` +
                   `(0x${command.offset.toString(16).toUpperCase()}), ${command.size} bytes: ` +
                   `${hexOf(stored)}`;
        assert.ok(shown.facts.includes(`\n${skipped ? 'Skipped by' : 'Set by'}\n${at}`),
                  `${where}: ${at} in\n${shown.facts}`);
        // The bytes view lights the command's bytes it shows, and no others.
        const first = await page.$eval('#hex', (hex) => parseInt(hex.textContent, 16));
        const lit = [...stored].filter((_, i) => command.offset + i < first + 7 * 16).map(xxd2);
        assert.deepEqual(await litBytes(), lit, where);
        // The report's items for the command's first byte, where the native report has them.
        for (const mark of shown.marks) {
          assert.equal(native[mark.line - 1].substr(mark.column, mark.text.length), mark.text,
                       `${where}: the mark on line ${mark.line}`);
        }
        if (skipped) {
          skips += 1;
          assert.equal(await formatColour(), '', where);
          assert.match(shown.facts, /^Format colour\nnone: no command sets it: the /m, where);
          continue;
        }
        // Its value: a byte, or one half of one, naming a table entry, whose colour it is.
        const entry = 54 + 4 * (bytes[value] >> shift & (1 << header.bits) - 1);
        assert.equal(await formatColour(), colourOf([bytes[entry + 2], bytes[entry + 1],
                                                     bytes[entry]]), where);
        assert.ok(shown.facts.includes(`\nValue in it\n${value.toLocaleString('en')} `),
                  `${where}: its value at ${value} in\n${shown.facts}`);
      }
      assert.equal(skips, name === 'pal8rle.bmp' ? 0 : 3);
    });
  }
});

describe('the map strip', () => {
  // The strip's regions as drawn: their bytes, names, selection, and boxes.
  const strip = () => page.$$eval('#map-strip [role="option"]', (options) => options.map(
    (option) => {
      const box = option.getBoundingClientRect();
      return {from: Number(option.dataset.from), to: Number(option.dataset.to),
              label: option.ariaLabel, selected: option.ariaSelected === 'true',
              left: box.left, width: box.width,
              colour: getComputedStyle(option).backgroundColor};
    }));
  // The bytes the bytes view shows: its first offset and how many.
  const hexRange = () => page.$eval('#hex', (hex) => {
    const lines = hex.textContent.trim().split('\n');
    const count = lines.reduce((sum, line) => sum + line.slice(10, 49).replace(/ /g, '')
      .length / 2, 0);
    return {first: parseInt(lines[0], 16), count};
  });

  test('covers the bytes view\'s bytes, each region as wide as its share, coloured by kind',
       async () => {
    await pickToInspect(page, suite('g/pal8v5.bmp'));
    await goToOffset(page, '70');
    assert.match((await inspected(page)).facts, /^In the file's map\nbV5CSType: a field of the info header\nRegion\n70 \(0x46\), 4 bytes Copy offset\nValue\nsRGB: LCS_sRGB$/m);
    await goToOffset(page, '123');
    assert.match((await inspected(page)).facts, /^In the file's map\nbV5Intent: a field of the info header\nRegion\n122 \(0x7A\), 4 bytes Copy offset\nValue\n4: LCS_GM_IMAGES$/m);
    const {first, count} = await hexRange();
    assert.deepEqual([first, count], [64, 112]);
    const regions = await strip();
    assert.equal(regions[0].from, first);
    assert.equal(regions.at(-1).to, first + count);
    for (let i = 1; i < regions.length; i += 1) assert.equal(regions[i].from, regions[i - 1].to);
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
    // Header fields in one colour, table entries in another; the legend names both.
    const field = regions.find(({label}) => label.startsWith('bV5Intent:'));
    const entry = regions.find(({label}) => label.startsWith('entry 0 ('));
    assert.equal(field.label, 'bV5Intent: a field of the info header, bytes 122 to 125 (4 bytes)');
    assert.equal(field.selected, true);
    assert.equal(regions.filter(({selected}) => selected).length, 1);
    assert.notEqual(field.colour, entry.colour);
    assert.deepEqual(await page.$$eval('#map-legend li', (items) => items.map((item) =>
      item.textContent)), ['header fields', 'colour table']);
  });

  test('a click selects a region; the keys go from region to region and Enter selects',
       async () => {
    await pickToInspect(page, suite('g/pal8v5.bmp'));
    await goToOffset(page, '70');
    await (await page.$('#map-strip [aria-label^="bV5RedMask:"]')).click();
    await inspectorSettled(page);
    let shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes], ['54', '00 00 00 00']);
    assert.match(shown.facts, /^In the file's map\nbV5RedMask: a field of the info header\nRegion\n54 \(0x36\), 4 bytes Copy offset\nValue\n0x00000000: no bits\nStored bytes\n00 00 00 00 Copy bytes$/m);
    assert.deepEqual(await litBytes(), ['00', '00', '00', '00']);
    assert.equal((await strip()).find(({selected}) => selected).label.split(':')[0],
                 'bV5RedMask');
    // From the keyboard: on from the selected region, two to the right, and Enter.
    await page.focus('#map-strip');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('Enter');
    await inspectorSettled(page);
    shown = await inspected(page);
    assert.equal(shown.offset, '62');
    assert.match(shown.facts, /^In the file's map\nbV5BlueMask: /m);
    assert.equal(shown.focused, 'map-strip');
    assert.equal(await page.$eval('#map-strip', (element) =>
      document.getElementById(element.getAttribute('aria-activedescendant')).ariaLabel
        .split(':')[0]), 'bV5BlueMask');
  });

  test('masks, OS/2 fields and RLE commands are named; an offset in a command selects it',
       async () => {
    await pickToInspect(page, suite('g/rgb16-565.bmp'));
    await goToOffset(page, '56');
    assert.match((await inspected(page)).facts, /^In the file's map\nbiRedMask: a colour mask after the info header\nRegion\n54 \(0x36\), 4 bytes Copy offset\nValue\n0x0000F800: 5 bits from bit 11$/m);

    await pickToInspect(page, suite('g/pal8os2.bmp'));
    await goToOffset(page, '20');
    assert.match((await inspected(page)).facts, /^In the file's map\nbcHeight: a field of the info header\nRegion\n20 \(0x14\), 2 bytes Copy offset\nValue\n64/m);

    const bytes = fs.readFileSync(suite('pal8rle.bmp'));
    await pickToInspect(page, suite('pal8rle.bmp'));
    await goToOffset(page, '8660');
    const shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes], ['8656', hexOf(bytes.subarray(8656, 8682))]);
    assert.match(shown.facts, /^Offset\n8,660 \(0x21D4\) Copy offset\n/);
    assert.match(shown.facts, /^In the file's map\nabsolute run of 24: an RLE absolute run\nRegion\n8,656 \(0x21D0\), 26 bytes Copy offset\nSets pixels\nx 0 to 23, y 0 \(from 0\)$/m);
  });
});
