// The inspector as a person uses it, in Chromium: every test file's report, and pixels picked
// by their x and y and checked against the file's bytes at the format's layout, which this test
// works out from the header itself, and against the native report's items and lines; the
// picture pointed at and clicked; header lines and a dump item clicked; the top-left pixel of a
// 6000 x 4000 file, at the end of its report; and files walked oddly or not decodable.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapHeader, checkPixel, headerOf} from './bitmaps.mjs';
import {choosePixel as choosePixelIn, clickText as clickTextIn, inspected as inspectedIn,
        inspectorSettled, longestTask, nativeReport, peakDuring, pick, pickToInspect, root,
        scratchDir, desktopSession, testFiles, trueColorFile, watchLongTasks} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const sample = path.join(root, 'samples/sample.bmp');
const hex = (bytes) => [...bytes].map((byte) => byte.toString(16).toUpperCase()
                                                    .padStart(2, '0')).join(' ');

let page;
desktopSession(scratch, (started) => {
  ({page} = started);
});

const choosePixel = (x, y) => choosePixelIn(page, x, y);
const clickText = (line, column) => clickTextIn(page, line, column);
const inspected = () => inspectedIn(page);

// The picture's box, and the centre of pixel x, y of a width x height picture drawn in the
// middle of it, keeping its proportions.
async function pixelCentre(x, y, width, height) {
  const box = await (await page.$('#picture')).boundingBox();
  const scale = Math.min(box.width / width, box.height / height);
  return {box, x: box.x + (box.width - width * scale) / 2 + (x + 0.5) * scale,
          y: box.y + (box.height - height * scale) / 2 + (y + 0.5) * scale};
}

// The picture's outline of the pixel chosen is centred on it.
async function checkOutline(x, y, width, height) {
  const centre = await pixelCentre(x, y, width, height);
  const mark = await (await page.$('#picture-mark')).boundingBox();
  assert.ok(Math.abs(mark.x + mark.width / 2 - centre.x) < 2 &&
            Math.abs(mark.y + mark.height / 2 - centre.y) < 2, JSON.stringify(mark));
  return centre.box;
}

test('every test file reports as the native tool does, with the same outcome; its pixels\' ' +
     'bytes at the format\'s layout, their items in the report', async () => {
  let checked = 0;
  const files = testFiles();
  assert.ok(files.length >= 9);
  for (const bmp of files) {
    const bytes = fs.readFileSync(bmp);
    const header = headerOf(bytes);
    const {text: expected, status} = nativeReport(bmp);
    assert.equal(await pick(page, bmp), status === 0 ? 'done' : 'refused', bmp);
    const shown = await inspected();
    assert.deepEqual([shown.reportText, shown.note], [expected, ''], bmp);
    const {width} = header;
    const height = Math.abs(header.height);
    if (status !== 0 || !header.fixed || width <= 0 || height === 0) continue;
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
    // The corners, and three pseudo-random pixels, the same from run to run.
    const pixels = [[0, 0], [width - 1, 0], [0, height - 1], [width - 1, height - 1]];
    for (let i = 0, seed = width * 7919 + height; i < 3; i += 1) {
      seed = (seed * 1103515245 + 12345) % 2 ** 31;
      pixels.push([seed % width, (seed >> 8) % height]);
    }
    for (const [x, y] of pixels) {
      await choosePixel(x, y);
      const shown = await inspected();
      checkPixel(shown, bytes, header, expected, x, y, `${path.basename(bmp)} ${x}, ${y}`);
      assert.ok(expected.startsWith(shown.reportText) || /^Shown: lines/.test(shown.note));
      checked += 1;
    }
  }
  assert.ok(checked >= 30, `${checked} pixels checked`);
});

test('the picture points at its pixels, a click picks one, and a dump item clicked marks its ' +
     'pixel there', async () => {
  const bmp = trueColorFile(file('points.bmp'), 40, 30);
  const bytes = fs.readFileSync(bmp);
  const native = nativeReport(bmp).text;
  await pickToInspect(page, bmp);
  await page.waitForFunction(() => document.body.dataset.picture === 'shown');
  const point = await pixelCentre(12, 7, 40, 30);
  await page.mouse.move(point.x, point.y);
  await page.waitForFunction(() => document.querySelector('#inspector').dataset.x === '12');
  const pointed = await inspected();
  assert.deepEqual([pointed.y, pointed.marks], ['7', []]);  // pointing shows; a click picks
  await page.mouse.click(point.x, point.y);
  await inspectorSettled(page);
  checkPixel(await inspected(), bytes, headerOf(bytes), native, 12, 7, 'clicked');
  // The report scrolled to the item; the picture stays in view beside it, its pixel outlined.
  const moved = await checkOutline(12, 7, 40, 30);
  assert.ok(moved.y >= 0 && moved.y + moved.height <= 900, JSON.stringify(moved));
  // The fourth item of the dump's second row: pixel 3 of the second row stored, bottom-up.
  const line = native.split('\n').findIndex((text) => text.startsWith('[')) + 2;
  await clickText(line, 1 + 3 * 14 + 5);
  const shown = await inspected();
  checkPixel(shown, bytes, headerOf(bytes), native, 3, 28, 'the item clicked', {item: true});
  assert.deepEqual(shown.marks.map((mark) => mark.line), [line]);
  await checkOutline(3, 28, 40, 30);
});

