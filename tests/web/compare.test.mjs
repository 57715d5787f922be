// Comparing two files in the page, in Chromium, read from what is rendered: the list against
// quillfen-compare's lines, the verdict and pixel count, a changed pixel bright on the
// difference picture and lit in both bytes views, n and p, the pointer in all three pictures,
// a second file that is not a BMP, a comparison cancelled by the next, the phone and axe-core.
import {AxePuppeteer} from '@axe-core/puppeteer';
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {choosePixel, desktopSession, holdWorkersAt, inspectorSettled, inspected, openPage,
        pickToInspect, root, scratchDir} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const suite = (name) => path.join(root, 'tests/data/bmpsuite', name);

let page;
const session = desktopSession(scratch, (started) => {
  ({page} = started);
});

// quillfen-compare's lines and exit status on two files.
function nativeCompare(a, b) {
  const run = spawnSync(`${root}build/quillfen-compare`, [a, b], {timeout: 30_000});
  if (run.error !== undefined) throw run.error;
  return {lines: run.stdout.toString().split('\n').filter((line) => line !== ''),
          status: run.status};
}

// Gives the comparison its second file through input#compare-file and waits until it is under
// way; every state it takes from then on is recorded in window.compareStates.
async function startComparing(target, second) {
  await target.evaluate(() => {
    if (window.compareStates === undefined) {
      new MutationObserver(() => window.compareStates.push(document.body.dataset.compare))
          .observe(document.body, {attributeFilter: ['data-compare']});
    }
    window.compareStates = [];
  });
  await (await target.$('input#compare-file')).uploadFile(second);
  await target.waitForFunction(() => window.compareStates.includes('comparing'));
}

// Resolves once the comparison under way has an answer (done or failed) and, when done, its
// pictures are settled: to that state.
async function settled(target) {
  const outcome = await (await target.waitForFunction(() => {
    const after = window.compareStates.slice(window.compareStates.lastIndexOf('comparing') + 1);
    const state = document.body.dataset.compare;
    return after.includes(state) && ['done', 'failed'].includes(state) &&
           document.querySelector('#compare-pictures').dataset.state !== 'drawing' && state;
  }, {timeout: 60_000})).jsonValue();
  return outcome;
}

async function compareWith(target, second) {
  await startComparing(target, second);
  return settled(target);
}

// What the comparison shows: its hooks, its status, its list (each line and whether it is a
// difference one can select), which is selected and what is said of it.
const compared = (target = page) => target.evaluate(() => {
  const section = document.querySelector('#compare');
  return {state: document.body.dataset.compare, verdict: section.dataset.verdict ?? null,
          pixels: section.dataset.pixels ?? null,
          status: document.querySelector('#compare-status').textContent,
          lines: [...document.querySelectorAll('#compare-list li')].map((item) => item.innerText),
          linked: [...document.querySelectorAll('#compare-list button.difference')]
            .map((button) => button.textContent),
          current: document.querySelector('#compare-list [aria-current="true"]')?.textContent ??
                   null,
          focused: document.activeElement?.textContent ?? null,
          said: document.querySelector('#compare-selected').textContent};
});

// The RGBA of canvas selector at the middle of picture pixel [x, y] of a width x height picture.
const canvasAt = (selector, width, height, points) => page.evaluate((selector, width, height,
                                                                     points) => {
  const canvas = document.querySelector(selector);
  const copy = new OffscreenCanvas(canvas.width, canvas.height).getContext('2d');
  copy.drawImage(canvas, 0, 0);
  const data = copy.getImageData(0, 0, canvas.width, canvas.height).data;
  const at = ([x, y]) => {
    const p = 4 * (Math.floor((y + 0.5) * canvas.height / height) * canvas.width +
                   Math.floor((x + 0.5) * canvas.width / width));
    return Array.from(data.subarray(p, p + 4));
  };
  return points === null ? {data: Array.from(data), width: canvas.width} : points.map(at);
}, selector, width, height, points);

