// The API as installed from its tarball, against the native binary: report() and
// createReportStream() on every test file as paths and as bytes, a name outside ASCII, an
// 8000 x 6000 file's 672 MB report as a stream (its memory, the event loop, backpressure) and as
// a string that cannot be, calls that fail followed by calls that work, streams that are not
// read, the one worker that serves call after call, and the core's own exports.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {installed, nativeDigest, root, runCounting, runMeasured, scratchDir, sha256, shell,
        testFiles, trueColorFile} from './support.mjs';

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

  // A name of 300,000 bytes of two-byte characters, at both parities: one of them is split
  // by the end of the core's first 256 KiB block.
  test('characters split between two blocks come out whole', async () => {
    const bytes = fs.readFileSync(sample);
    for (const name of ['é'.repeat(150000), `a${'é'.repeat(150000)}`]) {
      const {text, status} = await report(bytes, name);
      assert.equal(status, 0);
      assert.ok(text.includes(`\n Filename [${name}]\n`), `${name.length} characters`);
      assert.equal(text.includes('\ufffd'), false);
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
    const missing = await report(path.join(scratch, 'missing.bmp'));
    assert.deepEqual(missing, {text: 'Invalide File, please check filename\n', status: -1});
    assert.deepEqual(await report(sample), nativeReport(sample));
  });

  test('an empty path is a path that does not open, as on the command line', async () => {
    const refused = {text: 'Invalide File, please check filename\n', status: -1};
    assert.deepEqual(nativeReport(''), refused);
    assert.deepEqual(await report(''), refused);
    assert.deepEqual(await streamed(createReportStream('')), refused);
  });

  // Shared memory, so that neither side of the bound is copied or even touched.
  test('2 GiB of bytes are refused before any is copied; one byte fewer reaches the core', async () => {
    const bound = new Uint8Array(new SharedArrayBuffer(2 ** 31));
    const refusal = {name: 'RangeError',
                     message: 'not enough memory for 2147483648 bytes: the core holds less than 2 GiB'};
    assert.throws(() => createReportStream(bound, 'huge.bmp'), refusal);
    await assert.rejects(report(bound, 'huge.bmp'), refusal);
    // The worker's core refuses it, and its RangeError arrives as one.
    const under = new Uint8Array(new SharedArrayBuffer(2 ** 31 - 1));
    await assert.rejects(report(under, 'huge.bmp'),
                         {name: 'RangeError', message: 'not enough memory for 2147483647 bytes'});
    assert.deepEqual(await report(sample), nativeReport(sample));
  });

  test('the core refuses bytes it has no memory for, and says so', async () => {
    const core = await require(path.join(installed, 'lib/core.js'))();
    assert.throws(() => core.reportBytes(new Uint8Array(2 ** 31 - 4096), 'huge.bmp', () => {}),
                  {name: 'RangeError', message: /^not enough memory for 2147479552 bytes$/});
  });

  test('a core that fails to start fails that call only, with its error\'s kind and code',
       async () => {
    const copy = fs.mkdtempSync(path.join(scratch, 'package-'));
    fs.cpSync(installed, copy, {recursive: true});
    const core = path.join(copy, 'lib/core.js');
    const working = fs.readFileSync(core);
    const api = require(copy);
    fs.writeFileSync(core, 'throw new Error("the core is broken");');
    await assert.rejects(api.report(sample), {name: 'Error', message: 'the core is broken'});
    fs.writeFileSync(core, 'throw Object.assign(new TypeError("not a core"), {code: "EBADCORE"});');
    await assert.rejects(api.report(sample),
                         {name: 'TypeError', message: 'not a core', code: 'EBADCORE'});
    fs.rmSync(core);
    await assert.rejects(api.report(sample), {name: 'Error', code: 'MODULE_NOT_FOUND'});
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

describe('the process', () => {
  test('exits when a stream is never read, or no longer read, as it does for a file stream',
       (t) => {
    const photo = trueColorFile(path.join(scratch, 'photo.bmp'), 4000, 3000);
    const fileStream = runCounting(`fs.createReadStream(${JSON.stringify(photo)});`, scratch);
    for (const [what, script] of [
      ['sample, never read', `quillfen.createReportStream(${JSON.stringify(sample)});`],
      ['36 MB file, never read', `quillfen.createReportStream(${JSON.stringify(photo)});`],
      ['36 MB file, paused after a block', `
        const stream = quillfen.createReportStream(${JSON.stringify(photo)});
        stream.once('data', () => stream.pause());`],
    ]) {
      const {ms} = runCounting(script, scratch);
      assert.ok(ms < fileStream.ms + 1000, `${what}: ${ms.toFixed(0)} ms, against ` +
                `${fileStream.ms.toFixed(0)} ms for a file stream`);
      t.diagnostic(`${what}: exited in ${ms.toFixed(0)} ms (file stream ${fileStream.ms.toFixed(0)} ms)`);
    }
  });

  test('runs call after call in one worker, each with its own credits', (t) => {
    const mid = trueColorFile(path.join(scratch, 'mid.bmp'), 1000, 1000);
    const {workers, texts, sequential, buffered} = runCounting(`
      const texts = new Set();
      for (let i = 0; i < 30; i += 1) texts.add((await quillfen.report('${sample}')).text);
      const sequential = workers;
      // A stream whose consumer only waits: it may fill its 1 MiB and no more, whatever the
      // calls before it left unspent.
      const stream = quillfen.createReportStream('${mid}');
      stream.once('readable', () => {});
      await new Promise((resolve) => setTimeout(resolve, 1000));
      const buffered = stream.readableLength;
      stream.destroy();
      await quillfen.report('${sample}');
      return {texts: texts.size, sequential, buffered};
    `, scratch);
    assert.equal(sequential, 1, 'workers started for 30 calls one after another');
    // The stream given up stops its run, and its worker: one more serves the calls after it.
    assert.equal(workers, 2);
    assert.equal(texts, 1);
    assert.ok(buffered <= 1.5e6, `the stream held ${buffered} bytes`);
    t.diagnostic(`a stream read by no one held ${buffered} bytes`);
  });
});

describe('the core', () => {
  // What this build runs: no part of the page's streaming run, which needs Asyncify.
  test('holds only what runs in Node, and every export runs there', async () => {
    const file = path.join(installed, 'lib/core.js');
    assert.equal(fs.readFileSync(file, 'utf8').includes('Asyncify'), false);
    const core = await require(file)();
    assert.deepEqual(core.inspectPixel(0, 0), {refused: 'no file is open to inspect'});
    assert.equal(core._reportFilling, undefined);
    assert.equal(core.reportFilling, undefined);
    const bytes = fs.readFileSync(sample);
    let report = '';
    const status = core.reportBytes(bytes, 'sample.bmp', (block) => {
      report += Buffer.from(block).toString();
    });
    assert.deepEqual({text: report, status}, nativeReport(sample, true));
    core._warmUp(16);
    const described = core.describe(bytes.subarray(0, core.headBytes), bytes.length, 'sample.bmp');
    assert.deepEqual(described.report, {lastLine: 56, length: String(report.length)});
    assert.equal(core.inspectPlace(46, 1).place.offset, '118');
    assert.equal(core.inspectEntry(3).offset, '66');
    assert.deepEqual(core.inspectExcerpts([47, 46], 0, 0),
                     [{firstLine: 46, from: String(report.indexOf('[00 01')), to:
                       String(report.indexOf('[06 07'))}]);
  });

  // -2^31 x -2^31 at 32 bits, no pixels: offsets past 2^53 stay exact through JSON; past
  // 2^64 - 1 they are beyond any file; numbers that are not whole pixels are refused.
  test('answers with offsets exact past 2^53, and beyond any file past 2^64 - 1', async () => {
    const core = await require(path.join(installed, 'lib/core.js'))();
    const head = Buffer.alloc(58);
    head.write('BM');
    head.writeUInt32LE(54, 10);
    head.writeUInt32LE(40, 14);
    head.writeInt32LE(-(2 ** 31), 18);
    head.writeInt32LE(-(2 ** 31), 22);
    head.writeUInt16LE(1, 26);
    head.writeUInt16LE(32, 28);
    const {layout} = core.describe(head, 58, 'huge.bmp');
    assert.deepEqual(layout, {width: 2 ** 31, height: 2 ** 31, bits: 32, topDown: true,
                              compressed: false, fixedOffsets: true, start: '54',
                              rowBytes: '8589934592', end: null});
    const last = 2 ** 31 - 1;
    assert.equal(core.inspectPixel(0, last).offset,
                 String(54n + BigInt(last) * 8589934592n));
    assert.equal(core.inspectPixel(last, last).beyondAnyFile, true);
    assert.deepEqual(core.inspectByte((2n ** 64n).toString()),
                     {offset: '18446744073709551616', beyondAnyFile: true});
    assert.equal(core.inspectByte((2n ** 64n - 1n).toString()).what.kind, 'pixel');
    for (const [x, y] of [[0.5, 0], [-1, 0], [2 ** 31, 0], [0, NaN], [2 ** 64, 0]]) {
      assert.match(core.inspectPixel(x, y).refused, /whole numbers/, `${x}, ${y}`);
    }
  });
});
