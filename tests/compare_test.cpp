// The comparison on BMP Suite pairs and on small crafted files: its exact lines, the fields
// matched across header versions, table entries, pixels by (x, y) with their bytes in both
// files, sizes, truncation, RLE, the listing bounds, and inputs that claim far more than they hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compare/comparison.h"
#include "compare/lines.h"
#include "decode/format.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/counting_input.h"
#include "tests/support/harness.h"
#include "tests/support/plain_comparison.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing_support::CountingInput;
using testing_support::putLE;

Bytes suiteFile(const std::string& name) {
  std::ifstream in(fs::u8path(testing_support::testDataPath("bmpsuite/" + name)), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

compare::Comparison compareBytes(const Bytes& a, const Bytes& b,
                                 const compare::Bounds& bounds = compare::Bounds{}) {
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  return compare::compareFiles(inputA, inputB, bounds);
}

std::string text(const compare::Comparison& comparison) {
  std::string out;
  for (const std::string& line : compare::comparisonLines(comparison)) out += line + "\n";
  return out;
}

// "#RRGGBB" of the blue, green, red bytes at offset, and those bytes as the lines show them.
std::string colourAt(const Bytes& file, std::size_t offset) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "#";
  for (const std::size_t i : {offset + 2, offset + 1, offset}) {
    text += kHex[file[i] >> 4];
    text += kHex[file[i] & 15];
  }
  return text;
}
std::string bytesAt(const Bytes& file, std::size_t offset, std::size_t count) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "[";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += kHex[file[offset + i] >> 4];
    text += kHex[file[offset + i] & 15];
  }
  return text + "]";
}

// A 24-bit picture's rows, bottom-up and padded: pixel (x, y) from the top is blue 16 x + y,
// green 0x80, red 0x40.
Bytes rows24(std::uint32_t width, std::uint32_t height) {
  const std::size_t stride = (std::size_t{width} * 3 + 3) / 4 * 4;
  Bytes pixels(stride * height, 0);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::size_t at = (height - 1 - y) * stride + std::size_t{x} * 3;
      pixels[at] = static_cast<std::uint8_t>(16 * x + y);
      pixels[at + 1] = 0x80;
      pixels[at + 2] = 0x40;
    }
  }
  return pixels;
}

// Table entries as stored: blue, green, red, reserved.
Bytes table(std::initializer_list<std::array<std::uint8_t, 3>> colours) {
  Bytes entries;
  for (const auto& bgr : colours) entries.insert(entries.end(), {bgr[0], bgr[1], bgr[2], 0});
  return entries;
}

TEST(Compare, TheSameFileIsIdenticalAndListsNothing) {
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  const compare::Comparison comparison = compareBytes(pal8, pal8);
  EXPECT_EQ(comparison.verdict, compare::Verdict::kIdentical);
  EXPECT_TRUE(comparison.same);
  EXPECT_EQ(text(comparison), "bytes: identical, 9,254 bytes\nverdict: identical bytes\n");
}

TEST(Compare, SamePicturesStoredOtherwiseListOnlyTheFieldsThatDiffer) {
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  compare::Comparison rle = compareBytes(pal8, suiteFile("pal8rle.bmp"));
  EXPECT_EQ(rle.verdict, compare::Verdict::kSamePicture);
  EXPECT_FALSE(rle.same);
  EXPECT_TRUE(rle.storageDiffers);
  EXPECT_FALSE(rle.rowsOpposite);
  EXPECT_EQ(text(rle),
            "bytes: 9,254 vs 8,788; first difference at 2, bfSize in both\n"
            "bfSize (2, 4 bytes): 9254 [26 24 00 00] vs 8788 [54 22 00 00]\n"
            "biCompression (30, 4 bytes): 0 [00 00 00 00] vs 1 [01 00 00 00]\n"
            "biSizeImage (34, 4 bytes): 8192 [00 20 00 00] vs 7726 [2E 1E 00 00]\n"
            "pixels: same picture (8,128 pixels), stored uncompressed in A and as RLE8 in B\n"
            "verdict: same picture, different bytes\n");

  compare::Comparison topDown = compareBytes(pal8, suiteFile("pal8topdown.bmp"));
  EXPECT_EQ(topDown.verdict, compare::Verdict::kSamePicture);
  EXPECT_TRUE(topDown.rowsOpposite);
  EXPECT_FALSE(topDown.storageDiffers);
  EXPECT_EQ(text(topDown),
            "bytes: 9,254 vs 9,254; first difference at 22, biHeight in both\n"
            "biHeight (22, 4 bytes): 64 [40 00 00 00] vs -64 [C0 FF FF FF]\n"
            "pixels: same picture (8,128 pixels), rows stored in opposite order\n"
            "verdict: same picture, different bytes\n");

  // Other masks for the same channels, and bit fields against BI_RGB: the same pictures.
  EXPECT_EQ(compareBytes(suiteFile("q/rgba32abf.bmp"), suiteFile("q/rgba32-1.bmp")).verdict,
            compare::Verdict::kSamePicture);
  EXPECT_EQ(compareBytes(suiteFile("rgb32.bmp"), suiteFile("g/rgb32bf.bmp")).verdict,
            compare::Verdict::kSamePicture);
}

