// The page in every state, as a person meets it: the picture and its bounds (hostile headers
// included, with Chromium's memory read from /proc), Cancel, a file picked mid-report, a file
// that disappears, saving, the focus, narrow screens, failures to load, accessibility, and no
// request after the page has loaded.
import {AxePuppeteer} from '@axe-core/puppeteer';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {browserMemory, inPictureDecoder, nativeReport, nativeReportStart, openPage, peakDuring,
        pick, root, scratchDir, serveSite, settle, sparseFile, start, startSession, state, text,
        trueColorFile, trueColorHeader, watchWorkerEnds, workerKinds,
        workersGone} from './browser.mjs';

const scratch = scratchDir();
const sample = path.join(root, 'samples/sample.bmp');
const file = (name) => path.join(scratch, name);
const kWcag = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22a', 'wcag22aa'];

let session;
let page;
let workerEnds;
const requests = [];
// Over the size the page reads whole, so read in file windows as the report needs it, with a
// report that runs for seconds: 24-bit pixels up to its end, all zero.
let slow;

before(async () => {
  session = await startSession(scratch);
  ({page} = session);
  workerEnds = watchWorkerEnds(page);
  // From now on the page has everything it needs: any request is a failure.
  page.on('request', (request) => {
    if (!/^(blob|data):/.test(request.url())) requests.push(request.url());
  });
  slow = sparseFile(file('slow.bmp'), trueColorHeader(8192, 5462), 54 + 8192 * 3 * 5462);
});
after(() => session?.close());

// What of the picture is on screen: its computed display and its box.
const rendered = () => page.$eval('#picture', (element) => {
  const box = element.getBoundingClientRect();
  return {display: getComputedStyle(element).display, width: box.width, height: box.height};
});
const kNone = {display: 'none', width: 0, height: 0};
// The picture's state once it is no longer decoding.
const settledPicture = async () => (await page.waitForFunction(() => document.body.dataset
  .picture !== 'decoding' && document.body.dataset.picture)).jsonValue();
const focused = () => page.evaluate(() => document.activeElement.id);
const pickDone = async (bmp) => assert.equal(await pick(page, bmp), 'done', bmp);
const checkWorkers = async () => assert.deepEqual(await workerKinds(page),
                                                  ['core', 'core', 'core', 'picture']);

