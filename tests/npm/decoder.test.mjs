// inspect() and decode() as installed from the tarball: pixels of every state as the native
// decoder gives them, from paths and bytes; exact answers on the sample; refusals and the bounds
// on both sides; a map of 250,000 regions, large pictures and a 5 GiB sparse file with the event
// loop free; and the core's decoder reading through a function, as the page reads a File.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {header, openCore, quillfen, root, runChildTwiceIfHeld, sample, scratch,
        sha256, trueColorFile} from './support.mjs';

const {inspect, decode} = quillfen;
const notDecoded = (message) => ({name: 'Error', code: 'ERR_QUILLFEN_NOT_DECODED', message});

// What the native decoder's dump makes of file: {width, height, rgba, state}.
function nativeDecode(file) {
  const out = path.join(scratch, 'dump.bin');
  const run = spawnSync(path.join(root, 'build/tests/decode_dump'), [file, out],
                        {timeout: 60_000, killSignal: 'SIGKILL'});
  assert.equal(run.status, 0, `decode_dump on ${file}: ${run.stderr}`);
  const bytes = fs.readFileSync(out);
  const pixels = bytes.readUInt32LE(0) * bytes.readUInt32LE(4);
  return {width: bytes.readUInt32LE(0), height: bytes.readUInt32LE(4),
          rgba: bytes.subarray(8, 8 + 4 * pixels), state: bytes.subarray(8 + 4 * pixels)};
}

// A 24-bit file of 1 x rows black pixels: each row is a region and its padding another.
function tallFile(name, rows) {
  const bytes = Buffer.concat([header(1, rows, 24).subarray(0, 54), Buffer.alloc(4 * rows)]);
  bytes.writeUInt32LE(bytes.length, 2);
  fs.writeFileSync(path.join(scratch, name), bytes);
}

describe('against the native decoder', () => {
  // Among them pixels decoded (0), skipped (1), missing (2) and of an index past the table (3);
  // the map's fields and regions are the core's, checked there.
  test('decode() and inspect() agree with it from a path and from bytes', async () => {
    for (const [file, states] of [['fuzz/corpus/decode-rle8-topdown-cut.bmp', [0, 1, 2]],
                                  ['tests/data/bmpsuite/b/pal8badindex.bmp', [0, 3]]]) {
      const expected = nativeDecode(path.join(root, file));
      const bytes = fs.readFileSync(path.join(root, file));
      assert.deepEqual(await inspect(bytes), await inspect(path.join(root, file)), file);
      for (const input of [path.join(root, file), bytes]) {
        const what = `${file}${typeof input === 'string' ? '' : ' as bytes'}`;
        const {width, height, rgba, state} = await decode(input);
        assert.deepEqual([width, height], [expected.width, expected.height], what);
        assert.ok(rgba instanceof Uint8Array && state instanceof Uint8Array, what);
        assert.ok(Buffer.from(rgba).equals(expected.rgba), `${what}: RGBA`);
        assert.ok(Buffer.from(state).equals(expected.state), `${what}: states`);
        assert.deepEqual([...new Set(state)].sort(), states, `${what}: states`);
      }
    }
  });

  test('a 4000 x 3000 picture decodes as natively, with the event loop free', (t) => {
    const expected = nativeDecode(trueColorFile(path.join(scratch, 'photo.bmp'), 4000, 3000));
    const figures = runChildTwiceIfHeld(`
      const {createHash} = await import('node:crypto');
      const started = performance.now();
      const {width, height, rgba, state} = await quillfen.decode('photo.bmp');
      const ms = performance.now() - started;
      const digest = (bytes) => createHash('sha256').update(bytes).digest('hex');
      return {width, height, ms, rgba: digest(rgba), state: digest(state)};
    `, (run) => run.worstGap >= 100);
    assert.deepEqual([figures.width, figures.height, figures.rgba, figures.state],
                     [4000, 3000, sha256(expected.rgba), sha256(expected.state)]);
    assert.ok(figures.worstGap < 100, `a 10 ms timer waited ${figures.worstGap} ms`);
    t.diagnostic(`decoded in ${figures.ms.toFixed(0)} ms, peak RSS ` +
                 `${(figures.peakRss / 1e6).toFixed(0)} MB, longest timer wait ` +
                 `${figures.worstGap.toFixed(0)} ms`);
  });
});

