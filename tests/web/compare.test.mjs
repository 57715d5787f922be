// Comparing two files in the page, in Chromium, read from what is rendered: the core's
// lines, verdict and count shown, a difference lit in both files' bytes, the difference picture,
// n and p moving the focus, the pixel outlined in all three pictures however it is chosen,
// failures, a drop with no first file, and a comparison cancelled by the next.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {choosePixel, desktopSession, holdWorkersAt, inspectorSettled, inspected, pickToInspect,
        root, scratchDir} from './browser.mjs';
import {identical, samePicture} from './unit/comparisons.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const suite = (name) => path.join(root, 'tests/data/bmpsuite', name);

let page;
desktopSession(scratch, (started) => {
  ({page} = started);
});

// Drops a file of bytes named name on the compare box.
const drop = (name, bytes) => page.evaluate((name, bytes) => {
  const transfer = new DataTransfer();
  transfer.items.add(new File([new Uint8Array(bytes)], name));
  document.querySelector('#compare').dispatchEvent(new DragEvent('drop', {
    dataTransfer: transfer, bubbles: true, cancelable: true}));
}, name, [...bytes]);

// Gives the comparison its second file (a path, picked through input#compare-file, or [name,
// bytes], dropped on the compare box) and waits until it is under way; every state it takes
// from then on is recorded in window.compareStates.
async function startComparing(second) {
  await page.evaluate(() => {
    if (window.compareStates === undefined) {
      new MutationObserver(() => window.compareStates.push(document.body.dataset.compare))
          .observe(document.body, {attributeFilter: ['data-compare']});
    }
    window.compareStates = [];
  });
  if (typeof second === 'string') await (await page.$('input#compare-file')).uploadFile(second);
  else await drop(...second);
  await page.waitForFunction(() => window.compareStates.includes('comparing'));
}

// Resolves to the state (done or failed) the comparison under way settles in, its pictures drawn.
const settled = async () => (await page.waitForFunction(() => {
  const after = window.compareStates.slice(window.compareStates.lastIndexOf('comparing') + 1);
  const state = document.body.dataset.compare;
  return after.includes(state) && ['done', 'failed'].includes(state) &&
         document.querySelector('#compare-pictures').dataset.state !== 'drawing' && state;
}, {timeout: 60_000})).jsonValue();

async function compareWith(second) {
  await startComparing(second);
  return settled();
}

// What the comparison shows: its hooks, status, list, the selectable lines, the selected one and
// what is said of it, the focus, the pictures' state and note, the bytes views lit, the pixel.
const compared = () => page.evaluate(() => {
  const $ = (selector) => document.querySelector(selector);
  const all = (selector) => [...document.querySelectorAll(selector)];
  const lit = (selector) => all(`${selector} .selected`).map((span) => span.textContent);
  return {state: document.body.dataset.compare, verdict: $('#compare').dataset.verdict ?? null,
          pixels: $('#compare').dataset.pixels ?? null, status: $('#compare-status').textContent,
          lines: all('#compare-list li').map((item) => item.innerText),
          linked: all('#compare-list button.difference').map((button) => button.textContent),
          current: $('#compare-list [aria-current="true"]')?.textContent ?? null,
          focused: document.activeElement?.textContent ?? null, said: $('#compare-selected')
            .textContent, pictures: [$('#compare-pictures').dataset.state,
                                     $('#compare-pictures-note').textContent],
          hexA: $('#hex').hidden ? null : lit('#hex'),
          hexB: $('#hex-b-box').hidden ? null : lit('#hex-b'),
          captions: [$('#hex-caption').hidden ? null : $('#hex-caption').textContent,
                     $('#hex-b-caption').textContent],
          fields: [$('#pixel-x').value, $('#pixel-y').value]};
});

// Presses each key, or clicks each selector, and waits until the inspector shows what it chose.
async function select(...steps) {
  for (const step of steps) {
    if (step.startsWith('#')) await page.click(step);
    else await page.keyboard.press(step);
  }
  await inspectorSettled(page);
  return compared();
}

