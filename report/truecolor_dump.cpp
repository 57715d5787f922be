// The 24-bit dump: every pixel as red.green.blue in decimal.
#include <array>

#include "report/dump_items.h"
#include "report/row_walk.h"
#include "report/sections.h"

namespace report {

void printTrueColorDump(RunState& run, Sink& out) {
  out.put("\n");
  out.put("\n === Bitmap Data ===");
  run.file.seekSet(static_cast<std::uint32_t>(run.fileHeader.bfOffBits));
  const auto width = static_cast<std::uint32_t>(run.info.bmiHeader.biWidth);
  const auto height = static_cast<std::uint32_t>(run.info.bmiHeader.biHeight);
  // Rows of 3 x width bytes are padded to a multiple of four: width mod 4 bytes.
  const RowWalk walk{width * height, width, width & 3u};
  std::array<std::uint8_t, 3> pixelTriple{};
  walkRows(run.file, out, walk, pixelTriple.data(), TripleItem{});
}

}  // namespace report
