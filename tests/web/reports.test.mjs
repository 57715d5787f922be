// The page's reports against the native tool's: every test file, files that are not bitmaps,
// and a large file: shown up to 4 MiB at a line end with a note at its foot, progress that
// reaches the end, a responsive page, a bounded heap, and the whole report saved exactly.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {createHash} from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {native, nativeReport, peakDuring, pick, scratchDir, sparseFile, startSession, state,
        testFiles, text, trueColorFile, within} from './browser.mjs';

const scratch = scratchDir();
// The page's thread may be busy this long at a time. The benchmark holds the page to 200 ms;
// here the bound leaves room for a machine busy with other work.
const kLongestTask = 1000;

let session;
let browser;
let page;

before(async () => {
  session = await startSession(scratch);
  ({browser, page} = session);
});

after(() => session?.close());

describe('reports', () => {
  test('every test file reports as the native tool does, with the same outcome', async () => {
    const files = testFiles();
    assert.ok(files.length >= 9);
    for (const file of files) {
      const expected = nativeReport(file);
      assert.equal(await pick(page, file), expected.status === 0 ? 'done' : 'refused', file);
      assert.equal(await text(page, '#report'), expected.text, file);
      assert.equal(await page.$eval('#report-note', (note) => note.hidden), true, file);
    }
  });

  test('a refused file says what its first bytes look like, and can be saved', async () => {
    for (const [name, bytes, looks] of [
      ['photo.png', '89504e470d0a1a0a0000000d49484452', 'starts with 89 50 4E 47: this looks like ' +
       'a PNG file'],
      ['photo.jpg', 'ffd8ffe000104a464946', 'starts with FF D8 FF E0: this looks like a JPEG file'],
      ['icon.ico', '000001000100101000000000', 'starts with 00 00 01 00: this looks like an ICO ' +
       'file'],
      ['array.bmp', '424128000000000000000000', 'starts with 42 41 28 00: this looks like an OS/2 ' +
       'bitmap array'],
      ['empty.png', '', 'is empty']]) {
      const file = path.join(scratch, name);
      fs.writeFileSync(file, Buffer.from(bytes, 'hex'));
      assert.equal(await pick(page, file), 'refused', name);
      assert.equal(await text(page, '#report'), nativeReport(file).text, name);
      assert.equal(await text(page, '#status'), `Refused: ${name} is not a file the tool ` +
                   `reports on (exit status -1): it ${looks}. What it printed is shown below.`);
      assert.equal(await page.$eval('#save', (button) => button.disabled), false, name);
    }
    const cdp = await browser.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', {behavior: 'allow',
                                                  downloadPath: path.join(scratch, 'saved')});
    await page.click('#save');
    await page.waitForFunction(() => /^Saved the report as empty\.png\.txt\.$/.test(
      document.querySelector('#status').textContent), {timeout: 10_000});
  });

  test('files not bitmaps, empty or 10 bytes long end as with the native tool', async () => {
    for (const [name, bytes, outcome] of [['notes.txt', 'not a bitmap at all\n', 'refused'],
                                          ['empty.bmp', '', 'refused'],
                                          ['ten.bin', '0123456789', 'refused'],
                                          ['ten.bmp', 'BM\x0A\0\0\0\0\0\0\0', 'done']]) {
      const file = path.join(scratch, name);
      fs.writeFileSync(file, Buffer.from(bytes, 'latin1'));
      assert.equal(await pick(page, file), outcome, name);
      assert.equal(await text(page, '#report'), nativeReport(file).text, name);
      assert.equal((await text(page, '#status')).startsWith('Refused'), outcome === 'refused');
    }
  });
});

describe('the bound on files read whole', () => {
  // The page reads files of up to 128 MiB whole, streamed into the core's memory, and larger
  // ones in 16 MiB file windows as the report needs them. These files' pixels are their last 32
  // bytes: a file read whole shows progress all the way, one read in file windows two steps.
  const kBound = 128 * 2 ** 20;
  const sample = fs.readFileSync(path.join(path.dirname(native), '../samples/sample.bmp'));
  const endsInPixels = (name, size) => {
    const header = Buffer.from(sample.subarray(0, 118));
    header.writeUInt32LE(size, 2);  // bfSize
    header.writeUInt32LE(size - 32, 10);  // bfOffBits
    const file = sparseFile(path.join(scratch, name), header, size);
    const fd = fs.openSync(file, 'r+');
    fs.writeSync(fd, sample.subarray(118), 0, 32, size - 32);
    fs.closeSync(fd);
    return file;
  };

  for (const [name, size, steps] of [['at the bound', kBound, (count) => count > 100],
                                     ['just over it', kBound + 1, (count) => count <= 3]]) {
    test(`a file ${name} reports as the native tool does, its progress reaching the end`,
         async () => {
      const file = endsInPixels(`${size}.bmp`, size);
      assert.equal(await pick(page, file), 'done');
      assert.equal(await text(page, '#report'), nativeReport(file).text);
      const progress = await page.evaluate(() => window.progress);
      const working = progress.filter(([, during]) => during === 'working')
                          .map(([value]) => value);
      assert.equal(working.at(-1), 1, `the last progress while working: ${working}`);
      assert.ok(steps(working.length), `${working.length} steps of progress`);
      fs.rmSync(file);
    });
  }
});

