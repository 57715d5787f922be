// The page's workers: the core's loader, then web/paint.js, then this script. Given the core, a
// worker reports (a picked file of up to kHoldBytes is streamed into the core's memory,
// reported on there and held for the runs that follow; a larger one is mounted as a file of
// its own name and read in file windows of kFileWindow bytes; the report leaves in blocks) or
// answers the inspector's questions, the decoder's among them. Never given it, a worker decodes
// pictures: as the browser does, from the bytes the page slices for it, and keeps the last one
// for questions about its colours; where the browser cannot, with the core's decoder, which it
// starts then, reading the file as the decoder asks.
//
// Every message the page's workers take and send, one line each:
// In:  {type: 'init', module, warmUp}             the compiled core (a WebAssembly.Module);
//                                                 warmUp: run it once first (see kWarmUpSide)
//      {type: 'report', id, file, fileId, showBytes, alwaysFileWindows}
//                                                 report on file; post its first showBytes;
//                                                 alwaysFileWindows: read it in file windows
//                                                 whatever its size (the benchmark compares
//                                                 the two paths)
//      {type: 'save', id, file, fileId}           make the whole report on file, as a Blob
//      {type: 'excerpts', id, file, fileId, ranges}
//                                                 make the report on file again, keeping only
//                                                 the ranges [{firstLine, from, to}] of its
//                                                 bytes: excerpts of whole lines the inspector
//                                                 chose
//      {type: 'inspect', id, question, ...}       the inspector's questions (app/inspect.h):
//                                                 'open' {file} first, then
//                                                 'pixel' {x, y}, 'byte' {offset}, 'place'
//                                                 {line, column}, 'entry' {index} or
//                                                 'excerpts' {lines, before, after}; and the
//                                                 decoder's (app/decode_answers.h): 'decoded'
//                                                 {x, y}, 'regions' {from, to, max} or 'region'
//                                                 {offset}
//      {type: 'decode', id, bytes, file, module, prefer}
//                                                 decode bytes (a Blob) as the browser decodes
//                                                 images; where it cannot, or prefer is
//                                                 'quillfen', decode file with the core's
//                                                 decoder (module: the compiled core, started
//                                                 on first need); no init needed
//      {type: 'colour', id, x, y}                 the browser's colour at x, y (0, 0 top left)
//      {type: 'compare', id, fileA, fileB, maxPixels}
//                                                 compare fileA with fileB (Files) with the
//                                                 core; then draw both pictures and the
//                                                 difference picture, when both decode and
//                                                 their larger width and height make at most
//                                                 maxPixels pixels
//      {type: 'cancel', id}                       drop request id if it has not begun
//      fileId: the id of the request that first named the file. A worker that holds the bytes
//      of the file of that id runs on them rather than read the file again.
// Out: {type: 'ready'}                            the core is ready for requests
//      {type: 'running', id, holding}             request id has begun; holding: this worker
//                                                 holds the bytes of the file it runs on
//      {type: 'started', id, describe}            what the file says of itself, the core's
//                                                 description of it (app/inspect.h)
//      {type: 'progress', id, read, size}         bytes of the file read so far, of size
//      {type: 'text', id, chunk}                  the next bytes of the report (Uint8Array)
//      {type: 'compared', id, comparison}         the core's comparison of the two files
//                                                 (app/compare_answers.h), before the pictures
//      {type: 'answer', id, answer}               request id is done; answer, by its type:
//                                                 report: {status, reportLength, ms, readMs,
//                                                 warmUpMs}, the run's exit status, the
//                                                 report's length in bytes, its time, the part
//                                                 spent reading, and the core's warm-up time;
//                                                 save: {status, report}, the report a Blob;
//                                                 excerpts: [{firstLine, chunk}], lines of the
//                                                 report from firstLine on, chunk a
//                                                 Uint8Array; inspect: the core's answer,
//                                                 for 'open' {describe, format}, the report's
//                                                 description and the decoder's format;
//                                                 decode: {width, height, image, source,
//                                                 scaledDown, undefinedPixels, problem,
//                                                 browserDecodes}, the decoded size, the
//                                                 picture at most kCanvasSide pixels on its
//                                                 longer side (an ImageBitmap handed over), who
//                                                 decoded it ('browser' or 'quillfen') and, for
//                                                 the decoder's, how many pixels it leaves
//                                                 undefined {skipped, missing, badIndex};
//                                                 problem: why the decoder did not decode it
//                                                 when it was asked to, else null; or
//                                                 {undecodable: message, problem,
//                                                 browserDecodes: false};
//                                                 colour: [red, green, blue, alpha], or null
//                                                 outside the picture;
//                                                 compare: {pictures: {width, height,
//                                                 scaledDown, marked, a, b, difference}, why:
//                                                 null}, the three ImageBitmaps handed over,
//                                                 drawn at one scale on canvases of one size,
//                                                 width x height pixels, marked: how many
//                                                 pixels the difference picture marks; or
//                                                 {pictures: null, why}
//      {type: 'failed', id, message}              request id broke off (id null: init did);
//                                                 this worker is spent
'use strict';