TEST(Compare, OneFieldChangedIsThatFieldAndTheSamePicture) {
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  Bytes changed = pal8;
  putLE(changed, 38, 1000, 4);  // biXPelsPerMeter
  const compare::Comparison comparison = compareBytes(pal8, changed);
  EXPECT_EQ(comparison.verdict, compare::Verdict::kSamePicture);
  EXPECT_FALSE(comparison.same);
  EXPECT_EQ(text(comparison),
            "bytes: 9,254 vs 9,254; first difference at 38, biXPelsPerMeter in both\n"
            "biXPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00] vs 1000 [E8 03 00 00]\n"
            "pixels: same picture (8,128 pixels)\n"
            "verdict: same picture, different bytes\n");
}

TEST(Compare, HeadersOfEveryVersionCompareFieldByField) {
  // 40 bytes against 124: the fields both have by their common names, the rest only in B.
  const compare::Comparison v5 = compareBytes(suiteFile("g/pal8.bmp"), suiteFile("g/pal8v5.bmp"));
  EXPECT_EQ(v5.verdict, compare::Verdict::kSamePicture);
  std::vector<std::string> names;
  for (const compare::FieldDifference& field : v5.fields) {
    names.push_back(field.name);
    EXPECT_EQ(field.name, decode::commonFieldName(field.b.name));
    EXPECT_EQ(field.a.present, field.name.rfind("bf", 0) == 0 || field.name == "biSize");
  }
  EXPECT_EQ(names.size(), 3u + 21u);
  EXPECT_EQ(
      std::vector<std::string>(names.begin(), names.begin() + 5),
      (std::vector<std::string>{"bfSize", "bfOffBits", "biSize", "biRedMask", "biGreenMask"}));
  EXPECT_EQ(names.back(), "bV5Reserved");
  const std::vector<std::string> lines = compare::comparisonLines(v5);
  EXPECT_EQ(lines[3], "biSize / bV5Size (14, 4 bytes): 40 [28 00 00 00] vs 124 [7C 00 00 00]");
  EXPECT_EQ(lines[4], "only in B: bV5RedMask (54, 4 bytes): 0x00000000 [00 00 00 00]");
  EXPECT_EQ(lines[8], "only in B: bV5CSType (70, 4 bytes): sRGB [42 47 52 73]");

  // OS/2 1.x against 40 bytes: 2-byte fields against 4-byte ones of equal value are the same;
  // the OS/2 table runs to the pixels, 256 entries against 252.
  const compare::Comparison core =
      compareBytes(suiteFile("g/pal8os2.bmp"), suiteFile("g/pal8.bmp"));
  EXPECT_EQ(core.verdict, compare::Verdict::kSamePicture);
  const std::string coreText = text(core);
  EXPECT_NE(
      coreText.find("\nbcSize / biSize (14, 4 bytes): 12 [0C 00 00 00] vs 40 [28 00 00 00]\n"),
      std::string::npos)
      << coreText;
  EXPECT_EQ(coreText.find("Width"), std::string::npos) << coreText;
  EXPECT_NE(coreText.find("\nonly in B: biCompression (30, 4 bytes): 0 [00 00 00 00]\n"),
            std::string::npos);
  EXPECT_NE(coreText.find("\nentries 252..255 only in A\n"), std::string::npos);
}

// rgb24prof.bmp embeds a 3,048-byte ICC profile at 24,734; rgb24lprof.bmp links one by a
// 19-byte name at 24,724. A profile that differs is a line of its own and makes the files
// differ, though the picture is the same; the same profile anywhere, and bytes outside it, do not.
TEST(Compare, ProfilesThatDifferAreALineAndNotTheSame) {
  const Bytes prof = suiteFile("q/rgb24prof.bmp");
  const auto compared = [&](const Bytes& other) {
    compare::Comparison comparison = compareBytes(prof, other);
    EXPECT_EQ(comparison.verdict, compare::Verdict::kSamePicture);
    return comparison;
  };
  Bytes flipped = prof;
  flipped[24934] ^= 0xFF;
  const compare::Comparison byte = compared(flipped);
  EXPECT_FALSE(byte.same);
  EXPECT_TRUE(byte.fields.empty());
  EXPECT_TRUE(byte.profile.differ);
  EXPECT_EQ(byte.profile.firstDifference, 200u);
  EXPECT_EQ(text(byte),
            "bytes: 27,782 vs 27,782; first difference at 24,934, ICC profile in both\n"
            "ICC profile (24,734, 3,048 bytes): differs from byte 200, at 24,934: " +
                bytesAt(prof, 24934, 4) + " vs " + bytesAt(flipped, 24934, 4) +
                "\n"
                "pixels: same picture (8,128 pixels)\n"
                "verdict: same picture, different bytes\n");

  // A byte between the pixels and the profile: nothing that holds a colour differs.
  Bytes between = prof;
  between[24733] ^= 0xFF;
  const compare::Comparison outside = compared(between);
  EXPECT_TRUE(outside.same);
  EXPECT_FALSE(outside.profile.differ);

  // The same profile 4 bytes further on: its offset is a field that differs, the profile not.
  Bytes moved(prof.begin(), prof.begin() + 24734);
  moved.insert(moved.end(), 4, 0);
  moved.insert(moved.end(), prof.begin() + 24734, prof.end());
  putLE(moved, 2, moved.size(), 4);
  putLE(moved, 126, 24720 + 4, 4);  // bV5ProfileData
  const compare::Comparison away = compared(moved);
  EXPECT_FALSE(away.profile.differ);
  EXPECT_EQ(away.fields.size(), 2u);
  // Moved and with one byte changed: both offsets.
  moved[24934 + 4] ^= 0xFF;
  EXPECT_NE(text(compared(moved))
                .find("\nICC profile (24,734, 3,048 bytes / 24,738, 3,048 bytes): differs from "
                      "byte 200, at 24,934 / 24,938: "),
            std::string::npos);

  // Stated shorter, its bytes the first 3,000 of A's; cut short by the end of the file.
  Bytes shorter = prof;
  putLE(shorter, 130, 3000, 4);  // bV5ProfileSize
  EXPECT_NE(text(compared(shorter))
                .find("\nICC profile (24,734, 3,048 bytes / 24,734, 3,000 bytes): differs from "
                      "byte 3,000, at 27,734: " +
                      bytesAt(prof, 27734, 4) + " vs its end\n"),
            std::string::npos);
  const Bytes cut(prof.begin(), prof.end() - 2);
  const compare::Comparison ends = compared(cut);
  EXPECT_FALSE(ends.same);
  EXPECT_NE(text(ends).find("\nICC profile (24,734, 3,048 bytes): differs from byte 3,046, at "
                            "27,780: " +
                            bytesAt(prof, 27780, 2) + " vs [-- --]\n"),
            std::string::npos);

  // Embedded against linked, and against no profile at all.
  const Bytes linked = suiteFile("q/rgb24lprof.bmp");
  EXPECT_NE(text(compared(linked))
                .find("\nprofile: ICC profile (24,734, 3,048 bytes) vs linked profile name "
                      "(24,724, 19 bytes)\n"),
            std::string::npos);
  const compare::Comparison none = compareBytes(suiteFile("rgb24.bmp"), prof);
  EXPECT_EQ(none.profile.firstDifference, 0u);
  EXPECT_NE(text(none).find("\nonly in B: ICC profile (24,734, 3,048 bytes)\npixels: "),
            std::string::npos);

  // Two linked names, one letter apart.
  Bytes renamed = linked;
  renamed[24724 + 5] ^= 0x20;
  const compare::Comparison name = compareBytes(linked, renamed);
  EXPECT_FALSE(name.same);
  EXPECT_NE(text(name).find("\nlinked profile name (24,724, 19 bytes): differs from byte 5, at "
                            "24,729: " +
                            bytesAt(linked, 24729, 4) + " vs " + bytesAt(renamed, 24729, 4) + "\n"),
            std::string::npos);
  EXPECT_TRUE(compareBytes(linked, linked).same);
}

