// The comparison's WebAssembly entry points, in both builds: quillfen-compare's whole run on a
// command line, and two files compared, each opened from bytes the core holds, a path or a
// read function in JavaScript. wasm_compare.js is their JavaScript face, and documents them;
// app/compare_answers.h documents the answer.
#include <emscripten.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/compare_answers.h"
#include "app/compare_run.h"
#include "app/inspect.h"
#include "app/wasm_answer.h"
#include "app/wasm_blocks.h"
#include "app/wasm_files.h"
#include "compare/comparison.h"

namespace {

// The two files of the next comparison, A and B.
std::unique_ptr<app::WasmFile> files[2];

// Sets file 0 (A) or 1 (B) to next; 0 when next is null or file names neither.
int place(int file, std::unique_ptr<app::WasmFile> next) {
  if (file != 0 && file != 1) return 0;
  files[file] = std::move(next);
  return files[file] != nullptr ? 1 : 0;
}

// A bound as given, the command's own when it is NaN (undefined in JavaScript), or SIZE_MAX
// for anything but a whole number up to kMostListed.
std::size_t listBound(double value, std::size_t fallback) {
  if (std::isnan(value)) return fallback;
  const std::uint64_t whole = app::wholeNumber(value);
  return whole <= app::kMostListed ? static_cast<std::size_t>(whole) : SIZE_MAX;
}

}  // namespace

// quillfen-compare's whole run on a command line, argv[0] the program's name: the lines to
// JavaScript's function block by block, a line on standard error for trouble, and the exit
// status (0, 1 or 2).
extern "C" EMSCRIPTEN_KEEPALIVE int runCompareCommandLine(int argc, const char* const* argv) {
  report::Sink out(app::writeBlockToCaller);
  return app::runCompare(argc, argv, out);
}

// Sets file 0 (A) or 1 (B) of the next comparison to size bytes held at data, which stay there
// until the comparison is run or the files cleared. 1 when set.
extern "C" EMSCRIPTEN_KEEPALIVE int compareSetHeld(int file, const std::uint8_t* data,
                                                   std::size_t size) {
  return place(file, app::heldFile(data, size));
}

// Sets file 0 or 1 to the file at path (UTF-8); 0 when it cannot be opened.
extern "C" EMSCRIPTEN_KEEPALIVE int compareSetPath(int file, const char* path) {
  return place(file, app::pathFile(path));
}

// Sets file 0 or 1 to a file of size bytes that Module.fileReaders[1 + file](offset, target)
// reads; 0 when size is not a whole number.
extern "C" EMSCRIPTEN_KEEPALIVE int compareSetReader(int file, double size) {
  const app::FileReader reader = file == 0 ? app::kCompareReaderA : app::kCompareReaderB;
  return place(file, app::readerFile(reader, size));
}

// The most pixels or entries compareRun lists.
extern "C" EMSCRIPTEN_KEEPALIVE double compareListLimit() {
  return static_cast<double>(app::kMostListed);
}

// Compares the two files set, listing at most pixels pixels and entries entries (NaN for the
// command's own bounds), and lets go of both: the comparison answer, or a refusal.
extern "C" EMSCRIPTEN_KEEPALIVE const char* compareRun(double pixels, double entries) {
  const compare::Bounds defaults;
  compare::Bounds bounds;
  bounds.pixels = listBound(pixels, defaults.pixels);
  bounds.entries = listBound(entries, defaults.entries);
  std::string answer;
  if (files[0] == nullptr || files[1] == nullptr) {
    answer = app::refusal("both files must be set before they are compared");
  } else if (bounds.pixels == SIZE_MAX || bounds.entries == SIZE_MAX) {
    answer = app::refusal("the pixels and entries listed must be whole numbers from 0 to " +
                          std::to_string(app::kMostListed));
  } else {
    answer = app::comparisonAnswer(
        compare::compareFiles(*files[0]->input, *files[1]->input, bounds), bounds);
  }
  files[0].reset();
  files[1].reset();
  return app::answerWith(std::move(answer));
}

// Lets go of both files without comparing them.
extern "C" EMSCRIPTEN_KEEPALIVE void compareClear() {
  files[0].reset();
  files[1].reset();
}
