// The format's own pixel layout, computed from the header as stored, in 64-bit arithmetic that
// says when it would overflow.
#include "bitmap/layout.h"

#include <algorithm>

namespace bitmap {

namespace {

std::uint32_t magnitude(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return value < 0 ? 0u - bits : bits;
}

// a + b and a x b, false when the result would pass 2^64 - 1.
bool add(std::uint64_t a, std::uint64_t b, std::uint64_t& result) {
  if (b > UINT64_MAX - a) return false;
  result = a + b;
  return true;
}

bool multiply(std::uint64_t a, std::uint64_t b, std::uint64_t& result) {
  if (a != 0 && b > UINT64_MAX / a) return false;
  result = a * b;
  return true;
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
  // At most 2^31 x (2^16 - 1) bits: no overflow here.
  layout.rowBytes = (std::uint64_t{layout.width} * layout.bits + 31) / 32 * 4;
  std::uint64_t rows = 0;
  if (!layout.compressed) {
    layout.endBeyondAnyFile =
        !multiply(layout.rowBytes, layout.height, rows) || !add(layout.start, rows, layout.end);
    if (layout.endBeyondAnyFile) layout.end = UINT64_MAX;
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
  PixelBytes pixel;
  // Rows are stored bottom-up unless the height is negative.
  pixel.row = layout.topDown ? y : layout.height - 1 - y;
  if (layout.bits >= 8) {
    pixel.count = layout.bits / 8u;
    pixel.inRow = std::uint64_t{x} * pixel.count;
  } else {
    // Smaller pixels fill each byte from its high bits down.
    const std::uint32_t perByte = 8u / layout.bits;
    pixel.count = 1;
    pixel.inRow = x / perByte;
    pixel.shift = 8u - layout.bits * (x % perByte + 1);
  }
  // Up to 2^32 + 2^31 x 2^34 + 2^33 at 32 bits: past 64 bits for the largest headers.
  std::uint64_t rowStart = 0;
  std::uint64_t last = 0;
  pixel.beyondAnyFile =
      !multiply(pixel.row, layout.rowBytes, rowStart) || !add(rowStart, layout.start, rowStart) ||
      !add(rowStart, pixel.inRow, pixel.offset) || !add(pixel.offset, pixel.count - 1, last);
  return pixel;
}

BytePixels bytePixels(const PixelLayout& layout, std::uint64_t offset) {
  BytePixels pixels;
  if (offset < layout.start || layout.rowBytes == 0) return pixels;
  const std::uint64_t row = (offset - layout.start) / layout.rowBytes;
  const std::uint64_t inRow = (offset - layout.start) % layout.rowBytes;
  if (row >= layout.height) return pixels;
  pixels.row = static_cast<std::uint32_t>(row);
  pixels.y = layout.topDown ? pixels.row : layout.height - 1 - pixels.row;
  // The row's pixel bytes; the rest pads it to a whole number of 32-bit words.
  const std::uint64_t dataBytes = (std::uint64_t{layout.width} * layout.bits + 7) / 8;
  if (inRow >= dataBytes) {
    pixels.kind = BytePixels::Kind::kPadding;
    return pixels;
  }
  pixels.kind = BytePixels::Kind::kPixels;
  if (layout.bits >= 8) {
    const std::uint32_t bytes = layout.bits / 8u;
    pixels.x = static_cast<std::uint32_t>(inRow / bytes);
    pixels.inPixel = static_cast<std::uint32_t>(inRow % bytes);
    pixels.count = 1;
  } else {
    const std::uint32_t perByte = 8u / layout.bits;
    pixels.x = static_cast<std::uint32_t>(inRow * perByte);
    pixels.count = std::min(perByte, layout.width - pixels.x);
  }
  return pixels;
}

}  // namespace bitmap