const litHex = (selector) => page.$$eval(`${selector} .selected`, (spans) =>
  spans.map((span) => span.textContent));

describe('what differs', () => {
  test('the same picture stored otherwise: only the fields that differ, as the CLI lists them',
       async () => {
         await pickToInspect(page, suite('g/pal8.bmp'));
         for (const other of ['pal8rle.bmp', 'pal8topdown.bmp']) {
           assert.equal(await compareWith(page, suite(other)), 'done');
           const shown = await compared();
           const native = nativeCompare(suite('g/pal8.bmp'), suite(other));
           assert.equal(native.status, 1);
           assert.deepEqual(shown.lines, native.lines);
           assert.deepEqual([shown.verdict, shown.pixels], ['same-picture', '0']);
           assert.ok(native.lines.includes('verdict: same picture, different bytes'));
           // Every selectable line is a header field's; no pixel, no entry.
           assert.ok(shown.linked.length > 0);
           assert.deepEqual(shown.linked, native.lines.filter((line) =>
             /^[A-Za-z]+ \(\d+, \d+ bytes?\): /.test(line)));
           assert.match(shown.status, new RegExp(`^pal8\\.bmp against ${other.replace('.', '\\.')}` +
             ': same picture, different bytes; 0 pixels of 8,128 differ; \\d+ differences? ' +
             'listed, n and p go from one to the next\\.$'));
         }
         // A file against itself: identical, nothing to select.
         assert.equal(await compareWith(page, suite('g/pal8.bmp')), 'done');
         const same = await compared();
         assert.deepEqual([same.verdict, same.pixels, same.linked, same.lines],
                          ['identical', '0', [], nativeCompare(suite('g/pal8.bmp'),
                                                               suite('g/pal8.bmp')).lines]);
         assert.equal(same.status, 'pal8.bmp against pal8.bmp: identical bytes.');
       });

  test('one pixel byte changed: that pixel, bright on the difference picture, lit in both ' +
       'files\' bytes, both sides in the panel', async () => {
    // Pixel (10, 5) of the 127 x 64 bottom-up file: stored row 58 of 384 bytes; its red byte.
    const original = fs.readFileSync(suite('rgb24.bmp'));
    const offset = 54 + 58 * 384 + 10 * 3 + 2;
    const changed = Buffer.from(original);
    changed[offset] ^= 0x01;
    fs.writeFileSync(file('rgb24-changed.bmp'), changed);
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(page, file('rgb24-changed.bmp')), 'done');
    const shown = await compared();
    const native = nativeCompare(suite('rgb24.bmp'), file('rgb24-changed.bmp'));
    assert.deepEqual(shown.lines, native.lines);
    assert.deepEqual([shown.verdict, shown.pixels], ['different', '1']);
    assert.equal(shown.linked.length, 1);
    assert.match(shown.linked[0], /^pixel \(10, 5\): /);

    // The difference picture: bright at (10, 5), dimmed everywhere else.
    const {data, width} = await canvasAt('#compare-difference', 127, 64, null);
    const [inside] = await canvasAt('#compare-difference', 127, 64, [[10, 5]]);
    assert.deepEqual(inside, [255, 255, 0, 255]);
    let bright = 0;
    let brightest = 0;
    for (let p = 0; p < data.length; p += 4) {
      if (data[p] === 255 && data[p + 1] === 255 && data[p + 2] === 0) {
        bright += 1;
        assert.equal(Math.floor(p / 4 / width / 8), 5);
        assert.equal(Math.floor((p / 4 % width) / 8), 10);
      } else {
        brightest = Math.max(brightest, data[p], data[p + 1], data[p + 2]);
      }
    }
    assert.equal(bright, 8 * 8);
    assert.ok(brightest <= 64 + 255 / 4, `dimmed up to ${brightest}`);
    // The first two pictures are the files' own.
    const [a, b] = [await canvasAt('#compare-a', 127, 64, [[10, 5]]),
                    await canvasAt('#compare-b', 127, 64, [[10, 5]])];
    assert.deepEqual(a[0].slice(0, 3), [original[offset], original[offset - 1],
                                        original[offset - 2]]);
    assert.deepEqual(b[0].slice(0, 3), [changed[offset], changed[offset - 1],
                                        changed[offset - 2]]);

    // Selected by the keyboard: the pixel in both files.
    await page.keyboard.press('n');
    await inspectorSettled(page);
    await page.waitForFunction(() => !document.querySelector('#hex-b-box').hidden);
    const panel = await inspected(page);
    assert.deepEqual([panel.x, panel.y, panel.offset], ['10', '5', String(offset - 2)]);
    const pairs = (buffer) => [...buffer.subarray(offset - 2, offset + 1)]
      .map((byte) => byte.toString(16).padStart(2, '0'));
    assert.deepEqual(await litHex('#hex'), pairs(original));
    assert.deepEqual(await litHex('#hex-b'), pairs(changed));
    assert.match(panel.facts, /^Difference\s+1 of 1 \(from 1\): pixel \(10, 5\): /);
    const hex = (buffer) => [...buffer.subarray(offset - 2, offset + 1)]
      .map((byte) => byte.toString(16).toUpperCase().padStart(2, '0')).join(' ');
    assert.match(panel.facts, new RegExp(`A, rgb24\\.bmp\\s+#[0-9A-F]{6}, at 22,356, 3 bytes: ` +
                                         `${hex(original)}`));
    assert.match(panel.facts, new RegExp(`B, rgb24-changed\\.bmp\\s+#[0-9A-F]{6}, at 22,356, ` +
                                         `3 bytes: ${hex(changed)}`));
    assert.equal(await page.$eval('#hex-b-caption', (caption) => caption.textContent),
                 'B, rgb24-changed.bmp');
    const after = await compared();
    assert.equal(after.said, `Difference 1 of 1: ${shown.linked[0]}`);
    assert.equal(after.focused, shown.linked[0]);

    // The pointer over the difference picture: the same pixel outlined in all three.
    const box = await (await page.$('#compare-difference')).boundingBox();
    await page.mouse.move(box.x + (20.5 * box.width) / 127, box.y + (30.5 * box.height) / 64);
    assert.equal(await page.$eval('#compare-pointer', (line) => line.textContent),
                 'Pointer at x 20, y 30 (from 0), outlined in all three pictures.');
    const marks = await page.$$eval('.compare-mark', (all) => all.map((mark) => {
      const canvas = mark.parentElement.querySelector('canvas').getBoundingClientRect();
      const outline = mark.getBoundingClientRect();
      return mark.hidden ? null : [outline.left - canvas.left, outline.top - canvas.top,
                                   outline.width, outline.height].map(Math.round);
    }));
    assert.notEqual(marks[0], null);
    assert.deepEqual(marks, [marks[0], marks[0], marks[0]]);
    const scale = box.width / 127;
    assert.ok(Math.abs(marks[0][0] - (20 * scale - 6)) <= 1, `${marks[0]} at ${scale}`);
  });

  test('n and p go round the differences, the focus and the panel following', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(page, suite('g/rgb16-565.bmp')), 'done');
    const {linked, lines} = await compared();
    assert.deepEqual(lines, nativeCompare(suite('rgb24.bmp'), suite('g/rgb16-565.bmp')).lines);
    assert.equal(linked.length, 18);
    const step = async (key) => {
      await page.keyboard.press(key);
      await inspectorSettled(page);
      return compared();
    };
    // From nothing, p goes to the last; n from the last back to the first.
    let now = await step('p');
    assert.deepEqual([now.current, now.focused], [linked[17], linked[17]]);
    assert.equal(now.said, `Difference 18 of 18: ${linked[17]}`);
    now = await step('n');
    assert.deepEqual([now.current, now.focused], [linked[0], linked[0]]);
    now = await step('n');
    assert.equal(now.current, linked[1]);
    assert.equal((await step('p')).current, linked[0]);
    now = await step('p');
    assert.equal(now.current, linked[17]);
    // The focus, moved by a key, is drawn on the selected line.
    assert.deepEqual(await page.evaluate(() => {
      const style = getComputedStyle(document.activeElement);
      return [style.outlineStyle, style.outlineWidth];
    }), ['solid', '3px']);
    // A field only B's header has: no bytes in A, B's lit.
    await page.click('#compare-list li:nth-child(8) button');
    await inspectorSettled(page);
    await page.waitForFunction(() => !document.querySelector('#hex-b-box').hidden);
    assert.equal((await compared()).current, linked[6]);
    assert.equal(await page.$eval('#hex', (hex) => hex.hidden), true);
    assert.deepEqual(await litHex('#hex-b'), ['e0', '07', '00', '00']);
    assert.equal(await page.$eval('#hex-caption', (caption) => caption.textContent),
                 'A, rgb24.bmp: no bytes of it');
    // Keys typed into a field are the field's.
    await page.focus('#go-offset');
    await page.keyboard.press('n');
    assert.equal((await compared()).current, linked[6]);
  });
});

