// Files that broke the inspector, in Chromium: offsets past 2^53 and past any file, files cut
// short (items printed past their end drawn as such, and the pixels' missing bytes counted), a
// dump title split between the core's blocks or held in a file name, and a large 8-bit file
// whose pixel is marked in both dumps past the text shown.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapHeader, checkPixel, headerOf} from './bitmaps.mjs';
import {bitmapFile, choosePixel, desktopSession, inspected, nativeReport, peakDuring,
        pickToInspect, root, scratchDir} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);

let page;
desktopSession(scratch, (started) => {
  ({page} = started);
});

const open = (bmp) => pickToInspect(page, bmp);

// A 32-bit header of width x height as stored, with nothing after it.
const header32 = (width, height) => bitmapHeader({width, height, bits: 32});

describe('offsets past 2^53', () => {
  // Where the format stores pixel x, y of a 32-bit picture from 54, worked out in BigInt.
  const offsetOf = (width, height, x, y) => {
    const rowBytes = BigInt(Math.abs(width)) * 4n;
    const row = height < 0 ? BigInt(y) : BigInt(Math.abs(height) - 1 - y);
    return 54n + row * rowBytes + BigInt(x) * 4n;
  };

  test('are shown exactly, and one past 2^64 - 1 is beyond any file, never wrapped',
       async () => {
    const cases = [[2 ** 31 - 1, 2 ** 31 - 1, 0, 0], [-(2 ** 31), -(2 ** 31), 0, 2 ** 31 - 1],
                   [-(2 ** 31), -(2 ** 31), 2 ** 31 - 1, 2 ** 31 - 1]];
    for (const [width, height, x, y] of cases) {
      const name = `wide-${width}-${height}.bmp`;
      fs.writeFileSync(file(name), header32(width, height));
      await open(file(name));
      await choosePixel(page, x, y);
      const shown = await inspected(page);
      const offset = offsetOf(width, height, x, y);
      const where = `${name}, pixel ${x}, ${y}`;
      assert.deepEqual([shown.x, shown.y], [String(x), String(y)], where);
      if (offset <= 2n ** 64n - 1n) {
        assert.equal(shown.offset, offset.toString(), where);
        assert.ok(shown.facts.includes(`Stored at\n${offset.toLocaleString('en')} ` +
                                       `(0x${offset.toString(16).toUpperCase()}), 4 bytes`),
                  `${where}: ${shown.facts}`);
        assert.match(shown.facts, /^Missing\nall 4 of its bytes lie past the end of the file, which is 54 bytes long$/m);
      } else {
        assert.equal(shown.offset, '', where);
        assert.match(shown.facts, /^Stored at\nbeyond any file: its offset would pass 18,446,744,073,709,551,615, the last a file can have$/m,
                     where);
      }
    }
    // The figures, as BigInt works them out.
    assert.equal(offsetOf(2 ** 31 - 1, 2 ** 31 - 1, 0, 0), 18446744047939747902n);
    assert.ok(offsetOf(-(2 ** 31), -(2 ** 31), 2 ** 31 - 1, 2 ** 31 - 1) > 2n ** 64n - 1n);
  });
});

// The items each dump prints past the end of the file, worked out from the header as the
// dumps walk (one item of itemBytes bytes after another, rowPad bytes skipped after each row of
// rowLength items): [line, column] of each, from the native report's rows.
function pastEndItems(bytes, lines, {itemBytes, rowLength, rowPad, items, titles}) {
  const {offBits} = headerOf(bytes);
  const expected = [];
  for (const [title, itemChars] of titles) {
    const firstRow = lines.indexOf(title) + 2;
    for (let i = 0; i < items; i += 1) {
      const row = Math.floor(i / rowLength);
      const offset = offBits + row * (rowLength * itemBytes + rowPad) + (i % rowLength) * itemBytes;
      if (offset + itemBytes > bytes.length) {
        expected.push([firstRow + row, 1 + (i % rowLength) * itemChars]);
      }
    }
  }
  return expected;
}

// The items the page draws as past the end, where they are and how they look.
const drawnPastEnd = () => page.evaluate(() => {
  const report = document.querySelector('#report');
  return [...report.querySelectorAll('[data-past-end]')].map((item) => {
    const piece = item.closest('#report > span');
    const range = document.createRange();
    range.setStart(piece, 0);
    range.setEnd(item, 0);
    const before = range.toString();
    const style = getComputedStyle(item);
    return {line: Number(piece.dataset.line) + before.split('\n').length - 1,
            column: before.length - before.lastIndexOf('\n') - 1, text: item.textContent,
            struck: style.textDecorationLine, colour: style.color};
  });
});

