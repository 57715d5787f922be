// Files that broke the inspector, in Chromium: offsets past 2^53 and past any file, files cut
// short (items printed past their end drawn as such, and the pixels' missing bytes counted), a
// dump title split between the core's blocks or held in a file name, and large 8-bit files
// whose pixel is marked in both dumps past the text shown, or whose lines are too long to show.
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

// Opens bmp and checks its report whole; returns its bytes, header and native report.
async function open(bmp) {
  await pickToInspect(page, bmp);
  const bytes = fs.readFileSync(bmp);
  const native = nativeReport(bmp).text;
  assert.equal((await inspected(page)).reportText, native, bmp);
  return {bytes, header: headerOf(bytes), native, lines: native.split('\n')};
}

// Chooses pixel x, y; returns what is shown, and what the panel says is missing of it.
async function missingOf(x, y) {
  await choosePixel(page, x, y);
  const shown = await inspected(page);
  return [shown, shown.facts.match(/^Missing\n(.*)$/m)?.[1] ?? null];
}

test('offsets past 2^53 are shown exactly, and one past 2^64 - 1 is beyond any file, never ' +
     'wrapped', async () => {
  const beyond = /^Stored at\nbeyond any file: its offset would pass 18,446,744,073,709,551,615, the last a file can have$/m;
  // [width, height, x, y, the offset of the pixel's 4 bytes, worked out by hand]
  for (const [width, height, x, y, offset] of [
    [2 ** 31 - 1, 2 ** 31 - 1, 0, 0, 18446744047939747902n],
    [-(2 ** 31), -(2 ** 31), 0, 2 ** 31 - 1, 18446744065119617078n],
    [-(2 ** 31), -(2 ** 31), 2 ** 31 - 1, 2 ** 31 - 1, null]]) {
    const where = `${width} x ${height}, pixel ${x}, ${y}`;
    fs.writeFileSync(file('wide.bmp'), bitmapHeader({width, height, bits: 32}));
    await pickToInspect(page, file('wide.bmp'));
    const [shown, missing] = await missingOf(x, y);
    assert.deepEqual([shown.x, shown.y, shown.offset], [String(x), String(y),
                                                        offset?.toString() ?? ''], where);
    if (offset === null) {
      assert.match(shown.facts, beyond, where);
      continue;
    }
    assert.ok(shown.facts.includes(`Stored at\n${offset.toLocaleString('en')} ` +
                                   `(0x${offset.toString(16).toUpperCase()}), 4 bytes`), where);
    assert.equal(missing, 'all 4 of its bytes lie past the end of the file, which is 54 bytes ' +
                          'long', where);
  }
});

// The items the page draws as past the end: where they are, their text and how they look.
const drawnPastEnd = () => page.$$eval('#report [data-past-end]', (items) => items.map((item) => {
  const piece = item.closest('#report > span');
  const range = document.createRange();
  range.setStart(piece, 0);
  range.setEnd(item, 0);
  const before = range.toString();
  const style = getComputedStyle(item);
  return {line: Number(piece.dataset.line) + before.split('\n').length - 1,
          column: before.length - before.lastIndexOf('\n') - 1, text: item.textContent,
          struck: style.textDecorationLine, colour: style.color};
}));

describe('files cut short', () => {
  test('an 8-bit file: exactly the items printed past its end are drawn so, and pixels ' +
       'count their own missing bytes', async () => {
    // 7 x 5: rows of 7 bytes padded to 8; the last 20 bytes of its 40 cut off, so that of the
    // 35 items of each dump the last 17 are past the end: row 2 from item 4 on, and rows 3, 4.
    const whole = fs.readFileSync(bitmapFile(file('whole8.bmp'), 8, 7, 5));
    fs.writeFileSync(file('cut8.bmp'), whole.subarray(0, whole.length - 20));
    const {bytes, header, native, lines} = await open(file('cut8.bmp'));
    const expected = [];
    for (const [title, itemChars] of [[' === Bitmap Data[Indexed data] ===', 3],
                                      [' === Bitmap Data[RGB translated] ===', 9]]) {
      const firstRow = lines.indexOf(title) + 2;
      for (let i = 18; i < 35; i += 1) {
        expected.push([firstRow + Math.floor(i / 7), 1 + (i % 7) * itemChars]);
      }
    }
    const drawn = await drawnPastEnd();
    assert.deepEqual(drawn.map(({line, column}) => [line, column]), expected);
    const plain = await page.$eval('#report', (report) => getComputedStyle(report).color);
    for (const item of drawn) {
      assert.deepEqual([item.text, item.struck], [lines[item.line - 1].substr(
        item.column, item.text.length), 'line-through'], `${item.line}, ${item.column}`);
      assert.notEqual(item.colour, plain);
    }
    const legend = await page.$eval('#report-legend', (p) => [getComputedStyle(p).display,
                                                              p.textContent.replace(/\s+/g, ' ')]);
    assert.equal(legend[0], 'block');
    assert.match(legend[1], /Items drawn struck through are printed past the end of the file/);
    // [x, y, what is missing, whether its marks are drawn past the end]
    const gone = 'its byte lies past the end of the file, which is 1,098 bytes long';
    for (const [x, y, said, pastEnd] of [[6, 0, gone, true], [3, 2, null, false],
                                         [0, 0, gone, true]]) {
      const [shown, missing] = await missingOf(x, y);
      checkPixel(shown, bytes, header, native, x, y, `pixel ${x}, ${y}`);
      assert.equal(missing, said, `pixel ${x}, ${y}`);
      // The mark of an item past the end sits in its element, drawn the same.
      assert.deepEqual(shown.marks.map((mark) => mark.pastEnd), [pastEnd, pastEnd]);
    }
  });

  test('a 24-bit file: an item with one of its three bytes is past the end, and its pixel ' +
       'misses two', async () => {
    const whole = fs.readFileSync(bitmapFile(file('whole24.bmp'), 24, 3, 2));
    fs.writeFileSync(file('cut24.bmp'), whole.subarray(0, 54 + 13));
    await open(file('cut24.bmp'));
    assert.deepEqual((await drawnPastEnd()).map(({line, column}) => [line, column]),
                     [[28, 1], [28, 15], [28, 29]]);
    for (const [x, y, said] of [[0, 0, '2 of its 3 bytes lie'], [1, 0, 'all 3 of its bytes lie'],
                                [0, 1, null]]) {
      assert.equal((await missingOf(x, y))[1], said && `${said} past the end of the file, ` +
                   'which is 67 bytes long', `pixel ${x}, ${y}`);
    }
  });
});

