// The BMP builder behind the tests, the shipped sample and the benchmark images.
#include "tests/support/bmp_builder.h"

#include <fstream>
#include <utility>

namespace testing_support {

BmpBuilder& BmpBuilder::type(char first, char second) {
  type_[0] = first;
  type_[1] = second;
  return *this;
}
BmpBuilder& BmpBuilder::bitCount(std::uint16_t bits) {
  bitCount_ = bits;
  return *this;
}
BmpBuilder& BmpBuilder::size(std::int32_t width, std::int32_t height) {
  width_ = width;
  height_ = height;
  return *this;
}
BmpBuilder& BmpBuilder::palette(std::vector<bitmap::RgbQuad> entries) {
  palette_ = std::move(entries);
  return *this;
}
BmpBuilder& BmpBuilder::extraHeader(std::vector<std::uint8_t> bytes) {
  extraHeader_ = std::move(bytes);
  return *this;
}
BmpBuilder& BmpBuilder::pixels(std::vector<std::uint8_t> bytes) {
  pixels_ = std::move(bytes);
  return *this;
}
BmpBuilder& BmpBuilder::bfSize(std::int32_t value) {
  bfSize_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::bfOffBits(std::int32_t value) {
  bfOffBits_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::biSize(std::int32_t value) {
  biSize_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::biPlanes(std::uint16_t value) {
  biPlanes_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::biCompression(std::uint32_t value) {
  biCompression_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::biSizeImage(std::int32_t value) {
  biSizeImage_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::biClrUsed(std::int32_t value) {
  biClrUsed_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::biClrImportant(std::int32_t value) {
  biClrImportant_ = value;
  return *this;
}
BmpBuilder& BmpBuilder::pelsPerMeter(std::int32_t x, std::int32_t y) {
  xPelsPerMeter_ = x;
  yPelsPerMeter_ = y;
  return *this;
}

std::vector<std::uint8_t> BmpBuilder::build() const {
  const std::size_t offBits = 54 + extraHeader_.size() + 4 * palette_.size();
  std::vector<std::uint8_t> bytes(offBits, 0);
  const auto u32 = [](std::int64_t v) { return static_cast<std::uint32_t>(v); };
  bytes[0] = static_cast<std::uint8_t>(type_[0]);
  bytes[1] = static_cast<std::uint8_t>(type_[1]);
  putU32(bytes, 2, u32(bfSize_.value_or(static_cast<std::int32_t>(offBits + pixels_.size()))));
  putU32(bytes, 10, u32(bfOffBits_.value_or(static_cast<std::int32_t>(offBits))));
  putU32(bytes, 14, u32(biSize_));
  putU32(bytes, 18, u32(width_));
  putU32(bytes, 22, u32(height_));
  putU16(bytes, 26, biPlanes_);
  putU16(bytes, 28, bitCount_);
  putU32(bytes, 30, biCompression_);
  putU32(bytes, 34, u32(biSizeImage_.value_or(static_cast<std::int32_t>(pixels_.size()))));
  putU32(bytes, 38, u32(xPelsPerMeter_));
  putU32(bytes, 42, u32(yPelsPerMeter_));
  putU32(bytes, 46, u32(biClrUsed_.value_or(static_cast<std::int32_t>(palette_.size()))));
  putU32(bytes, 50, u32(biClrImportant_));
  std::size_t at = 54;
  for (std::uint8_t b : extraHeader_) bytes[at++] = b;
  for (const bitmap::RgbQuad& entry : palette_) {
    bytes[at++] = entry.rgbBlue;
    bytes[at++] = entry.rgbGreen;
    bytes[at++] = entry.rgbRed;
    bytes[at++] = entry.rgbReserved;
  }
  bytes.insert(bytes.end(), pixels_.begin(), pixels_.end());
  return bytes;
}

void putU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

std::size_t padOf(std::size_t rowBytes) { return (4 - rowBytes % 4) % 4; }

std::vector<std::uint8_t> sampleBitmap() {
  // A grey ramp for the table and a diagonal stripe pattern, rows already multiples of 4.
  std::vector<bitmap::RgbQuad> palette;
  for (int i = 0; i < 16; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 17);
    palette.push_back({level, level, level, 0});
  }
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) pixels.push_back(static_cast<std::uint8_t>((x + y * 3) % 16));
  }
  return BmpBuilder()
      .bitCount(8)
      .size(8, 4)
      .palette(palette)
      .pixels(pixels)
      .biClrImportant(16)
      .build();
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace testing_support
