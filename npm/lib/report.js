// The report: createReportStream() gives it as a Readable, report() as a string. The core runs
// in the package's worker thread, so the event loop stays free however long the run, and the
// report comes a block at a time, only as fast as the consumer takes it.
'use strict';

const {constants} = require('buffer');
const {Readable} = require('stream');

const {errorFrom, fileOf, park, takeWorker} = require('./workers.js');

// A stream holds up to this many bytes of report before its run waits for the consumer.
const kHighWater = 1 << 20;

// The request for a report, or a TypeError naming what caller was given.
function requestFor(input, name, caller) {
  const file = fileOf(input, caller, 'a path, or a Uint8Array and a file name');
  if (file.bytes !== undefined && typeof name !== 'string') {
    throw Object.assign(new TypeError(`${caller}(bytes, name) needs the file name as a string`),
                        {code: 'ERR_INVALID_ARG_TYPE'});
  }
  return {type: 'report', ...file, name};
}

// A Readable of the report's bytes on the file at path, or on bytes as the content of a file
// called name. Once it has ended, stream.status is 0, or -1 when the tool refuses the input.
function createReportStream(input, name) {
  return openReport(requestFor(input, name, 'createReportStream'));
}

// Workers keep the process alive only while a stream waits for a block, as a file stream's
// read does: a stream that is never read, or no longer read, lets the process exit.
function openReport(request) {
  const runner = takeWorker();
  const {worker, credits} = runner;
  Atomics.store(credits, 0, 0);
  let running = true;
  const stop = () => {
    running = false;
    worker.off('message', onMessage);
    worker.off('error', onError);
    worker.off('exit', onExit);
  };
  const stream = new Readable({
    highWaterMark: kHighWater,
    // Each call lets the run send one more block, once the event loop has had its turn: the
    // port hands on messages as long as there are more, and a run that always had its credit
    // would keep timers and I/O waiting.
    read() {
      worker.ref();
      // Granted to this run only: one that has ended meanwhile leaves the next run none.
      setImmediate(() => {
        if (!running) return;
        Atomics.add(credits, 0, 1);
        Atomics.notify(credits, 0);
      });
    },
    // A run that goes on stops with its stream.
    destroy(error, callback) {
      if (running) {
        stop();
        worker.terminate();
      }
      callback(error);
    },
  });
  stream.status = null;
  function onMessage(message) {
    if (message.type === 'block') {
      const {block} = message;
      worker.unref();
      stream.push(Buffer.from(block.buffer, block.byteOffset, block.length));
    } else if (message.type === 'end') {
      stop();
      park(runner);
      stream.status = message.status;
      stream.push(null);
    } else if (message.type === 'failed') {
      stop();
      worker.terminate();
      stream.destroy(errorFrom(message));
    }
  }
  function onError(error) {
    stop();
    stream.destroy(error);
  }
  function onExit(code) {
    stop();
    stream.destroy(new Error(`the report's worker stopped (exit code ${code})`));
  }
  worker.on('message', onMessage);
  worker.on('error', onError);
  worker.on('exit', onExit);
  // A listener for messages holds the process: let go of it until the stream is read.
  worker.unref();
  worker.postMessage(request);
  return stream;
}

// Resolves to {text, status}: the report on the file at path, or on bytes (a Uint8Array or
// Buffer) as the content of a file called name. status is 0, or -1 when the tool refuses.
// Rejects with a RangeError as soon as the report passes what one string can hold.
async function report(input, name) {
  const stream = openReport(requestFor(input, name, 'report'));
  const decoder = new TextDecoder();
  // Joined piece by piece as the blocks come, which copies nothing: a join at the end would
  // hold the event loop for as long as it takes to copy the whole report.
  let text = '';
  for await (const block of stream) {
    const piece = decoder.decode(block, {stream: true});
    if (text.length + piece.length > constants.MAX_STRING_LENGTH) {
      throw new RangeError(`the report passes ${constants.MAX_STRING_LENGTH} characters, ` +
                           'more than one string can hold: createReportStream() gives it ' +
                           'in pieces');
    }
    text += piece;
  }
  text += decoder.decode();
  return {text, status: stream.status};
}

module.exports = {report, createReportStream};
