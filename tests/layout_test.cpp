// The header records' layout, and the format's pixel layout: where each pixel of
// pictures of every fixed depth is stored, bottom-up and top-down, and back.
#include "bitmap/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "bitmap/records.h"

namespace {

// The fields lie packed in file order up to the colour table (the decoders read each from its
// place; the golden reports hold the values they decode).
TEST(Layout, TheHeaderFieldsArePackedInFileOrder) {
  std::uint32_t next = 0;
  for (const bitmap::FieldLayout& field : bitmap::kFieldLayout) {
    EXPECT_EQ(field.offset, next) << field.name;
    next = field.offset + field.width;
  }
  EXPECT_EQ(next, bitmap::kColorTableOffset);
}

bitmap::PixelLayout layoutOf(std::uint16_t bits, std::int32_t width, std::int32_t height,
                             std::uint32_t compression = 0, std::int32_t sizeImage = 0,
                             std::uint64_t fileSize = 1 << 20) {
  bitmap::BitmapFileHeader file;
  file.bfOffBits = 118;
  bitmap::BitmapInfoHeader info;
  info.biBitCount = bits;
  info.biWidth = width;
  info.biHeight = height;
  info.biCompression = compression;
  info.biSizeImage = sizeImage;
  return bitmap::pixelLayout(file, info, fileSize);
}

// Every pixel's bytes lead back to it; rows are padded to 32 bits and stored bottom-up unless
// the height is negative; pixels under a byte fill it from its high bits.
TEST(Layout, EveryPixelIsStoredWhereTheFormatSaysAndLeadsBack) {
  // 13 pixels a row at each depth, and the row's length padded to 32 bits, worked out by hand.
  for (const auto& [depth, rowBytes] :
       {std::pair{1, 4u}, {2, 4u}, {4, 8u}, {8, 16u}, {16, 28u}, {24, 40u}, {32, 52u}}) {
    const auto bits = static_cast<std::uint16_t>(depth);
    for (const std::int32_t height : {3, -3}) {
      const bitmap::PixelLayout layout = layoutOf(bits, 13, height);
      ASSERT_TRUE(bitmap::hasFixedOffsets(layout));
      EXPECT_EQ(layout.rowBytes, rowBytes) << depth << " bits";
      for (std::uint32_t y = 0; y < 3; ++y) {
        const std::uint32_t storedRow = height < 0 ? y : 2 - y;
        for (std::uint32_t x = 0; x < 13; ++x) {
          SCOPED_TRACE(std::to_string(bits) + " bits, height " + std::to_string(height) +
                       ", pixel " + std::to_string(x) + ", " + std::to_string(y));
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
  // Pixels under a byte, worked out by hand: (bits, x) -> byte in the row, shift.
  for (const auto& [bits, x, inRow, shift] :
       {std::array<std::uint32_t, 4>{1, 9, 1, 6}, {2, 5, 1, 4}, {4, 3, 1, 0}, {4, 12, 6, 4}}) {
    const bitmap::PixelBytes pixel =
        bitmap::pixelBytes(layoutOf(static_cast<std::uint16_t>(bits), 13, 3), x, 2);
    EXPECT_EQ(std::pair(pixel.inRow, pixel.shift), std::pair(std::uint64_t{inRow}, shift))
        << bits << " bits, x " << x;
  }
  EXPECT_FALSE(bitmap::hasFixedOffsets(layoutOf(15, 4, 4)));
}

// Where the pixels end: after every row, or after biSizeImage bytes of compressed data (the
// file's end when that is 0); bit fields and alpha bit fields are not compressed.
TEST(Layout, ThePixelsEndAfterTheirRowsOrTheirCompressedSize) {
  for (const auto& [compression, compressed] : {std::pair{0u, false},
                                                {3u, false},
                                                {6u, false},
                                                {1u, true},
                                                {2u, true},
                                                {4u, true},
                                                {5u, true}}) {
    const bitmap::PixelLayout layout = layoutOf(8, 8000, 1000, compression, 500);
    EXPECT_EQ(layout.compressed, compressed) << compression;
    EXPECT_EQ(layout.end, compressed ? 118 + 500 : 118 + 8000 * 1000) << compression;
    EXPECT_EQ(layout.width, 8000u);
    EXPECT_EQ(layout.height, 1000u);
  }
  EXPECT_EQ(layoutOf(8, 8000, 1000, 5, 0, 4321).end, 4321u);
  // A 12-pixel 1-bit row: the second byte holds pixels 8 to 11 only.
  const bitmap::PixelLayout bits = layoutOf(1, 12, 1);
  EXPECT_EQ(bitmap::bytePixels(bits, 119).x, 8u);
  EXPECT_EQ(bitmap::bytePixels(bits, 119).count, 4u);
  EXPECT_EQ(bitmap::bytePixels(bits, 120).kind, bitmap::BytePixels::Kind::kPadding);
}

}  // namespace
