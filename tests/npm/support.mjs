// What the package's tests share: where the package is installed (QUILLFEN_PREFIX, an npm
// global prefix), the native tool to compare with, scratch files, and child Node processes
// that measure a run.
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import {createHash} from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const root = new URL('../../', import.meta.url).pathname;
const prefix = process.env.QUILLFEN_PREFIX;
assert.ok(prefix, 'QUILLFEN_PREFIX names the prefix the package is installed in');
export const installed = path.join(prefix, 'lib/node_modules/quillfen');
export const cli = path.join(prefix, 'bin/quillfen');
export const native = path.join(root, 'build/quillfen');

export function scratchDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'quillfen-npm-test-'));
}

// Runs a shell command line; both tools are run the same way, with the same input. One that
// has not ended within a minute is killed.
export function shell(command, options = {}) {
  const result = spawnSync('bash', ['-c', command], {maxBuffer: 1 << 30, timeout: 60_000,
                                                     killSignal: 'SIGKILL', ...options});
  return {stdout: result.stdout, stderr: result.stderr.toString(), status: result.status};
}

export const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

// The SHA-256 of the native tool's report on file, run in its folder on its bare name, and
// the report's length: for reports too large to hold.
export function nativeDigest(file) {
  const run = (then) => shell(`'${native}' '${path.basename(file)}' | ${then}`,
                              {cwd: path.dirname(file)}).stdout.toString();
  return {digest: run('sha256sum').split(' ')[0], bytes: Number(run('wc -c'))};
}

export const testFiles = execFileSync('find', ['tests/data', 'samples', 'fuzz/corpus', '-type',
                                              'f', '-name', '*.bmp'], {cwd: root})
                             .toString().trim().split('\n').sort()
                             .map((file) => path.join(root, file));

// A valid 24-bit file of pseudo-random pixels, by the benchmark's writer.
export function trueColorFile(file, width, height) {
  execFileSync(`${root}build/bench/quillfen_bench`,
               ['--write-image', '24', String(width), String(height), file]);
  return file;
}

// Runs script (an ES module's text) in a Node process of its own, where `quillfen` is the
// installed package and `measure` samples the process's peak RSS and the longest wait of a
// 10 ms timer; returns what the script printed last, as JSON. A script that has not ended
// within limitMs is killed and fails the test.
export function runMeasured(script, dir, limitMs = 120_000) {
  const file = path.join(dir, `measured-${process.hrtime.bigint()}.mjs`);
  fs.writeFileSync(file, `
    import {createRequire} from 'node:module';
    const quillfen = createRequire(${JSON.stringify(path.join(installed, 'package.json'))})(
      'quillfen');
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
    console.log(JSON.stringify({...result, ...measure}));
  `);
  const run = spawnSync(process.execPath, [file], {cwd: dir, timeout: limitMs,
                                                   maxBuffer: 1 << 20});
  assert.ok(run.signal === null, `the run did not end within ${limitMs} ms`);
  assert.equal(run.status, 0, run.stderr.toString());
  return JSON.parse(run.stdout.toString().trim().split('\n').at(-1));
}

// Runs script (CommonJS) in a Node process of its own, in dir, after it replaces worker_threads'
// Worker with one that counts the workers started; returns what it printed last, as JSON, and
// how long the process took. One that has not ended within limitMs is killed and fails the test.
export function runCounting(script, dir, limitMs = 20_000) {
  const started = performance.now();
  const run = spawnSync(process.execPath, ['-e', `
    const fs = require('node:fs');
    const threads = require('node:worker_threads');
    let workers = 0;
    threads.Worker = class extends threads.Worker {
      constructor(...args) {
        super(...args);
        workers += 1;
      }
    };
    const quillfen = require(${JSON.stringify(installed)});
    (async () => {${script}})().then((result) => console.log(JSON.stringify({...result, workers})));
  `], {cwd: dir, timeout: limitMs, killSignal: 'SIGKILL'});
  const ms = performance.now() - started;
  assert.equal(run.signal, null, `the process did not end within ${limitMs} ms`);
  assert.equal(run.status, 0, run.stderr.toString());
  const printed = run.stdout.toString().trim().split('\n').at(-1);
  return {...(printed ? JSON.parse(printed) : {}), ms};
}
