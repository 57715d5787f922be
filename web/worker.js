// The report core in a worker. The site's worker.js is the core's loader followed by this
// script. A picked file of up to kHoldBytes is streamed into the core's memory, reported on
// there and held for the runs that follow; a larger one is mounted as a file of its own name and
// read in windows. The report leaves in blocks.
//
// Every message this worker takes and sends, one line each:
// In:  {type: 'init', module}                     the compiled core (a WebAssembly.Module)
//      {type: 'report', id, file, showBytes}      report on file; post its first showBytes
//      {type: 'save', id, file}                   make the whole report on file, as a Blob
// Out: {type: 'ready'}                            the core is ready for requests
//      {type: 'failed', id, message}              request id broke off (id null: init did);
//                                                 this worker is spent
//      {type: 'started', id, bitmap}              the picture's layout, from the file's header
//      {type: 'progress', id, read, size}         bytes of the file read so far, of size
//      {type: 'text', id, chunk}                  the next bytes of the report (Uint8Array)
//      {type: 'reported', id, status, reportLength, ms, readMs}
//                                                 the run's exit status, the report's length in
//                                                 bytes, its time and the part spent reading
//      {type: 'saved', id, status, report}        the whole report, a Blob
'use strict';

// Files up to this size are read whole into the core's memory, through the browser's fastest
// path; larger ones are read in windows as the report needs them.
const kHoldBytes = 128 << 20;
// The stream hands over a file this many bytes at a time.
const kStreamPiece = 1 << 20;
// The windowed path reads this many bytes at a time: each read of a File costs far more than
// the bytes it brings.
const kWindow = 16 << 20;
// A saved report is gathered into a Blob each time this many bytes have come.
const kBlobPiece = 16 << 20;
// The header records: all describeBitmap needs.
const kHeadBytes = 58;

let core = null;
// The file whose bytes the core holds, and where: {file, pointer}.
let held = null;

function instantiate(module) {
  return new Promise((resolve, reject) => {
    createQuillfen({
      // The page compiled the module once; every worker instantiates that same module.
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module),
                                                      reject);
        return {};
      },
    }).then(resolve, reject);
  }).then((instance) => {
    core = instance;
    checkWorkerFs(core.FS);
    core.FS.mkdir('/input');
    core.FS.chdir('/input');
    postMessage({type: 'ready'});
  });
}

// The windowed path replaces WORKERFS's read with the window's own: the names it leans on are
// checked here, so that a core whose file system differs fails at once, never as a short read.
function checkWorkerFs(FS) {
  const workerFs = FS.filesystems && FS.filesystems.WORKERFS;
  if (!workerFs || !workerFs.stream_ops || typeof workerFs.stream_ops.read !== 'function' ||
      typeof workerFs.node_ops !== 'object') {
    throw new Error('this core has no WORKERFS.stream_ops.read to read windows through');
  }
  workerFs.stream_ops.read = (stream, buffer, offset, length, position) => {
    if (!stream.node || !stream.node.contents || !stream.node.contents.readWindow) {
      throw new Error('a mounted file without its window: WORKERFS has changed');
    }
    return stream.node.contents.readWindow(buffer, offset, length, position);
  };
}

// Posts progress when the share read has grown by a thousandth, and at the end.
function progressPoster(id, size) {
  let permille = -1;
  return (read) => {
    const now = size > 0 ? Math.floor((read * 1000) / size) : 1000;
    if (now > permille) {
      permille = now;
      postMessage({type: 'progress', id, read, size});
    }
  };
}

