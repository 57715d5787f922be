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
#include "compare/lines.h"
#include "compare/stored_pixels.h"
#include "decode/decoder.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/plain_comparison.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = compare::StoredLayout::Kind;
using testing_support::putLE;

// Deterministic pseudo-random numbers (xorshift32).
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint32_t below(std::uint32_t bound) { return next() % bound; }

 private:
  std::uint32_t state_;
};

// How a pair of files stores its pixels: depth, compression, the masks after the header (bit
// fields) or the colour table.
struct Storage {
  const char* name;
  std::uint16_t bits;
  std::uint32_t compression;
  Bytes masks;
  Bytes table;
  Kind kind;  // how the bytes give the pixels
  std::array<std::int32_t, 4> channelByte;
};

Bytes maskBytes(std::initializer_list<std::uint32_t> masks) {
  Bytes bytes;
  for (const std::uint32_t mask : masks) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(mask >> (8 * i)));
  }
  return bytes;
}

// Six entries, of which 1 and 4 are the same colour; every index from 6 on has none.
Bytes sixEntries() {
  return {0x10, 0x20, 0x30, 0, 0x90, 0xA0, 0xB0, 0, 0x11, 0x81, 0xF1, 0,
          0x12, 0x82, 0x02, 0, 0x90, 0xA0, 0xB0, 0, 0xFF, 0xFE, 0xFD, 0};
}

const std::vector<Storage>& storages() {
  static const Bytes six = sixEntries();
  static const std::vector<Storage> all = {
      {"24-bit BGR", 24, 0, {}, {}, Kind::kChannels, {2, 1, 0, -1}},
      {"32-bit BI_RGB", 32, 0, {}, {}, Kind::kChannels, {2, 1, 0, -1}},
      {"32-bit bit fields R G B A",
       32,
       6,
       maskBytes({0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}),
       {},
       Kind::kChannels,
       {0, 1, 2, 3}},
      {"24-bit bit fields R G B",
       24,
       3,
       maskBytes({0x0000FF, 0x00FF00, 0xFF0000}),
       {},
       Kind::kChannels,
       {0, 1, 2, -1}},
      {"8-bit indexed", 8, 0, {}, six, Kind::kIndexed, {-1, -1, -1, -1}},
      {"4-bit indexed", 4, 0, {}, six, Kind::kIndexed, {-1, -1, -1, -1}},
      {"2-bit indexed",
       2,
       0,
       {},
       Bytes(six.begin(), six.begin() + 12),
       Kind::kIndexed,
       {-1, -1, -1, -1}},
      {"1-bit indexed",
       1,
       0,
       {},
       Bytes(six.begin(), six.begin() + 4),
       Kind::kIndexed,
       {-1, -1, -1, -1}},
      // Not given by their bytes: decoded, held to the same results.
      {"24-bit bit fields without blue",
       24,
       3,
       maskBytes({0xFF0000, 0x00FF00, 0}),
       {},
       Kind::kNone,
       {}},
      {"16-bit 5-6-5", 16, 3, maskBytes({0xF800, 0x07E0, 0x001F}), {}, Kind::kNone, {}},
      {"32-bit bit fields of 10 bits",
       32,
       3,
       maskBytes({0x3FF00000, 0x000FFC00, 0x000003FF}),
       {},
       Kind::kNone,
       {}},
  };
  return all;
}

std::size_t strideOf(std::uint16_t bits, std::int32_t width) {
  return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
}

// A file of the storage whose rows hold pixels as given (bottom-up, padding included).
Bytes fileOf(const Storage& storage, std::int32_t width, std::int32_t height, const Bytes& rows) {
  Bytes head = storage.masks;
  head.insert(head.end(), storage.table.begin(), storage.table.end());
  Bytes file = testing_support::makeBmp(storage.bits, width, height, head, rows);
  putLE(file, 30, storage.compression, 4);
  putLE(file, 46, storage.table.size() / 4, 4);  // the masks are no entries
  return file;
}

