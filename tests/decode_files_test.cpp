// The decoder on every BMP in the test data (BMP Suite, Pillow's test images): the map covers
// each file exactly, each field's bytes read as its value, each pixel's source leads to the
// bytes it was decoded from; RLE skips, truncation and every mask BMP Suite has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "decode/map.h"
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

Picture decodeWhole(decode::Decoder& decoder) {
  Picture picture;
  picture.width = decoder.width();
  picture.height = decoder.height();
  const std::size_t pixels = std::size_t{picture.width} * picture.height;
  picture.rgba.resize(pixels * 4);
  picture.state.resize(pixels);
  EXPECT_TRUE(decoder.decodeImage(picture.rgba.data(), picture.state.data()));
  return picture;
}

std::uint64_t little(const Bytes& file, std::uint64_t offset, std::uint32_t size) {
  std::uint64_t value = 0;
  for (std::uint32_t i = size; i-- > 0;)
    value = value << 8 | file[static_cast<std::size_t>(offset + i)];
  return value;
}

// What a field's value text must be for its bytes: one of the readings the format has.
bool valueMatches(const decode::Field& field, std::uint64_t stored) {
  const std::string& value = field.value;
  const std::uint64_t sign = std::uint64_t{1}
                             << (8 * std::clamp<std::uint32_t>(field.size, 1, 8) - 1);
  const auto asSigned = static_cast<std::int64_t>(stored ^ sign) - static_cast<std::int64_t>(sign);
  if (value == std::to_string(stored) || value == std::to_string(asSigned)) return true;
  if (value.rfind("0x", 0) == 0) return std::stoull(value.substr(2), nullptr, 16) == stored;
  if (value.find('.') != std::string::npos) {
    // Fixed point: the whole part is the bits above the fraction.
    const unsigned fraction = field.name.find("Gamma") != std::string::npos ? 16 : 30;
    const std::int64_t whole = std::stoll(value.substr(0, value.find('.')));
    const std::int64_t reading = field.size == 4 ? static_cast<std::int32_t>(stored) : 0;
    const std::int64_t magnitude = reading < 0 ? -reading : reading;
    return (value[0] == '-' ? -whole : whole) == (magnitude >> fraction) &&
           (value[0] == '-') == (reading < 0 && fraction == 30);
  }
  std::string text;  // characters: in file order, or a tag from its high byte down
  for (std::uint32_t i = 0; i < field.size; ++i) text += static_cast<char>(stored >> (8 * i));
  std::string reversed(text.rbegin(), text.rend());
  return value == text || value == reversed;
}

