// Entry point of the WebAssembly builds (the page's workers and the Node package): runs whose
// report JavaScript receives block by block, and the inspector's questions, through wasm_api.js.
// The decoder's entry points live in wasm_decode.cpp; what only the page's build can run, in
// wasm_filling.cpp.
#include <emscripten.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/inspect.h"
#include "app/run.h"
#include "app/wasm_answer.h"
#include "app/wasm_blocks.h"
#include "bitmap/records.h"

namespace {

EM_JS(int, deliverBlock, (const char* data, std::size_t size),
      { return Module.deliverReportBlock(HEAPU8.subarray(data, data + size)); });

}  // namespace

int app::writeBlockToCaller(const char* data, std::size_t size) { return deliverBlock(data, size); }

namespace {

// The last answer, valid until the next call.
std::string answer;

}  // namespace

const char* app::answerWith(std::string json) {
  answer = std::move(json);
  return answer.c_str();
}

std::uint64_t app::wholeNumber(double value) {
  constexpr double kPast64Bits = 18446744073709551616.0;
  if (!(value >= 0 && value < kPast64Bits) || std::floor(value) != value) return UINT64_MAX;
  return static_cast<std::uint64_t>(value);
}

namespace {

using app::answerWith;
using app::wholeNumber;

// The file the inspector asks about.
std::unique_ptr<app::Inspection> inspection;

// The open file's answer to a question, or a refusal when none is open.
template <class Question>
const char* ask(const Question& question) {
  return answerWith(inspection != nullptr ? question(*inspection)
                                          : app::refusal("no file is open to inspect"));
}

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

// A whole run on a command line, argv[0] the program's name: the report, or the usage line,
// or a refusal, and the exit status.
extern "C" EMSCRIPTEN_KEEPALIVE int runCommandLine(int argc, const char* const* argv) {
  report::Sink out(app::writeBlockToCaller);
  return app::run(argc, argv, out);
}

// A report on bytes in memory, as the content of a file called fileName.
extern "C" EMSCRIPTEN_KEEPALIVE int reportBytes(const std::uint8_t* data, std::size_t size,
                                                const char* fileName) {
  bitmap::Source file;
  file.openView(data, size);
  report::Sink out(app::writeBlockToCaller);
  const int status = app::runReport(file, fileName, out);
  return out.finish() ? status : app::kRefused;
}

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

// How many of a file's first bytes the inspector needs: its two header records.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t headBytes() { return bitmap::kHeadBytes; }

// Opens the inspector on a file of fileLength bytes whose first size bytes are at head,
// reported as fileName; returns the describe answer (app/inspect.h). The questions below are
// about this file until the next one is opened.
extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectOpen(const std::uint8_t* head, std::size_t size,
                                                        double fileLength, const char* fileName) {
  inspection = std::make_unique<app::Inspection>(head, size, wholeNumber(fileLength), fileName);
  return answerWith(inspection->describe());
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectPixel(double x, double y) {
  return ask(
      [&](const app::Inspection& file) { return file.pixel(wholeNumber(x), wholeNumber(y)); });
}

// offset: a decimal number, which may pass what a double holds exactly.
extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectByte(const char* offset) {
  return ask([&](const app::Inspection& file) { return file.byte(offset); });
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectPlace(double line, double column) {
  return ask([&](const app::Inspection& file) {
    return file.place(wholeNumber(line), wholeNumber(column));
  });
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectEntry(double index) {
  return ask([&](const app::Inspection& file) { return file.entry(wholeNumber(index)); });
}

// The excerpts of the report around count lines, in any order.
extern "C" EMSCRIPTEN_KEEPALIVE const char* inspectExcerpts(const double* lines, std::size_t count,
                                                            double before, double after) {
  std::vector<std::uint64_t> wanted;
  for (std::size_t i = 0; i < count; ++i) wanted.push_back(wholeNumber(lines[i]));
  return ask([&](const app::Inspection& file) {
    return file.excerpts(wanted, wholeNumber(before), wholeNumber(after));
  });
}
