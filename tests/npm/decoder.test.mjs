// inspect() and decode() as installed from the tarball, against the native decoder: every test
// file decoded as the native decoder decodes it, as a path and as bytes; maps that cover each
// file exactly, with fields that are the file's bytes; exact answers on the sample; the bounds
// on both sides; calls that fail and the calls after them; one worker for call after call;
// the event loop and memory on large maps and pictures; a 5 GiB sparse file; and the core's
// decoder reading through a function, as the page reads a browser File.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {after, describe, test} from 'node:test';

import {installed, root, runCounting, runMeasured, scratchDir, sha256, testFiles,
        trueColorFile} from './support.mjs';

const scratch = scratchDir();
after(() => fs.rmSync(scratch, {recursive: true, force: true}));
const require = createRequire(path.join(installed, 'package.json'));
const {inspect, decode} = require('quillfen');
const sample = path.join(root, 'samples/sample.bmp');
// The native decoder's own dump, which the comparison with Pillow reads too.
const dump = path.join(root, 'build/tests/decode_dump');
// The most pixels the dump decodes; decode() is held to the same for the comparison.
const kDumpPixels = 2 ** 26;

// What the native decoder makes of file: {width, height, rgba, state}, or null when it does
// not decode it.
function nativeDecode(file) {
  const out = path.join(scratch, 'dump.bin');
  const run = spawnSync(dump, [file, out], {timeout: 60_000, killSignal: 'SIGKILL'});
  if (run.status === 3) return null;
  assert.equal(run.status, 0, `${dump} on ${file}: ${run.stderr}`);
  const bytes = fs.readFileSync(out);
  const pixels = bytes.readUInt32LE(0) * bytes.readUInt32LE(4);
  return {width: bytes.readUInt32LE(0), height: bytes.readUInt32LE(4),
          rgba: bytes.subarray(8, 8 + 4 * pixels), state: bytes.subarray(8 + 4 * pixels)};
}

const hexPairs = (bytes) => [...bytes].map((byte) =>
  byte.toString(16).toUpperCase().padStart(2, '0')).join(' ');

// A 24-bit file of 1 x rows black pixels: each row is a region and its padding another.
function tallFile(file, rows) {
  const bytes = Buffer.alloc(54 + 4 * rows);
  bytes.write('BM');
  bytes.writeUInt32LE(bytes.length, 2);
  bytes.writeUInt32LE(54, 10);
  bytes.writeUInt32LE(40, 14);
  bytes.writeInt32LE(1, 18);
  bytes.writeInt32LE(rows, 22);
  bytes.writeUInt16LE(1, 26);
  bytes.writeUInt16LE(24, 28);
  fs.writeFileSync(file, bytes);
  return file;
}

// A 58-byte header of width x height at bits per pixel, no pixels.
function header(width, height, bits, offBits = 54) {
  const bytes = Buffer.alloc(58);
  bytes.write('BM');
  bytes.writeUInt32LE(offBits, 10);
  bytes.writeUInt32LE(40, 14);
  bytes.writeInt32LE(width, 18);
  bytes.writeInt32LE(height, 22);
  bytes.writeUInt16LE(1, 26);
  bytes.writeUInt16LE(bits, 28);
  return bytes;
}

