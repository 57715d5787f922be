// The JavaScript face of the decoder's entry points (wasm_decode.cpp), linked after wasm_api.js
// in both builds. app/decode_answers.h documents every answer. One file is open at a time: each
// decoderOpen... closes the one before, and the questions are about the last one opened.

// The bytes a file held by decoderOpenBytes takes in the core's memory, freed with the file.
var decoderHeld = 0;

// Closes the open file, frees the bytes decoderOpenBytes held for it, and lets go of the read
// function decoderOpenReader was given.
function closeDecoder() {
  _decoderClose();
  if (decoderHeld) _free(decoderHeld);
  decoderHeld = 0;
  Module.fileReaders[0] = null;
}

// Opens the decoder on size bytes held at pointer (Module.hold, fill), which the caller keeps
// there until it opens another file or closes this one; returns the format answer.
Module['decoderOpenHeld'] = function (pointer, size) {
  closeDecoder();
  return answer(_decoderOpenHeld(pointer, size));
};

// Opens the decoder on a copy of bytes (a Uint8Array); returns the format answer. Throws a
// RangeError when the core has no memory for them.
Module['decoderOpenBytes'] = function (bytes) {
  closeDecoder();
  var pointer = Module['hold'](bytes.length);
  HEAPU8.set(bytes, pointer);
  var format = answer(_decoderOpenHeld(pointer, bytes.length));
  decoderHeld = pointer;
  return format;
};

// Opens the decoder on the file at path, as the core's file system reaches it (Node's own in
// the package); returns the format answer, or {refused} when the file cannot be opened.
Module['decoderOpenPath'] = function (path) {
  closeDecoder();
  var pointer = newCString(path);
  try {
    return answer(_decoderOpenPath(pointer));
  } finally {
    _free(pointer);
  }
};

// Opens the decoder on a file of size bytes that read(offset, target) serves: it copies the
// file's bytes from offset into target (a Uint8Array of up to 256 KiB) and returns how many it
// copied, fewer at the end of the file. It runs synchronously, whenever the decoder needs bytes
// it has not read (a browser File through FileReaderSync, say), and must not call the core.
// Returns the format answer.
Module['decoderOpenReader'] = function (size, read) {
  closeDecoder();
  Module.fileReaders[0] = read;
  return answerOrThrow(_decoderOpenReader(size), TypeError);
};

Module['decoderFormat'] = function () {
  return answer(_decoderFormat());
};

// The regions that hold a byte from offset from (0 when not given) up to offset to (the
// file's end when not given), whole and in file order, at most max of them (65,536 when not
// given, and never more).
Module['decoderRegions'] = function (from, to, max) {
  return answer(_decoderRegions(from === undefined ? 0 : from, to === undefined ? Infinity : to,
                                max === undefined ? Infinity : max));
};

// How many regions hold a byte from offset from up to offset to (as for decoderRegions),
// counted up to max at most (no bound when not given), without listing them.
Module['decoderRegionCount'] = function (from, to, max) {
  return answer(_decoderRegionCount(from === undefined ? 0 : from,
                                    to === undefined ? Infinity : to,
                                    max === undefined ? Infinity : max)).count;
};

// The region that holds the byte at offset; null at or past the end of the file.
Module['decoderRegionAt'] = function (offset) {
  return answer(_decoderRegionAt(offset));
};

// The pixel at x, y (0, 0 at the top left): its RGBA and state as the format defines them, and
// where it comes from.
Module['decoderPixel'] = function (x, y) {
  return answer(_decoderPixel(x, y));
};

// How many pixels one decoderRows call decodes at most.
Object.defineProperty(Module, 'decoderRowsLimit', {
  get: function () {
    return _decoderRowsLimit();
  },
});

// Rows y to y + rows - 1 of the picture from the top, pixels x to x + count - 1 of each (the
// whole width when x and count are not given): {rgba, state}, views into the core's memory,
// valid until the next call, 4 bytes a pixel (red, green, blue, alpha) and one (0 defined,
// 1 skipped, 2 missing, 3 index past the table). At most decoderRowsLimit pixels a call. Throws a
// RangeError for rows or pixels outside the picture, or too many; an Error when the pixels do
// not decode.
Module['decoderRows'] = function (y, rows, x, count) {
  var piece = answerOrThrow(x === undefined ? _decoderRows(y, rows, 0, Infinity)
                                            : _decoderRows(y, rows, x, count), RangeError);
  return {rgba: HEAPU8.subarray(piece.rgba, piece.rgba + 4 * piece.pixels),
          state: HEAPU8.subarray(piece.state, piece.state + piece.pixels)};
};

// The whole picture, rows from the top: {width, height, rgba, state}, Uint8Arrays of their own
// of width x height x 4 bytes and width x height. Throws an Error with code
// 'ERR_QUILLFEN_NOT_DECODED' and the reason as its message when the pixels do not decode, and
// a RangeError with code 'ERR_QUILLFEN_TOO_MANY_PIXELS' when there are more than maxPixels.
Module['decoderImage'] = function (maxPixels) {
  var format = answer(_decoderFormat());
  if (format.refused) throw new Error(format.refused);
  if (!format.decodes) {
    throw Object.assign(new Error(format.problem), {code: 'ERR_QUILLFEN_NOT_DECODED'});
  }
  var width = format.width;
  var height = format.height;
  if (width * height > maxPixels) {
    throw Object.assign(new RangeError(width + ' x ' + height + ' is ' + width * height +
                                       ' pixels, more than maxPixels (' + maxPixels + ')'),
                        {code: 'ERR_QUILLFEN_TOO_MANY_PIXELS'});
  }
  var rgba = new Uint8Array(width * height * 4);
  var state = new Uint8Array(width * height);
  // Whole rows at a time, or a wide row in pieces.
  var limit = Module['decoderRowsLimit'];
  var rowsAtOnce = Math.max(1, Math.floor(limit / Math.max(width, 1)));
  var across = Math.min(width, limit);
  for (var y = 0; y < height; y += rowsAtOnce) {
    var rows = Math.min(rowsAtOnce, height - y);
    for (var x = 0; x < width; x += across) {
      var piece = Module['decoderRows'](y, rows, x, Math.min(across, width - x));
      rgba.set(piece.rgba, (y * width + x) * 4);
      state.set(piece.state, y * width + x);
    }
  }
  return {width: width, height: height, rgba: rgba, state: state};
};

Module['decoderClose'] = closeDecoder;