describe('the bound on what is shown', () => {
  // A 24-bit file one pixel wide, and a name, whose report is exactly bytes long: each row of
  // the report is some 27 bytes, and the name makes up the rest.
  function reportOfLength(bytes) {
    const lengthOf = (name) => Buffer.byteLength(nativeReport(path.join(scratch, name)).text);
    let height = Math.floor(bytes / 27);
    for (;;) {
      trueColorFile(path.join(scratch, 'n.bmp'), 1, height);
      const short = bytes - lengthOf('n.bmp');
      if (short < 0) {
        height -= Math.ceil(-short / 26);
      } else if (short > 100) {
        height += Math.floor(short / 28);
      } else {
        const name = `n${'x'.repeat(short)}.bmp`;
        fs.renameSync(path.join(scratch, 'n.bmp'), path.join(scratch, name));
        assert.equal(lengthOf(name), bytes);
        return path.join(scratch, name);
      }
    }
  }

  test('a report of exactly 4 MiB is whole; one byte more is cut, counted in UTF-8 bytes',
       async () => {
    const exact = reportOfLength(4 << 20);
    assert.equal(await pick(page, exact), 'done');
    assert.equal(await text(page, '#report'), nativeReport(exact).text);
    assert.equal(await page.$eval('#report-note', (note) => note.hidden), true);
    assert.equal(await text(page, '#status'),
                 `Report on ${path.basename(exact)} complete: 4,194,304 bytes.`);
    // One byte more, by a name whose first letter takes two bytes in UTF-8.
    const over = path.join(scratch, path.basename(exact).replace(/^n/, 'é'));
    fs.renameSync(exact, over);
    const report = nativeReport(over).text;
    assert.equal(Buffer.byteLength(report), (4 << 20) + 1);
    assert.equal(await pick(page, over), 'done');
    const shown = await text(page, '#report');
    assert.equal(shown, report.slice(0, report.lastIndexOf('\n', report.length - 2) + 1));
    assert.equal(await text(page, '#report-note'),
                 `Shown: the first ${Buffer.byteLength(shown).toLocaleString('en')} bytes of ` +
                 'the report\'s 4,194,305, up to the end of a line. Save report writes all of it.');
    assert.match(await text(page, '#status'), /: showing the first 4\.1 MB of 4\.1 MB\. /);
  });
});

describe('a large file', () => {
  let large;
  let expected;
  before(() => {
    large = trueColorFile(path.join(scratch, 'large.bmp'), 6000, 4000);
    const report = spawnSync(native, ['large.bmp'], {cwd: scratch, maxBuffer: 1 << 30}).stdout;
    expected = {sha256: createHash('sha256').update(report).digest('hex'), bytes: report.length,
                shown: report.subarray(0, report.lastIndexOf(10, 4 << 20) + 1).toString()};
  });

  test('is shown up to its last whole line in 4 MiB, noted at its foot, with progress that ' +
       'reads the whole file', async () => {
    await page.evaluate(() => {
      window.longTasks = [];
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
      }).observe({type: 'longtask'});
    });
    const [outcome, heapPeak] = await peakDuring(async () => (await page.metrics()).JSHeapUsedSize,
                                                 () => pick(page, large), 50);
    assert.equal(outcome, 'done');
    const shown = await text(page, '#report');
    assert.ok(shown === expected.shown, `the shown text is not the report's first ` +
              `${expected.shown.length} bytes (${shown.length} shown)`);
    assert.match(await text(page, '#report-note'),
                 new RegExp(`^Shown: the first ${expected.shown.length.toLocaleString('en')} ` +
                            `bytes of the report's ${expected.bytes.toLocaleString('en')}, up ` +
                            'to the end of a line\\.'));
    // Where it is seen: the status line says how much of how much, in megabytes rounded down.
    assert.equal(await text(page, '#status'), 'Report on large.bmp: showing the first 4.1 MB ' +
                 `of ${Math.floor(expected.bytes / 1e6)} MB. Save report writes all of it.`);
    // Progress moved while the file was read, and had read all of it before the report ended.
    const progress = await page.evaluate(() => window.progress);
    const working = progress.filter(([, during]) => during === 'working').map(([value]) => value);
    assert.ok(working.filter((value) => value > 0 && value < 1).length >= 2, String(working));
    assert.equal(working.at(-1), 1, `the last progress while working: ${working.at(-1)}`);
    assert.ok(heapPeak < 96e6, `JS heap reached ${heapPeak} bytes`);
    const longest = Math.max(0, ...await page.evaluate(() => window.longTasks));
    assert.ok(longest < kLongestTask, `a task of ${longest} ms on the page's thread`);
  });

  test('Save report writes the whole report exactly, in the saving state', async () => {
    const downloads = path.join(scratch, 'downloads');
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior',
                       {behavior: 'allow', downloadPath: downloads, eventsEnabled: true});
    const saved = new Promise((resolve) => session.on('Browser.downloadProgress', (event) => {
      if (event.state === 'completed') resolve();
    }));
    await page.evaluate(() => window.states.splice(0));
    await page.click('#save');
    await within(120_000, saved, 'the download of the saved report');
    await page.waitForFunction(() => document.body.dataset.state === 'done');
    assert.deepEqual(await page.evaluate(() => window.states), ['saving', 'done']);
    assert.equal(await text(page, '#status'), 'Saved the report as large.bmp.txt.');
    const file = path.join(downloads, 'large.bmp.txt');
    const digest = createHash('sha256').update(fs.readFileSync(file)).digest('hex');
    assert.equal(digest, expected.sha256);
    assert.equal(await text(page, '#report'), expected.shown);
    assert.equal(await state(page), 'done');
  });
});