describe('against the native decoder', () => {
  test('decode() gives its RGBA and states for every test file, as a path and as bytes',
       async (t) => {
    const states = new Set();
    let decoded = 0;
    for (const file of testFiles) {
      const expected = nativeDecode(file);
      for (const input of [file, fs.readFileSync(file)]) {
        const what = `${file}${typeof input === 'string' ? '' : ' as bytes'}`;
        if (expected === null) {
          // Not decoded natively: the pixels do not decode, or there are too many to hold.
          const format = await inspect(input);
          const too = {name: 'RangeError', code: 'ERR_QUILLFEN_TOO_MANY_PIXELS'};
          const notDecoded = {name: 'Error', code: 'ERR_QUILLFEN_NOT_DECODED',
                              message: format.problem};
          await assert.rejects(decode(input, {maxPixels: kDumpPixels}),
                               format.decodes ? too : notDecoded, what);
          continue;
        }
        const ours = await decode(input, {maxPixels: kDumpPixels});
        assert.deepEqual([ours.width, ours.height], [expected.width, expected.height], what);
        assert.ok(ours.rgba instanceof Uint8Array && ours.state instanceof Uint8Array, what);
        assert.ok(Buffer.from(ours.rgba).equals(expected.rgba), `${what}: RGBA`);
        assert.ok(Buffer.from(ours.state).equals(expected.state), `${what}: states`);
        for (const state of ours.state) states.add(state);
        decoded += 1;
      }
    }
    // Enough files, and pixels of every state among them.
    assert.ok(decoded >= 2 * 120, `${decoded} decoded`);
    assert.deepEqual([...states].sort(), [0, 1, 2, 3]);
    t.diagnostic(`${decoded / 2} of ${testFiles.length} files decoded alike`);
  });

  test('inspect() maps every test file from 0 to its length, its fields the file\'s bytes',
       async () => {
    for (const file of testFiles) {
      const bytes = fs.readFileSync(file);
      const answer = await inspect(file);
      assert.equal(answer.fileLength, bytes.length, file);
      let next = 0;
      for (const region of answer.regions) {
        assert.equal(region.offset, next, `${file}: ${region.name}`);
        assert.ok(Number.isInteger(region.size) && region.size > 0, `${file}: ${region.name}`);
        assert.equal(typeof region.kind, 'string');
        next += region.size;
      }
      assert.equal(next, bytes.length, file);
      assert.ok(answer.fields.length >= 1, file);
      for (const field of answer.fields) {
        const held = bytes.subarray(field.offset, field.offset + field.size);
        assert.equal(field.hex, hexPairs(held), `${file}: ${field.name}`);
      }
      assert.deepEqual(await inspect(bytes), answer, `${file} as bytes`);
    }
  });
});

describe('answers', () => {
  test('on the sample, exactly', async () => {
    const {fields, regions, ...format} = await inspect(sample);
    assert.deepEqual(format, {
      fileLength: 150, bitmap: true,
      header: {kind: 'info', name: 'BITMAPINFOHEADER', size: 40},
      decodes: true, encoding: 'indexed', encodingName: 'indexed', problem: null,
      width: 8, height: 4, storedWidth: 8, storedHeight: 4, topDown: false, bitCount: 8,
      compression: 0, compressionName: 'BI_RGB', masks: null,
      table: {offset: '54', entrySize: 4, entries: '16'},
      pixels: {start: '118', end: '150', rowBytes: '8'}, embedded: null, profile: null,
    });
    assert.deepEqual(fields.map(({name}) => name), [
      'bfType', 'bfSize', 'bfReserved1', 'bfReserved2', 'bfOffBits', 'biSize', 'biWidth',
      'biHeight', 'biPlanes', 'biBitCount', 'biCompression', 'biSizeImage', 'biXPelsPerMeter',
      'biYPelsPerMeter', 'biClrUsed', 'biClrImportant']);
    assert.deepEqual(fields[7], {name: 'biHeight', offset: 22, size: 4, value: '4',
                                 note: 'rows, stored bottom-up', hex: '04 00 00 00'});
    // 16 fields, 16 table entries and 4 rows of 8 bytes, which need no padding.
    assert.equal(regions.length, 36);
    assert.deepEqual(regions.slice(15, 17), [
      {offset: 50, size: 4, kind: 'info-header', name: 'biClrImportant', note: ''},
      {offset: 54, size: 4, kind: 'colour-entry', name: 'entry 0', note: ''}]);
    assert.deepEqual(regions.at(-1), {offset: 142, size: 8, kind: 'pixel-row', name: 'row 0',
                                      note: '', x: 0, y: 0, pixels: 8});
    // The top row is the last stored (indices 9, 10, ...), the bottom one the first (..., 7):
    // entries of grey.
    const {width, height, rgba, state} = await decode(sample);
    assert.deepEqual([width, height, rgba.length, state.length], [8, 4, 128, 32]);
    assert.deepEqual([...rgba.subarray(0, 8)], [0x99, 0x99, 0x99, 255, 0xAA, 0xAA, 0xAA, 255]);
    assert.deepEqual([...rgba.subarray(124)], [0x77, 0x77, 0x77, 255]);
    assert.ok(state.every((value) => value === 0));
  });

  test('on files that are not bitmaps, are empty, or hold an embedded image', async () => {
    const gif = Buffer.from('GIF89a\x01\x00\x01\x00', 'latin1');
    const answer = await inspect(gif);
    assert.equal(answer.bitmap, false);
    assert.deepEqual(answer.regions.map(({offset, size, kind}) => [offset, size, kind]),
                     [[0, 2, 'file-header'], [2, 8, 'unread']]);
    await assert.rejects(decode(gif), {name: 'Error', code: 'ERR_QUILLFEN_NOT_DECODED',
                                       message: 'the file does not start with BM'});
    const empty = await inspect(new Uint8Array(0));
    assert.deepEqual([empty.fileLength, empty.regions], [0, []]);
    await assert.rejects(decode(new Uint8Array(0)), {code: 'ERR_QUILLFEN_NOT_DECODED'});
    const png = path.join(root, 'tests/data/bmpsuite/q/rgb24png.bmp');
    const embedded = await inspect(png);
    // After a V5 header, to the end of the file.
    assert.deepEqual(embedded.embedded, {kind: 'png', offset: '138',
                                         length: String(fs.statSync(png).size - 138)});
    await assert.rejects(decode(png), {name: 'Error', code: 'ERR_QUILLFEN_NOT_DECODED',
                                       message: 'an embedded PNG is named, not decoded'});
  });
});

