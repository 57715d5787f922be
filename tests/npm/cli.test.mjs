// The package as installed from its tarball: its files, and the CLI against the native binary:
// usage, unopenable paths, streams, pipes that do not block, a terminal, failed writes, a
// 5 GiB sparse file, and failures that are not the tool's own.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {test} from 'node:test';

import {changedPackage, cli, header, installed, native, root, scratch, shell} from './support.mjs';

const rgb24 = path.join(root, 'tests/data/bmpsuite/rgb24.bmp');
const harness = path.join(root, 'tests/npm/stdio_harness.py');
// The package's command and the native one on the same command line, in the scratch folder.
const both = (line, options) => [cli, native].map((command) =>
  shell(line.replaceAll('$QUILLFEN', `'${command}'`), {cwd: scratch, ...options}));

test('the package holds exactly what it needs, and says what it is', () => {
  const tarball = fs.readdirSync(path.join(root, 'build-npm')).find((name) =>
    name.endsWith('.tgz'));
  const files = execFileSync('tar', ['-tzf', path.join(root, 'build-npm', tarball)])
                    .toString().trim().split('\n').sort();
  assert.deepEqual(files, ['LICENSE', 'README.md', 'bin/quillfen-compare.js', 'bin/quillfen.js',
                           'index.d.ts', 'index.js', 'index.mjs', 'lib/command.js',
                           'lib/compare.js', 'lib/core.js', 'lib/core_worker.js', 'lib/decode.js',
                           'lib/report.js', 'lib/workers.js', 'package.json']
                             .map((file) => `package/${file}`));
  const version = /project\(quillfen VERSION ([0-9.]+)/.exec(
    fs.readFileSync(path.join(root, 'CMakeLists.txt'), 'utf8'))[1];
  assert.equal(tarball, `quillfen-${version}.tgz`);
  const {name, version: stated, bin, license, engines, dependencies, scripts} =
      JSON.parse(fs.readFileSync(path.join(installed, 'package.json')));
  assert.deepEqual({name, stated, bin, license, engines, dependencies, scripts}, {
    name: 'quillfen', stated: version, license: 'MIT', engines: {node: '>=18'},
    bin: {'quillfen': 'bin/quillfen.js', 'quillfen-compare': 'bin/quillfen-compare.js'},
    dependencies: undefined, scripts: undefined});
});

test('the command prints what the native one prints, and its status, on usage, paths that ' +
     'do not open, streams, a terminal and a pipe that does not block', () => {
  const tmp = fs.mkdtempSync(path.join(scratch, 'tmp-'));
  for (const [line, status] of [
    ['$QUILLFEN', 255], ['$QUILLFEN a.bmp b.bmp', 255], ['$QUILLFEN missing.bmp', 255],
    ['$QUILLFEN .', 255],
    // Streams are read once, from the start, and leave nothing in the temporary folder.
    [`cat '${rgb24}' | $QUILLFEN /dev/stdin`, 0], [`$QUILLFEN /dev/stdin < '${rgb24}'`, 0],
    ['head -c 3000000 /dev/zero | $QUILLFEN /dev/stdin', 255],
    // A pty is a character device, not a FIFO: read from where it stands, it gives the file.
    [`python3 '${harness}' pty '${rgb24}' $QUILLFEN /dev/stdin`, 0],
  ]) {
    const [ours, theirs] = both(line, {env: {...process.env, TMPDIR: tmp}});
    assert.equal(ours.stdout.toString(), theirs.stdout.toString().replace(native, 'quillfen'),
                 line);
    assert.deepEqual([ours.status, theirs.status, ours.stderr], [status, status, ''], line);
  }
  assert.deepEqual(fs.readdirSync(tmp), []);
  // The whole report through a pipe that does not block, read slowly.
  const slow = shell(`python3 '${harness}' slow-pipe '${cli}' '${rgb24}'`);
  assert.equal(slow.status, 0, slow.stderr);
  assert.ok(slow.stdout.equals(shell(`'${native}' '${rgb24}'`).stdout), 'the reports differ');
  const started = Date.now();
  const zero = shell(`'${cli}' /dev/zero`);
  assert.ok(Date.now() - started < 5000);
  assert.equal(zero.status, 255);
  assert.match(zero.stdout.toString(), /\nBitmap file needed!$/);
});

test('the command fails on a full disk with one line, ends quietly when the reader leaves, ' +
     'and ends any other failure with one line and status 255', () => {
  const full = shell(`'${cli}' '${rgb24}' > /dev/full`);
  assert.deepEqual([full.status, full.stderr],
                   [255, 'quillfen: cannot write the report: No space left on device\n']);
  const early = shell(`'${cli}' '${rgb24}' | head -c 100`);
  assert.deepEqual([early.stdout.length, early.stderr], [100, '']);
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
  // A core that fails as it loads, and one whose file streams are not those of the emscripten
  // it was written for.
  for (const [change, expected] of [
    [() => 'throw new Error("the core is broken");', /^quillfen: the core is broken\n$/],
    [(core) => core.replaceAll('nfd:nfd', 'nativeFd:nfd'),
     /^quillfen: the core's file streams lack nfd and seekable: .*emscripten other than 3\.1\.6/],
  ]) {
    const broken = shell(`node '${changedPackage(change)}/bin/quillfen.js' '${rgb24}'`);
    assert.deepEqual([broken.status, broken.stdout.length], [255, 0], String(expected));
    assert.match(broken.stderr, expected);
  }
});

test('the command reads a 5 GiB sparse file where the report needs it, in well under a second',
     () => {
  // The header puts 8 pixel bytes of 4 x 2 just below 4 GiB; the file is 5 GiB long.
  const bytes = header(4, 2, 8, 0xFFFFFF00);
  bytes.writeUInt32LE(0xFFFFFF08, 2);  // bfSize
  const sparse = path.join(scratch, 'sparse.bmp');
  fs.writeFileSync(sparse, bytes);
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
