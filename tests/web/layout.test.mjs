// The inspector on screen, in Chromium: the pinned pixel's outline (width, contrast, inside the
// picture), the phone (the panel in view after a tap, a link to the mark, labels above values,
// no word broken), wrapped dump rows as wide as the report, the bytes view at 1280 px, and
// axe-core (WCAG 2.2 A and AA) in every state of the inspector, light and dark, on a phone and
// a desktop.
import {AxePuppeteer} from '@axe-core/puppeteer';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {bitmapFile, choosePixel, clickText, desktopSession, goToOffset, inspectorSettled,
        openPage, pickToInspect, root, scratchDir, trueColorFile} from './browser.mjs';

const scratch = scratchDir();
const file = (name) => path.join(scratch, name);
const sample = path.join(root, 'samples/sample.bmp');
const kPhone = {width: 390, height: 844, isMobile: true, hasTouch: true};
const kDesktop = {width: 1280, height: 900};

let page;
const session = desktopSession(scratch, (started) => {
  ({page} = started);
});

const open = pickToInspect;

// The relative luminance of an sRGB colour, and the contrast of two, as WCAG defines them.
const luminance = (rgb) => {
  const [r, g, b] = rgb.map((value) => {
    const c = value / 255;
    return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
};
const contrast = (a, b) => {
  const [high, low] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (high + 0.05) / (low + 0.05);
};
const rgbOf = (css) => css.match(/\d+(\.\d+)?/g).slice(0, 3).map(Number);

describe('the outline of the pinned pixel', () => {
  test('is two rings of at least 3 px, one of which stands out on any colour, inside the ' +
       'picture at its edges', async () => {
    for (const [width, height] of [[40, 30], [640, 480]]) {
      const bmp = trueColorFile(file(`outline-${width}.bmp`), width, height);
      await open(page, bmp);
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
                  display: style.display,
                  borders: [style.borderTopWidth, style.borderRightWidth, style.borderBottomWidth,
                            style.borderLeftWidth].map(parseFloat),
                  border: style.borderTopColor, shadow: style.boxShadow};
        }, x, y, width, height);
        const where = `${width} x ${height}, pixel ${x}, ${y}`;
        assert.equal(seen.display, 'block', where);
        assert.ok(seen.borders.every((border) => border >= 3), `${where}: ${seen.borders}`);
        const inset = /^(rgba?\([^)]*\)) 0px 0px 0px (\d+(\.\d+)?)px inset$/.exec(seen.shadow);
        assert.ok(inset !== null && Number(inset[2]) >= 3, `${where}: ${seen.shadow}`);
        const rings = [rgbOf(seen.border), rgbOf(inset[1])];
        for (let r = 0; r < 256; r += 15) {
          for (let g = 0; g < 256; g += 15) {
            for (let b = 0; b < 256; b += 15) {
              const best = Math.max(...rings.map((ring) => contrast([r, g, b], ring)));
              assert.ok(best >= 3, `${where}: the outline on ${r}, ${g}, ${b}: ${best}`);
            }
          }
        }
        const within = (inner, outer) => inner.left >= outer.left - 0.5 &&
          inner.top >= outer.top - 0.5 && inner.right <= outer.right + 0.5 &&
          inner.bottom <= outer.bottom + 0.5;
        assert.ok(within(seen.box, seen.picture), `${where}: ${JSON.stringify(seen)}`);
        assert.ok(within(seen.pixel, seen.box), `${where}: ${JSON.stringify(seen)}`);
      }
    }
  });
});

describe('a phone', () => {
  test('after a tap the panel is in view, a link leads to the mark, labels stand above ' +
       'values, and no value is broken inside a word', async () => {
    const phone = await openPage(session.browser, session.server.url, (opened) =>
      opened.emulate({viewport: kPhone, userAgent: ''}));
    // A page left open would keep the others in the background, where nothing is drawn.
    try {
      await tapAndRead(phone);
    } finally {
      await phone.close();
    }
  });
});