// The RGBA of canvas selector at the middle of picture pixel [x, y] of a 127 x 64 picture, or
// every pixel of the canvas when points is null.
const canvasAt = (selector, points) => page.evaluate((selector, points) => {
  const canvas = document.querySelector(selector);
  const copy = new OffscreenCanvas(canvas.width, canvas.height).getContext('2d');
  copy.drawImage(canvas, 0, 0);
  const data = copy.getImageData(0, 0, canvas.width, canvas.height).data;
  const at = ([x, y]) => {
    const p = 4 * (Math.floor((y + 0.5) * canvas.height / 64) * canvas.width +
                   Math.floor((x + 0.5) * canvas.width / 127));
    return Array.from(data.subarray(p, p + 4));
  };
  return points === null ? {data: Array.from(data), width: canvas.width} : points.map(at);
}, selector, points);

// pal8.bmp's pixel (10, 5) and rgb24.bmp's red byte of it (stored row 58 of 384 bytes), changed.
const kRgbOffset = 54 + 58 * 384 + 10 * 3 + 2;
function changedFile(name, offset) {
  const changed = fs.readFileSync(suite(name));
  changed[offset] ^= 0x01;
  fs.writeFileSync(file(`changed-${path.basename(name)}`), changed);
  return file(`changed-${path.basename(name)}`);
}

