// Decoding the header blocks: positions, byte order and signedness of every field.
#include "bitmap/records.h"

#include <gtest/gtest.h>

namespace {

TEST(Records, FileHeaderFieldsAreLittleEndianAtTheirOffsets) {
  const bitmap::FileHeaderBlock block = {'B',  'M',  0x80, 0x90, 0xFF, 0x7F, 0x81,
                                         0x92, 0xA3, 0xB4, 0xFE, 0xDC, 0xBA, 0x98};
  const bitmap::BitmapFileHeader header = bitmap::decodeFileHeader(block);
  EXPECT_EQ(header.bfType[0], 'B');
  EXPECT_EQ(header.bfType[1], 'M');
  EXPECT_EQ(header.bfSize, 0x7FFF9080);
  EXPECT_EQ(header.bfReserved1, 0x9281);
  EXPECT_EQ(header.bfReserved2, 0xB4A3);
  EXPECT_EQ(header.bfOffBits, static_cast<std::int32_t>(0x98BADCFEu));
}

TEST(Records, InfoFieldsKeepTheirSignedness) {
  bitmap::InfoBlock block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0x80 + i);
  const bitmap::BitmapInfo info = bitmap::decodeInfo(block);
  const bitmap::BitmapInfoHeader& h = info.bmiHeader;
  EXPECT_EQ(h.biSize, static_cast<std::int32_t>(0x83828180u));
  EXPECT_EQ(h.biWidth, static_cast<std::int32_t>(0x87868584u));
  EXPECT_EQ(h.biHeight, static_cast<std::int32_t>(0x8B8A8988u));
  EXPECT_EQ(h.biPlanes, 0x8D8C);  // 16-bit fields widen without sign
  EXPECT_EQ(h.biBitCount, 0x8F8E);
  EXPECT_EQ(h.biCompression, 0x93929190u);
  EXPECT_EQ(h.biSizeImage, static_cast<std::int32_t>(0x97969594u));
  EXPECT_EQ(h.biXPelsPerMeter, static_cast<std::int32_t>(0x9B9A9998u));
  EXPECT_EQ(h.biYPelsPerMeter, static_cast<std::int32_t>(0x9F9E9D9Cu));
  EXPECT_EQ(h.biClrUsed, static_cast<std::int32_t>(0xA3A2A1A0u));
  EXPECT_EQ(h.biClrImportant, static_cast<std::int32_t>(0xA7A6A5A4u));
  EXPECT_EQ(info.bmiColors.rgbBlue, 0xA8);
  EXPECT_EQ(info.bmiColors.rgbGreen, 0xA9);
  EXPECT_EQ(info.bmiColors.rgbRed, 0xAA);
  EXPECT_EQ(info.bmiColors.rgbReserved, 0xAB);
}

}  // namespace
