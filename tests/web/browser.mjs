// Serves the built site on a free local port and drives it in Debian's Chromium, headless; the
// native tool's reports and the test files the page tests share.
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before} from 'node:test';
import puppeteer from 'puppeteer-core';

import {serve} from '../../web/serve.mjs';
import {bitmapHeader} from './bitmaps.mjs';

export const root = new URL('../../', import.meta.url).pathname;
export const native = `${root}build/quillfen`;

// The site on 127.0.0.1, on a port the system picks.
export async function serveSite(dir = `${root}build-web/site`) {
  const server = await serve(dir);
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => {
      server.closeAllConnections();
      server.close();
    },
  };
}

// A test file's session on a desktop of 1280 x 900, started before its tests and closed after
// them: the returned object holds server, browser and page once they run, and ready(session)
// runs once they do (in the same hook: Node's runs its root hooks without waiting in turn).
export function desktopSession(scratch, ready = () => {}) {
  const held = {};
  before(async () => {
    Object.assign(held, await startSession(scratch, (opened) =>
      opened.setViewport({width: 1280, height: 900})));
    await ready(held);
  });
  after(() => held.close?.());
  return held;
}

// The site served, Chromium launched and the page opened on it, for a test file's tests;
// close() ends all three and removes scratch.
export async function startSession(scratch, prepare = async () => {}) {
  const server = await serveSite();
  const browser = await launch();
  const page = await openPage(browser, server.url, prepare);
  const close = async () => {
    await browser.close();
    server.close();
    fs.rmSync(scratch, {recursive: true, force: true});
  };
  return {server, browser, page, close};
}

export async function launch() {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    // As root Chromium runs only without its sandbox; the rest keeps it off the network.
    args: [
      ...(process.getuid() === 0 ? ['--no-sandbox'] : []),
      '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage',
    ],
  });
}

// Opens the page and waits until it is ready for a file. Every state the page takes from then
// on is recorded in window.states, every status line in window.statuses, and every progress
// value with the state it came in.
// prepare(page) runs before the page loads.
export async function openPage(browser, url, prepare = async () => {}) {
  const page = await browser.newPage();
  page.setDefaultTimeout(60_000);
  await prepare(page);
  await page.goto(url);
  await page.waitForFunction(() => document.body.dataset.state === 'idle');
  await page.evaluate(() => {
    const [status, bar] = [document.querySelector('#status'), document.querySelector('#progress')];
    [window.states, window.statuses, window.progress] = [[], [], []];
    const watch = (target, options, record) =>
      new MutationObserver(record).observe(target, options);
    watch(document.body, {attributeFilter: ['data-state']},
          () => window.states.push(document.body.dataset.state));
    watch(status, {childList: true, characterData: true, subtree: true},
          () => window.statuses.push(status.textContent));
    watch(bar, {attributeFilter: ['value']},
          () => window.progress.push([bar.value, document.body.dataset.state]));
  });
  return page;
}

// Picks a file through input#file and waits until its report is under way.
export async function start(page, file) {
  await page.evaluate(() => [window.states, window.statuses, window.progress]
    .forEach((list) => list.splice(0)));
  await (await page.$('input#file')).uploadFile(file);
  await page.waitForFunction(() => window.states.includes('working'));
}

// Waits until the run that is under way has settled; returns the state it settled in.
export async function settle(page) {
  const settled = await page.waitForFunction(() => {
    const after = window.states.slice(window.states.lastIndexOf('working') + 1);
    return after.find((state) => ['done', 'refused', 'failed', 'cancelled'].includes(state));
  }, {timeout: 120_000});
  return settled.jsonValue();
}

export const pick = async (page, file) => {
  await start(page, file);
  return settle(page);
};

// Records the page's long tasks from now on; longestTask(page) is the longest so far, in ms.
export const watchLongTasks = (page) => page.evaluate(() => {
  window.longTasks = [];
  new PerformanceObserver((list) => {
    for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
  }).observe({type: 'longtask'});
});
export const longestTask = async (page) => Math.max(0, ...await page.evaluate(() =>
  window.longTasks));

export const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
export const state = (page) => page.evaluate(() => document.body.dataset.state);

