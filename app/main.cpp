// Entry point: the report goes to standard output.
#include <cstdio>

#include "app/run.h"

int main(int argc, char** argv) {
  report::Sink out(stdout);
  return app::run(argc, argv, out);
}
