// Choosing in the inspector, in Chromium: the pointer over the picture beside a pinned
// selection, input#go-offset for every kind of byte, copying offsets and bytes (each button
// saying which), a click on a piece's first character, and counting said beside every number.
// Read from what is rendered.
import {AxePuppeteer} from '@axe-core/puppeteer';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapHeader} from './bitmaps.mjs';
import {choosePixel, clickText, desktopSession, goToOffset, inspected, nativeReport, pick,
        pickToInspect, root, scratchDir, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const sample = path.join(root, 'samples/sample.bmp');
const hex2 = (value) => value.toString(16).padStart(2, '0');

let page;
desktopSession(scratch, async (started) => {
  ({page} = started);
  await started.browser.defaultBrowserContext().overridePermissions(
    started.server.url, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
});

const open = (bmp) => pickToInspect(page, bmp);

// The bytes lit in the bytes view, as it shows them, and the offset of the row of the first.
const litBytes = () => page.$$eval('#hex .selected', (spans) => spans.map((span) =>
  span.textContent));

// The place of a pixel drawn on the picture, in the page's pixels.
async function pixelPoint(x, y, width, height) {
  const box = await (await page.$('#picture')).boundingBox();
  const scale = Math.min(box.width / width, box.height / height);
  return [box.x + (box.width - width * scale) / 2 + (x + 0.5) * scale,
          box.y + (box.height - height * scale) / 2 + (y + 0.5) * scale];
}

describe('the pointer beside a selection', () => {
  test('crossing the picture after a report item is chosen changes neither it nor its marks',
       async () => {
    const bmp = trueColorFile(file('hover.bmp'), 40, 30);
    await open(bmp);
    await page.waitForFunction(() => document.body.dataset.picture === 'shown');
    const lines = nativeReport(bmp).text.split('\n');
    // The fourth item of the dump's second row: stored row 1, so pixel 3, 28.
    const line = lines.indexOf(' === Bitmap Data ===') + 3;
    await clickText(page, line, 1 + 3 * 14 + 5);
    const chosen = await inspected(page);
    assert.deepEqual([chosen.x, chosen.y, chosen.pixelX, chosen.pixelY],
                     ['3', '28', '3', '28']);
    assert.deepEqual(chosen.marks.map((mark) => [mark.line, mark.column]), [[line, 43]]);
    const outline = await (await page.$('#picture-mark')).boundingBox();
    for (const [x, y] of [[32, 6], [0, 0], [39, 29], [20, 15]]) {
      const [px, py] = await pixelPoint(x, y, 40, 30);
      await page.mouse.move(px, py, {steps: 3});
      await page.waitForFunction((want) => document.querySelector('#preview').textContent ===
        want, {timeout: 5000}, `Under the pointer: x ${x}, y ${y} (from 0). Click to choose it.`);
      const now = await inspected(page);
      assert.deepEqual(now, chosen, `pointing at ${x}, ${y}`);
      assert.deepEqual(await (await page.$('#picture-mark')).boundingBox(), outline);
    }
    // Nothing pinned: the panel follows the pointer.
    await pick(page, bmp);
    await page.waitForFunction(() => document.body.dataset.picture === 'shown' &&
                                     !document.querySelector('#go-offset').disabled);
    const [px, py] = await pixelPoint(32, 6, 40, 30);
    await page.mouse.move(px, py);
    await page.waitForFunction(() => document.querySelector('#inspector').dataset.x === '32',
                               {timeout: 5000});
    const previewed = await inspected(page);
    assert.deepEqual([previewed.y, previewed.marks], ['6', []]);
    assert.match(previewed.facts, /^x 32, y 6 \(from 0, at the top left\)$/m);
  });
});

describe('input#go-offset', () => {
  test('selects the field, entry or pixel a byte is of, in decimal or hex, and lights it',
       async () => {
    await open(sample);
    const bytes = fs.readFileSync(sample);
    const lit = (from, count) => [...bytes.subarray(from, from + count)].map(hex2);

    await goToOffset(page, '20');
    let shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes, shown.marks], ['18', '08 00 00 00', []]);
    assert.match(shown.facts, /^Offset\n20 \(0x14\)/);
    assert.match(shown.facts, /^a byte of the header field biWidth$/m);
    assert.match(shown.facts, /^Header field\nbiWidth$/m);
    assert.deepEqual(await litBytes(), lit(18, 4));

    await goToOffset(page, '0x4B');
    shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes], ['74', '55 55 55 00']);
    assert.match(shown.facts, /^a byte of colour-table entry 5 \(from 0\)$/m);
    assert.deepEqual(await litBytes(), lit(74, 4));

    await goToOffset(page, '119');
    shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.x, shown.y, shown.pixelX, shown.pixelY],
                     ['119', '1', '3', '1', '3']);
    assert.match(shown.facts, /^a byte of the pixel x 1, y 3 \(from 0\)$/m);
    assert.deepEqual(shown.marks.map((mark) => [mark.line, mark.column, mark.text]),
                     [[46, 4, '01 '], [53, 10, '0x111111 ']]);
    assert.deepEqual(await litBytes(), lit(119, 1));

    await goToOffset(page, '150');
    shown = await inspected(page);
    assert.deepEqual([shown.offset, shown.bytes, shown.marks], ['150', '', []]);
    assert.match(shown.facts, /^past the end of the file, which is 150 bytes long$/m);
    assert.equal(await page.$eval('#hex', (hex) => hex.hidden), true);

    for (const [typed, said] of [
      ['18446744073709551616', /^18,446,744,073,709,551,616 is beyond any file: offsets go up to 18,446,744,073,709,551,615 \(0xFFFFFFFFFFFFFFFF\)$/m],
      ['12a', /^an offset is a decimal number, or 0x and hex digits$/m]]) {
      await goToOffset(page, typed);
      shown = await inspected(page);
      assert.match(shown.facts, said, typed);
      assert.deepEqual([shown.offset, shown.marks], ['', []], typed);
    }
    await goToOffset(page, '18446744073709551615');
    assert.match((await inspected(page)).facts, /^Offset\n18,446,744,073,709,551,615 \(0xFFFFFFFFFFFFFFFF\)/);
  });

  test('says what the bytes between the table and the pixels, padding and bytes past the ' +
       'pixels are', async () => {
    // 3 x 2 at 24 bits: rows of 9 bytes padded to 12; the pixels from 60, six bytes after the
    // header; four bytes after the pixels.
    const header = bitmapHeader({width: 3, height: 2, bits: 24, offBits: 60,
                                 fileSize: 54 + 6 + 24 + 4});
    const bytes = Buffer.concat([header, Buffer.from('gapgap'), Buffer.alloc(24, 0x7F),
                                 Buffer.from('tail')]);
    fs.writeFileSync(file('roles.bmp'), bytes);
    await open(file('roles.bmp'));
    for (const [offset, said] of [
      [57, /^between the header and colour table and the pixels, which start at 60$/m],
      [69, /^row padding: a byte that rounds stored row 0 \(from 0\) up to whole 32-bit words$/m],
      [85, /^past the stored pixels, which end at 84$/m]]) {
      await goToOffset(page, String(offset));
      const shown = await inspected(page);
      assert.match(shown.facts, said, String(offset));
      assert.deepEqual([shown.offset, shown.bytes], [String(offset), hex2(bytes[offset])
        .toUpperCase()]);
      assert.deepEqual(await litBytes(), [hex2(bytes[offset])]);
    }
  });
});