// Rejects with a message naming what did not happen when promise takes longer than ms.
export function within(ms, promise, what) {
  let timer;
  const late = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: not within ${ms} ms`)), ms);
  });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

// The native tool's report and status, run in the file's folder on its bare name, as the page
// names the file.
export function nativeReport(file) {
  const run = spawnSync(native, [path.basename(file)], {cwd: path.dirname(file),
                                                        maxBuffer: 1 << 30});
  return {text: run.stdout.toString(), status: run.status === 0 ? 0 : -1};
}

// The first bytes of the native tool's report, as text: for reports too large to hold.
export function nativeReportStart(file, bytes) {
  const run = spawnSync('sh', ['-c', `"$0" "$1" | head -c ${bytes}`, native, path.basename(file)],
                        {cwd: path.dirname(file), maxBuffer: 1 << 30});
  return run.stdout.toString();
}

// Every BMP file of the project's tests and samples.
export function testFiles() {
  return execFileSync('find', ['tests/data', 'samples', '-name', '*.bmp'], {cwd: root})
             .toString().trim().split('\n').sort().map((file) => path.join(root, file));
}

export const scratchDir = () => fs.mkdtempSync(path.join(os.tmpdir(), 'quillfen-web-test-'));

// A valid file of pseudo-random pixels at 1, 4, 8, 16 or 24 bits, by the benchmark's writer.
export function bitmapFile(file, bits, width, height) {
  execFileSync(`${root}build/bench/quillfen_bench`,
               ['--write-image', String(bits), String(width), String(height), file]);
  return file;
}

export const trueColorFile = (file, width, height) => bitmapFile(file, 24, width, height);

// The 54-byte header of a 24-bit file of width x height, as stored; the file may be cut short
// or made sparse after it.
export function trueColorHeader(width, height) {
  const rowBytes = Math.floor((width * 24 + 31) / 32) * 4;
  return bitmapHeader({width, height, bits: 24,
                       fileSize: (54 + rowBytes * Math.abs(height)) % 2 ** 32});
}

// Bytes at the start of a file of size bytes that is otherwise a hole.
export function sparseFile(file, head, size) {
  fs.writeFileSync(file, head);
  fs.truncateSync(file, size);
  return file;
}

// A file of /proc, or '' when its process has ended meanwhile.
const procFile = (name) => {
  try {
    return fs.readFileSync(`/proc/${name}`, 'latin1');
  } catch {
    return '';
  }
};

// The memory of Chromium's processes together, in bytes: the proportional set sizes (which
// count shared pages once) of the browser's process and every descendant's.
export function browserMemory(browser) {
  const children = new Map();
  for (const pid of fs.readdirSync('/proc').filter((entry) => /^\d+$/.test(entry))) {
    const stat = procFile(`${pid}/stat`);
    const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
    children.set(parent, [...children.get(parent) ?? [], Number(pid)]);
  }
  let bytes = 0;
  for (const queue = [browser.process().pid]; queue.length > 0;) {
    const pid = queue.pop();
    queue.push(...children.get(pid) ?? []);
    bytes += Number(/^Pss:\s+(\d+) kB/m.exec(procFile(`${pid}/smaps_rollup`))?.[1] ?? 0) * 1024;
  }
  return bytes;
}

// Samples a figure every ms milliseconds while work runs; resolves to [work's value, peak].
export async function peakDuring(sample, work, ms = 25) {
  let peak = await sample();
  let sampling = true;
  const sampler = (async () => {
    while (sampling) {
      peak = Math.max(peak, await sample());
      await new Promise((resolve) => setTimeout(resolve, ms));
    }
  })();
  try {
    return [await work(), peak];
  } finally {
    sampling = false;
    await sampler;
  }
}

// A worker given the core holds it in core; the picture's decoder never is.
const isCore = () => core !== null;

// The kinds of the page's workers: 'core' for those that run the core (the report's, the one
// standing by to take its place, and the inspector's), 'picture' for the picture's decoder.
// Waits up to 5 s for them to be expected.
export async function workerKinds(page, expected = ['core', 'core', 'core', 'picture']) {
  let kinds = [];
  for (const started = Date.now(); Date.now() - started < 5000;) {
    kinds = (await Promise.all(page.workers().map((worker) => worker.evaluate(isCore).then(
      (core) => (core ? 'core' : 'picture'), () => 'ended'))))
                .filter((kind) => kind !== 'ended').sort();
    if (JSON.stringify(kinds) === JSON.stringify(expected)) break;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return kinds;
}

// Counts the workers the page ends from now on; ended(n) resolves once n have ended, and
// rejects when they have not within 60 s, as long as the page's own waits: a worker's end is
// heard some time after the page ends it, the longer the busier the machine.
export function watchWorkerEnds(page) {
  let ends = 0;
  const waiting = [];
  page.on('workerdestroyed', () => {
    ends += 1;
    for (const wait of waiting) if (ends >= wait.count) wait.resolve();
  });
  return {
    ended(count) {
      return within(60_000, new Promise((resolve) => {
        if (ends >= count) resolve();
        else waiting.push({count, resolve});
      }), `${count} workers ended (${ends} have)`);
    },
    get count() {
      return ends;
    },
  };
}

// Holds the page's workers where they reach the first line of the site's worker.js that holds
// source, through a breakpoint (DevTools' Debugger) in each worker that runs now: work that
// passes there waits, whatever the machine's speed, until its worker is ended or released.
// paused resolves to the first worker that stops there (rejecting after 60 s); the others'
// breakpoints are then removed, so that a worker that takes its place runs on. ended(worker)
// resolves once that worker has ended, and rejects when it has not within 5 s. release()
// lets every worker still held run on.
export async function holdWorkersAt(page, source) {
  const lines = fs.readFileSync(`${root}build-web/site/worker.js`, 'utf8').split('\n');
  const lineNumber = lines.findIndex((line) => line.includes(source));
  if (lineNumber < 0) throw new Error(`worker.js has no line with ${source}`);
  const ended = new Set();
  const endings = [];
  page.on('workerdestroyed', (worker) => {
    ended.add(worker);
    for (const wait of endings) if (wait.worker === worker) wait.resolve();
  });
  let stopped;
  const stopping = new Promise((resolve) => {
    stopped = resolve;
  });
  const held = await Promise.all(page.workers().map(async (worker) => {
    const {client} = worker;
    client.once('Debugger.paused', () => stopped(worker));
    await client.send('Debugger.enable');
    const {breakpointId} = await client.send('Debugger.setBreakpointByUrl',
                                             {urlRegex: '^blob:', lineNumber});
    return {worker, client, breakpointId};
  }));
  const paused = within(60_000, stopping, `a worker at ${source}`).then(async (worker) => {
    for (const other of held) {
      if (other.worker !== worker && !ended.has(other.worker)) {
        await other.client.send('Debugger.removeBreakpoint',
                                {breakpointId: other.breakpointId}).catch(() => {});
      }
    }
    return worker;
  });
  return {
    paused,
    ended: (worker) => within(5000, new Promise((resolve) => {
      if (ended.has(worker)) resolve();
      else endings.push({worker, resolve});
    }), 'the held worker ended'),
    async release() {
      for (const {worker, client} of held) {
        if (!ended.has(worker)) await client.send('Debugger.disable').catch(() => {});
      }
    },
  };
}

// Runs fn(...args) in the page's picture decoder, the worker that holds no core, once the
// page has one; resolves to the workers it ran in. Only decoders decode; a core worker never
// does.
export async function inPictureDecoder(page, fn, ...args) {
  for (const started = Date.now(); Date.now() - started < 60_000;) {
    const decoders = [];
    for (const worker of page.workers()) {
      if (await worker.evaluate(isCore).catch(() => true)) continue;
      await worker.evaluate(fn, ...args);
      decoders.push(worker);
    }
    if (decoders.length > 0) return decoders;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error('no picture decoder within 60 s');
}

// Resolves once the page has ended every one of workers.
export function workersGone(page, workers) {
  return within(60_000, new Promise((resolve) => {
    const check = () => {
      if (!page.workers().some((worker) => workers.includes(worker))) {
        page.off('workerdestroyed', check);
        resolve();
      }
    };
    page.on('workerdestroyed', check);
    check();
  }), 'the workers ended');
}

// ---- the inspector

// Picks a file whose report must be done, and waits until the inspector is open on it and its
// picture is no longer being decoded.
export async function pickToInspect(page, file) {
  const outcome = await pick(page, file);
  if (outcome !== 'done') throw new Error(`${file}: ${outcome}, not done`);
  await page.waitForFunction(() => !document.querySelector('#go-offset').disabled &&
                                   document.body.dataset.picture !== 'decoding');
}

// Waits until the inspector has shown all it was asked to.
// The bytes the bytes view lights, as it shows them: lower-case, as xxd writes them.
export const litBytes = (page) => page.$$eval('#hex .selected', (spans) => spans.map((span) =>
  span.textContent));
export const inspectorSettled = (page) => page.waitForFunction(
  () => document.querySelector('#inspector').getAttribute('aria-busy') === 'false');

// What the inspector shows, read from what is rendered: its hooks, the panel's text as a
// person reads it, each mark with its text, line and column (counted in the report's text as
// shown, from its first line), the items drawn as past the end, the focused element.
export const inspected = (page) => page.evaluate(() => {
  const panel = document.querySelector('#inspector');
  const report = document.querySelector('#report');
  const first = Number(report.firstElementChild?.dataset.line ?? 1);
  const placeOf = (element) => {
    const piece = element.closest('#report > span');
    const range = document.createRange();
    range.setStart(piece, 0);
    range.setEnd(element, 0);
    const before = range.toString();
    const lines = before.split('\n').length - 1;
    return {line: Number(piece.dataset.line) + lines,
            column: before.length - before.lastIndexOf('\n') - 1};
  };
  const marks = [...report.querySelectorAll('mark')].map((mark) => ({
    text: mark.textContent, line: Number(mark.dataset.line), ...placeOf(mark),
    pastEnd: mark.closest('[data-past-end]') !== null}));
  return {offset: panel.dataset.offset, bytes: panel.dataset.bytes, x: panel.dataset.x,
          y: panel.dataset.y, facts: document.querySelector('#facts').innerText, marks,
          reportText: report.textContent, firstLine: first,
          note: document.querySelector('#report-note').hidden ? ''
            : document.querySelector('#report-note').textContent,
          pixelX: document.querySelector('#pixel-x').value,
          pixelY: document.querySelector('#pixel-y').value,
          focused: document.activeElement.id || document.activeElement.tagName};
});

// Fills the fields {selector: value}, presses Enter in the last, and waits until the inspector
// has shown what they chose.
async function submitFields(page, fields) {
  for (const [selector, value] of Object.entries(fields)) {
    await page.$eval(selector, (input, typed) => {
      input.value = typed;
    }, String(value));
  }
  await page.focus(Object.keys(fields).at(-1));
  await page.keyboard.press('Enter');
  await inspectorSettled(page);
}

// Picks a pixel from the keyboard: both fields, then Enter.
export const choosePixel = (page, x, y) => submitFields(page, {'#pixel-x': x, '#pixel-y': y});

// Types an offset into input#go-offset and presses Enter.
export const goToOffset = (page, offset) => submitFields(page, {'#go-offset': offset});

// Clicks the character at line, column of the report, as it is shown (an empty line's line
// end at column 0).
export async function clickText(page, line, column) {
  const point = await page.evaluate((wantLine, wantColumn) => {
    for (const piece of document.querySelector('#report').children) {
      let line = Number(piece.dataset.line);
      let column = 0;
      const walker = document.createTreeWalker(piece, NodeFilter.SHOW_TEXT);
      for (let node = walker.nextNode(); node !== null; node = walker.nextNode()) {
        for (let at = 0; at < node.data.length; at += 1) {
          if (line === wantLine && column === wantColumn) {
            // The character in the middle of the window, then where it is drawn.
            const range = document.createRange();
            range.setStart(node, at);
            range.setEnd(node, at + 1);
            const box = () => range.getClientRects()[0] ?? range.getBoundingClientRect();
            scrollBy(box().left - innerWidth / 2, box().top - innerHeight / 2);
            const {left, top, width, height} = box();
            return {x: left + Math.min(2, width / 2), y: top + height / 2};
          }
          if (node.data[at] === '\n') {
            line += 1;
            column = 0;
          } else {
            column += 1;
          }
        }
      }
    }
    return null;
  }, line, column);
  if (point === null) throw new Error(`line ${line}, column ${column} is not shown`);
  await page.mouse.click(point.x, point.y);
  await inspectorSettled(page);
}
