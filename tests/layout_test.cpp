// The record layout against the decoders, and the format's pixel layout: where each pixel of
// pictures of every fixed depth is stored, bottom-up and top-down, and back.
#include "bitmap/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "bitmap/records.h"

namespace {

// Each field of the layout is decoded from its place: bytes all different, high bits set.
TEST(Layout, EachFieldIsDecodedFromWhereTheLayoutPutsIt) {
  std::array<std::uint8_t, 58> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x80 + i);
  const auto [file, info] = bitmap::decodeHeaders(bytes.data(), bytes.size());
  const std::pair<std::string, std::uint32_t> decoded[] = {
      {"bfType", std::uint32_t{file.bfType[0]} | std::uint32_t{file.bfType[1]} << 8},
      {"bfSize", static_cast<std::uint32_t>(file.bfSize)},
      {"bfReserved1", file.bfReserved1},
      {"bfReserved2", file.bfReserved2},
      {"bfOffBits", static_cast<std::uint32_t>(file.bfOffBits)},
      {"biSize", static_cast<std::uint32_t>(info.biSize)},
      {"biWidth", static_cast<std::uint32_t>(info.biWidth)},
      {"biHeight", static_cast<std::uint32_t>(info.biHeight)},
      {"biPlanes", info.biPlanes},
      {"biBitCount", info.biBitCount},
      {"biCompression", info.biCompression},
      {"biSizeImage", static_cast<std::uint32_t>(info.biSizeImage)},
      {"biXPelsPerMeter", static_cast<std::uint32_t>(info.biXPelsPerMeter)},
      {"biYPelsPerMeter", static_cast<std::uint32_t>(info.biYPelsPerMeter)},
      {"biClrUsed", static_cast<std::uint32_t>(info.biClrUsed)},
      {"biClrImportant", static_cast<std::uint32_t>(info.biClrImportant)}};
  ASSERT_EQ(std::size(decoded), bitmap::kFieldLayout.size());
  std::uint32_t next = 0;
  for (std::size_t i = 0; i < bitmap::kFieldLayout.size(); ++i) {
    const bitmap::FieldLayout& field = bitmap::kFieldLayout[i];
    EXPECT_EQ(decoded[i].first, field.name);
    EXPECT_EQ(field.offset, next) << field.name;  // packed, in file order
    next = field.offset + field.width;
    std::uint32_t stored = 0;
    for (std::uint32_t b = 0; b < field.width; ++b)
      stored |= std::uint32_t{bytes[field.offset + b]} << (8 * b);
    EXPECT_EQ(decoded[i].second, stored) << field.name;
  }
  EXPECT_EQ(next, bitmap::kColorTableOffset);
}

bitmap::PixelLayout layoutOf(std::uint16_t bits, std::int32_t width, std::int32_t height) {
  bitmap::BitmapFileHeader file;
  file.bfOffBits = 118;
  bitmap::BitmapInfoHeader info;
  info.biBitCount = bits;
  info.biWidth = width;
  info.biHeight = height;
  return bitmap::pixelLayout(file, info, 1 << 20);
}

