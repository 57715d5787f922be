// The page's states and controls: pick or drop a file, report, picture, inspector, save.

// The core runs in workers; the file is read there and never leaves the machine.
// body[data-state] is loading, idle, working, done, refused, saving, cancelled or failed.

import {Inspector} from './inspector.js';
import {count} from './numbers.js';
import {PicturePanel} from './picture.js';
import {ReportView} from './report_view.js';
import {loadSite, WorkerClient} from './workers.js';

// The report is shown up to this many bytes; Save report writes all of it.
const kShownBytes = 4 << 20;

const $ = (selector) => document.querySelector(selector);
const ui = {
  file: $('#file'),
  pick: $('#pick'),
  progress: $('#progress'),
  cancel: $('#cancel'),
  save: $('#save'),
  status: $('#status'),
};
const view = new ReportView($('#report'), $('#report-note'), $('#wrap'));
let picture = null;
let core = null;
let inspector = null;

// The file being reported on: {file, id, outcome ('done' or 'refused' once reported),
// decoder, layout}; the save under way: {id}; the windows of the report asked for, by id.
let job = null;
let saving = null;
const windowsAsked = new Map();

const describeFile = (file) => `${file.name} (${count(file.size)} bytes)`;

function setState(state, message) {
  document.body.dataset.state = state;
  ui.status.textContent = message;
  const enabled = new Map([
    [ui.cancel, state === 'working' || state === 'saving'],
    [ui.save, state === 'done' || state === 'refused'],
    [ui.pick, core !== null && state !== 'loading'],
  ]);
  // Enabled first, so that a button that disables itself has somewhere to hand the focus.
  for (const [button, on] of enabled) if (on) button.disabled = false;
  for (const [button, on] of enabled) if (!on) disable(button);
}

// A button that disables itself while it has the focus hands the focus on, never to the body:
// to Cancel while a run goes on, else to Save report, else to the file button.
function disable(button) {
  const focused = document.activeElement === button;
  button.disabled = true;
  if (focused) [ui.cancel, ui.save, ui.pick].find((next) => !next.disabled)?.focus();
}

function onCoreMessage(message) {
  if (saving !== null && message.id === saving.id) onSaveMessage(message);
  else if (job !== null && message.id === job.id) onReportMessage(message);
  else if (windowsAsked.has(message.id)) onWindows(message);
}

// Runs of the report's lines ([{firstLine, from, to}], in bytes), made again by the core:
// resolves to [{firstLine, text}], or to null when the worker could not make them.
function requestWindows(ranges) {
  if (job === null || job.outcome === undefined || core.worker === null) {
    return Promise.resolve(null);
  }
  return new Promise((resolve) => {
    const id = core.request({type: 'windows', file: job.file, fileId: job.id, ranges});
    windowsAsked.set(id, resolve);
  });
}

// The run that makes windows reports its progress and the file's layout too: only its end
// counts here.
function onWindows(message) {
  if (message.type !== 'windows' && message.type !== 'failed') return;
  const resolve = windowsAsked.get(message.id);
  windowsAsked.delete(message.id);
  if (message.type === 'windows') {
    resolve(message.windows.map(({firstLine, chunk}) =>
      ({firstLine, text: new TextDecoder().decode(chunk)})));
  } else {
    resolve(null);
    restartCore();
  }
}

// Windows asked of a worker that is gone will not come.
function dropWindows() {
  for (const resolve of windowsAsked.values()) resolve(null);
  windowsAsked.clear();
}

function onReportMessage(message) {
  switch (message.type) {
    case 'started':
      job.layout = message.bitmap;
      view.setDumps(message.bitmap.dumps);
      break;
    case 'progress':
      ui.progress.value = message.size > 0 ? message.read / message.size : 1;
      break;
    case 'text':
      view.append(job.decoder.decode(message.chunk, {stream: true}));
      break;
    case 'reported':
      finish(message);
      break;
    case 'failed':
      job = null;
      view.end();
      setState('failed', `The report failed: ${message.message}. Pick a file to try again.`);
      restartCore();
      break;
  }
}

