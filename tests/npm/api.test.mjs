// The API as installed from its tarball, against the native binary: report() and
// createReportStream() on every test file as paths and as bytes, a name outside ASCII, an
// 8000 x 6000 file's 672 MB report as a stream (its memory, the event loop, backpressure) and as
// a string that cannot be, and calls that fail followed by calls that work.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {installed, nativeDigest, root, runMeasured, scratchDir, sha256, shell, testFiles,
        trueColorFile} from './support.mjs';

const scratch = scratchDir();
after(() => fs.rmSync(scratch, {recursive: true, force: true}));
const require = createRequire(path.join(installed, 'package.json'));
const {report, createReportStream} = require('quillfen');
const sample = path.join(root, 'samples/sample.bmp');

// The native tool's report and status, on path as given or, for bytes, on the bare name in
// the file's folder.
function nativeReport(file, asBytes = false) {
  const run = asBytes ? shell(`cd '${path.dirname(file)}' && '${root}build/quillfen' ` +
                              `'${path.basename(file)}'`)
                      : shell(`'${root}build/quillfen' '${file}'`);
  return {text: run.stdout.toString(), status: run.status === 0 ? 0 : -1};
}

async function streamed(stream) {
  const blocks = [];
  for await (const block of stream) blocks.push(block);
  return {text: Buffer.concat(blocks).toString(), status: stream.status};
}

describe('reports', () => {
  test('on paths and bytes, as strings and streams, from require and import', async () => {
    const imported = await import(path.join(installed, 'index.mjs'));
    assert.equal(imported.report, report);
    assert.equal(imported.createReportStream, createReportStream);
    assert.ok(testFiles.length >= 40);
    for (const file of testFiles) {
      const expected = nativeReport(file);
      assert.deepEqual(await report(file), expected, file);
      assert.deepEqual(await streamed(createReportStream(file)), expected, `${file} streamed`);
      // As bytes: the report of a file of that name in the current folder.
      const bytes = fs.readFileSync(file);
      const byName = nativeReport(file, true);
      assert.deepEqual(await report(bytes, path.basename(file)), byName, `${file} as bytes`);
      assert.deepEqual(await streamed(createReportStream(bytes, path.basename(file))), byName,
                       `${file} as bytes, streamed`);
    }
  });

  test('names outside ASCII come out as they went in', async () => {
    const named = path.join(scratch, 'café 图像.bmp');
    fs.copyFileSync(sample, named);
    const {text} = await report(named);
    assert.ok(text.includes(`\n Filename [${named}]\n`));
    assert.equal(text, nativeReport(named).text);
    assert.ok((await report(fs.readFileSync(sample), 'café.bmp')).text.includes('[café.bmp]'));
  });
});

