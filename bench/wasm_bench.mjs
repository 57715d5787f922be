// The WebAssembly front ends against the native binary, in the same run, on a 4000 x 3000
// 24-bit file (168 MB of report): the page's worker with the report discarded, the whole page
// path (pick to done), and the Node CLI minus Node's start-up. Exits non-zero when a target
// is missed.
//
// usage: node bench/wasm_bench.mjs [--runs N] [--smoke]
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {launch, root, serveSite} from '../tests/web/browser.mjs';

const args = process.argv.slice(2);
const smoke = args.includes('--smoke');
const runs = Number(args[args.indexOf('--runs') + 1]) || (smoke ? 1 : 7);
const [width, height] = smoke ? [64, 64] : [4000, 3000];

// Chromium hands a worker a picked file's bytes at a few hundred MB/s, several times the native
// binary's whole run on this file; that time is the browser's and is shown, not judged. The
// page's worker may take this many times the native time besides it, the page path this many,
// and the Node CLI, minus its start-up, this many.
const kWorkerCoreRatio = 2;
const kPageRatio = 5;
const kNodeRatio = 2.5;

const native = `${root}build/quillfen`;
const nodeCli = `${root}build-web/npm-package/bin/quillfen.js`;
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillfen-wasm-bench-'));
const big = path.join(dir, `${width}x${height}-24.bmp`);
execFileSync(`${root}build/bench/quillfen_bench`,
             ['--write-image', '24', `${width}`, `${height}`, big]);
const sample = path.join(root, 'samples/sample.bmp');

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Seconds from start to exit, output to /dev/null.
function timeOnce(command, commandArgs) {
  const started = process.hrtime.bigint();
  const result = spawnSync(command, commandArgs, {stdio: ['ignore', 'ignore', 'inherit']});
  if (result.status !== 0) throw new Error(`${command} ${commandArgs.join(' ')} failed`);
  return Number(process.hrtime.bigint() - started) / 1e9;
}

function timeCommand(command, commandArgs) {
  return median(Array.from({length: runs}, () => timeOnce(command, commandArgs)));
}

// The Node CLI on the large file minus its run on the 150-byte sample, taken in pairs so
// that both halves of each difference see the machine alike: medians of the differences
// and of the start-up.
function timeNode() {
  const pairs = Array.from({length: 2 * runs + 1}, () => {
    const start = timeOnce(process.execPath, [nodeCli, sample]);
    return [timeOnce(process.execPath, [nodeCli, big]) - start, start];
  });
  return {seconds: median(pairs.map(([difference]) => difference)),
          startSeconds: median(pairs.map(([, start]) => start))};
}

// The site's worker, made as the page makes it, reporting on the picked file with the output
// discarded: the run's time and the part of it spent reading the file, medians of runs.
async function timeWorker(page) {
  // An input of the bench's own: the page's lets go of each file once it has it.
  const input = await page.evaluateHandle(() =>
    document.body.appendChild(Object.assign(document.createElement('input'), {type: 'file'})));
  await input.uploadFile(big);
  const results = await page.evaluate(async (count, input) => {
    const [script, wasm] = await Promise.all([
      fetch('worker.js').then((response) => response.blob()),
      fetch('quillfen.wasm').then((response) => response.arrayBuffer()),
    ]);
    const worker = new Worker(URL.createObjectURL(script));
    worker.postMessage({type: 'init', module: await WebAssembly.compile(wasm)});
    const file = input.files[0];
    const times = [];
    for (let i = 0; i < count; i += 1) {
      times.push(await new Promise((resolve) => {
        worker.onmessage = ({data}) => {
          if (data.type === 'end') resolve({ms: data.ms, readMs: data.readMs, bytes: data.bytes});
        };
        worker.postMessage({type: 'report', file, keep: false, show: 0});
      }));
    }
    worker.terminate();
    input.remove();
    return times;
  }, runs, input);
  return {
    seconds: median(results.map((result) => result.ms)) / 1e3,
    readSeconds: median(results.map((result) => result.readMs)) / 1e3,
    coreSeconds: median(results.map((result) => result.ms - result.readMs)) / 1e3,
    bytes: results[0].bytes,
  };
}

