// The inspector from the keyboard alone, in Chromium: the report's keys wired to its cursor,
// from the selection, past the text shown, keys faster than answers; the picture's arrows at
// its edges and in a burst. What is checked is what is rendered; where each key moves is held
// by the selection module's unit tests.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapFile, choosePixel, clickText, desktopSession, inspected, inspectorSettled,
        nativeReport, pickToInspect, root, scratchDir, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);

let page;
desktopSession(scratch, (started) => {
  ({page} = started);
});

// Presses keys (a key, or [key, modifier]) and waits until the inspector has followed them all.
async function press(...keys) {
  for (const key of keys) {
    const [name, modifier] = Array.isArray(key) ? key : [key, null];
    if (modifier !== null) await page.keyboard.down(modifier);
    await page.keyboard.press(name);
    if (modifier !== null) await page.keyboard.up(modifier);
  }
  await inspectorSettled(page);
}

// The selection as a person sees it: the first mark's line and column, the panel's first fact.
async function where() {
  const shown = await inspected(page);
  return {...shown, first: shown.facts.split('\n')[0],
          mark: shown.marks[0] ? [shown.marks[0].line, shown.marks[0].column] : null};
}

const open = (bmp) => pickToInspect(page, bmp);
const lineFact = (line) => new RegExp(`^line ${line.toLocaleString('en')} \\(from 1\\) prints`,
                                      'm');