// Taps a pixel on the phone and checks the panel, the link to the mark, and the facts' layout.
async function tapAndRead(phone) {
  const bmp = trueColorFile(file('phone.bmp'), 40, 30);
  await open(phone, bmp);
  const box = await (await phone.$('#picture')).boundingBox();
  const scale = Math.min(box.width / 40, box.height / 30);
  await phone.touchscreen.tap(box.x + (box.width - 40 * scale) / 2 + 12.5 * scale,
                              box.y + (box.height - 30 * scale) / 2 + 7.5 * scale);
  await inspectorSettled(phone);
  const seen = await phone.evaluate(() => {
    const panel = document.querySelector('#inspector').getBoundingClientRect();
    const link = document.querySelector('#to-mark');
    const target = document.querySelector(link.getAttribute('href'));
    const pairs = [...document.querySelectorAll('#facts dt')].map((dt) => {
      const dd = dt.nextElementSibling;
      const [t, d] = [dt.getBoundingClientRect(), dd.getBoundingClientRect()];
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
          const tops = new Set([...range.getClientRects()].map((rect) => Math.round(rect.top)));
          if (tops.size > 1) broken.push(word[0]);
        }
      }
    }
    return {x: document.querySelector('#inspector').dataset.x, panelTop: panel.top,
            inView: panel.top >= 0 && panel.top < innerHeight, linkShown: !link.hidden,
            target: target?.tagName, pairs, broken};
  });
  assert.equal(seen.x, '12');
  assert.ok(seen.inView, `the panel's top at ${seen.panelTop}`);
  assert.deepEqual([seen.linkShown, seen.target], [true, 'MARK']);
  assert.ok(seen.pairs.length >= 5);
  assert.deepEqual(seen.pairs.filter((pair) => !pair.above), []);
  assert.deepEqual(seen.broken, []);
  await phone.click('#to-mark');
  await phone.waitForFunction(() => {
    const mark = document.querySelector('#report-mark').getBoundingClientRect();
    return mark.top >= 0 && mark.bottom <= innerHeight;
  }, {timeout: 5000});
}

// How each kind of dump's first row is laid out, read from the boxes of its characters: the
// report's content box, the row's piece, where its first visual line breaks, how much room is
// left after that line's last item, and one item's width; by item width in characters.
const dumpRowLayouts = (page) => page.evaluate(() => {
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
    for (let at = start + 1; at < end; at += 1) {
      if (box(at, at + 1).top > top + 1) {
        next = at;
        break;
      }
    }
    const itemWidth = box(start + 1, start + 1 + chars).width;
    const lineEnd = box(start, start + 1).left + (next - start) * itemWidth / chars;
    layouts[chars] = {wraps: next < end, itemsOnLine: (next - start - 1) / chars,
                      room: contentRight - lineEnd, itemWidth,
                      pieceInside: piece.getBoundingClientRect().right <= contentRight + 0.5};
  }
  return layouts;
});

// Two frames: any resize has been followed and the page drawn since.
const twoFrames = (page) => page.waitForFunction(() => new Promise((resolve) =>
  requestAnimationFrame(() => requestAnimationFrame(() => resolve(true)))), {timeout: 5000});

describe('wrapped dump rows', () => {
  test('fill the report box to within one item at two widths, breaking between items; the ' +
       'switch unwraps them', async () => {
    const files = [path.join(root, 'tests/data/bmpsuite/rgb24.bmp'),
                   bitmapFile(file('wide-8.bmp'), 8, 300, 4)];
    const filled = (layouts, where) => {
      assert.ok(Object.keys(layouts).length > 0, where);
      for (const [chars, row] of Object.entries(layouts)) {
        const what = `${where}, items of ${chars}: ${JSON.stringify(row)}`;
        assert.equal(row.wraps, true, what);
        assert.ok(Number.isInteger(row.itemsOnLine) && row.itemsOnLine >= 1, what);
        assert.ok(row.room < row.itemWidth, what);
        assert.ok(row.pieceInside, what);
      }
    };
    try {
      for (const bmp of files) {
        await page.setViewport({width: 1400, height: 1000});
        await open(page, bmp);
        await twoFrames(page);
        filled(await dumpRowLayouts(page), `${path.basename(bmp)} at 1400 px`);
        await page.setViewport({width: 1200, height: 1000});
        await twoFrames(page);
        filled(await dumpRowLayouts(page), `${path.basename(bmp)} at 1200 px`);
      }
      await page.click('#wrap');
      await twoFrames(page);
      for (const row of Object.values(await dumpRowLayouts(page))) {
        assert.deepEqual([row.wraps, row.pieceInside], [false, false]);
      }
      await page.click('#wrap');
      await twoFrames(page);
      filled(await dumpRowLayouts(page), 'wrapped again at 1200 px');
    } finally {
      await page.setViewport(kDesktop);
    }
  });
});