TEST(Compare, FieldNamesOfEveryHeaderVersionMeetInOne) {
  const std::pair<const char*, const char*> names[] = {
      {"bcWidth", "biWidth"},
      {"cx", "biWidth"},
      {"bV5Width", "biWidth"},
      {"bV4V4Compression", "biCompression"},
      {"bV5Compression", "biCompression"},
      {"cclrImportant", "biClrImportant"},
      {"bcBitCount", "biBitCount"},
      {"bV4RedMask", "biRedMask"},
      {"biAlphaMask", "biAlphaMask"},
      {"bV5CSType", "bV4CSType"},
      {"bV5GammaBlue", "bV4GammaBlue"},
      {"bV5Endpoints.ciexyzRed.ciexyzX", "bV4Endpoints.ciexyzRed.ciexyzX"},
      {"bV5Intent", "bV5Intent"},
      {"bV5Reserved", "bV5Reserved"},
      {"usUnits", "usUnits"},
      {"bfOffBits", "bfOffBits"}};
  for (const auto& [name, common] : names) EXPECT_EQ(decode::commonFieldName(name), common) << name;
}

TEST(Compare, OnePixelByteChangedIsThatPixelWithItsBytesInBoth) {
  const Bytes rgb24 = suiteFile("rgb24.bmp");
  // 127 x 64, rows of 384 bytes from 54, bottom-up: pixel (10, 5) is in stored row 58.
  const std::size_t offset = 54 + 58 * 384 + 10 * 3;
  Bytes changed = rgb24;
  changed[offset + 1] ^= 0x01;  // green
  const compare::Comparison comparison = compareBytes(rgb24, changed);
  const compare::PixelComparison& pixels = comparison.pixels;
  EXPECT_EQ(pixels.differ, 1u);
  EXPECT_EQ(pixels.count, 8128u);
  ASSERT_EQ(pixels.first.size(), 1u);
  const compare::PixelDifference& pixel = pixels.first[0];
  EXPECT_EQ(pixel.x, 10u);
  EXPECT_EQ(pixel.y, 5u);
  EXPECT_EQ(pixel.a.source.dataOffset, offset);
  EXPECT_EQ(pixel.b.source.dataOffset, offset);
  EXPECT_EQ(pixel.a.bytes, Bytes(rgb24.begin() + offset, rgb24.begin() + offset + 3));
  EXPECT_EQ(pixel.b.bytes, Bytes(changed.begin() + offset, changed.begin() + offset + 3));
  EXPECT_EQ(text(comparison),
            "bytes: 24,630 vs 24,630; first difference at 22,357, row 5 in both\n"
            "pixels: 1 of 8,128 differ, in x 10, y 5; largest difference R 0 G 1 B 0 A 0\n"
            "pixel (10, 5): " +
                colourAt(rgb24, offset) + " at 22,356 " + bytesAt(rgb24, offset, 3) + " vs " +
                colourAt(changed, offset) + " at 22,356 " + bytesAt(changed, offset, 3) +
                "\n"
                "verdict: different pictures\n");
}

