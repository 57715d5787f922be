// report() and createReportStream() as installed from the tarball, against the native binary:
// paths and bytes, from require and import, names outside ASCII, a 672 MB report as a stream
// (memory, the event loop, backpressure) and as a string that cannot be, calls that fail and
// the calls after them, streams that are not read, the one worker that serves call after call,
// and the core's own exports.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {before, describe, test} from 'node:test';

import {changedPackage, header, installed, nativeDigest, nativeReport, openCore, quillfen, require,
        root, runChild, runChildTwiceIfHeld, sample, scratch, sha256,
        trueColorFile} from './support.mjs';

const {report, createReportStream} = quillfen;
const refused = {text: 'Invalide File, please check filename\n', status: -1};

async function streamed(stream) {
  const blocks = [];
  for await (const block of stream) blocks.push(block);
  return {text: Buffer.concat(blocks).toString(), status: stream.status};
}

describe('reports', () => {
  // Every file's report is held to the native one by the golden cases and, through the
  // package's command, by compare_reports.sh: here one block, two blocks, a refused file and no
  // bytes at all.
  test('on paths and bytes, as strings and streams, from require and import', async () => {
    const imported = await import(path.join(installed, 'index.mjs'));
    assert.deepEqual([imported.report, imported.createReportStream], [report, createReportStream]);
    for (const file of ['samples/sample.bmp', 'tests/data/pillow/hopper_rle8.bmp',
                        'fuzz/corpus/magic-BA.bmp', 'fuzz/corpus/empty.bmp']) {
      const [full, bytes] = [path.join(root, file), fs.readFileSync(path.join(root, file))];
      const [expected, byName] = [nativeReport(full), nativeReport(full, true)];
      assert.deepEqual(await report(full), expected, file);
      assert.deepEqual(await streamed(createReportStream(full)), expected, `${file} streamed`);
      // As bytes: the report of a file of that name in the current folder.
      assert.deepEqual(await report(bytes, path.basename(file)), byName, `${file} as bytes`);
      assert.deepEqual(await streamed(createReportStream(bytes, path.basename(file))), byName,
                       `${file} as bytes, streamed`);
    }
    // A path that does not open, the empty one too, is refused as on the command line.
    for (const file of [path.join(scratch, 'missing.bmp'), '']) {
      assert.deepEqual(await report(file), refused, `'${file}'`);
      assert.deepEqual(await streamed(createReportStream(file)), refused, `'${file}' streamed`);
    }
  });

  // A name of 300,000 bytes of two-byte characters, at both parities: one of them is split by
  // the end of the core's first 256 KiB block.
  test('names outside ASCII come out whole, split between two blocks too', async () => {
    const bytes = fs.readFileSync(sample);
    for (const name of ['é'.repeat(150000), `a${'é'.repeat(150000)}`, 'café.bmp']) {
      const {text, status} = await report(bytes, name);
      assert.equal(status, 0);
      assert.ok(text.includes(`\n Filename [${name}]\n`), `${name.length} characters`);
    }
    const named = path.join(scratch, 'café 图像.bmp');
    fs.copyFileSync(sample, named);
    assert.deepEqual(await report(named), nativeReport(named));
  });
});

