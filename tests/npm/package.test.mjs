// The Node package as installed from its tarball (QUILLFEN_PREFIX, an npm global prefix): its
// files, the CLI against the native binary (streams, failed writes, a 5 GiB sparse file) and
// the API on paths and on bytes.
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {after, describe, test} from 'node:test';

const root = new URL('../../', import.meta.url).pathname;
const prefix = process.env.QUILLFEN_PREFIX;
assert.ok(prefix, 'QUILLFEN_PREFIX names the prefix the package is installed in');
const installed = path.join(prefix, 'lib/node_modules/quillfen');
const cli = path.join(prefix, 'bin/quillfen');
const native = path.join(root, 'build/quillfen');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quillfen-npm-test-'));
after(() => fs.rmSync(scratch, {recursive: true, force: true}));

// Runs a shell command line; both tools are run the same way, with the same input.
function shell(command, options = {}) {
  const result = spawnSync('bash', ['-c', command], {cwd: scratch, ...options});
  return {stdout: result.stdout, stderr: result.stderr.toString(), status: result.status};
}

function scratchFile(name, bytes) {
  const file = path.join(scratch, name);
  fs.writeFileSync(file, bytes);
  return file;
}

const testFiles = execFileSync('find', ['tests/data', 'samples', 'fuzz/corpus', '-type', 'f',
                                        '-name', '*.bmp'], {cwd: root})
                      .toString().trim().split('\n').sort();

describe('the package', () => {
  test('holds exactly what it needs, and says what it is', () => {
    const tarball = fs.readdirSync(path.join(root, 'build-npm')).find((name) =>
      name.endsWith('.tgz'));
    const files = execFileSync('tar', ['-tzf', path.join(root, 'build-npm', tarball)])
                      .toString().trim().split('\n').sort();
    const expected = ['LICENSE', 'README.md', 'bin/quillfen.js', 'index.d.ts', 'index.js',
                      'index.mjs', 'lib/core.js', 'package.json'];
    assert.deepEqual(files, expected.map((file) => `package/${file}`));
    const manifest = JSON.parse(fs.readFileSync(path.join(installed, 'package.json')));
    const version = /project\(quillfen VERSION ([0-9.]+)/.exec(
      fs.readFileSync(path.join(root, 'CMakeLists.txt'), 'utf8'))[1];
    assert.equal(tarball, `quillfen-${version}.tgz`);
    const {name, bin, license, engines, dependencies, scripts} = manifest;
    assert.deepEqual(
      {name, version: manifest.version, bin, license, engines, dependencies, scripts},
      {name: 'quillfen', version, bin: {quillfen: 'bin/quillfen.js'}, license: 'MIT',
       engines: {node: '>=18'}, dependencies: undefined, scripts: undefined});
  });
});

describe('the command', () => {
  test('prints the usage line and refuses paths that do not open as the native tool', () => {
    for (const args of ['', 'a.bmp b.bmp', 'missing.bmp', '.']) {
      const theirs = shell(`'${native}' ${args}`).stdout.toString().replace(native, 'quillfen');
      const ours = shell(`'${cli}' ${args}`);
      assert.equal(ours.stdout.toString(), theirs);
      assert.equal(ours.status, 255, args);
    }
  });

  test('reads streams once from the start and leaves nothing in the temporary folder', () => {
    const tmp = fs.mkdtempSync(path.join(scratch, 'tmp-'));
    const big = path.join(root, 'tests/data/bmpsuite/rgb24.bmp');
    for (const input of [`cat '${big}' |`, 'head -c 3000000 /dev/zero |', `< '${big}'`]) {
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

  test('fails on a full disk with one line, and ends quietly when the reader leaves', () => {
    const full = shell(`'${cli}' '${root}tests/data/bmpsuite/rgb24.bmp' > /dev/full`);
    assert.equal(full.status, 255);
    assert.equal(full.stderr, 'quillfen: cannot write the report: No space left on device\n');
    const early = shell(`'${cli}' '${root}tests/data/bmpsuite/rgb24.bmp' | head -c 100`);
    assert.equal(early.stdout.length, 100);
    assert.equal(early.stderr, '');
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
    const sparse = scratchFile('sparse.bmp', header);
    const fd = fs.openSync(sparse, 'r+');
    fs.writeSync(fd, Buffer.from('1122334455667788', 'hex'), 0, 8, 0xFFFFFF00);
    fs.closeSync(fd);
    fs.truncateSync(sparse, 5 * 2 ** 30);
    const started = Date.now();
    const ours = shell(`'${cli}' sparse.bmp`);
    const seconds = (Date.now() - started) / 1000;
    assert.ok(ours.stdout.equals(shell(`'${native}' sparse.bmp`).stdout));
    assert.match(ours.stdout.toString(), /\n\[11 22 33 44 \] - 1\n\[55 66 77 88 \] - 2\n/);
    assert.ok(seconds < 1, `${seconds} s`);
  });
});

describe('the API', () => {
  const require = createRequire(path.join(installed, 'package.json'));

  test('reports on paths and bytes as the native tool, from require and import', async () => {
    const {report} = require('quillfen');
    const imported = await import(path.join(installed, 'index.mjs'));
    assert.equal(imported.report, report);
    for (const file of testFiles) {
      const theirs = shell(`'${native}' '${path.join(root, file)}'`);
      const status = theirs.status === 0 ? 0 : -1;
      assert.deepEqual(await report(path.join(root, file)),
                       {text: theirs.stdout.toString(), status}, file);
      // As bytes: the report of a file of that name in the current folder.
      const name = path.basename(file);
      const byName = shell(`cd '${path.dirname(path.join(root, file))}' && '${native}' '${name}'`);
      assert.deepEqual(await report(fs.readFileSync(path.join(root, file)), name),
                       {text: byName.stdout.toString(), status}, `${file} as bytes`);
    }
  });

  test('a call that fails leaves the next one working', async () => {
    const {report} = require('quillfen');
    await assert.rejects(report(42), TypeError);
    await assert.rejects(report(new Uint8Array(4)), TypeError);
    // More than WebAssembly's memory can hold.
    await assert.rejects(report(new Uint8Array(2 ** 31 + 1), 'huge.bmp'), RangeError);
    const sample = path.join(root, 'samples/sample.bmp');
    const expected = shell(`'${native}' '${sample}'`).stdout.toString();
    assert.deepEqual(await report(sample), {text: expected, status: 0});
  });
});
