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

}  // namespace bitmap
