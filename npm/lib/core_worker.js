// Runs the core off the main thread, one report at a time, for the API in index.js. The report
// goes to the parent a block at a time, each once the parent has room for it: the parent grants
// credits in shared memory and the run waits while it has none.
//
// In (workerData): {credits}                    an Int32Array on a SharedArrayBuffer
// In:  {type: 'report', path}                   report on the file at path
//      {type: 'report', bytes, name}            report on bytes as a file called name
// Out: {type: 'block', block}                   the next bytes of the report (Uint8Array)
//      {type: 'end', status}                    the run is over: 0, or -1 when refused
//      {type: 'failed', name, message, code}    the run broke off; this worker is spent
'use strict';

const {parentPort, workerData} = require('worker_threads');

const credits = new Int32Array(workerData.credits);

// Waits for a credit, spends it, and sends a copy of the block: the view is into the core's
// memory, which the next block overwrites.
function send(block) {
  while (Atomics.load(credits, 0) === 0) Atomics.wait(credits, 0, 0);
  Atomics.sub(credits, 0, 1);
  const copy = block.slice();
  parentPort.postMessage({type: 'block', block: copy}, [copy.buffer]);
}

let core = null;

parentPort.on('message', async (request) => {
  try {
    core ??= await require('./core.js')();
    const status = request.path !== undefined ? core.runCommandLine(['quillfen', request.path], send)
                                              : core.reportBytes(request.bytes, request.name, send);
    parentPort.postMessage({type: 'end', status});
  } catch (error) {
    parentPort.postMessage({type: 'failed', name: error?.name, message: String(error?.message ?? error),
                            code: error?.code});
  }
});
