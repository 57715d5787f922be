// The colour-table section: sizes, where entries come from, and the listing bound.
#include <gtest/gtest.h>

#include "tests/support/bmp_builder.h"
#include "tests/support/harness.h"
#include "tests/support/report_text.h"

namespace {

using testing_support::BmpBuilder;
using testing_support::runOn;

constexpr std::size_t kRowBytes = 44;  // "\n [    0] [  255][    0][    0] | [0xFF0000]"

const std::string kHeading =
    "\n "
    "\n === Pallete ===           dec | hex"
    "\n [index] [ red ][green][ blue]   [   r g b]";

// The table section alone: from the end of the header report to the first dump.
std::string tableOf(const std::vector<std::uint8_t>& file) {
  const std::string rest = testing_support::afterHeader(runOn(file).text);
  return rest.substr(0, rest.find("\n\n === Bitmap Data"));
}

std::vector<bitmap::RgbQuad> entries(int count, std::uint8_t first) {
  std::vector<bitmap::RgbQuad> table;
  for (int k = 0; k < count; ++k) {
    const auto v = static_cast<std::uint8_t>(first + k);
    table.push_back({v, v, v, 0});
  }
  return table;
}

TEST(PaletteReport, EntriesPrintRedFirstWithoutTheReservedByte) {
  const auto file = BmpBuilder()
                        .bitCount(1)
                        .size(1, 1)
                        .palette({{0x00, 0x00, 0xFF, 0x00}, {0x10, 0x20, 0x30, 0xFF}})
                        .biClrUsed(7)
                        .biClrImportant(9)
                        .pixels({0, 0, 0, 0})
                        .build();
  EXPECT_EQ(tableOf(file), kHeading +
                               "\n [    0] [  255][    0][    0] | [0xFF0000]"
                               "\n [    1] [   48][   32][   16] | [0x302010]");
}

TEST(PaletteReport, SizeComesFromTheBitCountOrBiClrImportant) {
  // 4 bits: always 16 rows.
  const std::string four = tableOf(
      BmpBuilder().bitCount(4).size(1, 1).palette(entries(16, 1)).biClrImportant(3).build());
  EXPECT_EQ(four.substr(four.rfind('\n')), "\n [   15] [   16][   16][   16] | [0x101010]");
  EXPECT_EQ(four.size(), kHeading.size() + 16 * kRowBytes);
  // 8 bits, biClrImportant 16 with 256 stored: 16 rows, and no colour for bytes from 16 up.
  const auto sixteen = BmpBuilder()
                           .bitCount(8)
                           .size(4, 1)
                           .palette(entries(256, 0))
                           .biClrImportant(16)
                           .pixels({0x0F, 0x10, 0xFF, 0x00})
                           .build();
  const std::string text = runOn(sixteen).text;
  EXPECT_EQ(testing_support::afterHeader(text).size(),
            kHeading.size() + 16 * kRowBytes + testing_support::dumpsOf(text).size());
  EXPECT_NE(text.find("\n[0x0F0F0F 0x------ 0x------ 0x000000 ] - 1\n"), std::string::npos);
  // 8 bits, biClrImportant 0 with 16 stored: 256 rows, then the pixel bytes, then zeros.
  const std::string all = tableOf(BmpBuilder()
                                      .bitCount(8)
                                      .size(4, 1)
                                      .palette(entries(16, 0xA0))
                                      .pixels({0x11, 0x22, 0x33, 0x44})
                                      .build());
  EXPECT_EQ(all.size(), kHeading.size() + 256 * kRowBytes);
  EXPECT_NE(all.find("\n [   15] [  175][  175][  175] | [0xAFAFAF]"
                     "\n [   16] [   51][   34][   17] | [0x332211]"
                     "\n [   17] [    0][    0][    0] | [0x000000]"),
            std::string::npos);
  EXPECT_EQ(all.substr(all.rfind('\n')), "\n [  255] [    0][    0][    0] | [0x000000]");
}

TEST(PaletteReport, ReadFromOffset54WhateverTheInfoHeaderSize) {
  std::vector<std::uint8_t> extra(68, 0);
  for (std::size_t i = 0; i < 8; ++i) extra[i] = static_cast<std::uint8_t>(0xE0 + i);
  const auto file = BmpBuilder()
                        .bitCount(8)
                        .size(4, 1)
                        .biSize(108)
                        .extraHeader(extra)
                        .palette(entries(2, 0x40))
                        .biClrImportant(2)
                        .pixels({0, 1, 0, 1})
                        .build();
  EXPECT_EQ(tableOf(file), kHeading +
                               "\n [    0] [  226][  225][  224] | [0xE2E1E0]"
                               "\n [    1] [  230][  229][  228] | [0xE6E5E4]");
}

TEST(PaletteReport, ListingStopsWhereTheFileDoesWithACountOfTheRest) {
  // 1000 bytes: the 946 after offset 54 touch 237 entries, so the first 256 rows are listed.
  auto small = BmpBuilder().bitCount(8).size(4, 1).biClrImportant(-1).build();
  small.resize(1000, 0x5A);
  const std::string capped = tableOf(small);
  EXPECT_EQ(capped.substr(capped.rfind("\n [  255]")),
            "\n [  255] [    0][    0][    0] | [0x000000]"
            "\n (4294967039 more entries past the end of the file not listed)");
  // Entries past 256 are listed while the file holds a byte of them; the last one is cut short.
  auto big = BmpBuilder().bitCount(8).size(4, 1).biClrImportant(1000).build();
  big.resize(54 + 4 * 300, 0x11);
  big.insert(big.end(), {0x77, 0x88});
  const std::string listed = tableOf(big);
  EXPECT_EQ(listed.substr(listed.rfind("\n [  299]")),
            "\n [  299] [   17][   17][   17] | [0x111111]"
            "\n [  300] [    0][  136][  119] | [0x008877]"
            "\n (699 more entries past the end of the file not listed)");
  // A count the file covers in full gets no note, and wide indexes print in full.
  auto wide = BmpBuilder().bitCount(8).size(4, 1).biClrImportant(100001).build();
  wide.resize(54 + 4 * 100001, 0x01);
  const std::string full = tableOf(wide);
  EXPECT_EQ(full.substr(full.rfind("\n [99999]")),
            "\n [99999] [    1][    1][    1] | [0x010101]"
            "\n [100000] [    1][    1][    1] | [0x010101]");
}

}  // namespace
