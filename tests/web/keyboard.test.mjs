// The inspector from the keyboard alone, in Chromium: the report's arrows, Home and End, item
// by item and line by line from the selection, past the text shown; keys faster than answers;
// the picture's arrows at its edges and in a burst. What is checked is what is rendered.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapFile, choosePixel, clickText, desktopSession, inspected, inspectorSettled,
        nativeReport, pickToInspect, root, scratchDir, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const sample = path.join(root, 'samples/sample.bmp');

let page;
desktopSession(scratch, (started) => {
  ({page} = started);
});

// Presses keys in the report (a key, or [key, modifier]) and waits until the inspector has
// followed them all.
async function press(...keys) {
  for (const key of keys) {
    const [name, modifier] = Array.isArray(key) ? key : [key, null];
    if (modifier !== null) await page.keyboard.down(modifier);
    await page.keyboard.press(name);
    if (modifier !== null) await page.keyboard.up(modifier);
  }
  await inspectorSettled(page);
}

// The selection as a person sees it: the first mark's line and column and the panel's first
// fact, or the lit line's fact when nothing is marked.
async function where() {
  const shown = await inspected(page);
  const [first] = shown.facts.split('\n');
  return {mark: shown.marks[0] ? [shown.marks[0].line, shown.marks[0].column] : null,
          offset: shown.offset, first, facts: shown.facts, focused: shown.focused,
          marks: shown.marks, note: shown.note};
}

const open = (bmp) => pickToInspect(page, bmp);