describe('the report\'s keys', () => {
  test('move its cursor from nothing, into a dump, item by item and row by row, to its ends, ' +
       'and from a pixel picked elsewhere; the focus stays', async () => {
    await open(path.join(root, 'samples/sample.bmp'));
    await page.focus('#report');
    // Nothing selected: the first key chooses the first line, and moves no further.
    await press('ArrowDown');
    let at = await where();
    assert.deepEqual([at.first, at.mark, at.focused], ['Report line', null, 'report']);
    assert.match(at.facts, lineFact(1));
    await press(...Array(45).fill('ArrowDown'));
    at = await where();
    assert.deepEqual([at.first, at.offset, at.marks.map((mark) => [mark.line, mark.column,
      mark.text])], ['Report item', '118', [[46, 1, '00 '], [53, 1, '0x000000 ']]]);
    // [keys, the offset and first mark they reach]
    for (const [keys, offset, mark] of [[Array(8).fill('ArrowRight'), '126', [47, 1]],
                                        [['ArrowLeft', 'ArrowLeft'], '124', [46, 19]],
                                        [['End'], '125', [46, 22]], [['Home'], '118', [46, 1]]]) {
      await press(...keys);
      at = await where();
      assert.deepEqual([at.offset, at.mark], [offset, mark], keys.join());
    }
    await press('ArrowUp');
    assert.match((await where()).facts, lineFact(45));
    await press(['End', 'Control']);
    assert.match((await where()).facts, lineFact(56));
    await press(['Home', 'Control']);
    at = await where();
    assert.match(at.facts, lineFact(1));
    assert.equal(at.focused, 'report');
    // From a pixel picked in its fields, ArrowDown goes to the row below its item.
    await choosePixel(page, 6, 1);
    assert.deepEqual((await where()).mark, [48, 19]);
    await page.focus('#report');
    await press('ArrowDown');
    at = await where();
    assert.deepEqual([at.offset, at.mark, at.pixelY], ['148', [49, 19], '0']);
  });

  test('50 ArrowRight presses 20 ms apart move 50 items, however late the answers',
       async () => {
    const bmp = trueColorFile(file('keys.bmp'), 40, 30);
    await open(bmp);
    const firstRow = nativeReport(bmp).text.split('\n').indexOf(' === Bitmap Data ===') + 2;
    await clickText(page, firstRow, 1);
    await page.focus('#report');
    for (let i = 0; i < 50; i += 1) {
      await page.keyboard.press('ArrowRight');
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    await inspectorSettled(page);
    // Item 50: the second row's item 10, stored row 1 (from 0), its 11th pixel.
    const at = await where();
    assert.deepEqual([at.mark, at.offset], [[firstRow + 1, 1 + 10 * 14], String(54 + 120 + 30)]);
  });

  test('Ctrl+End and the arrows past the text shown, and Ctrl+Home back to the start',
       async () => {
    const bmp = trueColorFile(file('long.bmp'), 1000, 400);
    await open(bmp);
    const native = nativeReport(bmp).text;
    const lines = native.split('\n');
    const last = lines.length - 1;
    await page.focus('#report');
    await press(['End', 'Control']);
    let at = await where();
    assert.match(at.facts, lineFact(last));
    assert.match(at.note, /^Shown: lines [\d,]+ to [\d,]+ of the report's [\d,]+, around/);
    assert.ok(at.reportText.endsWith(lines.slice(-2).join('\n')), 'the last lines are shown');
    await press('ArrowUp');
    at = await where();
    assert.deepEqual([at.mark, at.marks[0].text], [[last - 1, 1], lines[last - 2].slice(1, 15)]);
    await press(['Home', 'Control']);
    at = await where();
    assert.match(at.facts, lineFact(1));
    assert.match(at.note, /^Shown: the first [\d,]+ bytes of the report's/);
    assert.ok(native.startsWith(at.reportText));
  });
});

describe('the picture\'s keys', () => {
  test('in a quick burst leave no rejection unhandled, and the last pixel selected',
       async () => {
    await open(path.join(root, 'tests/data/bmpsuite/rgb24.bmp'));
    await page.waitForFunction(() => document.body.dataset.picture === 'shown');
    await choosePixel(page, 100, 15);
    const errors = [];
    const record = (error) => errors.push(error.message.split('\n')[0]);
    page.on('pageerror', record);
    try {
      await page.focus('#picture-frame');
      // Each press supersedes the question the one before asked.
      await press(...Array(40).fill('ArrowLeft'));
      // The page's errors are reported before the answer to a later question.
      await page.evaluate(() => true);
    } finally {
      page.off('pageerror', record);
    }
    assert.deepEqual(errors, []);
    const shown = await inspected(page);
    assert.deepEqual([shown.x, shown.y, shown.pixelX, shown.pixelY, shown.focused],
                     ['60', '15', '60', '15', 'picture-frame']);
    assert.match(shown.facts, /^x 60, y 15 \(from 0/m);
  });

  test('move the pixel, ten at a time with Shift, and never off the picture', async () => {
    const bmp = bitmapFile(file('edges.bmp'), 8, 40, 30);
    await open(bmp);
    await page.waitForFunction(() => document.body.dataset.picture === 'shown');
    await choosePixel(page, 39, 29);
    await page.focus('#picture-frame');
    const shift = (key) => [key, 'Shift'];
    for (const [keys, x, y] of [[['ArrowRight'], 39, 29], [['ArrowDown'], 39, 29],
                                [['ArrowLeft'], 38, 29], [[shift('ArrowUp')], 38, 19],
                                [[...Array(4).fill(shift('ArrowLeft')), shift('ArrowUp'),
                                  shift('ArrowUp')], 0, 0]]) {
      await press(...keys);
      const shown = await inspected(page);
      assert.deepEqual([shown.x, shown.y, shown.pixelX, shown.pixelY, shown.focused,
                        shown.facts.match(/^x \d+, y \d+/m)?.[0]],
                       [String(x), String(y), String(x), String(y), 'picture-frame',
                        `x ${x}, y ${y}`], String(keys));
    }
    // The bytes it points to are the pixel's own: 8 bits, rows bottom-up, 40 bytes each.
    const offset = fs.readFileSync(bmp).readUInt32LE(10) + 29 * 40;
    assert.equal((await inspected(page)).offset, String(offset));
  });
});
