// The on-disk BMP header records and their decoding from raw little-endian blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace bitmap {

constexpr std::size_t kFileHeaderSize = 14;
// The 40-byte BITMAPINFOHEADER and the first colour-table entry, read as one block.
constexpr std::size_t kInfoSize = 44;
// Where the colour table follows a 40-byte info header; the table is always read from here.
constexpr std::uint64_t kColorTableOffset = 54;
// The two header records as a run reads them: all that is needed to lay out a file's report.
constexpr std::size_t kHeadBytes = kFileHeaderSize + kInfoSize;

using FileHeaderBlock = std::array<std::uint8_t, kFileHeaderSize>;

// Where each field of the two header records lies in the file: its name, offset and width.
struct FieldLayout {
  const char* name;
  std::uint32_t offset;
  std::uint32_t width;
};

// Every field of BITMAPFILEHEADER and BITMAPINFOHEADER, in file order. The decoders read each
// field from here.
inline constexpr std::array<FieldLayout, 16> kFieldLayout = {{
    {"bfType", 0, 2},
    {"bfSize", 2, 4},
    {"bfReserved1", 6, 2},
    {"bfReserved2", 8, 2},
    {"bfOffBits", 10, 4},
    {"biSize", 14, 4},
    {"biWidth", 18, 4},
    {"biHeight", 22, 4},
    {"biPlanes", 26, 2},
    {"biBitCount", 28, 2},
    {"biCompression", 30, 4},
    {"biSizeImage", 34, 4},
    {"biXPelsPerMeter", 38, 4},
    {"biYPelsPerMeter", 42, 4},
    {"biClrUsed", 46, 4},
    {"biClrImportant", 50, 4},
}};

// The layout of the field called name.
constexpr const FieldLayout& field(std::string_view name) {
  for (const FieldLayout& entry : kFieldLayout) {
    if (name == entry.name) return entry;
  }
  throw "no such field";
}
using InfoBlock = std::array<std::uint8_t, kInfoSize>;

struct RgbQuad {
  std::uint8_t rgbBlue = 0;
  std::uint8_t rgbGreen = 0;
  std::uint8_t rgbRed = 0;
  std::uint8_t rgbReserved = 0;
};

struct BitmapFileHeader {
  std::array<std::uint8_t, 2> bfType{};
  std::int32_t bfSize = 0;
  std::uint16_t bfReserved1 = 0;
  std::uint16_t bfReserved2 = 0;
  std::int32_t bfOffBits = 0;
};

// Whether the file header names a bitmap: "BM". Anything else is refused.
constexpr bool isBitmap(const BitmapFileHeader& file) {
  return file.bfType[0] == 'B' && file.bfType[1] == 'M';
}

struct BitmapInfoHeader {
  std::int32_t biSize = 0;
  std::int32_t biWidth = 0;   // negative widths are invalid but still used as read
  std::int32_t biHeight = 0;  // negative means rows stored top-down
  std::uint16_t biPlanes = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;  // a code: compared unsigned, printed signed
  std::int32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::int32_t biClrUsed = 0;
  std::int32_t biClrImportant = 0;
};

struct BitmapInfo {
  BitmapInfoHeader bmiHeader;
  RgbQuad bmiColors;
};

constexpr std::uint16_t loadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

constexpr std::uint32_t loadU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

constexpr std::int32_t loadI32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(loadU32(p));
}

constexpr RgbQuad decodeRgbQuad(const std::uint8_t* p) { return RgbQuad{p[0], p[1], p[2], p[3]}; }

BitmapFileHeader decodeFileHeader(const FileHeaderBlock& block);
BitmapInfo decodeInfo(const InfoBlock& block);

// Both records from the first size bytes of a file, zero-filled past them as a run reads a
// short file.
struct Headers {
  BitmapFileHeader file;
  BitmapInfoHeader info;
};
Headers decodeHeaders(const std::uint8_t* head, std::size_t size);

}  // namespace bitmap
