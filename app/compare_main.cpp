// Entry point of quillfen-compare: the comparison goes to standard output. On Windows the
// command line is taken wide and handed on as UTF-8, and lines end in CR LF.
#include <cstdio>

#include "app/compare_run.h"

#ifdef _WIN32
#include "app/console.h"

int wmain(int argc, wchar_t** argv) { return app::runWide(argc, argv, app::runCompare); }

#else

int main(int argc, char** argv) {
  report::Sink out(stdout);
  return app::runCompare(argc, argv, out);
}

#endif