// Pick to done, as a person does it: the time from the input's change to the done state,
// taken in the page, and the part of it the worker spent reading the file. Medians of runs.
async function timePage(page) {
  const results = [];
  for (let i = 0; i < runs; i += 1) {
    await page.evaluate(() => {
      window.timing = {};
      document.querySelector('#file').addEventListener('change', () => {
        window.timing.start = performance.now();
      }, {capture: true, once: true});
    });
    await (await page.$('input#file')).uploadFile(big);
    await page.waitForFunction(() => window.timing.done !== undefined &&
                                     window.timing.readMs !== undefined);
    results.push(await page.evaluate(() => window.timing));
  }
  return {
    seconds: median(results.map((timing) => timing.done - timing.start)) / 1e3,
    ownSeconds: median(results.map((timing) => timing.done - timing.start - timing.readMs)) / 1e3,
  };
}

const nativeSeconds = timeCommand(native, [big]);
const server = await serveSite();
const browser = await launch();
let pass = true;
const rows = [];
try {
  const page = await browser.newPage();
  // Every worker the page starts reports to the bench when its run ends and how long it read.
  await page.evaluateOnNewDocument(() => {
    const PageWorker = Worker;
    window.Worker = class extends PageWorker {
      constructor(...args) {
        super(...args);
        this.addEventListener('message', ({data}) => {
          if (data.type === 'end' && window.timing) window.timing.readMs = data.readMs;
        });
      }
    };
  });
  await page.goto(server.url);
  await page.waitForFunction(() => document.body.dataset.state === 'idle');
  await page.evaluate(() => {
    new MutationObserver(() => {
      if (document.body.dataset.state === 'done' && window.timing) {
        window.timing.done = performance.now();
      }
    }).observe(document.body, {attributeFilter: ['data-state']});
  });
  const pagePath = await timePage(page);
  const worker = await timeWorker(page);
  rows.push(['native binary', nativeSeconds, '']);
  rows.push(['page worker, output discarded', worker.seconds, '']);
  rows.push(['  of which Chromium reading the file', worker.readSeconds, '']);
  rows.push(['  of which the core', worker.coreSeconds, `at most ${kWorkerCoreRatio}x`]);
  rows.push(['page path, pick to done', pagePath.seconds, '']);
  rows.push(['  less Chromium reading the file', pagePath.ownSeconds, `at most ${kPageRatio}x`]);
  if (worker.coreSeconds > kWorkerCoreRatio * nativeSeconds && !smoke) pass = false;
  if (pagePath.ownSeconds > kPageRatio * nativeSeconds && !smoke) pass = false;
} finally {
  await browser.close();
  server.close();
}
if (fs.existsSync(nodeCli)) {
  const node = timeNode();
  rows.push(['Node CLI, minus its start-up', node.seconds, `at most ${kNodeRatio}x`]);
  rows.push(['  Node start-up (150-byte file)', node.startSeconds, '']);
  if (node.seconds > kNodeRatio * nativeSeconds && !smoke) pass = false;
}
fs.rmSync(dir, {recursive: true, force: true});

console.log(`${width} x ${height} 24-bit file, medians of ${runs} runs`);
console.log(`${'run'.padEnd(38)} ${'seconds'.padStart(8)} ${'x native'.padStart(9)}  target`);
for (const [name, seconds, target] of rows) {
  const ratio = (seconds / nativeSeconds).toFixed(1);
  const figures = `${seconds.toFixed(4).padStart(8)} ${ratio.padStart(9)}`;
  console.log(`${name.padEnd(38)} ${figures}  ${target}`);
}
console.log(pass ? 'web-bench: all targets met' : 'web-bench: FAILED');
process.exitCode = pass ? 0 : 1;