TEST(Compare, DifferentSizesSayFirstAndComparePixelsOverTheCommonArea) {
  const Bytes a = testing_support::makeBmp(24, 3, 2, {}, rows24(3, 2));
  Bytes b = testing_support::makeBmp(24, 2, 3, {}, rows24(2, 3));
  // Pixel (1, 1) of the 2 x 3 picture: stored row 1, rows of 8 bytes; its red byte.
  b[54 + 8 + 3 + 2] = 0x41;
  const compare::Comparison comparison = compareBytes(a, b);
  EXPECT_TRUE(comparison.sizesDiffer);
  EXPECT_EQ(comparison.verdict, compare::Verdict::kDifferent);
  EXPECT_EQ(text(comparison),
            "size: 3 x 2 vs 2 x 3; pixels compared over 2 x 2\n"
            "bytes: 78 vs 78; first difference at 18, biWidth in both\n"
            "biWidth (18, 4 bytes): 3 [03 00 00 00] vs 2 [02 00 00 00]\n"
            "biHeight (22, 4 bytes): 2 [02 00 00 00] vs 3 [03 00 00 00]\n"
            "pixels: 1 of 4 differ, in x 1, y 1; largest difference R 1 G 0 B 0 A 0\n"
            "pixel (1, 1): #408011 at 57 [11 80 40] vs #418011 at 65 [11 80 41]\n"
            "verdict: different pictures\n");
  // Without that change the common area is the same, and the sizes alone make them differ.
  const compare::Comparison unchanged =
      compareBytes(a, testing_support::makeBmp(24, 2, 3, {}, rows24(2, 3)));
  EXPECT_EQ(unchanged.pixels.differ, 0u);
  EXPECT_EQ(unchanged.verdict, compare::Verdict::kDifferent);
  EXPECT_FALSE(unchanged.same);
  EXPECT_EQ(compare::comparisonLines(unchanged)[4],
            "pixels: the same over the area compared (4 pixels)");
}

TEST(Compare, ATruncatedCopyHasItsMissingPixelsMissingNotBlack) {
  const Bytes rgb24 = suiteFile("rgb24.bmp");
  // Cut 100 bytes into stored row 30 (y 33): 33 whole pixels of it are left.
  const std::size_t cut = 54 + 30 * 384 + 100;
  const Bytes truncated(rgb24.begin(), rgb24.begin() + static_cast<std::ptrdiff_t>(cut));
  const compare::Comparison comparison = compareBytes(rgb24, truncated);
  const compare::PixelComparison& pixels = comparison.pixels;
  EXPECT_EQ(pixels.differ, 33u * 127 + (127 - 33));
  EXPECT_EQ(pixels.stateDiffer, pixels.differ);
  EXPECT_EQ(pixels.box.left, 0u);
  EXPECT_EQ(pixels.box.right, 126u);
  EXPECT_EQ(pixels.box.top, 0u);
  EXPECT_EQ(pixels.box.bottom, 33u);
  ASSERT_EQ(pixels.first.size(), 10u);
  for (const compare::PixelDifference& pixel : pixels.first) {
    EXPECT_EQ(pixel.a.state, decode::kDefined);
    EXPECT_EQ(pixel.b.state, decode::kMissing);
    EXPECT_EQ(pixel.b.source.kind, decode::PixelSource::Kind::kMissing);
  }
  const std::vector<std::string> lines = compare::comparisonLines(comparison);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], "bytes: 24,630 vs 11,674; B is the first 11,674 bytes of A");
  EXPECT_EQ(lines[1],
            "pixels: 4,285 of 8,128 differ, in x 0..126, y 0..33; 4,285 of them differ in state");
  // (0, 0) is stored last: row 63.
  const std::size_t first = 54 + 63 * 384;
  EXPECT_EQ(lines[2],
            "pixel (0, 0): " + colourAt(rgb24, first) + " at 24,246 " + bytesAt(rgb24, first, 3) +
                " vs missing: its bytes at 24,246 [-- -- --] lie past the end of the file");
  EXPECT_EQ(lines[12], "pixels: 4,275 more differ, not listed");
  EXPECT_EQ(lines[13], "verdict: different pictures");
}

TEST(Compare, TableEntriesByIndexAndTheEntriesOnlyOneTableHas) {
  const Bytes a = testing_support::makeBmp(
      8, 2, 1, table({{0, 0, 0}, {0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}, {0x70, 0x80, 0x90}}),
      {1, 2, 0, 0});
  const Bytes b = testing_support::makeBmp(8, 2, 1,
                                           table({{0, 0, 0},
                                                  {0x10, 0x20, 0x30},
                                                  {0x40, 0x50, 0x61},
                                                  {0x70, 0x80, 0x90},
                                                  {1, 1, 1},
                                                  {2, 2, 2}}),
                                           {1, 2, 0, 0});
  EXPECT_EQ(text(compareBytes(a, b)),
            "bytes: 74 vs 82; first difference at 2, bfSize in both\n"
            "bfSize (2, 4 bytes): 74 [4A 00 00 00] vs 82 [52 00 00 00]\n"
            "bfOffBits (10, 4 bytes): 70 [46 00 00 00] vs 78 [4E 00 00 00]\n"
            "biClrUsed (46, 4 bytes): 4 [04 00 00 00] vs 6 [06 00 00 00]\n"
            "entry 2 (62, 4 bytes): #605040 [40 50 60 00] vs #615040 [40 50 61 00]\n"
            "entries 4..5 only in B\n"
            "pixels: 1 of 2 differ, in x 1, y 0; largest difference R 1 G 0 B 0 A 0\n"
            "pixel (1, 0): #605040 (index 2) at 71 [02] vs #615040 (index 2) at 79 [02]\n"
            "verdict: different pictures\n");
  // Cut inside entry 2: it and entry 3 are missing, and so are the pixels; bfSize is as stored.
  const Bytes cut(a.begin(), a.begin() + 64);
  EXPECT_EQ(text(compareBytes(a, cut)),
            "bytes: 74 vs 64; B is the first 64 bytes of A\n"
            "entry 2 (62, 4 bytes): #605040 [40 50 60 00] vs missing [40 50 -- --]\n"
            "entry 3 (66, 4 bytes): #908070 [70 80 90 00] vs missing [-- -- -- --]\n"
            "pixels: 2 of 2 differ, in x 0..1, y 0; 2 of them differ in state\n"
            "pixel (0, 0): #302010 (index 1) at 70 [01] vs missing: its bytes at 70 [--] lie past "
            "the end of the file\n"
            "pixel (1, 0): #605040 (index 2) at 71 [02] vs missing: its bytes at 71 [--] lie past "
            "the end of the file\n"
            "verdict: different pictures\n");
}

