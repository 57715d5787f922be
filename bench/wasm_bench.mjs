// The WebAssembly front ends against the native binary, in the same run, on a 4000 x 3000
// 24-bit file (168 MB of report): the page path from pick to done (the first pick after the
// page loads, and picks after it), the worker's read paths and its core, and the Node CLI
// minus Node's start-up; the page comparing that file with a copy of it changed in a block of
// rows; and the npm package's stream on an 8000 x 6000 file (672 MB of report), its time and
// memory. Exits non-zero when a target is missed.
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

// The page path, pick to done, may take this many times the native binary's run; the first
// pick after the page loads this many; the Node CLI, minus its start-up, this many. No task
// on the page's thread may take this long.
const kPageRatio = 5;
const kFirstPickRatio = 8;
const kNodeRatio = 2.5;
// Comparing two such files in the page, from the second file's pick to the verdict and the
// differences shown, may take this many times the page path on one of them.
const kCompareRatio = 2;
const kLongestTaskMs = 200;
// The inspector: the panel follows the pointer within a frame, an item in the text shown is
// marked within this many milliseconds, and one past it, on a 6000 x 4000 file, within this.
const kHoverMs = 1000 / 60;
const kMarkShownMs = 50;
const kMarkPastMs = 1000;

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

// The npm package's createReportStream() on file, consumed and dropped, in a Node process of
// its own: seconds and peak RSS in bytes.
function timeNodeStream(file) {
  const script = path.join(dir, 'stream.mjs');
  fs.writeFileSync(script, `
    import {createReportStream} from ${JSON.stringify(`${root}build-web/npm-package/index.mjs`)};
    let peakRss = 0;
    const sampler = setInterval(() => {
      peakRss = Math.max(peakRss, process.memoryUsage.rss());
    }, 10);
    const started = performance.now();
    let bytes = 0;
    for await (const block of createReportStream(${JSON.stringify(file)})) bytes += block.length;
    clearInterval(sampler);
    console.log(JSON.stringify({seconds: (performance.now() - started) / 1e3, peakRss, bytes}));
  `);
  const runsOf = Array.from({length: Math.min(runs, 5)}, () => JSON.parse(
    execFileSync(process.execPath, [script]).toString()));
  return {seconds: median(runsOf.map((run) => run.seconds)),
          peakRss: Math.max(...runsOf.map((run) => run.peakRss))};
}

// A page of the site that records, for each pick, the time from the input's change to the
// done state, the worker's own figures for the run, and every long task.
async function openTimedPage(browser, url) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
    }).observe({type: 'longtask', buffered: true});
    // Every worker the page starts tells the bench its figures for each run.
    const PageWorker = Worker;
    window.Worker = class extends PageWorker {
      constructor(...workerArgs) {
        super(...workerArgs);
        this.addEventListener('message', ({data}) => {
          if (data.type === 'answer' && data.answer?.reportLength !== undefined &&
              window.timing) {
            window.timing.worker = data.answer;
          }
        });
      }
    };
  });
  await page.goto(url);
  await page.waitForFunction(() => document.body.dataset.state === 'idle');
  // A person takes a moment to pick a file once the page is ready.
  await new Promise((resolve) => setTimeout(resolve, 1000));
  await page.evaluate(() => {
    new MutationObserver(() => {
      if (document.body.dataset.state === 'done' && window.timing) {
        window.timing.done = performance.now();
      }
    }).observe(document.body, {attributeFilter: ['data-state']});
  });
  return page;
}

// Pick to done, as a person does it: seconds, and the worker's milliseconds reading the file
// (the core runs alongside).
async function timePick(page) {
  await page.evaluate(() => {
    window.timing = {};
    document.querySelector('#file').addEventListener('change', () => {
      window.timing.start = performance.now();
    }, {capture: true, once: true});
  });
  await (await page.$('input#file')).uploadFile(big);
  await page.waitForFunction(() => window.timing.done !== undefined &&
                                   window.timing.worker !== undefined, {timeout: 120_000});
  const {start, done, worker} = await page.evaluate(() => window.timing);
  // Before the next pick, the picture of this one is decoded and the page idle again, as when
  // a person picks files one after another.
  await page.waitForFunction(() => document.body.dataset.picture !== 'decoding',
                             {timeout: 120_000});
  await page.evaluate(() => new Promise((resolve) => requestIdleCallback(resolve)));
  return {seconds: (done - start) / 1e3, readMs: worker.readMs};
}