describe('a report of 672 MB', () => {
  let big;
  let expected;
  before(() => {
    big = trueColorFile(path.join(scratch, 'big.bmp'), 8000, 6000);
    expected = nativeDigest(big);
  });

  test('streams exactly, through a pipeline, in bounded memory, with the event loop free',
       (t) => {
    const figures = runMeasured(`
      const fs = await import('node:fs');
      const {pipeline} = await import('node:stream/promises');
      const started = performance.now();
      const stream = quillfen.createReportStream('big.bmp');
      await pipeline(stream, fs.createWriteStream('big.txt'));
      return {status: stream.status, ms: performance.now() - started};
    `, scratch, 30_000);
    const written = fs.readFileSync(path.join(scratch, 'big.txt'));
    assert.equal(written.length, expected.bytes);
    assert.equal(sha256(written), expected.digest);
    fs.rmSync(path.join(scratch, 'big.txt'));
    assert.equal(figures.status, 0);
    assert.ok(figures.peakRss < 160e6, `peak RSS ${figures.peakRss} bytes`);
    assert.ok(figures.worstGap < 100, `a 10 ms timer waited ${figures.worstGap} ms`);
    t.diagnostic(`672 MB streamed in ${figures.ms.toFixed(0)} ms, peak RSS ` +
                 `${(figures.peakRss / 1e6).toFixed(0)} MB, longest timer wait ` +
                 `${figures.worstGap.toFixed(0)} ms`);
  });

  test('waits for a consumer that reads slowly, holding no more than it must', () => {
    const figures = runMeasured(`
      const stream = quillfen.createReportStream('big.bmp');
      let read = 0;
      let buffered = 0;
      for await (const block of stream) {
        read += block.length;
        if (read > 8e6) break;
        // A consumer that takes its time: the run must wait for it, not fill memory.
        await new Promise((resolve) => setTimeout(resolve, 20));
        buffered = Math.max(buffered, stream.readableLength);
      }
      await new Promise((resolve) => setTimeout(resolve, 500));
      return {read, buffered};
    `, scratch);
    assert.ok(figures.buffered <= 1.5e6, `the stream held ${figures.buffered} bytes`);
    assert.ok(figures.peakRss < 160e6, `peak RSS ${figures.peakRss} bytes`);
  });

  test('as a string rejects with a RangeError that names the stream, in under 1 GB', () => {
    const figures = runMeasured(`
      try {
        await quillfen.report('big.bmp');
        return {error: null};
      } catch (error) {
        return {error: error.name, message: error.message};
      }
    `, scratch);
    assert.equal(figures.error, 'RangeError');
    assert.match(figures.message, /more than one string can hold: createReportStream\(\)/);
    assert.ok(figures.peakRss < 1e9, `peak RSS ${figures.peakRss} bytes`);
  });

  test('of 336 MB as a string takes under three times its size', () => {
    trueColorFile(path.join(scratch, 'half.bmp'), 6000, 4000);
    const figures = runMeasured(`
      const {text, status} = await quillfen.report('half.bmp');
      return {length: text.length, status};
    `, scratch);
    assert.equal(figures.status, 0);
    assert.equal(figures.length, nativeDigest(path.join(scratch, 'half.bmp')).bytes);
    assert.ok(figures.peakRss < 3 * figures.length, `peak RSS ${figures.peakRss} bytes`);
    assert.ok(figures.worstGap < 100, `a 10 ms timer waited ${figures.worstGap} ms`);
  });
});

describe('calls that fail', () => {
  test('throw what is wrong, and leave the next call working', async () => {
    await assert.rejects(report(42), {name: 'TypeError', message: /^report\(\) takes a path/});
    assert.throws(() => createReportStream(new Uint8Array(4)),
                  {name: 'TypeError', message: /^createReportStream\(bytes, name\) needs/});
    await assert.rejects(report(new Uint8Array(2 ** 31), 'huge.bmp'),
                         {name: 'RangeError', message: /^not enough memory for 2147483648 /});
    const missing = await report(path.join(scratch, 'missing.bmp'));
    assert.deepEqual(missing, {text: 'Invalide File, please check filename\n', status: -1});
    assert.deepEqual(await report(sample), nativeReport(sample));
  });

  test('the core refuses bytes it has no memory for, and says so', async () => {
    const core = await require(path.join(installed, 'lib/core.js'))();
    assert.throws(() => core.reportBytes(new Uint8Array(2 ** 31 - 4096), 'huge.bmp', () => {}),
                  {name: 'RangeError', message: /^not enough memory for 2147479552 bytes$/});
  });

  test('a core that fails to start fails that call only', async () => {
    const copy = fs.mkdtempSync(path.join(scratch, 'package-'));
    fs.cpSync(installed, copy, {recursive: true});
    const core = path.join(copy, 'lib/core.js');
    const working = fs.readFileSync(core);
    fs.writeFileSync(core, 'throw new Error("the core is broken");');
    const api = require(copy);
    await assert.rejects(api.report(sample), {message: 'the core is broken'});
    fs.writeFileSync(core, working);
    assert.deepEqual(await api.report(sample), nativeReport(sample));
  });

  test('a stream given up early stops its run', async () => {
    const stream = createReportStream(path.join(scratch, 'big.bmp'));
    for await (const block of stream) {
      assert.ok(block.length > 0);
      break;
    }
    assert.equal(stream.destroyed, true);
    assert.equal(stream.status, null);
    assert.deepEqual(await report(sample), nativeReport(sample));
  });
});