// The same file with its rows stored top-down.
Bytes topDown(const Bytes& file, std::int32_t width, std::int32_t height, std::uint16_t bits) {
  Bytes flipped = file;
  const std::size_t stride = strideOf(bits, width);
  const std::size_t start = file[10] | std::size_t{file[11]} << 8;
  for (std::int32_t row = 0; row < height; ++row) {
    std::copy_n(
        file.begin() + static_cast<std::ptrdiff_t>(start + static_cast<std::size_t>(row) * stride),
        stride,
        flipped.begin() + static_cast<std::ptrdiff_t>(
                              start + static_cast<std::size_t>(height - 1 - row) * stride));
  }
  putLE(flipped, 22, static_cast<std::uint32_t>(-height), 4);
  return flipped;
}

compare::Comparison inMemory(const Bytes& a, const Bytes& b) {
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  return compare::compareFiles(inputA, inputB);
}

compare::StoredLayout layoutOf(const Bytes& a, const Bytes& b) {
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  decode::Decoder decoderA(inputA);
  decode::Decoder decoderB(inputB);
  return compare::storedLayout(decoderA.format(), decoderB.format());
}

// The pixels of a and b compared three ways: in memory, where every piece lies whole and a
// layout whose bytes give the pixels is compared by them; through sources of 7-byte blocks,
// where no piece of 8 bytes or more lies whole and each is decoded; and plainly. Expects the
// three to agree, listed pixels and their sources included, and returns the first.
compare::PixelComparison comparedThreeWays(const Bytes& a, const Bytes& b) {
  const compare::Comparison fast = inMemory(a, b);
  const compare::Comparison decoded = testing_support::compareInBlocks(a, b, 7);
  const compare::PixelComparison& pixels = fast.pixels;
  const compare::PixelComparison& expected = decoded.pixels;
  EXPECT_EQ(pixels.differ, expected.differ);
  EXPECT_EQ(pixels.stateDiffer, expected.stateDiffer);
  EXPECT_EQ(pixels.largest, expected.largest);
  if (expected.differ > 0) {
    EXPECT_EQ(pixels.box.left, expected.box.left);
    EXPECT_EQ(pixels.box.top, expected.box.top);
    EXPECT_EQ(pixels.box.right, expected.box.right);
    EXPECT_EQ(pixels.box.bottom, expected.box.bottom);
  }
  // The lines show every listed pixel's colour, state, index, offset, bytes and command.
  EXPECT_EQ(compare::comparisonLines(fast), compare::comparisonLines(decoded));

  decode::MemoryInput plainA(a.data(), a.size());
  decode::MemoryInput plainB(b.data(), b.size());
  const testing_support::PlainPixels plain =
      testing_support::plainComparison(plainA, plainB, compare::Bounds{}.pixels);
  // Identical files are found so before any pixel is compared.
  EXPECT_EQ(pixels.compared, plain.compared && !fast.identicalBytes);
  EXPECT_EQ(pixels.differ, plain.differ);
  EXPECT_EQ(pixels.stateDiffer, plain.stateDiffer);
  EXPECT_EQ(pixels.largest, plain.largest);
  if (plain.differ > 0) {
    EXPECT_EQ(pixels.box.left, plain.left);
    EXPECT_EQ(pixels.box.top, plain.top);
    EXPECT_EQ(pixels.box.right, plain.right);
    EXPECT_EQ(pixels.box.bottom, plain.bottom);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> listed;
  for (const compare::PixelDifference& pixel : pixels.first) listed.emplace_back(pixel.x, pixel.y);
  EXPECT_EQ(listed, plain.first);
  return pixels;
}

void expectBox(const compare::PixelComparison& pixels, std::uint32_t left, std::uint32_t top,
               std::uint32_t right, std::uint32_t bottom) {
  EXPECT_EQ(pixels.box.left, left);
  EXPECT_EQ(pixels.box.top, top);
  EXPECT_EQ(pixels.box.right, right);
  EXPECT_EQ(pixels.box.bottom, bottom);
}

// 24-bit rows of width 37 (111 bytes, one of padding), bottom-up: blue 0x10 + x, green 0x80 +
// y, red 0x30; the padding 0xEE.
constexpr std::int32_t kWidth = 37;
constexpr std::int32_t kHeight = 5;
Bytes rows24() {
  Bytes rows(strideOf(24, kWidth) * kHeight, 0xEE);
  for (std::int32_t y = 0; y < kHeight; ++y) {
    for (std::int32_t x = 0; x < kWidth; ++x) {
      const std::size_t at = static_cast<std::size_t>(kHeight - 1 - y) * strideOf(24, kWidth) +
                             static_cast<std::size_t>(x) * 3;
      rows[at] = static_cast<std::uint8_t>(0x10 + x);
      rows[at + 1] = static_cast<std::uint8_t>(0x80 + y);
      rows[at + 2] = 0x30;
    }
  }
  return rows;
}

// Adds d to channel byte k (0 blue, 1 green, 2 red) of pixel (x, y) of rows24.
void add24(Bytes& rows, std::int32_t x, std::int32_t y, std::size_t k, int d) {
  std::uint8_t& byte = rows[static_cast<std::size_t>(kHeight - 1 - y) * strideOf(24, kWidth) +
                            static_cast<std::size_t>(x) * 3 + k];
  byte = static_cast<std::uint8_t>(byte + d);
}

TEST(CompareStored, TwentyFourBitPixelsAreCountedBoxedAndWidenedByTheirBytes) {
  const Storage& bgr = storages()[0];
  const Bytes rows = rows24();
  Bytes changed = rows;
  add24(changed, 0, 0, 2, 200);  // the first pixel's red
  add24(changed, 15, 1, 1, 1);   // the last pixel of a chunk of 16, and the first of the next
  add24(changed, 16, 1, 1, 1);
  add24(changed, 36, 2, 0, 17);  // the last pixel of a row, past the chunks
  for (std::size_t k = 0; k < 3; ++k) add24(changed, 20, 3, k, 5);
  changed[strideOf(24, kWidth) - 1] = 0x00;  // padding of the bottom row only
  const Bytes a = fileOf(bgr, kWidth, kHeight, rows);
  const Bytes b = fileOf(bgr, kWidth, kHeight, changed);
  const compare::StoredLayout layout = layoutOf(a, b);
  EXPECT_EQ(layout.kind, Kind::kChannels);
  EXPECT_EQ(layout.channelByte, bgr.channelByte);

  for (const Bytes& other : {b, topDown(b, kWidth, kHeight, 24)}) {
    const compare::PixelComparison pixels = comparedThreeWays(a, other);
    EXPECT_EQ(pixels.differ, 5u);
    EXPECT_EQ(pixels.stateDiffer, 0u);
    expectBox(pixels, 0, 0, 36, 3);
    EXPECT_EQ(pixels.largest, (std::array<std::uint8_t, 4>{200, 5, 17, 0}));
    ASSERT_EQ(pixels.first.size(), 5u);
    EXPECT_EQ(pixels.first[0].b.rgba, (std::array<std::uint8_t, 4>{0xF8, 0x80, 0x10, 255}));
    EXPECT_EQ(pixels.first[3].x, 36u);
  }
  // Only the padding differs: the same picture.
  Bytes padding = rows;
  for (std::int32_t row = 0; row < kHeight; ++row)
    padding[static_cast<std::size_t>(row + 1) * strideOf(24, kWidth) - 1] = 0x01;
  const compare::Comparison samePicture = inMemory(a, fileOf(bgr, kWidth, kHeight, padding));
  EXPECT_EQ(samePicture.pixels.differ, 0u);
  EXPECT_TRUE(samePicture.same);
}

TEST(CompareStored, ThirtyTwoBitPixelsReadOnlyTheBytesTheirMasksTake) {
  // 20 x 3, 80-byte rows: blue x, green 0x40 + y, red 0x90, fourth byte 0x7F.
  Bytes rows(std::size_t{80} * 3);
  for (std::size_t i = 0; i < rows.size(); i += 4) {
    rows[i] = static_cast<std::uint8_t>(i / 4 % 20);
    rows[i + 1] = static_cast<std::uint8_t>(0x40 + 2 - i / 80);
    rows[i + 2] = 0x90;
    rows[i + 3] = 0x7F;
  }
  Bytes changed = rows;
  for (std::size_t i = 3; i < changed.size(); i += 4) changed[i] = 0x80;  // every fourth byte
  changed[80 * 1 + 3 * 4 + 2] = 0x99;                                     // (3, 1): red + 9
  changed[80 * 0 + 19 * 4] = 21;                                          // (19, 2): blue + 2

  const Storage& rgb = storages()[1];
  const Bytes a = fileOf(rgb, 20, 3, rows);
  const Bytes b = fileOf(rgb, 20, 3, changed);
  EXPECT_EQ(layoutOf(a, b).channelByte, rgb.channelByte);
  EXPECT_EQ(layoutOf(a, b).read, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0}));
  compare::PixelComparison pixels = comparedThreeWays(a, b);
  EXPECT_EQ(pixels.differ, 2u);
  expectBox(pixels, 3, 1, 19, 2);
  EXPECT_EQ(pixels.largest, (std::array<std::uint8_t, 4>{9, 0, 2, 0}));
  // The fourth byte alone: the same picture.
  Bytes fourth = rows;
  for (std::size_t i = 3; i < fourth.size(); i += 4) fourth[i] = 0;
  EXPECT_EQ(comparedThreeWays(a, fileOf(rgb, 20, 3, fourth)).differ, 0u);

  // Bit fields that take it as alpha, red first: every pixel differs, in alpha by 1.
  const Storage& rgba = storages()[2];
  const Bytes alphaA = fileOf(rgba, 20, 3, rows);
  const Bytes alphaB = fileOf(rgba, 20, 3, changed);
  EXPECT_EQ(layoutOf(alphaA, alphaB).channelByte, rgba.channelByte);
  pixels = comparedThreeWays(alphaA, alphaB);
  EXPECT_EQ(pixels.differ, 60u);
  expectBox(pixels, 0, 0, 19, 2);
  EXPECT_EQ(pixels.largest, (std::array<std::uint8_t, 4>{2, 0, 9, 1}));
  EXPECT_EQ(pixels.first[0].a.rgba, (std::array<std::uint8_t, 4>{0, 0x40, 0x90, 0x7F}));

  // 24-bit bit fields, red first: rows24's blue byte is red here.
  const Storage& fields = storages()[3];
  Bytes redder = rows24();
  add24(redder, 7, 4, 0, 3);
  const compare::PixelComparison red = comparedThreeWays(fileOf(fields, kWidth, kHeight, rows24()),
                                                         fileOf(fields, kWidth, kHeight, redder));
  EXPECT_EQ(red.differ, 1u);
  expectBox(red, 7, 4, 7, 4);
  EXPECT_EQ(red.largest, (std::array<std::uint8_t, 4>{3, 0, 0, 0}));
}

