// The page's states and controls: pick or drop a file, report, picture, inspector, save.

// The core runs in workers; the file is read there and never leaves the machine.
// body[data-state] is loading, idle, working, done, refused, saving, cancelled or failed.

import {ComparePanel} from './compare.js';
import {Inspector} from './inspector.js';
import {count} from './numbers.js';
import {PicturePanel} from './picture.js';
import {ReportView} from './report_view.js';
import {isCut, kShownBytes, refusedText, reportedText} from './status_text.js';
import {isAbort, loadSite, WorkerClient} from './workers.js';

const $ = (selector) => document.querySelector(selector);
const ui = {
  file: $('#file'),
  pick: $('#pick'),
  progress: $('#progress'),
  cancel: $('#cancel'),
  save: $('#save'),
  status: $('#status'),
};
const view = new ReportView({pre: $('#report'), note: $('#report-note'),
                             legend: $('#report-legend'), wrapSwitch: $('#wrap')});
let picture = null;
let core = null;
let inspector = null;
let compare = null;

// The file being reported on: {file, fileId, controller (aborts everything done for it),
// decoder, describe (the core's description of it), outcome ('done' or 'refused' once
// reported), said (the status line it ended with)}; the save under way, an AbortController.
let job = null;
let saving = null;
let picks = 0;

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

const showProgress = ({read, size}) => {
  ui.progress.value = size > 0 ? read / size : 1;
};

function reportOn(file) {
  if (core === null) return;
  // Everything done for the file before: its report, its excerpts, its save, its picture and
  // the inspector's questions.
  job?.controller.abort();
  saving = null;
  picks += 1;
  const current = {file, fileId: picks, controller: new AbortController(),
                   decoder: new TextDecoder(), describe: null};
  job = current;
  view.reset();
  picture.reset();
  inspector.reset();
  compare.reset();
  ui.progress.value = 0;
  setState('working', `Reading ${describeFile(file)}…`);
  const onEvent = (message) => {
    if (message.type === 'started') {
      current.describe = message.describe;
      view.describe(message.describe);
    } else if (message.type === 'progress') {
      showProgress(message);
    } else if (message.type === 'text') {
      view.append(current.decoder.decode(message.chunk, {stream: true}));
    }
  };
  core.request({type: 'report', file, fileId: current.fileId, showBytes: kShownBytes},
               {signal: current.controller.signal, onEvent, whenRunning: 'restart'})
      .then((answer) => finish(current, answer), (error) => {
        if (isAbort(error) || job !== current) return;
        job = null;
        view.end();
        setState('failed', `The report failed: ${error.message}. Pick a file to try again.`);
      });
}

function finish(current, {status, reportLength}) {
  if (job !== current) return;
  view.append(current.decoder.decode());
  view.end({cut: isCut(reportLength), reportLength});
  ui.progress.value = 1;
  current.outcome = status === 0 ? 'done' : 'refused';
  const {file, describe, controller: {signal}} = current;
  if (status === 0) {
    current.said = reportedText(file.name, reportLength, view.shownBytes);
    setState('done', current.said);
    compare.setFirst(file, signal);
    // The picture's size is the decoder's, which the inspector asks for when it opens.
    picture.pending();
    inspector.open(file, signal).then((format) => {
      if (!signal.aborted) picture.show(file, describe, format, signal);
    });
  } else {
    current.said = describe === null
      ? `Refused: ${file.name} is not a file the tool reports on (exit status ${status}). ` +
        'What it printed is shown below.'
      : refusedText(file.name, status, describe);
    setState('refused', current.said);
  }
}

// The report's lines made again around the inspector's selection: excerpts ([{firstLine,
// from, to}], in bytes of the report) of the current file. A newer request takes the place of
// one still under way, which stops; resolves to [{firstLine, text}].
async function requestExcerpts(ranges, signal) {
  const {file, fileId} = job;
  const excerpts = await core.request({type: 'excerpts', file, fileId, ranges},
                                      {signal, lane: 'excerpts',
                                       whenRunning: 'restart-unless-holding'});
  const decoder = new TextDecoder();
  return excerpts.map(({firstLine, chunk}) => ({firstLine, text: decoder.decode(chunk)}));
}