describe('bounds', () => {
  test('maxPixels and maxRegions hold on both sides, and the defaults are as stated',
       async () => {
    // The sample: 32 pixels, 36 regions.
    assert.equal((await decode(sample, {maxPixels: 32})).state.length, 32);
    await assert.rejects(decode(sample, {maxPixels: 31}), {
      name: 'RangeError', code: 'ERR_QUILLFEN_TOO_MANY_PIXELS',
      message: '8 x 4 is 32 pixels, more than maxPixels (31)'});
    assert.equal((await inspect(sample, {maxRegions: 36})).regions.length, 36);
    await assert.rejects(inspect(sample, {maxRegions: 35}), {
      name: 'RangeError', code: 'ERR_QUILLFEN_TOO_MANY_REGIONS',
      message: 'the map has more than 35 regions, the most inspect() lists unless ' +
               'options.maxRegions says more'});
    // 16384 x 16385 claimed in 58 bytes: one row past the default, refused before decoding.
    await assert.rejects(decode(header(16384, 16385, 8)), {
      name: 'RangeError', code: 'ERR_QUILLFEN_TOO_MANY_PIXELS',
      message: '16384 x 16385 is 268451840 pixels, more than maxPixels (268435456)'});
    const {state} = await decode(header(16384, 1, 24).subarray(0, 54), {maxPixels: 16384});
    assert.ok(state.every((value) => value === 2), 'a row past the end of the file: missing');
  });

  test('options that are not bounds are refused with Node\'s codes', async () => {
    for (const [options, name, code] of [
      ['many', 'TypeError', 'ERR_INVALID_ARG_TYPE'],
      [null, 'TypeError', 'ERR_INVALID_ARG_TYPE'],
      [{maxPixels: '32'}, 'TypeError', 'ERR_INVALID_ARG_TYPE'],
      [{maxPixels: -1}, 'RangeError', 'ERR_OUT_OF_RANGE'],
      [{maxPixels: 1.5}, 'RangeError', 'ERR_OUT_OF_RANGE'],
      [{maxPixels: 2 ** 30 + 1}, 'RangeError', 'ERR_OUT_OF_RANGE'],
      [{maxPixels: Infinity}, 'RangeError', 'ERR_OUT_OF_RANGE'],
    ]) {
      await assert.rejects(decode(sample, options), {name, code}, JSON.stringify(options));
    }
    await assert.rejects(inspect(sample, {maxRegions: NaN}), {name: 'RangeError'});
    assert.equal((await inspect(sample, {maxRegions: Infinity})).regions.length, 36);
    assert.equal((await decode(sample, {maxPixels: 2 ** 30})).width, 8);
  });

  // 124,992 rows of a row and its padding, and the 16 fields: exactly 250,000 regions. The
  // regions come in pages, each a short task; what still holds the event loop is collecting
  // the young objects as the array grows, tens of milliseconds on an idle machine.
  test('a map of 250,000 regions is listed, one more is refused at once; memory stays ' +
       'bounded and the event loop is never held for the whole run', (t) => {
    tallFile(path.join(scratch, 'bound.bmp'), 124992);
    tallFile(path.join(scratch, 'past.bmp'), 124993);
    const figures = runMeasured(`
      let started = performance.now();
      const {regions} = await quillfen.inspect('bound.bmp');
      const listedMs = performance.now() - started;
      started = performance.now();
      const error = await quillfen.inspect('past.bmp').catch((failure) => failure);
      return {regions: regions.length, listedMs, refusedMs: performance.now() - started,
              code: error.code, message: error.message};
    `, scratch);
    assert.equal(figures.regions, 250000);
    assert.equal(figures.code, 'ERR_QUILLFEN_TOO_MANY_REGIONS');
    assert.match(figures.message, /more than 250000 regions/);
    assert.ok(figures.refusedMs < figures.listedMs, 'the refusal lists nothing');
    assert.ok(figures.peakRss < 320e6, `peak RSS ${figures.peakRss} bytes`);
    assert.ok(figures.worstGap < figures.listedMs / 2,
              `a 10 ms timer waited ${figures.worstGap} ms of ${figures.listedMs} ms`);
    t.diagnostic(`250,000 regions in ${figures.listedMs.toFixed(0)} ms, peak RSS ` +
                 `${(figures.peakRss / 1e6).toFixed(0)} MB, longest timer wait ` +
                 `${figures.worstGap.toFixed(0)} ms; refused in ${figures.refusedMs.toFixed(0)} ms`);
  });
});

