// The pixel dumps, compared whole from the first dump header to the end of the output.
#include <gtest/gtest.h>

#include "tests/support/bmp_builder.h"
#include "tests/support/harness.h"
#include "tests/support/report_text.h"

namespace {

using testing_support::BmpBuilder;
using testing_support::dumpsOf;
using testing_support::runOn;

// Entry k is stored blue k, green 0x10 + k, red 0x20 + k, so it translates to 0x(20+k)(10+k)(k).
std::vector<bitmap::RgbQuad> ramp(int count) {
  std::vector<bitmap::RgbQuad> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    entries.push_back({static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(0x10 + k),
                       static_cast<std::uint8_t>(0x20 + k), 0xEE});
  }
  return entries;
}

const std::string kHex = "\n\n === Bitmap Data[Indexed data] ===\n[";
const std::string kRgb = "\n\n === Bitmap Data[RGB translated] ===\n[";
const std::string kTrue = "\n\n === Bitmap Data ===\n[";

// 8 bits, 3 x 2, each row 01 02 03 / 04 05 06 followed by one pad byte.
BmpBuilder eightBit3x2() {
  return BmpBuilder().bitCount(8).size(3, 2).palette(ramp(8)).biClrImportant(8).pixels(
      {1, 2, 3, 0, 4, 5, 6, 0});
}

TEST(Dump, EightBitWholeRun) {
  const auto result = runOn(eightBit3x2().build());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.body(),
            "\n === File Header ==="
            "\n\t           Type : [BM]"
            "\n\t           Size : [94:94]"
            "\n\t        Offbits : [86]"
            "\n "
            "\n === BitMap Info ==="
            "\n\t         biSize : [40] - size of BITMAPINFO"
            "\n\t        biWidth : [3]"
            "\n\t       biHeight : [2]"
            "\n\t       biPlanes : [1]"
            "\n\t     biBitCount : [8] - 256 color"
            "\n\t  biCompression : [0] - uncompressed"
            "\n\t    biSizeImage : [8] - size of pure Bitmap data"
            "\n\tbiXPelsPerMeter : [2835] X resolution by PPM"
            "\n\tbiYPelsPerMeter : [2835] Y resolution by PPM"
            "\n\t      biClrUsed : [8] - palette"
            "\n\t biClrImportant : [8] require 8 color index"
            "\n "
            "\n === Pallete ===           dec | hex"
            "\n [index] [ red ][green][ blue]   [   r g b]"
            "\n [    0] [   32][   16][    0] | [0x201000]"
            "\n [    1] [   33][   17][    1] | [0x211101]"
            "\n [    2] [   34][   18][    2] | [0x221202]"
            "\n [    3] [   35][   19][    3] | [0x231303]"
            "\n [    4] [   36][   20][    4] | [0x241404]"
            "\n [    5] [   37][   21][    5] | [0x251505]"
            "\n [    6] [   38][   22][    6] | [0x261606]"
            "\n [    7] [   39][   23][    7] | [0x271707]"
            "\n"
            "\n === Bitmap Data[Indexed data] ==="
            "\n[01 02 03 ] - 1\n[04 05 06 ] - 2\n"
            "\n"
            "\n === Bitmap Data[RGB translated] ==="
            "\n[0x211101 0x221202 0x231303 ] - 1\n[0x241404 0x251505 0x261606 ] - 2\n");
}

TEST(Dump, RowsRunOnPastTheEndRepeatingTheLastByte) {
  // Height -2 makes the count 10: four items past the end, the partial last row closes with 3.
  EXPECT_EQ(dumpsOf(runOn(eightBit3x2().size(3, -2).build()).text),
            kHex + "01 02 03 ] - 1\n[04 05 06 ] - 2\n[06 06 06 ] - 3\n[06 ] - 3\n" + kRgb +
                "0x211101 0x221202 0x231303 ] - 1\n[0x241404 0x251505 0x261606 ] - 2\n"
                "[0x261606 0x261606 0x261606 ] - 3\n[0x261606 ] - 3\n");
  // A file cut inside its pixels repeats the last byte it holds, up to bfSize's count.
  auto cut = eightBit3x2().build();
  cut.resize(cut.size() - 3);
  EXPECT_EQ(dumpsOf(runOn(cut).text), kHex + "01 02 03 ] - 1\n[04 04 04 ] - 2\n" + kRgb +
                                          "0x211101 0x221202 0x231303 ] - 1\n"
                                          "[0x241404 0x241404 0x241404 ] - 2\n");
}