describe('copying', () => {
  test('each offset and byte string, by pointer and by keyboard', async () => {
    await open(sample);
    await goToOffset(page, '148');
    const clipboard = () => page.evaluate(() => navigator.clipboard.readText());
    const buttons = await page.$$eval('#facts button.copy', (all) => all.map((button) =>
      [button.textContent, button.getAttribute('aria-label')]));
    assert.deepEqual(buttons, [['Copy offset', 'Copy offset: 148 (offset)'],
                               ['Copy offset', 'Copy offset: 148 (stored at)'],
                               ['Copy bytes', 'Copy bytes: 0F (stored bytes)'],
                               ['Copy offset', 'Copy offset: 114 (table entry)']]);
    await page.click('#facts button.copy[aria-label="Copy bytes: 0F (stored bytes)"]');
    assert.equal(await clipboard(), '0F');
    await page.focus('#facts button.copy[aria-label="Copy offset: 114 (table entry)"]');
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => document.activeElement.textContent === 'Copied');
    assert.equal(await clipboard(), '114');
    // Large offsets are copied as their plain digits.
    await goToOffset(page, '0x10000');
    await page.click('#facts button.copy');
    assert.equal(await clipboard(), '65536');
  });

  test('an offset and bytes in one row: each button says which it copies', async () => {
    // Pixel 0, 0 of pal8rle.bmp is set by the absolute run at 8,656.
    await open(path.join(root, 'tests/data/bmpsuite/pal8rle.bmp'));
    await choosePixel(page, 0, 0);
    const row = await page.evaluate(() => {
      const term = [...document.querySelectorAll('#facts dt')].find((dt) =>
        dt.textContent === 'Set by');
      return [...term.nextElementSibling.querySelectorAll('button')].map((button) =>
        button.textContent);
    });
    assert.deepEqual(row, ['Copy offset', 'Copy bytes']);
    // What assistive technology reads: every copy button's name, each starting with what it
    // shows, no two alike.
    const names = [];
    const walk = (node) => {
      if (node.role === 'button' && node.name.startsWith('Copy')) names.push(node.name);
      for (const child of node.children ?? []) walk(child);
    };
    walk(await page.accessibility.snapshot({root: await page.$('#inspector')}));
    assert.ok(names.includes('Copy offset: 8656 (set by)'), names.join('; '));
    assert.ok(names.includes('Copy bytes: 00 18 05 05 0B 05 35 0B 35 35 65 35 65 3B 6B 65 6B ' +
                             '65 9B 6B 9B 95 C5 9B C5 9B (set by)'), names.join('; '));
    assert.equal(new Set(names).size, names.length, names.join('; '));
    const shown = await page.$$eval('#facts button.copy', (all) => all.map((button) =>
      [button.textContent, button.getAttribute('aria-label')]));
    assert.deepEqual(shown.filter(([text, name]) => !name.startsWith(`${text}: `)), []);
    const results = await new AxePuppeteer(page).include('#inspector')
                        .withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22a',
                                   'wcag22aa']).analyze();
    assert.deepEqual(results.violations.map((violation) => violation.id), []);
  });
});

