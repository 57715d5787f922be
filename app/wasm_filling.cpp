// The page's run on a file that streams into memory while the core reports on it: the run
// waits for bytes it reaches before they come. Only a build with Asyncify can wait so, and only
// the page's links this (wasm_filling.js is its JavaScript face).
#include <emscripten.h>

#include <cstddef>
#include <cstdint>

#include "app/run.h"
#include "app/wasm_blocks.h"

namespace {

// The bytes of the held file filled so far, once there are more than position or no more will
// come. The run waits here while the file streams in (Asyncify): the call that resumes a
// waiting run goes through handleSleep again, and gets what wakeUp was given.
// The body is JavaScript, which clang-format would take for C++.
// clang-format off
EM_JS(double, waitForBytes, (double position), {
  if (Asyncify.state == Asyncify.State.Normal) {
    var filled = Module.bytesFilled(position);
    if (filled != null) return filled;
  }
  return Asyncify.handleSleep(function(wakeUp) { Module.wakeWhenFilled(position, wakeUp); });
});
// clang-format on

std::size_t waitForFill(std::uint64_t position) {
  return static_cast<std::size_t>(waitForBytes(static_cast<double>(position)));
}

}  // namespace

// A report on size bytes at data, of which filled are there and the rest are on their way, as
// the content of a file called fileName.
extern "C" EMSCRIPTEN_KEEPALIVE int reportFilling(const std::uint8_t* data, std::size_t size,
                                                  std::size_t filled, const char* fileName) {
  bitmap::Source file;
  file.openFillingView(data, size, filled, waitForFill);
  report::Sink out(app::writeBlockToCaller);
  const int status = app::runReport(file, fileName, out);
  return out.finish() ? status : app::kRefused;
}