TEST(Compare, ListingStopsAtItsBoundsWhileCountingEverything) {
  const Bytes black =
      testing_support::makeBmp(8, 8, 8, table({{0, 0, 0}, {255, 255, 255}}), Bytes(64, 0));
  const Bytes white =
      testing_support::makeBmp(8, 8, 8, table({{0, 0, 0}, {255, 255, 255}}), Bytes(64, 1));
  const compare::Comparison comparison = compareBytes(black, white);
  EXPECT_EQ(comparison.pixels.differ, 64u);
  ASSERT_EQ(comparison.pixels.first.size(), 10u);
  for (std::uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(comparison.pixels.first[i].x, i % 8);
    EXPECT_EQ(comparison.pixels.first[i].y, i / 8);
  }
  const std::vector<std::string> lines = compare::comparisonLines(comparison);
  EXPECT_EQ(lines[1],
            "pixels: 64 of 64 differ, in x 0..7, y 0..7; largest difference R 255 G 255 B 255 A 0");
  EXPECT_EQ(lines[lines.size() - 2], "pixels: 54 more differ, not listed");
  const compare::Comparison three = compareBytes(black, white, compare::Bounds{3, 16});
  EXPECT_EQ(three.pixels.differ, 64u);
  EXPECT_EQ(three.pixels.first.size(), 3u);

  // 300 entries, each with another red: all counted, 16 listed.
  Bytes entriesA;
  Bytes entriesB;
  for (int i = 0; i < 300; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    entriesA.insert(entriesA.end(), {v, v, v, 0});
    entriesB.insert(entriesB.end(), {v, v, static_cast<std::uint8_t>(v + 1), 0});
  }
  const compare::Comparison tables =
      compareBytes(testing_support::makeBmp(8, 1, 1, entriesA, {0, 0, 0, 0}),
                   testing_support::makeBmp(8, 1, 1, entriesB, {0, 0, 0, 0}));
  EXPECT_EQ(tables.entriesDiffer, 300u);
  EXPECT_EQ(tables.entries.size(), 16u);
  EXPECT_EQ(tables.entries.back().index, 15u);
  EXPECT_NE(text(tables).find("\nentries: 284 more differ, not listed\n"), std::string::npos);
}

TEST(Compare, RleAgainstUncompressedTracesThePixelToItsCommand) {
  const Bytes colours = table({{0, 0, 0}, {10, 20, 30}, {40, 50, 60}, {70, 80, 90}});
  // Stored row 0: four of index 1, end of line; row 1: an absolute run of 1 2 3 (padded), one
  // of index 1, end of bitmap. The pixels start at 70; the absolute run at 74.
  Bytes rle =
      testing_support::makeBmp(8, 4, 2, colours, {4, 1, 0, 0, 0, 3, 1, 2, 3, 0, 1, 1, 0, 1});
  putLE(rle, 30, 1, 4);  // BI_RLE8
  const Bytes same = testing_support::makeBmp(8, 4, 2, colours, {1, 1, 1, 1, 1, 2, 3, 1});
  EXPECT_NE(
      text(compareBytes(rle, same))
          .find("\npixels: same picture (8 pixels), stored as RLE8 in A and uncompressed in B\n"),
      std::string::npos);
  const Bytes other = testing_support::makeBmp(8, 4, 2, colours, {1, 1, 1, 1, 1, 2, 2, 1});
  const compare::Comparison comparison = compareBytes(rle, other);
  ASSERT_EQ(comparison.pixels.first.size(), 1u);
  EXPECT_EQ(comparison.pixels.first[0].a.source.command, decode::CommandKind::kAbsolute);
  EXPECT_EQ(text(comparison),
            "bytes: 84 vs 78; first difference at 2, bfSize in both\n"
            "bfSize (2, 4 bytes): 84 [54 00 00 00] vs 78 [4E 00 00 00]\n"
            "biCompression (30, 4 bytes): 1 [01 00 00 00] vs 0 [00 00 00 00]\n"
            "biSizeImage (34, 4 bytes): 14 [0E 00 00 00] vs 8 [08 00 00 00]\n"
            "pixels: 1 of 8 differ, in x 2, y 0; largest difference R 30 G 30 B 30 A 0; stored "
            "as RLE8 in A and uncompressed in B\n"
            "pixel (2, 0): #5A5046 (index 3) at 78 [03] in the absolute run at 74 vs #3C3228 "
            "(index 2) at 76 [02]\n"
            "verdict: different pictures\n");
  // Cut inside the second row's absolute run, which holds one of its three pixels: the rest of
  // that row is missing, the pixel it holds is not.
  Bytes cut = testing_support::makeBmp(8, 4, 2, colours, {4, 1, 0, 0, 0, 3, 1});
  putLE(cut, 30, 1, 4);
  const compare::Comparison missing = compareBytes(cut, same);
  EXPECT_EQ(missing.pixels.differ, 3u);
  EXPECT_EQ(missing.pixels.stateDiffer, 3u);
  EXPECT_EQ(missing.pixels.box.left, 1u);
  ASSERT_EQ(missing.pixels.first.size(), 3u);
  EXPECT_EQ(missing.pixels.first[0].a.source.kind, decode::PixelSource::Kind::kMissing);
  EXPECT_EQ(compare::comparisonLines(missing)[5],
            "pixel (1, 0): missing: the file ends its commands at 77 vs #3C3228 (index 2) at 75 "
            "[02]");

  // BMP Suite: the pixels a delta or the end of bitmap skips differ from defined ones.
  const compare::Comparison skips =
      compareBytes(suiteFile("q/pal8rletrns.bmp"), suiteFile("g/pal8.bmp"));
  ASSERT_FALSE(skips.pixels.first.empty());
  EXPECT_EQ(skips.pixels.stateDiffer, skips.pixels.differ);
  EXPECT_EQ(skips.pixels.first[0].a.state, decode::kSkipped);
  EXPECT_EQ(compare::comparisonLines(skips).back(), "verdict: different pictures");
}