describe('what differs', () => {
  // Runs first, on the fresh page: no report done yet.
  test('a drop with no first file says why nothing happened; with one, the core\'s lines, ' +
       'verdict and count for identical files and the same picture stored otherwise',
       async () => {
         const pal8 = fs.readFileSync(suite('g/pal8.bmp'));
         await drop('second.bmp', pal8);
         assert.deepEqual(await page.evaluate(() => [document.body.dataset.compare,
           document.body.dataset.state, document.querySelector('#compare-status').textContent]),
         ['none', 'idle', 'second.bmp is not compared: there is no first file to compare it ' +
          'with until a file\'s report is done. Choose a BMP file, let its report finish, then ' +
          'drop second.bmp here again.']);
         await pickToInspect(page, suite('g/pal8.bmp'));
         // The core's answers on these pairs, as tests/web/comparisons.test.mjs holds them.
         const rows = [
           [['second.bmp', pal8], identical, 'pal8.bmp against second.bmp: identical bytes.'],
           [suite('pal8rle.bmp'), samePicture, 'pal8.bmp against pal8rle.bmp: same picture, ' +
            'different bytes; 0 pixels of 8,128 differ; 3 differences listed, n and p go from ' +
            'one to the next.']];
         for (const [second, {verdict, lines}, status] of rows) {
           assert.equal(await compareWith(second), 'done', status);
           const shown = await compared();
           assert.deepEqual([shown.verdict, shown.pixels, shown.status, shown.lines],
                            [verdict, '0', status, lines]);
           assert.equal(shown.linked.length, verdict === 'identical' ? 0 : 3, status);
         }
       });

  test('one pixel byte changed: bright on the difference picture, the files\' own colours ' +
       'beside it, and n lights it in both files\' bytes', async () => {
    const changed = changedFile('rgb24.bmp', kRgbOffset);
    const original = fs.readFileSync(suite('rgb24.bmp'));
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(changed), 'done');
    const shown = await compared();
    assert.deepEqual([shown.verdict, shown.pixels, shown.pictures], ['different', '1', ['shown',
      '127 × 64 pixels as the format defines them; pixels the format leaves undefined are ' +
      'hatched. Point at a picture to see the same pixel in all three; click one, or move the ' +
      'selected pixel with the arrow keys, to select it in A.']]);
    // Bright on the 8 x 8 block of (10, 5) alone, dimmed everywhere else.
    const {data, width} = await canvasAt('#compare-difference', null);
    let bright = 0;
    let brightest = 0;
    for (let p = 0; p < data.length; p += 4) {
      if (data[p] === 255 && data[p + 1] === 255 && data[p + 2] === 0) {
        bright += 1;
        assert.deepEqual([Math.floor(p / 4 / width / 8), Math.floor((p / 4 % width) / 8)], [5, 10]);
      } else {
        brightest = Math.max(brightest, data[p], data[p + 1], data[p + 2]);
      }
    }
    assert.equal(bright, 8 * 8);
    assert.ok(brightest <= 64 + 255 / 4, `dimmed up to ${brightest}`);
    const rgb = (bytes) => [bytes[kRgbOffset], bytes[kRgbOffset - 1], bytes[kRgbOffset - 2]];
    assert.deepEqual([(await canvasAt('#compare-a', [[10, 5]]))[0].slice(0, 3),
                      (await canvasAt('#compare-b', [[10, 5]]))[0].slice(0, 3)],
                     [rgb(original), rgb(fs.readFileSync(changed))]);
    const now = await select('n');
    await page.waitForFunction(() => !document.querySelector('#hex-b-box').hidden);
    const panel = await inspected(page);
    assert.deepEqual([panel.x, panel.y, panel.offset], ['10', '5', String(kRgbOffset - 2)]);
    assert.match(panel.facts, /^Difference\s+1 of 1 \(from 1\): pixel \(10, 5\): /);
    const pairs = (buffer) => [...buffer.subarray(kRgbOffset - 2, kRgbOffset + 1)]
      .map((byte) => byte.toString(16).padStart(2, '0'));
    assert.deepEqual([now.hexA, now.hexB, now.captions[1]],
                     [pairs(original), pairs(fs.readFileSync(changed)), 'B, changed-rgb24.bmp']);
    assert.deepEqual([now.said, now.focused], [`Difference 1 of 1: ${shown.linked[0]}`,
                                               shown.linked[0]]);
  });

  test('a difference picture that marks another count than the core\'s is said not exact',
       async () => {
         await pickToInspect(page, suite('rgb24.bmp'));
         // The comparing workers made to mark one pixel too many a row.
         const patched = async (on) => {
           for (const worker of page.workers()) {
             await worker.evaluate((on) => {
               if (typeof globalThis.markDifferences !== 'function') return;
               globalThis.exactMarks ??= globalThis.markDifferences;
               globalThis.markDifferences = on
                 ? (...args) => globalThis.exactMarks(...args) + 1 : globalThis.exactMarks;
             }, on).catch(() => {});
           }
         };
         await patched(true);
         try {
           assert.equal(await compareWith(changedFile('rgb24.bmp', kRgbOffset)), 'done');
         } finally {
           await patched(false);
         }
         const {pixels, pictures: [state, note]} = await compared();
         assert.deepEqual([pixels, state], ['1', 'inexact']);
         assert.ok(note.startsWith('The difference picture marks 2 pixels where the core counts ' +
                                   '1: it is not exact. The list and the count of differing ' +
                                   'pixels are the core\'s. 127 × 64 pixels'), note);
         assert.equal(await page.$eval('#compare-pictures', (box) => box.hidden), false);
       });

  test('a pixel an RLE run sets: its own byte lit in A and in the inspector, B\'s beside it',
       async () => {
         await pickToInspect(page, suite('pal8rle.bmp'));
         // Its line's words are the core's and the page module's (compare_text tests).
         assert.equal(await compareWith(changedFile('g/pal8.bmp', 8496)), 'done');
         const now = await select('p');
         const panel = await inspected(page);
         assert.deepEqual([panel.x, panel.y, panel.offset, panel.bytes, now.hexA, now.hexB],
                          ['10', '5', '8038', '3A', ['3a'], ['3b']]);
         // The items that print the byte that holds the pixel, not the run's first byte.
         assert.deepEqual(panel.marks.map(({text}) => text), ['3A ', '0xCC5533 ']);
       });
});

