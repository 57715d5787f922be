// Entry point of the WebAssembly builds (the page's worker and the Node package): runs whose
// report JavaScript receives block by block, through wasm_api.js.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/run.h"
#include "bitmap/layout.h"
#include "bitmap/records.h"

namespace {

// Hands one block of the report to the caller's function; 0, or an errno value when the block
// could not be written.
EM_JS(int, deliverBlock, (const char* data, std::size_t size),
      { return Module.deliverReportBlock(HEAPU8.subarray(data, data + size)); });

int writeBlock(const char* data, std::size_t size) { return deliverBlock(data, size); }

}  // namespace

// A whole run on a command line, argv[0] the program's name: the report, or the usage line,
// or a refusal, and the exit status.
extern "C" EMSCRIPTEN_KEEPALIVE int runCommandLine(int argc, const char* const* argv) {
  report::Sink out(writeBlock);
  return app::run(argc, argv, out);
}

// A report on bytes in memory, as the content of a file called fileName.
extern "C" EMSCRIPTEN_KEEPALIVE int reportBytes(const std::uint8_t* data, std::size_t size,
                                                const char* fileName) {
  bitmap::Source file;
  file.openView(data, size);
  report::Sink out(writeBlock);
  const int status = app::runReport(file, fileName, out);
  return out.finish() ? status : app::kRefused;
}

// The picture's layout for the file whose first size bytes are at head, as JSON: where its
// stored pixels lie and how large it is. Valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* describeBitmap(const std::uint8_t* head,
                                                           std::size_t size, double fileLength) {
  // Zero-filled, as the run reads a short file.
  bitmap::FileHeaderBlock fileBlock{};
  bitmap::InfoBlock infoBlock{};
  const std::size_t fileBytes = std::min(size, fileBlock.size());
  std::memcpy(fileBlock.data(), head, fileBytes);
  std::memcpy(infoBlock.data(), head + fileBytes, std::min(size - fileBytes, infoBlock.size()));
  const bitmap::PixelLayout layout = bitmap::pixelLayout(bitmap::decodeFileHeader(fileBlock),
                                                         bitmap::decodeInfo(infoBlock).bmiHeader,
                                                         static_cast<std::uint64_t>(fileLength));
  static std::string json;
  json = "{\"width\":" + std::to_string(layout.width) +
         ",\"height\":" + std::to_string(layout.height) +
         ",\"bits\":" + std::to_string(layout.bits) +
         ",\"topDown\":" + (layout.topDown ? "true" : "false") +
         ",\"compressed\":" + (layout.compressed ? "true" : "false") +
         ",\"start\":" + std::to_string(layout.start) +
         ",\"rowBytes\":" + std::to_string(layout.rowBytes) +
         ",\"end\":" + std::to_string(layout.end) + "}";
  return json.c_str();
}
