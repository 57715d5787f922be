// Pixels compared by their stored bytes, held to the comparison that decodes every piece and to
// a plain pixel-by-pixel comparison of the decoder's rows: 24-bit BGR, 32-bit BI_RGB and its
// fourth byte, bit fields of whole bytes at 24 and 32 bits, indices at 1, 2, 4 and 8 bits under
// one table; exact counts, boxes and largest differences on crafted pairs, pixels past the end
// of a cut file, padded rows, rows wider than a piece, and random pairs of every width to 40.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "compare/comparison.h"
#include "compare/stored_pixels.h"
#include "decode/decoder.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/plain_comparison.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = compare::StoredLayout::Kind;
using testing_support::compareBytes;
using testing_support::putLE;

// How a pair of files stores its pixels: depth, compression, the masks after the header (bit
// fields), how many of fileOf()'s six entries the table holds, and how the bytes give the pixels.
struct Storage {
  const char* name;
  std::uint16_t bits;
  std::uint32_t compression;
  std::vector<std::uint32_t> masks;
  std::size_t entries;
  Kind kind;
  std::array<std::int32_t, 4> channelByte;
};

const Storage kBgr{"24-bit BGR", 24, 0, {}, 0, Kind::kChannels, {2, 1, 0, -1}};
const Storage kRgb32{"32-bit BI_RGB", 32, 0, {}, 0, Kind::kChannels, {2, 1, 0, -1}};
const Storage kRgba{"32-bit R G B A", 32,          6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, 0,
                    Kind::kChannels,  {0, 1, 2, 3}};
const Storage kRgbFields{"24-bit R G B",  24,           3, {0xFF, 0xFF00, 0xFF0000}, 0,
                         Kind::kChannels, {0, 1, 2, -1}};
const Storage kIndexed8{"8-bit indexed", 8, 0, {}, 6, Kind::kIndexed, {-1, -1, -1, -1}};
const Storage kIndexed4{"4-bit indexed", 4, 0, {}, 6, Kind::kIndexed, {-1, -1, -1, -1}};
const Storage kIndexed2{"2-bit indexed", 2, 0, {}, 3, Kind::kIndexed, {-1, -1, -1, -1}};
const Storage kIndexed1{"1-bit indexed", 1, 0, {}, 1, Kind::kIndexed, {-1, -1, -1, -1}};
// Not given by their bytes: decoded, held to the same results.
const Storage kNoBlue{"24-bit without blue", 24, 3, {0xFF0000, 0xFF00, 0}, 0, Kind::kNone, {}};
const Storage k565{"16-bit 5-6-5", 16, 3, {0xF800, 0x07E0, 0x001F}, 0, Kind::kNone, {}};
const Storage k1010{"32-bit 10 bits", 32, 3, {0x3FF00000, 0xFFC00, 0x3FF}, 0, Kind::kNone, {}};

std::size_t strideOf(std::uint16_t bits, std::int32_t width) {
  return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
}

// A file of the storage whose rows hold pixels as given (bottom-up, padding included). Its table
// is of six entries, of which 1 and 4 are the same colour, or their first ones.
Bytes fileOf(const Storage& storage, std::int32_t width, std::int32_t height, const Bytes& rows) {
  Bytes head;
  for (const std::uint32_t mask : storage.masks) {
    for (int i = 0; i < 4; ++i) head.push_back(static_cast<std::uint8_t>(mask >> (8 * i)));
  }
  const Bytes six = {0x10, 0x20, 0x30, 0, 0x90, 0xA0, 0xB0, 0, 0x11, 0x81, 0xF1, 0,
                     0x12, 0x82, 0x02, 0, 0x90, 0xA0, 0xB0, 0, 0xFF, 0xFE, 0xFD, 0};
  head.insert(head.end(), six.begin(),
              six.begin() + static_cast<std::ptrdiff_t>(storage.entries * 4));
  Bytes file = testing_support::makeBmp(storage.bits, width, height, head, rows);
  putLE(file, 30, storage.compression, 4);
  putLE(file, 46, storage.entries, 4);  // the masks are no entries
  return file;
}

// The same file with its rows stored top-down.
Bytes topDown(const Bytes& file, std::int32_t width, std::int32_t height, std::uint16_t bits) {
  Bytes flipped = file;
  const std::size_t stride = strideOf(bits, width);
  const std::size_t start = file[10] | std::size_t{file[11]} << 8;
  for (std::size_t row = 0; row < static_cast<std::size_t>(height); ++row) {
    std::copy_n(
        file.begin() + static_cast<std::ptrdiff_t>(start + row * stride), stride,
        flipped.begin() + static_cast<std::ptrdiff_t>(
                              start + (static_cast<std::size_t>(height) - 1 - row) * stride));
  }
  putLE(flipped, 22, static_cast<std::uint32_t>(-height), 4);
  return flipped;
}