// Every pixel's bytes lead back to it; rows are padded to 32 bits and stored bottom-up unless
// the height is negative; pixels under a byte fill it from its high bits.
TEST(Layout, EveryPixelIsStoredWhereTheFormatSaysAndLeadsBack) {
  for (const int depth : {1, 2, 4, 8, 16, 24, 32}) {
    const auto bits = static_cast<std::uint16_t>(depth);
    for (const std::int32_t height : {3, -3}) {
      const bitmap::PixelLayout layout = layoutOf(bits, 13, height);
      ASSERT_TRUE(bitmap::hasFixedOffsets(layout));
      EXPECT_EQ(layout.rowBytes, (13u * bits + 31) / 32 * 4);
      for (std::uint32_t y = 0; y < 3; ++y) {
        const std::uint32_t storedRow = height < 0 ? y : 2 - y;
        for (std::uint32_t x = 0; x < 13; ++x) {
          const bitmap::PixelBytes pixel = bitmap::pixelBytes(layout, x, y);
          EXPECT_EQ(pixel.offset, 118 + storedRow * layout.rowBytes + x * bits / 8)
              << bits << " bits, " << x << ", " << y;
          EXPECT_EQ(pixel.count, std::max(1, bits / 8));
          EXPECT_EQ(pixel.shift, bits < 8 ? 8 - bits - x * bits % 8 : 0);
          EXPECT_EQ(pixel.row, storedRow);
          EXPECT_EQ(pixel.inRow, x * bits / 8);
          EXPECT_FALSE(pixel.beyondAnyFile);
          // Each of its bytes leads back to it; a byte of small pixels holds as many as fit,
          // never one past the width.
          for (std::uint32_t b = 0; b < pixel.count; ++b) {
            const bitmap::BytePixels back = bitmap::bytePixels(layout, pixel.offset + b);
            EXPECT_EQ(back.kind, bitmap::BytePixels::Kind::kPixels);
            EXPECT_EQ(back.y, y);
            EXPECT_EQ(back.row, storedRow);
            EXPECT_EQ(back.inPixel, b);
            const std::uint32_t perByte = bits < 8 ? 8u / bits : 1;
            EXPECT_EQ(back.x, x / perByte * perByte) << bits << " bits, " << x;
            EXPECT_EQ(back.count, std::min(perByte, 13 - back.x)) << bits << " bits, " << x;
          }
        }
        // What follows the row's pixels up to the next row is padding.
        const std::uint64_t rowStart = 118 + storedRow * layout.rowBytes;
        for (std::uint64_t at = rowStart + (13u * bits + 7) / 8; at < rowStart + layout.rowBytes;
             ++at) {
          const bitmap::BytePixels padding = bitmap::bytePixels(layout, at);
          EXPECT_EQ(padding.kind, bitmap::BytePixels::Kind::kPadding);
          EXPECT_EQ(padding.row, storedRow);
          EXPECT_EQ(padding.y, y);
        }
      }
      EXPECT_EQ(layout.end, 118 + 3 * layout.rowBytes);
      EXPECT_EQ(bitmap::bytePixels(layout, 117).kind, bitmap::BytePixels::Kind::kOutside);
      EXPECT_EQ(bitmap::bytePixels(layout, 118 + 3 * layout.rowBytes).kind,
                bitmap::BytePixels::Kind::kOutside);
    }
  }
  EXPECT_FALSE(bitmap::hasFixedOffsets(layoutOf(15, 4, 4)));
}

// Where the pixels end: after every row, or after biSizeImage bytes of compressed data (the
// file's end when that is 0); bit fields and alpha bit fields are not compressed.
TEST(Layout, ThePixelsEndAfterTheirRowsOrTheirCompressedSize) {
  bitmap::BitmapFileHeader file;
  file.bfOffBits = 118;
  bitmap::BitmapInfoHeader info;
  info.biBitCount = 8;
  info.biWidth = 8000;
  info.biHeight = 1000;
  info.biSizeImage = 500;
  for (const std::uint32_t compression : {0u, 3u, 6u, 1u, 2u, 4u, 5u}) {
    info.biCompression = compression;
    const bitmap::PixelLayout layout = bitmap::pixelLayout(file, info, 1 << 20);
    const bool compressed = compression != 0 && compression != 3 && compression != 6;
    EXPECT_EQ(layout.compressed, compressed) << compression;
    EXPECT_EQ(layout.end, compressed ? 118 + 500 : 118 + 8000 * 1000) << compression;
    EXPECT_EQ(layout.width, 8000u);
    EXPECT_EQ(layout.height, 1000u);
  }
  info.biSizeImage = 0;
  EXPECT_EQ(bitmap::pixelLayout(file, info, 4321).end, 4321u);
  // A 12-pixel 1-bit row: the second byte holds pixels 8 to 11 only.
  info.biCompression = 0;
  info.biBitCount = 1;
  info.biWidth = 12;
  info.biHeight = 1;
  const bitmap::PixelLayout bits = bitmap::pixelLayout(file, info, 1 << 20);
  EXPECT_EQ(bitmap::bytePixels(bits, 119).x, 8u);
  EXPECT_EQ(bitmap::bytePixels(bits, 119).count, 4u);
  EXPECT_EQ(bitmap::bytePixels(bits, 120).kind, bitmap::BytePixels::Kind::kPadding);
}

}  // namespace