// The comparison of the file picked with other, as a person makes it: seconds from the second
// file's pick to the verdict and differences shown (body[data-compare] done), and to the
// three pictures drawn.
async function timeCompare(page, other) {
  await page.evaluate(() => {
    const timing = {};
    window.compareTiming = timing;
    document.querySelector('#compare-file').addEventListener('change', () => {
      timing.start = performance.now();
    }, {capture: true, once: true});
    new MutationObserver((records, observer) => {
      if (['done', 'failed'].includes(document.body.dataset.compare)) {
        timing.done = performance.now();
        timing.state = document.body.dataset.compare;
        observer.disconnect();
      }
    }).observe(document.body, {attributeFilter: ['data-compare']});
    const pictures = document.querySelector('#compare-pictures');
    new MutationObserver((records, observer) => {
      if (pictures.dataset.state === 'shown') {
        timing.drawn = performance.now();
        observer.disconnect();
      }
    }).observe(pictures, {attributeFilter: ['data-state']});
  });
  await (await page.$('input#compare-file')).uploadFile(other);
  await page.waitForFunction(() => window.compareTiming.drawn !== undefined ||
                                   window.compareTiming.state === 'failed', {timeout: 120_000});
  const {start, done, drawn, state} = await page.evaluate(() => window.compareTiming);
  if (state !== 'done') throw new Error('the comparison failed');
  await page.evaluate(() => new Promise((resolve) => requestIdleCallback(resolve)));
  return {seconds: (done - start) / 1e3, drawnSeconds: (drawn - start) / 1e3};
}

// The inspector on a picked file: the time from the pointer moving onto a pixel to the panel
// showing it, and from a pixel's x and y being entered to its items marked, for the
// bottom-left pixel (the report's first item, in the text shown) and the top-left one (its
// last, past the text shown). Medians of runs.
async function timeInspector(page, file, width, height) {
  await (await page.$('input#file')).uploadFile(file);
  await page.waitForFunction(() => document.body.dataset.state === 'done' &&
                                   !document.querySelector('#pixel-x').disabled &&
                                   document.body.dataset.picture !== 'decoding',
                             {timeout: 120_000});
  // The picture keeps its proportions in its box: where pixel x, y is drawn.
  const box = await (await page.$('#picture')).boundingBox();
  const scale = Math.min(box.width / width, box.height / height);
  const at = (x, y) => [box.x + (box.width - width * scale) / 2 + (x + 0.5) * scale,
                        box.y + (box.height - height * scale) / 2 + (y + 0.5) * scale];
  const hovers = [];
  for (let i = 0; i < runs; i += 1) {
    hovers.push(await page.evaluate(async (x, y, want) => {
      const panel = document.querySelector('#inspector');
      const started = performance.now();
      document.querySelector('#picture').dispatchEvent(new PointerEvent('pointermove', {
        clientX: x, clientY: y, bubbles: true}));
      while (panel.dataset.x !== want) {
        if (performance.now() - started > 5000) {
          throw new Error(`the panel shows x ${panel.dataset.x}, not ${want} (picture ` +
                          `${document.body.dataset.picture})`);
        }
        await new Promise((resolve) => setTimeout(resolve, 0));
      }
      return performance.now() - started;
    }, ...at(3 + 2 * i, 5), String(3 + 2 * i)));
  }
  // The time until the item's mark is in the report, watched for as the page changes: marks
  // already there are told apart by a class of the bench's own.
  const mark = (x, y) => page.evaluate((x, y) => new Promise((resolve, reject) => {
    const report = document.querySelector('#report');
    for (const old of report.querySelectorAll('mark')) old.classList.add('stale');
    const started = performance.now();
    const watcher = new MutationObserver(() => {
      if (report.querySelector('mark:not(.stale)') !== null) {
        watcher.disconnect();
        resolve(performance.now() - started);
      }
    });
    watcher.observe(report, {childList: true, subtree: true});
    setTimeout(() => reject(new Error(`no mark for ${x}, ${y}`)), 10_000);
    document.querySelector('#pixel-x').value = String(x);
    document.querySelector('#pixel-y').value = String(y);
    document.querySelector('#pixel').requestSubmit();
  }), x, y);
  // Done, and the page idle again, as it is when a person picks the next pixel.
  const settle = async () => {
    await page.waitForFunction(
      () => document.querySelector('#inspector').getAttribute('aria-busy') === 'false');
    await page.evaluate(() => new Promise((resolve) => requestIdleCallback(resolve)));
  };
  const shown = [];
  const past = [];
  for (let i = 0; i < runs; i += 1) {
    shown.push(await mark(i, height - 1));
    await settle();
    past.push(await mark(i, 0));
    await settle();
    if (await page.$('#report-note button') !== null) await page.click('#report-note button');
    await settle();
  }
  return {hoverMs: median(hovers), shownMs: median(shown), pastMs: median(past)};
}