compare::StoredLayout layoutOf(const Bytes& a, const Bytes& b) {
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  return compare::storedLayout(decode::Decoder(inputA).format(), decode::Decoder(inputB).format());
}

// 24-bit rows of width 37 (111 bytes, one of padding 0xEE), bottom-up: blue 0x10 + x, green
// 0x80 + y, red 0x30; and the rows with channel byte k (0 blue) of pixels (x, y) raised by d.
constexpr std::int32_t kWidth = 37;
constexpr std::int32_t kHeight = 5;
struct Raise {
  std::int32_t x, y;
  std::size_t k;
  int d;
};
Bytes rows24(std::initializer_list<Raise> raises = {}) {
  const std::size_t stride = strideOf(24, kWidth);
  Bytes rows(stride * kHeight, 0xEE);
  const auto at = [&](std::int32_t x, std::int32_t y) {
    return static_cast<std::size_t>(kHeight - 1 - y) * stride + static_cast<std::size_t>(x) * 3;
  };
  for (std::int32_t y = 0; y < kHeight; ++y) {
    for (std::int32_t x = 0; x < kWidth; ++x) {
      rows[at(x, y)] = static_cast<std::uint8_t>(0x10 + x);
      rows[at(x, y) + 1] = static_cast<std::uint8_t>(0x80 + y);
      rows[at(x, y) + 2] = 0x30;
    }
  }
  for (const Raise& r : raises)
    rows[at(r.x, r.y) + r.k] = static_cast<std::uint8_t>(rows[at(r.x, r.y) + r.k] + r.d);
  return rows;
}

struct Case {
  std::string name;
  Bytes a;
  Bytes b;
  std::string pixels;  // the line that sums them up; "" where only the agreement is checked
};

