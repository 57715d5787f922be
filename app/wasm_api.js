// The JavaScript face of the WebAssembly core, shared by the page's worker and the Node package.
// Each run takes onBlock(bytes), which receives the report block by block (a view into the
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

// The header records: all describeBitmap reads.
var kHeadBytes = 58;
Module['headBytes'] = kHeadBytes;

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

// Room for size bytes in the module's memory, for a file held there: its address. Throws a
// RangeError when the memory cannot grow that far.
Module['hold'] = function (size) {
  var pointer = _malloc(Math.max(size, 1));
  if (!pointer) throw new RangeError('not enough memory for ' + size + ' bytes');
  return pointer;
};

// Grows the module's memory by size bytes and writes them once, so that a file held later
// finds its memory ready rather than paying for it as it streams in.
Module['prepare'] = function (size) {
  var pointer = Module['hold'](size);
  HEAPU8.fill(0, pointer, pointer + size);
  _free(pointer);
};

// Copies bytes into held memory at pointer + offset.
Module['fill'] = function (pointer, offset, bytes) {
  HEAPU8.set(bytes, pointer + offset);
};

Module['release'] = function (pointer) {
  _free(pointer);
};

// Reports on size held bytes at pointer as the content of a file called name; returns 0 or -1.
Module['reportHeld'] = function (pointer, size, name, onBlock) {
  deliverTo(onBlock);
  var namePointer = newCString(name);
  try {
    return _reportBytes(pointer, size, namePointer);
  } finally {
    _free(namePointer);
  }
};

// Reports on bytes (a Uint8Array) as the content of a file called name; returns 0 or -1.
Module['reportBytes'] = function (bytes, name, onBlock) {
  var pointer = Module['hold'](bytes.length);
  try {
    HEAPU8.set(bytes, pointer);
    return Module['reportHeld'](pointer, bytes.length, name, onBlock);
  } finally {
    _free(pointer);
  }
};

// What the file of size bytes held at pointer says of itself: the inspector's summary
// (app/inspect.h), whose width, height, bits, topDown, compressed, start, rowBytes and end are
// the picture's layout as bitmap/layout.h defines it, and whose dumps are the report's.
Module['describeHeld'] = function (pointer, size) {
  var json = _describeBitmap(pointer, Math.min(size, kHeadBytes), size);
  return JSON.parse(UTF8ToString(json));
};

// The same for a file of fileLength bytes whose first bytes are head (a Uint8Array).
Module['describeBitmap'] = function (head, fileLength) {
  var pointer = Module['hold'](head.length);
  try {
    HEAPU8.set(head, pointer);
    return JSON.parse(UTF8ToString(_describeBitmap(pointer, head.length, fileLength)));
  } finally {
    _free(pointer);
  }
};

// Reports on a file of size bytes held at pointer while it is being filled: filling(position)
// returns the bytes filled once more than position are, or null to wait, and
// wakeWhenFilled(position, wakeUp) calls wakeUp(filled) once they are. Resolves to 0 or -1.
Module['reportFilling'] = function (pointer, size, filled, name, filling, onBlock) {
  deliverTo(onBlock);
  Module.bytesFilled = filling.bytesFilled;
  Module.wakeWhenFilled = filling.wakeWhenFilled;
  var namePointer = newCString(name);
  return ccall('reportFilling', 'number', ['number', 'number', 'number', 'number'],
               [pointer, size, filled, namePointer], {async: true}).finally(function () {
    _free(namePointer);
  });
};

// The inspector (app/inspect.h): opens it on a file whose first bytes are head (a Uint8Array)
// and returns what it knows of the file; the rest answer one question each, as objects.
Module['inspectOpen'] = function (head, fileLength, name) {
  var pointer = Module['hold'](head.length);
  var namePointer = newCString(name);
  try {
    HEAPU8.set(head, pointer);
    return JSON.parse(UTF8ToString(_inspectOpen(pointer, head.length, fileLength, namePointer)));
  } finally {
    _free(pointer);
    _free(namePointer);
  }
};

Module['inspectPixel'] = function (x, y) {
  return JSON.parse(UTF8ToString(_inspectPixel(x, y)));
};

Module['inspectByte'] = function (offset) {
  return JSON.parse(UTF8ToString(_inspectByte(offset)));
};

Module['inspectPlace'] = function (line, column) {
  return JSON.parse(UTF8ToString(_inspectPlace(line, column)));
};

Module['inspectWindows'] = function (lines, before, after) {
  var pointer = Module['hold'](8 * lines.length);
  try {
    HEAPF64.set(lines, pointer >> 3);
    return JSON.parse(UTF8ToString(_inspectWindows(pointer, lines.length, before, after)));
  } finally {
    _free(pointer);
  }
};
