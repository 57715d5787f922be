// The JavaScript face of the comparison's entry points (wasm_compare.cpp), linked after
// wasm_api.js in both builds: the page's workers and the npm package call these, and their
// names stay as they are. app/compare_answers.h documents the answer.
//
// compareFiles(a, b, bounds) compares file A with file B and returns the comparison answer.
//   Each file is one of:
//     {bytes}          a Uint8Array, copied into the core's memory for the call
//     {pointer, size}  size bytes held at pointer (Module.hold and fill), which the caller
//                      keeps there for the call
//     {path}           a path as the core's file system reaches it (Node's own in the package)
//     {size, read}     a file of size bytes that read(offset, target) serves as it does for
//                      decoderOpenReader: synchronously, copying the bytes from offset into
//                      target (up to 256 KiB) and returning how many it copied (a browser File
//                      through FileReaderSync); it must not call the core
//   bounds (optional): {pixels, entries}, the most differing pixels and table entries listed,
//   whole numbers up to compareListLimit; those not given are the command's own (10 and 16).
//   Both files are read only where the comparison needs them, and let go of when it returns.
//   A path that cannot be opened gives {refused, file: 'a' | 'b'}, not an answer. Throws a
//   TypeError for a file given otherwise, and a RangeError for bounds out of range or bytes the
//   core has no memory for.
// compareListLimit: the most pixels or entries one comparison lists (4096).
// runCompareCommandLine(args, onBlock): quillfen-compare's whole run on a command line
//   (args[0] the program's name), as runCommandLine runs quillfen's: its lines to onBlock, a
//   line on standard error for trouble; returns the exit status, 0, 1 or 2.

// Sets file i (0 for A, 1 for B) of the next comparison; copies holds the memory of bytes
// copied for it, to be freed after. False when a path cannot be opened.
function setCompared(i, file, copies) {
  if (file && file.bytes instanceof Uint8Array) {
    var pointer = Module['hold'](file.bytes.length);
    copies.push(pointer);
    HEAPU8.set(file.bytes, pointer);
    return _compareSetHeld(i, pointer, file.bytes.length) === 1;
  }
  if (file && typeof file.pointer === 'number' && typeof file.size === 'number') {
    return _compareSetHeld(i, file.pointer, file.size) === 1;
  }
  if (file && typeof file.path === 'string') {
    var path = newCString(file.path);
    try {
      return _compareSetPath(i, path) === 1;
    } finally {
      _free(path);
    }
  }
  if (file && typeof file.read === 'function' && typeof file.size === 'number') {
    Module.fileReaders[1 + i] = file.read;
    if (_compareSetReader(i, file.size) === 1) return true;
    throw new TypeError('the size of file ' + 'AB'[i] + ' must be a whole number of bytes');
  }
  throw new TypeError('file ' + 'AB'[i] + ' must be {bytes}, {pointer, size}, {path} or ' +
                      '{size, read}');
}

// bounds[name] for the core: NaN, which stands for the command's own bound, when not given.
function listBound(bounds, name) {
  var value = bounds ? bounds[name] : undefined;
  if (value === undefined) return NaN;
  if (typeof value !== 'number' || isNaN(value)) {
    throw new TypeError('bounds.' + name + ' must be a number');
  }
  return value;
}

Module['compareFiles'] = function (a, b, bounds) {
  var copies = [];
  try {
    var files = [a, b];
    for (var i = 0; i < 2; i += 1) {
      if (!setCompared(i, files[i], copies)) {
        return {refused: 'the file cannot be opened', file: 'ab'[i]};
      }
    }
    return answerOrThrow(_compareRun(listBound(bounds, 'pixels'), listBound(bounds, 'entries')),
                         RangeError);
  } finally {
    _compareClear();
    copies.forEach(function (pointer) {
      _free(pointer);
    });
    Module.fileReaders[1] = null;
    Module.fileReaders[2] = null;
  }
};

Object.defineProperty(Module, 'compareListLimit', {
  get: function () {
    return _compareListLimit();
  },
});

Module['runCompareCommandLine'] = function (args, onBlock) {
  return runArguments(_runCompareCommandLine, args, onBlock);
};
