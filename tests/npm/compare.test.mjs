// The comparison as installed from the tarball: the package's quillfen-compare against the
// native one on the same pairs (text, the line on standard error, exit status, a full disk),
// compare() giving the native command's differences as data, its failures and the calls after
// them, and the core's comparison reading both files through functions, as the page reads Files.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {hex, openCore, quillfen, root, scratch} from './support.mjs';

const {compare} = quillfen;
const suite = path.join(root, 'tests/data/bmpsuite');
const nativeCompare = path.join(root, 'build/quillfen-compare');
const packageCompare = path.join(process.env.QUILLFEN_PREFIX, 'bin/quillfen-compare');

// A copy of a suite file, changed by change(bytes), in the scratch folder as name.
function changedCopy(file, name, change) {
  const bytes = fs.readFileSync(path.join(suite, file));
  change(bytes);
  fs.writeFileSync(path.join(scratch, name), bytes);
  return path.join(scratch, name);
}

// rgb24.bmp is 127 x 64, bottom-up from 54 in rows of 384 bytes: the green byte of (10, 5).
const kChangedByte = 54 + (63 - 5) * 384 + 10 * 3 + 1;
const pixelChanged = changedCopy('rgb24.bmp', 'pixel.bmp', (bytes) => {
  bytes[kChangedByte] ^= 0x01;
});
const truncated = changedCopy('rgb24.bmp', 'truncated.bmp', () => {});
fs.truncateSync(truncated, 10_000);
const gif = path.join(scratch, 'picture.gif');
fs.writeFileSync(gif, 'GIF89a\x01\x00\x01\x00');
const empty = path.join(scratch, 'empty.bmp');
fs.writeFileSync(empty, '');

// Pairs, named relative to the suite's folder, where both commands run; the status the native
// command gives each. Its lines on other pairs are the core's (CompareCommand, Compare tests).
const pairs = [
  {what: 'identical', files: ['rgb24.bmp', 'rgb24.bmp'], status: 0},
  {what: 'same picture, RLE', files: ['g/pal8.bmp', 'pal8rle.bmp'], status: 1},
  {what: 'different', files: ['rgb24.bmp', 'g/rgb16-565.bmp'], status: 1},
  {what: 'one pixel', files: ['rgb24.bmp', pixelChanged], status: 1},
  {what: 'truncated', files: ['rgb24.bmp', truncated], status: 1},
  {what: 'not a BMP', files: ['rgb24.bmp', gif], status: 2},
  {what: 'empty', files: ['rgb24.bmp', empty], status: 2},
  {what: 'not a BMP, first', files: [gif, 'rgb24.bmp'], status: 2},
  {what: 'missing', files: ['rgb24.bmp', 'no-such.bmp'], status: 2},
  {what: 'a folder', files: ['g', 'rgb24.bmp'], status: 2},
  {what: 'no files', files: [], status: 2},
  {what: 'one file', files: ['rgb24.bmp'], status: 2},
  {what: 'three files', files: ['rgb24.bmp', 'rgb24.bmp', 'rgb24.bmp'], status: 2},
];

// A command's run in the suite's folder, named as the package's is; stdout a file for /dev/full.
function run(command, args, stdout = 'pipe') {
  const result = spawnSync(command, args, {cwd: suite, argv0: 'quillfen-compare',
                                           stdio: ['ignore', stdout, 'pipe'],
                                           timeout: 60_000, killSignal: 'SIGKILL'});
  return {stdout: result.stdout?.toString(), stderr: result.stderr.toString(),
          status: result.status};
}

test('the package\'s quillfen-compare prints what the native one prints, with its line of ' +
     'trouble and its status', () => {
  for (const {what, files, status} of pairs) {
    const expected = run(nativeCompare, files);
    assert.deepEqual(run(packageCompare, files), expected, what);
    assert.equal(expected.status, status, what);
    // One line on standard error exactly when there is trouble, and nothing on standard output.
    if (status === 2) assert.deepEqual([expected.stdout, /^[^\n]+\n$/.test(expected.stderr)],
                                       ['', true], what);
    else assert.equal(expected.stderr, '', what);
  }
  // Output that cannot be written is trouble too, with the same line.
  const out = fs.openSync('/dev/full', 'w');
  const full = (command) => run(command, ['rgb24.bmp', 'g/pal8.bmp'], out);
  assert.deepEqual(full(packageCompare), {stdout: undefined, status: 2, stderr:
    'quillfen-compare: cannot write the comparison: No space left on device\n'});
  assert.deepEqual(full(packageCompare), full(nativeCompare));
  fs.closeSync(out);
});

