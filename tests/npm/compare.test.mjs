// The comparison as installed from the tarball: the package's quillfen-compare against the
// native one on the same pairs (text, the line on standard error, exit status, a full disk),
// compare() giving the native command's differences as data, its failures and the calls after
// them, and the core's comparison reading both files through functions, as the page reads
// browser Files.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {after, describe, test} from 'node:test';

import {installed, root, scratchDir} from './support.mjs';

const scratch = scratchDir();
after(() => fs.rmSync(scratch, {recursive: true, force: true}));
const require = createRequire(path.join(installed, 'package.json'));
const {compare} = require('quillfen');
const suite = path.join(root, 'tests/data/bmpsuite');
const nativeCompare = path.join(root, 'build/quillfen-compare');
const packageCompare = path.join(process.env.QUILLFEN_PREFIX, 'bin/quillfen-compare');

// A copy of a suite file, changed by change(bytes), in the scratch folder as name.
function changedCopy(file, name, change) {
  const bytes = fs.readFileSync(path.join(suite, file));
  change(bytes);
  const copy = path.join(scratch, name);
  fs.writeFileSync(copy, bytes);
  return copy;
}

// rgb24.bmp is 127 x 64, bottom-up from 54 in rows of 384 bytes: the green byte of (10, 5).
const kChangedByte = 54 + (63 - 5) * 384 + 10 * 3 + 1;
const pixelChanged = changedCopy('rgb24.bmp', 'pixel.bmp', (bytes) => {
  bytes[kChangedByte] ^= 0x01;
});
const resolution = changedCopy('g/pal8.bmp', 'resolution.bmp', (bytes) => {
  bytes.writeInt32LE(3780, 38);
});
const truncated = changedCopy('rgb24.bmp', 'truncated.bmp', () => {});
fs.truncateSync(truncated, 10_000);
const gif = path.join(scratch, 'picture.gif');
fs.writeFileSync(gif, 'GIF89a\x01\x00\x01\x00');
const empty = path.join(scratch, 'empty.bmp');
fs.writeFileSync(empty, '');
// rgb24prof.bmp's ICC profile starts at 24,734: one byte of it, 200 bytes in.
const profileChanged = changedCopy('q/rgb24prof.bmp', 'profile.bmp', (bytes) => {
  bytes[24934] ^= 0xff;
});

// Pairs, named relative to the suite's folder, where both commands run; the status the native
// command gives each.
const pairs = [
  {what: 'identical', files: ['rgb24.bmp', 'rgb24.bmp'], status: 0},
  {what: 'same picture, RLE', files: ['g/pal8.bmp', 'pal8rle.bmp'], status: 1},
  {what: 'same picture, top-down', files: ['g/pal8.bmp', 'pal8topdown.bmp'], status: 1},
  {what: 'same picture, another resolution', files: ['g/pal8.bmp', resolution], status: 1},
  {what: 'different', files: ['rgb24.bmp', 'g/rgb16-565.bmp'], status: 1},
  {what: 'one pixel', files: ['rgb24.bmp', pixelChanged], status: 1},
  {what: 'different sizes', files: ['g/pal8.bmp', 'g/pal8w124.bmp'], status: 1},
  {what: 'truncated', files: ['rgb24.bmp', truncated], status: 1},
  {what: 'another profile', files: ['q/rgb24prof.bmp', profileChanged], status: 1},
  {what: 'not a BMP', files: ['rgb24.bmp', gif], status: 2},
  {what: 'empty', files: ['rgb24.bmp', empty], status: 2},
  {what: 'not a BMP, first', files: [gif, 'rgb24.bmp'], status: 2},
  {what: 'missing', files: ['rgb24.bmp', 'no-such.bmp'], status: 2},
  {what: 'a folder', files: ['g', 'rgb24.bmp'], status: 2},
];

// A command's run in the suite's folder; the native one named as the package's is.
function run(command, args) {
  const result = spawnSync(command, args, {cwd: suite, argv0: 'quillfen-compare',
                                           timeout: 60_000, killSignal: 'SIGKILL'});
  return {stdout: result.stdout.toString(), stderr: result.stderr.toString(),
          status: result.status};
}

