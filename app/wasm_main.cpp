// Entry point of the WebAssembly builds (the page's worker and the Node package): runs whose
// report JavaScript receives block by block, through wasm_api.js.
#include <emscripten.h>

#include <cstddef>
#include <cstdint>

#include "app/run.h"

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