// The site's worker, made as the page makes it, on the picked file with nothing shown: the
// streamed read, a second run on the bytes it holds, and the read in 16 MiB file windows.
async function timeWorker(page) {
  const input = await page.evaluateHandle(() =>
    document.body.appendChild(Object.assign(document.createElement('input'), {type: 'file'})));
  await input.uploadFile(big);
  return page.evaluate(async (count, input) => {
    const [script, wasm] = await Promise.all([
      fetch('worker.js').then((response) => response.blob()),
      fetch('quillfen.wasm').then((response) => response.arrayBuffer()),
    ]);
    const module = await WebAssembly.compile(wasm);
    const file = input.files[0];
    const results = {streamed: [], held: [], inFileWindows: []};
    for (let i = 0; i < count; i += 1) {
      const worker = new Worker(URL.createObjectURL(script));
      const answers = [];
      let next = null;
      worker.onmessage = ({data}) => {
        if (data.type === 'ready') next(data);
        if (data.type === 'answer') next(data.answer);
        if (data.type === 'failed') throw new Error(data.message);
      };
      const ask = (message) => new Promise((resolve) => {
        next = resolve;
        worker.postMessage(message);
      });
      await ask({type: 'init', module});
      answers.push(await ask({type: 'report', id: 1, file, fileId: 1, showBytes: 0}));
      answers.push(await ask({type: 'report', id: 2, file, fileId: 1, showBytes: 0}));
      answers.push(await ask({type: 'report', id: 3, file, fileId: 3, showBytes: 0,
                              alwaysFileWindows: true}));
      worker.terminate();
      results.streamed.push(answers[0]);
      results.held.push(answers[1]);
      results.inFileWindows.push(answers[2]);
    }
    input.remove();
    return results;
  }, runs, input);
}

