// Entry point: the report goes to standard output. On Windows the command line is taken wide
// and handed on as UTF-8, and the report goes out in whole blocks with CR LF line ends.
#include <cstdio>

#include "app/run.h"

#ifdef _WIN32
#include "app/console.h"

int wmain(int argc, wchar_t** argv) { return app::runWide(argc, argv, app::run); }

#else

int main(int argc, char** argv) {
  report::Sink out(stdout);
  return app::run(argc, argv, out);
}

#endif