describe('moving among the differences', () => {
  // Each picture's outline relative to its canvas, [left, top, width, height], or null.
  const outlines = () => page.$$eval('.compare-mark', (all) => all.map((mark) => {
    const canvas = mark.parentElement.querySelector('canvas').getBoundingClientRect();
    const outline = mark.getBoundingClientRect();
    return mark.hidden ? null : [outline.left - canvas.left, outline.top - canvas.top,
                                 outline.width, outline.height].map(Math.round);
  }));
  // All three outlines around pixel [x, y], rings of 2 x 3 px kept inside, to a screen pixel.
  const outlinedAt = async ([x, y]) => {
    const box = await (await page.$('#compare-a')).boundingBox();
    const side = box.width / 127 + 12;
    const clamp = (value, high) => Math.round(Math.min(Math.max(value, 0), high));
    const expected = [clamp(x * box.width / 127 - 6, box.width - side),
                      clamp(y * box.width / 127 - 6, box.height - side), Math.round(side)];
    const shown = await outlines();
    assert.ok(shown.every((outline) => outline !== null && [0, 1, 2, 2].every((e, i) =>
      Math.abs(outline[i] - expected[e]) <= 1)), `${JSON.stringify(shown)} around ${x}, ${y}`);
  };
  const focusDrawn = () => page.evaluate(() => {
    const style = getComputedStyle(document.activeElement);
    return [document.activeElement.querySelector('canvas')?.id ?? document.activeElement.id,
            style.outlineStyle, style.outlineWidth];
  });

  test('n and p go round with the focus; a field B alone has; keys typed into a field are ' +
       'the field\'s; the pixel chosen by the fields, the arrows on a picture, a listed ' +
       'difference, a click or the pointer is outlined in all three pictures', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(suite('g/rgb16-565.bmp')), 'done');
    const {linked, pixels} = await compared();
    assert.deepEqual([linked.length, pixels, await outlines()], [18, '5212', [null, null, null]]);
    // From nothing, p goes to the last; n from the last round to the first, and on.
    for (const [key, at] of [['p', 17], ['n', 0], ['n', 1], ['p', 0], ['p', 17]]) {
      const now = await select(key);
      assert.deepEqual([now.current, now.focused, now.said],
                       [linked[at], linked[at], `Difference ${at + 1} of 18: ${linked[at]}`], key);
    }
    assert.deepEqual((await focusDrawn()).slice(1), ['solid', '3px']);
    // biRedMask: no bytes in A, B's lit; n typed into a field selects nothing.
    const field = await select('#compare-list li:nth-child(8) button');
    assert.deepEqual([field.current, field.hexA, field.hexB, field.captions],
                     [linked[6], null, ['e0', '07', '00', '00'],
                      ['A, rgb24.bmp: no bytes of it', 'B, rgb16-565.bmp']]);
    await page.focus('#go-offset');
    assert.equal((await select('n')).current, linked[6]);

    await choosePixel(page, 20, 30);
    await outlinedAt([20, 30]);
    // Tab from the list's last difference to the first picture, on to the third, then arrows;
    // at the edge they stop.
    await page.focus('#compare-list li:nth-child(20) button');
    await page.keyboard.press('Tab');
    assert.deepEqual((await focusDrawn()).slice(0, 2), ['compare-a', 'solid']);
    await page.keyboard.press('Tab');
    await page.keyboard.press('Tab');
    assert.deepEqual((await focusDrawn()).slice(0, 2), ['compare-difference', 'solid']);
    for (const [keys, fields] of [[['Shift+ArrowDown'], ['20', '40']], [['ArrowLeft'], ['19', '40']],
      [['Shift+ArrowDown', 'Shift+ArrowDown', 'Shift+ArrowDown'], ['19', '63']]]) {
      for (const key of keys) {
        if (key.startsWith('Shift+')) await page.keyboard.down('Shift');
        await page.keyboard.press(key.replace('Shift+', ''));
        await page.keyboard.up('Shift');
      }
      await inspectorSettled(page);
      assert.deepEqual((await compared()).fields, fields, keys.join());
    }
    assert.equal((await inspected(page)).focused, 'DIV');
    await outlinedAt([19, 63]);
    // A listed pixel: outlined, the arrows going on from it; a listed field: no outline.
    assert.match((await select('#compare-list li:nth-child(11) button')).current,
                 /^pixel \(3, 0\): /);
    await outlinedAt([3, 0]);
    await page.$eval('#compare-b', (canvas) => canvas.parentElement.focus());
    assert.deepEqual((await select('ArrowRight')).fields, ['4', '0']);
    await select('#compare-list li:nth-child(2) button');
    assert.deepEqual(await outlines(), [null, null, null]);
    // A click chooses a pixel (at whole screen pixels, as a click's are); the pointer outlines.
    const box = await (await page.$('#compare-b')).boundingBox();
    await page.mouse.click(Math.round(box.x + (7.5 * box.width) / 127),
                           Math.round(box.y + (2.5 * box.height) / 64));
    await inspectorSettled(page);
    assert.deepEqual((await compared()).fields, ['7', '2']);
    await page.mouse.move(0, 0);
    await outlinedAt([7, 2]);
    await page.mouse.move(box.x + (20.5 * box.width) / 127, box.y + (30.5 * box.height) / 64);
    assert.equal(await page.$eval('#compare-pointer', (line) => line.textContent),
                 'Pointer at x 20, y 30 (from 0), outlined in all three pictures.');
    await outlinedAt([20, 30]);
  });
});

