// The walks of the pixel dumps: the row arithmetic of the 1-bit, indexed and 24-bit dumps.
#include "report/dump_walks.h"

namespace report {

std::vector<DumpWalk> dumpWalks(const bitmap::BitmapFileHeader& file,
                                const bitmap::BitmapInfoHeader& info) {
  constexpr std::string_view kIndexed = "Bitmap Data[Indexed data]";
  constexpr std::string_view kTranslated = "Bitmap Data[RGB translated]";
  const auto start = std::uint64_t{static_cast<std::uint32_t>(file.bfOffBits)};
  const auto width = static_cast<std::uint32_t>(info.biWidth);
  const auto height = static_cast<std::uint32_t>(info.biHeight);
  if (info.biBitCount == 24) {
    // Rows of 3 x width bytes are padded to a multiple of four: width mod 4 bytes.
    return {{"Bitmap Data", ItemKind::kTriple, start, RowWalk{width * height, width, width & 3u}}};
  }
  // Both dumps of a path share these. The padding is worked out as if every pixel took one
  // byte, and the count comes from bfSize, all in 32-bit wrap-around arithmetic.
  const std::uint32_t rowPad = (0u - width) & 3u;
  const std::uint32_t dataCount = static_cast<std::uint32_t>(file.bfSize) - rowPad * height -
                                  static_cast<std::uint32_t>(file.bfOffBits);
  switch (info.biBitCount) {
    case 1:
      // Eight pixels to a byte; the shift keeps the sign, as the row count of a byte dump.
      return {{kIndexed, ItemKind::kBitPicture, start,
               RowWalk{dataCount, static_cast<std::uint32_t>(info.biWidth >> 3), rowPad}},
              {kTranslated, ItemKind::kTranslated, start, RowWalk{dataCount, width, rowPad}}};
    case 4:
    case 8:
    case 16:
      return {{kIndexed, ItemKind::kHex, start, RowWalk{dataCount, width, rowPad}},
              {kTranslated, ItemKind::kTranslated, start, RowWalk{dataCount, width, rowPad}}};
    default:
      return {};
  }
}

}  // namespace report
