// Runs the core off the main thread for the API, one call at a time. A report goes to the
// parent a block at a time, each once the parent has room for it: the parent grants credits in
// shared memory and the run waits while it has none. The map of a file goes in pages.
//
// In (workerData): {credits}                    an Int32Array on a SharedArrayBuffer
// In:  {type: 'report', path}                   report on the file at path
//      {type: 'report', bytes, name}            report on bytes as a file called name
//      {type: 'inspect', path | bytes, maxRegions}
//                                               the format and map of a file
//      {type: 'decode', path | bytes, maxPixels}
//                                               the pixels of a file
//      {type: 'compare', a, b, pixels, entries}  two files, each {path} or {bytes}, compared
// Out: {type: 'block', block}                   the next bytes of the report (Uint8Array)
//      {type: 'end', status}                    the run is over: 0, or -1 when refused
//      {type: 'regions', regions}               the next regions of the map, in file order
//      {type: 'inspected', format}              the format; all its regions came before it
//      {type: 'decoded', width, height, rgba, state}
//                                               the pixels, their buffers handed over
//      {type: 'compared', comparison}           the comparison answer
//      {type: 'refused', name, message, code}   the call fails; this worker serves the next
//      {type: 'failed', name, message, code}    the call broke off; this worker is spent
'use strict';

const fs = require('fs');
const {parentPort, workerData} = require('worker_threads');

const credits = new Int32Array(workerData.credits);
// The regions one message carries: each page is a short task for the parent to take in.
const kRegionPage = 16384;

// Waits for a credit, spends it, and sends a copy of the block: the view is into the core's
// memory, which the next block overwrites.
function send(block) {
  while (Atomics.load(credits, 0) === 0) Atomics.wait(credits, 0, 0);
  Atomics.sub(credits, 0, 1);
  const copy = block.slice();
  parentPort.postMessage({type: 'block', block: copy}, [copy.buffer]);
}

let core = null;

function report(request) {
  const status = request.path !== undefined ? core.runCommandLine(['quillfen', request.path], send)
                                            : core.reportBytes(request.bytes, request.name, send);
  parentPort.postMessage({type: 'end', status});
}

// What Node's file system says of a path the core cannot open: its own error, or, for a
// folder, which it opens, EISDIR.
function openError(file) {
  try {
    fs.closeSync(fs.openSync(file, 'r'));
  } catch (error) {
    return error;
  }
  return Object.assign(new Error(`EISDIR: illegal operation on a directory, open '${file}'`),
                       {code: 'EISDIR'});
}

// Opens the core's decoder on the file a request names; returns its format.
function openDecoder(request) {
  if (request.bytes !== undefined) return core.decoderOpenBytes(request.bytes);
  const format = core.decoderOpenPath(request.path);
  if (format.refused !== undefined) throw openError(request.path);
  return format;
}

function inspect(request) {
  const format = openDecoder(request);
  try {
    // Counted first, which writes nothing: a map past the bound costs one walk.
    if (core.decoderRegionCount(0, Infinity, request.maxRegions + 1) > request.maxRegions) {
      throw Object.assign(new RangeError(`the map has more than ${request.maxRegions} regions, ` +
                                         'the most inspect() lists unless options.maxRegions ' +
                                         'says more'), {code: 'ERR_QUILLFEN_TOO_MANY_REGIONS'});
    }
    for (let from = 0; ;) {
      const page = core.decoderRegions(from, Infinity, kRegionPage);
      if (page.regions.length > 0) parentPort.postMessage({type: 'regions', regions: page.regions});
      if (!page.more) break;
      from = page.next;
    }
    parentPort.postMessage({type: 'inspected', format});
  } finally {
    core.decoderClose();
  }
}

function decode(request) {
  openDecoder(request);
  try {
    const {width, height, rgba, state} = core.decoderImage(request.maxPixels);
    parentPort.postMessage({type: 'decoded', width, height, rgba, state},
                           [rgba.buffer, state.buffer]);
  } finally {
    core.decoderClose();
  }
}

function compare(request) {
  let comparison;
  try {
    comparison = core.compareFiles(request.a, request.b,
                                   {pixels: request.pixels, entries: request.entries});
  } catch (error) {
    // Bounds past what the core lists, or bytes it has no memory for.
    if (error instanceof RangeError) error.code = 'ERR_OUT_OF_RANGE';
    throw error;
  }
  if (comparison.refused !== undefined) {
    // Only a path fails to open.
    throw openError(request[comparison.file].path);
  }
  const {trouble, ...answer} = comparison;
  if (trouble !== null) {
    const file = request[trouble.file];
    const name = file.path ?? `file ${trouble.file.toUpperCase()}`;
    throw Object.assign(new Error(`${name}: ${trouble.reason}`), {code: 'ERR_QUILLFEN_NOT_BMP'});
  }
  parentPort.postMessage({type: 'compared', comparison: answer});
}

parentPort.on('message', async (request) => {
  try {
    core ??= await require('./core.js')();
  } catch (error) {
    fail('failed', error);
    return;
  }
  try {
    if (request.type === 'report') report(request);
    else if (request.type === 'inspect') inspect(request);
    else if (request.type === 'decode') decode(request);
    else if (request.type === 'compare') compare(request);
  } catch (error) {
    // A report that breaks off, or a core that aborts, leaves nothing to trust; the
    // decoder's own refusals leave the core as it was.
    const spent = request.type === 'report' || error instanceof WebAssembly.RuntimeError;
    fail(spent ? 'failed' : 'refused', error);
  }
});

function fail(type, error) {
  parentPort.postMessage({type, name: error?.name, message: String(error?.message ?? error),
                          code: error?.code});
}
