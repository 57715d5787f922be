// Entry point of the WebAssembly builds (the page's worker and the Node package): runs whose
// report JavaScript receives block by block, through wasm_api.js.
#include <emscripten.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/inspect.h"
#include "app/run.h"

namespace {

// Hands one block of the report to the caller's function; 0, or an errno value when the block
// could not be written.
EM_JS(int, deliverBlock, (const char* data, std::size_t size),
      { return Module.deliverReportBlock(HEAPU8.subarray(data, data + size)); });

int writeBlock(const char* data, std::size_t size) { return deliverBlock(data, size); }

// The bytes of the held file filled so far, once there are more than position or no more will
// come. The page's build lets the run wait here while the file streams in (Asyncify): the call
// that resumes a waiting run goes through handleSleep again, and gets what wakeUp was given.
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

// The file the inspector asks about, and its last answer, valid until the next call.
std::unique_ptr<app::Inspection> inspection;
std::string answer;

const char* answerWith(std::string json) {
  answer = std::move(json);
  return answer.c_str();
}

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

// A report on size bytes at data, of which filled are there and the rest are on their way, as
// the content of a file called fileName.
extern "C" EMSCRIPTEN_KEEPALIVE int reportFilling(const std::uint8_t* data, std::size_t size,
                                                  std::size_t filled, const char* fileName) {
  bitmap::Source file;
  file.openFillingView(data, size, filled, waitForFill);
  report::Sink out(writeBlock);
  const int status = app::runReport(file, fileName, out);
  return out.finish() ? status : app::kRefused;
}

// What the file whose first size bytes are at head says of itself, as the inspector's summary
// (app/inspect.h): the picture's layout among it. Valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* describeBitmap(const std::uint8_t* head,
                                                           std::size_t size, double fileLength) {
  return answerWith(
      app::Inspection(head, size, static_cast<std::uint64_t>(fileLength), "").summary());
}

namespace {

void putLE(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value,
           std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A bottom-up picture of side x side pixels at bits per pixel, its table and pixels any bytes.
std::vector<std::uint8_t> warmUpPicture(std::uint16_t bits, std::uint32_t side) {
  const std::uint32_t table = bits <= 8 ? 4u << bits : 0;
  const std::uint32_t offBits = 54 + table;
  const std::uint32_t size = offBits + (side * bits + 31) / 32 * 4 * side;
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 54; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + i / 7);
  bytes[0] = 'B';
  bytes[1] = 'M';
  putLE(bytes, 2, size, 4);
  putLE(bytes, 10, offBits, 4);
  putLE(bytes, 14, 40, 4);
  putLE(bytes, 18, side, 4);
  putLE(bytes, 22, side, 4);
  putLE(bytes, 26, 1, 2);
  putLE(bytes, 28, bits, 2);
  return bytes;
}

int discardBlock(const char* /*data*/, std::size_t /*size*/) { return 0; }

}  // namespace

// Reports, output discarded, on a small picture of each depth that has a dump: the engine then
// compiles the hot loops fully before the first real file rather than during it.
extern "C" EMSCRIPTEN_KEEPALIVE void warmUp(std::uint32_t side) {
  for (const int bits : {1, 4, 8, 16, 24}) {
    const std::vector<std::uint8_t> picture = warmUpPicture(static_cast<std::uint16_t>(bits), side);
    bitmap::Source file;
    file.openView(picture.data(), picture.size());
    report::Sink out(discardBlock);
    app::runReport(file, "warm-up.bmp", out);
    out.finish();
  }
}

// Opens the inspector on a file of fileLength bytes whose first bytes are at head, reported as
// fileName; returns what it knows of the file as a whole (app/inspect.h).
extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectOpen(const std::uint8_t* head, std::size_t size,
                                                        double fileLength, const char* fileName) {
  inspection = std::make_unique<app::Inspection>(head, size, static_cast<std::uint64_t>(fileLength),
                                                 fileName);
  return answerWith(inspection->summary());
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectPixel(std::uint32_t x, std::uint32_t y) {
  return answerWith(inspection->pixel(x, y));
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectByte(double offset) {
  return answerWith(inspection->byte(static_cast<std::uint64_t>(offset)));
}

// The windows of the report around count lines, in order (app/inspect.h).
extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectWindows(const double* lines, std::size_t count,
                                                           double before, double after) {
  std::vector<std::uint64_t> wanted;
  for (std::size_t i = 0; i < count; ++i) wanted.push_back(static_cast<std::uint64_t>(lines[i]));
  return answerWith(inspection->windows(wanted, static_cast<std::uint64_t>(before),
                                        static_cast<std::uint64_t>(after)));
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectPlace(double line, double column) {
  return answerWith(
      inspection->place(static_cast<std::uint64_t>(line), static_cast<std::uint64_t>(column)));
}