describe('the bytes view', () => {
  test('is whole at 1280 px and can be focused', async () => {
    await open(page, sample);
    await choosePixel(page, 7, 0);
    const hex = await page.$eval('#hex', (pre) => ({hidden: pre.hidden, tab: pre.tabIndex,
                                                   scroll: pre.scrollWidth,
                                                   client: pre.clientWidth,
                                                   lines: pre.textContent.split('\n').length}));
    assert.equal(hex.hidden, false);
    assert.equal(hex.tab, 0);
    assert.ok(hex.scroll <= hex.client, `${hex.scroll} px of text in ${hex.client}`);
  });
});

describe('accessibility', () => {
  test('no WCAG 2.2 A or AA violation in any state of the inspector, light or dark, phone or ' +
       'desktop', async () => {
    const cut = fs.readFileSync(bitmapFile(file('axe-cut.bmp'), 8, 7, 5));
    fs.writeFileSync(file('axe-cut.bmp'), cut.subarray(0, cut.length - 20));
    const long = trueColorFile(file('axe-long.bmp'), 1000, 400);
    const found = [];
    for (const scheme of ['light', 'dark']) {
      for (const [device, viewport] of [['phone', kPhone], ['desktop', kDesktop]]) {
        const checked = await openPage(session.browser, session.server.url, async (opened) => {
          await opened.emulate({viewport, userAgent: ''});
          await opened.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
        });
        const check = async (where) => {
          const results = await new AxePuppeteer(checked)
                              .withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22a',
                                         'wcag22aa']).analyze();
          found.push(...results.violations.map((violation) => `${scheme} ${device} ${where}: ` +
            `${violation.id}: ${violation.nodes.map((node) => node.target.join(' '))
              .join(', ')}`));
        };
        try {
          await open(checked, sample);
          await check('opened');
          await choosePixel(checked, 3, 1);
          await check('a pixel');
          await clickText(checked, 15, 3);
          await check('a field');
          await clickText(checked, 47, 4);
          await check('an item');
          await goToOffset(checked, '0x1234567890123456789');
          await check('an offset beyond any file');
          await open(checked, file('axe-cut.bmp'));
          await choosePixel(checked, 0, 0);
          await check('items past the end');
          await open(checked, long);
          await choosePixel(checked, 0, 0);
          await check('excerpts');
          if (device === 'desktop') {
            const box = await (await checked.$('#picture')).boundingBox();
            await checked.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
            await checked.waitForFunction(() => !document.querySelector('#preview').hidden,
                                          {timeout: 5000});
            await check('the pointer beside a pixel');
          }
          // The format's picture, its hatch and legend; an RLE pixel no command sets, whose
          // colours differ; the map strip focused, and a region chosen from it.
          await open(checked, path.join(root, 'tests/data/bmpsuite/q/pal4rletrns.bmp'));
          await checked.click('#picture-quillfen');
          await checked.waitForFunction(() =>
            document.querySelector('#picture').dataset.source === 'quillfen');
          await check('the format\'s picture');
          await choosePixel(checked, 27, 21);
          await check('a skipped pixel');
          await checked.focus('#map-strip');
          await checked.keyboard.press('ArrowRight');
          await check('the map strip');
          await checked.keyboard.press('Enter');
          await inspectorSettled(checked);
          await check('a region of the map');
        } finally {
          await checked.close();
        }
      }
    }
    assert.deepEqual(found, []);
  });
});