TEST(DecodeFiles, MapsFieldsAndEverySourceHoldForEveryFile) {
  const std::vector<fs::path> files = testFiles();
  ASSERT_GE(files.size(), 100u);
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.u8string());
    const Bytes file = readFile(path);
    decode::MemoryInput input(file.data(), file.size());
    decode::Decoder decoder(input);
    const decode::Format& format = decoder.format();

    // Every byte in one region, in order; each region is also what a lookup finds.
    std::uint64_t next = 0;
    std::vector<decode::Region> runs;
    decode::walkMap(decoder, 0, [&](const decode::Region& region) {
      EXPECT_EQ(region.offset, next) << region.name;
      EXPECT_GT(region.size, 0u) << region.name;
      next = region.offset + region.size;
      if (region.kind == decode::RegionKind::kEncodedRun ||
          region.kind == decode::RegionKind::kAbsoluteRun)
        runs.push_back(region);
      return true;
    });
    EXPECT_EQ(next, file.size());
    const std::uint64_t length = file.size();
    for (const std::uint64_t offset : {std::uint64_t{0}, length / 2, length - 1}) {
      const decode::Region found = decode::regionAt(decoder, offset);
      EXPECT_LE(found.offset, offset);
      EXPECT_GT(found.offset + found.size, offset);
    }

    for (const decode::Field& field : format.fields) {
      if (field.offset + field.size > file.size()) continue;
      const std::uint64_t stored = little(file, field.offset, field.size);
      EXPECT_EQ(field.stored, stored) << field.name;
      EXPECT_TRUE(valueMatches(field, stored)) << field.name << " = " << field.value;
    }

    if (!decoder.decodes() || std::uint64_t{decoder.width()} * decoder.height() > 1u << 16)
      continue;
    const Picture picture = decodeWhole(decoder);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        const std::size_t i = std::size_t{y} * picture.width + x;
        const decode::PixelSource source = decoder.pixelSource(x, y);
        ASSERT_EQ(source.state, picture.state[i]) << x << "," << y;
        using Kind = decode::PixelSource::Kind;
        if (source.kind == Kind::kMissing && decoder.isRle()) {
          EXPECT_GE(source.offset, file.size());
          continue;
        }
        if (source.kind == Kind::kMissing && source.index < 0) {
          EXPECT_GT(source.offset + source.size, file.size());
          continue;
        }
        // The bytes that hold the pixel lie inside the file, and inside its command.
        ASSERT_LE(source.dataOffset + source.dataSize, file.size()) << x << "," << y;
        if (source.kind == Kind::kSkipped) {
          const decode::Region command = decode::regionAt(decoder, source.offset);
          EXPECT_TRUE(command.kind == decode::RegionKind::kDelta ||
                      command.kind == decode::RegionKind::kEndOfLine ||
                      command.kind == decode::RegionKind::kEndOfBitmap)
              << command.name;
          continue;
        }
        if (source.kind == Kind::kCommand) {
          EXPECT_GE(source.dataOffset, source.offset);
          EXPECT_LE(source.dataOffset + source.dataSize, source.offset + source.size);
        }
        const std::uint8_t* rgba = &picture.rgba[i * 4];
        const std::uint8_t* bytes = &file[static_cast<std::size_t>(source.dataOffset)];
        if (source.index >= 0) {
          // An index: the value read at the source, and its entry's colour.
          const auto index = static_cast<std::int64_t>(
              source.bits == 0 ? bytes[0] : bytes[0] >> source.shift & ((1u << source.bits) - 1));
          EXPECT_EQ(index, source.index) << x << "," << y;
          if (source.state != decode::kDefined) continue;
          const std::uint8_t* entry = &file[static_cast<std::size_t>(source.entryOffset)];
          EXPECT_EQ(rgba[0], entry[2]);
          EXPECT_EQ(rgba[1], entry[1]);
          EXPECT_EQ(rgba[2], entry[0]);
        } else if (format.encoding == decode::Encoding::kBgr ||
                   format.encoding == decode::Encoding::kRle24) {
          EXPECT_EQ(rgba[0], bytes[2]);
          EXPECT_EQ(rgba[1], bytes[1]);
          EXPECT_EQ(rgba[2], bytes[0]);
        }
      }
    }

    // RLE: a pixel is skipped exactly when no run sets it and the commands did not run out.
    if (!decoder.isRle()) continue;
    std::set<std::pair<std::uint32_t, std::uint32_t>> set;
    for (const decode::Region& run : runs) {
      for (std::uint64_t p = 0; p < run.pixels; ++p)
        set.insert({static_cast<std::uint32_t>(run.x + p), run.y});
    }
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        const std::uint8_t state = picture.state[std::size_t{y} * picture.width + x];
        if (state == decode::kMissing) continue;
        EXPECT_EQ(state == decode::kSkipped, set.count({x, y}) == 0) << x << "," << y;
      }
    }
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
    decode::MemoryInput input(file.data(), file.size());
    decode::Decoder decoder(input);
    const Picture picture = decodeWhole(decoder);
    EXPECT_EQ(std::count(picture.state.begin(), picture.state.end(), decode::kSkipped),
              static_cast<std::ptrdiff_t>(skipped));
    EXPECT_EQ(std::count(picture.state.begin(), picture.state.end(), decode::kMissing), 0);
    const Bytes& plain = decoder.format().bitCount == 4 ? pal4 : pal8;
    decode::MemoryInput plainInput(plain.data(), plain.size());
    decode::Decoder plainDecoder(plainInput);
    const Picture reference = decodeWhole(plainDecoder);
    for (std::size_t i = 0; i < picture.state.size(); ++i) {
      if (picture.state[i] != decode::kDefined) continue;
      ASSERT_TRUE(
          std::equal(&picture.rgba[i * 4], &picture.rgba[i * 4 + 4], &reference.rgba[i * 4]))
          << i;
    }
  }
}

TEST(DecodeFiles, TruncatedFilesMissExactlyThePixelsPastTheirEnd) {
  // shortfile.bmp, 1-bit; rgb24.bmp cut inside a pixel.
  Bytes rgb24 = suiteFile("rgb24.bmp");
  rgb24.resize(54 + 384 * 20 + 100);
  for (const Bytes& file : {suiteFile("shortfile.bmp"), rgb24}) {
    decode::MemoryInput input(file.data(), file.size());
    decode::Decoder decoder(input);
    const Picture picture = decodeWhole(decoder);
    const std::uint32_t bits = decoder.format().bitCount;
    const std::uint64_t stride = (std::uint64_t{picture.width} * bits + 31) / 32 * 4;
    const std::uint64_t start = little(file, 10, 4);
    std::size_t missing = 0;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        // The pixel's last bit, in rows stored bottom-up.
        const std::uint64_t lastByte =
            start + (picture.height - 1 - y) * stride + (std::uint64_t{x} * bits + bits - 1) / 8;
        const bool past = lastByte >= file.size();
        missing += past ? 1 : 0;
        EXPECT_EQ(picture.state[std::size_t{y} * picture.width + x] == decode::kMissing, past)
            << x << "," << y;
      }
    }
    EXPECT_GT(missing, 0u);
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
  const auto decodeFile = [](const Bytes& file) {
    decode::MemoryInput input(file.data(), file.size());
    decode::Decoder decoder(input);
    return std::pair{decodeWhole(decoder), decoder.format()};
  };
  const Bytes opaqueFile = suiteFile("rgb24.bmp");
  const Bytes alphaFile = suiteFile("q/rgba32-1.bmp");
  const Picture opaque = decodeFile(opaqueFile).first;
  const Picture alpha = decodeFile(alphaFile).first;
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const Bytes file = suiteFile(name);
    const auto [picture, format] = decodeFile(file);
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