describe('files cut short', () => {
  test('an 8-bit file: exactly the items printed past its end are drawn so, and pixels ' +
       'count their own missing bytes', async () => {
    // 7 x 5: rows of 7 bytes padded to 8; 20 bytes of its 40 cut off.
    const whole = fs.readFileSync(bitmapFile(file('whole8.bmp'), 8, 7, 5));
    const bytes = whole.subarray(0, whole.length - 20);
    fs.writeFileSync(file('cut8.bmp'), bytes);
    await open(file('cut8.bmp'));
    const native = nativeReport(file('cut8.bmp')).text;
    const lines = native.split('\n');
    assert.equal((await inspected(page)).reportText, native);
    const expected = pastEndItems(bytes, lines, {
      itemBytes: 1, rowLength: 7, rowPad: 1, items: 35,
      titles: [[' === Bitmap Data[Indexed data] ===', 3],
               [' === Bitmap Data[RGB translated] ===', 9]]});
    assert.equal(expected.length, 2 * 17);
    const drawn = await drawnPastEnd();
    assert.deepEqual(drawn.map(({line, column}) => [line, column]), expected);
    for (const item of drawn) {
      assert.equal(item.text, lines[item.line - 1].substr(item.column, item.text.length));
      assert.equal(item.struck, 'line-through');
    }
    const plain = await page.$eval('#report', (report) => getComputedStyle(report).color);
    assert.notEqual(drawn[0].colour, plain);
    const legend = await page.$eval('#report-legend', (p) => [getComputedStyle(p).display,
                                                              p.textContent.replace(/\s+/g, ' ')]);
    assert.equal(legend[0], 'block');
    assert.match(legend[1], /Items drawn struck through are printed past the end of the file/);

    const header = headerOf(bytes);
    const missing = async (x, y) => {
      await choosePixel(page, x, y);
      const shown = await inspected(page);
      checkPixel(shown, bytes, header, native, x, y, `pixel ${x}, ${y}`);
      return shown.facts.match(/^Missing\n(.*)$/m)?.[1] ?? null;
    };
    assert.equal(await missing(6, 0), `its byte lies past the end of the file, which is ` +
                                      `${bytes.length.toLocaleString('en')} bytes long`);
    assert.equal(await missing(3, 2), null);
    // The mark of an item past the end sits in its element, drawn the same.
    const shown = await inspected(page);
    assert.deepEqual(shown.marks.map((mark) => mark.pastEnd), [false, false]);
    await choosePixel(page, 0, 0);
    assert.deepEqual((await inspected(page)).marks.map((mark) => mark.pastEnd), [true, true]);
  });

  test('a 24-bit file: an item with one of its three bytes is past the end, and its pixel ' +
       'misses two', async () => {
    const whole = fs.readFileSync(bitmapFile(file('whole24.bmp'), 24, 3, 2));
    const bytes = whole.subarray(0, 54 + 13);
    fs.writeFileSync(file('cut24.bmp'), bytes);
    await open(file('cut24.bmp'));
    const native = nativeReport(file('cut24.bmp')).text;
    const lines = native.split('\n');
    const expected = pastEndItems(bytes, lines, {itemBytes: 3, rowLength: 3, rowPad: 3,
                                                 items: 6, titles: [[' === Bitmap Data ===', 14]]});
    assert.deepEqual(expected, [[28, 1], [28, 15], [28, 29]]);
    assert.deepEqual((await drawnPastEnd()).map(({line, column}) => [line, column]), expected);
    const said = {};
    for (const [x, y] of [[0, 0], [1, 0], [0, 1]]) {
      await choosePixel(page, x, y);
      said[`${x},${y}`] = (await inspected(page)).facts.match(/^Missing\n(.*)$/m)?.[1] ?? null;
    }
    assert.deepEqual(said, {
      '0,0': '2 of its 3 bytes lie past the end of the file, which is 67 bytes long',
      '1,0': 'all 3 of its bytes lie past the end of the file, which is 67 bytes long',
      '0,1': null});
  });
});