describe('answers', () => {
  test('inspect() on the sample, exactly', async () => {
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
    assert.deepEqual([fields.length, fields[7]], [16, {name: 'biHeight', offset: 22, size: 4,
      value: '4', note: 'rows, stored bottom-up', hex: '04 00 00 00'}]);
    // 16 fields, 16 table entries and 4 rows of 8 bytes, which need no padding.
    assert.deepEqual([regions.length, ...regions.slice(15, 17), regions.at(-1)], [36,
      {offset: 50, size: 4, kind: 'info-header', name: 'biClrImportant', note: ''},
      {offset: 54, size: 4, kind: 'colour-entry', name: 'entry 0', note: ''},
      {offset: 142, size: 8, kind: 'pixel-row', name: 'row 0', note: '', x: 0, y: 0, pixels: 8}]);
  });

  test('on a file that is empty or holds an embedded image; decode() refuses with the problem',
       async () => {
    const png = path.join(root, 'tests/data/bmpsuite/q/rgb24png.bmp');
    for (const [what, input, answer, refusal] of [
      ['empty', new Uint8Array(0), {fileLength: 0, regions: []}, undefined],
      // After a V5 header, to the end of the file.
      ['a PNG inside', png, {embedded: {kind: 'png', offset: '138',
                                        length: String(fs.statSync(png).size - 138)}},
       'an embedded PNG is named, not decoded'],
    ]) {
      const format = await inspect(input);
      format.regions = format.regions.map(({offset, size, kind}) => [offset, size, kind]);
      for (const key of Object.keys(answer)) assert.deepEqual(format[key], answer[key], what);
      await assert.rejects(decode(input), notDecoded(refusal ?? format.problem), what);
    }
  });

  test('calls that fail reject as the package\'s other calls do; the next call works',
       async () => {
    const usage = {name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE'};
    const missing = path.join(scratch, 'missing.bmp');
    for (const [call, expected] of [
      [() => inspect(42), {...usage, message: 'inspect() takes a path or a Uint8Array'}],
      [() => decode(), {...usage, message: 'decode() takes a path or a Uint8Array'}],
      [() => decode([1, 2]), usage],
      [() => inspect(missing), {code: 'ENOENT',
                                message: `ENOENT: no such file or directory, open '${missing}'`}],
      [() => decode(''), {code: 'ENOENT'}],
      [() => decode(scratch), {code: 'EISDIR'}],
      // Shared memory, so that the bytes are neither copied nor touched.
      [() => decode(new Uint8Array(new SharedArrayBuffer(2 ** 31))), {name: 'RangeError',
        message: 'not enough memory for 2147483648 bytes: the core holds less than 2 GiB'}],
    ]) {
      await assert.rejects(call(), expected, call.toString());
    }
    assert.equal((await decode(sample)).width, 8);
    assert.equal((await inspect(fs.readFileSync(sample))).regions.length, 36);
  });
});

describe('bounds', () => {
  test('maxPixels and maxRegions hold on both sides, and the defaults are as stated',
       async () => {
    const tooMany = (message) => ({name: 'RangeError', code: 'ERR_QUILLFEN_TOO_MANY_PIXELS',
                                   message});
    // The sample: 32 pixels, 36 regions.
    assert.equal((await decode(sample, {maxPixels: 32})).state.length, 32);
    await assert.rejects(decode(sample, {maxPixels: 31}),
                         tooMany('8 x 4 is 32 pixels, more than maxPixels (31)'));
    assert.equal((await inspect(sample, {maxRegions: 36})).regions.length, 36);
    await assert.rejects(inspect(sample, {maxRegions: 35}), {
      name: 'RangeError', code: 'ERR_QUILLFEN_TOO_MANY_REGIONS',
      message: 'the map has more than 35 regions, the most inspect() lists unless ' +
               'options.maxRegions says more'});
    // 8192 x 4096 claimed in 58 bytes is the default, one row more is refused before decoding.
    assert.equal((await decode(header(8192, 4096, 8))).state.length, 2 ** 25);
    await assert.rejects(decode(header(8192, 4097, 8)),
                         tooMany('8192 x 4097 is 33562624 pixels, more than maxPixels (33554432)'));
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

  // 124,992 rows of a row and its padding, and the 16 fields: exactly 250,000 regions, sent in
  // pages. What still holds the event loop is collecting the young objects as the array grows.
  test('a map of 250,000 regions is listed whole, one more is refused at once; memory stays ' +
       'bounded and the event loop is never held for the whole run', (t) => {
    tallFile('bound.bmp', 124992);
    tallFile('past.bmp', 124993);
    const figures = runChildTwiceIfHeld(`
      let started = performance.now();
      const {regions} = await quillfen.inspect('bound.bmp');
      const listedMs = performance.now() - started;
      const gaps = regions.filter((region, i) => i > 0 &&
        region.offset !== regions[i - 1].offset + regions[i - 1].size).length;
      started = performance.now();
      const error = await quillfen.inspect('past.bmp').catch((failure) => failure);
      return {regions: regions.length, gaps, listedMs, refusedMs: performance.now() - started,
              code: error.code, message: error.message};
    `, (run) => run.worstGap >= run.listedMs / 2);
    assert.deepEqual([figures.regions, figures.gaps, figures.code],
                     [250000, 0, 'ERR_QUILLFEN_TOO_MANY_REGIONS']);
    assert.match(figures.message, /more than 250000 regions/);
    assert.ok(figures.refusedMs < figures.listedMs, 'the refusal lists nothing');
    assert.ok(figures.peakRss < 320e6, `peak RSS ${figures.peakRss} bytes`);
    assert.ok(figures.worstGap < figures.listedMs / 2,
              `a 10 ms timer waited ${figures.worstGap} ms of ${figures.listedMs} ms`);
    t.diagnostic(`250,000 regions in ${figures.listedMs.toFixed(0)} ms, peak RSS ` +
                 `${(figures.peakRss / 1e6).toFixed(0)} MB, longest timer wait ` +
                 `${figures.worstGap.toFixed(0)} ms; refused in ${figures.refusedMs.toFixed(0)} ms`);
  });

  // 5 GiB, sparse: rows of 100000 x 17000 pixels fill it but for 268 MB past them; a second
  // such file holds a 1000 x 1000 picture in the 3 MB below 4 GiB.
  test('a 5 GiB sparse file is mapped and decoded where it is asked about', async () => {
    const size = 5 * 2 ** 30;
    const sparse = (name, head) => {
      fs.writeFileSync(path.join(scratch, name), head.subarray(0, 54));
      fs.truncateSync(path.join(scratch, name), size);
      return path.join(scratch, name);
    };
    const huge = sparse('huge.bmp', header(100000, 17000, 24));
    let started = performance.now();
    const {regions} = await inspect(huge);
    const mappedMs = performance.now() - started;
    assert.deepEqual([regions.length, ...regions.slice(-2)], [16 + 17000 + 1,
      {offset: 54 + 16999 * 300000, size: 300000, kind: 'pixel-row', name: 'row 0', note: '',
       x: 0, y: 0, pixels: 100000},
      {offset: 5100000054, size: size - 5100000054, kind: 'past-pixels',
       name: 'bytes past the pixels', note: ''}]);
    await assert.rejects(decode(huge), {code: 'ERR_QUILLFEN_TOO_MANY_PIXELS'});
    const end = sparse('end.bmp', header(1000, 1000, 24, 2 ** 32 - 3000 * 1000));
    started = performance.now();
    const {rgba, state} = await decode(end);
    const decodedMs = performance.now() - started;
    assert.ok(state.every((value) => value === 0));
    assert.ok(rgba.every((value, i) => value === (i % 4 === 3 ? 255 : 0)));
    assert.ok(mappedMs < 5000 && decodedMs < 5000, `${mappedMs} ms, ${decodedMs} ms`);
  });
});

describe('the core\'s decoder', () => {
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
    assert.deepEqual([pixel.offset, pixel.data.hex, pixel.rgba],
                     ['5099700069', '11 11 11', [17, 17, 17, 255]]);
    const {rgba, state} = core.decoderRows(16999, 1);
    assert.deepEqual([rgba.length, state.length, rgba[0], state[99999]], [400000, 100000, 17, 0]);
    assert.equal(core.decoderRegionAt(2 ** 32 + 7).name, `row ${17000 - 1 - 14316}`);
    // The header, the top row, the bottom row: blocks of 256 KiB, nowhere else.
    assert.ok(reads.every(([, length]) => length <= 262144));
    assert.ok(reads.length <= 6, JSON.stringify(reads));
    // A function that finds fewer bytes than the file is said to hold: the rest is missing. The
    // header's last 4 bytes are the bottom row's first pixel, and the file's last.
    core.decoderOpenReader(200, (offset, target) => {
      target.set(header(8, 4, 24).subarray(offset, 58), 0);
      return Math.max(0, 58 - offset);
    });
    assert.deepEqual([...core.decoderRows(0, 4).state],
                     [...Array(3 * 8).fill(2), 0, ...Array(7).fill(2)]);
    // No pixels of 2^31 - 1 rows: answered at once, not a row at a time (that took 10 s).
    core.decoderOpenBytes(header(100, 2 ** 31 - 1, 24));
    const started = performance.now();
    assert.equal(core.decoderRows(0, 2 ** 31 - 1, 5, 0).state.length, 0);
    assert.ok(performance.now() - started < 2000, `${performance.now() - started} ms`);
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
    const row = (y, offset) => ({offset, size: 8, kind: 'pixel-row', name: `row ${y}`, note: '',
                                 x: 0, y, pixels: 8});
    assert.deepEqual(core.decoderRegions(120, 127),
                     {regions: [row(3, 118), row(2, 126)], more: false, next: 134});
    assert.deepEqual([core.decoderRegionCount(), core.decoderRegionCount(118, 130),
                      core.decoderRegionCount(0, undefined, 20)], [36, 2, 20]);
    const rows = core.decoderRows(1, 2, 6, 2);
    assert.deepEqual([...rows.state, ...rows.rgba.subarray(0, 4)], [0, 0, 0, 0, 0xCC, 0xCC, 0xCC,
                                                                    255]);
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
      message: 'not decoded: an embedded JPEG is named, not decoded'});
    assert.equal(core.decoderPixel(0, 0).source, 'not-decoded');
  });
});
