// The JavaScript face of wasm_filling.cpp, for the page's build only (it needs Asyncify): a run
// on a file that streams into the core's memory while the core reports on it.

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
