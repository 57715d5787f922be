// The files the WebAssembly entry points read: bytes the core holds, a path on the core's file
// system (Node's own in the package), or a read function in JavaScript (a browser File read
// through FileReaderSync, say), each as a decode::Input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bitmap/source.h"
#include "decode/input.h"

namespace app {

// Which of JavaScript's read functions serves a file: Module.fileReaders[reader] in
// wasm_api.js. The decoder's file has one, each file of a comparison another.
enum FileReader : int { kDecoderReader = 0, kCompareReaderA = 1, kCompareReaderB = 2 };

struct WasmFile {
  bitmap::Source source;  // a path's
  std::unique_ptr<decode::Input> input;
};

// size bytes held at data, which stay there while the file is read.
std::unique_ptr<WasmFile> heldFile(const std::uint8_t* data, std::size_t size);
// The file at path (UTF-8), read as the report reads it; null when it cannot be opened.
std::unique_ptr<WasmFile> pathFile(const char* path);
// A file of size bytes that Module.fileReaders[reader](offset, target) reads; null when size is
// not a whole number.
std::unique_ptr<WasmFile> readerFile(FileReader reader, double size);

}  // namespace app