// Files up to this size are read whole into the core's memory, through the browser's fastest
// path; larger ones are read in file windows as the report needs them.
const kHoldBytes = 128 << 20;
// The stream hands over a file this many bytes at a time.
const kStreamPiece = 1 << 20;
// A file window: the bytes a larger file is read in at a time. Each read of a File costs far
// more than the bytes it brings.
const kFileWindow = 16 << 20;
// A saved report is gathered into a Blob each time this many bytes have come.
const kBlobPiece = 16 << 20;
// The core's first runs are slower while the engine compiles its hot loops fully, and while
// its memory grows: before the first file it reports on a picture of this many pixels a side
// at each depth, output discarded, and readies this much memory for the file's bytes.
const kWarmUpSide = 1024;
const kWarmUpBytes = 48 << 20;
let warmUpMs = 0;

let core = null;
// The compiled core this worker was given, for a second instance where one core is not enough.
let coreModule = null;
// The stream being read, and the request being handled: held here, where the collector finds
// them, because a read nothing else holds on to can be collected and never settle.
const inFlight = {reader: null, check: null, request: null};
// The file of the last request: {fileId, file, pointer}; pointer is where the core holds its
// bytes, null until they are all there, and for a file read in file windows.
let current = null;

// A fresh instance of the core.
function createCore(module) {
  return new Promise((resolve, reject) => {
    createQuillfen({
      // The page compiled the module once; every worker instantiates that same module.
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module),
                                                      reject);
        return {};
      },
    }).then(resolve, reject);
  });
}

function instantiate(module, warmUp) {
  coreModule = module;
  return createCore(module).then((instance) => {
    core = instance;
    checkWorkerFs(core.FS);
    core.FS.mkdir('/input');
    core.FS.chdir('/input');
    postMessage({type: 'ready'});
    if (warmUp) {
      const started = performance.now();
      core._warmUp(kWarmUpSide);
      core.prepare(kWarmUpBytes);
      warmUpMs = performance.now() - started;
    }
  });
}