describe('the picture', () => {
  test('is shown with its size once decoded, and nothing of it shows when there is none',
       async () => {
    assert.deepEqual([await rendered(), await settledPicture()], [kNone, 'none']);
    await start(page, slow);
    assert.deepEqual(await rendered(), kNone);
    await page.click('#cancel');
    assert.deepEqual(await rendered(), kNone);
    await pickDone(trueColorFile(file('small.bmp'), 5, 3));
    assert.equal(await settledPicture(), 'shown');
    assert.match(await text(page, '#picture-note'), /^5 × 3 pixels, as this browser decodes/);
    const shown = await rendered();
    assert.ok(shown.display === 'block' && shown.width > 0 && shown.height > 0);
    assert.equal(await page.$eval('#picture', (canvas) => canvas.width), 5);
    const broken = Buffer.from(fs.readFileSync(sample));
    broken.writeUInt16LE(7, 28);  // biBitCount: no depth a decoder knows
    fs.writeFileSync(file('broken.bmp'), broken);
    fs.writeFileSync(file('refused.bmp'), 'not a bitmap');
    for (const [bmp, outcome, picture, note] of [
      ['broken.bmp', 'done', 'undecodable', 'Neither this browser nor Quillfen\'s decoder can ' +
       'decode the file as a picture: 7 bits a pixel, a depth the format does not define.'],
      ['refused.bmp', 'refused', 'none', null]]) {
      assert.equal(await pick(page, file(bmp)), outcome, bmp);
      assert.deepEqual([await settledPicture(), await rendered()], [picture, kNone], bmp);
      if (note !== null) assert.equal(await text(page, '#picture-note'), note);
    }
  });

  test('is decoded from its own bytes only, within a bound on memory, for any header',
       async () => {
    const baseline = browserMemory(session.browser);
    // [name, first bytes, file size, the picture's state (null: any short of too large), its
    // note, the time it must come within]
    for (const [name, head, size, picture, note, ms] of [
      // 1 KB whose header claims 16000 x 16000: a note within 3 s (a decode of its 1 GiB would
      // take far longer, and break the memory bound), and no decode.
      ['huge.bmp', trueColorHeader(16000, 16000), 1024, 'too-large',
       '16,000 × 16,000 pixels: too large to show here.', 3000],
      // At the bound, 32 Mi pixels in 1 KB: decoded from that 1 KB, whatever comes of it; one
      // row more is too large.
      ['within.bmp', trueColorHeader(8192, 4096), 1024, null, null, Infinity],
      ['over.bmp', trueColorHeader(8192, 4097), 1024, 'too-large',
       '8,192 × 4,097 pixels: too large to show here.', Infinity],
      // 5 GiB that start with a 150-byte bitmap: its picture, from those 150 bytes.
      ['sparse.bmp', fs.readFileSync(sample), 5 * 2 ** 30, 'shown', /^8 × 4 pixels/, Infinity]]) {
      const started = Date.now();
      const [shown, peak] = await peakDuring(async () => browserMemory(session.browser) -
                                                         baseline, async () => {
        await pickDone(sparseFile(file(name), head, size));
        return settledPicture();
      });
      const took = Date.now() - started;
      assert.ok(took < ms, `${name}: the note came after ${took} ms`);
      assert.ok(peak < 512 << 20, `${name}: Chromium grew by ${peak} bytes`);
      if (picture === null) assert.notEqual(shown, 'too-large', name);
      else assert.equal(shown, picture, name);
      if (typeof note === 'string') assert.equal(await text(page, '#picture-note'), note, name);
      else if (note !== null) assert.match(await text(page, '#picture-note'), note, name);
    }
  });

  test('a decoder that dies or fails leaves a note, and the page goes on', async () => {
    const note = /^The picture could not be decoded: its decoder stopped \(.*out of memory\)\.$/;
    // The decoder dies as it begins to decode: its first step throws where nothing catches it,
    // and never ends. A fresh decoder takes its place; it decodes, then fails to draw.
    const dying = await inPictureDecoder(page, () => {
      globalThis.createImageBitmap = () => {
        setTimeout(() => {
          throw new Error('out of memory');
        });
        return new Promise(() => {});
      };
    });
    await pickDone(trueColorFile(file('decoded.bmp'), 64, 64));
    assert.equal(await settledPicture(), 'undecodable');
    assert.match(await text(page, '#picture-note'), note);
    await workersGone(page, dying);
    await inPictureDecoder(page, () => {
      const decode = createImageBitmap;
      let calls = 0;
      globalThis.createImageBitmap = (...args) => {
        calls += 1;
        return calls === 1 ? decode(...args) : Promise.reject(new Error('out of memory'));
      };
    });
    await pickDone(trueColorFile(file('drawn.bmp'), 64, 64));
    assert.equal(await settledPicture(), 'undecodable');
    assert.match(await text(page, '#picture-note'), note);
    await pickDone(trueColorFile(file('next.bmp'), 4, 4));
    assert.equal(await settledPicture(), 'shown');
  });
});