describe('what a selected difference shows', () => {
  // The inspector's panel, bytes views and captions, as rendered.
  const panelShown = () => page.evaluate(() => ({
    facts: document.querySelector('#facts').innerText,
    offset: document.querySelector('#inspector').dataset.offset,
    hexHidden: document.querySelector('#hex').hidden,
    captionHidden: document.querySelector('#hex-caption').hidden,
    hexBHidden: document.querySelector('#hex-b-box').hidden,
    hexB: document.querySelector('#hex-b').textContent,
    captionB: document.querySelector('#hex-b-caption').textContent}));
  const nothingCompared = {offset: '', hexHidden: true, captionHidden: true, hexBHidden: true,
                           hexB: '', captionB: ''};
  const selectWith = async (key) => {
    await page.keyboard.press(key);
    await inspectorSettled(page);
    await page.waitForFunction(() => !document.querySelector('#hex-b-box').hidden);
    return panelShown();
  };

  test('a new or failed second file drops the difference selected, and B\'s bytes', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(page, suite('g/rgb16-565.bmp')), 'done');
    const selected = await selectWith('p');
    assert.match(selected.facts, /^Difference\s+18 of 18 \(from 1\): /);
    assert.equal(selected.captionB, 'B, rgb16-565.bmp');
    fs.writeFileSync(file('notes.txt'), 'not a bitmap\n');
    assert.equal(await compareWith(page, file('notes.txt')), 'failed');
    await inspectorSettled(page);
    const failed = await panelShown();
    assert.match(failed.facts, /^To inspect\s+point at the picture, pick a pixel by its x and y /);
    assert.doesNotMatch(failed.facts, /Difference|rgb16-565/);
    assert.deepEqual({...failed, facts: undefined}, {...nothingCompared, facts: undefined});
    // The next comparison starts with nothing selected, and selects its own.
    assert.equal(await compareWith(page, suite('pal8rle.bmp')), 'done');
    assert.equal((await compared()).linked.length, 16);
    assert.deepEqual({...await panelShown(), facts: undefined},
                     {...nothingCompared, facts: undefined});
    const next = await selectWith('n');
    assert.match(next.facts, /^Difference\s+1 of 16 \(from 1\): /);
    assert.equal(next.captionB, 'B, pal8rle.bmp');
    // A new second file while a difference is selected: dropped as soon as it is picked.
    await startComparing(page, suite('g/pal8.bmp'));
    const replaced = await panelShown();
    assert.doesNotMatch(replaced.facts, /Difference/);
    assert.equal(replaced.hexBHidden, true);
    assert.equal(await settled(page), 'done');
  });

  test('a pixel an RLE run sets: its own byte lit and named, in the run, as the core says',
       async () => {
         // pal8.bmp's index byte of pixel (10, 5), which pal8rle.bmp sets in an absolute run.
         const changed = fs.readFileSync(suite('g/pal8.bmp'));
         changed[8496] ^= 0x01;
         fs.writeFileSync(file('pal8-changed.bmp'), changed);
         await pickToInspect(page, suite('pal8rle.bmp'));
         assert.equal(await compareWith(page, file('pal8-changed.bmp')), 'done');
         const {linked} = await compared();
         assert.equal(linked.at(-1), 'pixel (10, 5): #CC5533 (index 58) at 8,038 [3A] in the ' +
                                     'absolute run at 8,026 vs #FF5533 (index 59) at 8,496 [3B]');
         await selectWith('p');
         const panel = await inspected(page);
         assert.deepEqual([panel.x, panel.y, panel.offset, panel.bytes], ['10', '5', '8038', '3A']);
         assert.deepEqual(await litHex('#hex'), ['3a']);
         assert.deepEqual(await litHex('#hex-b'), ['3b']);
         assert.ok(panel.facts.includes('\nA, pal8rle.bmp\n#CC5533 (index 58), at 8,038, 1 byte: ' +
                                        '3A, in the absolute run at 8,026 Copy offset Copy bytes\n'));
         assert.ok(panel.facts.includes('\nB, pal8-changed.bmp\n#FF5533 (index 59), at 8,496, 1 ' +
                                        'byte: 3B Copy offset Copy bytes\n'));
         // The report marks the items that print the byte that holds the pixel (as a byte and
         // as a colour), not the run's first byte.
         assert.deepEqual(panel.marks.map(({text}) => text), ['3A ', '0xCC5533 ']);
       });
});