// Reading in file windows replaces WORKERFS's read with the window's own, and finds the window
// as the mounted file's contents: names of emscripten 3.1.6's WORKERFS. A probe file is read
// through them here, so that a core whose file system differs fails at once, never as a short
// read in a report.
function checkWorkerFs(FS) {
  const fault = (what) => new Error(`the core's WORKERFS ${what}: it was built with an ` +
                                    'emscripten other than 3.1.6, whose file system the page ' +
                                    'relies on');
  const workerFs = FS.filesystems?.WORKERFS;
  if (typeof workerFs?.stream_ops?.read !== 'function') throw fault('has no stream_ops.read');
  workerFs.stream_ops.read = (stream, buffer, offset, length, position) => {
    if (typeof stream.node?.contents?.readFileWindow !== 'function') throw fault('has changed');
    return stream.node.contents.readFileWindow(buffer, offset, length, position);
  };
  const probe = {size: 1, readFileWindow: (target, offset) => {
    target[offset] = 0x42;
    return 1;
  }};
  FS.mkdir('/probe');
  FS.mount(workerFs, {blobs: [{name: 'probe', data: probe}]}, '/probe');
  try {
    const stream = FS.open('/probe/probe', 'r');
    const byte = new Uint8Array(1);
    const read = FS.read(stream, byte, 0, 1, 0);
    FS.close(stream);
    if (read !== 1 || byte[0] !== 0x42) throw fault('reads its files otherwise');
  } finally {
    FS.unmount('/probe');
    FS.rmdir('/probe');
  }
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

// The whole file into the core's memory, through a stream that reads into buffers of ours;
// onChunk(filled) hears of each piece. Throws when the file cannot be read whole.
async function readInto(pointer, file, onChunk) {
  const reader = file.stream().getReader({mode: 'byob'});
  inFlight.reader = reader;
  let buffer = new ArrayBuffer(kStreamPiece);
  let filled = 0;
  for (;;) {
    const {value, done} = await reader.read(new Uint8Array(buffer));
    if (done) break;
    core.fill(pointer, filled, value);
    filled += value.length;
    buffer = value.buffer;
    onChunk(filled);
  }
  // The stream reads on from a file that has gone or changed; a fresh read of it does not.
  if (filled !== file.size) throw new Error('the file changed while it was read');
  inFlight.check = file.slice(0, 1).arrayBuffer();
  await inFlight.check;
}

// Streams the file into the core's memory while the core reports on it: a run that reaches
// bytes still on their way waits for them. The file is held for the runs that follow.
async function streamAndReport(file, onRead, onBlock) {
  const pointer = core.hold(file.size);
  let filled = 0;
  let ended = false;
  let waiting = null;  // {position, wakeUp}: the run waits for the byte at position
  const wake = () => {
    if (waiting !== null && (filled > waiting.position || ended)) {
      const {wakeUp} = waiting;
      waiting = null;
      wakeUp(filled);
    }
  };
  const reading = readInto(pointer, file, (now) => {
    filled = now;
    onRead(filled, pointer);
    wake();
  }).finally(() => {
    ended = true;
    wake();
  });
  try {
    const status = await core.reportFilling(pointer, file.size, filled, file.name, {
      bytesFilled: (position) => (filled > position || ended ? filled : null),
      wakeWhenFilled: (position, wakeUp) => {
        waiting = {position, wakeUp};
      },
    }, onBlock);
    await reading;
    current.pointer = pointer;
    return status;
  } catch (error) {
    await reading.catch(() => {});
    core.release(pointer);
    throw error;
  }
}

// Makes file the current one, letting go of the bytes of another.
function useFile(file, fileId) {
  if (current !== null && current.fileId === fileId) return;
  if (current !== null && current.pointer !== null) core.release(current.pointer);
  current = {fileId, file, pointer: null};
}

// The file as WORKERFS sees it: read through a file window that moves when a read falls
// outside it. onRead(end) learns how far into the file the reads have gone; readMs counts
// their time.
function fileInWindows(file, onRead) {
  const reader = new FileReaderSync();
  let start = 0;
  let bytes = new Uint8Array(0);
  return {
    size: file.size,
    readMs: 0,
    readFileWindow(target, offset, length, position) {
      if (position < start || position + length > start + bytes.length) {
        const started = performance.now();
        start = position;
        const end = Math.min(file.size, position + Math.max(length, kFileWindow));
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
async function run(id, onBlock, alwaysFileWindows = false) {
  const {file, pointer} = current;
  const onRead = progressPoster(id, file.size);
  if (pointer !== null) {
    postMessage({type: 'started', id, describe: core.describeHeld(pointer, file.size,
                                                                  file.name)});
    return {status: core.reportHeld(pointer, file.size, file.name, onBlock), readMs: 0};
  }
  if (file.size <= kHoldBytes && !alwaysFileWindows) {
    const started = performance.now();
    let readMs = 0;
    let described = false;
    // Once the header's bytes are there.
    const describe = (pointer, filled) => {
      if (described) return;
      described = true;
      postMessage({type: 'started', id, describe: core.describeHeld(pointer, file.size,
                                                                    file.name, filled)});
    };
    const status = await streamAndReport(file, (filled, at) => {
      onRead(filled);
      if (filled >= Math.min(core.headBytes, file.size)) describe(at, filled);
      if (filled === file.size) readMs = performance.now() - started;
    }, onBlock);
    describe(current.pointer, file.size);
    return {status, readMs};
  }
  postMessage({type: 'started', id, describe: core.describe(headOf(file), file.size,
                                                            file.name)});
  const {FS} = core;
  const input = fileInWindows(file, onRead);
  FS.mount(FS.filesystems.WORKERFS, {blobs: [{name: file.name, data: input}]}, '/input');
  try {
    return {status: core.runCommandLine(['quillfen', file.name], onBlock),
            readMs: input.readMs};
  } finally {
    FS.unmount('/input');
  }
}

async function report({id, file, fileId, showBytes, alwaysFileWindows}) {
  useFile(file, fileId);
  const started = performance.now();
  let shown = 0;
  let reportLength = 0;
  const {status, readMs} = await run(id, (block) => {
    reportLength += block.length;
    if (shown < showBytes) {
      const chunk = block.slice(0, showBytes - shown);
      shown += chunk.length;
      postMessage({type: 'text', id, chunk}, [chunk.buffer]);
    }
  }, alwaysFileWindows);
  postMessage({type: 'answer', id, answer: {status, reportLength, ms: performance.now() - started,
                                            readMs, warmUpMs}});
}

async function save({id, file, fileId}) {
  useFile(file, fileId);
  const pieces = [];
  let parts = [];
  let partBytes = 0;
  const {status} = await run(id, (block) => {
    parts.push(block.slice());
    partBytes += block.length;
    if (partBytes >= kBlobPiece) {
      pieces.push(new Blob(parts));
      parts = [];
      partBytes = 0;
    }
  });
  const whole = new Blob(pieces.concat(parts), {type: 'text/plain'});
  postMessage({type: 'answer', id, answer: {status, report: whole}});
}

// Excerpts of the report's bytes ([{firstLine, from, to}], in order, not overlapping; from and
// to decimal strings): the report is made again, and only those bytes kept. A report is far
// shorter than 2^53 bytes, so its offsets are exact as numbers.
async function reportExcerpts({id, file, fileId, ranges}) {
  useFile(file, fileId);
  const excerpts = ranges.map(({firstLine, from, to}) => ({
    firstLine, from: Number(from), chunk: new Uint8Array(Number(to) - Number(from))}));
  let reportBytes = 0;
  await run(id, (block) => {
    const blockEnd = reportBytes + block.length;
    for (const {from, chunk} of excerpts) {
      const start = Math.max(from, reportBytes);
      const end = Math.min(from + chunk.length, blockEnd);
      if (start < end) chunk.set(block.subarray(start - reportBytes, end - reportBytes), start - from);
    }
    reportBytes = blockEnd;
  });
  const answer = excerpts.map(({firstLine, chunk}) => ({firstLine, chunk}));
  postMessage({type: 'answer', id, answer}, answer.map(({chunk}) => chunk.buffer));
}

// The bytes of file's header records: all the core needs to describe it.
function headOf(file) {
  return new Uint8Array(new FileReaderSync().readAsArrayBuffer(file.slice(0, core.headBytes)));
}

// A read function for the decoder over file (decoderOpenReader): it copies the file's bytes
// from offset into target. A read that fails finds nothing and is kept in failure: an answer
// it spoiled is never given, and no later read is tried.
function fileReader(file, failure) {
  const reader = new FileReaderSync();
  return (offset, target) => {
    if (failure.error !== null) return 0;
    try {
      const bytes = reader.readAsArrayBuffer(file.slice(offset, offset + target.length));
      target.set(new Uint8Array(bytes));
      return bytes.byteLength;
    } catch (error) {
      failure.error = error;
      return 0;
    }
  };
}

// Throws when a read of the file failed: the decoder took bytes it did not find as missing.
function checkReads(failure) {
  if (failure.error !== null) {
    throw new Error(`the file can no longer be read (${failure.error.message})`);
  }
}

// The inspector's decoder reads the file it was opened on through this.
let inspectorReads = {error: null};

function inspect({id, question, file, ...asked}) {
  let answer = null;
  if (question === 'open') {
    inspectorReads = {error: null};
    answer = {describe: core.describe(headOf(file), file.size, file.name),
              format: core.decoderOpenReader(file.size, fileReader(file, inspectorReads))};
  } else if (question === 'decoded') answer = core.decoderPixel(asked.x, asked.y);
  else if (question === 'regions') answer = core.decoderRegions(asked.from, asked.to, asked.max);
  else if (question === 'region') answer = core.decoderRegionAt(asked.offset);
  else if (question === 'pixel') answer = core.inspectPixel(asked.x, asked.y);
  else if (question === 'byte') answer = core.inspectByte(asked.offset);
  else if (question === 'place') answer = core.inspectPlace(asked.line, asked.column);
  else if (question === 'entry') answer = core.inspectEntry(asked.index);
  else if (question === 'excerpts') {
    answer = core.inspectExcerpts(asked.lines, asked.before, asked.after);
  }
  checkReads(inspectorReads);
  postMessage({type: 'answer', id, answer});
}

async function handle(data) {
  try {
    if (data.type !== 'init') {
      const holding = current !== null && current.pointer !== null &&
                      current.fileId === data.fileId;
      postMessage({type: 'running', id: data.id, holding});
    }
    if (data.type === 'init') await instantiate(data.module, data.warmUp);
    else if (data.type === 'report') await report(data);
    else if (data.type === 'save') await save(data);
    else if (data.type === 'excerpts') await reportExcerpts(data);
    else if (data.type === 'inspect') inspect(data);
    else if (data.type === 'compare') await compare(data);
  } catch (error) {
    postMessage({type: 'failed', id: data.id ?? null,
                 message: String((error && error.message) || error)});
  }
}

// ---- comparisons

// The second file's decoder: a core of its own, started on the first comparison, so that rows
// of both files are at hand at once.
let secondCore = null;

// The whole file, read into memory of ours through a stream that fills it in place. Throws
// when the file cannot be read whole.
async function readWhole(file) {
  let buffer = new ArrayBuffer(file.size);
  let filled = 0;
  if (file.size > 0) {
    const reader = file.stream().getReader({mode: 'byob'});
    inFlight.reader = reader;
    while (filled < file.size) {
      const room = Math.min(kStreamPiece, file.size - filled);
      const {value, done} = await reader.read(new Uint8Array(buffer, filled, room));
      if (done) break;
      buffer = value.buffer;
      filled += value.length;
    }
    reader.releaseLock();
  }
  // The stream reads on from a file that has gone or changed; a fresh read of it does not.
  if (filled !== file.size) throw new Error(`${file.name} changed while it was read`);
  inFlight.check = file.slice(0, 1).arrayBuffer();
  await inFlight.check;
  return new Uint8Array(buffer);
}

// The core's read function over file (as decoderOpenReader and compareFiles take it): from
// the whole file in memory when it is at most kHoldBytes, else through file windows. A read
// that fails is kept in failure, as fileReader keeps it.
async function compareReader(file, failure) {
  if (file.size > kHoldBytes) {
    const input = fileInWindows(file, () => {});
    return (offset, target) => {
      if (failure.error !== null) return 0;
      try {
        return input.readFileWindow(target, 0, target.length, offset);
      } catch (error) {
        failure.error = error;
        return 0;
      }
    };
  }
  let bytes;
  try {
    bytes = await readWhole(file);
  } catch (error) {
    throw new Error(`${file.name} cannot be read (${error.message})`, {cause: error});
  }
  return (offset, target) => {
    const piece = bytes.subarray(Math.min(offset, bytes.length),
                                 Math.min(offset + target.length, bytes.length));
    target.set(piece);
    return piece.length;
  };
}

// Compares two files, posts the core's answer at once, then draws the pictures.
async function compare({id, fileA, fileB, maxPixels}) {
  const failure = {error: null};
  const [readA, readB] = await Promise.all([compareReader(fileA, failure),
                                            compareReader(fileB, failure)]);
  const a = {size: fileA.size, read: readA};
  const b = {size: fileB.size, read: readB};
  const comparison = core.compareFiles(a, b);
  checkReads(failure);
  postMessage({type: 'compared', id, comparison});
  const answer = comparison.trouble === null
    ? await comparePictures(comparison, a, b, maxPixels, failure)
    : {pictures: null, why: 'a file is not a BMP file'};
  const {pictures} = answer;
  postMessage({type: 'answer', id, answer},
              pictures === null ? [] : [pictures.a, pictures.b, pictures.difference]);
}

// Both files' pictures, as the format defines them, and the difference picture: the first
// dimmed, each pixel that differs bright. All three are drawn on canvases of one size, for the
// larger width and height, so that a pixel lies at the same place in each. Only the rows the
// canvases show are decoded, and the rows where the core found differences; pixels are compared
// only inside the box of those.
async function comparePictures(comparison, a, b, maxPixels, failure) {
  secondCore ??= await createCore(coreModule);
  const decoders = [core, secondCore];
  try {
    const formats = [core.decoderOpenReader(a.size, a.read),
                     secondCore.decoderOpenReader(b.size, b.read)];
    checkReads(failure);
    const undecoded = formats.findIndex((format) => !format.decodes);
    if (undecoded >= 0) {
      return {pictures: null, why: `${'AB'[undecoded]} is not decoded: ` +
                                   `${formats[undecoded].problem}`};
    }
    const width = Math.max(formats[0].width, formats[1].width);
    const height = Math.max(formats[0].height, formats[1].height);
    if (width * height > maxPixels) {
      return {pictures: null, why: `${width} × ${height} pixels: too large to draw here`};
    }
    const plan = canvasPlan(width, height);
    const targets = [0, 1, 2].map(() => new ImageData(plan.width, plan.height));
    const mask = new Uint8Array(plan.width * plan.height);
    const starts = {columns: markStarts(plan.columns, width), rows: markStarts(plan.rows, height)};
    const shown = new Uint8Array(height);
    for (const row of plan.rows) shown[row] = 1;
    const {box} = comparison.pixels;
    const across = Math.min(core.decoderRowsLimit, secondCore.decoderRowsLimit);
    let marked = 0;
    for (let y = 0; y < height; y += 1) {
      const compared = box !== null && y >= box.top && y <= box.bottom;
      if (shown[y] === 0 && !compared) continue;
      for (let x = 0; x < width; x += across) {
        const pieces = formats.map((format, i) => {
          if (y >= format.height || x >= format.width) return null;
          const count = Math.min(across, format.width - x);
          return {y, rowCount: 1, x, count, ...decoders[i].decoderRows(y, 1, x, count)};
        });
        checkReads(failure);
        if (pieces[0] !== null) {
          paintBlock(targets[0].data, plan, pieces[0]);
          paintBlock(targets[2].data, plan, pieces[0]);
        }
        if (pieces[1] !== null) paintBlock(targets[1].data, plan, pieces[1]);
        if (!compared) continue;
        const from = Math.max(x, box.left);
        const to = Math.min(x + across, box.right + 1);
        if (from >= to) continue;
        const [inA, inB] = pieces.map(({rgba, state}) => ({
          rgba: rgba.subarray(4 * (from - x), 4 * (to - x)),
          state: state.subarray(from - x, to - x)}));
        marked += markDifferences(mask, plan, starts, {y, rowCount: 1, x: from,
                                                       count: to - from, a: inA, b: inB});
      }
    }
    finishDifference(targets[2].data, mask);
    const [imageA, imageB, difference] = await Promise.all(targets.map((target) =>
      createImageBitmap(target)));
    return {pictures: {width, height, scaledDown: plan.scaledDown, marked, a: imageA,
                       b: imageB, difference}, why: null};
  } finally {
    for (const decoder of decoders) decoder.decoderClose();
  }
}

// ---- pictures

let picture = null;  // the last picture the browser decoded, an ImageBitmap
// The decode under way, held where the collector finds it: work nothing holds on to can be
// collected and never settle.
let decoding = null;
let probe = null;    // a one-pixel canvas to read colours through
let pictureCore = null;  // the core, once a picture needed its decoder

// The browser's own decode is kept for questions about its colours, whichever is shown: the
// browser's, or the decoder's where the browser cannot decode the file or prefer asks for it.
async function decode({id, bytes, file, module, prefer}) {
  postMessage({type: 'running', id, holding: false});
  if (picture !== null) picture.close();
  picture = null;
  let answer = null;
  let browserReason = null;
  try {
    decoding = createImageBitmap(bytes);
    picture = await decoding;
    if (prefer !== 'quillfen') {
      decoding = preview(picture);
      answer = await decoding;
    }
  } catch (error) {
    browserReason = String(error.message);
  }
  if (answer === null) {
    try {
      decoding = decodeWithCore(file, module);
      answer = await decoding;
    } catch (failure) {
      if (picture === null) {
        answer = {undecodable: browserReason, problem: String(failure.message)};
      } else {
        decoding = preview(picture);
        answer = {...await decoding, problem: String(failure.message)};
      }
    }
  }
  answer.browserDecodes = picture !== null;
  postMessage({type: 'answer', id, answer}, answer.image ? [answer.image] : []);
}

// The picture to show, scaled down to at most kCanvasSide pixels on its longer side; each of
// its pixels stays a block of colour, as the page shows pixels.
async function preview(bitmap) {
  const {width, height} = bitmap;
  const scale = Math.min(1, kCanvasSide / Math.max(width, height));
  const image = await createImageBitmap(bitmap, {
    resizeWidth: Math.max(1, Math.round(width * scale)),
    resizeHeight: Math.max(1, Math.round(height * scale)),
    resizeQuality: scale < 1 ? 'medium' : 'pixelated',
  });
  return {width, height, image, source: 'browser', scaledDown: scale < 1, problem: null};
}

// The picture as the core's decoder defines it, painted as web/paint.js lays it out, rows
// decoded as many at a time as the decoder gives at once. Throws an Error with the decoder's
// reason when it does not decode the file.
async function decodeWithCore(file, module) {
  if (!module) throw new Error('the page gave no decoder');
  pictureCore ??= await createCore(module);
  const reads = {error: null};
  const format = pictureCore.decoderOpenReader(file.size, fileReader(file, reads));
  try {
    checkReads(reads);
    if (!format.decodes) throw new Error(format.problem);
    const {width, height} = format;
    const plan = canvasPlan(width, height);
    const canvas = new ImageData(plan.width, plan.height);
    const counts = [0, 0, 0, 0];
    const limit = pictureCore.decoderRowsLimit;
    const rowsAtOnce = Math.max(1, Math.floor(limit / width));
    const across = Math.min(width, limit);
    for (let y = 0; y < height; y += rowsAtOnce) {
      const rowCount = Math.min(rowsAtOnce, height - y);
      for (let x = 0; x < width; x += across) {
        const count = Math.min(across, width - x);
        const {rgba, state} = pictureCore.decoderRows(y, rowCount, x, count);
        checkReads(reads);
        countStates(state, counts);
        paintBlock(canvas.data, plan, {y, rowCount, x, count, rgba, state});
      }
    }
    return {width, height, image: await createImageBitmap(canvas), source: 'quillfen',
            scaledDown: plan.scaledDown, problem: null,
            undefinedPixels: {skipped: counts[1], missing: counts[2], badIndex: counts[3]}};
  } finally {
    pictureCore.decoderClose();
  }
}

function colour({id, x, y}) {
  let rgba = null;
  if (picture !== null && x >= 0 && y >= 0 && x < picture.width && y < picture.height) {
    probe ??= new OffscreenCanvas(1, 1).getContext('2d', {willReadFrequently: true});
    probe.clearRect(0, 0, 1, 1);
    probe.drawImage(picture, x, y, 1, 1, 0, 0, 1, 1);
    rgba = Array.from(probe.getImageData(0, 0, 1, 1).data);
  }
  postMessage({type: 'answer', id, answer: rgba});
}

// One request for the core at a time, in order: a run that waits for the file's bytes lets
// messages in, and a request cancelled before its turn is dropped. Questions about pictures
// are answered at once, while a decode goes on.
let queue = Promise.resolve();
const waiting = new Set();  // ids of the core's requests not yet begun
const cancelled = new Set();  // those of them to drop
onmessage = ({data}) => {
  if (data.type === 'cancel') {
    if (waiting.has(data.id)) cancelled.add(data.id);
  } else if (data.type === 'decode') {
    // A decode that throws fails its request: the page never waits on it.
    decode(data).catch((error) => {
      postMessage({type: 'failed', id: data.id, message: String(error?.message ?? error)});
    });
  } else if (data.type === 'colour') {
    colour(data);
  } else {
    waiting.add(data.id);
    queue = queue.then(() => {
      waiting.delete(data.id);
      if (cancelled.delete(data.id)) return undefined;
      inFlight.request = handle(data);
      return inFlight.request;
    });
  }
};
