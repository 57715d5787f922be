// The entry points' console on Windows: the wide command line handed on as UTF-8, and the
// output written to the standard output handle in whole blocks with CR LF line ends.
#pragma once

#ifdef _WIN32
#include "report/sink.h"

namespace app {

// A program's run: the command line as UTF-8, its output to out, its exit status back.
using Run = int (*)(int argc, const char* const* argv, report::Sink& out);

// Runs run on the wide command line, with a console that shows UTF-8 while it does.
int runWide(int argc, wchar_t** argv, Run run);

}  // namespace app
#endif