describe('runs that stop', () => {
  test('Cancel stops a run at once, reading whole or in file windows, marks where the text ' +
       'stops, and the next file works', async () => {
    for (const running of [sparseFile(file('cancel-whole.bmp'), trueColorHeader(4000, 5000),
                                      127e6), slow]) {
      // The whole read's run takes a few hundred milliseconds: where a loaded machine ends it
      // before the click lands, it is run again.
      let ended = 0;
      let outcome = 'done';
      for (let attempt = 0; attempt < 5 && outcome === 'done'; attempt += 1) {
        await start(page, running);
        await page.waitForFunction(
            () => document.querySelector('#report').textContent.length > 0, {polling: 5});
        ended = workerEnds.count;
        await page.click('#cancel');
        outcome = await state(page);
      }
      assert.equal(outcome, 'cancelled');
      assert.ok(await page.$eval('#progress', (bar) => bar.value) < 1);
      // The worker that ran was stopped, and a fresh one took its place.
      await workerEnds.ended(ended + 1);
      assert.equal(await focused(), 'pick');
      assert.equal(await text(page, '#report-note'),
                   'Cancelled: the report stops here, where its run was stopped.');
      const partial = await text(page, '#report');
      assert.ok(partial.length > 0 &&
                partial === nativeReportStart(running, Buffer.byteLength(partial)));
      await checkWorkers();
      await pickDone(sample);
      assert.equal(await page.evaluate(() => window.statuses[0]),
                   'Reading sample.bmp (150 bytes)…');
      assert.equal(await text(page, '#report'), nativeReport(sample).text);
    }
  });

  test('a file picked while a report runs gets its own report, and the old run stops',
       async () => {
    await start(page, slow);
    const ended = workerEnds.count;
    // Picked in the page as the run's first text shows, in the same task: the run cannot have
    // ended in between, however quick it is.
    const picked = await page.evaluate((bytes, name) => new Promise((resolve) => {
      const report = document.querySelector('#report');
      const pickNow = () => {
        if (document.body.dataset.state !== 'working') return resolve(false);
        if (report.textContent.length === 0) return false;
        watcher.disconnect();
        window.states.splice(0);
        const files = new DataTransfer();
        files.items.add(new File([new Uint8Array(bytes)], name));
        const input = document.querySelector('#file');
        input.files = files.files;
        input.dispatchEvent(new Event('change'));
        return resolve(true);
      };
      const watcher = new MutationObserver(pickNow);
      watcher.observe(document.body, {attributeFilter: ['data-state'], childList: true,
                                      characterData: true, subtree: true});
      pickNow();
    }), [...fs.readFileSync(sample)], path.basename(sample));
    assert.ok(picked, 'the run ended before it showed any text');
    assert.equal(await settle(page), 'done');
    await workerEnds.ended(ended + 1);
    const expected = nativeReport(sample).text;
    assert.equal(await text(page, '#report'), expected);
    assert.equal(await text(page, '#status'), 'Report on sample.bmp complete: ' +
                 `${Buffer.byteLength(expected).toLocaleString('en')} bytes.`);
    await checkWorkers();
  });

  test('four quick picks of far pixels of a file read in file windows, then a small file: ' +
       'done within twice its time alone, give or take a loaded machine', async (t) => {
    // From the file input's change to the done state, in the page's own clock.
    const timed = async (bmp) => {
      await page.evaluate(() => {
        window.timing = {};
        document.querySelector('#file').addEventListener('change', () => {
          window.timing.start = performance.now();
        }, {capture: true, once: true});
        const watcher = new MutationObserver(() => {
          if (document.body.dataset.state === 'done') {
            window.timing.done = performance.now();
            watcher.disconnect();
          }
        });
        watcher.observe(document.body, {attributeFilter: ['data-state']});
      });
      await pickDone(bmp);
      const {start: from, done} = await page.evaluate(() => window.timing);
      return done - from;
    };
    // The small file after the large one, with the picks between them or without: medians of
    // three, so that one slow moment of a busy machine decides nothing. The small file (14 MB
    // of report, 4 MiB shown) takes well above a shared machine's noise; the large one is read
    // in file windows, and its report takes a second or two.
    const median = (values) => [...values].sort((a, b) => a - b)[1];
    const small = trueColorFile(file('small-after.bmp'), 1000, 1000);
    const smallStart = nativeReportStart(small, 4 << 20);
    const large = sparseFile(file('far.bmp'), trueColorHeader(8192, 16000),
                             54 + 8192 * 3 * 16000);
    const [alone, afterPicks] = [[], []];
    let stopped = 0;
    for (let i = 0; i < 3; i += 1) {
      await pickDone(large);
      alone.push(await timed(small));
      await pickDone(large);
      await page.waitForFunction(() => !document.querySelector('#pixel-x').disabled);
      const ended = workerEnds.count;
      // Four pixels of the top rows, whose items end the report, picked as fast as the page
      // takes them: each asks the report's worker for excerpts, which read the file again.
      await page.evaluate(() => {
        for (const x of [0, 2000, 4000, 8191]) {
          document.querySelector('#pixel-x').value = String(x);
          document.querySelector('#pixel-y').value = String(x % 3);
          document.querySelector('#pixel').requestSubmit();
        }
      });
      await page.waitForFunction(() => document.querySelector('#inspector')
        .getAttribute('aria-busy') === 'true', {timeout: 5000});
      // The last pick's run has begun by now, and goes on for a second or more.
      await new Promise((resolve) => setTimeout(resolve, 300));
      afterPicks.push(await timed(small));
      // The runs the picks started were stopped, not waited for.
      await workerEnds.ended(ended + 1);
      stopped += workerEnds.count - ended;
      const shown = await text(page, '#report');
      assert.ok(shown.length > 4e6 && shown === smallStart.slice(0, shown.length),
                'the small file\'s report is shown');
    }
    const said = `${afterPicks.map((ms) => ms.toFixed(0))} ms after the picks, ` +
                 `${alone.map((ms) => ms.toFixed(0))} ms alone`;
    t.diagnostic(`the small file: ${said}`);
    // Runs left going cost a second or more each; 250 ms over twice the time alone is room for
    // a loaded machine's noise on a run of tens of milliseconds, and far below that.
    assert.ok(median(afterPicks) <= 2 * median(alone) + 250, said);
    assert.ok(stopped >= 3);
  });

  test('a file that disappears while it is read fails, and the next file works', async () => {
    // One read whole, one read in file windows (its 192 MB of pixels window by window, for
    // seconds). The whole read takes a few hundred milliseconds: where a loaded machine has
    // read half the file before the test can remove it, the run may finish, and the file is
    // tried again.
    for (const [name, width, height, bytes] of [['doomed-whole.bmp', 4000, 5000, 127e6],
                                                ['doomed-file-windows.bmp', 8000, 8000, 200e6]]) {
      let removedWhileRead = false;
      for (let attempt = 0; attempt < 5 && !removedWhileRead; attempt += 1) {
        const doomed = sparseFile(file(name), trueColorHeader(width, height), bytes);
        await start(page, doomed);
        await page.waitForFunction(() => document.querySelector('#progress').value > 0,
                                   {polling: 5});
        const read = await page.$eval('#progress', (progress) => progress.value);
        fs.rmSync(doomed);
        const outcome = await settle(page);
        if (read >= 0.5) continue;
        removedWhileRead = true;
        assert.equal(outcome, 'failed', `${name}, removed with ${read} of it read`);
        assert.match(await text(page, '#status'), /^The report failed: .*\. Pick a file to try/);
      }
      assert.ok(removedWhileRead, `${name} was read half before it could be removed, 5 times`);
      await pickDone(sample);
    }
  });
});