const nativeSeconds = median(Array.from({length: runs}, () => timeOnce(native, [big])));
const server = await serveSite();
const browser = await launch();
let pass = true;
const rows = [];
const judge = (name, seconds, ratio) => {
  const met = smoke || seconds <= ratio * nativeSeconds;
  if (!met) pass = false;
  rows.push([name, seconds, `at most ${ratio}x${met ? '' : ': MISSED'}`]);
};
let longest = 0;
let inspector;
try {
  // The first pick on each of several fresh pages, then picks on the last one.
  const firsts = [];
  let page = null;
  for (let i = 0; i < runs; i += 1) {
    await page?.close();
    page = await openTimedPage(browser, server.url);
    firsts.push(await timePick(page));
    longest = Math.max(longest, ...await page.evaluate(() => window.longTasks));
  }
  const later = [];
  for (let i = 0; i < runs; i += 1) later.push(await timePick(page));
  longest = Math.max(longest, ...await page.evaluate(() => window.longTasks));
  // The file against a copy whose middle tenth of rows has other bytes.
  const changed = path.join(dir, 'changed.bmp');
  const copy = fs.readFileSync(big);
  copy.fill(0x5A, Math.floor(copy.length * 0.45), Math.floor(copy.length * 0.55));
  fs.writeFileSync(changed, copy);
  const compares = [];
  for (let i = 0; i < runs; i += 1) compares.push(await timeCompare(page, changed));
  longest = Math.max(longest, ...await page.evaluate(() => window.longTasks));
  const worker = await timeWorker(page);
  const ms = (list, pick) => median(list.map(pick)) / 1e3;
  const [inspectedWidth, inspectedHeight] = smoke ? [64, 64] : [6000, 4000];
  const inspected = path.join(dir, `${inspectedWidth}x${inspectedHeight}-24.bmp`);
  execFileSync(`${root}build/bench/quillfen_bench`, ['--write-image', '24', `${inspectedWidth}`,
                                                     `${inspectedHeight}`, inspected]);
  inspector = await timeInspector(page, inspected, inspectedWidth, inspectedHeight);

  rows.push(['native binary', nativeSeconds, '']);
  judge('page path, pick to done', median(later.map((run) => run.seconds)), kPageRatio);
  rows.push(['  of which the worker reading the file', ms(later, (run) => run.readMs), '']);
  const pagePath = median(later.map((run) => run.seconds));
  const compared = median(compares.map((run) => run.seconds));
  const compareMet = smoke || compared <= kCompareRatio * pagePath;
  if (!compareMet) pass = false;
  rows.push(['page: compare with a changed copy', compared,
             `at most ${kCompareRatio}x the page path${compareMet ? '' : ': MISSED'}`]);
  rows.push(['  then its three pictures drawn', median(compares.map((run) => run.drawnSeconds)),
             '']);
  judge('first pick after the page loads', median(firsts.map((run) => run.seconds)),
        kFirstPickRatio);
  rows.push(['  of which the worker reading the file', ms(firsts, (run) => run.readMs), '']);
  rows.push(['worker: streamed read, the core alongside', ms(worker.streamed, (run) => run.ms),
             '']);
  rows.push(['  of which the read', ms(worker.streamed, (run) => run.readMs), '']);
  rows.push(['worker: read in 16 MiB file windows', ms(worker.inFileWindows, (run) => run.ms),
             '']);
  rows.push(['  of which the reads', ms(worker.inFileWindows, (run) => run.readMs), '']);
  rows.push(['worker: core on bytes in memory (a second run on the file read)',
             ms(worker.held, (run) => run.ms), '']);
} finally {
  await browser.close();
  server.close();
}
let streamFigures = null;
if (fs.existsSync(nodeCli)) {
  const node = timeNode();
  judge('Node CLI, minus its start-up', node.seconds, kNodeRatio);
  rows.push(['  Node start-up (150-byte file)', node.startSeconds, '']);
  const [streamWidth, streamHeight] = smoke ? [64, 64] : [8000, 6000];
  const streamed = path.join(dir, `${streamWidth}x${streamHeight}-24.bmp`);
  execFileSync(`${root}build/bench/quillfen_bench`,
               ['--write-image', '24', `${streamWidth}`, `${streamHeight}`, streamed]);
  const nativeStreamed = median(Array.from({length: runs}, () => timeOnce(native, [streamed])));
  streamFigures = {file: `${streamWidth} x ${streamHeight}`, native: nativeStreamed,
                   ...timeNodeStream(streamed)};
}
fs.rmSync(dir, {recursive: true, force: true});

console.log(`${width} x ${height} 24-bit file, medians of ${runs} runs`);
console.log(`${'run'.padEnd(40)} ${'seconds'.padStart(8)} ${'x native'.padStart(9)}  target`);
for (const [name, seconds, target] of rows) {
  const ratio = (seconds / nativeSeconds).toFixed(1);
  console.log(`${name.padEnd(40)} ${seconds.toFixed(4).padStart(8)} ${ratio.padStart(9)}  ${target}`);
}
if (streamFigures !== null) {
  const {file, native: nativeStream, seconds, peakRss} = streamFigures;
  console.log(`npm createReportStream() on the ${file} 24-bit file: ${seconds.toFixed(3)} s ` +
              `(native ${nativeStream.toFixed(3)} s, ${(seconds / nativeStream).toFixed(1)}x), ` +
              `peak RSS ${(peakRss / 1e6).toFixed(0)} MB`);
}
if (inspector !== undefined) {
  for (const [what, value, target] of [
    ['the panel following the pointer', inspector.hoverMs, kHoverMs],
    ['an item in the text shown, marked', inspector.shownMs, kMarkShownMs],
    ['an item past it (the top-left pixel), marked', inspector.pastMs, kMarkPastMs]]) {
    const met = smoke || value <= target;
    if (!met) pass = false;
    console.log(`inspector: ${what}: ${value.toFixed(1)} ms (at most ` +
                `${target.toFixed(0)} ms${met ? '' : ': MISSED'})`);
  }
}
const taskMet = smoke || longest < kLongestTaskMs;
if (!taskMet) pass = false;
console.log(`longest task on the page's thread: ${longest.toFixed(0)} ms (under ` +
            `${kLongestTaskMs} ms${taskMet ? '' : ': MISSED'})`);
console.log(pass ? 'web-bench: all targets met' : 'web-bench: FAILED');
process.exitCode = pass ? 0 : 1;
