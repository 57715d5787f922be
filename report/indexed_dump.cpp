// The choice of dump, and the 1-bit and indexed (4, 8, 16-bit) dumps: raw bytes, then colours.
#include "report/dump_items.h"
#include "report/row_walk.h"
#include "report/sections.h"

namespace report {
namespace {

constexpr std::string_view kIndexedHeader = "\n === Bitmap Data[Indexed data] ===";
constexpr std::string_view kTranslatedHeader = "\n === Bitmap Data[RGB translated] ===";

struct IndexedRows {
  std::uint32_t rowPad;
  std::uint32_t dataCount;
};

// Both dumps of a path share these. The padding is worked out as if every pixel took one
// byte, and the count comes from bfSize, all in 32-bit wrap-around arithmetic.
IndexedRows indexedRows(const RunState& run) {
  const auto width = static_cast<std::uint32_t>(run.info.bmiHeader.biWidth);
  const auto height = static_cast<std::uint32_t>(run.info.bmiHeader.biHeight);
  const std::uint32_t rowPad = (0u - width) & 3u;
  const std::uint32_t dataCount = static_cast<std::uint32_t>(run.fileHeader.bfSize) -
                                  rowPad * height -
                                  static_cast<std::uint32_t>(run.fileHeader.bfOffBits);
  return {rowPad, dataCount};
}

template <class Format>
void dumpBytes(RunState& run, Sink& out, std::string_view header, std::uint32_t rowLength,
               const IndexedRows& rows, const Format& format) {
  out.put("\n");
  out.put(header);
  // An offset of 2^31 or more is a position far out, not a negative seek.
  run.file.seekSet(static_cast<std::uint32_t>(run.fileHeader.bfOffBits));
  walkRows(run.file, out, RowWalk{rows.dataCount, rowLength, rows.rowPad}, &run.pixelByte, format);
}

void printOneBitDumps(RunState& run, Sink& out) {
  const std::int32_t width = run.info.bmiHeader.biWidth;
  const IndexedRows rows = indexedRows(run);
  // Eight pixels to a byte; the shift keeps the sign, as the row count of a byte dump.
  dumpBytes(run, out, kIndexedHeader, static_cast<std::uint32_t>(width >> 3), rows,
            BitPictureItem{});
  dumpBytes(run, out, kTranslatedHeader, static_cast<std::uint32_t>(width), rows,
            TranslatedItem(run.palette));
}

void printIndexedDumps(RunState& run, Sink& out) {
  const auto width = static_cast<std::uint32_t>(run.info.bmiHeader.biWidth);
  const IndexedRows rows = indexedRows(run);
  dumpBytes(run, out, kIndexedHeader, width, rows, HexItem{});
  dumpBytes(run, out, kTranslatedHeader, width, rows, TranslatedItem(run.palette));
}

}  // namespace

void printPixelDump(RunState& run, Sink& out) {
  switch (run.info.bmiHeader.biBitCount) {
    case 1:
      printOneBitDumps(run, out);
      break;
    case 4:
    case 8:
    case 16:
      printIndexedDumps(run, out);
      break;
    case 24:
      printTrueColorDump(run, out);
      break;
    default:
      break;
  }
}

}  // namespace report