test('saving shows its own state, and Cancel or a failure keep the report shown', async () => {
  await pickDone(sample);
  // Keyboard: Enter on Save report hands the focus to Cancel, and back when saving ends.
  await page.focus('#save');
  await page.evaluate(() => window.states.splice(0));
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => window.states.at(-1) === 'done');
  assert.deepEqual(await page.evaluate(() => window.states), ['saving', 'done']);
  assert.equal(await focused(), 'save');
  assert.equal(await text(page, '#status'), 'Saved the report as sample.bmp.txt.');
  // A long save, cancelled from the keyboard.
  await pickDone(sparseFile(file('big-save.bmp'), trueColorHeader(3000, 3000), 54 + 9000 * 3000));
  const reported = await text(page, '#status');
  assert.match(reported, /^Report on big-save\.bmp: showing the first 4\.1 MB of 126 MB\. /);
  await page.focus('#save');
  await page.keyboard.press('Enter');
  assert.deepEqual([await state(page), await focused()], ['saving', 'cancel']);
  await page.keyboard.press('Enter');
  assert.deepEqual([await state(page), await focused()], ['done', 'save']);
  assert.equal(await text(page, '#status'), `Saving cancelled. ${reported}`);
  // A file gone before it is saved: read in file windows, the save fails; the report stays.
  const gone = sparseFile(file('gone.bmp'), fs.readFileSync(sample), 200e6);
  await pickDone(gone);
  const report = await text(page, '#report');
  fs.rmSync(gone);
  await page.click('#save');
  await page.waitForFunction(() => /^Saving failed/.test(
    document.querySelector('#status').textContent));
  assert.equal(await state(page), 'done');
  assert.equal(await text(page, '#report'), report);
});

