// Where a picture's stored pixels lie, as the format lays them out: rows of whole 32-bit words
// from bfOffBits, bottom-up unless the height is negative. Offsets are exact in 64 bits; one
// that would pass 2^64 - 1 lies beyond any file and is said to, never wrapped.
#pragma once

#include <cstdint>

#include "bitmap/records.h"

namespace bitmap {

struct PixelLayout {
  std::uint64_t start = 0;     // bfOffBits, taken as unsigned
  std::uint32_t width = 0;     // |biWidth|, up to 2^31
  std::uint32_t height = 0;    // |biHeight|, up to 2^31
  std::uint16_t bits = 0;      // biBitCount
  bool topDown = false;        // biHeight < 0
  bool compressed = false;     // the pixels are not at fixed offsets (RLE, JPEG, PNG)
  std::uint64_t rowBytes = 0;  // ((width x bits + 31) / 32) x 4, under 2^45
  // Where the stored pixels end: start plus every row, or plus biSizeImage when compressed
  // (the file's length when that is 0). Past the file for a file cut short; UINT64_MAX with
  // endBeyondAnyFile when the rows would pass 2^64 - 1.
  std::uint64_t end = 0;
  bool endBeyondAnyFile = false;
};

PixelLayout pixelLayout(const BitmapFileHeader& file, const BitmapInfoHeader& info,
                        std::uint64_t fileLength);

// Whether pixels of this layout lie at offsets the header fixes: uncompressed, of a depth the
// format defines (1, 2, 4, 8, 16, 24 or 32 bits).
bool hasFixedOffsets(const PixelLayout& layout);

// Where the pixel at x, y is stored, x and y as the picture shows it (0, 0 at the top left, both
// within its size, the layout with fixed offsets): its first byte and how many it takes, and for
// pixels smaller than a byte which bits of it (the pixel is byte >> shift & ((1 << bits) - 1));
// its row as stored and its first byte's place in that row, both from 0.
struct PixelBytes {
  std::uint64_t offset = 0;  // meaningless when beyondAnyFile
  std::uint32_t count = 0;
  std::uint32_t shift = 0;
  std::uint32_t row = 0;
  std::uint64_t inRow = 0;
  bool beyondAnyFile = false;  // its last byte would lie past 2^64 - 1
};
PixelBytes pixelBytes(const PixelLayout& layout, std::uint32_t x, std::uint32_t y);

// How many of count bytes from offset lie at or past the end of a file of fileLength bytes.
constexpr std::uint32_t missingBytes(std::uint64_t offset, std::uint32_t count,
                                     std::uint64_t fileLength) {
  if (offset >= fileLength) return count;
  const std::uint64_t inFile = fileLength - offset;
  return inFile >= count ? 0 : count - static_cast<std::uint32_t>(inFile);
}

// The pixels whose bits the byte at offset holds: the first, how many (more than one for
// pixels smaller than a byte, never past the row's width), which byte of the pixel it is, and
// its row (as stored, and as y); only the row for a byte in a row's padding; none for a byte
// before the pixels or past their rows.
struct BytePixels {
  enum class Kind { kPixels, kPadding, kOutside } kind = Kind::kOutside;
  std::uint32_t x = 0;
  std::uint32_t y = 0;  // also for padding
  std::uint32_t count = 0;
  std::uint32_t inPixel = 0;  // for pixels of more than one byte, from 0
  std::uint32_t row = 0;      // as stored, from 0
};
BytePixels bytePixels(const PixelLayout& layout, std::uint64_t offset);

}  // namespace bitmap