test('header fields and a table row, clicked, show their offset and stored bytes', async () => {
  const bytes = fs.readFileSync(sample);
  await pickToInspect(page, sample);
  const lines = nativeReport(sample).text.split('\n');
  // [the text clicked, the offset and width of what it prints]
  for (const [label, offset, width] of [['Type :', 0, 2], ['Size :', 2, 4], ['biWidth :', 18, 4],
                                        ['biClrImportant :', 50, 4], [' [    5]', 74, 4]]) {
    const line = lines.findIndex((text) => text.includes(label)) + 1;
    await clickText(line, lines[line - 1].indexOf(label) + 1);
    const shown = await inspected();
    assert.deepEqual([shown.offset, shown.bytes, shown.marks],
                     [String(offset), hex(bytes.subarray(offset, offset + width)), []], label);
    assert.equal(/Measured length\s+the file is 150 bytes long/.test(shown.facts),
                 label === 'Size :', label);
  }
});

test('a large file: its top-left pixel, at the end of its report, is marked within a second',
     async () => {
  const bmp = trueColorFile(file('large.bmp'), 6000, 4000);
  const bytes = fs.readFileSync(bmp);
  const native = nativeReport(bmp).text;
  await pickToInspect(page, bmp);
  await watchLongTasks(page);
  const [ms, heapPeak] = await peakDuring(
    async () => (await page.metrics()).JSHeapUsedSize, async () => {
      const started = Date.now();
      await choosePixel(0, 0);
      return Date.now() - started;
    }, 20);
  assert.ok(ms < 1000, `marked after ${ms} ms`);
  const shown = await inspected();
  assert.deepEqual(shown.marks.map((mark) => mark.line), [native.split('\n').length - 1]);
  checkPixel(shown, bytes, headerOf(bytes), native, 0, 0, 'the top-left pixel');
  assert.match(shown.note,
               /^Shown: lines [\d,]+ to [\d,]+ of the report's [\d,]+, around the selection/);
  assert.ok(heapPeak < 96e6, `JS heap reached ${heapPeak} bytes`);
  const longest = await longestTask(page);
  assert.ok(longest < 1000, `a task of ${longest} ms on the page's thread`);
  // Back to the report's start: the mark comes back there, where the start shows it.
  await page.click('#report-note button');
  await inspectorSettled(page);
  assert.ok(native.startsWith((await inspected()).reportText));
});

describe('odd files', () => {
  test('a 4-bit file whose walk skips data bytes as padding says so, and marks nothing',
       async () => {
    // 5 pixels a row in 3 bytes and a pad byte; the walk takes 5 one-byte items a row and
    // skips 3, so it skips the second and third bytes of every second row. bfSize: more items
    // than bytes.
    fs.writeFileSync(file('skips.bmp'), Buffer.concat([
      bitmapHeader({width: 5, height: 4, bits: 4, offBits: 54 + 64, fileSize: 54 + 64 + 100}),
      Buffer.alloc(64), Buffer.from('0123400056789000abcde00012345000', 'hex')]));
    await pickToInspect(page, file('skips.bmp'));
    await choosePixel(2, 2);  // stored row 1, byte 1: 0x78, at 118 + 5
    const shown = await inspected();
    assert.deepEqual([shown.offset, shown.bytes, shown.marks], ['123', '78', []]);
    assert.equal(shown.facts.match(/not printed: the row walk skips this byte as padding/g)
                      ?.length, 2);
  });

  test('a file the browser cannot decode is inspected through the number fields', async () => {
    const bytes = Buffer.from(fs.readFileSync(sample));
    bytes.writeUInt32LE(3, 30);  // BI_BITFIELDS at 8 bits: no decoder takes it
    fs.writeFileSync(file('undecodable.bmp'), bytes);
    assert.equal(await pick(page, file('undecodable.bmp')), 'done');
    await page.waitForFunction(() => document.body.dataset.picture === 'undecodable' &&
                                     !document.querySelector('#pixel-x').disabled);
    await choosePixel(7, 3);
    const shown = await inspected();
    checkPixel(shown, bytes, headerOf(bytes), nativeReport(file('undecodable.bmp')).text, 7, 3,
               'undecodable');
    assert.equal(shown.marks.length, 2);
    assert.match(shown.facts, /Format colour\s+none: bit fields with 8 bits a pixel\n/);
    assert.match(shown.facts, /Browser colour\s+none: this browser cannot decode the file\n/);
    assert.equal(await page.$eval('#inspector', (panel) => panel.dataset.formatColour), '');
  });
});