describe('the report\'s keys', () => {
  test('move line by line to a dump, then item by item, wrapping rows; Home and End; ' +
       'Ctrl+Home and Ctrl+End', async () => {
    await open(sample);
    await page.focus('#report');
    // Nothing selected: the first key chooses the first line, and moves no further.
    await press('ArrowDown');
    let at = await where();
    assert.deepEqual([at.first, at.mark, at.focused],
                     ['Report line', null, 'report']);
    assert.match(at.facts, /^line 1 \(from 1\) prints no header field, table entry or pixel byte$/m);
    await press(...Array(8).fill('ArrowDown'));
    at = await where();
    assert.deepEqual([at.first, at.offset], ['Header field', '0']);
    assert.match(at.facts, /^bfType$/m);
    // Down to the title of the first dump, then onto its first item.
    await press(...Array(37).fill('ArrowDown'));
    at = await where();
    assert.deepEqual([at.first, at.offset, at.mark], ['Report item', '118', [46, 1]]);
    assert.deepEqual(at.marks.map((mark) => [mark.line, mark.column, mark.text]),
                     [[46, 1, '00 '], [53, 1, '0x000000 ']]);
    await press(...Array(7).fill('ArrowRight'));
    assert.deepEqual((await where()).mark, [46, 22]);
    await press('ArrowRight');
    at = await where();
    assert.deepEqual([at.offset, at.mark], ['126', [47, 1]]);
    await press('ArrowLeft', 'ArrowLeft');
    assert.deepEqual((await where()).mark, [46, 19]);
    await press('End');
    assert.deepEqual((await where()).mark, [46, 22]);
    await press('Home');
    assert.deepEqual((await where()).mark, [46, 1]);
    await press('ArrowUp');
    at = await where();
    assert.deepEqual([at.first, at.mark], ['Report line', null]);
    assert.match(at.facts, /^line 45 \(from 1\)/m);
    await press(['End', 'Control']);
    assert.match((await where()).facts, /^line 56 \(from 1\) prints no/m);
    await press(['Home', 'Control']);
    assert.match((await where()).facts, /^line 1 \(from 1\) prints no/m);
    assert.equal((await where()).focused, 'report');
  });

  test('start from a pixel picked elsewhere: ArrowDown goes to the row below its item',
       async () => {
    await open(sample);
    await choosePixel(page, 6, 1);
    assert.deepEqual((await where()).mark, [48, 19]);
    await page.focus('#report');
    await press('ArrowDown');
    const at = await where();
    assert.deepEqual([at.offset, at.mark], ['148', [49, 19]]);
    assert.equal((await inspected(page)).pixelY, '0');
  });

  test('50 ArrowRight presses 20 ms apart move 50 items, however late the answers',
       async () => {
    const bmp = trueColorFile(file('keys.bmp'), 40, 30);
    await open(bmp);
    const lines = nativeReport(bmp).text.split('\n');
    const firstRow = lines.indexOf(' === Bitmap Data ===') + 2;
    await clickText(page, firstRow, 1);
    await page.focus('#report');
    for (let i = 0; i < 50; i += 1) {
      await page.keyboard.press('ArrowRight');
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    await inspectorSettled(page);
    // Item 50: the second row's item 10, stored row 1 (from 0), its 11th pixel.
    const at = await where();
    assert.deepEqual(at.mark, [firstRow + 1, 1 + 10 * 14]);
    assert.equal(at.offset, String(54 + 120 + 30));
    assert.match(at.facts, new RegExp(`^Bitmap Data: line ${firstRow + 1} \\(from 1\\), item ` +
                                      '10 of the row \\(from 0\\)', 'm'));
  });

  test('Ctrl+End and the arrows past the text shown, and Ctrl+Home back to the start',
       async () => {
    const bmp = trueColorFile(file('long.bmp'), 1000, 400);
    await open(bmp);
    const lines = nativeReport(bmp).text.split('\n');
    const last = lines.length - 1;
    await page.focus('#report');
    await press(['End', 'Control']);
    let at = await where();
    assert.match(at.facts, new RegExp(`^line ${last.toLocaleString('en')} \\(from 1\\) prints`,
                                      'm'));
    assert.match(at.note, /^Shown: lines [\d,]+ to [\d,]+ of the report's [\d,]+, around/);
    const shown = await inspected(page);
    assert.ok(shown.reportText.endsWith(`${lines.slice(-2).join('\n')}`),
              'the report\'s last lines are shown');
    await press('ArrowUp');
    at = await where();
    assert.deepEqual(at.mark, [last - 1, 1]);
    assert.equal(at.marks[0].text, lines[last - 2].slice(1, 15));
    await press(['Home', 'Control']);
    at = await where();
    assert.match(at.facts, /^line 1 \(from 1\) prints/m);
    assert.match(at.note, /^Shown: the first [\d,]+ bytes of the report's/);
    assert.ok(nativeReport(bmp).text.startsWith((await inspected(page)).reportText));
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
    const pixel = async () => {
      const shown = await inspected(page);
      return [shown.x, shown.y, shown.pixelX, shown.pixelY,
              shown.facts.match(/^x \d+, y \d+/m)?.[0]];
    };
    for (const key of ['ArrowRight', 'ArrowDown']) {
      await press(key);
      assert.deepEqual(await pixel(), ['39', '29', '39', '29', 'x 39, y 29'], key);
    }
    await press('ArrowLeft');
    assert.deepEqual(await pixel(), ['38', '29', '38', '29', 'x 38, y 29']);
    await press(['ArrowUp', 'Shift']);
    assert.deepEqual(await pixel(), ['38', '19', '38', '19', 'x 38, y 19']);
    await press(['ArrowLeft', 'Shift'], ['ArrowLeft', 'Shift'], ['ArrowLeft', 'Shift'],
                ['ArrowLeft', 'Shift'], ['ArrowUp', 'Shift'], ['ArrowUp', 'Shift']);
    assert.deepEqual(await pixel(), ['0', '0', '0', '0', 'x 0, y 0']);
    assert.equal((await inspected(page)).focused, 'picture-frame');
    // The bytes it points to are the pixel's own: 8 bits, rows bottom-up, 40 bytes each.
    const bytes = fs.readFileSync(bmp);
    const offset = bytes.readUInt32LE(10) + 29 * 40;
    assert.equal((await inspected(page)).offset, String(offset));
  });
});
