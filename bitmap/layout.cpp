// The format's own pixel layout, computed from the header as stored.
#include "bitmap/layout.h"

#include <algorithm>

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

bool hasFixedOffsets(const PixelLayout& layout) {
  switch (layout.bits) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      return !layout.compressed;
    default:
      return false;
  }
}

PixelBytes pixelBytes(const PixelLayout& layout, std::uint32_t x, std::uint32_t y) {
  // Rows are stored bottom-up unless the height is negative.
  const std::uint32_t row = layout.topDown ? y : layout.height - 1 - y;
  const std::uint64_t rowStart = layout.start + std::uint64_t{row} * layout.rowBytes;
  PixelBytes pixel;
  if (layout.bits >= 8) {
    pixel.offset = rowStart + std::uint64_t{x} * (layout.bits / 8);
    pixel.count = layout.bits / 8u;
    return pixel;
  }
  // Smaller pixels fill each byte from its high bits down.
  const std::uint32_t perByte = 8u / layout.bits;
  pixel.offset = rowStart + x / perByte;
  pixel.count = 1;
  pixel.shift = 8u - layout.bits * (x % perByte + 1);
  return pixel;
}

BytePixels bytePixels(const PixelLayout& layout, std::uint64_t offset) {
  BytePixels pixels;
  if (offset < layout.start || layout.rowBytes == 0) return pixels;
  const std::uint64_t row = (offset - layout.start) / layout.rowBytes;
  const std::uint64_t inRow = (offset - layout.start) % layout.rowBytes;
  if (row >= layout.height) return pixels;
  // The row's pixel bytes; the rest pads it to a whole number of 32-bit words.
  const std::uint64_t dataBytes = (std::uint64_t{layout.width} * layout.bits + 7) / 8;
  if (inRow >= dataBytes) {
    pixels.kind = BytePixels::Kind::kPadding;
    return pixels;
  }
  pixels.kind = BytePixels::Kind::kPixels;
  pixels.y = static_cast<std::uint32_t>(layout.topDown ? row : layout.height - 1 - row);
  if (layout.bits >= 8) {
    pixels.x = static_cast<std::uint32_t>(inRow / (layout.bits / 8));
    pixels.count = 1;
  } else {
    const std::uint32_t perByte = 8u / layout.bits;
    pixels.x = static_cast<std::uint32_t>(inRow * perByte);
    pixels.count = std::min(perByte, layout.width - pixels.x);
  }
  return pixels;
}

}  // namespace bitmap
