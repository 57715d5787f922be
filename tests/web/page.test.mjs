// The page as a person uses it, in Chromium: every test file's report against the native
// tool's, refusals, the picture, a large file (progress, a responsive page, bounded memory,
// the saved report), Cancel, a file that disappears while it is read, the keyboard, and no
// request after the page has loaded nor any allowed elsewhere.
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import {createHash} from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {launch, openPage, pick, root, serveSite, start} from './browser.mjs';

const native = `${root}build/quillfen`;
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quillfen-web-test-'));

// The native tool's report and status, run in the file's folder on its bare name.
function nativeReport(file) {
  const run = spawnSync(native, [path.basename(file)], {cwd: path.dirname(file),
                                                        maxBuffer: 1 << 30});
  return {text: run.stdout.toString(), status: run.status};
}

const digest = (file) => createHash('sha256').update(fs.readFileSync(file)).digest('hex');

function writeScratch(name, bytes) {
  const file = path.join(scratch, name);
  fs.writeFileSync(file, bytes);
  return file;
}

// A valid 24-bit file of pseudo-random pixels, by the benchmark's writer.
function trueColorFile(name, width, height) {
  const file = path.join(scratch, name);
  execFileSync(`${root}build/bench/quillfen_bench`, ['--write-image', '24', width, height, file]);
  return file;
}

const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
const state = (page) => page.evaluate(() => document.body.dataset.state);

let server;
let browser;
let page;
const requests = [];

before(async () => {
  server = await serveSite();
  browser = await launch();
  page = await openPage(browser, server.url);
  // From now on the page has everything it needs: any request is a failure.
  page.on('request', (request) => {
    if (!/^(blob|data):/.test(request.url())) requests.push(request.url());
  });
  await page.evaluate(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
    }).observe({type: 'longtask'});
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(scratch, {recursive: true, force: true});
});

describe('reports', () => {
  test('every test file reports as the native tool does, with the same outcome', async () => {
    const files = execFileSync('find', ['tests/data', 'samples', '-name', '*.bmp'], {cwd: root})
                      .toString().trim().split('\n').sort();
    assert.ok(files.length >= 9);
    for (const file of files) {
      const expected = nativeReport(path.join(root, file));
      const outcome = await pick(page, path.join(root, file));
      assert.equal(outcome, expected.status === 0 ? 'done' : 'refused', file);
      assert.equal(await text(page, '#report'), expected.text, file);
    }
  });

  test('files not bitmaps, empty or 10 bytes long end as with the native tool', async () => {
    for (const [name, bytes, outcome] of [['notes.txt', 'not a bitmap at all\n', 'refused'],
                                          ['empty.bmp', '', 'refused'],
                                          ['ten.bin', '0123456789', 'refused'],
                                          ['ten.bmp', 'BM\x0A\0\0\0\0\0\0\0', 'done']]) {
      const file = writeScratch(name, Buffer.from(bytes, 'latin1'));
      assert.equal(await pick(page, file), outcome, name);
      assert.equal(await text(page, '#report'), nativeReport(file).text, name);
      assert.equal((await text(page, '#status')).startsWith('Refused'), outcome === 'refused');
    }
  });

  test('the picture is shown with its size, or a line says it cannot be decoded', async () => {
    const picture = () => page.$eval('#picture', (img) => ({
      hidden: img.hidden, width: img.naturalWidth, height: img.naturalHeight}));
    await pick(page, trueColorFile('small.bmp', '5', '3'));
    await page.waitForFunction(() => document.querySelector('#picture-note').textContent !== '');
    assert.deepEqual(await picture(), {hidden: false, width: 5, height: 3});
    assert.match(await text(page, '#picture-note'), /^5 × 3 pixels/);

    const broken = Buffer.from(fs.readFileSync(path.join(root, 'samples/sample.bmp')));
    broken.writeUInt16LE(7, 28);  // biBitCount: no depth a decoder knows
    await pick(page, writeScratch('broken.bmp', broken));
    await page.waitForFunction(() => document.querySelector('#picture-note').textContent !== '');
    assert.equal((await picture()).hidden, true);
    assert.match(await text(page, '#picture-note'), /cannot decode/);
  });
});