TEST(Compare, PixelsSmallerThanAByteAndPiecesOfWideRows) {
  Bytes greys;
  for (int i = 0; i < 16; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 17);
    greys.insert(greys.end(), {level, level, level, 0});
  }
  // 4 bits, 5 x 1: pixels 1 2 3 4 5 and a padding nibble; the pixels start at 118.
  const Bytes a = testing_support::makeBmp(4, 5, 1, greys, {0x12, 0x34, 0x50, 0});
  EXPECT_EQ(text(compareBytes(a, testing_support::makeBmp(4, 5, 1, greys, {0x12, 0x35, 0x50, 0}))),
            "bytes: 122 vs 122; first difference at 119, row 0 in both\n"
            "pixels: 1 of 5 differ, in x 3, y 0; largest difference R 17 G 17 B 17 A 0\n"
            "pixel (3, 0): #444444 (index 4) at 119 bits 0..3 [34] vs #555555 (index 5) at 119 "
            "bits 0..3 [35]\n"
            "verdict: different pictures\n");
  // Only the padding nibble differs: the same picture, and nothing else differs.
  const compare::Comparison padding =
      compareBytes(a, testing_support::makeBmp(4, 5, 1, greys, {0x12, 0x34, 0x5F, 0}));
  EXPECT_EQ(padding.verdict, compare::Verdict::kSamePicture);
  EXPECT_TRUE(padding.same);

  // 20000 pixels a row, compared in pieces: differences in the first and the second piece.
  const Bytes blackAndWhite = table({{0, 0, 0}, {255, 255, 255}});
  Bytes pixels(40000, 0);
  const Bytes wideA = testing_support::makeBmp(8, 20000, 2, blackAndWhite, pixels);
  pixels[3] = pixels[17000] = 1;  // stored row 0: y 1
  const compare::Comparison wide =
      compareBytes(wideA, testing_support::makeBmp(8, 20000, 2, blackAndWhite, pixels));
  EXPECT_EQ(wide.pixels.differ, 2u);
  EXPECT_EQ(wide.pixels.box.left, 3u);
  EXPECT_EQ(wide.pixels.box.right, 17000u);
  EXPECT_EQ(wide.pixels.box.top, 1u);
  ASSERT_EQ(wide.pixels.first.size(), 2u);
  EXPECT_EQ(wide.pixels.first[1].x, 17000u);
  EXPECT_EQ(wide.pixels.first[1].b.source.dataOffset, 62u + 17000);
}

TEST(Compare, FilesReadThroughSmallBlocksCompareAlike) {
  // A Source of 7-byte blocks: no row lies in memory whole, so every piece is decoded.
  const Bytes rgb24 = suiteFile("rgb24.bmp");
  Bytes changed = rgb24;
  changed[54 + 20 * 384 + 50] ^= 0x80;
  for (const auto& [a, b] :
       {std::pair<Bytes, Bytes>{suiteFile("g/pal8.bmp"), suiteFile("pal8topdown.bmp")},
        std::pair<Bytes, Bytes>{rgb24, changed}}) {
    EXPECT_EQ(text(testing_support::compareInBlocks(a, b, 7)), text(compareBytes(a, b)));
  }
}

