// The page: pick or drop a file, watch its report appear, see its picture, save the report.
// The core runs in a worker (worker.js); the file is read there and never leaves the machine.
'use strict';

// The report is shown up to this many bytes; Save report writes all of it.
const kShownBytes = 4 << 20;
// Text is laid out in pieces of about this many characters.
const kPieceChars = 32 << 10;

const $ = (selector) => document.querySelector(selector);
const ui = {
  file: $('#file'),
  pick: $('#pick'),
  progress: $('#progress'),
  cancel: $('#cancel'),
  save: $('#save'),
  status: $('#status'),
  shown: $('#shown'),
  report: $('#report'),
  picture: $('#picture'),
  pictureNote: $('#picture-note'),
};

// Fetched once when the page loads: every worker after that starts without a request.
let workerUrl = null;
let coreModule = null;
// The report's worker runs the core, one task at a time: the report, then each save. A report
// of hundreds of MB is not kept: Save report makes it again, whole, which costs less than
// keeping every report from the start. Pictures are decoded by a worker of their own.
let worker = null;
let pictureWorker = null;
let picturePending = false;
// The file being reported on and what has come of it.
let job = null;

function setState(state, message) {
  document.body.dataset.state = state;
  say(message);
  ui.cancel.disabled = state !== 'working';
}

function say(message) {
  ui.status.textContent = message;
}

function startWorker() {
  const started = new Worker(workerUrl);
  // A worker that was replaced may still have messages on their way: they are dropped.
  started.onmessage = ({data}) => {
    if (started === worker && job !== null) onWorkerMessage(data);
  };
  started.onerror = (event) => {
    event.preventDefault();
    if (started === worker) fail(event.message || 'the worker stopped');
  };
  started.postMessage({type: 'init', module: coreModule});
  worker = started;
}

// Ends whatever the worker is doing: a fresh one takes its place.
function stopWorker() {
  worker.terminate();
  startWorker();
}

function startPictureWorker() {
  const started = new Worker(workerUrl);
  started.onmessage = ({data}) => {
    if (started !== pictureWorker) return;
    picturePending = false;
    if (job !== null) showPicture(data);
  };
  pictureWorker = started;
}

// Decoded once the report is done, so that the two do not compete for the machine.
function askPicture(file) {
  picturePending = true;
  pictureWorker.postMessage({type: 'picture', file});
}

function ask(task) {
  job.busy = true;
  worker.postMessage(task);
}

function fail(message) {
  job = null;
  stopWorker();
  ui.save.disabled = true;
  setState('failed', `The report failed: ${message}. Pick a file to try again.`);
}

// Report text is shown in pieces of about kPieceChars that end at a line end, each its own
// element, so that the browser lays out only what is new and what is on screen.
function appendText(text, final) {
  let rest = job.pending + text;
  for (;;) {
    let cut = rest.lastIndexOf('\n', kPieceChars) + 1 || rest.indexOf('\n', kPieceChars) + 1;
    if (cut === 0 && final) cut = rest.length;
    if (cut === 0) break;
    const piece = document.createElement('span');
    piece.textContent = rest.slice(0, cut);
    ui.report.append(piece);
    rest = rest.slice(cut);
  }
  job.pending = rest;
}

function onWorkerMessage(message) {
  switch (message.type) {
    case 'text':
      appendText(job.decoder.decode(message.bytes, {stream: true}), false);
      break;
    case 'progress':
      ui.progress.value = message.size > 0 ? message.read / message.size : 1;
      break;
    case 'end':
      job.busy = false;
      if (job.reported) saveReport(message.report);
      else finish(message);
      break;
    case 'failed':
      fail(message.message);
      break;
  }
}

function finish({status, bytes}) {
  job.reported = true;
  appendText(job.decoder.decode(), true);
  ui.progress.value = 1;
  if (bytes > kShownBytes) {
    ui.shown.textContent = `Showing the first ${kShownBytes.toLocaleString('en')} bytes of ` +
        `${bytes.toLocaleString('en')}. Save report writes all of it.`;
    ui.shown.hidden = false;
  }
  ui.save.disabled = false;
  askPicture(job.file);
  if (status === 0) {
    setState('done', `Report on ${job.file.name} complete: ${bytes.toLocaleString('en')} bytes.`);
  } else {
    setState('refused', `Refused: ${job.file.name} is not a file the tool reports on (exit ` +
        `status ${status}). What it printed is shown below.`);
  }
}

function clearPicture() {
  if (ui.picture.src) URL.revokeObjectURL(ui.picture.src);
  ui.picture.removeAttribute('src');
  ui.picture.hidden = true;
  ui.pictureNote.textContent = '';
}

function showPicture({width, height, image}) {
  if (image === null) {
    ui.pictureNote.textContent = 'This browser cannot decode the file as a picture.';
    return;
  }
  ui.picture.onload = () => {
    ui.picture.hidden = false;
    const scaled = ui.picture.naturalWidth !== width;
    ui.pictureNote.textContent = `${width} × ${height} pixels, as this browser decodes the ` +
        `file${scaled ? ' (shown scaled down)' : ''}.`;
  };
  ui.picture.src = URL.createObjectURL(image);
}

function reportOn(file) {
  if (coreModule === null) return;
  if (job !== null && job.busy) stopWorker();
  if (picturePending) {
    pictureWorker.terminate();
    startPictureWorker();
    picturePending = false;
  }
  job = {file, busy: false, reported: false, decoder: new TextDecoder(), pending: ''};
  ui.report.replaceChildren();
  ui.shown.hidden = true;
  ui.save.disabled = true;
  ui.progress.value = 0;
  clearPicture();
  setState('working', `Reading ${file.name}…`);
  ask({type: 'report', file, keep: false, show: kShownBytes});
}

// Makes the report again, kept whole this time, in Blob pieces outside the page's memory.
function prepareSave() {
  ui.save.disabled = true;
  ui.cancel.disabled = false;
  ui.progress.value = 0;
  say(`Preparing the report on ${job.file.name} for saving…`);
  ask({type: 'report', file: job.file, keep: true, show: 0});
}

function saveReport(report) {
  ui.save.disabled = false;
  ui.cancel.disabled = true;
  const link = document.createElement('a');
  link.href = URL.createObjectURL(report);
  link.download = `${job.file.name}.txt`;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
  say(`Saved the report as ${link.download}.`);
}

function cancel() {
  if (job === null || !job.busy) return;
  stopWorker();
  job.busy = false;
  if (!job.reported) {
    job = null;
    setState('cancelled', 'Cancelled. Pick a file to start again.');
    return;
  }
  // A save was under way: the report shown stays.
  ui.save.disabled = false;
  ui.cancel.disabled = true;
  say('Saving cancelled.');
}

ui.pick.addEventListener('click', () => ui.file.click());
ui.file.addEventListener('change', () => {
  if (ui.file.files.length > 0) reportOn(ui.file.files[0]);
  ui.file.value = '';
});
ui.cancel.addEventListener('click', cancel);
ui.save.addEventListener('click', () => {
  if (job !== null && job.reported) prepareSave();
});
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
    const [script, wasm] = await Promise.all([
      fetch('worker.js').then((response) => response.blob()),
      fetch('quillfen.wasm').then((response) => response.arrayBuffer()),
    ]);
    workerUrl = URL.createObjectURL(script);
    coreModule = await WebAssembly.compile(wasm);
    startWorker();
    startPictureWorker();
    ui.pick.disabled = false;
    setState('idle', 'Ready. Choose a BMP file, or drop one on the page.');
  } catch (error) {
    setState('failed', `The page could not load its report engine: ${error.message}.`);
  }
})();