// The whole file into the core's memory, through a stream that reads into buffers of ours.
async function holdFile(file, onRead) {
  if (held !== null && held.file === file) return held;
  release();
  const pointer = core.hold(file.size);
  try {
    const reader = file.stream().getReader({mode: 'byob'});
    let buffer = new ArrayBuffer(kStreamPiece);
    let offset = 0;
    for (;;) {
      const {value, done} = await reader.read(new Uint8Array(buffer));
      if (done) break;
      core.fill(pointer, offset, value);
      offset += value.length;
      onRead(offset);
      buffer = value.buffer;
    }
    // The stream reads on from a file that has gone or changed; a fresh read of it does not.
    if (offset !== file.size) throw new Error('the file changed while it was read');
    await file.slice(0, 1).arrayBuffer();
  } catch (error) {
    core.release(pointer);
    throw error;
  }
  held = {file, pointer};
  return held;
}

function release() {
  if (held !== null) core.release(held.pointer);
  held = null;
}

// The file as WORKERFS sees it: read through a window that moves when a read falls outside
// it. onRead(end) learns how far into the file the reads have gone; readMs counts their time.
function windowedFile(file, onRead) {
  const reader = new FileReaderSync();
  let start = 0;
  let bytes = new Uint8Array(0);
  return {
    size: file.size,
    readMs: 0,
    readWindow(target, offset, length, position) {
      if (position < start || position + length > start + bytes.length) {
        const started = performance.now();
        start = position;
        const end = Math.min(file.size, position + Math.max(length, kWindow));
        bytes = new Uint8Array(reader.readAsArrayBuffer(file.slice(start, end)));
        this.readMs += performance.now() - started;
        onRead(start + bytes.length);
      }
      const from = position - start;
      const count = Math.max(0, Math.min(length, bytes.length - from));
      target.set(bytes.subarray(from, from + count), offset);
      return count;
    },
  };
}

// One run of the core on file, through whichever path suits its size; onBlock takes each
// block of the report. Returns {status, readMs}.
async function run(id, file, onBlock) {
  const onRead = progressPoster(id, file.size);
  if (file.size <= kHoldBytes) {
    const started = performance.now();
    const {pointer} = await holdFile(file, onRead);
    const readMs = performance.now() - started;
    postMessage({type: 'started', id, bitmap: core.describeHeld(pointer, file.size)});
    return {status: core.reportHeld(pointer, file.size, file.name, onBlock), readMs};
  }
  release();
  const head = new Uint8Array(new FileReaderSync().readAsArrayBuffer(file.slice(0, kHeadBytes)));
  postMessage({type: 'started', id, bitmap: core.describeBitmap(head, file.size)});
  const {FS} = core;
  const input = windowedFile(file, onRead);
  FS.mount(FS.filesystems.WORKERFS, {blobs: [{name: file.name, data: input}]}, '/input');
  try {
    return {status: core.runCommandLine(['quillfen', file.name], onBlock),
            readMs: input.readMs};
  } finally {
    FS.unmount('/input');
  }
}

async function report({id, file, showBytes}) {
  const started = performance.now();
  let shown = 0;
  let reportLength = 0;
  const {status, readMs} = await run(id, file, (block) => {
    reportLength += block.length;
    if (shown < showBytes) {
      const chunk = block.slice(0, showBytes - shown);
      shown += chunk.length;
      postMessage({type: 'text', id, chunk}, [chunk.buffer]);
    }
  });
  postMessage({type: 'reported', id, status, reportLength, ms: performance.now() - started,
               readMs});
}

async function save({id, file}) {
  const pieces = [];
  let parts = [];
  let partBytes = 0;
  const {status} = await run(id, file, (block) => {
    parts.push(block.slice());
    partBytes += block.length;
    if (partBytes >= kBlobPiece) {
      pieces.push(new Blob(parts));
      parts = [];
      partBytes = 0;
    }
  });
  const whole = new Blob(pieces.concat(parts), {type: 'text/plain'});
  postMessage({type: 'saved', id, status, report: whole});
}

let ready = null;
onmessage = async ({data}) => {
  try {
    if (data.type === 'init') {
      ready = instantiate(data.module);
      await ready;
    } else {
      await ready;
      await (data.type === 'report' ? report(data) : save(data));
    }
  } catch (error) {
    postMessage({type: 'failed', id: data.id ?? null,
                 message: String((error && error.message) || error)});
  }
};