describe('a large file', () => {
  let large;
  let expected;
  before(async () => {
    large = trueColorFile('large.bmp', '6000', '4000');
    const report = spawnSync(native, ['large.bmp'], {cwd: scratch, maxBuffer: 1 << 30}).stdout;
    expected = {sha256: createHash('sha256').update(report).digest('hex'), bytes: report.length};
  });

  test('shows progress, stays responsive, keeps memory bounded, saves exactly', async () => {
    await page.evaluate(() => {
      window.longTasks = [];
      window.progressSeen = new Set();
      window.sampler = setInterval(() => {
        window.progressSeen.add(document.querySelector('#progress').value);
      }, 5);
    });
    let heapPeak = 0;
    const heapSampler = setInterval(async () => {
      heapPeak = Math.max(heapPeak, (await page.metrics()).JSHeapUsedSize);
    }, 50);
    assert.equal(await pick(page, large), 'done');
    clearInterval(heapSampler);
    const progress = await page.evaluate(() => {
      clearInterval(window.sampler);
      return [...window.progressSeen];
    });
    assert.ok(progress.filter((value) => value > 0 && value < 1).length >= 2, String(progress));
    assert.match(await text(page, '#shown'),
                 new RegExp(`of ${expected.bytes.toLocaleString('en')}\\.`));
    assert.equal((await text(page, '#report')).length, 4 << 20);

    const downloads = path.join(scratch, 'downloads');
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior',
                       {behavior: 'allow', downloadPath: downloads, eventsEnabled: true});
    const saved = new Promise((resolve) => session.on('Browser.downloadProgress', (event) => {
      if (event.state === 'completed') resolve();
    }));
    await page.click('#save');
    await saved;
    heapPeak = Math.max(heapPeak, (await page.metrics()).JSHeapUsedSize);
    assert.equal(digest(path.join(downloads, 'large.bmp.txt')), expected.sha256);
    assert.ok(heapPeak < 96e6, `JS heap reached ${heapPeak} bytes`);
    const longest = Math.max(0, ...await page.evaluate(() => window.longTasks));
    assert.ok(longest < 200, `a task of ${longest} ms on the page's thread`);
  });

  test('Cancel stops a report at once and the next file works', async () => {
    await start(page, large);
    await page.waitForFunction(() => document.querySelector('#progress').value > 0);
    await page.click('#cancel');
    assert.equal(await state(page), 'cancelled');
    assert.equal(await page.$eval('#cancel', (button) => button.disabled), true);
    const sample = path.join(root, 'samples/sample.bmp');
    assert.equal(await pick(page, sample), 'done');
    assert.equal(await text(page, '#report'), nativeReport(sample).text);
  });

  test('a file that disappears while it is read fails, and the next file works', async () => {
    const doomed = path.join(scratch, 'doomed.bmp');
    fs.copyFileSync(large, doomed);
    await start(page, doomed);
    await page.waitForFunction(() => document.querySelector('#progress').value > 0);
    fs.rmSync(doomed);
    await page.waitForFunction(() => document.body.dataset.state === 'failed');
    assert.match(await text(page, '#status'), /^The report failed/);
    assert.equal(await pick(page, path.join(root, 'samples/sample.bmp')), 'done');
  });
});

describe('the page', () => {
  test('the file button is reached and pressed with the keyboard', async () => {
    await page.click('h1');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'pick');
    const chooser = page.waitForFileChooser();
    await page.evaluate(() => 0);  // the page has taken the request to intercept the chooser
    await page.keyboard.press('Enter');
    await (await chooser).accept([path.join(root, 'samples/sample.bmp')]);
    await page.waitForFunction(() => document.body.dataset.state === 'done');
  });

  test('made no request after it loaded, and may make none elsewhere', async () => {
    assert.deepEqual(requests, []);
    const blocked = await page.evaluate(() => new Promise((resolve) => {
      document.addEventListener('securitypolicyviolation', (event) =>
        resolve(event.violatedDirective), {once: true});
      fetch('http://127.0.0.2:9/').catch(() => {});
    }));
    assert.equal(blocked, 'connect-src');
  });
});