describe('calls that fail', () => {
  test('reject as the package\'s other calls do, and leave the next call working', async () => {
    const usage = {name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE'};
    await assert.rejects(inspect(42), {...usage, message: 'inspect() takes a path or a Uint8Array'});
    await assert.rejects(decode(), {...usage, message: 'decode() takes a path or a Uint8Array'});
    await assert.rejects(decode([1, 2]), usage);
    const missing = path.join(scratch, 'missing.bmp');
    await assert.rejects(inspect(missing), {code: 'ENOENT',
                                            message: `ENOENT: no such file or directory, open '${missing}'`});
    await assert.rejects(decode(''), {code: 'ENOENT'});
    await assert.rejects(decode(scratch), {code: 'EISDIR'});
    await assert.rejects(inspect(scratch), {code: 'EISDIR'});
    // Shared memory, so that the bytes are neither copied nor touched.
    await assert.rejects(decode(new Uint8Array(new SharedArrayBuffer(2 ** 31))), {
      name: 'RangeError',
      message: 'not enough memory for 2147483648 bytes: the core holds less than 2 GiB'});
    assert.equal((await decode(sample)).width, 8);
    assert.equal((await inspect(fs.readFileSync(sample))).regions.length, 36);
  });

  test('one worker serves call after call, refused ones too, and the process then exits', () => {
    const {workers, widths, ms} = runCounting(`
      const widths = [];
      for (let i = 0; i < 10; i += 1) {
        widths.push((await quillfen.decode(${JSON.stringify(sample)})).width);
        await quillfen.inspect(${JSON.stringify(sample)});
        await quillfen.report(${JSON.stringify(sample)});
        await quillfen.decode('missing.bmp').catch(() => {});
        await quillfen.inspect(${JSON.stringify(sample)}, {maxRegions: 1}).catch(() => {});
      }
      return {widths};
    `, scratch);
    assert.equal(workers, 1);
    assert.deepEqual(widths, Array(10).fill(8));
    assert.ok(ms < 20_000);
  });
});

describe('large files', () => {
  test('a 4000 x 3000 picture decodes as natively, with the event loop free', (t) => {
    const photo = trueColorFile(path.join(scratch, 'photo.bmp'), 4000, 3000);
    const figures = runMeasured(`
      const {createHash} = await import('node:crypto');
      const started = performance.now();
      const {width, height, rgba, state} = await quillfen.decode('photo.bmp');
      const ms = performance.now() - started;
      const digest = (bytes) => createHash('sha256').update(bytes).digest('hex');
      return {width, height, ms, rgba: digest(rgba), state: digest(state)};
    `, scratch);
    const expected = nativeDecode(photo);
    assert.deepEqual([figures.width, figures.height], [4000, 3000]);
    assert.equal(figures.rgba, sha256(expected.rgba));
    assert.equal(figures.state, sha256(expected.state));
    assert.ok(figures.worstGap < 100, `a 10 ms timer waited ${figures.worstGap} ms`);
    t.diagnostic(`decoded in ${figures.ms.toFixed(0)} ms, peak RSS ` +
                 `${(figures.peakRss / 1e6).toFixed(0)} MB, longest timer wait ` +
                 `${figures.worstGap.toFixed(0)} ms`);
  });

  // 5 GiB, sparse: rows of 100000 x 17000 pixels fill it but for 268 MB past them; a second
  // such file holds a 1000 x 1000 picture in the 3 MB below 4 GiB.
  test('a 5 GiB sparse file is mapped and decoded where it is asked about', async () => {
    const size = 5 * 2 ** 30;
    const huge = path.join(scratch, 'huge.bmp');
    fs.writeFileSync(huge, header(100000, 17000, 24).subarray(0, 54));
    fs.truncateSync(huge, size);
    let started = performance.now();
    const {regions} = await inspect(huge);
    const mappedMs = performance.now() - started;
    assert.equal(regions.length, 16 + 17000 + 1);
    assert.deepEqual(regions.at(-2), {offset: 54 + 16999 * 300000, size: 300000,
                                      kind: 'pixel-row', name: 'row 0', note: '', x: 0, y: 0,
                                      pixels: 100000});
    assert.deepEqual(regions.at(-1), {offset: 5100000054, size: size - 5100000054,
                                      kind: 'past-pixels', name: 'bytes past the pixels',
                                      note: ''});
    await assert.rejects(decode(huge), {code: 'ERR_QUILLFEN_TOO_MANY_PIXELS'});
    const end = path.join(scratch, 'end.bmp');
    const start = 2 ** 32 - 3000 * 1000;
    fs.writeFileSync(end, header(1000, 1000, 24, start).subarray(0, 54));
    fs.truncateSync(end, size);
    started = performance.now();
    const {rgba, state} = await decode(end);
    const decodedMs = performance.now() - started;
    assert.ok(state.every((value) => value === 0));
    assert.ok(rgba.every((value, i) => value === (i % 4 === 3 ? 255 : 0)));
    assert.ok(mappedMs < 5000 && decodedMs < 5000, `${mappedMs} ms, ${decodedMs} ms`);
  });
});

describe('the core\'s decoder', () => {
  const openCore = () => require(path.join(installed, 'lib/core.js'))();

  // What a page does with a browser File: the core reads through a function, a block at a time.
  test('reads a 5 GiB file through a function, only where it is asked about', async () => {
    const core = await openCore();
    const size = 5 * 2 ** 30;
    const head = header(100000, 17000, 24);
    const reads = [];
    const format = core.decoderOpenReader(size, (offset, target) => {
      reads.push([offset, target.length]);
      const count = Math.min(target.length, size - offset);
      target.fill(0x11, 0, count);
      if (offset < 54) target.set(head.subarray(offset, 54), 0);
      return count;
    });
    assert.deepEqual([format.fileLength, format.width, format.height, format.encoding],
                     [size, 100000, 17000, 'bgr']);
    // Pixel (5, 0) of the top row, stored last.
    const pixel = core.decoderPixel(5, 0);
    assert.deepEqual([pixel.offset, pixel.data.hex, pixel.rgba], ['5099700069', '11 11 11',
                                                                  [17, 17, 17, 255]]);
    const {rgba, state} = core.decoderRows(16999, 1);
    assert.deepEqual([rgba.length, state.length, rgba[0], state[99999]], [400000, 100000, 17, 0]);
    assert.equal(core.decoderRegionAt(2 ** 32 + 7).name, `row ${17000 - 1 - 14316}`);
    // The header, the top row, the bottom row: blocks of 256 KiB, nowhere else.
    assert.ok(reads.every(([, length]) => length <= 262144));
    assert.ok(reads.length <= 6, JSON.stringify(reads));
    // A function that finds fewer bytes than the file is said to hold: the rest is missing.
    core.decoderOpenReader(200, (offset, target) => {
      const bytes = header(8, 4, 24);
      target.set(bytes.subarray(offset, 58), 0);
      return Math.max(0, 58 - offset);
    });
    // The header's last 4 bytes are the bottom row's first pixel, and the file's last.
    const cut = core.decoderRows(0, 4);
    assert.deepEqual([...cut.state], [...Array(3 * 8).fill(2), 0, ...Array(7).fill(2)]);
    core.decoderClose();
    assert.deepEqual(core.decoderFormat(), {refused: 'no file is open to decode'});
  });

  test('answers from held bytes as from a copy, and refuses rows outside the picture',
       async () => {
    const core = await openCore();
    const bytes = fs.readFileSync(sample);
    const pointer = core.hold(bytes.length);
    core.fill(pointer, 0, bytes);
    const held = core.decoderOpenHeld(pointer, bytes.length);
    assert.deepEqual(core.decoderRegions(120, 127), {
      regions: [{offset: 118, size: 8, kind: 'pixel-row', name: 'row 3', note: '', x: 0, y: 3,
                 pixels: 8},
                {offset: 126, size: 8, kind: 'pixel-row', name: 'row 2', note: '', x: 0, y: 2,
                 pixels: 8}],
      more: false, next: 134});
    assert.equal(core.decoderRegionCount(), 36);
    assert.equal(core.decoderRegionCount(118, 130), 2);
    assert.equal(core.decoderRegionCount(0, undefined, 20), 20);
    const rows = core.decoderRows(1, 2, 6, 2);
    assert.deepEqual([...rows.state], [0, 0, 0, 0]);
    assert.deepEqual([...rows.rgba.subarray(0, 4)], [0xCC, 0xCC, 0xCC, 255]);
    assert.deepEqual(core.decoderOpenBytes(bytes), held);
    core.release(pointer);
    assert.throws(() => core.decoderRows(3, 2), {name: 'RangeError', message: /within the picture/});
    assert.throws(() => core.decoderRows(0, 1, 7, 2), {name: 'RangeError'});
    assert.throws(() => core.decoderRows(0, 4096, 0, 1024), {name: 'RangeError',
                                                             message: /at most 1048576 pixels/});
    assert.equal(core.decoderRowsLimit, 1048576);
    assert.equal(core.decoderRegionAt(150), null);
    core.decoderOpenBytes(fs.readFileSync(path.join(root, 'tests/data/bmpsuite/q/rgb24jpeg.bmp')));
    assert.throws(() => core.decoderRows(0, 1), {name: 'RangeError',
                                                 message: 'not decoded: an embedded JPEG is named, ' +
                                                          'not decoded'});
    assert.equal(core.decoderPixel(0, 0).source, 'not-decoded');
  });

  // 32 bits, 2^31 - 1 x -2^31: offsets past 2^53 stay exact through JSON.
  test('gives offsets past 2^53 exactly, and pixels past 2^64 - 1 as beyond any file',
       async () => {
    const core = await openCore();
    const format = core.decoderOpenBytes(header(2 ** 31 - 1, -(2 ** 31), 32));
    assert.deepEqual(format.pixels, {start: '54', end: String(2n ** 64n - 2n ** 33n + 54n),
                                     rowBytes: '8589934588'});
    const last = core.decoderPixel(2 ** 31 - 2, 2 ** 31 - 1);
    assert.equal(last.offset, String(54n + (2n ** 31n - 1n) * 8589934588n + (2n ** 31n - 2n) * 4n));
    assert.equal(last.stateName, 'missing');
    core.decoderOpenBytes(header(2 ** 31 - 1, -(2 ** 31), 64));
    assert.deepEqual(core.decoderPixel(0, 2 ** 31 - 1).beyondAnyFile, true);
    assert.match(core.decoderPixel(0.5, 0).refused, /whole numbers/);
  });
});