std::vector<Case> cases() {
  std::vector<Case> all;
  const auto file24 = [](const Bytes& rows) { return fileOf(kBgr, kWidth, kHeight, rows); };
  // The first pixel's red; the last pixel of a chunk of 16 and the first of the next; the last of
  // a row, past the chunks; all three channels; and the padding of the bottom row.
  Bytes five = rows24({{0, 0, 2, 200},
                       {15, 1, 1, 1},
                       {16, 1, 1, 1},
                       {36, 2, 0, 17},
                       {20, 3, 0, 5},
                       {20, 3, 1, 5},
                       {20, 3, 2, 5}});
  five[strideOf(24, kWidth) - 1] = 0;
  const std::string fiveLine =
      "pixels: 5 of 185 differ, in x 0..36, y 0..3; largest difference R 200 G 5 B 17 A 0";
  all.push_back({"24-bit", file24(rows24()), file24(five), fiveLine});
  all.push_back({"24-bit against top-down", file24(rows24()),
                 topDown(file24(five), kWidth, kHeight, 24),
                 fiveLine + "; rows stored in opposite order"});
  Bytes padding = rows24();
  for (std::size_t row = 1; row <= kHeight; ++row) padding[row * strideOf(24, kWidth) - 1] = 1;
  all.push_back(
      {"24-bit padding", file24(rows24()), file24(padding), "pixels: same picture (185 pixels)"});
  // The cut ends inside pixel 10 of stored row 2 (y 2): it and the rest of its row are missing,
  // and the rows above; (5, 3), which the file holds, differs in colour.
  Bytes cut = file24(rows24({{5, 3, 1, 9}}));
  cut.resize(54 + 2 * strideOf(24, kWidth) + std::size_t{10} * 3 + 2);
  all.push_back({"24-bit cut", file24(rows24()), cut,
                 "pixels: 102 of 185 differ, in x 0..36, y 0..3; 101 of them differ in state; "
                 "largest difference R 0 G 9 B 0 A 0"});
  all.push_back({"24-bit fields, red first", fileOf(kRgbFields, kWidth, kHeight, rows24()),
                 fileOf(kRgbFields, kWidth, kHeight, rows24({{7, 4, 0, 3}})),
                 "pixels: 1 of 185 differ, in x 7, y 4; largest difference R 3 G 0 B 0 A 0"});

  // 20 x 3 at 32 bits: blue x, green 0x40 + y, red 0x90, fourth byte 0x7F; changed: every
  // fourth byte, (3, 1)'s red + 9 and (19, 2)'s blue + 2.
  Bytes rows32(std::size_t{80} * 3);
  for (std::size_t i = 0; i < rows32.size(); i += 4) {
    const auto y = static_cast<std::uint8_t>(2 - i / 80);
    rows32[i] = static_cast<std::uint8_t>(i / 4 % 20);
    rows32[i + 1] = static_cast<std::uint8_t>(0x40 + y);
    rows32[i + 2] = 0x90;
    rows32[i + 3] = 0x7F;
  }
  Bytes changed32 = rows32;
  Bytes fourth = rows32;
  for (std::size_t i = 3; i < rows32.size(); i += 4) changed32[i] = 0x80, fourth[i] = 0;
  changed32[80 + 3 * 4 + 2] = 0x99;
  changed32[std::size_t{19} * 4] = 21;
  all.push_back({"32-bit BI_RGB", fileOf(kRgb32, 20, 3, rows32), fileOf(kRgb32, 20, 3, changed32),
                 "pixels: 2 of 60 differ, in x 3..19, y 1..2; largest difference R 9 G 0 B 2 A 0"});
  all.push_back({"32-bit BI_RGB fourth byte", fileOf(kRgb32, 20, 3, rows32),
                 fileOf(kRgb32, 20, 3, fourth), "pixels: same picture (60 pixels)"});
  all.push_back(
      {"32-bit alpha bit fields", fileOf(kRgba, 20, 3, rows32), fileOf(kRgba, 20, 3, changed32),
       "pixels: 60 of 60 differ, in x 0..19, y 0..2; largest difference R 2 G 0 B 9 A 1"});
  // Cut before the fourth byte of the last pixel: its colour is there, not all of its bytes.
  const Bytes grey32 = fileOf(kRgb32, 20, 1, Bytes(80, 0x33));
  all.push_back({"32-bit cut in the fourth byte", grey32, Bytes(grey32.begin(), grey32.end() - 1),
                 "pixels: 1 of 20 differ, in x 19, y 0; 1 of them differ in state"});
  // A row of 32 pixels, two whole chunks, that ends the file with every pixel differing: the
  // loops read nothing past it (which AddressSanitizer would see).
  Bytes greener(std::size_t{96} * 2, 0x40);
  for (std::size_t i = 96; i < greener.size(); i += 3) greener[i + 1] = 0x41;
  all.push_back({"24-bit whole chunks", fileOf(kBgr, 32, 2, Bytes(192, 0x40)),
                 fileOf(kBgr, 32, 2, greener),
                 "pixels: 32 of 64 differ, in x 0..31, y 0; largest difference R 0 G 1 B 0 A 0"});

  // 8 bits, 19 x 3 (rows of 20 bytes), indices 0 1 2 ...: in the top row (stored last) 1
  // becomes 4, the same colour, and 2 becomes 3; (18, 1) 0 becomes 7, past the table; (0, 2) 8
  // becomes 9, both past it; and a padding byte.
  Bytes indices(std::size_t{20} * 3, 0);
  for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>(i % 3);
  indices[44] = 1, indices[45] = 2, indices[38] = 0, indices[0] = 8;
  Bytes otherIndices = indices;
  otherIndices[44] = 4, otherIndices[45] = 3, otherIndices[38] = 7, otherIndices[0] = 9;
  otherIndices[19] = 5;
  const Bytes indexed = fileOf(kIndexed8, 19, 3, indices);
  all.push_back({"8-bit", indexed, fileOf(kIndexed8, 19, 3, otherIndices),
                 "pixels: 2 of 57 differ, in x 5..18, y 0..1; 1 of them differ in state; "
                 "largest difference R 239 G 1 B 1 A 0"});
  Bytes otherTable = fileOf(kIndexed8, 19, 3, otherIndices);
  otherTable[54] = 0x11;  // not one layout: decoded
  EXPECT_EQ(layoutOf(indexed, otherTable).kind, Kind::kNone);
  all.push_back({"8-bit under another table", indexed, otherTable, ""});
  // A table of 200 entries where the file holds 25, over the pixels: an index past what the file
  // holds (missing) and one past the table both give 0 0 0 0 and differ in state; two missing
  // do not. Pixels 7 and 11 are reserved bytes of entries, which no colour reads.
  Bytes over = testing_support::makeBmp(8, 100, 1, {}, Bytes(100, 30));
  putLE(over, 46, 200, 4);
  Bytes overChanged = over;
  overChanged[54 + 7] = 210;
  overChanged[54 + 11] = 31;
  all.push_back({"8-bit table over the pixels", over, overChanged,
                 "pixels: 1 of 100 differ, in x 7, y 0; 1 of them differ in state"});

  // 4, 2 and 1 bits, 13 x 2: in the bottom row, the lowest bit of the second byte and of the
  // last pixel; bits past the last pixel, and the bytes past them in both rows, are padding.
  for (const auto& [storage, line] :
       {std::pair<const Storage&, const char*>{kIndexed4,
                                               "pixels: 2 of 26 differ, in x 3..12, y "
                                               "1; largest difference R 128 G 128 B "
                                               "128 A 0"},
        {kIndexed2,
         "pixels: 2 of 26 differ, in x 7..12, y 1; largest difference R 128 G 128 B "
         "128 A 0"},
        {kIndexed1, "pixels: 1 of 26 differ, in x 12, y 1; 1 of them differ in state"}}) {
    const std::size_t stride = strideOf(storage.bits, 13);
    const std::size_t bits = std::size_t{13} * storage.bits;
    Bytes rows(stride * 2, 0);
    rows[1] = 0x01;
    rows[(bits - 1) / 8] |= static_cast<std::uint8_t>(1u << ((8 - bits % 8) % 8));
    rows[bits / 8] |= 1;
    for (std::size_t i = (bits + 7) / 8; i < stride; ++i) rows[i] = rows[stride + i] = 0xFF;
    all.push_back({storage.name, fileOf(storage, 13, 2, Bytes(stride * 2, 0)),
                   fileOf(storage, 13, 2, rows), line});
  }

  // 16,400 pixels a row, compared in pieces of 16,384: differences on both sides of the seam.
  for (const auto& [storage, line] :
       {std::pair<const Storage&, const char*>{kBgr, "R 0 G 0 B 1 A 0"},
        {kRgb32, "R 0 G 0 B 1 A 0"},
        {kIndexed8, "R 65 G 31 B 127 A 0"}}) {
    const std::size_t stride = strideOf(storage.bits, 16400);
    Bytes rows(stride * 2, 1);
    for (const std::size_t x : {16383u, 16384u, 16399u}) rows[stride + x * storage.bits / 8] = 2;
    all.push_back({std::string(storage.name) + ", wide",
                   fileOf(storage, 16400, 2, Bytes(stride * 2, 1)), fileOf(storage, 16400, 2, rows),
                   std::string("pixels: 3 of 32,800 differ, in x 16,383..16,399, y 0; largest "
                               "difference ") +
                       line});
  }
  return all;
}

