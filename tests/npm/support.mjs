// What the package's tests share: the installed package (QUILLFEN_PREFIX, an npm global
// prefix) and its core, the native tools to compare with, a scratch folder, crafted headers, and
// child Node processes that measure a run.
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import {createHash} from 'node:crypto';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {after} from 'node:test';

export const root = new URL('../../', import.meta.url).pathname;
const prefix = process.env.QUILLFEN_PREFIX;
assert.ok(prefix, 'QUILLFEN_PREFIX names the prefix the package is installed in');
export const installed = path.join(prefix, 'lib/node_modules/quillfen');
export const cli = path.join(prefix, 'bin/quillfen');
export const native = path.join(root, 'build/quillfen');
export const sample = path.join(root, 'samples/sample.bmp');
export const require = createRequire(path.join(installed, 'package.json'));
export const quillfen = require('quillfen');
export const openCore = () => require(path.join(installed, 'lib/core.js'))();

// Each test file's own folder, removed when its tests end.
export const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quillfen-npm-test-'));
after(() => fs.rmSync(scratch, {recursive: true, force: true}));

// Runs a shell command line; one that has not ended within a minute is killed.
export function shell(command, options = {}) {
  const result = spawnSync('bash', ['-c', command], {maxBuffer: 1 << 30, timeout: 60_000,
                                                     killSignal: 'SIGKILL', ...options});
  return {stdout: result.stdout, stderr: result.stderr.toString(), status: result.status};
}

// The native tool's report and status (0, or -1 when refused) on file; with asBytes, on its bare
// name in its folder, as report(bytes, name) names it.
export function nativeReport(file, asBytes = false) {
  const run = asBytes ? shell(`'${native}' '${path.basename(file)}'`, {cwd: path.dirname(file)})
                      : shell(`'${native}' '${file}'`);
  return {text: run.stdout.toString(), status: run.status === 0 ? 0 : -1};
}

export const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');
export const hex = (bytes) => [...bytes].map((byte) =>
  byte.toString(16).toUpperCase().padStart(2, '0')).join(' ');

// The SHA-256 and length of the native tool's report on file, for reports too large to hold.
export function nativeDigest(file) {
  const run = (then) => shell(`'${native}' '${path.basename(file)}' | ${then}`,
                              {cwd: path.dirname(file)}).stdout.toString();
  return {digest: run('sha256sum').split(' ')[0], bytes: Number(run('wc -c'))};
}

// A 58-byte BITMAPINFOHEADER file of width x height at bits per pixel, no table, no pixels.
export function header(width, height, bits, offBits = 54) {
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

// A valid 24-bit file of pseudo-random pixels, by the benchmark's writer.
export function trueColorFile(file, width, height) {
  execFileSync(`${root}build/bench/quillfen_bench`,
               ['--write-image', '24', String(width), String(height), file]);
  return file;
}

// A copy of the installed package whose lib/core.js is change(its text), or is gone for null.
export function changedPackage(change) {
  const copy = fs.mkdtempSync(path.join(scratch, 'package-'));
  fs.cpSync(installed, copy, {recursive: true});
  const core = path.join(copy, 'lib/core.js');
  if (change === null) fs.rmSync(core);
  else fs.writeFileSync(core, change(fs.readFileSync(core, 'utf8')));
  return copy;
}

// runChild(script), run once more when held(figures) says its event loop was held: a loaded
// machine can stall a timer once, while a run that holds the loop holds it every time. The
// second run's figures are the ones the test then asserts.
export function runChildTwiceIfHeld(script, held, limitMs) {
  const first = runChild(script, limitMs);
  return held(first) ? runChild(script, limitMs) : first;
}

// Runs script (the body of an async function in an ES module) in a Node process of its own, in
// scratch, with `quillfen` the installed package and `fs`; worker_threads' Worker counts the
// workers started, a 10 ms timer samples the peak RSS and its own longest wait. Returns what
// the script returned, with {workers, peakRss, worstGap, processMs}; one not ended within
// limitMs fails the test.
export function runChild(script, limitMs = 120_000) {
  const file = path.join(scratch, `child-${process.hrtime.bigint()}.mjs`);
  fs.writeFileSync(file, `
    import fs from 'node:fs';
    import {createRequire} from 'node:module';
    const require = createRequire(import.meta.url);
    const threads = require('node:worker_threads');
    let workers = 0;
    threads.Worker = class extends threads.Worker {
      constructor(...args) {
        super(...args);
        workers += 1;
      }
    };
    const quillfen = require(${JSON.stringify(installed)});
    const measure = {peakRss: 0, worstGap: 0};
    let last = performance.now();
    const sampler = setInterval(() => {
      const now = performance.now();
      measure.worstGap = Math.max(measure.worstGap, now - last);
      measure.peakRss = Math.max(measure.peakRss, process.memoryUsage.rss());
      last = now;
    }, 10);
    const result = await (async () => {${script}})();
    clearInterval(sampler);
    console.log(JSON.stringify({...result, ...measure, workers}));
  `);
  const started = performance.now();
  const run = spawnSync(process.execPath, [file], {cwd: scratch, timeout: limitMs,
                                                   killSignal: 'SIGKILL', maxBuffer: 1 << 20});
  const processMs = performance.now() - started;
  assert.equal(run.signal, null, `the process did not end within ${limitMs} ms`);
  assert.equal(run.status, 0, run.stderr.toString());
  return {...JSON.parse(run.stdout.toString().trim().split('\n').at(-1)), processMs};
}