describe('the pixel in all three pictures', () => {
  // Each picture's outline, relative to its canvas: [left, top, width, height], or null when
  // hidden; and where the outline of pixel [x, y] belongs on the canvas of a 127-pixel-wide
  // picture (inspector_views.js's outlineBox: rings of 2 x 3 px around it, kept inside).
  const outlines = () => page.$$eval('.compare-mark', (all) => all.map((mark) => {
    const canvas = mark.parentElement.querySelector('canvas').getBoundingClientRect();
    const outline = mark.getBoundingClientRect();
    return mark.hidden ? null : [outline.left - canvas.left, outline.top - canvas.top,
                                 outline.width, outline.height].map(Math.round);
  }));
  const outlineOf = async ([x, y]) => {
    const box = await (await page.$('#compare-a')).boundingBox();
    const scale = box.width / 127;
    const side = scale + 12;
    const clamp = (value, high) => Math.round(Math.min(Math.max(value, 0), high));
    return [clamp(x * scale - 6, box.width - side), clamp(y * scale - 6, box.height - side),
            Math.round(side), Math.round(side)];
  };
  // All three outlines around pixel [x, y], to a screen pixel.
  const outlinedAt = async (pixel) => {
    const expected = await outlineOf(pixel);
    const shown = await outlines();
    assert.ok(shown.every((box) => box !== null && box.every((value, i) =>
      Math.abs(value - expected[i]) <= 1)), `${JSON.stringify(shown)} around ${pixel}`);
    assert.deepEqual(shown, [shown[0], shown[0], shown[0]]);
  };
  const fields = () => page.evaluate(() => [document.querySelector('#pixel-x').value,
                                            document.querySelector('#pixel-y').value]);

  test('chosen by the x and y fields, the arrow keys on a picture or a listed difference, ' +
       'the pixel is outlined in all three', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(page, suite('g/rgb16-565.bmp')), 'done');
    assert.deepEqual(await outlines(), [null, null, null]);
    await choosePixel(page, 20, 30);
    await outlinedAt([20, 30]);

    // Tab from the list's last difference to the first picture, then the arrows.
    await page.focus('#compare-list li:nth-child(20) button');
    await page.keyboard.press('Tab');
    const focused = () => page.evaluate(() => [
      document.activeElement.querySelector('canvas')?.id ?? document.activeElement.id,
      getComputedStyle(document.activeElement).outlineStyle]);
    assert.deepEqual(await focused(), ['compare-a', 'solid']);
    await page.keyboard.press('Tab');
    await page.keyboard.press('Tab');
    assert.deepEqual(await focused(), ['compare-difference', 'solid']);
    await page.keyboard.down('Shift');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.up('Shift');
    await inspectorSettled(page);
    assert.deepEqual(await fields(), ['20', '40']);
    await page.keyboard.press('ArrowLeft');
    await inspectorSettled(page);
    assert.deepEqual(await fields(), ['19', '40']);
    await outlinedAt([19, 40]);
    const panel = await inspected(page);
    assert.deepEqual([panel.x, panel.y, panel.focused], ['19', '40', 'DIV']);
    // At the edge the keys stop.
    await page.keyboard.down('Shift');
    for (let i = 0; i < 3; i += 1) await page.keyboard.press('ArrowDown');
    await page.keyboard.up('Shift');
    await inspectorSettled(page);
    assert.deepEqual(await fields(), ['19', '63']);

    // A listed pixel: outlined there; a listed field: no outline.
    await page.click('#compare-list li:nth-child(11) button');
    await inspectorSettled(page);
    assert.match((await compared()).current, /^pixel \(3, 0\): /);
    await outlinedAt([3, 0]);
    // The arrows go on from the difference's pixel.
    await page.$eval('#compare-b', (canvas) => canvas.parentElement.focus());
    await page.keyboard.press('ArrowRight');
    await inspectorSettled(page);
    assert.deepEqual(await fields(), ['4', '0']);
    await page.click('#compare-list li:nth-child(2) button');
    await inspectorSettled(page);
    assert.deepEqual(await outlines(), [null, null, null]);

    // A click on a picture chooses its pixel.
    const box = await (await page.$('#compare-b')).boundingBox();
    // At whole screen pixels, which a click's coordinates are.
    await page.mouse.click(Math.round(box.x + (7.5 * box.width) / 127),
                           Math.round(box.y + (2.5 * box.height) / 64));
    await inspectorSettled(page);
    assert.deepEqual(await fields(), ['7', '2']);
    await page.mouse.move(0, 0);
    await outlinedAt([7, 2]);
  });
});