TEST(Compare, HeadersClaimingHugePicturesAreComparedInBoundedReads) {
  // 60000 x 60000 at 24 bits in 1 KiB: one row partly there, every other pixel missing in both.
  Bytes head = testing_support::makeBmp(24, 60000, 60000, {}, {});
  CountingInput a(head, 1024);
  putLE(head, 38, 1000, 4);
  CountingInput b(head, 1024);
  const compare::Comparison comparison = compare::compareFiles(a, b);
  EXPECT_EQ(comparison.pixels.count, 3600000000u);
  EXPECT_EQ(comparison.pixels.differ, 0u);
  EXPECT_EQ(comparison.verdict, compare::Verdict::kSamePicture);
  ASSERT_EQ(comparison.fields.size(), 1u);
  EXPECT_EQ(comparison.fields[0].name, "biXPelsPerMeter");
  EXPECT_LE(a.total, std::uint64_t{4} * 1024);
  EXPECT_LE(a.largest, decode::BlockReader::kBlockSize);

  // 5 GiB each, differing at their first byte past the headers: the scan for identity stops
  // there, and the 100 x 2 picture is read where it lies.
  Bytes small = testing_support::makeBmp(24, 100, 2, {}, {});
  CountingInput five(small, std::uint64_t{5} << 30);
  small.push_back(0x12);
  CountingInput other(small, std::uint64_t{5} << 30);
  const compare::Comparison huge = compare::compareFiles(five, other);
  EXPECT_EQ(huge.firstDifference, 54u);
  EXPECT_EQ(huge.pixels.differ, 1u);
  EXPECT_LE(five.total, std::uint64_t{2} * decode::BlockReader::kBlockSize);
  EXPECT_LE(other.largest, decode::BlockReader::kBlockSize);
}

TEST(Compare, BillionsOfRowsNeitherFileHoldsAreCountedWithoutDecodingThem) {
  constexpr std::uint64_t kSide = 0x7FFFFFFF;  // width and height
  const Bytes colours = table({{0, 0, 0}, {10, 20, 30}, {40, 50, 60}});
  // 8-bit, top-down: 40 bytes of stored row 0 (indices 1 and 2 alternating), the rest missing.
  Bytes indices(40);
  for (std::size_t i = 0; i < indices.size(); ++i)
    indices[i] = static_cast<std::uint8_t>(1 + i % 2);
  const Bytes topDown = testing_support::makeBmp(8, 0x7FFFFFFF, -0x7FFFFFFF, colours, indices);
  const Bytes cut(topDown.begin(), topDown.end() - 15);
  const compare::Comparison shorter = compareBytes(topDown, cut);
  EXPECT_EQ(shorter.pixels.count, kSide * kSide);
  EXPECT_EQ(shorter.pixels.differ, 15u);
  EXPECT_EQ(shorter.pixels.stateDiffer, 15u);
  EXPECT_EQ(shorter.pixels.box.left, 25u);
  EXPECT_EQ(shorter.pixels.box.right, 39u);
  EXPECT_EQ(shorter.pixels.box.bottom, 0u);
  // The height negated: the row at the top of one is at the bottom of the other.
  Bytes bottomUp = topDown;
  putLE(bottomUp, 22, 0x7FFFFFFF, 4);
  const compare::Comparison flipped = compareBytes(topDown, bottomUp);
  EXPECT_TRUE(flipped.rowsOpposite);
  EXPECT_EQ(flipped.pixels.differ, 80u);
  EXPECT_EQ(flipped.pixels.stateDiffer, 80u);
  EXPECT_EQ(flipped.pixels.box.left, 0u);
  EXPECT_EQ(flipped.pixels.box.right, 39u);
  EXPECT_EQ(flipped.pixels.box.top, 0u);
  EXPECT_EQ(flipped.pixels.box.bottom, kSide - 1);
  ASSERT_EQ(flipped.pixels.first.size(), 10u);
  EXPECT_EQ(flipped.pixels.first[9].x, 9u);
  EXPECT_EQ(flipped.pixels.first[9].b.state, decode::kMissing);

  // RLE8, bottom-up: stored row 0 five of index 1; row 1 three of index 2, then the end of
  // bitmap skips the rest. Cut after row 0, every row above it is missing instead: each of its
  // pixels differs in state, counted without being decoded.
  Bytes rle =
      testing_support::makeBmp(8, 0x7FFFFFFF, 0x7FFFFFFF, colours, {5, 1, 0, 0, 3, 2, 0, 1});
  putLE(rle, 30, 1, 4);  // BI_RLE8
  const Bytes rleCut(rle.begin(), rle.end() - 4);
  const compare::Comparison ends = compareBytes(rle, rleCut);
  EXPECT_EQ(ends.pixels.differ, (kSide - 1) * kSide);
  EXPECT_EQ(ends.pixels.stateDiffer, ends.pixels.differ);
  EXPECT_EQ(ends.pixels.box.left, 0u);
  EXPECT_EQ(ends.pixels.box.right, kSide - 1);
  EXPECT_EQ(ends.pixels.box.top, 0u);
  EXPECT_EQ(ends.pixels.box.bottom, kSide - 2);
  ASSERT_EQ(ends.pixels.first.size(), 10u);
  EXPECT_EQ(ends.pixels.first[0].a.state, decode::kSkipped);
  EXPECT_EQ(ends.pixels.first[0].a.source.command, decode::CommandKind::kEndOfBitmap);
  EXPECT_EQ(ends.pixels.first[0].b.state, decode::kMissing);
  // The value of row 1's run changed: its three pixels differ, and nothing else is decoded.
  Bytes other = rle;
  other[other.size() - 3] = 1;
  const compare::Comparison values = compareBytes(rle, other);
  EXPECT_EQ(values.pixels.differ, 3u);
  EXPECT_EQ(values.pixels.stateDiffer, 0u);
  EXPECT_EQ(values.pixels.box.top, kSide - 2);
  EXPECT_EQ(values.pixels.largest, (std::array<std::uint8_t, 4>{30, 30, 30, 0}));
}

