// The 24-bit dump: every pixel as red.green.blue in decimal.
#include <array>

#include "report/dump_items.h"
#include "report/dump_walks.h"
#include "report/sections.h"

namespace report {

void printTrueColorDump(RunState& run, Sink& out, const DumpWalk& dump) {
  // This dump's own read buffer: blue, green, red as stored.
  std::array<std::uint8_t, 3> pixelTriple{};
  printDump(run.file, out, dump, pixelTriple.data(), TripleItem{});
}

}  // namespace report
