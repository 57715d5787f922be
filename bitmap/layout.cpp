// The format's own pixel layout, computed from the header as stored.
#include "bitmap/layout.h"

namespace bitmap {

namespace {

std::uint32_t magnitude(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return value < 0 ? 0u - bits : bits;
}

}  // namespace

PixelLayout pixelLayout(const BitmapFileHeader& file, const BitmapInfoHeader& info,
                        std::uint64_t fileLength) {
  PixelLayout layout;
  layout.start = static_cast<std::uint32_t>(file.bfOffBits);
  layout.width = magnitude(info.biWidth);
  layout.height = magnitude(info.biHeight);
  layout.bits = info.biBitCount;
  layout.topDown = info.biHeight < 0;
  // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS keep rows as they are; the others encode them.
  layout.compressed = info.biCompression != 0 && info.biCompression != 3 && info.biCompression != 6;
  // At most 2^32 x 2^16 bits: no overflow here.
  layout.rowBytes = (std::uint64_t{layout.width} * layout.bits + 31) / 32 * 4;
  if (!layout.compressed) {
    // Far beyond any file when the product would pass 64 bits.
    const bool huge = layout.height != 0 && layout.rowBytes > (UINT64_MAX >> 1) / layout.height;
    layout.end = huge ? UINT64_MAX : layout.start + layout.rowBytes * layout.height;
  } else if (info.biSizeImage != 0) {
    layout.end = layout.start + static_cast<std::uint32_t>(info.biSizeImage);
  } else {
    layout.end = fileLength;
  }
  return layout;
}

}  // namespace bitmap