TEST(CompareStored, IndexedPixelsCompareByTheEntriesTheirIndicesName) {
  // 8 bits, 19 x 3 (rows of 20 bytes): entries 1 and 4 are one colour; 6 and up name none.
  const Storage& indexed = storages()[4];
  Bytes rows(std::size_t{20} * 3, 0);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i % 3);
  rows[20 * 2 + 4] = 1;
  rows[20 * 2 + 5] = 2;
  rows[20 * 1 + 18] = 0;
  rows[20 * 0 + 0] = 8;
  Bytes changed = rows;
  changed[20 * 2 + 4] = 4;   // (4, 0): 1 becomes 4, the same colour
  changed[20 * 2 + 5] = 3;   // (5, 0): 2 becomes 3
  changed[20 * 1 + 18] = 7;  // (18, 1): 0 becomes an index past the table
  changed[20 * 0 + 0] = 9;   // (0, 2): 8 becomes 9, both past the table: 0 0 0 0 in both
  changed[20 * 0 + 19] = 5;  // padding
  const Bytes a = fileOf(indexed, 19, 3, rows);
  const Bytes b = fileOf(indexed, 19, 3, changed);
  EXPECT_EQ(layoutOf(a, b).kind, Kind::kIndexed);
  const compare::PixelComparison pixels = comparedThreeWays(a, b);
  EXPECT_EQ(pixels.differ, 2u);
  EXPECT_EQ(pixels.stateDiffer, 1u);
  expectBox(pixels, 5, 0, 18, 1);
  // Entry 2 (red 0xF1, green 0x81, blue 0x11) against entry 3 (0x02, 0x82, 0x12).
  EXPECT_EQ(pixels.largest, (std::array<std::uint8_t, 4>{0xEF, 1, 1, 0}));
  EXPECT_EQ(pixels.first[1].b.state, decode::kBadIndex);

  // A table that claims 200 entries where the file holds 25, with the pixels over it (bfOffBits
  // 54): an index past what the file holds (missing) and one past the table (no entry) are both
  // 0 0 0 0, and differ in state; two missing ones do not differ. Pixels 7 and 11 are reserved
  // bytes of entries, which no colour reads.
  Bytes over = testing_support::makeBmp(8, 100, 1, {}, Bytes(100, 30));
  putLE(over, 46, 200, 4);
  Bytes overChanged = over;
  overChanged[54 + 7] = 210;
  overChanged[54 + 11] = 31;
  EXPECT_EQ(layoutOf(over, overChanged).kind, Kind::kIndexed);
  const compare::PixelComparison overPixels = comparedThreeWays(over, overChanged);
  EXPECT_EQ(overPixels.differ, 1u);
  EXPECT_EQ(overPixels.stateDiffer, 1u);
  expectBox(overPixels, 7, 0, 7, 0);

  // Another table: not one layout, so decoded.
  Bytes otherTable = sixEntries();
  otherTable[0] = 0x11;
  Storage other = indexed;
  other.table = otherTable;
  EXPECT_EQ(layoutOf(a, fileOf(other, 19, 3, changed)).kind, Kind::kNone);
  comparedThreeWays(a, fileOf(other, 19, 3, changed));

  // 4, 2 and 1 bits, 13 pixels a row: the bits past the last pixel are padding.
  for (const std::size_t which : {5u, 6u, 7u}) {
    const Storage& small = storages()[which];
    SCOPED_TRACE(small.name);
    const std::size_t stride = strideOf(small.bits, 13);
    Bytes smallRows(stride * 2, 0);
    Bytes smallChanged = smallRows;
    // In the bottom row (y 1): the lowest bit of the second byte, and of the last pixel.
    smallChanged[1] = 0x01;
    smallChanged[(13 * small.bits - 1) / 8] |= 1u << ((8 - 13 * small.bits % 8) % 8);
    // Bits past the last pixel, and the bytes past them in both rows: padding.
    smallChanged[(13 * small.bits) / 8] |= 1;
    for (std::size_t i = (13 * small.bits + 7) / 8; i < stride; ++i)
      smallChanged[i] = smallChanged[stride + i] = 0xFF;
    const Bytes smallA = fileOf(small, 13, 2, smallRows);
    const Bytes smallB = fileOf(small, 13, 2, smallChanged);
    EXPECT_EQ(layoutOf(smallA, smallB).kind, Kind::kIndexed);
    const compare::PixelComparison smallPixels = comparedThreeWays(smallA, smallB);
    const std::uint32_t second = 16 / small.bits - 1;  // the pixel that ends the second byte
    EXPECT_EQ(smallPixels.differ, second < 13 ? 2u : 1u);
    expectBox(smallPixels, std::min(second, 12u), 1, 12, 1);
  }
}

