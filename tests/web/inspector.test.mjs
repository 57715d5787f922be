// The inspector as a person uses it, in Chromium: pixels picked by their x and y and checked
// against the file's bytes at the format's layout, which this test works out from the header
// itself, and against the native report's items and lines; header lines and a dump item
// clicked; the top-left pixel of a 6000 x 4000 file, at the end of its report; and files that
// are cut short, walked oddly, or not decodable.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapHeader, checkPixel, headerOf} from './bitmaps.mjs';
import {choosePixel as choosePixelIn, clickText as clickTextIn, inspected as inspectedIn,
        inspectorSettled, nativeReport, peakDuring, pick, root, scratchDir, desktopSession,
        testFiles, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');

let page;
desktopSession(scratch, (started) => {
  ({page} = started);
});

const choosePixel = (x, y) => choosePixelIn(page, x, y);
const clickText = (line, column) => clickTextIn(page, line, column);
const inspected = () => inspectedIn(page);
const settled = () => inspectorSettled(page);

// A pseudo-random pixel, the same from run to run.
function* pixelsOf(width, height) {
  yield [0, 0];
  yield [width - 1, 0];
  yield [0, height - 1];
  yield [width - 1, height - 1];
  let seed = width * 7919 + height;
  for (let i = 0; i < 3; i += 1) {
    seed = (seed * 1103515245 + 12345) % 2 ** 31;
    yield [seed % width, (seed >> 8) % height];
  }
}

describe('pixels', () => {
  test('of every test file: their bytes at the format\'s layout, their items in the report',
       async () => {
    let checked = 0;
    for (const bmp of testFiles()) {
      const bytes = fs.readFileSync(bmp);
      const header = headerOf(bytes);
      const expected = nativeReport(bmp);
      if (await pick(page, bmp) !== 'done' || !header.fixed || header.width <= 0 ||
          header.height === 0) {
        continue;
      }
      await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
      for (const [x, y] of pixelsOf(header.width, Math.abs(header.height))) {
        await choosePixel(x, y);
        const shown = await inspected();
        checkPixel(shown, bytes, header, expected.text, x, y, `${path.basename(bmp)} ${x}, ${y}`);
        assert.ok(shown.reportText === expected.text.slice(0, shown.reportText.length) ||
                  /Shown: lines/.test(await page.$eval('#report-note', (note) => note.textContent)));
        checked += 1;
      }
    }
    assert.ok(checked >= 30, `${checked} pixels checked`);
  });

  test('the picture points at its pixels, and the keyboard moves the one picked', async () => {
    const bmp = trueColorFile(file('points.bmp'), 40, 30);
    const bytes = fs.readFileSync(bmp);
    const header = headerOf(bytes);
    assert.equal(await pick(page, bmp), 'done');
    await page.waitForFunction(() => document.body.dataset.picture === 'shown');
    const box = await (await page.$('#picture')).boundingBox();
    // The picture keeps its proportions in its box: 40 x 30 drawn in the middle.
    const scale = Math.min(box.width / 40, box.height / 30);
    const left = box.x + (box.width - 40 * scale) / 2;
    const top = box.y + (box.height - 30 * scale) / 2;
    await page.mouse.move(left + 12.5 * scale, top + 7.5 * scale);
    await page.waitForFunction(() => document.querySelector('#inspector').dataset.x === '12');
    let shown = await inspected();
    assert.equal(shown.y, '7');
    assert.equal(shown.marks.length, 0);  // pointing shows the panel; a click picks
    await page.mouse.click(left + 12.5 * scale, top + 7.5 * scale);
    await settled();
    checkPixel(await inspected(), bytes, header, nativeReport(bmp).text, 12, 7, 'clicked');
    // The report scrolled to the item; the picture stays in view beside it, its pixel outlined.
    const moved = await (await page.$('#picture')).boundingBox();
    const mark = await (await page.$('#picture-mark')).boundingBox();
    assert.ok(moved.y >= 0 && moved.y + moved.height <= 900, JSON.stringify(moved));
    assert.ok(Math.abs(mark.x + mark.width / 2 - (moved.x + 12.5 * scale)) < 2 &&
              Math.abs(mark.y + mark.height / 2 - (moved.y + 7.5 * scale)) < 2,
              JSON.stringify(mark));
    // Pinned: pointing elsewhere changes nothing; the arrow keys move it.
    await page.mouse.move(left + 30.5 * scale, top + 20.5 * scale);
    await page.focus('#picture-frame');
    await page.keyboard.press('ArrowRight');
    await settled();
    await page.keyboard.press('ArrowDown');
    await settled();
    shown = await inspected();
    checkPixel(shown, bytes, header, nativeReport(bmp).text, 13, 8, 'moved');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'picture-frame');
  });
});

