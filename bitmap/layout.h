// Where a picture's stored pixels lie, as the format lays them out: rows of whole 32-bit words
// from bfOffBits, bottom-up unless the height is negative.
#pragma once

#include <cstdint>

#include "bitmap/records.h"

namespace bitmap {

struct PixelLayout {
  std::uint64_t start = 0;     // bfOffBits, taken as unsigned
  std::uint32_t width = 0;     // |biWidth|
  std::uint32_t height = 0;    // |biHeight|
  std::uint16_t bits = 0;      // biBitCount
  bool topDown = false;        // biHeight < 0
  bool compressed = false;     // the pixels are not at fixed offsets (RLE, JPEG, PNG)
  std::uint64_t rowBytes = 0;  // ((width x bits + 31) / 32) x 4
  // Where the stored pixels end: start plus every row, or plus biSizeImage when compressed
  // (the file's length when that is 0). Past the file for a file cut short.
  std::uint64_t end = 0;
};

PixelLayout pixelLayout(const BitmapFileHeader& file, const BitmapInfoHeader& info,
                        std::uint64_t fileLength);

// Whether pixels of this layout lie at offsets the header fixes: uncompressed, of a depth the
// format defines (1, 2, 4, 8, 16, 24 or 32 bits).
bool hasFixedOffsets(const PixelLayout& layout);

// Where the pixel at x, y is stored, x and y as the picture shows it (0, 0 at the top left, both
// within its size): its first byte and how many it takes, and for pixels smaller than a byte
// which bits of it (the pixel is byte >> shift & ((1 << bits) - 1)).
struct PixelBytes {
  std::uint64_t offset = 0;
  std::uint32_t count = 0;
  std::uint32_t shift = 0;
};
PixelBytes pixelBytes(const PixelLayout& layout, std::uint32_t x, std::uint32_t y);

// The pixels whose bits the byte at offset holds: the first, how many (more than one for
// pixels smaller than a byte), and the row; none for a byte before the pixels, past their
// rows, or in a row's padding.
struct BytePixels {
  enum class Kind { kPixels, kPadding, kOutside } kind = Kind::kOutside;
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint32_t count = 0;
};
BytePixels bytePixels(const PixelLayout& layout, std::uint64_t offset);

}  // namespace bitmap
