// The comparison as installed from the tarball: the package's quillfen-compare against the
// native one on the same pairs (text, the line on standard error, exit status, a full disk),
// compare() giving the native command's differences as data, its failures and the calls after
// them, and the core's comparison reading both files through functions, as the page reads Files.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {describe, test} from 'node:test';

import {openCore, quillfen, root, scratch} from './support.mjs';

const {compare} = quillfen;
const suite = path.join(root, 'tests/data/bmpsuite');
const nativeCompare = path.join(root, 'build/quillfen-compare');
const packageCompare = path.join(process.env.QUILLFEN_PREFIX, 'bin/quillfen-compare');

const gif = path.join(scratch, 'picture.gif');
fs.writeFileSync(gif, 'GIF89a\x01\x00\x01\x00');
const empty = path.join(scratch, 'empty.bmp');
fs.writeFileSync(empty, '');

// Pairs, named relative to the suite's folder, where both commands run; the status and verdict
// the native command gives each. The lines themselves are the core's (Compare tests).
const pairs = [
  {what: 'identical', files: ['rgb24.bmp', 'rgb24.bmp'], status: 0, verdict: 'identical'},
  {what: 'same picture, RLE', files: ['g/pal8.bmp', 'pal8rle.bmp'], status: 1,
   verdict: 'same-picture'},
  {what: 'different', files: ['rgb24.bmp', 'g/rgb16-565.bmp'], status: 1, verdict: 'different'},
  {what: 'not a BMP', files: ['rgb24.bmp', gif], status: 2},
  {what: 'empty', files: ['rgb24.bmp', empty], status: 2},
  {what: 'missing', files: ['rgb24.bmp', 'no-such.bmp'], status: 2},
  {what: 'a folder', files: ['g', 'rgb24.bmp'], status: 2},
  {what: 'no files', files: [], status: 2},
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
  }
  // Output that cannot be written is trouble too, with the native command's line.
  const out = fs.openSync('/dev/full', 'w');
  assert.deepEqual(run(packageCompare, ['rgb24.bmp', 'g/pal8.bmp'], out), {stdout: undefined,
    status: 2, stderr: 'quillfen-compare: cannot write the comparison: No space left on device\n'});
  fs.closeSync(out);
});

describe('compare()', () => {
  test('gives the native command\'s differences, from paths and from bytes, listed up to the ' +
       'bounds given', async () => {
    for (const {what, files, status, verdict} of pairs.filter((pair) => pair.status !== 2)) {
      const paths = files.map((file) => path.resolve(suite, file));
      const comparison = await compare(...paths);
      assert.equal(comparison.lines.map((line) => `${line}\n`).join(''),
                   run(nativeCompare, files).stdout, what);
      assert.deepEqual([comparison.same, comparison.verdict, 'trouble' in comparison],
                       [status === 0, verdict, false], what);
      assert.deepEqual(await compare(...paths.map((file) => fs.readFileSync(file))), comparison,
                       `${what}, from bytes`);
    }
    // The answer's members are the core's (CompareAnswers tests); the bounds given reach it.
    const [a, b] = pairs[2].files.map((file) => path.join(suite, file));
    const few = await compare(a, b, {pixels: 3});
    assert.deepEqual([few.bounds, few.pixels.first.length, few.lines.at(-2)],
                     [{pixels: 3, entries: 16}, 3, 'pixels: 5,209 more differ, not listed']);
    assert.equal((await compare(a, b, {pixels: 4096})).pixels.first.length, 4096);
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