describe('the difference picture against the core\'s count', () => {
  const pictures = () => page.evaluate(() => [
    document.querySelector('#compare-pictures').dataset.state,
    document.querySelector('#compare-pictures-note').textContent]);

  test('as many pixels marked as the core counts: shown as exact; otherwise said not to be',
       async () => {
         await pickToInspect(page, suite('rgb24.bmp'));
         assert.equal(await compareWith(page, suite('g/rgb16-565.bmp')), 'done');
         assert.equal((await compared()).pixels, '5212');
         assert.deepEqual(await pictures(), ['shown', '127 × 64 pixels as the format defines ' +
           'them; pixels the format leaves undefined are hatched. Point at a picture to see the ' +
           'same pixel in all three; click one, or move the selected pixel with the arrow keys, ' +
           'to select it in A.']);
         // The comparing workers made to mark one pixel too many a row.
         const changed = fs.readFileSync(suite('rgb24.bmp'));
         changed[54 + 58 * 384 + 32] ^= 0x01;
         fs.writeFileSync(file('rgb24-one.bmp'), changed);
         const patched = async (on) => {
           for (const worker of page.workers()) {
             // The worker's script declares it as a global function.
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
           assert.equal(await compareWith(page, file('rgb24-one.bmp')), 'done');
         } finally {
           await patched(false);
         }
         assert.equal((await compared()).pixels, '1');
         const [state, note] = await pictures();
         assert.equal(state, 'inexact');
         assert.ok(note.startsWith('The difference picture marks 2 pixels where the core counts ' +
                                   '1: it is not exact. The list and the count of differing ' +
                                   'pixels are the core\'s. 127 × 64 pixels'), note);
         assert.equal(await page.$eval('#compare-pictures', (box) => box.hidden), false);
       });
});

describe('failures and cancels', () => {
  test('a second file that is not a BMP fails, saying which and why', async () => {
    await pickToInspect(page, suite('g/pal8.bmp'));
    fs.writeFileSync(file('notes.txt'), 'not a bitmap\n');
    assert.equal(await compareWith(page, file('notes.txt')), 'failed');
    const shown = await compared();
    assert.equal(shown.status, 'B, notes.txt, is not a BMP file: it does not start with BM. ' +
                               'Choose another second file.');
    assert.deepEqual([shown.verdict, shown.pixels, shown.lines], [null, null, []]);
    assert.equal(await page.$eval('#compare-status', (status) =>
      getComputedStyle(status).fontWeight), '600');
  });

  test('pixels not compared are not counted, and the status says why', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    assert.equal(await compareWith(page, suite('q/rgb24jpeg.bmp')), 'done');
    const shown = await compared();
    assert.deepEqual([shown.verdict, shown.pixels], ['different', null]);
    assert.equal(shown.lines.at(-2), 'pixels: not compared: B: an embedded JPEG is named, not ' +
                                     'decoded');
    assert.ok(shown.status.startsWith('rgb24.bmp against rgb24jpeg.bmp: different pictures; ' +
                                      'the pixels were not compared (B: an embedded JPEG is ' +
                                      'named, not decoded); 27 differences listed'),
              shown.status);
  });

  test('a file dropped on the compare box with no first file says why nothing happened; with ' +
       'one, it is compared', async () => {
    const other = await openPage(session.browser, session.server.url, (opened) =>
      opened.setViewport({width: 1280, height: 900}));
    // Drops a file of bytes named name on the compare box.
    const drop = (name, bytes) => other.evaluate((name, bytes) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(bytes)], name));
      document.querySelector('#compare').dispatchEvent(new DragEvent('drop', {
        dataTransfer: transfer, bubbles: true, cancelable: true}));
    }, name, [...bytes]);
    const pal8 = fs.readFileSync(suite('g/pal8.bmp'));
    try {
      await drop('second.bmp', pal8);
      assert.deepEqual(await other.evaluate(() => [
        document.body.dataset.compare, document.body.dataset.state,
        document.querySelector('#compare-status').textContent]), [
        'none', 'idle', 'second.bmp is not compared: there is no first file to compare it with ' +
        'until a file\'s report is done. Choose a BMP file, let its report finish, then drop ' +
        'second.bmp here again.']);
      await pickToInspect(other, suite('g/pal8.bmp'));
      await other.evaluate(() => {
        window.compareStates = [];
        new MutationObserver(() => window.compareStates.push(document.body.dataset.compare))
            .observe(document.body, {attributeFilter: ['data-compare']});
      });
      await drop('second.bmp', pal8);
      assert.equal(await settled(other), 'done');
      assert.equal(await other.$eval('#compare-status', (status) => status.textContent),
                   'pal8.bmp against second.bmp: identical bytes.');
    } finally {
      await other.close();
    }
  });

  test('a second file picked while a comparison runs takes its place; a new first file stops ' +
       'it', async () => {
    await pickToInspect(page, suite('rgb24.bmp'));
    // The comparing worker, once it has compared: held before it compares again, so that the
    // comparison under way cannot end before the next pick, however fast the machine.
    assert.equal(await compareWith(page, suite('rgb24.bmp')), 'done');
    let hold = await holdWorkersAt(page, 'const comparison = core.compareFiles(');
    try {
      await startComparing(page, suite('g/pal8.bmp'));
      const comparing = await hold.paused;
      await (await page.$('input#compare-file')).uploadFile(suite('g/rgb16-565.bmp'));
      assert.equal(await settled(page), 'done');
      // Its worker was ended, not left to run on unheard.
      await hold.ended(comparing);
      const shown = await compared();
      assert.deepEqual(shown.lines, nativeCompare(suite('rgb24.bmp'),
                                                  suite('g/rgb16-565.bmp')).lines);
      assert.match(shown.status, /^rgb24\.bmp against rgb16-565\.bmp: /);
      // The first comparison never said it was done.
      assert.deepEqual(await page.evaluate(() => window.compareStates),
                       ['comparing', 'comparing', 'done']);
    } finally {
      await hold.release();
    }
    hold = await holdWorkersAt(page, 'const comparison = core.compareFiles(');
    try {
      await startComparing(page, suite('g/pal8.bmp'));
      const comparing = await hold.paused;
      await pickToInspect(page, suite('g/pal8.bmp'));
      await hold.ended(comparing);
      const after = await compared();
      assert.equal(after.state, 'none');
      assert.deepEqual(after.lines, []);
      // Cleared when the new file was picked, and again when its report was done.
      assert.deepEqual(await page.evaluate(() => window.compareStates),
                       ['comparing', 'none', 'none']);
    } finally {
      await hold.release();
    }
  });
});

