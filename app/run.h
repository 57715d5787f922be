// One whole run of the tool: command line in, report out, exit status back.
#pragma once

#include "bitmap/source.h"
#include "report/sink.h"

namespace app {

constexpr int kRefused = -1;

// Checks the command line, opens argv[1] and reports on it. Ends by flushing the report;
// a report that could not be written makes the run fail with one line on standard error
// (none when the reader closed the pipe early).
int run(int argc, const char* const* argv, report::Sink& out);

// Everything after the file is open: headers, banner, magic test and the report sections.
int runReport(bitmap::Source& file, const char* fileName, report::Sink& out);

}  // namespace app
