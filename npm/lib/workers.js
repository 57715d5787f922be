// The package's worker thread, which runs the core for every call of the API: one waits idle
// between calls and serves the next; calls side by side get one each. Also what the calls
// share: the file a call names, the bounds it is given, and errors as the worker reports them.
'use strict';

const path = require('path');
const {Worker} = require('worker_threads');

// The core's memory holds 2 GiB at most: more bytes are refused before they are copied to it.
const kMaxBytes = 2 ** 31;

// A worker whose last call ended cleanly waits here for the next one. An idle worker does not
// keep the process alive; one serves a call only while the call needs it to.
let idle = null;

function startWorker() {
  const credits = new Int32Array(new SharedArrayBuffer(4));
  const worker = new Worker(path.join(__dirname, 'core_worker.js'),
                            {workerData: {credits: credits.buffer}});
  return {worker, credits};
}

// Keeps the worker of a call that ended cleanly for the next call, or stops it when another
// waits already.
function park(runner) {
  if (idle !== null) {
    runner.worker.terminate();
    return;
  }
  idle = runner;
  runner.worker.unref();
  // One that dies while it waits is not handed out again.
  runner.onIdleExit = () => {
    if (idle === runner) idle = null;
  };
  runner.worker.once('exit', runner.onIdleExit);
}

function takeWorker() {
  const runner = idle ?? startWorker();
  idle = null;
  if (runner.onIdleExit) runner.worker.off('exit', runner.onIdleExit);
  return runner;
}

// The file an argument names for the worker, {path} or {bytes}, or the TypeError or RangeError
// that says why it names none; caller is the function's name, usage how it is called.
function fileOf(input, caller, usage) {
  if (typeof input === 'string') return {path: input};
  if (!(input instanceof Uint8Array)) {
    throw Object.assign(new TypeError(`${caller}() takes ${usage}`),
                        {code: 'ERR_INVALID_ARG_TYPE'});
  }
  if (input.length >= kMaxBytes) {
    throw Object.assign(new RangeError(`not enough memory for ${input.length} bytes: the core ` +
                                       'holds less than 2 GiB'), {code: 'ERR_OUT_OF_RANGE'});
  }
  return {bytes: input};
}

// options[name] as a whole number from 0 to most (Infinity when most is), or fallback when not
// given; a TypeError or RangeError, with Node's codes, for anything else.
function bound(options, name, fallback, most, caller) {
  if (options === undefined) return fallback;
  if (options === null || typeof options !== 'object') {
    throw Object.assign(new TypeError(`${caller}()'s options must be an object`),
                        {code: 'ERR_INVALID_ARG_TYPE'});
  }
  const value = options[name];
  if (value === undefined) return fallback;
  if (typeof value !== 'number') {
    throw Object.assign(new TypeError(`${caller}()'s ${name} must be a number`),
                        {code: 'ERR_INVALID_ARG_TYPE'});
  }
  const whole = Number.isInteger(value) || (value === Infinity && most === Infinity);
  if (!whole || value < 0 || value > most) {
    throw Object.assign(new RangeError(`${caller}()'s ${name} must be a whole number from 0 ` +
                                       `to ${most}, not ${value}`), {code: 'ERR_OUT_OF_RANGE'});
  }
  return value;
}

function errorFrom({name, message, code}) {
  const error = new ({RangeError, TypeError}[name] ?? Error)(message);
  if (code !== undefined) error.code = code;
  return error;
}

// Sends request to a worker and resolves with what answer(message) gives for the message that
// ends the call; answer returns undefined for the messages before it. The worker holds the
// process until then. A call the worker refuses rejects with its error and leaves the worker
// for the next; one that breaks off stops it.
function ask(request, answer) {
  return new Promise((resolve, reject) => {
    const runner = takeWorker();
    const {worker} = runner;
    const stop = () => {
      worker.off('message', onMessage);
      worker.off('error', onError);
      worker.off('exit', onExit);
    };
    function onMessage(message) {
      if (message.type === 'refused' || message.type === 'failed') {
        stop();
        if (message.type === 'refused') park(runner);
        else worker.terminate();
        reject(errorFrom(message));
        return;
      }
      const result = answer(message);
      if (result === undefined) return;
      stop();
      park(runner);
      resolve(result);
    }
    function onError(error) {
      stop();
      reject(error);
    }
    function onExit(code) {
      stop();
      reject(new Error(`the core's worker stopped (exit code ${code})`));
    }
    worker.on('message', onMessage);
    worker.on('error', onError);
    worker.on('exit', onExit);
    worker.ref();
    worker.postMessage(request);
  });
}

module.exports = {ask, bound, errorFrom, fileOf, park, takeWorker};
