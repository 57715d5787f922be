// The comparison on BMP Suite pairs and on small crafted files: its exact lines, the fields
// matched across header versions, table entries, pixels by (x, y) with their bytes in both
// files, sizes, truncation, RLE, the listing bounds, and inputs that claim far more than they hold.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
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

using Bytes = std::vector<std::uint8_t>;
using testing_support::compareBytes;
using testing_support::CountingInput;
using testing_support::makeBmp;
using testing_support::pixelsLine;
using testing_support::putLE;

Bytes suiteFile(const std::string& name) {
  std::ifstream in(std::filesystem::u8path(testing_support::testDataPath("bmpsuite/" + name)),
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string text(const compare::Comparison& comparison) {
  std::string out;
  for (const std::string& line : compare::comparisonLines(comparison)) out += line + "\n";
  return out;
}

// Bytes with one byte changed, or a value stored at an offset.
Bytes with(Bytes bytes, std::size_t offset, std::uint8_t value) {
  bytes[offset] = value;
  return bytes;
}
Bytes stored(Bytes bytes, std::size_t offset, std::uint64_t value) {
  putLE(bytes, offset, value, 4);
  return bytes;
}
Bytes cut(const Bytes& bytes, std::size_t size) {
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
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

// Whether the lines of partial after its "...\n" are lines of text, in that order.
bool linesInOrder(const std::string& text, const std::string& partial) {
  std::istringstream wanted(partial.substr(4));
  std::istringstream lines(text);
  std::string want;
  std::string line;
  while (std::getline(wanted, want)) {
    do {
      if (!std::getline(lines, line)) return false;
    } while (line != want);
  }
  return true;
}

struct Pair {
  const char* name;
  Bytes a;
  Bytes b;
  bool same;         // exit status 0
  std::string text;  // the lines, exactly; or after "...\n" some of them, in order
};

// The end of the lines for BMP Suite's 127 x 64 pictures stored otherwise.
const std::string kSamePicture =
    "pixels: same picture (8,128 pixels)\nverdict: same picture, different bytes\n";

std::vector<Pair> pairs() {
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  const Bytes rgb24 = suiteFile("rgb24.bmp");
  const Bytes prof = suiteFile("q/rgb24prof.bmp");
  const Bytes linked = suiteFile("q/rgb24lprof.bmp");
  const Bytes jpeg = suiteFile("q/rgb24jpeg.bmp");
  // rgb24prof.bmp's profile 4 bytes further on: its offset (bV5ProfileData) differs, not it.
  Bytes moved = cut(prof, 24734);
  moved.insert(moved.end(), 4, 0);
  moved.insert(moved.end(), prof.begin() + 24734, prof.end());
  moved = stored(stored(moved, 2, moved.size()), 126, 24720 + 4);
  // 8 bits, 2 x 1 under four entries, and under six whose entry 2 differs.
  const Bytes four = makeBmp(
      8, 2, 1, table({{0, 0, 0}, {0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}, {0x70, 0x80, 0x90}}),
      {1, 2, 0, 0});
  const Bytes six = makeBmp(8, 2, 1,
                            table({{0, 0, 0},
                                   {0x10, 0x20, 0x30},
                                   {0x40, 0x50, 0x61},
                                   {0x70, 0x80, 0x90},
                                   {1, 1, 1},
                                   {2, 2, 2}}),
                            {1, 2, 0, 0});
  // RLE8 4 x 2: stored row 0 four of index 1, end of line; row 1 an absolute run of 1 2 3 (at
  // 74, padded), one of index 1, end of bitmap; cut inside that run, after its first pixel.
  const Bytes colours = table({{0, 0, 0}, {10, 20, 30}, {40, 50, 60}, {70, 80, 90}});
  const Bytes rle =
      stored(makeBmp(8, 4, 2, colours, {4, 1, 0, 0, 0, 3, 1, 2, 3, 0, 1, 1, 0, 1}), 30, 1);
  const Bytes rleCut = stored(makeBmp(8, 4, 2, colours, {4, 1, 0, 0, 0, 3, 1}), 30, 1);
  // 4 bits, 5 x 1 under 16 greys: pixels 1 2 3 4 5 and a padding nibble, from 118.
  Bytes greys;
  for (int i = 0; i < 16; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 17);
    greys.insert(greys.end(), {level, level, level, 0});
  }
  const Bytes nibbles = makeBmp(4, 5, 1, greys, {0x12, 0x34, 0x50, 0});
  // 64 bits, 2147352580 x 1073807363: the top row, stored last, would start at 2^64 + 118, which
  // 64-bit arithmetic wraps to 118, where the 1 x 9 file keeps its own top pixel.
  Bytes pixels64(72);
  for (std::size_t i = 0; i < pixels64.size(); ++i)
    pixels64[i] = static_cast<std::uint8_t>(i % 2 == 0 ? 0x80 + i : 0x10);  // 0.5 and a little
  const Bytes notBmp = {'h', 'e', 'l', 'l', 'o'};
  // Listing stops at its bounds while counting goes on: 64 pixels, 300 entries with another red.
  const Bytes blackAndWhite = table({{0, 0, 0}, {255, 255, 255}});
  Bytes entriesA;
  Bytes entriesB;
  for (int i = 0; i < 300; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    entriesA.insert(entriesA.end(), {v, v, v, 0});
    entriesB.insert(entriesB.end(), {v, v, static_cast<std::uint8_t>(v + 1), 0});
  }
  // 20000 pixels a row, compared in pieces: differences in the first and the second piece.
  Bytes wide(40000, 0);
  wide[3] = wide[17000] = 1;  // stored row 0: y 1
  return {
      {"itself", pal8, pal8, true,
       "bytes: identical, 9,254 bytes\n"
       "verdict: identical bytes\n"},
      {"RLE", pal8, suiteFile("pal8rle.bmp"), false,
       "bytes: 9,254 vs 8,788; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 9254 [26 24 00 00] vs 8788 [54 22 00 00]\n"
       "biCompression (30, 4 bytes): 0 [00 00 00 00] vs 1 [01 00 00 00]\n"
       "biSizeImage (34, 4 bytes): 8192 [00 20 00 00] vs 7726 [2E 1E 00 00]\n"
       "pixels: same picture (8,128 pixels), stored uncompressed in A and as RLE8 in B\n"
       "verdict: same picture, different bytes\n"},
      {"top-down", pal8, suiteFile("pal8topdown.bmp"), false,
       "bytes: 9,254 vs 9,254; first difference at 22, biHeight in both\n"
       "biHeight (22, 4 bytes): 64 [40 00 00 00] vs -64 [C0 FF FF FF]\n"
       "pixels: same picture (8,128 pixels), rows stored in opposite order\n"
       "verdict: same picture, different bytes\n"},
      {"other masks", suiteFile("q/rgba32abf.bmp"), suiteFile("q/rgba32-1.bmp"), false,
       "...\n"
       "biRedMask / bV5RedMask (54, 4 bytes): 0xFF000000 [00 00 00 FF] vs 0x00FF0000 [00 00 FF "
       "00]\n"
       "biAlphaMask / bV5AlphaMask (66, 4 bytes): 0x00FF0000 [00 00 FF 00] vs 0xFF000000 [00 00 00 "
       "FF]\n" +
           kSamePicture},
      {"bit fields", suiteFile("rgb32.bmp"), suiteFile("g/rgb32bf.bmp"), false,
       "...\n" + kSamePicture},
      {"one field", pal8, stored(pal8, 38, 1000), false,
       "bytes: 9,254 vs 9,254; first difference at 38, biXPelsPerMeter in both\n"
       "biXPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00] vs 1000 [E8 03 00 00]\n" +
           kSamePicture},
      {"V5 header", pal8, suiteFile("g/pal8v5.bmp"), false,
       "bytes: 9,254 vs 9,338; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 9254 [26 24 00 00] vs 9338 [7A 24 00 00]\n"
       "bfOffBits (10, 4 bytes): 1062 [26 04 00 00] vs 1146 [7A 04 00 00]\n"
       "biSize / bV5Size (14, 4 bytes): 40 [28 00 00 00] vs 124 [7C 00 00 00]\n"
       "only in B: bV5RedMask (54, 4 bytes): 0x00000000 [00 00 00 00]\n"
       "only in B: bV5GreenMask (58, 4 bytes): 0x00000000 [00 00 00 00]\n"
       "only in B: bV5BlueMask (62, 4 bytes): 0x00000000 [00 00 00 00]\n"
       "only in B: bV5AlphaMask (66, 4 bytes): 0x00000000 [00 00 00 00]\n"
       "only in B: bV5CSType (70, 4 bytes): sRGB [42 47 52 73]\n"
       "only in B: bV5Endpoints.ciexyzRed.ciexyzX (74, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzRed.ciexyzY (78, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzRed.ciexyzZ (82, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzGreen.ciexyzX (86, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzGreen.ciexyzY (90, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzGreen.ciexyzZ (94, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzBlue.ciexyzX (98, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzBlue.ciexyzY (102, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Endpoints.ciexyzBlue.ciexyzZ (106, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5GammaRed (110, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5GammaGreen (114, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5GammaBlue (118, 4 bytes): 0.0 [00 00 00 00]\n"
       "only in B: bV5Intent (122, 4 bytes): 4 [04 00 00 00]\n"
       "only in B: bV5ProfileData (126, 4 bytes): 0 [00 00 00 00]\n"
       "only in B: bV5ProfileSize (130, 4 bytes): 0 [00 00 00 00]\n"
       "only in B: bV5Reserved (134, 4 bytes): 0 [00 00 00 00]\n" +
           kSamePicture},
      {"OS/2 1.x header", suiteFile("g/pal8os2.bmp"), pal8, false,
       "bytes: 8,986 vs 9,254; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 8986 [1A 23 00 00] vs 9254 [26 24 00 00]\n"
       "bfOffBits (10, 4 bytes): 794 [1A 03 00 00] vs 1062 [26 04 00 00]\n"
       "bcSize / biSize (14, 4 bytes): 12 [0C 00 00 00] vs 40 [28 00 00 00]\n"
       "only in B: biCompression (30, 4 bytes): 0 [00 00 00 00]\n"
       "only in B: biSizeImage (34, 4 bytes): 8192 [00 20 00 00]\n"
       "only in B: biXPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00]\n"
       "only in B: biYPelsPerMeter (42, 4 bytes): 2835 [13 0B 00 00]\n"
       "only in B: biClrUsed (46, 4 bytes): 252 [FC 00 00 00]\n"
       "only in B: biClrImportant (50, 4 bytes): 0 [00 00 00 00]\n"
       "entries 252..255 only in A\n" +
           kSamePicture},
      {"a profile byte", prof, with(prof, 24934, 0x5A), false,
       "bytes: 27,782 vs 27,782; first difference at 24,934, ICC profile in both\n"
       "ICC profile (24,734, 3,048 bytes): differs from byte 200, at 24,934: [00 00 08 0C] vs [5A "
       "00 08 0C]\n" +
           kSamePicture},
      {"a byte before the profile", prof, with(prof, 24733, 0x5A), true,
       "bytes: 27,782 vs 27,782; first difference at 24,733, bytes past the pixels in both\n" +
           kSamePicture},
      {"a profile moved", prof, moved, false,
       "bytes: 27,782 vs 27,786; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 27782 [86 6C 00 00] vs 27786 [8A 6C 00 00]\n"
       "bV5ProfileData (126, 4 bytes): 24720 [90 60 00 00] vs 24724 [94 60 00 00]\n" +
           kSamePicture},
      {"a profile moved and changed", prof, with(moved, 24938, 0x5A), false,
       "bytes: 27,782 vs 27,786; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 27782 [86 6C 00 00] vs 27786 [8A 6C 00 00]\n"
       "bV5ProfileData (126, 4 bytes): 24720 [90 60 00 00] vs 24724 [94 60 00 00]\n"
       "ICC profile (24,734, 3,048 bytes / 24,738, 3,048 bytes): differs from byte 200, at 24,934 "
       "/ 24,938: [00 00 08 0C] vs [5A 00 08 0C]\n" +
           kSamePicture},
      {"a profile stated shorter", prof, stored(prof, 130, 3000), false,
       "bytes: 27,782 vs 27,782; first difference at 130, bV5ProfileSize in both\n"
       "bV5ProfileSize (130, 4 bytes): 3048 [E8 0B 00 00] vs 3000 [B8 0B 00 00]\n"
       "ICC profile (24,734, 3,048 bytes / 24,734, 3,000 bytes): differs from byte 3,000, at "
       "27,734: [30 39 00 00] vs its end\n" +
           kSamePicture},
      {"a profile cut", prof, cut(prof, prof.size() - 2), false,
       "bytes: 27,782 vs 27,780; B is the first 27,780 bytes of A\n"
       "ICC profile (24,734, 3,048 bytes): differs from byte 3,046, at 27,780: [C0 75] vs [-- "
       "--]\n" +
           kSamePicture},
      {"embedded and linked profiles", prof, linked, false,
       "...\n"
       "profile: ICC profile (24,734, 3,048 bytes) vs linked profile name (24,724, 19 bytes)\n" +
           kSamePicture},
      {"no profile", rgb24, prof, false,
       "...\n"
       "only in B: ICC profile (24,734, 3,048 bytes)\n" +
           kSamePicture},
      {"linked profile names", linked, with(linked, 24729, 0x5C), false,
       "bytes: 24,743 vs 24,743; first difference at 24,729, linked profile name in both\n"
       "linked profile name (24,724, 19 bytes): differs from byte 5, at 24,729: [6D 70 5C 74] vs "
       "[5C 70 5C 74]\n" +
           kSamePicture},
      {"a pixel's green", rgb24, with(rgb24, 22357, 0x53), false,
       "bytes: 24,630 vs 24,630; first difference at 22,357, row 5 in both\n"
       "pixels: 1 of 8,128 differ, in x 10, y 5; largest difference R 0 G 1 B 0 A 0\n"
       "pixel (10, 5): #EB5252 at 22,356 [52 52 EB] vs #EB5352 at 22,356 [52 53 EB]\n"
       "verdict: different pictures\n"},
      {"sizes", makeBmp(24, 3, 2, {}, rows24(3, 2)),
       with(makeBmp(24, 2, 3, {}, rows24(2, 3)), 54 + 8 + 3 + 2, 0x41), false,
       "size: 3 x 2 vs 2 x 3; pixels compared over 2 x 2\n"
       "bytes: 78 vs 78; first difference at 18, biWidth in both\n"
       "biWidth (18, 4 bytes): 3 [03 00 00 00] vs 2 [02 00 00 00]\n"
       "biHeight (22, 4 bytes): 2 [02 00 00 00] vs 3 [03 00 00 00]\n"
       "pixels: 1 of 4 differ, in x 1, y 1; largest difference R 1 G 0 B 0 A 0\n"
       "pixel (1, 1): #408011 at 57 [11 80 40] vs #418011 at 65 [11 80 41]\n"
       "verdict: different pictures\n"},
      {"sizes, the common area the same", makeBmp(24, 3, 2, {}, rows24(3, 2)),
       makeBmp(24, 2, 3, {}, rows24(2, 3)), false,
       "...\n"
       "pixels: the same over the area compared (4 pixels)\n"
       "verdict: different pictures\n"},
      {"a truncated copy", rgb24, cut(rgb24, 54 + 30 * 384 + 100), false,
       "...\n"
       "bytes: 24,630 vs 11,674; B is the first 11,674 bytes of A\n"
       "pixels: 4,285 of 8,128 differ, in x 0..126, y 0..33; 4,285 of them differ in state\n"
       "pixel (0, 0): #FF0000 at 24,246 [00 00 FF] vs missing: its bytes at 24,246 [-- -- --] lie "
       "past the end of the file\n"
       "pixels: 4,275 more differ, not listed\n"
       "verdict: different pictures\n"},
      {"table entries", four, six, false,
       "bytes: 74 vs 82; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 74 [4A 00 00 00] vs 82 [52 00 00 00]\n"
       "bfOffBits (10, 4 bytes): 70 [46 00 00 00] vs 78 [4E 00 00 00]\n"
       "biClrUsed (46, 4 bytes): 4 [04 00 00 00] vs 6 [06 00 00 00]\n"
       "entry 2 (62, 4 bytes): #605040 [40 50 60 00] vs #615040 [40 50 61 00]\n"
       "entries 4..5 only in B\n"
       "pixels: 1 of 2 differ, in x 1, y 0; largest difference R 1 G 0 B 0 A 0\n"
       "pixel (1, 0): #605040 (index 2) at 71 [02] vs #615040 (index 2) at 79 [02]\n"
       "verdict: different pictures\n"},
      {"a table cut", four, cut(four, 64), false,
       "bytes: 74 vs 64; B is the first 64 bytes of A\n"
       "entry 2 (62, 4 bytes): #605040 [40 50 60 00] vs missing [40 50 -- --]\n"
       "entry 3 (66, 4 bytes): #908070 [70 80 90 00] vs missing [-- -- -- --]\n"
       "pixels: 2 of 2 differ, in x 0..1, y 0; 2 of them differ in state\n"
       "pixel (0, 0): #302010 (index 1) at 70 [01] vs missing: its bytes at 70 [--] lie past the "
       "end of the file\n"
       "pixel (1, 0): #605040 (index 2) at 71 [02] vs missing: its bytes at 71 [--] lie past the "
       "end of the file\n"
       "verdict: different pictures\n"},
      {"RLE against another picture", rle, makeBmp(8, 4, 2, colours, {1, 1, 1, 1, 1, 2, 2, 1}),
       false,
       "bytes: 84 vs 78; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 84 [54 00 00 00] vs 78 [4E 00 00 00]\n"
       "biCompression (30, 4 bytes): 1 [01 00 00 00] vs 0 [00 00 00 00]\n"
       "biSizeImage (34, 4 bytes): 14 [0E 00 00 00] vs 8 [08 00 00 00]\n"
       "pixels: 1 of 8 differ, in x 2, y 0; largest difference R 30 G 30 B 30 A 0; stored as RLE8 "
       "in A and uncompressed in B\n"
       "pixel (2, 0): #5A5046 (index 3) at 78 [03] in the absolute run at 74 vs #3C3228 (index 2) "
       "at 76 [02]\n"
       "verdict: different pictures\n"},
      {"RLE cut in a run", rleCut, makeBmp(8, 4, 2, colours, {1, 1, 1, 1, 1, 2, 3, 1}), false,
       "bytes: 77 vs 78; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 77 [4D 00 00 00] vs 78 [4E 00 00 00]\n"
       "biCompression (30, 4 bytes): 1 [01 00 00 00] vs 0 [00 00 00 00]\n"
       "biSizeImage (34, 4 bytes): 7 [07 00 00 00] vs 8 [08 00 00 00]\n"
       "pixels: 3 of 8 differ, in x 1..3, y 0; 3 of them differ in state; stored as RLE8 in A and "
       "uncompressed in B\n"
       "pixel (1, 0): missing: the file ends its commands at 77 vs #3C3228 (index 2) at 75 [02]\n"
       "pixel (2, 0): missing: the file ends its commands at 77 vs #5A5046 (index 3) at 76 [03]\n"
       "pixel (3, 0): missing: the file ends its commands at 77 vs #1E140A (index 1) at 77 [01]\n"
       "verdict: different pictures\n"},
      {"RLE skips", suiteFile("q/pal8rletrns.bmp"), pal8, false,
       "...\n"
       "entries: 236 more differ, not listed\n"
       "entry 252 only in A\n"
       "pixels: 416 of 8,128 differ, in x 27..100, y 21..42; 416 of them differ in state; stored "
       "as RLE8 in A and uncompressed in B\n"
       "pixel (27, 21): skipped by the delta at 6,562 [00 02 12 00] vs #FFFFFF (index 251) at "
       "6,465 [FB]\n"
       "pixels: 406 more differ, not listed\n"
       "verdict: different pictures\n"},
      {"4 bits", nibbles, makeBmp(4, 5, 1, greys, {0x12, 0x35, 0x50, 0}), false,
       "bytes: 122 vs 122; first difference at 119, row 0 in both\n"
       "pixels: 1 of 5 differ, in x 3, y 0; largest difference R 17 G 17 B 17 A 0\n"
       "pixel (3, 0): #444444 (index 4) at 119 bits 0..3 [34] vs #555555 (index 5) at 119 bits "
       "0..3 [35]\n"
       "verdict: different pictures\n"},
      {"a padding nibble", nibbles, makeBmp(4, 5, 1, greys, {0x12, 0x34, 0x5F, 0}), true,
       "bytes: 122 vs 122; first difference at 120, row 0 in both\n"
       "pixels: same picture (5 pixels)\n"
       "verdict: same picture, different bytes\n"},
      {"beyond any file", makeBmp(64, 2147352580, 1073807363, {}, pixels64),
       makeBmp(64, 1, 9, {}, pixels64), false,
       "...\n"
       "pixels: 9 of 9 differ, in x 0, y 0..8; 9 of them differ in state\n"
       "pixel (0, 0): missing: its bytes would lie past 2^64 - 1, beyond any file vs #BFBFBF86 at "
       "118 [C0 10 C2 10 C4 10 C6 10]\n"
       "pixel (0, 1): missing: its bytes at 18,446,744,056,530,731,094 [-- -- -- -- -- -- -- --] "
       "lie past the end of the file vs #BFBFBF85 at 110 [B8 10 BA 10 BC 10 BE 10]\n"
       "verdict: different pictures\n"},
      {"64 pixels", makeBmp(8, 8, 8, blackAndWhite, Bytes(64, 0)),
       makeBmp(8, 8, 8, blackAndWhite, Bytes(64, 1)), false,
       "...\n"
       "pixels: 64 of 64 differ, in x 0..7, y 0..7; largest difference R 255 G 255 B 255 A 0\n"
       "pixel (0, 1): #000000 (index 0) at 110 [00] vs #FFFFFF (index 1) at 110 [01]\n"
       "pixel (1, 1): #000000 (index 0) at 111 [00] vs #FFFFFF (index 1) at 111 [01]\n"
       "pixels: 54 more differ, not listed\n"},
      {"300 entries", makeBmp(8, 1, 1, entriesA, {0, 0, 0, 0}),
       makeBmp(8, 1, 1, entriesB, {0, 0, 0, 0}), false,
       "...\n"
       "entry 15 (114, 4 bytes): #0F0F0F [0F 0F 0F 00] vs #100F0F [0F 0F 10 00]\n"
       "entries: 284 more differ, not listed\n"},
      {"wide rows", makeBmp(8, 20000, 2, blackAndWhite, Bytes(40000, 0)),
       makeBmp(8, 20000, 2, blackAndWhite, wide), false,
       "bytes: 40,062 vs 40,062; first difference at 65, row 1 in both\n"
       "pixels: 2 of 40,000 differ, in x 3..17,000, y 1; largest difference R 255 G 255 B 255 A 0\n"
       "pixel (3, 1): #000000 (index 0) at 65 [00] vs #FFFFFF (index 1) at 65 [01]\n"
       "pixel (17,000, 1): #000000 (index 0) at 17,062 [00] vs #FFFFFF (index 1) at 17,062 [01]\n"
       "verdict: different pictures\n"},
      {"not a bitmap", pal8, notBmp, false,
       "B: not a BMP file: it does not start with BM\n"
       "verdict: different pictures\n"},
      {"empty",
       {},
       notBmp,
       false,
       "A: not a BMP file: it is empty\n"
       "B: not a BMP file: it does not start with BM\n"
       "verdict: different pictures\n"},
      {"the same JPEG", jpeg, stored(jpeg, 38, 1), false,
       "bytes: 2,457 vs 2,457; first difference at 38, bV5XPelsPerMeter in both\n"
       "bV5XPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00] vs 1 [01 00 00 00]\n"
       "pixels: the same embedded JPEG, 2,319 bytes\n"
       "verdict: same picture, different bytes\n"},
      {"JPEG and PNG", jpeg, suiteFile("q/rgb24png.bmp"), false,
       "bytes: 2,457 vs 1,210; first difference at 2, bfSize in both\n"
       "bfSize (2, 4 bytes): 2457 [99 09 00 00] vs 1210 [BA 04 00 00]\n"
       "bV5Compression (30, 4 bytes): 4 [04 00 00 00] vs 5 [05 00 00 00]\n"
       "bV5SizeImage (34, 4 bytes): 2319 [0F 09 00 00] vs 1072 [30 04 00 00]\n"
       "pixels: not compared: A: an embedded JPEG is named, not decoded; B: an embedded PNG is "
       "named, not decoded\n"
       "verdict: different pictures\n"},
  };
}

// Whole runs: each pair's lines exactly, its status, and for pictures small enough, its pixels
// as a plain comparison and the comparison read through 7-byte blocks find them.
TEST(Compare, PairsGiveTheirLinesExactly) {
  for (const Pair& run : pairs()) {
    const compare::Comparison comparison = compareBytes(run.a, run.b);
    const std::string lines = text(comparison);
    if (run.text.rfind("...\n", 0) == 0) {
      EXPECT_TRUE(linesInOrder(lines, run.text)) << run.name << ":\n" << lines;
    } else {
      EXPECT_EQ(lines, run.text) << run.name;
    }
    EXPECT_EQ(comparison.same, run.same) << run.name;
    if (comparison.pixels.count <= 65536) {
      EXPECT_EQ(testing_support::disagreement(run.a, run.b, comparison), "") << run.name;
    }
  }
}

TEST(Compare, FieldNamesOfEveryHeaderVersionMeetInOne) {
  // Each word: a header version's name, then the name all versions share.
  std::istringstream pairs(
      "bcWidth:biWidth cx:biWidth bV5Width:biWidth bV4V4Compression:biCompression "
      "bV5Compression:biCompression cclrImportant:biClrImportant bcBitCount:biBitCount "
      "bV4RedMask:biRedMask biAlphaMask:biAlphaMask bV5CSType:bV4CSType bV5GammaBlue:bV4GammaBlue "
      "bV5Endpoints.ciexyzRed.ciexyzX:bV4Endpoints.ciexyzRed.ciexyzX bV5Intent:bV5Intent "
      "bV5Reserved:bV5Reserved usUnits:usUnits bfOffBits:bfOffBits");
  for (std::string pair; pairs >> pair;) {
    const std::size_t colon = pair.find(':');
    EXPECT_EQ(decode::commonFieldName(pair.substr(0, colon)), pair.substr(colon + 1)) << pair;
  }
}

// Headers that claim far more than the files hold, read through inputs that count what is read.
TEST(Compare, HugeClaimsAreComparedInBoundedReads) {
  // 60000 x 60000 at 24 bits in 1 KiB: one row partly there, every other pixel missing in both.
  Bytes head = makeBmp(24, 60000, 60000, {}, {});
  CountingInput a(head, 1024);
  CountingInput b(stored(head, 38, 1000), 1024);
  const compare::Comparison claimed = compare::compareFiles(a, b);
  EXPECT_EQ(text(claimed),
            "bytes: 1,024 vs 1,024; first difference at 38, biXPelsPerMeter in both\n"
            "biXPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00] vs 1000 [E8 03 00 00]\n"
            "pixels: same picture (3,600,000,000 pixels)\n"
            "verdict: same picture, different bytes\n");
  EXPECT_LE(a.total, std::uint64_t{4} * 1024);
  EXPECT_LE(a.largest, decode::BlockReader::kBlockSize);

  // 5 GiB each, differing at their first byte past the headers: the scan for identity stops
  // there, and the 100 x 2 picture is read where it lies.
  Bytes small = makeBmp(24, 100, 2, {}, {});
  CountingInput five(small, std::uint64_t{5} << 30);
  small.push_back(0x12);
  CountingInput other(small, std::uint64_t{5} << 30);
  const compare::Comparison huge = compare::compareFiles(five, other);
  EXPECT_EQ(text(huge),
            "bytes: 5,368,709,120 vs 5,368,709,120; first difference at 54, row 1 in both\n"
            "pixels: 1 of 200 differ, in x 0, y 1; largest difference R 0 G 0 B 1 A 0\n"
            "pixel (0, 1): #111111 at 54 [11 11 11] vs #111112 at 54 [12 11 11]\n"
            "verdict: different pictures\n");
  EXPECT_LE(five.total, std::uint64_t{2} * decode::BlockReader::kBlockSize);
  EXPECT_LE(other.largest, decode::BlockReader::kBlockSize);

  // 2^64 - 1 bytes hold every row of a 100 x 2 picture: the pixel that differs is found, not
  // passed over as a row neither file holds.
  Bytes seventh = makeBmp(24, 100, 2, {}, {});
  CountingInput whole(seventh, UINT64_MAX);
  seventh.resize(54 + 300 + 3 * 7, 0x11);
  seventh.push_back(0x12);
  CountingInput wholeOther(seventh, UINT64_MAX);
  EXPECT_EQ(text(compare::compareFiles(whole, wholeOther)),
            "bytes: 18,446,744,073,709,551,615 vs 18,446,744,073,709,551,615; first difference at "
            "375, row 0 in both\n"
            "pixels: 1 of 200 differ, in x 7, y 0; largest difference R 0 G 0 B 1 A 0\n"
            "pixel (7, 0): #111111 at 375 [11 11 11] vs #111112 at 375 [12 11 11]\n"
            "verdict: different pictures\n");
}

TEST(Compare, BillionsOfRowsNeitherFileHoldsAreCountedWithoutDecodingThem) {
  const Bytes colours = table({{0, 0, 0}, {10, 20, 30}, {40, 50, 60}});
  // 8-bit, 2^31 - 1 square, top-down: 40 bytes of stored row 0 (indices 1 and 2 alternating),
  // the rest missing; cut by 15 bytes, and bottom-up.
  Bytes indices(40);
  for (std::size_t i = 0; i < indices.size(); ++i)
    indices[i] = static_cast<std::uint8_t>(1 + i % 2);
  const Bytes topDown = makeBmp(8, 0x7FFFFFFF, -0x7FFFFFFF, colours, indices);
  EXPECT_EQ(pixelsLine(compareBytes(topDown, cut(topDown, topDown.size() - 15))),
            "pixels: 15 of 4,611,686,014,132,420,609 differ, in x 25..39, y 0; 15 of them differ "
            "in state");
  const std::vector<std::string> flipped =
      compare::comparisonLines(compareBytes(topDown, stored(topDown, 22, 0x7FFFFFFF)));
  EXPECT_EQ(flipped[2],
            "pixels: 80 of 4,611,686,014,132,420,609 differ, in x 0..39, y 0..2,147,483,646; 80 "
            "of them differ in state; rows stored in opposite order");
  EXPECT_EQ(flipped[12],
            "pixel (9, 0): #3C3228 (index 2) at 75 [02] vs missing: its bytes at "
            "4,611,686,014,132,420,683 [--] lie past the end of the file");
  // RLE8, bottom-up: stored row 0 five of index 1; row 1 three of index 2, then the end of
  // bitmap skips the rest. Cut after row 0, every row above it is missing instead, counted
  // without being decoded; and row 1's run of another index.
  const Bytes rle =
      stored(makeBmp(8, 0x7FFFFFFF, 0x7FFFFFFF, colours, {5, 1, 0, 0, 3, 2, 0, 1}), 30, 1);
  const std::vector<std::string> ends =
      compare::comparisonLines(compareBytes(rle, cut(rle, rle.size() - 4)));
  EXPECT_EQ(ends[1],
            "pixels: 4,611,686,011,984,936,962 of 4,611,686,014,132,420,609 differ, in x "
            "0..2,147,483,646, y 0..2,147,483,645; 4,611,686,011,984,936,962 of them differ in "
            "state");
  EXPECT_EQ(ends[2],
            "pixel (0, 0): skipped by the end of bitmap at 72 [00 01] vs missing: the file ends "
            "its commands at 70");
  EXPECT_EQ(pixelsLine(compareBytes(rle, with(rle, rle.size() - 3, 1))),
            "pixels: 3 of 4,611,686,014,132,420,609 differ, in x 0..2, y 2,147,483,645; largest "
            "difference R 30 G 30 B 30 A 0");
}

}  // namespace
