// The run sequence of quillfen-compare: the command line, both files opened, the comparison,
// its lines through the output buffer, and the exit status.
#include "app/compare_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/compare_answers.h"
#include "bitmap/source.h"
#include "compare/comparison.h"
#include "compare/lines.h"
#include "decode/input.h"

namespace app {

namespace {

constexpr const char* kProgram = "quillfen-compare";

int trouble(const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", kProgram, why.c_str());
  return kTrouble;
}

}  // namespace

int runCompare(int argc, const char* const* argv, report::Sink& out) {
  if (argc != 3) {
    // A program started with no arguments at all has no argv[0] to echo.
    std::fprintf(stderr, "usage: %s A.bmp B.bmp\n",
                 argc > 0 && argv[0] != nullptr ? argv[0] : kProgram);
    return kTrouble;
  }
  bitmap::Source files[2];
  for (int i = 0; i < 2; ++i) {
    errno = 0;
    if (!files[i].open(argv[1 + i])) {
      const int error = errno;
      return trouble(std::string("cannot open ") + argv[1 + i] + ": " +
                     (error != 0 ? std::strerror(error) : "not a file that can be read"));
    }
  }
  decode::SourceInput inputA(files[0]);
  decode::SourceInput inputB(files[1]);
  const compare::Comparison comparison = compare::compareFiles(inputA, inputB);
  if (!comparison.a.bitmap || !comparison.b.bitmap) {
    const bool refusedB = comparison.a.bitmap;
    return trouble(std::string(argv[refusedB ? 2 : 1]) + ": " +
                   compare::refusal(refusedB ? comparison.b : comparison.a));
  }
  for (const std::string& line : compare::comparisonLines(comparison)) {
    out.put(line);
    out.put("\n");
  }
  // A reader that closed the pipe early ends the run by SIGPIPE where that is not ignored;
  // where it is (and on Windows), EPIPE is trouble like any other, with its line, as cmp's.
  if (!out.finish())
    return trouble(std::string("cannot write the comparison: ") + std::strerror(out.error()));
  return comparison.same ? kSame : kDiffer;
}

}  // namespace app
