// The page as a person uses it, in Chromium: every test file's report against the native
// tool's, refusals, the picture, a large file (progress, a responsive page, bounded memory,
// the saved report), Cancel, a file that disappears while it is read, the keyboard, and no
// request after the page has loaded.
import assert from 'node:assert/strict';
import {execFileSync, spawn} from 'node:child_process';
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
  try {
    return {text: execFileSync(native, [path.basename(file)], {cwd: path.dirname(file)}), status: 0};
  } catch (error) {
    return {text: error.stdout, status: error.status};
  }
}

// The SHA-256 and length of the native report, streamed: it may be hundreds of MB.
function nativeDigest(file) {
  return new Promise((resolve) => {
    const hash = createHash('sha256');
    let bytes = 0;
    const child = spawn(native, [path.basename(file)], {cwd: path.dirname(file)});
    child.stdout.on('data', (data) => {
      hash.update(data);
      bytes += data.length;
    });
    child.on('close', () => resolve({sha256: hash.digest('hex'), bytes}));
  });
}

function fileDigest(file) {
  return createHash('sha256').update(fs.readFileSync(file)).digest('hex');
}

function writeScratch(name, bytes) {
  const file = path.join(scratch, name);
  fs.writeFileSync(file, bytes);
  return file;
}

// A valid 24-bit file, pixels from a simple generator so that every report is distinct.
function trueColorFile(name, width, height) {
  const stride = Math.ceil((width * 3) / 4) * 4;
  const bytes = Buffer.alloc(54 + stride * height);
  bytes.write('BM', 0, 'latin1');
  bytes.writeUInt32LE(bytes.length, 2);
  bytes.writeUInt32LE(54, 10);
  bytes.writeUInt32LE(40, 14);
  bytes.writeInt32LE(width, 18);
  bytes.writeInt32LE(height, 22);
  bytes.writeUInt16LE(1, 26);
  bytes.writeUInt16LE(24, 28);
  bytes.writeUInt32LE(stride * height, 34);
  let state = 12345;
  for (let i = 54; i < bytes.length; i += 1) {
    state = (state * 1103515245 + 12345) >>> 0;
    bytes[i] = state >>> 24;
  }
  return writeScratch(name, bytes);
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
      assert.equal(await text(page, '#report'), expected.text.toString(), file);
    }
  });

  test('a file that is not a bitmap, an empty one and a 10-byte one are refused', async () => {
    for (const [name, bytes, outcome] of [['notes.txt', 'not a bitmap at all\n', 'refused'],
                                          ['empty.bmp', '', 'refused'],
                                          ['ten.bin', '0123456789', 'refused'],
                                          ['ten.bmp', 'BM\x0A\0\0\0\0\0\0\0', 'done']]) {
      const file = writeScratch(name, Buffer.from(bytes, 'latin1'));
      assert.equal(await pick(page, file), outcome, name);
      assert.equal(await text(page, '#report'), nativeReport(file).text.toString(), name);
      assert.equal((await text(page, '#status')).startsWith('Refused'), outcome === 'refused');
    }
  });

  test('the picture is shown with its size, or a note says the browser cannot decode it', async () => {
    const picture = () => page.$eval('#picture', (img) => ({
      hidden: img.hidden, width: img.naturalWidth, height: img.naturalHeight}));
    await pick(page, trueColorFile('small.bmp', 5, 3));
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
    large = trueColorFile('large.bmp', 6000, 4000);
    expected = await nativeDigest(large);
  });

  test('shows progress, keeps the page responsive and its memory bounded, saves exactly', async () => {
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
    assert.equal(fileDigest(path.join(downloads, 'large.bmp.txt')), expected.sha256);
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
    assert.equal(await text(page, '#report'), nativeReport(sample).text.toString());
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
    assert.equal(await page.$eval('#status', (status) => status.getAttribute('aria-live')),
                 'polite');
  });

  test('follows the system colour scheme', async () => {
    const background = () => page.evaluate(() => getComputedStyle(document.documentElement).backgroundColor);
    await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: 'light'}]);
    const light = await background();
    await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: 'dark'}]);
    assert.notEqual(await background(), light);
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
