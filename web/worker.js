// The report core in a worker. The site's worker.js is the core's loader followed by this
// script. The picked file is mounted as a file of its own name and read slice by slice; the
// report leaves in blocks. The same script, never given the core, decodes pictures.
//
// In:  {type: 'init', module}                  the compiled core (WebAssembly.Module)
//      {type: 'report', file, keep, show}      report on file; keep the whole report for
//                                              saving; post up to show bytes of it as text
//      {type: 'picture', file}                 decode file as the browser decodes images
// Out: {type: 'text', bytes}                   the next bytes of the report to show
//      {type: 'progress', read, size}          how far into the file the reads have gone
//      {type: 'end', status, bytes, report, ms, readMs}
//                                              the exit status, the report's length, the whole
//                                              report (a Blob, when kept), the run's time and
//                                              the part of it spent reading the file
//      {type: 'picture', width, height, image} the decoded size, and a PNG of the picture at
//                                              most kPictureSide pixels on its longer side;
//                                              no image when the browser cannot decode it
//      {type: 'failed', message}               the run broke off; this worker is spent
'use strict';

// Kept report blocks are gathered into a Blob each time this many bytes have come.
const kBlobPiece = 16 << 20;
// The picked file is read this many bytes at a time: each read of a File costs far more than
// the bytes it brings.
const kWindow = 16 << 20;

// Larger pictures are shown scaled down, so that the page never handles them whole.
const kPictureSide = 1600;

let core = null;
let ready = null;

function init(module) {
  ready = createQuillfen({
    // The page compiled the module once; every worker instantiates that same module.
    instantiateWasm(imports, receive) {
      WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
      return {};
    },
  }).then((instance) => {
    core = instance;
    // The mounted file's reads go through its window (see windowedFile).
    core.FS.filesystems.WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) =>
      stream.node.contents.read(buffer, offset, length, position);
    core.FS.mkdir('/input');
    core.FS.chdir('/input');
  });
}

// The file as the file system sees it: read through a window that moves when a read falls
// outside it; onRead(end) learns how far into the file the reads have gone. readMs counts the
// time spent reading.
function windowedFile(file, onRead) {
  const reader = new FileReaderSync();
  let start = 0;
  let bytes = new Uint8Array(0);
  return {
    size: file.size,
    readMs: 0,
    read(target, offset, length, position) {
      if (position < start || position + length > start + bytes.length) {
        const started = performance.now();
        start = position;
        const end = position + Math.max(length, kWindow);
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

function report({file, keep, show}) {
  const started = performance.now();
  const pieces = [];
  let parts = [];
  let partBytes = 0;
  let shown = 0;
  let bytes = 0;
  let permille = -1;
  const onRead = (read) => {
    const now = Math.floor((read * 1000) / file.size);
    if (now > permille) {
      permille = now;
      postMessage({type: 'progress', read, size: file.size});
    }
  };
  const onBlock = (block) => {
    bytes += block.length;
    if (shown < show) {
      const text = block.slice(0, show - shown);
      shown += text.length;
      postMessage({type: 'text', bytes: text}, [text.buffer]);
    }
    if (keep) {
      parts.push(block.slice());
      partBytes += block.length;
      if (partBytes >= kBlobPiece) {
        pieces.push(new Blob(parts));
        parts = [];
        partBytes = 0;
      }
    }
  };
  const {FS} = core;
  const input = windowedFile(file, onRead);
  FS.mount(FS.filesystems.WORKERFS, {blobs: [{name: file.name, data: input}]}, '/input');
  try {
    const status = core.runCommandLine(['quillfen', file.name], onBlock);
    const whole = keep ? new Blob(pieces.concat(parts), {type: 'text/plain'}) : null;
    postMessage({type: 'end', status, bytes, report: whole, ms: performance.now() - started,
                 readMs: input.readMs});
  } finally {
    FS.unmount('/input');
  }
}

// Decodes here, off the page's thread: a picture of hundreds of MB would hold the page up.
async function picture(file) {
  try {
    const bitmap = await createImageBitmap(file);
    const {width, height} = bitmap;
    const scale = Math.min(1, kPictureSide / Math.max(width, height));
    const canvas = new OffscreenCanvas(Math.max(1, Math.round(width * scale)),
                                       Math.max(1, Math.round(height * scale)));
    canvas.getContext('2d').drawImage(bitmap, 0, 0, canvas.width, canvas.height);
    bitmap.close();
    const image = await canvas.convertToBlob({type: 'image/png'});
    postMessage({type: 'picture', width, height, image});
  } catch {
    postMessage({type: 'picture', width: 0, height: 0, image: null});
  }
}

onmessage = async ({data}) => {
  try {
    if (data.type === 'init') {
      init(data.module);
      await ready;
    } else if (data.type === 'report') {
      await ready;
      report(data);
    } else if (data.type === 'picture') {
      await picture(data.file);
    }
  } catch (error) {
    postMessage({type: 'failed', message: String(error && error.message || error)});
  }
};