TEST(CompareStored, CraftedPairsCountBoxAndWidenAsAPlainComparison) {
  for (const Case& pair : cases()) {
    const compare::Comparison comparison = compareBytes(pair.a, pair.b);
    EXPECT_EQ(testing_support::disagreement(pair.a, pair.b, comparison), "") << pair.name;
    if (!pair.pixels.empty()) {
      EXPECT_EQ(testing_support::pixelsLine(comparison), pair.pixels) << pair.name;
    }
  }
}

TEST(CompareStored, RandomPairsOfEveryLayoutAndWidthAgree) {
  std::uint32_t noise = 0x2545F491;  // xorshift32
  const auto below = [&noise](std::size_t bound) {
    noise ^= noise << 13;
    noise ^= noise >> 17;
    noise ^= noise << 5;
    return noise % bound;
  };
  for (const Storage* storage : {&kBgr, &kRgb32, &kRgba, &kRgbFields, &kIndexed8, &kIndexed4,
                                 &kIndexed2, &kIndexed1, &kNoBlue, &k565, &k1010}) {
    for (std::int32_t width = 1; width <= 40; ++width) {
      const std::string row = std::string(storage->name) + ", width " + std::to_string(width);
      const auto height = static_cast<std::int32_t>(1 + below(4));
      const std::size_t size = strideOf(storage->bits, width) * static_cast<std::size_t>(height);
      // Indices to 9 at 8 bits, so that some name no entry.
      const std::size_t bound = storage->bits == 8 ? 10 : 256;
      Bytes rows(size);
      for (std::uint8_t& byte : rows) byte = static_cast<std::uint8_t>(below(bound));
      // A few bytes anywhere, padding too; or every byte.
      Bytes changed = rows;
      for (std::uint8_t& byte : changed) {
        if (width % 5 == 0 || below(8) == 0) byte = static_cast<std::uint8_t>(below(bound));
      }
      const Bytes a = fileOf(*storage, width, height, rows);
      const Bytes b = fileOf(*storage, width, height, changed);
      const compare::StoredLayout layout = layoutOf(a, b);
      EXPECT_EQ(layout.kind, storage->kind) << row;
      if (layout.kind == Kind::kChannels) {
        EXPECT_EQ(layout.channelByte, storage->channelByte) << row;
      }
      const Bytes cut(b.begin(), b.end() - 1 - static_cast<std::ptrdiff_t>(below(size)));
      for (const Bytes& other : {b, topDown(b, width, height, storage->bits), cut})
        EXPECT_EQ(testing_support::disagreement(a, other, compareBytes(a, other)), "") << row;
    }
  }
}

}  // namespace