describe('a report of 672 MB', () => {
  let expected;
  before(() => {
    expected = nativeDigest(trueColorFile(path.join(scratch, 'big.bmp'), 8000, 6000));
  });

  test('streams exactly in bounded memory, with the event loop free, waiting for a consumer ' +
       'that reads slowly', (t) => {
    const figures = runChildTwiceIfHeld(`
      const fs = await import('node:fs');
      const {pipeline} = await import('node:stream/promises');
      const started = performance.now();
      const stream = quillfen.createReportStream('big.bmp');
      await pipeline(stream, fs.createWriteStream('big.txt'));
      const streamed = {status: stream.status, ms: performance.now() - started,
                        streamedGap: measure.worstGap};
      const slow = quillfen.createReportStream('big.bmp');
      let read = 0;
      let buffered = 0;
      for await (const block of slow) {
        read += block.length;
        if (read > 8e6) break;
        // A consumer that takes its time: the run must wait for it, not fill memory.
        await new Promise((resolve) => setTimeout(resolve, 20));
        buffered = Math.max(buffered, slow.readableLength);
      }
      return {...streamed, buffered};
    `, (run) => run.streamedGap >= 100, 60_000);
    const written = fs.readFileSync(path.join(scratch, 'big.txt'));
    assert.deepEqual([written.length, sha256(written)], [expected.bytes, expected.digest]);
    fs.rmSync(path.join(scratch, 'big.txt'));
    assert.equal(figures.status, 0);
    assert.ok(figures.buffered <= 1.5e6, `the slow stream held ${figures.buffered} bytes`);
    assert.ok(figures.peakRss < 160e6, `peak RSS ${figures.peakRss} bytes`);
    assert.ok(figures.streamedGap < 100, `a 10 ms timer waited ${figures.streamedGap} ms`);
    t.diagnostic(`672 MB streamed in ${figures.ms.toFixed(0)} ms, peak RSS ` +
                 `${(figures.peakRss / 1e6).toFixed(0)} MB, longest timer wait ` +
                 `${figures.streamedGap.toFixed(0)} ms`);
  });

  test('as a string rejects with a RangeError that names the stream, in under 1 GB', () => {
    const figures = runChild(`
      return await quillfen.report('big.bmp').then(() => ({}),
        (error) => ({error: error.name, message: error.message}));
    `);
    assert.equal(figures.error, 'RangeError');
    assert.match(figures.message, /more than one string can hold: createReportStream\(\)/);
    assert.ok(figures.peakRss < 1e9, `peak RSS ${figures.peakRss} bytes`);
  });

  test('of 336 MB as a string takes under three times its size', () => {
    trueColorFile(path.join(scratch, 'half.bmp'), 6000, 4000);
    const figures = runChildTwiceIfHeld(`
      const {text, status} = await quillfen.report('half.bmp');
      return {length: text.length, status};
    `, (run) => run.worstGap >= 100);
    assert.deepEqual([figures.status, figures.length],
                     [0, nativeDigest(path.join(scratch, 'half.bmp')).bytes]);
    assert.ok(figures.peakRss < 3 * figures.length, `peak RSS ${figures.peakRss} bytes`);
    assert.ok(figures.worstGap < 100, `a 10 ms timer waited ${figures.worstGap} ms`);
  });

  test('given up early, a stream stops its run', async () => {
    const stream = createReportStream(path.join(scratch, 'big.bmp'));
    for await (const block of stream) {
      assert.ok(block.length > 0);
      break;
    }
    assert.deepEqual([stream.destroyed, stream.status], [true, null]);
    assert.deepEqual(await report(sample), nativeReport(sample));
  });
});

describe('calls that fail', () => {
  test('throw or reject with what is wrong, and leave the next call working', async () => {
    // 2 GiB of shared memory, neither copied nor touched; one byte fewer reaches the worker's
    // core, whose RangeError arrives as one.
    const bound = new Uint8Array(new SharedArrayBuffer(2 ** 31));
    const memory = {name: 'RangeError',
                    message: 'not enough memory for 2147483648 bytes: the core holds less than 2 GiB'};
    await assert.rejects(report(42), {name: 'TypeError', message: /^report\(\) takes a path/});
    assert.throws(() => createReportStream(new Uint8Array(4)),
                  {name: 'TypeError', message: /^createReportStream\(bytes, name\) needs/});
    assert.throws(() => createReportStream(bound, 'huge.bmp'), memory);
    await assert.rejects(report(bound, 'huge.bmp'), memory);
    await assert.rejects(report(new Uint8Array(new SharedArrayBuffer(2 ** 31 - 1)), 'huge.bmp'),
                         {name: 'RangeError', message: 'not enough memory for 2147483647 bytes'});
    const core = await openCore();
    assert.throws(() => core.reportBytes(new Uint8Array(2 ** 31 - 4096), 'huge.bmp', () => {}),
                  {name: 'RangeError', message: /^not enough memory for 2147479552 bytes$/});
    assert.deepEqual(await report(sample), nativeReport(sample));
  });

  test('a core that fails to start fails that call only, with its error\'s kind and code',
       async () => {
    const copy = changedPackage((core) => core);
    const api = require(copy);
    const core = path.join(copy, 'lib/core.js');
    const working = fs.readFileSync(core);
    for (const [text, expected] of [
      ['throw new Error("the core is broken");', {name: 'Error', message: 'the core is broken'}],
      ['throw Object.assign(new TypeError("not a core"), {code: "EBADCORE"});',
       {name: 'TypeError', message: 'not a core', code: 'EBADCORE'}],
      [null, {name: 'Error', code: 'MODULE_NOT_FOUND'}],
    ]) {
      if (text === null) fs.rmSync(core);
      else fs.writeFileSync(core, text);
      await assert.rejects(api.report(sample), expected, text);
    }
    fs.writeFileSync(core, working);
    assert.deepEqual(await api.report(sample), nativeReport(sample));
  });
});

