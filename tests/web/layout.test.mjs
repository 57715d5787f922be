// The inspector and the comparison on screen, in Chromium: the pinned pixel's outline (width,
// contrast, inside the picture), the phone (the panel in view after a tap, a link to the mark,
// labels above values, no word broken, the three pictures stacked), wrapped dump rows as wide as
// the report, the bytes view at 1280 px, and axe-core (WCAG 2.2 A and AA) in every state of the
// inspector and the comparison, light and dark, on a phone and a desktop.
import {AxePuppeteer} from '@axe-core/puppeteer';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapFile, choosePixel, clickText, desktopSession, goToOffset, inspectorSettled,
        openPage, pickToInspect, root, scratchDir, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const suite = (name) => path.join(root, 'tests/data/bmpsuite', name);
const sample = path.join(root, 'samples/sample.bmp');
const kPhone = {width: 390, height: 844, isMobile: true, hasTouch: true};
const kDesktop = {width: 1280, height: 900};

let page;
const session = desktopSession(scratch, (started) => {
  ({page} = started);
});

// Opens a page of its own on viewport, in a colour scheme; run(opened) and it is closed (a page
// left open would keep the others in the background, where nothing is drawn).
async function onOwnPage(viewport, scheme, run) {
  const opened = await openPage(session.browser, session.server.url, async (fresh) => {
    await fresh.emulate({viewport, userAgent: ''});
    await fresh.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
  });
  try {
    await run(opened);
  } finally {
    await opened.close();
  }
}

// Gives the comparison a second file, when one is given, and waits until it is under way or
// beyond; when outcome is given, until it settles there, its pictures drawn.
async function compareWith(target, second, outcome = null) {
  if (second !== null) await (await target.$('input#compare-file')).uploadFile(second);
  await target.waitForFunction((outcome) => {
    const state = document.body.dataset.compare;
    return outcome === null ? state !== 'none'
      : state === outcome && document.querySelector('#compare-pictures').dataset.state !==
                             'drawing';
  }, {timeout: 60_000}, outcome);
}

// Black and white: any colour has a contrast of at least 4.58 with one of them.
test('the pinned pixel\'s outline is two rings of 3 px, black and white, inside the picture at ' +
     'its edges', async () => {
  for (const [width, height] of [[40, 30], [640, 480]]) {
    await pickToInspect(page, trueColorFile(file(`outline-${width}.bmp`), width, height));
    assert.equal(await page.evaluate(() => document.body.dataset.picture), 'shown');
    for (const [x, y] of [[0, 0], [width - 1, height - 1], [width - 1, 0], [width / 2,
                                                                            height / 2]]) {
      await choosePixel(page, x, y);
      const seen = await page.evaluate((x, y, width, height) => {
        const canvas = document.querySelector('#picture').getBoundingClientRect();
        const scale = Math.min(canvas.width / width, canvas.height / height);
        const left = canvas.left + (canvas.width - width * scale) / 2;
        const top = canvas.top + (canvas.height - height * scale) / 2;
        const mark = document.querySelector('#picture-mark');
        const style = getComputedStyle(mark);
        const box = mark.getBoundingClientRect();
        return {picture: {left, top, right: left + width * scale, bottom: top + height * scale},
                pixel: {left: left + x * scale, top: top + y * scale,
                        right: left + (x + 1) * scale, bottom: top + (y + 1) * scale},
                box: {left: box.left, top: box.top, right: box.right, bottom: box.bottom},
                display: style.display, border: style.borderTopColor, shadow: style.boxShadow,
                borders: [style.borderTopWidth, style.borderRightWidth, style.borderBottomWidth,
                          style.borderLeftWidth].map(parseFloat)};
      }, x, y, width, height);
      const where = `${width} x ${height}, pixel ${x}, ${y}: ${JSON.stringify(seen)}`;
      assert.deepEqual([seen.display, seen.borders, seen.border, seen.shadow],
                       ['block', [3, 3, 3, 3], 'rgb(0, 0, 0)',
                        'rgb(255, 255, 255) 0px 0px 0px 3px inset'], where);
      const within = (inner, outer) => inner.left >= outer.left - 0.5 &&
        inner.top >= outer.top - 0.5 && inner.right <= outer.right + 0.5 &&
        inner.bottom <= outer.bottom + 0.5;
      assert.ok(within(seen.box, seen.picture) && within(seen.pixel, seen.box), where);
    }
  }
});

