// Builds BMP files byte by byte: a consistent file by default, any field overridable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/records.h"

namespace testing_support {

class BmpBuilder {
 public:
  BmpBuilder& type(char first, char second);
  BmpBuilder& bitCount(std::uint16_t bits);
  BmpBuilder& size(std::int32_t width, std::int32_t height);
  // Colour-table entries, stored right after the info header (and any extra header bytes).
  BmpBuilder& palette(std::vector<bitmap::RgbQuad> entries);
  // Bytes between the 40-byte info header and the table, as a larger info header has.
  BmpBuilder& extraHeader(std::vector<std::uint8_t> bytes);
  // The stored pixel data, row padding included.
  BmpBuilder& pixels(std::vector<std::uint8_t> bytes);

  // Fields that are otherwise derived from the content.
  BmpBuilder& bfSize(std::int32_t value);
  BmpBuilder& bfOffBits(std::int32_t value);
  BmpBuilder& biSize(std::int32_t value);
  BmpBuilder& biPlanes(std::uint16_t value);
  BmpBuilder& biCompression(std::uint32_t value);
  BmpBuilder& biSizeImage(std::int32_t value);
  BmpBuilder& biClrUsed(std::int32_t value);
  BmpBuilder& biClrImportant(std::int32_t value);
  BmpBuilder& pelsPerMeter(std::int32_t x, std::int32_t y);

  std::vector<std::uint8_t> build() const;

 private:
  char type_[2] = {'B', 'M'};
  std::uint16_t bitCount_ = 24;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::vector<bitmap::RgbQuad> palette_;
  std::vector<std::uint8_t> extraHeader_;
  std::vector<std::uint8_t> pixels_;
  std::optional<std::int32_t> bfSize_, bfOffBits_, biSizeImage_, biClrUsed_;
  std::int32_t biSize_ = 40;
  std::uint16_t biPlanes_ = 1;
  std::uint32_t biCompression_ = 0;
  std::int32_t biClrImportant_ = 0;
  std::int32_t xPelsPerMeter_ = 2835;
  std::int32_t yPelsPerMeter_ = 2835;
};

void putU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);
void putU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

// The bytes of the row padding that ends a row of rowBytes bytes.
std::size_t padOf(std::size_t rowBytes);

// The sample shipped in samples/: 8 x 4 pixels, 8 bits, a 16-colour table, valid throughout.
std::vector<std::uint8_t> sampleBitmap();

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace testing_support
