// Writes the shipped sample bitmap to the path given.
#include <cstdio>

#include "tests/support/bmp_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
    return 2;
  }
  return testing_support::writeFile(argv[1], testing_support::sampleBitmap()) ? 0 : 1;
}