test('on a phone, after a tap the panel is in view, a link leads to the mark, labels stand ' +
     'above values, no value is broken inside a word, and the compared pictures stack',
     () => onOwnPage(kPhone, 'light', async (phone) => {
       await pickToInspect(phone, trueColorFile(file('phone.bmp'), 40, 30));
       const box = await (await phone.$('#picture')).boundingBox();
       const scale = Math.min(box.width / 40, box.height / 30);
       await phone.touchscreen.tap(box.x + (box.width - 40 * scale) / 2 + 12.5 * scale,
                                   box.y + (box.height - 30 * scale) / 2 + 7.5 * scale);
       await inspectorSettled(phone);
       const seen = await phone.evaluate(() => {
         const panel = document.querySelector('#inspector').getBoundingClientRect();
         const link = document.querySelector('#to-mark');
         const pairs = [...document.querySelectorAll('#facts dt')].map((dt) => {
           const [t, d] = [dt.getBoundingClientRect(),
                           dt.nextElementSibling.getBoundingClientRect()];
           return {label: dt.textContent, above: d.top >= t.bottom - 1 &&
                   Math.abs(d.left - t.left) < 1};
         });
         const broken = [];
         for (const dd of document.querySelectorAll('#facts dd')) {
           const walker = document.createTreeWalker(dd, NodeFilter.SHOW_TEXT);
           for (let node = walker.nextNode(); node !== null; node = walker.nextNode()) {
             for (const word of node.data.matchAll(/\S+/g)) {
               const range = document.createRange();
               range.setStart(node, word.index);
               range.setEnd(node, word.index + word[0].length);
               const tops = new Set([...range.getClientRects()].map((rect) =>
                 Math.round(rect.top)));
               if (tops.size > 1) broken.push(word[0]);
             }
           }
         }
         return {x: document.querySelector('#inspector').dataset.x, panelTop: panel.top,
                 inView: panel.top >= 0 && panel.top < innerHeight, linkShown: !link.hidden,
                 target: document.querySelector(link.getAttribute('href'))?.tagName, pairs,
                 broken};
       });
       assert.deepEqual([seen.x, seen.inView, seen.linkShown, seen.target],
                        ['12', true, true, 'MARK'], `the panel's top at ${seen.panelTop}`);
       assert.ok(seen.pairs.length >= 5);
       assert.deepEqual([seen.pairs.filter((pair) => !pair.above), seen.broken], [[], []]);
       await phone.click('#to-mark');
       await phone.waitForFunction(() => {
         const mark = document.querySelector('#report-mark').getBoundingClientRect();
         return mark.top >= 0 && mark.bottom <= innerHeight;
       }, {timeout: 5000});
       // The comparison's three pictures, one above the other, nothing wider than the screen.
       await pickToInspect(phone, suite('g/pal8.bmp'));
       await compareWith(phone, suite('pal8rle.bmp'), 'done');
       const boxes = await phone.$$eval('#compare-pictures canvas', (canvases) =>
         canvases.map((canvas) => canvas.getBoundingClientRect().toJSON()));
       assert.equal(new Set(boxes.map((picture) => Math.round(picture.left))).size, 1);
       assert.ok(boxes[0].bottom <= boxes[1].top && boxes[1].bottom <= boxes[2].top);
       assert.ok(boxes.every((picture) => picture.width > 300));
       assert.ok(await phone.evaluate(() =>
         document.documentElement.scrollWidth <= document.documentElement.clientWidth));
     }));

// How each kind of dump's first row is laid out, read from the boxes of its characters: the
// report's content box, the row's piece, where its first visual line breaks, how much room is
// left after that line's last item, and one item's width; by item width in characters.
const dumpRowLayouts = () => page.evaluate(() => {
  const pre = document.querySelector('#report');
  const style = getComputedStyle(pre);
  const contentRight = pre.getBoundingClientRect().left + pre.clientLeft + pre.clientWidth -
                       parseFloat(style.paddingRight);
  const layouts = {};
  for (const piece of pre.querySelectorAll('span.dump')) {
    const chars = Number(piece.dataset.item);
    if (layouts[chars] !== undefined) continue;
    const node = piece.firstChild;
    const start = node.data.indexOf('[');
    const end = node.data.indexOf('\n', start);
    const box = (from, to) => {
      const range = document.createRange();
      range.setStart(node, from);
      range.setEnd(node, to);
      return range.getBoundingClientRect();
    };
    const top = box(start, start + 1).top;
    let next = end;
    for (let at = start + 1; at < end && next === end; at += 1) {
      if (box(at, at + 1).top > top + 1) next = at;
    }
    const itemWidth = box(start + 1, start + 1 + chars).width;
    const lineEnd = box(start, start + 1).left + (next - start) * itemWidth / chars;
    layouts[chars] = {wraps: next < end, itemsOnLine: (next - start - 1) / chars,
                      room: contentRight - lineEnd, itemWidth,
                      pieceInside: piece.getBoundingClientRect().right <= contentRight + 0.5};
  }
  return layouts;
});

// At width (or as the page is), after two frames: any resize followed and the page drawn since.
async function layoutsAt(width = null) {
  if (width !== null) await page.setViewport({width, height: 1000});
  await page.waitForFunction(() => new Promise((resolve) =>
    requestAnimationFrame(() => requestAnimationFrame(() => resolve(true)))), {timeout: 5000});
  return dumpRowLayouts();
}