describe('compare()', () => {
  test('gives the native command\'s differences, from paths and from bytes', async () => {
    const verdicts = {'verdict: identical bytes': 'identical',
                      'verdict: same picture, different bytes': 'same-picture',
                      'verdict: different pictures': 'different'};
    for (const {what, files, status} of pairs.filter((pair) => pair.status !== 2)) {
      const paths = files.map((file) => path.resolve(suite, file));
      const comparison = await compare(...paths);
      assert.equal(comparison.lines.map((line) => `${line}\n`).join(''),
                   run(nativeCompare, files).stdout, what);
      assert.deepEqual([comparison.same, comparison.verdict, 'trouble' in comparison],
                       [status === 0, verdicts[comparison.lines.at(-1)], false], what);
      assert.deepEqual(await compare(...paths.map((file) => fs.readFileSync(file))), comparison,
                       `${what}, from bytes`);
    }
  });

  // The answers themselves are the core's, checked there; here one pixel's bytes arrive whole,
  // and the bounds given reach the core.
  test('names a difference with its bytes in both files, listed up to the bounds given',
       async () => {
    const rgb24 = fs.readFileSync(path.join(suite, 'rgb24.bmp'));
    const stored = fs.readFileSync(pixelChanged);
    const {pixels} = await compare(rgb24, pixelChanged);
    const start = kChangedByte - 1;
    // Each side's pixel: where it is stored, its bytes, and its colour.
    const side = (bytes) => [String(start), hex(bytes.subarray(start, start + 3)),
                             [bytes[start + 2], bytes[start + 1], bytes[start], 255]];
    assert.deepEqual([pixels.count, pixels.box, pixels.first.length],
                     ['1', {left: 10, top: 5, right: 10, bottom: 5}, 1]);
    const [{x, y, a, b}] = pixels.first;
    const held = ({data, rgba}) => [data.offset, data.bytes, rgba];
    assert.deepEqual([x, y, held(a), held(b)], [10, 5, side(rgb24), side(stored)]);
    // The truncated copy's pixels are missing, not black.
    const cut = await compare(path.join(suite, 'rgb24.bmp'), truncated, {pixels: 3});
    assert.deepEqual([cut.bounds, cut.pixels.first.map((pixel) => pixel.b.stateName)],
                     [{pixels: 3, entries: 16}, ['missing', 'missing', 'missing']]);
    assert.equal(cut.lines.at(-2), `pixels: ${(Number(cut.pixels.count) - 3)
      .toLocaleString('en-US')} more differ, not listed`);
    const most = await compare(path.join(suite, 'rgb24.bmp'), truncated, {pixels: 4096});
    assert.equal(most.pixels.first.length, 4096);
  });

  test('rejects wrong arguments, unopenable paths and files that are not BMPs; the worker ' +
       'serves the next call', async () => {
    const rgb24 = path.join(suite, 'rgb24.bmp');
    const usage = {name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE'};
    const range = {name: 'RangeError', code: 'ERR_OUT_OF_RANGE'};
    // The message is the native command's line of trouble after its name.
    const native = run(nativeCompare, ['rgb24.bmp', gif]).stderr;
    const notBmp = (message) => ({name: 'Error', code: 'ERR_QUILLFEN_NOT_BMP', message});
    for (const [args, expected] of [
      [[rgb24], usage], [[rgb24, 7], usage], [[null, rgb24], usage],
      [[rgb24, new ArrayBuffer(8)], usage],
      [[rgb24, rgb24, 10], {name: 'TypeError'}], [[rgb24, rgb24, {pixels: '10'}], {name: 'TypeError'}],
      [[rgb24, rgb24, {pixels: -1}], range], [[rgb24, rgb24, {pixels: 1.5}], range],
      [[rgb24, rgb24, {pixels: 4097}], range], [[rgb24, rgb24, {pixels: Infinity}], range],
      [[rgb24, rgb24, {entries: 4097}], {...range, message: /from 0 to 4096/}],
      [[rgb24, path.join(scratch, 'no-such.bmp')], {code: 'ENOENT'}],
      [[suite, rgb24], {code: 'EISDIR'}],
      [[rgb24, gif], notBmp(native.slice('quillfen-compare: '.length, -1))],
      [[fs.readFileSync(gif), rgb24], notBmp('file A: not a BMP file: it does not start with BM')],
      [[rgb24, new Uint8Array(0)], notBmp('file B: not a BMP file: it is empty')],
    ]) {
      await assert.rejects(compare(...args), expected, JSON.stringify(args));
    }
    assert.equal((await compare(rgb24, rgb24)).verdict, 'identical');
  });
});

test('the core\'s comparison reads both files through functions, only where it needs them',
     async () => {
  const core = await openCore();
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
  assert.deepEqual(core.compareFiles({pointer, size: a.length},
                                     {path: path.join(suite, 'pal8rle.bmp')}), expected);
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
  assert.deepEqual([expected.bounds, core.compareFiles({bytes: a}, {bytes: b},
                                                       {pixels: 0, entries: 4096}).bounds],
                   [{pixels: 10, entries: 16}, {pixels: 0, entries: 4096}]);
});