// Every piece of dump rows is as wide as its dump's items, by the title above it in the
// native report; and every item of a sample of them lies on one line of the screen.
async function checkPieces(lines, bits) {
  const widths = {'Indexed data': bits === 1 ? 8 : 3, 'RGB translated': 9};
  const pieces = await page.$$eval('#report > span.dump', (spans) => spans.map((span) =>
    [Number(span.dataset.line), Number(span.dataset.item)]));
  assert.ok(pieces.length >= 2);
  for (const [line, item] of pieces) {
    const title = lines.slice(0, line - 1).findLast((text) => text.startsWith(' === Bitmap Data'));
    const kind = /\[(.*)\]/.exec(title)[1];
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
    return Array.from({length: 300}, (_, i) => starts[Math.floor(i * starts.length / 300)])
      .filter((at) => {
        const range = document.createRange();
        range.setStart(node, at);
        range.setEnd(node, at + width - 1);
        return new Set([...range.getClientRects()].map((rect) => Math.round(rect.top))).size > 1;
      }).map((at) => node.data.substr(at, width));
  }));
  assert.deepEqual(broken, []);
}

describe('dump titles', () => {
  // [the file, its depth, the pixels checked]
  for (const [what, make, bits, pixels] of [
    ['split between the core\'s blocks: an 8-bit file 83,358 x 1',
     () => bitmapFile(file('wide.bmp'), 8, 83358, 1), 8,
     [[0, 0], [1, 0], [29127, 0], [43690, 0], [83357, 0]]],
    ['in a file\'s name', () => {
      const bmp = file(' === Bitmap Data[RGB translated] === [Indexed data].bmp');
      fs.copyFileSync(path.join(root, 'tests/data/bmpsuite/pal4.bmp'), bmp);
      return bmp;
    }, 4, [[0, 0], [126, 63], [5, 2]]]]) {
    test(`${what}: pieces as wide as their items, pixels marked in both dumps`, async () => {
      const {bytes, header, native, lines} = await open(make());
      await checkPieces(lines, bits);
      for (const [x, y] of pixels) {
        await choosePixel(page, x, y);
        const shown = await inspected(page);
        assert.equal(shown.marks.length, 2, `pixel ${x}, ${y}`);
        checkPixel(shown, bytes, header, native, x, y, `pixel ${x}, ${y}`);
      }
    });
  }
});

describe('large 8-bit files', () => {
  test('a pixel at the end of both dumps, past the text shown, is marked in both', async () => {
    const bmp = bitmapFile(file('large8.bmp'), 8, 3000, 2000);
    await pickToInspect(page, bmp);
    await choosePixel(page, 2999, 0);
    const shown = await inspected(page);
    assert.match(shown.note, /^Shown: lines [\d,]+ to [\d,]+ and [\d,]+ to [\d,]+ of the report's/);
    assert.equal(shown.marks.length, 2);
    const bytes = fs.readFileSync(bmp);
    checkPixel(shown, bytes, headerOf(bytes), nativeReport(bmp).text, 2999, 0, 'top right');
    // Each mark sits in a piece as wide as its own item.
    assert.deepEqual(await page.$$eval('#report mark', (marks) => marks.map((mark) =>
      Number(mark.closest('#report > span').dataset.item))),
                     shown.marks.map((mark) => mark.text.length));
  });

  test('six million pixels wide: lines too long to show are said so, and the page\'s memory ' +
       'stays bounded', async () => {
    // One row: the indexed dump's line is 18 MB long, the translated one's 54 MB.
    const bmp = bitmapFile(file('very-wide.bmp'), 8, 6_000_000, 1);
    await pickToInspect(page, bmp);
    const [, heap] = await peakDuring(async () => (await page.metrics()).JSHeapUsedSize,
                                      () => choosePixel(page, 0, 0), 20);
    const shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.marks], [String(fs.readFileSync(bmp).readUInt32LE(10)),
                                                   []]);
    assert.match(shown.note, /^The report's lines around the selection are \d+ MB long: too long to show here\. Save report writes them\.$/);
    assert.match(shown.facts, /^Bitmap Data\[Indexed data\]\nline 286 \(from 1\), item 0 of the row/m);
    assert.ok(heap < 96e6, `JS heap reached ${heap} bytes`);
  });
});