test('wrapped dump rows fill the report box to within one item at two widths, breaking ' +
     'between items; the switch unwraps them', async () => {
  const filled = (layouts, where) => {
    assert.ok(Object.keys(layouts).length > 0, where);
    for (const [chars, row] of Object.entries(layouts)) {
      const what = `${where}, items of ${chars}: ${JSON.stringify(row)}`;
      assert.ok(row.wraps && row.pieceInside && row.room < row.itemWidth, what);
      assert.ok(Number.isInteger(row.itemsOnLine) && row.itemsOnLine >= 1, what);
    }
  };
  try {
    for (const bmp of [suite('rgb24.bmp'), bitmapFile(file('wide-8.bmp'), 8, 300, 4)]) {
      await page.setViewport({width: 1400, height: 1000});
      await pickToInspect(page, bmp);
      for (const width of [1400, 1200]) {
        filled(await layoutsAt(width), `${path.basename(bmp)} at ${width} px`);
      }
    }
    await page.click('#wrap');
    for (const row of Object.values(await layoutsAt())) {
      assert.deepEqual([row.wraps, row.pieceInside], [false, false]);
    }
    await page.click('#wrap');
    filled(await layoutsAt(), 'wrapped again at 1200 px');
  } finally {
    await page.setViewport(kDesktop);
  }
});

test('the bytes view is whole at 1280 px and can be focused', async () => {
  await pickToInspect(page, sample);
  await choosePixel(page, 7, 0);
  const hex = await page.$eval('#hex', (pre) => [pre.hidden, pre.tabIndex, pre.scrollWidth,
                                                 pre.clientWidth]);
  assert.deepEqual(hex.slice(0, 2), [false, 0]);
  assert.ok(hex[2] <= hex[3], `${hex[2]} px of text in ${hex[3]}`);
});

describe('accessibility', () => {
  test('no WCAG 2.2 A or AA violation in any state of the inspector or the comparison, light ' +
       'or dark, phone or desktop', async () => {
    const cut = fs.readFileSync(bitmapFile(file('axe-cut.bmp'), 8, 7, 5));
    fs.writeFileSync(file('axe-cut.bmp'), cut.subarray(0, cut.length - 20));
    fs.writeFileSync(file('axe.txt'), 'text');
    const long = trueColorFile(file('axe-long.bmp'), 1000, 400);
    const found = [];
    for (const scheme of ['light', 'dark']) {
      for (const [device, viewport] of [['phone', kPhone], ['desktop', kDesktop]]) {
        await onOwnPage(viewport, scheme, async (checked) => {
          const check = async (where) => {
            const results = await new AxePuppeteer(checked).withTags([
              'wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22a', 'wcag22aa']).analyze();
            found.push(...results.violations.map((violation) => `${scheme} ${device} ${where}: ` +
              `${violation.id}: ${violation.nodes.map((node) => node.target.join(' '))
                .join(', ')}`));
          };
          const settled = () => inspectorSettled(checked);
          const steps = [
            ['opened', () => pickToInspect(checked, sample)],
            ['a pixel', () => choosePixel(checked, 3, 1)],
            ['a field', () => clickText(checked, 15, 3)],
            ['an item', () => clickText(checked, 47, 4)],
            ['an offset beyond any file', () => goToOffset(checked, '0x1234567890123456789')],
            ['items past the end', async () => {
              await pickToInspect(checked, file('axe-cut.bmp'));
              await choosePixel(checked, 0, 0);
            }],
            ['excerpts', async () => {
              await pickToInspect(checked, long);
              await choosePixel(checked, 0, 0);
            }],
            ['the pointer beside a pixel', async () => {
              const box = await (await checked.$('#picture')).boundingBox();
              await checked.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
              await checked.waitForFunction(() => !document.querySelector('#preview').hidden,
                                            {timeout: 5000});
            }, 'desktop'],
            // The format's picture, its hatch and legend; an RLE pixel no command sets, whose
            // colours differ; the map strip focused, and a region chosen from it.
            ['the format\'s picture', async () => {
              await pickToInspect(checked, suite('q/pal4rletrns.bmp'));
              await checked.click('#picture-quillfen');
              await checked.waitForFunction(() =>
                document.querySelector('#picture').dataset.source === 'quillfen');
            }],
            ['a skipped pixel', () => choosePixel(checked, 27, 21)],
            ['the map strip', async () => {
              await checked.focus('#map-strip');
              await checked.keyboard.press('ArrowRight');
            }],
            ['a region of the map', () => checked.keyboard.press('Enter').then(settled)],
            ['comparing', () => compareWith(checked, suite('g/pal8.bmp'))],
            ['compared', () => compareWith(checked, null, 'done')],
            ['a pixel difference selected', () => checked.keyboard.press('p').then(settled)],
            ['a second file not a BMP', () => compareWith(checked, file('axe.txt'), 'failed')]];
          for (const [where, step, only = device] of steps) {
            if (only !== device) continue;
            await step();
            await check(where);
          }
        });
      }
    }
    assert.deepEqual(found, []);
  });
});
