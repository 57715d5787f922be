// The files the WebAssembly entry points read, and the input that asks JavaScript for bytes.
#include "app/wasm_files.h"

#include <emscripten.h>

#include "app/wasm_answer.h"

namespace {

// Copies up to count bytes of the file at offset into dst; returns how many there were.
EM_JS(double, readFromCaller, (int reader, double offset, std::uint8_t* dst, std::size_t count),
      { return Module.fileReaders[reader](offset, HEAPU8.subarray(dst, dst + count)); });

}  // namespace

namespace app {
namespace {

// A file JavaScript reads, a block at a time, when the decoder asks: it reads what it needs and
// no more.
class CallerInput final : public decode::Input {
 public:
  CallerInput(FileReader reader, std::uint64_t size) : reader_(reader), size_(size) {}
  std::uint64_t size() override { return size_; }
  std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) override {
    const double got = readFromCaller(reader_, static_cast<double>(offset), dst, count);
    // Anything but a count it could have read is a read that found nothing.
    return got >= 0 && got <= static_cast<double>(count) ? static_cast<std::size_t>(got) : 0;
  }

 private:
  FileReader reader_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<WasmFile> heldFile(const std::uint8_t* data, std::size_t size) {
  auto file = std::make_unique<WasmFile>();
  file->input = std::make_unique<decode::MemoryInput>(data, size);
  return file;
}

std::unique_ptr<WasmFile> pathFile(const char* path) {
  auto file = std::make_unique<WasmFile>();
  if (!file->source.open(path)) return nullptr;
  file->input = std::make_unique<decode::SourceInput>(file->source);
  return file;
}

std::unique_ptr<WasmFile> readerFile(FileReader reader, double size) {
  const std::uint64_t bytes = wholeNumber(size);
  if (bytes == UINT64_MAX) return nullptr;
  auto file = std::make_unique<WasmFile>();
  file->input = std::make_unique<CallerInput>(reader, bytes);
  return file;
}

}  // namespace app