// Every piece of dump rows is as wide as its dump's items, by the title above it in the
// native report; and every item of a sample of them lies on one line of the screen.
async function checkPieces(native, bits) {
  const lines = native.split('\n');
  const widths = {'Indexed data': bits === 1 ? 8 : 3, 'RGB translated': 9};
  const pieces = await page.$$eval('#report > span.dump', (spans) => spans.map((span) =>
    [Number(span.dataset.line), Number(span.dataset.item)]));
  assert.ok(pieces.length >= 2);
  for (const [line, item] of pieces) {
    let title = line - 1;
    while (!lines[title - 1].startsWith(' === Bitmap Data')) title -= 1;
    const kind = /\[(.*)\]/.exec(lines[title - 1])[1];
    assert.equal(item, widths[kind], `the piece at line ${line}, in ${kind}`);
  }
  const broken = await page.$$eval('#report > span.dump', (spans) => spans.flatMap((span) => {
    span.scrollIntoView();
    const node = span.firstChild;
    const width = Number(span.dataset.item);
    // Where the piece's items start: from the second column of each row to its bracket.
    const starts = [];
    for (let lineStart = 0; lineStart < node.data.length;) {
      const lineEnd = node.data.indexOf('\n', lineStart);
      const end = node.data.lastIndexOf(']', lineEnd);
      for (let at = lineStart + 1; at + width <= end; at += width) starts.push(at);
      lineStart = lineEnd + 1;
    }
    const found = [];
    for (let i = 0; i < 300; i += 1) {
      const at = starts[Math.floor(i * starts.length / 300)];
      const range = document.createRange();
      range.setStart(node, at);
      range.setEnd(node, at + width - 1);
      if (new Set([...range.getClientRects()].map((rect) => Math.round(rect.top))).size > 1) {
        found.push(node.data.substr(at, width));
      }
    }
    return found;
  }));
  assert.deepEqual(broken, []);
}

describe('dump titles', () => {
  test('split between the core\'s blocks: an 8-bit file 83,358 x 1, every pixel checked',
       async () => {
    const bmp = bitmapFile(file('wide.bmp'), 8, 83358, 1);
    await open(bmp);
    const native = nativeReport(bmp).text;
    assert.equal((await inspected(page)).reportText, native);
    await checkPieces(native, 8);
    const bytes = fs.readFileSync(bmp);
    for (const x of [0, 1, 29127, 43690, 83357]) {
      await choosePixel(page, x, 0);
      const shown = await inspected(page);
      assert.equal(shown.marks.length, 2, `pixel ${x}`);
      checkPixel(shown, bytes, headerOf(bytes), native, x, 0, `pixel ${x}`);
    }
  });

  test('in a file\'s name', async () => {
    const bmp = file(' === Bitmap Data[RGB translated] === [Indexed data].bmp');
    fs.copyFileSync(path.join(root, 'tests/data/bmpsuite/pal4.bmp'), bmp);
    await open(bmp);
    const native = nativeReport(bmp).text;
    assert.equal((await inspected(page)).reportText, native);
    await checkPieces(native, 4);
    const bytes = fs.readFileSync(bmp);
    for (const [x, y] of [[0, 0], [126, 63], [5, 2]]) {
      await choosePixel(page, x, y);
      checkPixel(await inspected(page), bytes, headerOf(bytes), native, x, y, `${x}, ${y}`);
    }
  });
});

describe('a large 8-bit file', () => {
  test('a pixel at the end of both dumps, past the text shown, is marked in both', async () => {
    const bmp = bitmapFile(file('large8.bmp'), 8, 3000, 2000);
    await open(bmp);
    const native = nativeReport(bmp).text;
    await choosePixel(page, 2999, 0);
    const shown = await inspected(page);
    assert.match(shown.note, /^Shown: lines [\d,]+ to [\d,]+ and [\d,]+ to [\d,]+ of the report's/);
    assert.equal(shown.marks.length, 2);
    const bytes = fs.readFileSync(bmp);
    checkPixel(shown, bytes, headerOf(bytes), native, 2999, 0, 'the top-right pixel');
    // Each mark sits in a piece as wide as its own item.
    const widths = await page.$$eval('#report mark', (marks) => marks.map((mark) =>
      Number(mark.closest('#report > span').dataset.item)));
    assert.deepEqual(widths, shown.marks.map((mark) => mark.text.length));
  });
});

describe('a picture six million pixels wide', () => {
  test('whose lines are too long to show says so, and the page\'s memory stays bounded',
       async () => {
    // One row: the indexed dump's line is 18 MB long, the translated one's 54 MB.
    const bmp = bitmapFile(file('very-wide.bmp'), 8, 6_000_000, 1);
    await open(bmp);
    const [, heap] = await peakDuring(async () => (await page.metrics()).JSHeapUsedSize,
                                      () => choosePixel(page, 0, 0), 20);
    const shown = await inspected(page);
    assert.equal(shown.offset, String(headerOf(fs.readFileSync(bmp)).offBits));
    assert.deepEqual(shown.marks, []);
    assert.match(shown.note, /^The report's lines around the selection are \d+ MB long: too long to show here\. Save report writes them\.$/);
    assert.match(shown.facts, /^Bitmap Data\[Indexed data\]\nline 286 \(from 1\), item 0 of the row/m);
    assert.ok(heap < 96e6, `JS heap reached ${heap} bytes`);
  });
});