describe('the package\'s quillfen-compare', () => {
  test('prints what the native one prints, with its line of trouble and its status', () => {
    const argumentCounts = [[], ['rgb24.bmp'], ['rgb24.bmp', 'rgb24.bmp', 'rgb24.bmp']];
    for (const args of [...pairs.map((pair) => pair.files), ...argumentCounts]) {
      const expected = run(nativeCompare, args);
      assert.deepEqual(run(packageCompare, args), expected, args.join(' '));
      // One line on standard error exactly when there is trouble, and nothing on standard
      // output then.
      if (expected.status === 2) {
        assert.match(expected.stderr, /^[^\n]+\n$/);
        assert.equal(expected.stdout, '');
      } else {
        assert.equal(expected.stderr, '');
      }
    }
    for (const {files, status} of pairs) {
      assert.equal(run(packageCompare, files).status, status, files.join(' '));
    }
    // Output that cannot be written is trouble too, with the same line.
    const full = (command) => {
      const out = fs.openSync('/dev/full', 'w');
      try {
        const result = spawnSync(command, ['rgb24.bmp', 'g/pal8.bmp'], {
          cwd: suite, stdio: ['ignore', out, 'pipe'], timeout: 60_000, killSignal: 'SIGKILL'});
        return [result.status, result.stderr.toString()];
      } finally {
        fs.closeSync(out);
      }
    };
    assert.deepEqual(full(packageCompare), [2, 'quillfen-compare: cannot write the comparison: ' +
                                               'No space left on device\n']);
    assert.deepEqual(full(packageCompare), full(nativeCompare));
  });
});