TEST(Dump, OneBitBitPictureAndTranslation) {
  const std::vector<bitmap::RgbQuad> two = {{0x10, 0x20, 0x30, 0}, {0xAA, 0xBB, 0xCC, 0}};
  // 16 wide: the bit picture breaks every 2 bytes, the translation every 16, and the two pad
  // bytes are counted as items because the padding is figured as if a pixel took a byte.
  EXPECT_EQ(
      dumpsOf(runOn(BmpBuilder().bitCount(1).size(16, 1).palette(two).pixels({1, 0, 0, 0}).build())
                  .text),
      kHex + "8" + std::string(15, ' ') + "] - 1\n[" + std::string(16, ' ') + "] - 2\n" + kRgb +
          "0xCCBBAA 0x302010 0x302010 0x302010 ] - 0\n");
  // 12 wide: one byte per bit-picture row; bytes above 1 have no entry to translate to.
  EXPECT_EQ(dumpsOf(runOn(BmpBuilder()
                              .bitCount(1)
                              .size(12, 2)
                              .palette(two)
                              .pixels({0x80, 0x0F, 0, 0, 0xFF, 0x01, 0, 0})
                              .build())
                        .text),
            kHex +
                "       8] - 1\n[8888    ] - 2\n[        ] - 3\n[        ] - 4\n"
                "[88888888] - 5\n[8       ] - 6\n[        ] - 7\n[        ] - 8\n" +
                kRgb +
                "0x------ 0x------ 0x302010 0x302010 0x------ 0xCCBBAA 0x302010 0x302010 ] - 0\n");
}

TEST(Dump, SixteenAndFourBitIndexedPaths) {
  // The row-break skip passes over the data byte 04 as if it were padding; no table at 16 bits.
  EXPECT_EQ(
      dumpsOf(runOn(BmpBuilder().bitCount(16).size(3, 1).pixels({1, 2, 3, 4, 5, 6, 0, 0}).build())
                  .text),
      kHex + "01 02 03 ] - 1\n[05 06 00 ] - 2\n[00 ] - 2\n" + kRgb +
          "0x------ 0x------ 0x------ ] - 1\n[0x------ 0x------ 0x------ ] - 2\n"
          "[0x------ ] - 2\n");
  // A 4-bit byte is one item: 0F is entry 15, the last of 16; 10 is past the table.
  EXPECT_EQ(dumpsOf(runOn(BmpBuilder()
                              .bitCount(4)
                              .size(2, 1)
                              .palette(ramp(16))
                              .pixels({0x0F, 0x10, 0, 0})
                              .build())
                        .text),
            kHex + "0F 10 ] - 1\n" + kRgb + "0x2F1F0F 0x------ ] - 1\n");
}

TEST(Dump, TrueColourPixelsRedFirst) {
  std::vector<std::uint8_t> pixels;
  for (int k = 0; k < 6; ++k) {
    for (int c = 1; c <= 3; ++c) pixels.push_back(static_cast<std::uint8_t>(10 * k + c));
    if (k % 3 == 2) pixels.insert(pixels.end(), {0xEE, 0xEE, 0xEE});
  }
  const auto file = BmpBuilder().bitCount(24).size(3, 2).pixels(pixels).build();
  EXPECT_EQ(dumpsOf(runOn(file).text), kTrue +
                                           "(  3.  2.  1) ( 13. 12. 11) ( 23. 22. 21) ] - 1\n"
                                           "[( 33. 32. 31) ( 43. 42. 41) ( 53. 52. 51) ] - 2\n");
  EXPECT_EQ(dumpsOf(runOn(BmpBuilder().bitCount(24).size(1, 1).pixels({1, 2, 3, 0}).build()).text),
            kTrue + "(  3.  2.  1) ] - 1\n");
  // Cut one byte into pixel 4: it takes that byte as blue and keeps green and red from pixel 3.
  auto cut = file;
  cut.resize(54 + 12 + 3 + 1);
  EXPECT_EQ(dumpsOf(runOn(cut).text), kTrue +
                                          "(  3.  2.  1) ( 13. 12. 11) ( 23. 22. 21) ] - 1\n"
                                          "[( 33. 32. 31) ( 33. 32. 41) ( 33. 32. 41) ] - 2\n");
  // Width 4 has no padding, and bfSize plays no part in the count.
  std::vector<std::uint8_t> wide(24);
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<std::uint8_t>(200 + i);
  EXPECT_EQ(
      dumpsOf(runOn(BmpBuilder().bitCount(24).size(4, 2).pixels(wide).bfSize(7).build()).text),
      kTrue +
          "(202.201.200) (205.204.203) (208.207.206) (211.210.209) ] - 1\n"
          "[(214.213.212) (217.216.215) (220.219.218) (223.222.221) ] - 2\n");
}

