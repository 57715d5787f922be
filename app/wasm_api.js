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

// How many of a file's first bytes describe() needs: the core's bitmap::kHeadBytes.
Object.defineProperty(Module, 'headBytes', {
  get: function () {
    return _headBytes();
  },
});

// An answer of the inspector, written as JSON by the core (app/inspect.h).
function answer(json) {
  return JSON.parse(UTF8ToString(json));
}

// An answer that refuses the question becomes an error of kind Kind (for the faces linked after).
/* exported answerOrThrow */
function answerOrThrow(json, Kind) {
  var parsed = answer(json);
  if (parsed && typeof parsed.refused === 'string') throw new Kind(parsed.refused);
  return parsed;
}

// The read functions of files JavaScript reads for the core (app/wasm_files.h), by reader:
// 0 the decoder's file, 1 and 2 the files a comparison compares.
Module.fileReaders = [null, null, null];

// Runs a program's entry point, run(argc, argv), on a command line (args[0] is the program's
// name), its output to onBlock; returns the exit status.
function runArguments(run, args, onBlock) {
  deliverTo(onBlock);
  var strings = args.map(newCString);
  var argv = _malloc(4 * (strings.length + 1));
  strings.concat([0]).forEach(function (pointer, i) {
    HEAPU32[(argv >> 2) + i] = pointer;
  });
  try {
    return run(strings.length, argv);
  } finally {
    strings.forEach(function (pointer) {
      _free(pointer);
    });
    _free(argv);
  }
}

// Runs the tool on a command line (args[0] is the program's name); returns the exit status.
Module['runCommandLine'] = function (args, onBlock) {
  return runArguments(_runCommandLine, args, onBlock);
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

// The inspector (app/inspect.h documents every answer). describe() opens it on a file of
// fileLength bytes whose first bytes are head (a Uint8Array: headBytes of them, or the whole of
// a shorter file), reported as name, and returns the describe answer: what the report's worker
// posts when a run starts, and what the inspector opens with. The questions that follow, one
// answer each, are about that file.
Module['describe'] = function (head, fileLength, name) {
  var pointer = Module['hold'](head.length);
  try {
    HEAPU8.set(head, pointer);
    return Module['describeHeld'](pointer, fileLength, name, head.length);
  } finally {
    _free(pointer);
  }
};

// The same for a file of size bytes held at pointer, of which the first filled are there
// (all of them when not given).
Module['describeHeld'] = function (pointer, size, name, filled) {
  var namePointer = newCString(name);
  try {
    var head = Math.min(filled === undefined ? size : filled, Module['headBytes']);
    return answer(_inspectOpen(pointer, head, size, namePointer));
  } finally {
    _free(namePointer);
  }
};

// x and y: whole numbers from 0 at the top left, within the picture; others are refused.
Module['inspectPixel'] = function (x, y) {
  return answer(_inspectPixel(x, y));
};

// offset: a decimal string, exact however large (the caller reads "0x..." with BigInt and
// gives it in decimal).
Module['inspectByte'] = function (offset) {
  var pointer = newCString(String(offset));
  try {
    return answer(_inspectByte(pointer));
  } finally {
    _free(pointer);
  }
};

Module['inspectPlace'] = function (line, column) {
  return answer(_inspectPlace(line, column));
};

Module['inspectEntry'] = function (index) {
  return answer(_inspectEntry(index));
};

// lines: report lines in any order; before and after: how many bytes of lines to take around
// each.
Module['inspectExcerpts'] = function (lines, before, after) {
  var pointer = Module['hold'](8 * lines.length);
  try {
    HEAPF64.set(lines, pointer >> 3);
    return answer(_inspectExcerpts(pointer, lines.length, before, after));
  } finally {
    _free(pointer);
  }
};