describe('compare()', () => {
  test('gives the native command\'s differences, from paths and from bytes', async () => {
    for (const {what, files, status} of pairs.filter((pair) => pair.status !== 2)) {
      const {stdout} = run(nativeCompare, files);
      const paths = files.map((file) => path.resolve(suite, file));
      const comparison = await compare(...paths);
      assert.equal(comparison.lines.map((line) => `${line}\n`).join(''), stdout, what);
      assert.equal(comparison.same, status === 0, what);
      assert.equal(comparison.verdict, {'verdict: identical bytes': 'identical',
                                        'verdict: same picture, different bytes': 'same-picture',
                                        'verdict: different pictures': 'different'}[
                                          comparison.lines.at(-1)], what);
      assert.equal('trouble' in comparison, false);
      const fromBytes = await compare(...paths.map((file) => fs.readFileSync(file)));
      assert.deepEqual(fromBytes, comparison, what);
    }
  });

  test('names each difference with its bytes in both files', async () => {
    const rgb24 = fs.readFileSync(path.join(suite, 'rgb24.bmp'));
    const changed = await compare(rgb24, pixelChanged);
    assert.equal(changed.verdict, 'different');
    assert.deepEqual(changed.fields, []);
    assert.deepEqual(changed.table, {count: '0', entries: [], only: null});
    assert.equal(changed.pixels.count, '1');
    assert.deepEqual(changed.pixels.box, {left: 10, top: 5, right: 10, bottom: 5});
    assert.equal(changed.pixels.first.length, 1);
    const [{x, y, a, b}] = changed.pixels.first;
    assert.deepEqual([x, y], [10, 5]);
    const hex = (bytes) => [...bytes].map((byte) =>
      byte.toString(16).toUpperCase().padStart(2, '0')).join(' ');
    const start = kChangedByte - 1;
    const stored = fs.readFileSync(pixelChanged);
    assert.deepEqual([a.data.offset, a.data.bytes], [String(start),
                                                     hex(rgb24.subarray(start, start + 3))]);
    assert.deepEqual([b.data.offset, b.data.bytes], [String(start),
                                                     hex(stored.subarray(start, start + 3))]);
    assert.deepEqual(a.rgba, [rgb24[start + 2], rgb24[start + 1], rgb24[start], 255]);
    assert.deepEqual(b.rgba, [stored[start + 2], stored[start + 1], stored[start], 255]);

    const resolved = await compare(path.join(suite, 'g/pal8.bmp'), resolution);
    assert.equal(resolved.verdict, 'same-picture');
    assert.equal(resolved.same, false);
    assert.deepEqual(resolved.fields, [{
      name: 'biXPelsPerMeter', nameA: 'biXPelsPerMeter', offsetA: 38, sizeA: 4,
      bytesA: '13 0B 00 00', valueA: '2835', nameB: 'biXPelsPerMeter', offsetB: 38, sizeB: 4,
      bytesB: 'C4 0E 00 00', valueB: '3780'}]);

    // A byte of the ICC profile: the same picture, but not the same files.
    const prof = fs.readFileSync(path.join(suite, 'q/rgb24prof.bmp'));
    const profiled = await compare(prof, profileChanged);
    assert.deepEqual([profiled.verdict, profiled.same], ['same-picture', false]);
    assert.deepEqual(profiled.profile, {
      firstDifference: 200,
      a: {kind: 'embedded', offset: '24734', size: 3048, at: '24934',
          bytes: hex(prof.subarray(24934, 24938))},
      b: {kind: 'embedded', offset: '24734', size: 3048, at: '24934',
          bytes: hex(fs.readFileSync(profileChanged).subarray(24934, 24938))}});
    assert.equal((await compare(prof, prof)).profile, null);

    // The truncated copy's pixels are missing, not black; listed up to the bounds given.
    const cut = await compare(path.join(suite, 'rgb24.bmp'), truncated, {pixels: 3});
    assert.equal(cut.pixels.first.length, 3);
    for (const pixel of cut.pixels.first) assert.equal(pixel.b.stateName, 'missing');
    assert.deepEqual(cut.bounds, {pixels: 3, entries: 16});
    assert.equal(cut.lines.at(-2), `pixels: ${(Number(cut.pixels.count) - 3)
      .toLocaleString('en-US')} more differ, not listed`);
    const most = await compare(path.join(suite, 'rgb24.bmp'), truncated, {pixels: 4096});
    assert.equal(most.pixels.first.length, 4096);
  });

  test('rejects wrong arguments, unopenable paths and files that are not BMPs; the worker ' +
       'serves the next call', async () => {
    const rgb24 = path.join(suite, 'rgb24.bmp');
    for (const args of [[rgb24], [rgb24, 7], [null, rgb24], [rgb24, new ArrayBuffer(8)]]) {
      await assert.rejects(compare(...args), {name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE'});
    }
    await assert.rejects(compare(rgb24, rgb24, 10), {name: 'TypeError'});
    await assert.rejects(compare(rgb24, rgb24, {pixels: '10'}), {name: 'TypeError'});
    for (const pixels of [-1, 1.5, 4097, Infinity]) {
      await assert.rejects(compare(rgb24, rgb24, {pixels}),
                           {name: 'RangeError', code: 'ERR_OUT_OF_RANGE'}, String(pixels));
    }
    await assert.rejects(compare(rgb24, rgb24, {entries: 4097}),
                         {name: 'RangeError', message: /from 0 to 4096/});
    await assert.rejects(compare(rgb24, path.join(scratch, 'no-such.bmp')), {code: 'ENOENT'});
    await assert.rejects(compare(suite, rgb24), {code: 'EISDIR'});
    // The message is the native command's line of trouble after its name.
    const native = run(nativeCompare, ['rgb24.bmp', gif]).stderr;
    await assert.rejects(compare(rgb24, gif), {
      name: 'Error', code: 'ERR_QUILLFEN_NOT_BMP',
      message: native.slice('quillfen-compare: '.length, -1)});
    await assert.rejects(compare(fs.readFileSync(gif), rgb24), {
      code: 'ERR_QUILLFEN_NOT_BMP', message: 'file A: not a BMP file: it does not start with BM'});
    await assert.rejects(compare(rgb24, new Uint8Array(0)), {
      code: 'ERR_QUILLFEN_NOT_BMP', message: 'file B: not a BMP file: it is empty'});
    assert.equal((await compare(rgb24, rgb24)).verdict, 'identical');
  });
});

describe('the core\'s comparison', () => {
  test('reads both files through functions, only where it needs them', async () => {
    const core = await require(path.join(installed, 'lib/core.js'))();
    const a = fs.readFileSync(path.join(suite, 'g/pal8.bmp'));
    const b = fs.readFileSync(path.join(suite, 'pal8rle.bmp'));
    let asked = 0;
    // What a page's worker does with a browser File: a synchronous read of up to 256 KiB.
    const reader = (bytes) => ({size: bytes.length, read: (offset, target) => {
      asked += target.length;
      const piece = bytes.subarray(offset, offset + target.length);
      target.set(piece);
      return piece.length;
    }});
    const expected = core.compareFiles({bytes: a}, {bytes: b});
    assert.deepEqual(core.compareFiles(reader(a), reader(b)), expected);
    assert.ok(asked > 0 && asked <= 4 * 256 * 1024, `${asked} bytes asked for`);
    // Bytes the caller holds in the core's memory, and a path.
    const pointer = core.hold(a.length);
    core.fill(pointer, 0, a);
    assert.deepEqual(core.compareFiles({pointer, size: a.length}, {path: path.join(suite,
                                                                                   'pal8rle.bmp')}),
                     expected);
    core.release(pointer);
    // A read that answers with a count it could not have read has read nothing: a file that
    // claims 2^40 bytes and holds none is not a bitmap.
    const liar = {size: 2 ** 40, read: () => -1};
    assert.equal(core.compareFiles({bytes: a}, liar).trouble.file, 'b');
    assert.deepEqual(core.compareFiles({path: path.join(scratch, 'no-such.bmp')}, {bytes: a}),
                     {refused: 'the file cannot be opened', file: 'a'});
    assert.throws(() => core.compareFiles({bytes: a}, {size: 1.5, read: liar.read}),
                  {name: 'TypeError', message: /whole number/});
    assert.throws(() => core.compareFiles({bytes: a}, 'b.bmp'), {name: 'TypeError'});
    assert.throws(() => core.compareFiles({bytes: a}, {bytes: b}, {pixels: 4097}),
                  {name: 'RangeError'});
    assert.equal(core.compareListLimit, 4096);
    // The bounds the command lists by, unless others are given.
    assert.deepEqual(expected.bounds, {pixels: 10, entries: 16});
    assert.deepEqual(core.compareFiles({bytes: a}, {bytes: b}, {pixels: 0, entries: 4096}).bounds,
                     {pixels: 0, entries: 4096});
  });
});