TEST(CompareStored, PixelsPastTheEndOfACutFileAreMissing) {
  // Cut inside pixel 10 of stored row 2 (y 2): it and the rest of that row are missing, and the
  // rows above it; (5, 3), which the file holds, differs in colour.
  const Storage& bgr = storages()[0];
  const Bytes a = fileOf(bgr, kWidth, kHeight, rows24());
  Bytes changed = rows24();
  add24(changed, 5, 3, 1, 9);
  Bytes cut = fileOf(bgr, kWidth, kHeight, changed);
  cut.resize(54 + 2 * strideOf(24, kWidth) + std::size_t{10} * 3 + 2);
  compare::PixelComparison pixels = comparedThreeWays(a, cut);
  EXPECT_EQ(pixels.differ, 1u + 27 + 2 * 37);
  EXPECT_EQ(pixels.stateDiffer, 27u + 2 * 37);
  expectBox(pixels, 0, 0, 36, 3);
  EXPECT_EQ(pixels.largest, (std::array<std::uint8_t, 4>{0, 9, 0, 0}));

  // 32-bit BI_RGB cut before the fourth byte of the last pixel: its colour bytes are there, but
  // not all of its bytes, so it is missing, though its fourth byte is not read.
  const Storage& rgb = storages()[1];
  const Bytes whole = fileOf(rgb, 20, 1, Bytes(80, 0x33));
  const Bytes short3 = Bytes(whole.begin(), whole.end() - 1);
  pixels = comparedThreeWays(whole, short3);
  EXPECT_EQ(pixels.differ, 1u);
  EXPECT_EQ(pixels.stateDiffer, 1u);
  expectBox(pixels, 19, 0, 19, 0);
  ASSERT_EQ(pixels.first.size(), 1u);
  EXPECT_EQ(pixels.first[0].b.state, decode::kMissing);
}

