// Choosing in the inspector, in Chromium: the pointer over the picture beside a pinned
// selection, input#go-offset for every kind of byte, copying offsets and bytes (each button
// saying which), and a click on a piece's first character. Read from what is rendered.
import {AxePuppeteer} from '@axe-core/puppeteer';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapHeader} from './bitmaps.mjs';
import {choosePixel, clickText, desktopSession, goToOffset, inspected, litBytes, nativeReport,
        pick, pickToInspect, root, scratchDir, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const sample = path.join(root, 'samples/sample.bmp');
const hex = (bytes) => [...bytes].map((byte) => byte.toString(16).toUpperCase().padStart(2, '0'));

let page;
desktopSession(scratch, async (started) => {
  ({page} = started);
  await started.browser.defaultBrowserContext().overridePermissions(
    started.server.url, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
});

const open = (bmp) => pickToInspect(page, bmp);
const waitFor = (fn, arg) => page.waitForFunction(fn, {timeout: 5000}, arg);
// The bytes lit in the bytes view, in capitals (the view's own case is checked with the decoder).
const litUpper = async () => (await litBytes(page)).map((byte) => byte.toUpperCase());
const copyButtons = () => page.$$eval('#facts button.copy', (all) => all.map((button) =>
  [button.textContent, button.getAttribute('aria-label')]));

// Moves the pointer onto pixel x, y of a width x height picture, drawn in the middle of its box.
async function pointAt(x, y, width, height) {
  const box = await (await page.$('#picture')).boundingBox();
  const scale = Math.min(box.width / width, box.height / height);
  await page.mouse.move(box.x + (box.width - width * scale) / 2 + (x + 0.5) * scale,
                        box.y + (box.height - height * scale) / 2 + (y + 0.5) * scale, {steps: 3});
}

describe('the pointer beside a selection', () => {
  test('the panel says what its numbers count from; crossing the picture after a report item ' +
       'is chosen changes neither it nor its marks; with nothing pinned the panel follows it',
  async () => {
    const bmp = trueColorFile(file('hover.bmp'), 40, 30);
    await open(bmp);
    assert.equal(await page.$eval('#counting', (counting) => counting.textContent),
                 'Rows, items, entries, bytes, x and y count from 0; report lines from 1, as ' +
                 'sed counts them.');
    await waitFor(() => document.body.dataset.picture === 'shown');
    // The fourth item of the dump's second row: stored row 1, so pixel 3, 28.
    const line = nativeReport(bmp).text.split('\n').indexOf(' === Bitmap Data ===') + 3;
    await clickText(page, line, 1 + 3 * 14 + 5);
    const chosen = await inspected(page);
    assert.deepEqual([chosen.x, chosen.y, chosen.pixelX, chosen.pixelY, chosen.marks.map(
      (mark) => [mark.line, mark.column])], ['3', '28', '3', '28', [[line, 43]]]);
    const outline = await (await page.$('#picture-mark')).boundingBox();
    for (const [x, y] of [[32, 6], [0, 0], [39, 29], [20, 15]]) {
      await pointAt(x, y, 40, 30);
      await waitFor((want) => document.querySelector('#preview').textContent === want,
                    `Under the pointer: x ${x}, y ${y} (from 0). Click to choose it.`);
      assert.deepEqual(await inspected(page), chosen, `pointing at ${x}, ${y}`);
      assert.deepEqual(await (await page.$('#picture-mark')).boundingBox(), outline);
    }
    await pick(page, bmp);
    await waitFor(() => document.body.dataset.picture === 'shown' &&
                        !document.querySelector('#go-offset').disabled);
    await pointAt(32, 6, 40, 30);
    await waitFor(() => document.querySelector('#inspector').dataset.x === '32');
    const previewed = await inspected(page);
    assert.deepEqual([previewed.y, previewed.marks], ['6', []]);
    assert.match(previewed.facts, /^x 32, y 6 \(from 0, at the top left\)$/m);
  });
});

describe('input#go-offset', () => {
  test('selects the field, entry, pixel or other byte an offset typed is of, and lights it',
       async () => {
    // 3 x 2 at 24 bits: rows of 9 bytes padded to 12; the pixels from 60, six bytes after the
    // header; four bytes after the pixels.
    const roles = Buffer.concat([
      bitmapHeader({width: 3, height: 2, bits: 24, offBits: 60, fileSize: 54 + 6 + 24 + 4}),
      Buffer.from('gapgap'), Buffer.alloc(24, 0x7F), Buffer.from('tail')]);
    fs.writeFileSync(file('roles.bmp'), roles);
    const bytes = {[sample]: fs.readFileSync(sample), [file('roles.bmp')]: roles};
    const beyond = /^18,446,744,073,709,551,616 is beyond any file: offsets go up to 18,446,744,073,709,551,615 \(0xFFFFFFFFFFFFFFFF\)$/m;
    // [file, typed, offset and bytes shown, what the panel says, the first byte lit and count]
    for (const [bmp, typed, offset, said, from, count] of [
      [sample, '20', '18',
       /^Offset\n20 \(0x14\)[^]*^a byte of the header field biWidth\nHeader field\nbiWidth$/m, 18, 4],
      [sample, '0x4B', '74', /^a byte of colour-table entry 5 \(from 0\)$/m, 74, 4],
      [sample, '119', '119', /^a byte of the pixel x 1, y 3 \(from 0\)$/m, 119, 1],
      [sample, '150', '150', /^past the end of the file, which is 150 bytes long$/m, 150, 0],
      [sample, '18446744073709551616', '', beyond, 0, 0],
      [sample, '12a', '', /^an offset is a decimal number, or 0x and hex digits$/m, 0, 0],
      [sample, '18446744073709551615', '18446744073709551615',
       /^Offset\n18,446,744,073,709,551,615 \(0xF{16}\)/m, 0, 0],
      [file('roles.bmp'), '57', '57',
       /^between the header and colour table and the pixels, which start at 60$/m, 57, 1],
      [file('roles.bmp'), '69', '69',
       /^row padding: a byte that rounds stored row 0 \(from 0\) up to whole 32-bit words$/m, 69, 1],
      [file('roles.bmp'), '85', '85', /^past the stored pixels, which end at 84$/m, 85, 1]]) {
      if (typed === '20' || typed === '57') await open(bmp);
      await goToOffset(page, typed);
      const shown = await inspected(page);
      const stored = hex(bytes[bmp].subarray(from, from + count));
      assert.match(shown.facts, said, typed);
      assert.deepEqual([shown.offset, shown.bytes], [offset, offset && stored.join(' ')], typed);
      if (offset !== '' && count > 0) assert.deepEqual(await litUpper(), stored, typed);
      if (typed !== '119') assert.deepEqual(shown.marks, [], typed);
    }
    // The pixel's items are marked in both dumps, and its fields show it.
    await open(sample);
    await goToOffset(page, '119');
    const shown = await inspected(page);
    assert.deepEqual([shown.x, shown.y, shown.pixelX, shown.pixelY], ['1', '3', '1', '3']);
    assert.deepEqual(shown.marks.map((mark) => [mark.line, mark.column, mark.text]),
                     [[46, 4, '01 '], [53, 10, '0x111111 ']]);
    await goToOffset(page, '150');
    assert.equal(await page.$eval('#hex', (view) => view.hidden), true);
  });
});

describe('copying', () => {
  test('each offset and byte string, by pointer and by keyboard, each button named', async () => {
    await open(sample);
    await goToOffset(page, '148');
    const clipboard = () => page.evaluate(() => navigator.clipboard.readText());
    assert.deepEqual(await copyButtons(), [['Copy offset', 'Copy offset: 148 (offset)'],
                                           ['Copy offset', 'Copy offset: 148 (stored at)'],
                                           ['Copy bytes', 'Copy bytes: 0F (stored bytes)'],
                                           ['Copy offset', 'Copy offset: 114 (table entry)']]);
    await page.click('#facts button.copy[aria-label="Copy bytes: 0F (stored bytes)"]');
    assert.equal(await clipboard(), '0F');
    await page.focus('#facts button.copy[aria-label="Copy offset: 114 (table entry)"]');
    await page.keyboard.press('Enter');
    await waitFor(() => document.activeElement.textContent === 'Copied');
    assert.equal(await clipboard(), '114');
    // Large offsets are copied as their plain digits.
    await goToOffset(page, '0x10000');
    await page.click('#facts button.copy');
    assert.equal(await clipboard(), '65536');
  });

  test('an offset and bytes in one row: each button says which it copies, to assistive ' +
       'technology too', async () => {
    // Pixel 0, 0 of pal8rle.bmp is set by the absolute run at 8,656.
    await open(path.join(root, 'tests/data/bmpsuite/pal8rle.bmp'));
    await choosePixel(page, 0, 0);
    assert.deepEqual(await page.evaluate(() => [...[...document.querySelectorAll('#facts dt')]
      .find((dt) => dt.textContent === 'Set by').nextElementSibling.querySelectorAll('button')]
      .map((button) => button.textContent)), ['Copy offset', 'Copy bytes']);
    // Every copy button's name as read, each starting with what it shows, no two alike.
    const names = [];
    const walk = (node) => {
      if (node.role === 'button' && node.name.startsWith('Copy')) names.push(node.name);
      for (const child of node.children ?? []) walk(child);
    };
    walk(await page.accessibility.snapshot({root: await page.$('#inspector')}));
    for (const name of ['Copy offset: 8656 (set by)', 'Copy bytes: 00 18 05 05 0B 05 35 0B 35 ' +
                        '35 65 35 65 3B 6B 65 6B 65 9B 6B 9B 95 C5 9B C5 9B (set by)']) {
      assert.ok(names.includes(name), `${name} in ${names.join('; ')}`);
    }
    assert.equal(new Set(names).size, names.length, names.join('; '));
    assert.deepEqual((await copyButtons()).filter(([text, name]) => !name.startsWith(`${text}: `)),
                     []);
    const results = await new AxePuppeteer(page).include('#inspector').withTags(
      ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22a', 'wcag22aa']).analyze();
    assert.deepEqual(results.violations.map((violation) => violation.id), []);
  });
});

test('a click on a report piece\'s first character, a line end, chooses that line', async () => {
  await open(sample);
  const starts = await page.$$eval('#report > span', (pieces) => pieces.filter((piece) =>
    piece.textContent.startsWith('\n')).map((piece) => Number(piece.dataset.line)));
  assert.ok(starts.includes(1) && starts.length >= 2, String(starts));
  for (const line of starts) {
    await clickText(page, line, 0);
    assert.match((await inspected(page)).facts, new RegExp(`^line ${line} \\(from 1\\) prints ` +
                 'no header field, table entry or pixel byte$', 'm'), `line ${line}`);
  }
});