function save() {
  if (job === null || job.outcome === undefined || saving !== null) return;
  const current = job;
  const mine = new AbortController();
  saving = mine;
  ui.progress.value = 0;
  setState('saving', `Making the whole report on ${current.file.name} for saving…`);
  core.request({type: 'save', file: current.file, fileId: current.fileId},
               {signal: AbortSignal.any([current.controller.signal, mine.signal]),
                onEvent: (message) => {
                  if (message.type === 'progress') showProgress(message);
                },
                whenRunning: 'restart'})
      .then(({report}) => {
        const link = document.createElement('a');
        link.href = URL.createObjectURL(report);
        link.download = `${current.file.name}.txt`;
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
        ui.progress.value = 1;
        setState(current.outcome, `Saved the report as ${link.download}.`);
      }, (error) => {
        if (isAbort(error)) return;
        setState(current.outcome, `Saving failed: ${error.message}. ${current.said}`);
      })
      .finally(() => {
        if (saving === mine) saving = null;
      });
}

function cancel() {
  if (saving !== null) {
    saving.abort();
    saving = null;
    setState(job.outcome, `Saving cancelled. ${job.said}`);
  } else if (job !== null && job.outcome === undefined) {
    job.controller.abort();
    job = null;
    view.end({cancelled: true});
    setState('cancelled', 'Cancelled. Pick a file to start again.');
  }
}

// A worker that took the place of one that stopped could not start.
function broken(error) {
  job?.controller.abort();
  core = null;
  job = null;
  saving = null;
  setState('failed', `The report engine could not start: ${error.message}. Reload the page.`);
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
    picture = new PicturePanel({canvas: $('#picture'), note: $('#picture-note'),
                                legend: $('#picture-legend'),
                                legendText: $('#picture-legend-text'),
                                choice: $('#picture-source')},
                               site.workerUrl, site.module);
    // The worker warms the core up while the page waits for a file. Another stands by, warmed
    // up while nothing else runs, to take the place of one stopped: a file picked while a run
    // goes on, or while the inspector's excerpts are made, starts at once.
    core = new WorkerClient(site.workerUrl, {init: {type: 'init', module: site.module,
                                                    warmUp: true},
                                             standby: true, onBroken: broken});
    const inspectorCore = new WorkerClient(site.workerUrl, {
      init: {type: 'init', module: site.module, warmUp: false},
      onBroken: (error) => inspector.stopped(error),
    });
    inspector = new Inspector({
      panel: $('#inspector'), facts: $('#facts'), preview: $('#preview'),
      counting: $('#counting'), hex: $('#hex'), map: $('#map'), mapStrip: $('#map-strip'),
      mapLegend: $('#map-legend'), toMark: $('#to-mark'), pixelForm: $('#pixel'),
      pixelX: $('#pixel-x'), pixelY: $('#pixel-y'), offsetForm: $('#go'),
      offset: $('#go-offset'), frame: $('#picture-frame'), canvas: $('#picture'),
      outline: $('#picture-mark'), hexCaption: $('#hex-caption'), hexB: $('#hex-b'),
      hexBBox: $('#hex-b-box'), hexBCaption: $('#hex-b-caption'),
    }, {client: inspectorCore, view, picture, requestExcerpts});
    picture.onState = (state) => inspector.onPictureState(state);
    // The comparing worker starts with the first comparison's file; another stands by, so that
    // a comparison stopped by a newer one is replaced at once.
    const compareCore = new WorkerClient(site.workerUrl, {
      init: {type: 'init', module: site.module, warmUp: false}, standby: true,
      onBroken: (error) => compare.setState('failed', 'The comparison engine could not start: ' +
                                            `${error.message}. Reload the page.`),
    });
    compare = new ComparePanel({
      section: $('#compare'), pick: $('#compare-pick'), input: $('#compare-file'),
      status: $('#compare-status'), result: $('#compare-result'), list: $('#compare-list'),
      selected: $('#compare-selected'), pictures: $('#compare-pictures'),
      canvases: [$('#compare-a'), $('#compare-b'), $('#compare-difference')],
      marks: [...document.querySelectorAll('.compare-mark')],
      names: [$('#compare-a-name'), $('#compare-b-name')], pointer: $('#compare-pointer'),
      note: $('#compare-pictures-note'),
    }, {client: compareCore, inspector});
    await Promise.all([core.start(), picture.start(), inspector.start()]);
  } catch (error) {
    core = null;
    setState('failed', `The page could not load its report engine: ${error.message}.`);
    return;
  }
  setState('idle', 'Ready. Choose a BMP file, or drop one on the page.');
})();