TEST(CompareStored, RowsOfWholeChunksAndRowsWiderThanAPiece) {
  // A row of 32 pixels, two whole chunks, that ends the file with every pixel differing: the
  // loops read nothing past it (which AddressSanitizer would see).
  const Bytes grey(std::size_t{96} * 2, 0x40);
  Bytes greener = grey;
  for (std::size_t i = 96; i < grey.size(); i += 3) greener[i + 1] = 0x41;
  const compare::PixelComparison whole =
      comparedThreeWays(fileOf(storages()[0], 32, 2, grey), fileOf(storages()[0], 32, 2, greener));
  EXPECT_EQ(whole.differ, 32u);
  expectBox(whole, 0, 0, 31, 0);
  EXPECT_EQ(whole.largest, (std::array<std::uint8_t, 4>{0, 1, 0, 0}));

  // 16,400 pixels a row, compared in pieces of 16,384: differences on both sides of the seam.
  for (const std::size_t which : {0u, 1u, 4u}) {
    const Storage& storage = storages()[which];
    SCOPED_TRACE(storage.name);
    const std::size_t stride = strideOf(storage.bits, 16400);
    Bytes rows(stride * 2, 1);
    Bytes changed = rows;
    const std::size_t size = storage.bits / 8u;
    for (const std::size_t x : {16383u, 16384u, 16399u}) changed[stride + x * size] = 2;
    const compare::PixelComparison pixels =
        comparedThreeWays(fileOf(storage, 16400, 2, rows), fileOf(storage, 16400, 2, changed));
    EXPECT_EQ(pixels.differ, 3u);
    expectBox(pixels, 16383, 0, 16399, 0);
  }
}