function finish({status, reportLength}) {
  view.append(job.decoder.decode());
  view.end({cut: reportLength > kShownBytes, reportLength});
  ui.progress.value = 1;
  job.outcome = status === 0 ? 'done' : 'refused';
  if (status === 0) {
    setState('done', `Report on ${job.file.name} complete: ${count(reportLength)} bytes.`);
    picture.show(job.file, job.layout);
    inspector.open(job.file);
  } else {
    setState('refused', `Refused: ${job.file.name} is not a file the tool reports on (exit ` +
             `status ${status}). What it printed is shown below.`);
  }
}

function onSaveMessage(message) {
  if (message.type === 'progress') {
    ui.progress.value = message.size > 0 ? message.read / message.size : 1;
  } else if (message.type === 'saved') {
    saving = null;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(message.report);
    link.download = `${job.file.name}.txt`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
    ui.progress.value = 1;
    setState(job.outcome, `Saved the report as ${link.download}.`);
  } else if (message.type === 'failed') {
    saving = null;
    setState(job.outcome, `Saving failed: ${message.message}. The report shown is complete.`);
    restartCore();
  }
}

// Stops whatever the core's worker does: a fresh one takes its place. The page has said what
// happened; should no worker start, it says that instead.
function restartCore() {
  dropWindows();
  core.start().catch((error) => {
    core = null;
    job = null;
    saving = null;
    setState('failed', `The report engine could not start: ${error.message}. Reload the page.`);
  });
}

// The worker stopped on an error of its own: the request it was serving failed.
function onCoreFailure(message) {
  const running = job !== null && job.outcome === undefined ? job.id : undefined;
  onCoreMessage({type: 'failed', id: saving?.id ?? running, message});
  if (core.worker === null) restartCore();
}

function reportOn(file) {
  if (core === null) return;
  const busy = saving !== null || (job !== null && job.outcome === undefined);
  saving = null;
  job = {file, decoder: new TextDecoder(), layout: null};
  view.reset();
  picture.reset();
  inspector.reset();
  ui.progress.value = 0;
  setState('working', `Reading ${describeFile(file)}…`);
  if (busy) restartCore();
  job.id = core.request({type: 'report', file, fileId: core.nextId, showBytes: kShownBytes});
}

function save() {
  if (job === null || job.outcome === undefined || saving !== null) return;
  ui.progress.value = 0;
  setState('saving', `Making the whole report on ${job.file.name} for saving…`);
  saving = {id: core.request({type: 'save', file: job.file, fileId: job.id})};
}

function cancel() {
  if (saving !== null) {
    saving = null;
    setState(job.outcome, 'Saving cancelled. The report shown is complete.');
    restartCore();
  } else if (job !== null && job.outcome === undefined) {
    job = null;
    view.end({cancelled: true});
    setState('cancelled', 'Cancelled. Pick a file to start again.');
    restartCore();
  }
}

ui.pick.addEventListener('click', () => ui.file.click());
ui.file.addEventListener('change', () => {
  if (ui.file.files.length > 0) reportOn(ui.file.files[0]);
  ui.file.value = '';
});
ui.cancel.addEventListener('click', cancel);
ui.save.addEventListener('click', save);
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  const file = event.dataTransfer.files[0];
  if (file) reportOn(file);
});

(async () => {
  try {
    const site = await loadSite();
    picture = new PicturePanel({canvas: $('#picture'), note: $('#picture-note')},
                               site.workerUrl);
    core = new WorkerClient(site.workerUrl, {onMessage: onCoreMessage, onFailure: onCoreFailure,
                                           init: {type: 'init', module: site.module,
                                                  warmUp: true}});
    inspector = new Inspector({
      panel: $('#inspector'), facts: $('#facts'), hex: $('#hex'), form: $('#pixel'),
      pixelX: $('#pixel-x'), pixelY: $('#pixel-y'), frame: $('#picture-frame'),
      canvas: $('#picture'), pixelMark: $('#picture-mark'),
    }, site, {view, picture, requestWindows});
    picture.onState = (state) => inspector.onPictureState(state);
    await Promise.all([core.start(), picture.start(), inspector.start()]);
  } catch (error) {
    core = null;
    setState('failed', `The page could not load its report engine: ${error.message}.`);
    return;
  }
  setState('idle', 'Ready. Choose a BMP file, or drop one on the page.');
})();