describe('the report', () => {
  test('every header field, clicked, shows its offset and stored bytes', async () => {
    const sample = path.join(root, 'samples/sample.bmp');
    const bytes = fs.readFileSync(sample);
    assert.equal(await pick(page, sample), 'done');
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
    const fields = [['Type', 0, 2], ['Size', 2, 4], ['Offbits', 10, 4], ['biSize', 14, 4],
                    ['biWidth', 18, 4], ['biHeight', 22, 4], ['biPlanes', 26, 2],
                    ['biBitCount', 28, 2], ['biCompression', 30, 4], ['biSizeImage', 34, 4],
                    ['biXPelsPerMeter', 38, 4], ['biYPelsPerMeter', 42, 4], ['biClrUsed', 46, 4],
                    ['biClrImportant', 50, 4]];
    const lines = nativeReport(sample).text.split('\n');
    for (const [label, offset, width] of fields) {
      const line = lines.findIndex((text) => text.includes(`${label} : [`)) + 1;
      await clickText(line, lines[line - 1].indexOf(label));
      const shown = await inspected();
      assert.equal(shown.offset, String(offset), label);
      assert.equal(shown.bytes, [...bytes.subarray(offset, offset + width)].map(hex2).join(' '),
                   label);
      assert.deepEqual(shown.marks, [], label);
      assert.equal(/Measured length\s+the file is 150 bytes long/.test(shown.facts),
                   label === 'Size', label);
    }
    // A row of the table: the entry's four bytes, blue first.
    const row = lines.findIndex((text) => text.startsWith(' [    5]')) + 1;
    await clickText(row, 3);
    const entry = await inspected();
    assert.equal(entry.offset, String(54 + 4 * 5));
    assert.equal(entry.bytes, [...bytes.subarray(74, 78)].map(hex2).join(' '));
  });

  test('a dump item, clicked, shows its bytes and marks its pixel', async () => {
    const bmp = trueColorFile(file('reverse.bmp'), 6, 5);
    const bytes = fs.readFileSync(bmp);
    const header = headerOf(bytes);
    assert.equal(await pick(page, bmp), 'done');
    await page.waitForFunction(() => document.body.dataset.picture === 'shown');
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
    const lines = nativeReport(bmp).text.split('\n');
    // The fourth item of the dump's second row: pixel 3 of the second row stored, bottom-up.
    const line = lines.findIndex((text) => text.startsWith('[')) + 2;
    await clickText(line, 1 + 3 * 14 + 5);
    const shown = await inspected();
    checkPixel(shown, bytes, header, lines.join('\n'), 3, 3, 'the item clicked', {item: true});
    assert.equal(shown.marks.length, 1);
    assert.equal(shown.marks[0].line, line);
    const box = await (await page.$('#picture')).boundingBox();
    const scale = Math.min(box.width / 6, box.height / 5);
    const mark = await (await page.$('#picture-mark')).boundingBox();
    const centre = [box.x + (box.width - 6 * scale) / 2 + 3.5 * scale,
                    box.y + (box.height - 5 * scale) / 2 + 3.5 * scale];
    assert.ok(Math.abs(mark.x + mark.width / 2 - centre[0]) < 2 &&
              Math.abs(mark.y + mark.height / 2 - centre[1]) < 2, JSON.stringify(mark));
  });
});