// 64 bits, 2147352580 x 1073807363: A's top row, stored last, would start at 2^64 + 118,
// which 64-bit arithmetic wraps to 118, where B, 1 x 9, keeps its own top pixel. A holds no byte
// of that row: beyond any file, its pixel is missing there, never "the same bytes".
TEST(Compare, APixelBeyondAnyFileIsMissingNeverTheBytesAWrappedOffsetFinds) {
  Bytes pixels(72);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::uint8_t>(i % 2 == 0 ? 0x80 + i : 0x10);  // 0.5 and a little
  const Bytes a = testing_support::makeBmp(64, 2147352580, 1073807363, {}, pixels);
  const Bytes b = testing_support::makeBmp(64, 1, 9, {}, pixels);
  const compare::Comparison comparison = compareBytes(a, b);
  EXPECT_EQ(comparison.pixels.count, 9u);
  EXPECT_EQ(comparison.pixels.differ, 9u);
  EXPECT_EQ(comparison.pixels.stateDiffer, 9u);
  EXPECT_EQ(comparison.pixels.box.top, 0u);
  EXPECT_EQ(comparison.pixels.box.bottom, 8u);
  ASSERT_EQ(comparison.pixels.first.size(), 9u);
  const compare::PixelDifference& top = comparison.pixels.first[0];
  EXPECT_EQ(top.y, 0u);
  EXPECT_EQ(top.a.state, decode::kMissing);
  EXPECT_TRUE(top.a.source.beyondAnyFile);
  EXPECT_TRUE(top.a.bytes.empty());
  EXPECT_EQ(top.b.state, decode::kDefined);
  EXPECT_EQ(top.b.source.dataOffset, 118u);
  // The row below ends short of 2^64, far past the file.
  EXPECT_FALSE(comparison.pixels.first[1].a.source.beyondAnyFile);
  EXPECT_EQ(comparison.pixels.first[1].a.source.dataOffset, 18446744056530731094u);
  const std::string lines = text(comparison);
  EXPECT_NE(lines.find("\npixels: 9 of 9 differ, in x 0, y 0..8; 9 of them differ in state\n"
                       "pixel (0, 0): missing: its bytes would lie past 2^64 - 1, beyond any file "
                       "vs #"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("\npixel (0, 1): missing: its bytes at 18,446,744,056,530,731,094 "
                       "[-- -- -- -- -- -- -- --] lie past the end of the file vs #"),
            std::string::npos)
      << lines;
}

// Inputs that claim 2^64 - 1 bytes hold every row of a 100 x 2 picture: the pixel that differs
// is found, not passed over as a row neither file holds.
TEST(Compare, FilesOfTwoToTheSixtyFourBytesHoldTheirRows) {
  Bytes head = testing_support::makeBmp(24, 100, 2, {}, {});
  CountingInput a(head, UINT64_MAX);
  head.resize(54 + 300 + 3 * 7, 0x11);
  head.push_back(0x12);
  CountingInput b(head, UINT64_MAX);
  const compare::Comparison comparison = compare::compareFiles(a, b);
  EXPECT_EQ(comparison.firstDifference, 54u + 300 + 21);
  EXPECT_EQ(comparison.pixels.differ, 1u);
  EXPECT_EQ(comparison.pixels.stateDiffer, 0u);
  ASSERT_EQ(comparison.pixels.first.size(), 1u);
  EXPECT_EQ(comparison.pixels.first[0].x, 7u);
  EXPECT_EQ(comparison.pixels.first[0].y, 0u);
  EXPECT_EQ(comparison.pixels.largest, (std::array<std::uint8_t, 4>{0, 0, 1, 0}));
}

TEST(Compare, FilesThatAreNotBitmapsOrWhosePixelsAreNotDecoded) {
  const Bytes notBmp = {'h', 'e', 'l', 'l', 'o'};
  const compare::Comparison notBitmap = compareBytes(suiteFile("g/pal8.bmp"), notBmp);
  EXPECT_FALSE(notBitmap.b.bitmap);
  EXPECT_EQ(text(notBitmap),
            "B: not a BMP file: it does not start with BM\nverdict: different pictures\n");
  EXPECT_EQ(text(compareBytes({}, notBmp)),
            "A: not a BMP file: it is empty\nB: not a BMP file: it does not start with BM\n"
            "verdict: different pictures\n");

  // An embedded JPEG against the same JPEG under another resolution: the same picture; against
  // an embedded PNG: not compared, each file saying why.
  const Bytes jpeg = suiteFile("q/rgb24jpeg.bmp");
  Bytes resolution = jpeg;
  putLE(resolution, 38, 1, 4);
  const compare::Comparison sameJpeg = compareBytes(jpeg, resolution);
  EXPECT_EQ(sameJpeg.verdict, compare::Verdict::kSamePicture);
  EXPECT_NE(text(sameJpeg).find("\npixels: the same embedded JPEG, 2,319 bytes\n"),
            std::string::npos);
  EXPECT_NE(text(compareBytes(jpeg, suiteFile("q/rgb24png.bmp")))
                .find("\npixels: not compared: A: an embedded JPEG is named, not decoded; B: an "
                      "embedded PNG is named, not decoded\nverdict: different pictures\n"),
            std::string::npos);
}

TEST(Compare, NumbersAreGroupedByThousands) {
  EXPECT_EQ(compare::grouped(0), "0");
  EXPECT_EQ(compare::grouped(999), "999");
  EXPECT_EQ(compare::grouped(1000), "1,000");
  EXPECT_EQ(compare::grouped(8128), "8,128");
  EXPECT_EQ(compare::grouped(3600000000u), "3,600,000,000");
  EXPECT_EQ(compare::grouped(UINT64_MAX), "18,446,744,073,709,551,615");
}

}  // namespace