describe('failures and cancels', () => {
  test('a failed or new second file drops the difference selected and B\'s bytes; a file ' +
       'not a BMP says which and why', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(suite('g/rgb16-565.bmp')), 'done');
    assert.equal((await select('p')).captions[1], 'B, rgb16-565.bmp');
    fs.writeFileSync(file('notes.txt'), 'not a bitmap\n');
    assert.equal(await compareWith(file('notes.txt')), 'failed');
    await inspectorSettled(page);
    const failed = await compared();
    assert.deepEqual([failed.status, failed.verdict, failed.pixels, failed.lines, failed.hexA,
                      failed.hexB, failed.current], ['B, notes.txt, is not a BMP file: it does ' +
                      'not start with BM. Choose another second file.', null, null, [], null,
                      null, null]);
    assert.equal(await page.$eval('#compare-status', (status) =>
      getComputedStyle(status).fontWeight), '600');
    const panel = await inspected(page);
    assert.deepEqual([panel.offset, panel.facts.match(/^To inspect\s+point at the picture, pick a /)
      ?.length], ['', 1]);
    // The next comparison starts with nothing selected; a new second file drops its selection.
    assert.equal(await compareWith(suite('pal8rle.bmp')), 'done');
    const next = await compared();
    assert.deepEqual([next.hexA, next.hexB, next.current, (await inspected(page)).offset],
                     [null, null, null, '']);
    assert.match((await select('n')).said, /^Difference 1 of 16: /);
    await startComparing(suite('g/pal8.bmp'));
    assert.equal((await compared()).hexB, null);
    assert.doesNotMatch((await inspected(page)).facts, /Difference/);
    assert.equal(await settled(), 'done');
  });

  test('a second file picked while a comparison runs takes its place; a new first file stops ' +
       'it', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    // The comparing worker, once it has compared: held before it compares again, so that the
    // comparison under way cannot end before the next pick, however fast the machine.
    assert.equal(await compareWith(suite('rgb24.bmp')), 'done');
    const next = [
      [() => page.$('input#compare-file').then((input) => input.uploadFile(
        suite('g/rgb16-565.bmp'))), ['comparing', 'comparing', 'done']],
      [() => pickToInspect(page, suite('g/pal8.bmp')), ['comparing', 'none', 'none']]];
    for (const [then, states] of next) {
      const hold = await holdWorkersAt(page, 'const comparison = core.compareFiles(');
      try {
        await startComparing(suite('g/pal8.bmp'));
        const comparing = await hold.paused;
        await then();
        if (states.at(-1) === 'done') {
          assert.equal(await settled(), 'done');
          assert.match((await compared()).status, /^rgb24\.bmp against rgb16-565\.bmp: /);
        }
        // The held worker was ended, not left to run on unheard, and never said it was done.
        await hold.ended(comparing);
        assert.deepEqual(await page.evaluate(() => window.compareStates), states);
      } finally {
        await hold.release();
      }
    }
    const shown = await compared();
    assert.deepEqual([shown.state, shown.lines], ['none', []]);
  });
});