TEST(Dump, DataOutsideTheFileReadsAsZero) {
  // Offsets at or past the end (2^31 and more included, as a position, not a negative seek).
  for (const std::uint32_t offset : {100u, 0x80000000u, 0xFFFFFFFFu}) {
    const auto offBits = static_cast<std::int32_t>(offset);
    const auto eight = BmpBuilder()
                           .bitCount(8)
                           .size(2, 1)
                           .palette(ramp(8))
                           .biClrImportant(8)
                           .pixels({5, 6, 0, 0})
                           .bfOffBits(offBits)
                           .bfSize(static_cast<std::int32_t>(offset + 4))
                           .build();
    EXPECT_EQ(dumpsOf(runOn(eight).text),
              kHex + "00 00 ] - 1\n" + kRgb + "0x201000 0x201000 ] - 1\n")
        << offset;
    const auto trueColour = BmpBuilder()
                                .bitCount(24)
                                .size(2, 1)
                                .pixels({1, 2, 3, 4, 5, 6, 0, 0})
                                .bfOffBits(offBits)
                                .build();
    EXPECT_EQ(dumpsOf(runOn(trueColour).text), kTrue + "(  0.  0.  0) (  0.  0.  0) ] - 1\n")
        << offset;
  }
}

TEST(Dump, EmptyCountsNegativeWidthsAndZeroRowLengths) {
  // bfSize = bfOffBits + rowPad x height: nothing to walk.
  EXPECT_EQ(dumpsOf(runOn(eightBit3x2().bfSize(86 + 2).build()).text),
            kHex + "] - 0\n" + kRgb + "] - 0\n");
  EXPECT_EQ(dumpsOf(runOn(BmpBuilder().bitCount(24).size(5, 0).build()).text), kTrue + "] - 0\n");
  // A negative width is a huge row length: no row break, closers with 0. Pad is |width| mod 4.
  EXPECT_EQ(
      dumpsOf(
          runOn(eightBit3x2().size(-3, 2).pixels({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}).build())
              .text),
      kHex + "01 02 03 04 05 06 ] - 0\n" + kRgb +
          "0x211101 0x221202 0x231303 0x241404 0x251505 0x261606 ] - 0\n");
  EXPECT_EQ(
      dumpsOf(
          runOn(BmpBuilder().bitCount(24).size(-1, -2).pixels({1, 2, 3, 4, 5, 6}).build()).text),
      kTrue + "(  3.  2.  1) (  6.  5.  4) ] - 0\n");
  // Width 0 would divide by zero: one row, closed with 0.
  EXPECT_EQ(dumpsOf(runOn(eightBit3x2().size(0, 2).pixels({10, 11, 12}).build()).text),
            kHex + "0A 0B 0C ] - 0\n" + kRgb + "0x------ 0x------ 0x------ ] - 0\n");
  EXPECT_EQ(dumpsOf(runOn(BmpBuilder().bitCount(24).size(0, 7).pixels({1, 2, 3}).build()).text),
            kTrue + "] - 0\n");
  // 1 bit, 5 wide: the bit picture's row length is 0, the translation's is 5.
  EXPECT_EQ(dumpsOf(runOn(BmpBuilder()
                              .bitCount(1)
                              .size(5, 1)
                              .palette(ramp(2))
                              .pixels({1, 1, 0, 0, 0, 9, 9, 9, 1, 1})
                              .bfSize(62 + 3 + 7)
                              .build())
                        .text),
            kHex + "8       8       " + std::string(24, ' ') + "8  8    8  8    ] - 0\n" + kRgb +
                "0x211101 0x211101 0x201000 0x201000 0x201000 ] - 1\n[0x211101 0x211101 ] - 1\n");
}

TEST(Dump, StopsAfter4096ItemsPastTheEnd) {
  // bfSize claims about 2^31 bytes; the file holds 4 pixel bytes.
  const auto file = BmpBuilder()
                        .bitCount(8)
                        .size(4, 1)
                        .palette(ramp(8))
                        .biClrImportant(8)
                        .pixels({1, 2, 3, 4})
                        .bfSize(0x7FFFFFFF)
                        .build();
  const std::uint32_t count = 0x7FFFFFFFu - 86;
  std::string hex = "01 02 03 04 ] - 1\n";
  std::string rgb = "0x211101 0x221202 0x231303 0x241404 ] - 1\n";
  for (int row = 2; row <= 1025; ++row) {
    hex += "[04 04 04 04 ] - " + std::to_string(row) + "\n";
    rgb += "[0x241404 0x241404 0x241404 0x241404 ] - " + std::to_string(row) + "\n";
  }
  const std::string note =
      "(" + std::to_string(count - 4100) + " more items past the end of the file not shown)\n";
  EXPECT_EQ(dumpsOf(runOn(file).text), kHex + hex + note + kRgb + rgb + note);

  // 24 bits, 2^32 - 1 pixels in one row (width 1, height -1): quotients print unsigned.
  const auto trueColour = BmpBuilder().bitCount(24).size(-1, 1).pixels({1, 2, 3}).build();
  std::string pixels = "(  3.  2.  1) ";
  for (int i = 0; i < 4096; ++i) pixels += "(  3.  2.  1) ";
  EXPECT_EQ(dumpsOf(runOn(trueColour).text),
            kTrue + pixels + "] - 0\n(4294963198 more items past the end of the file not shown)\n");
}

}  // namespace
