// The package as installed from its tarball: its files, and the CLI against the native binary:
// usage, unopenable paths, streams, pipes that do not block, a terminal, failed writes, a
// 5 GiB sparse file, and failures that are not the tool's own.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, describe, test} from 'node:test';

import {cli, installed, native, root, scratchDir, shell} from './support.mjs';

const scratch = scratchDir();
after(() => fs.rmSync(scratch, {recursive: true, force: true}));
const rgb24 = path.join(root, 'tests/data/bmpsuite/rgb24.bmp');
const harness = path.join(root, 'tests/npm/stdio_harness.py');

describe('the package', () => {
  test('holds exactly what it needs, and says what it is', () => {
    const tarball = fs.readdirSync(path.join(root, 'build-npm')).find((name) =>
      name.endsWith('.tgz'));
    const files = execFileSync('tar', ['-tzf', path.join(root, 'build-npm', tarball)])
                      .toString().trim().split('\n').sort();
    const expected = ['LICENSE', 'README.md', 'bin/quillfen-compare.js', 'bin/quillfen.js',
                      'index.d.ts', 'index.js', 'index.mjs', 'lib/command.js', 'lib/compare.js',
                      'lib/core.js', 'lib/core_worker.js', 'lib/decode.js', 'lib/report.js',
                      'lib/workers.js', 'package.json'];
    assert.deepEqual(files, expected.map((file) => `package/${file}`));
    const manifest = JSON.parse(fs.readFileSync(path.join(installed, 'package.json')));
    const version = /project\(quillfen VERSION ([0-9.]+)/.exec(
      fs.readFileSync(path.join(root, 'CMakeLists.txt'), 'utf8'))[1];
    assert.equal(tarball, `quillfen-${version}.tgz`);
    const {name, bin, license, engines, dependencies, scripts} = manifest;
    assert.deepEqual(
      {name, version: manifest.version, bin, license, engines, dependencies, scripts},
      {name: 'quillfen', version,
       bin: {'quillfen': 'bin/quillfen.js', 'quillfen-compare': 'bin/quillfen-compare.js'},
       license: 'MIT',
       engines: {node: '>=18'}, dependencies: undefined, scripts: undefined});
  });
});

describe('the command', () => {
  test('prints the usage line and refuses paths that do not open as the native tool', () => {
    for (const args of ['', 'a.bmp b.bmp', 'missing.bmp', '.']) {
      const theirs = shell(`'${native}' ${args}`, {cwd: scratch}).stdout.toString()
                         .replace(native, 'quillfen');
      const ours = shell(`'${cli}' ${args}`, {cwd: scratch});
      assert.equal(ours.stdout.toString(), theirs);
      assert.equal(ours.status, 255, args);
    }
  });

  test('reads streams once from the start and leaves nothing in the temporary folder', () => {
    const tmp = fs.mkdtempSync(path.join(scratch, 'tmp-'));
    for (const input of [`cat '${rgb24}' |`, 'head -c 3000000 /dev/zero |', `< '${rgb24}'`]) {
      const ours = shell(`${input} '${cli}' /dev/stdin`, {env: {...process.env, TMPDIR: tmp}});
      const theirs = shell(`${input} '${native}' /dev/stdin`);
      assert.ok(ours.stdout.equals(theirs.stdout), input);
      assert.equal(ours.status, theirs.status, input);
    }
    const started = Date.now();
    const zero = shell(`'${cli}' /dev/zero`);
    assert.equal(zero.status, 255);
    assert.ok(Date.now() - started < 5000);
    assert.match(zero.stdout.toString(), /\nBitmap file needed!$/);
    assert.deepEqual(fs.readdirSync(tmp), []);
  });

  test('reads a terminal as a stream, and ends well when the terminal has gone', () => {
    // A pty is a character device, not a FIFO: read from where it stands, it gives the file.
    const ours = shell(`python3 '${harness}' pty '${rgb24}' '${cli}' /dev/stdin`);
    const theirs = shell(`python3 '${harness}' pty '${rgb24}' '${native}' /dev/stdin`);
    assert.equal(ours.stderr, '');
    assert.equal(ours.status, 0);
    assert.ok(ours.stdout.equals(theirs.stdout), 'the reports differ');
    assert.match(ours.stdout.toString(), /\] - 64\n$/);
  });

  test('writes all of the report to a pipe that does not block', () => {
    const ours = shell(`python3 '${harness}' slow-pipe '${cli}' '${rgb24}'`);
    assert.equal(ours.status, 0, ours.stderr);
    assert.ok(ours.stdout.equals(shell(`'${native}' '${rgb24}'`).stdout), 'the reports differ');
  });

  test('fails on a full disk with one line, and ends quietly when the reader leaves', () => {
    const full = shell(`'${cli}' '${rgb24}' > /dev/full`);
    assert.equal(full.status, 255);
    assert.equal(full.stderr, 'quillfen: cannot write the report: No space left on device\n');
    const early = shell(`'${cli}' '${rgb24}' | head -c 100`);
    assert.equal(early.stdout.length, 100);
    assert.equal(early.stderr, '');
  });

  test('ends any other failure with one line and status 255', () => {
    // A write of the report that fails as no file system call does.
    const sabotage = path.join(scratch, 'sabotage.cjs');
    fs.writeFileSync(sabotage, `const fs = require('fs');
      const writeSync = fs.writeSync;
      fs.writeSync = (fd, ...rest) => {
        if (fd === 1) throw new Error('the disk is on fire');
        return writeSync(fd, ...rest);
      };`);
    const fire = shell(`NODE_OPTIONS='--require ${sabotage}' '${cli}' '${rgb24}'`);
    assert.deepEqual([fire.status, fire.stderr], [255, 'quillfen: the disk is on fire\n']);
    // A core that cannot start: one that fails as it loads, and one whose file streams are
    // not those of the emscripten it was written for.
    for (const [change, expected] of [
      [() => 'throw new Error("the core is broken");', 'quillfen: the core is broken\n'],
      [(core) => core.replaceAll('nfd:nfd', 'nativeFd:nfd'),
       /^quillfen: the core's file streams lack nfd and seekable: .*emscripten other than 3\.1\.6/],
    ]) {
      const copy = fs.mkdtempSync(path.join(scratch, 'package-'));
      fs.cpSync(installed, copy, {recursive: true});
      const core = path.join(copy, 'lib/core.js');
      fs.writeFileSync(core, change(fs.readFileSync(core, 'utf8')));
      const broken = shell(`node '${copy}/bin/quillfen.js' '${rgb24}'`);
      assert.equal(broken.status, 255);
      assert.equal(broken.stdout.length, 0);
      if (typeof expected === 'string') assert.equal(broken.stderr, expected);
      else assert.match(broken.stderr, expected);
    }
  });

  test('reads a 5 GiB sparse file where the report needs it, in well under a second', () => {
    // The header puts 8 pixel bytes just below 4 GiB; the file is 5 GiB long.
    const sample = fs.readFileSync(path.join(root, 'samples/sample.bmp'));
    const header = Buffer.from(sample.subarray(0, 54));
    header.writeUInt32LE(0xFFFFFF08, 2);  // bfSize
    header.writeUInt32LE(0xFFFFFF00, 10);  // bfOffBits
    header.writeInt32LE(4, 18);  // biWidth
    header.writeInt32LE(2, 22);  // biHeight
    header.writeInt32LE(0, 50);  // biClrImportant
    const sparse = path.join(scratch, 'sparse.bmp');
    fs.writeFileSync(sparse, header);
    const fd = fs.openSync(sparse, 'r+');
    fs.writeSync(fd, Buffer.from('1122334455667788', 'hex'), 0, 8, 0xFFFFFF00);
    fs.closeSync(fd);
    fs.truncateSync(sparse, 5 * 2 ** 30);
    const started = Date.now();
    const ours = shell(`'${cli}' sparse.bmp`, {cwd: scratch});
    const seconds = (Date.now() - started) / 1000;
    assert.ok(ours.stdout.equals(shell(`'${native}' sparse.bmp`, {cwd: scratch}).stdout));
    assert.match(ours.stdout.toString(), /\n\[11 22 33 44 \] - 1\n\[55 66 77 88 \] - 2\n/);
    assert.ok(seconds < 1, `${seconds} s`);
  });
});