describe('a large file', () => {
  test('its top-left pixel, at the end of its report, is marked within a second', async () => {
    const bmp = trueColorFile(file('large.bmp'), 6000, 4000);
    const bytes = fs.readFileSync(bmp);
    const header = headerOf(bytes);
    const native = nativeReport(bmp).text;
    assert.equal(await pick(page, bmp), 'done');
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
    await page.evaluate(() => {
      window.longTasks = [];
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
      }).observe({type: 'longtask'});
    });
    const [ms, heapPeak] = await peakDuring(
      async () => (await page.metrics()).JSHeapUsedSize, async () => {
        const started = Date.now();
        await choosePixel(0, 0);
        return Date.now() - started;
      }, 20);
    assert.ok(ms < 1000, `marked after ${ms} ms`);
    const shown = await inspected();
    assert.equal(shown.marks.length, 1);
    assert.equal(shown.marks[0].line, native.split('\n').length - 1);
    checkPixel(shown, bytes, header, native, 0, 0, 'the top-left pixel');
    assert.match(await page.$eval('#report-note', (note) => note.textContent),
                 /^Shown: lines [\d,]+ to [\d,]+ of the report's [\d,]+, around the selection/);
    assert.ok(heapPeak < 96e6, `JS heap reached ${heapPeak} bytes`);
    const longest = Math.max(0, ...await page.evaluate(() => window.longTasks));
    assert.ok(longest < 1000, `a task of ${longest} ms on the page's thread`);
    // Back to the report's start: the mark comes back there, where the start shows it.
    await page.click('#report-note button');
    await settled();
    assert.ok(native.startsWith(await page.$eval('#report', (report) => report.textContent)));
  });
});

describe('odd files', () => {
  test('a pixel past the end of a file cut short says so', async () => {
    const bytes = fs.readFileSync(path.join(root, 'samples/sample.bmp')).subarray(0, 130);
    fs.writeFileSync(file('cut.bmp'), bytes);
    assert.equal(await pick(page, file('cut.bmp')), 'done');
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
    await choosePixel(0, 0);  // stored in the last row, at 142
    const shown = await inspected();
    assert.deepEqual([shown.offset, shown.bytes], ['142', '']);
    assert.match(shown.facts, /Missing\sits byte lies past the end of the file, which is 130 bytes long/);
  });

  test('a 4-bit file whose walk skips data bytes as padding says so, and marks nothing',
       async () => {
    // 5 pixels a row in 3 bytes and a pad byte; the walk takes 5 one-byte items a row and
    // skips 3, so it skips the second and third bytes of every second row.
    const table = Buffer.alloc(64);
    const pixels = Buffer.from([0x01, 0x23, 0x40, 0, 0x56, 0x78, 0x90, 0, 0xAB, 0xCD, 0xE0, 0,
                                0x12, 0x34, 0x50, 0]);
    // bfSize: more items than bytes.
    const header = bitmapHeader({width: 5, height: 4, bits: 4, offBits: 54 + 64,
                                 fileSize: 54 + 64 + 100});
    fs.writeFileSync(file('skips.bmp'), Buffer.concat([header, table, pixels]));
    assert.equal(await pick(page, file('skips.bmp')), 'done');
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
    await choosePixel(2, 2);  // stored row 1, byte 1: 0x78, at 118 + 5
    const shown = await inspected();
    assert.deepEqual([shown.offset, shown.bytes], ['123', '78']);
    assert.deepEqual(shown.marks, []);
    assert.equal(shown.facts.match(/not printed: the row walk skips this byte as padding/g)
                      ?.length, 2);
  });

  test('a file the browser cannot decode is inspected through the number fields', async () => {
    const bytes = Buffer.from(fs.readFileSync(path.join(root, 'samples/sample.bmp')));
    bytes.writeUInt32LE(3, 30);  // BI_BITFIELDS at 8 bits: no decoder takes it
    fs.writeFileSync(file('undecodable.bmp'), bytes);
    assert.equal(await pick(page, file('undecodable.bmp')), 'done');
    await page.waitForFunction(() => document.body.dataset.picture === 'undecodable');
    await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
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