describe('the page', () => {
  test('is walked with the keyboard, and the report is a Tab stop only with text', async () => {
    const fresh = await openPage(session.browser, session.server.url);
    // The controls Tab reaches from the top of the page, in order.
    const tabStops = async () => {
      await fresh.click('h1');
      for (const stops = []; ;) {
        await fresh.keyboard.press('Tab');
        const id = await fresh.evaluate(() => document.activeElement.id);
        if (id === '' || stops.includes(id)) return stops;
        stops.push(id);
      }
    };
    assert.deepEqual(await tabStops(), ['pick', 'wrap']);
    const chooser = fresh.waitForFileChooser();
    await fresh.focus('#pick');
    await fresh.keyboard.press('Enter');
    await (await chooser).accept([sample]);
    await fresh.waitForFunction(() => document.body.dataset.state === 'done');
    assert.deepEqual(await tabStops(), ['pick', 'save', 'wrap', 'compare-pick', 'report',
                                        'picture-frame', 'picture-browser', 'pixel-x',
                                        'pixel-y', 'show-pixel', 'go-offset', 'show-offset']);
    const snapshot = await fresh.accessibility.snapshot({interestingOnly: true});
    assert.match(JSON.stringify(snapshot), /"name":"Report text"/);
    await fresh.close();
  });

  test('on a phone: one scroller, the picture first, header lines whole, pixels whole',
       async () => {
    const phone = await openPage(session.browser, session.server.url, (opened) => opened.emulate(
      {viewport: {width: 390, height: 844, isMobile: true, hasTouch: true}, userAgent: ''}));
    assert.equal(await phone.$eval('.hint', (hint) => getComputedStyle(hint).display), 'none');
    await (await phone.$('input#file')).uploadFile(path.join(root, 'tests/data/bmpsuite/rgb24.bmp'));
    await phone.waitForFunction(() => document.body.dataset.picture === 'shown');
    const layout = await phone.evaluate(async () => {
      const report = document.querySelector('#report');
      // Pieces off screen are not laid out: the header's lines are measured where they show,
      // once the page has laid them out there (a piece on screen already is, and says nothing).
      const head = report.firstElementChild;
      const laidOut = new Promise((resolve) => {
        head.addEventListener('contentvisibilityautostatechange', (event) => {
          if (!event.skipped) resolve();
        });
      });
      const frames = (count) => new Promise((resolve) => {
        const next = (left) => (left === 0 ? resolve() : requestAnimationFrame(() => next(left - 1)));
        next(count);
      });
      report.scrollIntoView();
      await Promise.race([laidOut, frames(10)]);
      // Every line before the dumps on one line of the screen; every pixel of the dump too.
      const lineBoxes = (node, from, to) => {
        const range = document.createRange();
        range.setStart(node, from);
        range.setEnd(node, to);
        return new Set([...range.getClientRects()].map((rect) => Math.round(rect.top))).size;
      };
      const broken = [];
      for (const piece of report.children) {
        const content = piece.firstChild.data;
        const pieces = piece.classList.contains('dump') ? content.matchAll(/\([ 0-9.]{11}\) /g)
          : content.matchAll(/.+/g);
        for (const match of pieces) {
          if (lineBoxes(piece.firstChild, match.index, match.index + match[0].length) > 1) {
            broken.push(match[0]);
          }
        }
      }
      const box = (selector) => document.querySelector(selector).getBoundingClientRect();
      return {broken, pictureAbove: box('#picture').bottom <= box('#report').top,
              innerScroll: report.scrollHeight - report.clientHeight,
              pageScrolls: document.scrollingElement.scrollHeight > innerHeight,
              scrollsSideways: report.scrollWidth > report.clientWidth};
    });
    assert.deepEqual(layout, {broken: [], pictureAbove: true, innerScroll: 0, pageScrolls: true,
                              scrollsSideways: true});
    await phone.close();
  });

  test('says what failed to load, and that it must be served', async () => {
    const site = path.join(root, 'build-web/site');
    // A module that compiles but cannot be instantiated: it imports what the loader lacks.
    const unlinkable = Buffer.from('0061736d01000000010401600000020c0103656e76046e6f70650000',
                                   'hex');
    for (const [name, change, expected] of [
      ['no-worker', (dir) => fs.rmSync(`${dir}/worker.js`), /worker\.js: 404\.$/],
      ['no-wasm', (dir) => fs.rmSync(`${dir}/quillfen.wasm`), /quillfen\.wasm: 404\.$/],
      ['bad-wasm', (dir) => fs.writeFileSync(`${dir}/quillfen.wasm`, unlinkable),
       /could not load its report engine: .*Import #0 "env" "nope"/],
      // A core whose file system is not the one the reads in file windows are written for.
      ['other-core', (dir) => fs.writeFileSync(`${dir}/worker.js`, fs.readFileSync(
        `${dir}/worker.js`, 'utf8').replace('"WORKERFS":WORKERFS', '"WORKERFS2":WORKERFS')),
       /could not load .*WORKERFS has no stream_ops\.read: .*emscripten other than 3\.1\.6/],
      ['file', null, /must be served by a web server.*make serve-web/]]) {
      let served = null;
      if (change !== null) {
        fs.cpSync(site, file(name), {recursive: true});
        change(file(name));
        served = await serveSite(file(name));
      }
      const broken = await session.browser.newPage();
      try {
        await broken.goto(served?.url ?? `file://${site}/index.html`);
        await broken.waitForFunction(() => document.body.dataset.state === 'failed',
                                     {timeout: 10_000});
        assert.match(await text(broken, '#status'), expected, name);
        assert.equal(await broken.$eval('#pick', (button) => button.disabled), true, name);
      } finally {
        // Closed on a failure too: a server left open would keep the test run from ending.
        await broken.close();
        served?.close();
      }
    }
  });

  test('made no request after it loaded, and may make none elsewhere', async () => {
    assert.deepEqual(requests, []);
    assert.equal(await page.evaluate(() => new Promise((resolve) => {
      document.addEventListener('securitypolicyviolation', (event) =>
        resolve(event.violatedDirective), {once: true});
      fetch('http://127.0.0.2:9/').catch(() => {});
    })), 'connect-src');
  });

  test('has no WCAG 2.2 A or AA violation in any state, light or dark', async () => {
    const found = [];
    fs.writeFileSync(file('axe-refused.bmp'), 'no bitmap');
    for (const scheme of ['light', 'dark']) {
      const checked = await openPage(session.browser, session.server.url, (fresh) =>
        fresh.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]));
      const check = async (where) => {
        const results = await new AxePuppeteer(checked).withTags(kWcag).analyze();
        found.push(...results.violations.map((violation) => `${scheme} ${where}: ` +
          `${violation.id}: ${violation.nodes.map((node) => node.target.join(' ')).join(', ')}`));
      };
      await check('idle');
      await start(checked, slow);
      await check('working');
      await checked.click('#cancel');
      await check('cancelled');
      await pick(checked, sample);
      await check('done');
      await pick(checked, sparseFile(file('axe-save.bmp'), trueColorHeader(3000, 3000), 27e6));
      await checked.click('#save');
      await check('saving');
      await checked.click('#cancel');
      await pick(checked, file('axe-refused.bmp'));
      await check('refused');
      // Removed as it is read; where a loaded machine has read it all by then, again.
      for (let attempt = 0; attempt < 5 && await state(checked) !== 'failed'; attempt += 1) {
        await start(checked, sparseFile(file('axe-doomed.bmp'), trueColorHeader(4000, 5000),
                                        200e6));
        fs.rmSync(file('axe-doomed.bmp'));
        await settle(checked);
      }
      assert.equal(await state(checked), 'failed', scheme);
      await check('failed');
      await checked.close();
    }
    assert.deepEqual(found, []);
  });
});
