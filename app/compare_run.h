// One whole run of quillfen-compare: two paths in, the comparison's lines out, the exit
// status of cmp and diff back.
#pragma once

#include "report/sink.h"

namespace app {

constexpr int kSame = 0;
constexpr int kDiffer = 1;
constexpr int kTrouble = 2;

// Checks the command line, opens argv[1] and argv[2], compares them and prints the lines.
// kSame when no header field, table entry or pixel differs; kDiffer when one does; kTrouble,
// with one line on standard error, for a wrong argument count, a file that cannot be opened
// or is not a BMP, or output that cannot be written.
int runCompare(int argc, const char* const* argv, report::Sink& out);

}  // namespace app