describe('the report', () => {
  test('a click on a piece\'s first character, a line end, chooses that line', async () => {
    await open(sample);
    const starts = await page.$$eval('#report > span', (pieces) => pieces.filter((piece) =>
      piece.textContent.startsWith('\n')).map((piece) => Number(piece.dataset.line)));
    assert.ok(starts.includes(1) && starts.length >= 2, String(starts));
    for (const line of starts) {
      await clickText(page, line, 0);
      const shown = await inspected(page);
      assert.match(shown.facts, new RegExp(`^line ${line} \\(from 1\\) prints no header ` +
                                            'field, table entry or pixel byte$', 'm'));
    }
  });

  test('every row, item, entry and byte number says what it counts from', async () => {
    await open(sample);
    assert.equal(await page.$eval('#counting', (counting) => counting.textContent),
                 'Rows, items, entries, bytes, x and y count from 0; report lines from 1, as ' +
                 'sed counts them.');
    // Each number of a line, row, item, entry or byte, and each x and y, is followed by what
    // it counts from before the next such number.
    const check = async (what) => {
      const {facts} = await inspected(page);
      const number = /\b(?:x [\d,]+(?: to [\d,]+)?, y [\d,]+|(?:line|row|item|entry|byte) [\d,]+\b)/g;
      for (const text of facts.split('\n')) {
        const found = [...text.matchAll(number)];
        found.forEach((match, i) => {
          const after = text.slice(match.index + match[0].length, found[i + 1]?.index);
          assert.match(after, /\(from [01]\b/, `${what}: ${match[0]} in ${text}`);
        });
      }
      assert.match(facts, /\(from [01]\)/, what);
    };
    await goToOffset(page, '148');
    await check('a pixel');
    await clickText(page, 47, 4);
    await check('an item');
    await clickText(page, 33, 2);
    await check('an entry');
    await clickText(page, 45, 2);
    await check('a line');
  });
});