describe('the process', () => {
  test('exits when a stream is never read, or no longer read, as it does for a file stream',
       (t) => {
    const photo = JSON.stringify(trueColorFile(path.join(scratch, 'photo.bmp'), 4000, 3000));
    const fileStream = runChild(`fs.createReadStream(${photo});`, 20_000);
    for (const [what, script] of [
      ['sample, never read', `quillfen.createReportStream(${JSON.stringify(sample)});`],
      ['36 MB file, never read', `quillfen.createReportStream(${photo});`],
      ['36 MB file, paused after a block', `const stream = quillfen.createReportStream(${photo});
        stream.once('data', () => stream.pause());`],
    ]) {
      const ms = runChild(script, 20_000).processMs;
      const against = fileStream.processMs;
      assert.ok(ms < against + 1000, `${what}: ${ms.toFixed(0)} ms, against ` +
                `${against.toFixed(0)} ms for a file stream`);
      t.diagnostic(`${what}: exited in ${ms.toFixed(0)} ms (file stream ${against.toFixed(0)} ms)`);
    }
  });

  test('runs call after call in one worker, refused ones too, each with its own credits', (t) => {
    const mid = trueColorFile(path.join(scratch, 'mid.bmp'), 1000, 1000);
    const {workers, texts, widths, sequential, buffered} = runChild(`
      const texts = new Set();
      const widths = [];
      for (let i = 0; i < 10; i += 1) {
        texts.add((await quillfen.report('${sample}')).text);
        widths.push((await quillfen.decode('${sample}')).width);
        await quillfen.inspect('${sample}');
        await quillfen.decode('missing.bmp').catch(() => {});
        await quillfen.inspect('${sample}', {maxRegions: 1}).catch(() => {});
        await quillfen.compare('${sample}', 'missing.bmp').catch(() => {});
      }
      const sequential = workers;
      // A stream whose consumer only waits: it may fill its 1 MiB and no more, whatever the
      // calls before it left unspent.
      const stream = quillfen.createReportStream('${mid}');
      stream.once('readable', () => {});
      await new Promise((resolve) => setTimeout(resolve, 1000));
      const buffered = stream.readableLength;
      stream.destroy();
      await quillfen.report('${sample}');
      return {texts: texts.size, widths, sequential, buffered};
    `, 20_000);
    assert.equal(sequential, 1, 'workers started for 60 calls one after another');
    // The stream given up stops its run, and its worker: one more serves the calls after it.
    assert.equal(workers, 2);
    assert.deepEqual([texts, widths], [1, Array(10).fill(8)]);
    assert.ok(buffered <= 1.5e6, `the stream held ${buffered} bytes`);
    t.diagnostic(`a stream read by no one held ${buffered} bytes`);
  });
});

describe('the core', () => {
  // What this build runs: no part of the page's streaming run, which needs Asyncify.
  test('holds only what runs in Node, and every export runs there', async () => {
    const file = path.join(installed, 'lib/core.js');
    assert.equal(fs.readFileSync(file, 'utf8').includes('Asyncify'), false);
    const core = await openCore();
    assert.deepEqual(core.inspectPixel(0, 0), {refused: 'no file is open to inspect'});
    assert.deepEqual([core._reportFilling, core.reportFilling], [undefined, undefined]);
    const bytes = fs.readFileSync(sample);
    let text = '';
    const status = core.reportBytes(bytes, 'sample.bmp', (block) => {
      text += Buffer.from(block).toString();
    });
    assert.deepEqual({text, status}, nativeReport(sample, true));
    core._warmUp(16);
    const described = core.describe(bytes.subarray(0, core.headBytes), bytes.length, 'sample.bmp');
    assert.deepEqual(described.report, {lastLine: 56, length: String(text.length)});
    assert.equal(core.inspectPlace(46, 1).place.offset, '118');
    assert.equal(core.inspectEntry(3).offset, '66');
    assert.deepEqual(core.inspectExcerpts([47, 46], 0, 0), [{firstLine: 46,
      from: String(text.indexOf('[00 01')), to: String(text.indexOf('[06 07'))}]);
  });

  // -2^31 x -2^31 at 32 bits, no pixels: the core's own tests hold its offsets and refusals;
  // here offsets past 2^53 and 2^64 come through exact, and numbers that are not whole pixels,
  // which only this layer hands to the core, are refused.
  test('gives offsets exact past 2^53, and refuses pixels that are not whole numbers',
       async () => {
    const core = await openCore();
    core.describe(header(-(2 ** 31), -(2 ** 31), 32), 58, 'huge.bmp');
    assert.equal(core.inspectPixel(0, 2 ** 31 - 1).offset, '18446744065119617078');
    assert.deepEqual(core.inspectByte((2n ** 64n).toString()),
                     {offset: '18446744073709551616', beyondAnyFile: true});
    core.decoderOpenBytes(header(2 ** 31 - 1, -(2 ** 31), 32));
    for (const [x, y] of [[0.5, 0], [-1, 0], [2 ** 31, 0], [0, NaN], [2 ** 64, 0]]) {
      assert.match(core.inspectPixel(x, y).refused, /whole numbers/, `${x}, ${y}`);
      assert.match(core.decoderPixel(x, y).refused, /whole numbers/, `decoder ${x}, ${y}`);
    }
  });
});
