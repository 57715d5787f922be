// Whole runs: the refusals, a complete header-only report, and a real file.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/bmp_builder.h"
#include "tests/support/harness.h"

namespace {

using testing_support::BmpBuilder;
using testing_support::runArgs;
using testing_support::runOn;

TEST(Run, WrongArgumentCountPrintsOnlyTheUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"./prog"}, std::vector<std::string>{"/x/qf", "a.bmp", "b.bmp"}}) {
    const auto result = runArgs(args);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.text, "usage : " + args[0] + " [filename.ext]\n");
  }
}

TEST(Run, FilesWithoutTheMagicGetTheBannerAndTheRefusal) {
  const std::vector<std::vector<std::uint8_t>> files = {BmpBuilder().type('B', 'A').build(),
                                                        BmpBuilder().type('M', 'B').build(),
                                                        BmpBuilder().type('\0', 'M').build(),
                                                        {'B'},
                                                        {}};
  for (const auto& bytes : files) {
    const auto result = runOn(bytes);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.body(), "\nBitmap file needed!");
  }
}

TEST(Run, ValidThirtyTwoBitFileGetsTheHeaderReportAndNothingAfterIt) {
  const auto result = runOn(BmpBuilder()
                                .bitCount(32)
                                .size(2, 1)
                                .pixels({1, 2, 3, 4, 5, 6, 7, 8})
                                .pelsPerMeter(3780, 3779)
                                .build());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.body(),
            "\n === File Header ==="
            "\n\t           Type : [BM]"
            "\n\t           Size : [62:62]"
            "\n\t        Offbits : [54]"
            "\n "
            "\n === BitMap Info ==="
            "\n\t         biSize : [40] - size of BITMAPINFO"
            "\n\t        biWidth : [2]"
            "\n\t       biHeight : [1]"
            "\n\t       biPlanes : [1]"
            "\n\t     biBitCount : [32] - 32bit bitmap"
            "\n\t  biCompression : [0] - uncompressed"
            "\n\t    biSizeImage : [8] - size of pure Bitmap data"
            "\n\tbiXPelsPerMeter : [3780] X resolution by PPM"
            "\n\tbiYPelsPerMeter : [3779] Y resolution by PPM"
            "\n\t      biClrUsed : [0] - All color used"
            "\n\t biClrImportant : [0] - All color required");
}

TEST(Run, ShortFilesReadAsZerosWhereTheyEnd) {
  // 14 bytes: the info header is all zeros, so every 32-bit field prints 0.
  auto bytes = BmpBuilder().bitCount(32).size(2, 1).pixels(std::vector<std::uint8_t>(8)).build();
  bytes.resize(14);
  const auto result = runOn(bytes);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.body(),
            "\n === File Header ==="
            "\n\t           Type : [BM]"
            "\n\t           Size : [62:14] - Broken or invalid file"
            "\n\t        Offbits : [54] - Broken or invalid file"
            "\n "
            "\n === BitMap Info ==="
            "\n\t         biSize : [0] - Broken or invalid file"
            "\n\t        biWidth : [0]"
            "\n\t       biHeight : [0]"
            "\n\t       biPlanes : [0] - Broken or invalid file"
            "\n\t     biBitCount : [0] - JPEG or PNG"
            "\n\t  biCompression : [0] - uncompressed"
            "\n\t    biSizeImage : [0] - size of pure Bitmap data"
            "\n\tbiXPelsPerMeter : [0] X resolution by PPM"
            "\n\tbiYPelsPerMeter : [0] Y resolution by PPM"
            "\n\t      biClrUsed : [0] - All color used"
            "\n\t biClrImportant : [0] - All color required");
}

TEST(Run, RealThirtyTwoBitFileFromBmpSuite) {
  const auto result = runArgs({"quillfen", testing_support::testDataPath("bmpsuite/rgb32.bmp")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.body(),
            "\n === File Header ==="
            "\n\t           Type : [BM]"
            "\n\t           Size : [32566:32566]"
            "\n\t        Offbits : [54]"
            "\n "
            "\n === BitMap Info ==="
            "\n\t         biSize : [40] - size of BITMAPINFO"
            "\n\t        biWidth : [127]"
            "\n\t       biHeight : [64]"
            "\n\t       biPlanes : [1]"
            "\n\t     biBitCount : [32] - 32bit bitmap"
            "\n\t  biCompression : [0] - uncompressed"
            "\n\t    biSizeImage : [32512] - size of pure Bitmap data"
            "\n\tbiXPelsPerMeter : [2835] X resolution by PPM"
            "\n\tbiYPelsPerMeter : [2835] Y resolution by PPM"
            "\n\t      biClrUsed : [0] - All color used"
            "\n\t biClrImportant : [0] - All color required");
}

TEST(Run, RealFilesFromBmpSuiteMatchTheirExpectedReports) {
  // 1, 4, 8 (top-down, RLE, 108-byte header), 24 bits, and a file cut short.
  for (const std::string name :
       {"pal1", "pal4", "pal8topdown", "pal8rle", "pal8v4", "rgb24", "shortfile"}) {
    const auto result =
        runArgs({"quillfen", testing_support::testDataPath("bmpsuite/" + name + ".bmp")});
    EXPECT_EQ(result.status, 0) << name;
    EXPECT_EQ(result.body(),
              testing_support::readText(testing_support::testDataPath("expected/" + name + ".txt")))
        << name;
  }
}

}  // namespace
