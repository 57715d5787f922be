// The header notes: every validity test on both sides, every decoded code, signed printing.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/bmp_builder.h"
#include "tests/support/harness.h"

namespace {

using testing_support::BmpBuilder;

// A valid 32-bit file (no table, no dump), 2 x 1 pixels.
BmpBuilder valid() { return BmpBuilder().bitCount(32).size(2, 1).pixels({1, 2, 3, 4, 5, 6, 7, 8}); }

// The whole line of the report that starts with the label (after its tab and padding).
std::string lineOf(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label + " : [");
  if (at == std::string::npos) return "<no " + label + " line>";
  const std::size_t start = text.rfind('\n', at) + 1;
  const std::size_t end = text.find('\n', at);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

struct NoteCase {
  std::string name;
  std::function<std::vector<std::uint8_t>()> file;
  std::string label;
  std::string line;  // the whole expected line, tab and padding included
};

void expectLines(const std::vector<NoteCase>& cases) {
  for (const NoteCase& c : cases) {
    const auto result = testing_support::runOn(c.file());
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(lineOf(result.text, c.label), c.line) << c.name;
  }
}

std::vector<std::uint8_t> withU32(std::vector<std::uint8_t> bytes, std::size_t at,
                                  std::uint32_t v) {
  testing_support::putU32(bytes, at, v);
  return bytes;
}

TEST(HeaderReport, SizeAgainstTheRealLength) {
  expectLines({
      {"equal", [] { return valid().build(); }, "Size", "\t           Size : [62:62]"},
      {"claims more", [] { return valid().bfSize(63).build(); }, "Size",
       "\t           Size : [63:62] - Broken or invalid file"},
      {"truncated",
       [] {
         auto bytes = valid().build();
         bytes.resize(60);
         return bytes;
       },
       "Size", "\t           Size : [62:60] - Broken or invalid file"},
      {"2^31 and more prints negative",
       [] { return valid().bfSize(static_cast<std::int32_t>(0x80000000u)).build(); }, "Size",
       "\t           Size : [-2147483648:62] - Broken or invalid file"},
  });
}

TEST(HeaderReport, OffbitsCarriesTheStoredSizeTest) {
  expectLines({
      {"size = image + offset", [] { return valid().build(); }, "Offbits",
       "\t        Offbits : [54]"},
      {"image size 0", [] { return valid().biSizeImage(0).build(); }, "Offbits",
       "\t        Offbits : [54] - Broken or invalid file"},
      {"sum wraps to bfSize", [] { return valid().biSizeImage(-1).bfOffBits(1).bfSize(0).build(); },
       "Offbits", "\t        Offbits : [1]"},
      {"wrapped sum differs",
       [] { return valid().biSizeImage(-1).bfOffBits(1).bfSize(62).build(); }, "Offbits",
       "\t        Offbits : [1] - Broken or invalid file"},
  });
}

TEST(HeaderReport, InfoSizeWidthHeightAndPlanes) {
  expectLines({
      {"biSize 40", [] { return valid().build(); }, "biSize",
       "\t         biSize : [40] - size of BITMAPINFO"},
      {"biSize 12", [] { return valid().biSize(12).build(); }, "biSize",
       "\t         biSize : [12] - Broken or invalid file"},
      {"biSize 108", [] { return valid().biSize(108).build(); }, "biSize",
       "\t         biSize : [108] - Broken or invalid file"},
      {"biSize 124", [] { return valid().biSize(124).build(); }, "biSize",
       "\t         biSize : [124] - Broken or invalid file"},
      {"width 0", [] { return valid().size(0, 1).build(); }, "biWidth", "\t        biWidth : [0]"},
      {"width -1", [] { return valid().size(-1, 1).build(); }, "biWidth",
       "\t        biWidth : [-1] - Broken or invalid file"},
      {"height 0", [] { return valid().size(2, 0).build(); }, "biHeight",
       "\t       biHeight : [0]"},
      {"height -2", [] { return valid().size(2, -2).build(); }, "biHeight",
       "\t       biHeight : [-2] - Broken or invalid file"},
      {"width 2^31", [] { return valid().size(static_cast<std::int32_t>(0x80000000u), 1).build(); },
       "biWidth", "\t        biWidth : [-2147483648] - Broken or invalid file"},
      {"planes 1", [] { return valid().build(); }, "biPlanes", "\t       biPlanes : [1]"},
      {"planes stored 00 01", [] { return valid().biPlanes(0x0100).build(); }, "biPlanes",
       "\t       biPlanes : [256] - Broken or invalid file"},
      {"planes 0", [] { return valid().biPlanes(0).build(); }, "biPlanes",
       "\t       biPlanes : [0] - Broken or invalid file"},
  });
}

TEST(HeaderReport, EveryBitCountNote) {
  const std::vector<std::pair<std::uint16_t, std::string>> notes = {
      {0, " - JPEG or PNG"},
      {1, " - 2 color"},
      {4, " - 16 color"},
      {8, " - 256 color"},
      {16, " - 16bit bitmap"},
      {24, " - 24bit bitmap"},
      {32, " - 32bit bitmap"},
      {2, " - Broken or invalid file"},
      {15, " - Broken or invalid file"},
      {65535, " - Broken or invalid file"}};
  std::vector<NoteCase> cases;
  cases.reserve(notes.size());
  for (const auto& [bits, note] : notes) {
    cases.push_back({std::to_string(bits), [bits = bits] { return valid().bitCount(bits).build(); },
                     "biBitCount", "\t     biBitCount : [" + std::to_string(bits) + "]" + note});
  }
  expectLines(cases);
}

TEST(HeaderReport, EveryCompressionNote) {
  const std::vector<std::tuple<std::uint32_t, std::string, std::string>> notes = {
      {0, "0", " - uncompressed"},
      {1, "1", " - RLE 8bpp"},
      {2, "2", " - RLE 4bpp"},
      {3, "3", " - uncompressed for 16/32bit bitmap"},
      {4, "4", " - Broken or invalid file"},
      {0x80000000u, "-2147483648", " - Broken or invalid file"},
      {0xFFFFFFFFu, "-1", " - Broken or invalid file"}};
  std::vector<NoteCase> cases;
  cases.reserve(notes.size());
  for (const auto& [code, printed, note] : notes) {
    cases.push_back({printed, [code = code] { return valid().biCompression(code).build(); },
                     "biCompression", "\t  biCompression : [" + printed + "]" + note});
  }
  expectLines(cases);
}

TEST(HeaderReport, ColourCountsAndFixedNotes) {
  expectLines({
      {"used 0", [] { return valid().build(); }, "biClrUsed",
       "\t      biClrUsed : [0] - All color used"},
      {"used 256", [] { return valid().biClrUsed(256).build(); }, "biClrUsed",
       "\t      biClrUsed : [256] - palette"},
      {"used -1", [] { return valid().biClrUsed(-1).build(); }, "biClrUsed",
       "\t      biClrUsed : [-1] - palette"},
      {"important 0", [] { return valid().build(); }, "biClrImportant",
       "\t biClrImportant : [0] - All color required"},
      {"important 16", [] { return valid().biClrImportant(16).build(); }, "biClrImportant",
       "\t biClrImportant : [16] require 16 color index"},
      {"important FF FF FF FF", [] { return valid().biClrImportant(-1).build(); }, "biClrImportant",
       "\t biClrImportant : [-1] require -1 color index"},
      {"image size 2^31", [] { return withU32(valid().build(), 34, 0x80000000u); }, "biSizeImage",
       "\t    biSizeImage : [-2147483648] - size of pure Bitmap data"},
      {"negative resolution", [] { return valid().pelsPerMeter(-1, 0).build(); }, "biXPelsPerMeter",
       "\tbiXPelsPerMeter : [-1] X resolution by PPM"},
      {"zero resolution", [] { return valid().pelsPerMeter(-1, 0).build(); }, "biYPelsPerMeter",
       "\tbiYPelsPerMeter : [0] Y resolution by PPM"},
  });
}

}  // namespace