TEST(CompareStored, RandomPairsOfEveryLayoutAndWidthAgree) {
  Noise noise(0x2545F491);
  for (const Storage& storage : storages()) {
    SCOPED_TRACE(storage.name);
    for (std::int32_t width = 1; width <= 40; ++width) {
      SCOPED_TRACE(width);
      const std::int32_t height = 1 + static_cast<std::int32_t>(noise.below(4));
      const std::size_t size = strideOf(storage.bits, width) * static_cast<std::size_t>(height);
      // Indices to 9 at 8 bits, so that some name no entry.
      const std::uint32_t bound = storage.bits == 8 ? 10 : 256;
      Bytes rows(size);
      for (std::uint8_t& byte : rows) byte = static_cast<std::uint8_t>(noise.below(bound));
      Bytes changed = rows;
      // A few bytes anywhere, padding too; or every byte's lowest bits.
      const bool everywhere = width % 5 == 0;
      for (std::size_t i = 0; i < size; ++i) {
        if (everywhere || noise.below(8) == 0)
          changed[i] = static_cast<std::uint8_t>(noise.below(bound));
      }
      const Bytes a = fileOf(storage, width, height, rows);
      const Bytes b = fileOf(storage, width, height, changed);
      EXPECT_EQ(layoutOf(a, b).kind, storage.kind);
      comparedThreeWays(a, b);
      comparedThreeWays(a, topDown(b, width, height, storage.bits));
      // Cut at a random byte of the pixels.
      const std::uint32_t more = noise.below(static_cast<std::uint32_t>(size));
      const Bytes cut(b.begin(), b.end() - 1 - static_cast<std::ptrdiff_t>(more));
      comparedThreeWays(a, cut);
    }
  }
}

}  // namespace