describe('layout and accessibility', () => {
  test('on a phone the three pictures stack, and nothing is wider than the screen', async () => {
    const phone = await openPage(session.browser, session.server.url, (opened) =>
      opened.emulate({viewport: {width: 390, height: 844, isMobile: true, hasTouch: true},
                      userAgent: ''}));
    try {
      await pickToInspect(phone, suite('g/pal8.bmp'));
      assert.equal(await compareWith(phone, suite('pal8rle.bmp')), 'done');
      const boxes = await phone.$$eval('#compare-pictures canvas', (canvases) =>
        canvases.map((canvas) => canvas.getBoundingClientRect().toJSON()));
      assert.equal(new Set(boxes.map((box) => Math.round(box.left))).size, 1);
      assert.ok(boxes[0].bottom <= boxes[1].top && boxes[1].bottom <= boxes[2].top);
      assert.ok(boxes.every((box) => box.width > 300));
      assert.ok(await phone.evaluate(() =>
        document.documentElement.scrollWidth <= document.documentElement.clientWidth));
    } finally {
      await phone.close();
    }
  });

  test('no WCAG 2.2 A or AA violation while comparing, compared or failed, light or dark',
       async () => {
         const found = [];
         for (const scheme of ['light', 'dark']) {
           const checked = await openPage(session.browser, session.server.url, async (opened) => {
             await opened.setViewport({width: 1280, height: 900});
             await opened.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
           });
           const check = async (where) => {
             const results = await new AxePuppeteer(checked)
                                 .withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa',
                                            'wcag22a', 'wcag22aa']).analyze();
             found.push(...results.violations.map((violation) => `${scheme} ${where}: ` +
               `${violation.id}: ${violation.nodes.map((node) => node.target.join(' '))
                 .join(', ')}`));
           };
           try {
             await pickToInspect(checked, suite('q/pal8rletrns.bmp'));
             await check('ready to compare');
             await startComparing(checked, suite('g/pal8.bmp'));
             await check('comparing');
             assert.equal(await settled(checked), 'done');
             await check('compared');
             await checked.keyboard.press('p');
             await inspectorSettled(checked);
             await check('a pixel difference selected');
             fs.writeFileSync(file('axe.txt'), 'text');
             assert.equal(await compareWith(checked, file('axe.txt')), 'failed');
             await check('failed');
           } finally {
             await checked.close();
           }
         }
         assert.deepEqual(found, []);
       });
});
