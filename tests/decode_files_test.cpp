// The decoder on every BMP in the test data (BMP Suite, Pillow's test images): the decoder's
// checks on every pixel (among them truncated files' missing pixels); RLE skips and every mask
// BMP Suite has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "fuzz/decode_checks.h"
#include "tests/support/counting_input.h"
#include "tests/support/harness.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> testFiles() {
  std::vector<fs::path> files;
  for (const auto& entry :
       fs::recursive_directory_iterator(fs::u8path(testing_support::testDataPath("")))) {
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes suiteFile(const std::string& name) {
  return readFile(fs::u8path(testing_support::testDataPath("bmpsuite/" + name)));
}

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Bytes rgba;
  Bytes state;
};

Picture decodeWhole(const Bytes& file) {
  testing_support::Decoded decoded(file);
  Picture picture{decoded.decoder.width(), decoded.decoder.height(), {}, {}};
  const std::size_t pixels = std::size_t{picture.width} * picture.height;
  picture.rgba.resize(pixels * 4);
  picture.state.resize(pixels);
  EXPECT_TRUE(decoded.decoder.decodeImage(picture.rgba.data(), picture.state.data()));
  return picture;
}

// The decoder's own checks, on every pixel: the map, the fields' values, each pixel's source and
// the value and colour it holds there, and RLE's skipped pixels.
TEST(DecodeFiles, EveryFileHoldsTheDecoderChecksOnEveryPixel) {
  const std::vector<fs::path> files = testFiles();
  ASSERT_GE(files.size(), 100u);
  for (const fs::path& path : files) {
    const Bytes file = readFile(path);
    const char* fault = fuzz::decoderFault(file.data(), file.size(), true);
    EXPECT_EQ(std::string(fault != nullptr ? fault : ""), "") << path.u8string();
  }
}

TEST(DecodeFiles, RleFilesSkipWhatNoCommandSets) {
  const std::pair<const char*, std::size_t> skipping[] = {
      {"pal8rle.bmp", 0},         {"g/pal4rle.bmp", 0},       {"q/pal4rletrns.bmp", 416},
      {"q/pal8rletrns.bmp", 416}, {"q/pal4rlecut.bmp", 1946}, {"q/pal8rlecut.bmp", 1745}};
  // The same picture uncompressed: every pixel a run sets has its colour there.
  const Bytes pal4 = suiteFile("pal4.bmp");
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  for (const auto& [name, skipped] : skipping) {
    SCOPED_TRACE(name);
    const Bytes file = suiteFile(name);
    const Picture picture = decodeWhole(file);
    EXPECT_EQ(std::count(picture.state.begin(), picture.state.end(), decode::kSkipped),
              static_cast<std::ptrdiff_t>(skipped));
    EXPECT_EQ(std::count(picture.state.begin(), picture.state.end(), decode::kMissing), 0);
    const Picture reference = decodeWhole(file[28] == 4 ? pal4 : pal8);
    for (std::size_t i = 0; i < picture.state.size(); ++i) {
      if (picture.state[i] != decode::kDefined) continue;
      ASSERT_TRUE(
          std::equal(&picture.rgba[i * 4], &picture.rgba[i * 4 + 4], &reference.rgba[i * 4]))
          << i;
    }
  }
}

TEST(DecodeFiles, EveryMaskGivesThePictureWithinOneStepOfEachChannel) {
  // BMP Suite's bit-field files hold rgb24.bmp's picture, or with alpha rgba32-1.bmp's (but
  // for rgba16-5551.bmp, whose colours are rgb24.bmp's), at each mask's precision; the 64-bit
  // file holds rgba32-1.bmp's in linear light.
  const char* const names[] = {
      "g/rgb16-565.bmp",      "g/rgb16bfdef.bmp",  "g/rgb16-565pal.bmp", "g/rgb16.bmp",
      "g/rgb32bf.bmp",        "g/rgb32bfdef.bmp",  "q/rgb16-231.bmp",    "q/rgb16-3103.bmp",
      "q/rgb32-111110.bmp",   "q/rgb32-7187.bmp",  "q/rgb32-xbgr.bmp",   "q/rgb32h52.bmp",
      "q/rgba16-1924.bmp",    "q/rgba16-4444.bmp", "q/rgba16-5551.bmp",  "q/rgba32-1.bmp",
      "q/rgba32-1010102.bmp", "q/rgba32-2.bmp",    "q/rgba32-61754.bmp", "q/rgba32-81284.bmp",
      "q/rgba32abf.bmp",      "q/rgba32h56.bmp",   "b/rgb16-880.bmp",    "q/rgb16faketrns.bmp",
      "q/rgb32fakealpha.bmp", "q/rgba64.bmp"};
  const Picture opaque = decodeWhole(suiteFile("rgb24.bmp"));
  const Picture alpha = decodeWhole(suiteFile("q/rgba32-1.bmp"));
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const Bytes file = suiteFile(name);
    const Picture picture = decodeWhole(file);
    const decode::Format format = testing_support::Decoded(file).decoder.format();
    const bool wide = format.encoding == decode::Encoding::kBgra64;
    const bool hasAlpha = format.masks[3] != 0 || wide;
    const bool opaqueColours = !hasAlpha || std::string(name) == "q/rgba16-5551.bmp";
    ASSERT_EQ(picture.rgba.size(), opaque.rgba.size());
    for (std::size_t c = 0; c < 4; ++c) {
      const Picture& reference = (c == 3 ? !hasAlpha : opaqueColours) ? opaque : alpha;
      const std::uint32_t mask = wide ? 0xFF : format.masks[c];
      int bits = 0;
      for (std::uint32_t m = mask; m != 0; m &= m - 1) ++bits;
      const int step = bits == 0 ? 0 : (255 + (1 << bits) - 2) / ((1 << bits) - 1);
      for (std::size_t i = c; i < picture.rgba.size(); i += 4) {
        if (bits == 0) {
          ASSERT_EQ(picture.rgba[i], c == 3 ? 255 : 0) << i;
        } else {
          ASSERT_LE(std::abs(picture.rgba[i] - reference.rgba[i]), step)
              << i / 4 << " channel " << c;
        }
      }
    }
  }
}

}  // namespace
