// The JavaScript face of the WebAssembly core, shared by the page's worker and the Node package.
// Each call takes onBlock(bytes), which receives the report block by block (a view into the
// module's memory, valid only during the call) and may throw an error with a Node error code
// ('ENOSPC', 'EPIPE', ...) when the block cannot be written.

function deliverTo(onBlock) {
  Module.deliverReportBlock = function (bytes) {
    try {
      onBlock(bytes);
      return 0;
    } catch (error) {
      if (error && ERRNO_CODES[error.code]) return ERRNO_CODES[error.code];
      throw error;
    }
  };
}

function newCString(text) {
  var size = lengthBytesUTF8(text) + 1;
  var pointer = _malloc(size);
  stringToUTF8(text, pointer, size);
  return pointer;
}

// Runs the tool on a command line (args[0] is the program's name); returns the exit status.
Module['runCommandLine'] = function (args, onBlock) {
  deliverTo(onBlock);
  var strings = args.map(newCString);
  var argv = _malloc(4 * (strings.length + 1));
  strings.concat([0]).forEach(function (pointer, i) {
    HEAPU32[(argv >> 2) + i] = pointer;
  });
  try {
    return _runCommandLine(strings.length, argv);
  } finally {
    strings.forEach(function (pointer) {
      _free(pointer);
    });
    _free(argv);
  }
};

// Reports on bytes (a Uint8Array) as the content of a file called name; returns 0 or -1.
Module['reportBytes'] = function (bytes, name, onBlock) {
  deliverTo(onBlock);
  var data = _malloc(Math.max(bytes.length, 1));
  if (!data) throw new RangeError('not enough memory for ' + bytes.length + ' bytes');
  var namePointer = newCString(name);
  HEAPU8.set(bytes, data);
  try {
    return _reportBytes(data, bytes.length, namePointer);
  } finally {
    _free(data);
    _free(namePointer);
  }
};
