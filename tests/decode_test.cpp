// The decoder on small crafted files: exact RGBA and states for each depth, compression and
// header, row order and edge; the map's regions and notes; each pixel's source; the inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "decode/decoder.h"
#include "decode/map.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/counting_input.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::putLE;

// A file with an info header of headerSize bytes (the fields given by the caller patched in),
// then extra bytes (masks, a table) and the pixels; bfOffBits points at the pixels.
Bytes withHeader(std::uint32_t headerSize, const Bytes& extra, const Bytes& pixels) {
  Bytes file(14 + headerSize, 0);
  file[0] = 'B';
  file[1] = 'M';
  putLE(file, 14, headerSize, 4);
  file.insert(file.end(), extra.begin(), extra.end());
  putLE(file, 10, file.size(), 4);
  file.insert(file.end(), pixels.begin(), pixels.end());
  putLE(file, 2, file.size(), 4);
  return file;
}

// A 40-byte header's depth, size and compression.
Bytes infoFile(std::uint16_t bits, std::int32_t width, std::int32_t height,
               std::uint32_t compression, const Bytes& table, const Bytes& pixels) {
  Bytes file = testing_support::makeBmp(bits, width, height, table, pixels);
  putLE(file, 30, compression, 4);
  // Masks after the header are not table entries.
  if (compression == 3 || compression == 6) putLE(file, 46, 0, 4);
  return file;
}

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
  std::vector<std::uint8_t> state;
};

std::string hex(const std::uint8_t* p, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    text += kDigits[p[i] >> 4];
    text += kDigits[p[i] & 15];
  }
  return text;
}

// Each pixel as RRGGBBAA, and /state when it is not defined; rows from the top split by '|'.
std::string text(const Picture& picture) {
  std::string out;
  if (picture.width == 0) return out;
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    if (y > 0) out += " |";
    for (std::uint32_t x = 0; x < picture.width; ++x) {
      const std::size_t i = std::size_t{y} * picture.width + x;
      out += " " + hex(&picture.rgba[i * 4], 4);
      if (picture.state[i] != 0) out += "/" + std::to_string(picture.state[i]);
    }
  }
  return out.empty() ? out : out.substr(1);
}

// The whole picture in one pass; every row again on its own, from the bottom up and in
// pieces, must give the same bytes.
Picture decodeAll(const Bytes& file) {
  decode::MemoryInput input(file.data(), file.size());
  decode::Decoder decoder(input);
  Picture picture;
  picture.width = decoder.width();
  picture.height = decoder.height();
  const std::size_t pixels = std::size_t{picture.width} * picture.height;
  picture.rgba.assign(pixels * 4, 0xEE);
  picture.state.assign(pixels, 0xEE);
  if (!decoder.decodeImage(picture.rgba.data(), picture.state.data())) {
    ADD_FAILURE() << "does not decode: " << decoder.format().problem;
    return picture;
  }
  for (std::uint32_t y = picture.height; y-- > 0;) {
    std::vector<std::uint8_t> rgba(std::size_t{picture.width} * 4);
    std::vector<std::uint8_t> state(picture.width);
    const std::uint32_t half = picture.width / 2;
    decoder.decodeRow(y, half, picture.width - half, rgba.data() + std::size_t{half} * 4,
                      state.data() + half);
    decoder.decodeRow(y, 0, half, rgba.data(), state.data());
    const std::size_t row = std::size_t{y} * picture.width;
    EXPECT_TRUE(std::equal(rgba.begin(), rgba.end(), picture.rgba.data() + row * 4)) << y;
    EXPECT_TRUE(std::equal(state.begin(), state.end(), picture.state.data() + row)) << y;
  }
  return picture;
}

// The map as "offset+size kind name" lines, notes after a colon.
std::string mapText(const Bytes& file) {
  decode::MemoryInput input(file.data(), file.size());
  decode::Decoder decoder(input);
  std::string out;
  std::uint64_t next = 0;
  for (const decode::Region& region : decode::mapRegions(decoder, 10000)) {
    EXPECT_EQ(region.offset, next) << region.name;
    next = region.offset + region.size;
    out += std::to_string(region.offset) + "+" + std::to_string(region.size) + " " +
           decode::regionKindName(region.kind) + " " + region.name;
    if (!region.note.empty()) out += ": " + region.note;
    out += "\n";
  }
  EXPECT_EQ(next, file.size());
  return out;
}

const decode::Field& fieldNamed(const decode::Format& format, const std::string& name) {
  for (const decode::Field& field : format.fields) {
    if (field.name == name) return field;
  }
  static const decode::Field kNone;
  ADD_FAILURE() << "no field " << name;
  return kNone;
}

// A table entry: blue, green, red, reserved.
Bytes entries(std::initializer_list<std::uint32_t> rgbs) {
  Bytes table;
  for (const std::uint32_t rgb : rgbs) {
    table.insert(table.end(), {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                               static_cast<std::uint8_t>(rgb >> 16), 0x7F});
  }
  return table;
}

TEST(Decode, EachUncompressedDepthGivesItsColours) {
  const Bytes two = entries({0x302010, 0xFF9080});
  // 1 bit, bottom-up: the stored rows 101 and 011, each padded to four bytes.
  EXPECT_EQ(text(decodeAll(infoFile(1, 3, 2, 0, two, {0xA0, 0, 0, 0, 0x60, 0, 0, 0}))),
            "302010ff ff9080ff ff9080ff | ff9080ff 302010ff ff9080ff");
  // 2 bits, top-down: indices 3 0 2 from the high bits down.
  EXPECT_EQ(text(decodeAll(infoFile(2, 3, -1, 0, entries({1, 2, 3, 0x445566}), {0xC8, 0, 0, 0}))),
            "445566ff 000001ff 000003ff");
  // 4 bits with two entries: index 15 has none.
  EXPECT_EQ(text(decodeAll(infoFile(4, 3, 1, 0, two, {0x1F, 0x00, 0, 0}))),
            "ff9080ff 00000000/3 302010ff");
  // 8 bits, top-down, two rows.
  EXPECT_EQ(text(decodeAll(infoFile(8, 2, -2, 0, two, {1, 0, 0, 0, 0, 1, 0, 0}))),
            "ff9080ff 302010ff | 302010ff ff9080ff");
  // 16 bits BI_RGB: 5-5-5, the top bit unused; 1 of 31 rounds to 8.
  EXPECT_EQ(text(decodeAll(infoFile(16, 3, 1, 0, {}, {0xFF, 0x7F, 0x21, 0x04, 0x00, 0x80, 0, 0}))),
            "ffffffff 080808ff 000000ff");
  // 24 bits: blue, green, red.
  EXPECT_EQ(text(decodeAll(infoFile(24, 2, 1, 0, {}, {0x01, 0x02, 0x03, 0x80, 0x90, 0xFF, 0, 0}))),
            "030201ff ff9080ff");
  // 32 bits BI_RGB: the fourth byte is not alpha.
  EXPECT_EQ(text(decodeAll(infoFile(32, 1, 1, 0, {}, {0x01, 0x02, 0x03, 0x80}))), "030201ff");
  // 64 bits: 2.13 fixed point, linear; colour through the sRGB curve, clamped to 0..1.
  const Bytes wide = {0x00, 0x00, 0x00, 0x20, 0x00, 0x10, 0x00, 0x10,   // B 0, G 1, R .5, A .5
                      0x00, 0xF0, 0x00, 0x40, 0x01, 0x00, 0x00, 0x20};  // B -.5, G 2, R ~0, A 1
  EXPECT_EQ(text(decodeAll(infoFile(64, 2, 1, 0, {}, wide))), "bcff0080 00ff00ff");
}

TEST(Decode, BitFieldsOfAnyWidthAndPlaceScaleToEightBits) {
  // 16-bit 5-6-5 after a 40-byte header: 2 of 63 and 1 of 31 both round to 8.
  const Bytes masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  EXPECT_EQ(
      text(decodeAll(infoFile(16, 3, 1, 3, masks565, {0x00, 0xF8, 0xE0, 0x07, 0x41, 0x08, 0, 0}))),
      "ff0000ff 00ff00ff 080808ff");
  // 32-bit 10-10-10-2 with alpha (BI_ALPHABITFIELDS, 16 bytes of masks): 512 of 1023 is 128,
  // 1 of 3 is 85; a blue mask of no bits gives 0.
  Bytes masks = {};
  for (const std::uint32_t mask : {0x3FF00000u, 0x000FFC00u, 0u, 0xC0000000u}) {
    for (int b = 0; b < 4; ++b) masks.push_back(static_cast<std::uint8_t>(mask >> (8 * b)));
  }
  EXPECT_EQ(text(decodeAll(infoFile(32, 1, 1, 6, masks, {0x00, 0x00, 0xF8, 0x7F}))), "ff800055");
  // A 56-byte header holds the masks, alpha too: 4-4-4-4 in 16 bits.
  Bytes file = withHeader(56, {}, {0x1F, 0xF8, 0, 0});
  putLE(file, 18, 1, 4);
  putLE(file, 22, 1, 4);
  putLE(file, 28, 16, 2);
  putLE(file, 30, 3, 4);
  putLE(file, 54, 0x0F00, 4);
  putLE(file, 58, 0x00F0, 4);
  putLE(file, 62, 0x000F, 4);
  putLE(file, 66, 0xF000, 4);
  EXPECT_EQ(text(decodeAll(file)), "8811ffff");  // R 8 of 15, G 1, B 15, A 15
}

// An 8-bit RLE picture of 4 x 4 with every kind of command, stored bottom-up from offset 70.
Bytes rle8File() {
  const Bytes commands = {0x03, 0x01,  // 70: three pixels of index 1 (row 0)
                          0x00, 0x00,  // 72: end of line
                          0x00, 0x03, 0x02, 0x00,
                          0x01, 0x00,              // 74: absolute 2 0 1, and its pad byte at 79
                          0x00, 0x02, 0x00, 0x01,  // 80: delta 0 right, 1 up: to x 3 of row 2
                          0x01, 0x03,              // 84: one pixel of index 3
                          0x00, 0x01};             // 86: end of bitmap
  return infoFile(8, 4, 4, 1, entries({0x000010, 0x000011, 0x000012, 0x000013}), commands);
}

TEST(Decode, RleCommandsSetSkipAndEndAsTheyStateAndTheMapNamesEachOne) {
  EXPECT_EQ(text(decodeAll(rle8File())),
            "00000000/1 00000000/1 00000000/1 00000000/1 | "
            "00000000/1 00000000/1 00000000/1 000013ff | "
            "000012ff 000010ff 000011ff 00000000/1 | "
            "000011ff 000011ff 000011ff 00000000/1");
  const std::string map = mapText(rle8File());
  EXPECT_NE(map.find("0+2 file-header bfType\n2+4 file-header bfSize\n"), std::string::npos);
  EXPECT_NE(map.find("50+4 info-header biClrImportant\n54+4 colour-entry entry 0\n"),
            std::string::npos);
  EXPECT_NE(map.find("66+4 colour-entry entry 3\n"
                     "70+2 encoded-run encoded run of 3\n"
                     "72+2 end-of-line end of line\n"
                     "74+5 absolute-run absolute run of 3\n"
                     "79+1 run-pad pad byte of the absolute run\n"
                     "80+4 delta delta 0, 1\n"
                     "84+2 encoded-run encoded run of 1\n"
                     "86+2 end-of-bitmap end of bitmap\n"),
            std::string::npos)
      << map;

  Bytes file = rle8File();
  decode::MemoryInput whole(file.data(), file.size());
  decode::Decoder decoder(whole);
  const decode::PixelSource set = decoder.pixelSource(3, 1);
  EXPECT_EQ(set.kind, decode::PixelSource::Kind::kCommand);
  EXPECT_EQ(set.offset, 84u);
  EXPECT_EQ(set.size, 2u);
  EXPECT_EQ(set.dataOffset, 85u);
  EXPECT_EQ(set.index, 3);
  EXPECT_EQ(set.entryOffset, 66u);
  const decode::PixelSource absolute = decoder.pixelSource(1, 2);
  EXPECT_EQ(absolute.kind, decode::PixelSource::Kind::kCommand);
  EXPECT_EQ(absolute.command, decode::CommandKind::kAbsolute);
  EXPECT_EQ(absolute.dataOffset, 77u);
  // Skipped: by the delta (the rest of row 1 and the start of row 2), the end of line, the
  // end of bitmap.
  for (const auto& [x, y, offset] : {std::tuple{3u, 2u, 80u}, std::tuple{0u, 1u, 80u},
                                     std::tuple{3u, 3u, 72u}, std::tuple{0u, 0u, 86u}}) {
    const decode::PixelSource skipped = decoder.pixelSource(x, y);
    EXPECT_EQ(skipped.kind, decode::PixelSource::Kind::kSkipped) << x << "," << y;
    EXPECT_EQ(skipped.offset, offset) << x << "," << y;
  }
  EXPECT_EQ(decoder.pixelSource(4, 0).kind, decode::PixelSource::Kind::kOutside);
  EXPECT_EQ(decode::regionAt(decoder, 81).name, "delta 0, 1");
  EXPECT_EQ(decode::regionAt(decoder, 79).kind, decode::RegionKind::kRunPad);
}

TEST(Decode, RleCutShortLeavesTheRestMissing) {
  Bytes file = rle8File();
  file.resize(78);  // inside the absolute run: its third pixel's byte is gone
  EXPECT_EQ(text(decodeAll(file)),
            "00000000/2 00000000/2 00000000/2 00000000/2 | "
            "00000000/2 00000000/2 00000000/2 00000000/2 | "
            "000012ff 000010ff 00000000/2 00000000/2 | "
            "000011ff 000011ff 000011ff 00000000/1");
  decode::MemoryInput input(file.data(), file.size());
  decode::Decoder decoder(input);
  const decode::PixelSource missing = decoder.pixelSource(2, 2);
  EXPECT_EQ(missing.kind, decode::PixelSource::Kind::kMissing);
  EXPECT_EQ(missing.offset, 78u);
  EXPECT_NE(mapText(file).find("74+4 absolute-run absolute run of 2: states 3 pixels; the end "
                               "of the file cuts it after 2\n"),
            std::string::npos);
  // Cut inside a delta: the command is named as cut.
  file = rle8File();
  file.resize(82);
  EXPECT_NE(mapText(file).find("80+2 cut-command command cut by the end of the file\n"),
            std::string::npos);
}

TEST(Decode, Rle4AndRle24RunsAndTheirPads) {
  // RLE4: an encoded run alternates its two nibbles; an absolute run of 5 takes 3 bytes and a
  // pad.
  const Bytes table = entries({0, 0x11, 0x22, 0x33, 0x44, 0x55});
  const Bytes rle4 = {0x03, 0x12, 0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x00, 0x01};
  EXPECT_EQ(text(decodeAll(infoFile(4, 8, 1, 2, table, rle4))),
            "000011ff 000022ff 000011ff 000011ff 000022ff 000033ff 000044ff 000055ff");
  Bytes file = infoFile(4, 8, 1, 2, table, rle4);
  decode::MemoryInput input(file.data(), file.size());
  decode::Decoder decoder(input);
  const decode::PixelSource high = decoder.pixelSource(5, 0);
  EXPECT_EQ(high.dataOffset, 83u);  // the absolute run's second data byte, its high nibble
  EXPECT_EQ(high.shift, 4u);
  EXPECT_EQ(high.bits, 4u);
  EXPECT_EQ(high.index, 3);
  EXPECT_NE(mapText(file).find("80+5 absolute-run absolute run of 5\n85+1 run-pad"),
            std::string::npos);

  // OS/2 RLE24 after a 64-byte header: runs of blue, green, red.
  Bytes rle24 = withHeader(64, {},
                           {0x02, 0x01, 0x02, 0x03, 0x00, 0x03, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF,
                            0x11, 0x22, 0x33, 0x00, 0x00, 0x01});
  putLE(rle24, 18, 5, 4);
  putLE(rle24, 22, 1, 4);
  putLE(rle24, 26, 1, 2);
  putLE(rle24, 28, 24, 2);
  putLE(rle24, 30, 4, 4);
  EXPECT_EQ(text(decodeAll(rle24)), "030201ff 030201ff ccbbaaff ffeeddff 332211ff");
  const std::string map = mapText(rle24);
  EXPECT_NE(map.find("54+2 info-header usUnits\n"), std::string::npos) << map;
  EXPECT_NE(map.find("78+4 encoded-run encoded run of 2\n82+11 absolute-run absolute run of 3\n"
                     "93+1 run-pad"),
            std::string::npos)
      << map;
}

TEST(Decode, RleEdgesPastThePictureAndTopDown) {
  const Bytes table = entries({0x000010, 0x000011, 0x000012});
  // A delta past the row drops the run after it; a delta past the last row drops the rest.
  EXPECT_EQ(text(decodeAll(infoFile(8, 2, 2, 1, table,
                                    {0x00, 0x02, 0x05, 0x00, 0x02, 0x01, 0x00, 0x00, 0x02, 0x01,
                                     0x00, 0x02, 0x00, 0x09, 0x02, 0x02, 0x00, 0x01}))),
            "000011ff 000011ff | 00000000/1 00000000/1");
  // An absolute run past the row sets what fits.
  const Bytes over = {0x00, 0x03, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x01};
  EXPECT_EQ(text(decodeAll(infoFile(8, 2, 2, 1, table, over))),
            "000012ff 00000000/1 | 000011ff 000011ff");
  EXPECT_NE(mapText(infoFile(8, 2, 2, 1, table, over))
                .find("absolute run of 3: runs past the row: 1 pixels dropped"),
            std::string::npos);
  // A top-down RLE file: its first stored row is the top one.
  EXPECT_EQ(text(decodeAll(infoFile(8, 2, -2, 1, table, over))),
            "000011ff 000011ff | 000012ff 00000000/1");
}

TEST(Decode, PixelsPastTheEndAreMissingAndTracedThere) {
  // 24 bits, 2 x 2, rows of 8 bytes from 54; the file ends inside the top row's second pixel.
  Bytes file = infoFile(24, 2, 2, 0, {}, Bytes(16, 0x40));
  file.resize(66);
  EXPECT_EQ(text(decodeAll(file)), "404040ff 00000000/2 | 404040ff 404040ff");
  decode::MemoryInput input(file.data(), file.size());
  decode::Decoder decoder(input);
  const decode::PixelSource missing = decoder.pixelSource(1, 0);
  EXPECT_EQ(missing.kind, decode::PixelSource::Kind::kMissing);
  EXPECT_EQ(missing.offset, 65u);
  EXPECT_EQ(missing.size, 3u);
  const decode::PixelSource stored = decoder.pixelSource(1, 1);
  EXPECT_EQ(stored.kind, decode::PixelSource::Kind::kStored);
  EXPECT_EQ(stored.offset, 57u);
  EXPECT_EQ(mapText(file).substr(mapText(file).rfind("\n54")),
            "\n54+6 pixel-row row 1\n60+2 row-padding padding of row 1\n"
            "62+4 pixel-row row 0: cut by the end of the file\n");
  // A 1-bit pixel's byte and bits.
  const Bytes bits = infoFile(1, 9, 1, 0, entries({0, 0xFFFFFF}), {0x00, 0x80, 0, 0});
  decode::MemoryInput bitInput(bits.data(), bits.size());
  decode::Decoder bitDecoder(bitInput);
  const decode::PixelSource ninth = bitDecoder.pixelSource(8, 0);
  EXPECT_EQ(ninth.offset, 63u);
  EXPECT_EQ(ninth.shift, 7u);
  EXPECT_EQ(ninth.bits, 1u);
  EXPECT_EQ(ninth.state, decode::kDefined);
  EXPECT_EQ(ninth.entryOffset, 58u);
}

// 64 bits, 1824726041 x -2^31: row 1263665316 would start at 2^64 + 86, which 64-bit
// arithmetic wraps to 86, where this file holds bytes. Beyond any file, its pixels are missing.
TEST(Decode, RowsPastTwoToTheSixtyFourAreMissingNeverWrapped) {
  const Bytes far = infoFile(64, 1824726041, INT32_MIN, 0, {}, Bytes(64, 0x10));
  decode::MemoryInput input(far.data(), far.size());
  decode::Decoder decoder(input);
  const std::uint32_t row = 1263665316;
  for (const std::uint32_t y : {row, row - 1}) {
    std::uint8_t rgba[4] = {1, 1, 1, 1};
    std::uint8_t state = 0;
    ASSERT_TRUE(decoder.decodeRow(y, 0, 1, rgba, &state));
    EXPECT_EQ(state, decode::kMissing) << y;
    EXPECT_EQ(rgba[0] | rgba[1] | rgba[2] | rgba[3], 0) << y;
    EXPECT_EQ(decoder.pixelSource(0, y).kind, decode::PixelSource::Kind::kMissing) << y;
  }
  EXPECT_TRUE(decoder.pixelSource(0, row).beyondAnyFile);
  // The row before ends short of 2^64, far past the file.
  EXPECT_FALSE(decoder.pixelSource(0, row - 1).beyondAnyFile);
}

// 64 bits, 2147483647 pixels a row (2^34 - 8 bytes), in a file that claims 2^33 + 200 bytes:
// row 0 holds pixels up to about 2^30. Row 2^30 + 1 would start at 2^64 + 2^33 + 46, and the last
// pixel of row 2^30 at 2^64 + 2^33 + 38: wrapped, both inside the file. Neither is read there: both
// rows are missing.
TEST(Decode, RowsAndPixelsWhoseOffsetsWouldWrapIntoTheFileAreMissing) {
  const std::uint32_t width = 0x7FFFFFFF;
  const Bytes head = infoFile(64, static_cast<std::int32_t>(width), -0x7FFFFFFF, 0, {}, {});
  testing_support::CountingInput input(head, (std::uint64_t{1} << 33) + 200);
  decode::Decoder decoder(input);
  ASSERT_TRUE(decoder.decodes());
  const std::uint32_t row = std::uint32_t{1} << 30;
  struct Case {
    std::uint32_t x;
    std::uint32_t y;
    decode::State state;
    bool beyondAnyFile;
  };
  for (const Case& c :
       {Case{0, 0, decode::kDefined, false}, Case{row - 10, 0, decode::kDefined, false},
        Case{0, row, decode::kMissing, false}, Case{width - 1, row, decode::kMissing, true},
        Case{0, row + 1, decode::kMissing, true}}) {
    std::uint8_t rgba[4] = {1, 1, 1, 1};
    std::uint8_t state = 9;
    ASSERT_TRUE(decoder.decodeRow(c.y, c.x, 1, rgba, &state));
    EXPECT_EQ(state, c.state) << c.x << ", " << c.y;
    const decode::PixelSource source = decoder.pixelSource(c.x, c.y);
    EXPECT_EQ(source.state, c.state) << c.x << ", " << c.y;
    EXPECT_EQ(source.beyondAnyFile, c.beyondAnyFile) << c.x << ", " << c.y;
    if (c.state == decode::kMissing) {
      EXPECT_EQ(rgba[0] | rgba[1] | rgba[2] | rgba[3], 0) << c.x << ", " << c.y;
    }
  }
  // Two blocks of stored row 0 are all that was read: nothing at the wrapped offsets.
  EXPECT_LE(input.total, std::uint64_t{2} * decode::BlockReader::kBlockSize);
}

TEST(Decode, TablesOfAnySizeIndicesPastThemAndEntriesPastTheEnd) {
  // 300 entries: an 8-bit index reaches 256 of them.
  Bytes table;
  for (int i = 0; i < 300; ++i) table.insert(table.end(), {static_cast<std::uint8_t>(i), 0, 0, 0});
  const Bytes large = infoFile(8, 2, 1, 0, table, {0, 255, 0, 0});
  EXPECT_EQ(text(decodeAll(large)), "000000ff 0000ffff");
  EXPECT_NE(mapText(large).find("1078+4 colour-entry entry 256: beyond what a 8-bit index "
                                "reaches\n"),
            std::string::npos);
  // Two entries, index 5: past the table, traced to its byte.
  const Bytes small = infoFile(8, 1, 1, 0, entries({1, 2}), {5, 0, 0, 0});
  EXPECT_EQ(text(decodeAll(small)), "00000000/3");
  decode::MemoryInput input(small.data(), small.size());
  decode::Decoder decoder(input);
  EXPECT_EQ(decoder.pixelSource(0, 0).kind, decode::PixelSource::Kind::kBadIndex);
  EXPECT_EQ(decoder.pixelSource(0, 0).offset, 62u);
  // The full 256-entry table claimed, the pixels inside it at 58 and the file 62 bytes long:
  // index 200's entry lies past the end; the table wins the bytes both claim.
  Bytes cut = infoFile(8, 1, 1, 0, {}, {0, 0, 0, 0, 200, 0, 0, 0});
  putLE(cut, 10, 58, 4);
  putLE(cut, 46, 0, 4);
  EXPECT_EQ(text(decodeAll(cut)), "00000000/2");
  EXPECT_EQ(mapText(cut).substr(mapText(cut).find("\n54")),
            "\n54+4 colour-entry entry 0\n"
            "58+4 colour-entry entry 1: bytes 58 to 61 are also claimed by the pixel data; the "
            "colour table wins\n");
}

TEST(Decode, HeadersOfEveryKindNameTheirFields) {
  // OS/2 1.x: 16-bit width and height, 3-byte table entries.
  Bytes core = withHeader(12, {0x01, 0x02, 0x03, 0x80, 0x90, 0xA0}, {0x40, 0, 0, 0});
  putLE(core, 18, 2, 2);
  putLE(core, 20, 1, 2);
  putLE(core, 22, 1, 2);
  putLE(core, 24, 1, 2);
  EXPECT_EQ(text(decodeAll(core)), "030201ff a09080ff");
  EXPECT_EQ(mapText(core),
            "0+2 file-header bfType\n2+4 file-header bfSize\n6+2 file-header bfReserved1\n"
            "8+2 file-header bfReserved2\n10+4 file-header bfOffBits\n"
            "14+4 info-header bcSize\n18+2 info-header bcWidth\n20+2 info-header bcHeight\n"
            "22+2 info-header bcPlanes\n24+2 info-header bcBitCount\n"
            "26+3 colour-entry entry 0\n29+3 colour-entry entry 1\n"
            "32+1 pixel-row row 0\n33+3 row-padding padding of row 0\n");

  // V5 with calibrated endpoints, gamma and an embedded profile after the pixels.
  Bytes v5 = withHeader(124, {}, {1, 2, 3, 0, 'i', 'c', 'c', 'd', 'a', 't'});
  putLE(v5, 18, 1, 4);
  putLE(v5, 22, 0xFFFFFFFF, 4);  // -1: top-down
  putLE(v5, 26, 1, 2);
  putLE(v5, 28, 24, 2);
  putLE(v5, 70, 0x4D424544, 4);   // 'MBED'
  putLE(v5, 74, 0x40000000, 4);   // red X 1.0
  putLE(v5, 78, 0xC0000000, 4);   // red Y -1.0
  putLE(v5, 82, 0x00000001, 4);   // red Z 2^-30, cut to ten places
  putLE(v5, 110, 0x00018000, 4);  // gamma red 1.5
  putLE(v5, 122, 4, 4);           // LCS_GM_IMAGES
  putLE(v5, 126, 142 - 14, 4);    // profile data, from the info header
  putLE(v5, 130, 6, 4);           // profile size
  decode::MemoryInput input(v5.data(), v5.size());
  decode::Decoder decoder(input);
  const decode::Format& format = decoder.format();
  EXPECT_EQ(format.kind, decode::HeaderKind::kV5);
  const std::pair<const char*, const char*> values[] = {
      {"bV5Height", "-1"},
      {"bV5CSType", "MBED"},
      {"bV5Endpoints.ciexyzRed.ciexyzX", "1.0"},
      {"bV5Endpoints.ciexyzRed.ciexyzY", "-1.0"},
      {"bV5Endpoints.ciexyzRed.ciexyzZ", "0.0000000009"},
      {"bV5GammaRed", "1.5"},
      {"bV5Intent", "4"},
      {"bV5RedMask", "0x00000000"}};
  for (const auto& [name, value] : values) EXPECT_EQ(fieldNamed(format, name).value, value) << name;
  EXPECT_EQ(fieldNamed(format, "bV5Intent").note, "LCS_GM_IMAGES");
  EXPECT_EQ(fieldNamed(format, "bV5Height").note, "rows, stored top-down");
  EXPECT_EQ(fieldNamed(format, "bV5Compression").note, "BI_RGB");
  EXPECT_EQ(text(decodeAll(v5)), "030201ff");
  EXPECT_EQ(mapText(v5).substr(mapText(v5).find("\n134")),
            "\n134+4 info-header bV5Reserved\n138+3 pixel-row row 0\n"
            "141+1 row-padding padding of row 0\n142+6 icc-profile ICC profile\n");
  // The profile inside the pixels: the pixels win.
  putLE(v5, 126, 139 - 14, 4);
  const std::string overlap = mapText(v5);
  EXPECT_NE(overlap.find("138+3 pixel-row row 0: bytes 139 to 141 are also claimed by the ICC "
                         "profile; the pixel data wins\n"),
            std::string::npos)
      << overlap;
  EXPECT_NE(overlap.find("142+3 icc-profile ICC profile: overlaps the pixel data, which wins "
                         "bytes 139 to 141\n145+3 past-pixels bytes past the pixels\n"),
            std::string::npos)
      << overlap;

  // OS/2 2.x of 16 bytes: no compression field, 4-byte entries. V4 names its compression
  // bV4V4Compression. A size the format does not define, and one too short to read.
  Bytes os2 = withHeader(16, entries({0x123456}), {0, 0, 0, 0});
  putLE(os2, 18, 1, 4);
  putLE(os2, 22, 1, 4);
  putLE(os2, 28, 1, 2);
  EXPECT_EQ(text(decodeAll(os2)), "123456ff");
  EXPECT_NE(mapText(os2).find("28+2 info-header cBitCount\n30+4 colour-entry entry 0\n"),
            std::string::npos);
  Bytes v4 = withHeader(108, {}, {});
  decode::MemoryInput v4Input(v4.data(), v4.size());
  EXPECT_EQ(decode::Decoder(v4Input).format().fields[10].name, "bV4V4Compression");
  Bytes odd = withHeader(66, {}, {});
  putLE(odd, 28, 24, 2);
  EXPECT_NE(mapText(odd).find("70+10 header-extra header bytes past its named fields\n"),
            std::string::npos);
  Bytes tiny = withHeader(8, {}, {});
  decode::MemoryInput tinyInput(tiny.data(), tiny.size());
  decode::Decoder tinyDecoder(tinyInput);
  EXPECT_FALSE(tinyDecoder.decodes());
  EXPECT_EQ(tinyDecoder.format().problem,
            "an info header of 8 bytes, too short to hold the picture's size");
  EXPECT_EQ(mapText(tiny), std::string("0+2 file-header bfType\n2+4 file-header bfSize\n"
                                       "6+2 file-header bfReserved1\n8+2 file-header bfReserved2\n"
                                       "10+4 file-header bfOffBits\n14+4 info-header biSize\n"
                                       "18+4 header-extra header bytes past its named fields\n"));
}

TEST(Decode, EmbeddedImagesAndOtherFilesAreNamedNotDecoded) {
  Bytes jpeg = infoFile(0, 4, 4, 4, {}, {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xD9});
  putLE(jpeg, 34, 4, 4);  // biSizeImage: the JPEG's length
  decode::MemoryInput input(jpeg.data(), jpeg.size());
  decode::Decoder decoder(input);
  EXPECT_FALSE(decoder.decodes());
  EXPECT_EQ(decoder.pixelSource(0, 0).kind, decode::PixelSource::Kind::kNotDecoded);
  EXPECT_NE(mapText(jpeg).find("54+4 jpeg embedded JPEG\n58+2 past-pixels bytes past the pixels\n"),
            std::string::npos)
      << mapText(jpeg);
  const Bytes notBitmap = {'B', 'A', 1, 2, 3};
  EXPECT_EQ(mapText(notBitmap),
            "0+2 file-header bfType\n"
            "2+3 unread not read: the file does not start with BM\n");
  // Cut inside the file header: the fields there are cut, the rest are past the end.
  const Bytes cut = {'B', 'M', 1, 2, 3};
  EXPECT_EQ(mapText(cut),
            "0+2 file-header bfType\n2+3 file-header bfSize: cut by the end of the file\n");
}

TEST(Decode, SizesAtTheirLimitsStayWithinBounds) {
  // 60000 x 60000 claimed by a 1 KB file: the bottom row is partly there, the top one missing.
  Bytes huge = infoFile(8, 60000, 60000, 0, entries({0x010203}), Bytes(1000, 0));
  decode::MemoryInput input(huge.data(), huge.size());
  decode::Decoder decoder(input);
  std::vector<std::uint8_t> rgba(std::size_t{60000} * 4);
  std::vector<std::uint8_t> state(60000);
  ASSERT_TRUE(decoder.decodeRow(59999, 0, 60000, rgba.data(), state.data()));
  EXPECT_EQ(std::count(state.begin(), state.end(), decode::kDefined), 1000);
  EXPECT_EQ(std::count(state.begin(), state.end(), decode::kMissing), 59000);
  ASSERT_TRUE(decoder.decodeRow(0, 0, 60000, rgba.data(), state.data()));
  EXPECT_EQ(std::count(state.begin(), state.end(), decode::kMissing), 60000);
  EXPECT_NE(mapText(huge).find("58+1000 pixel-row row 59999: cut by the end of the file\n"),
            std::string::npos);
  // Heights of -2^31 and 2^31 - 1, a width of -2^31 (not decoded) and of 0.
  Bytes tall = infoFile(8, 1, INT32_MIN, 0, entries({0x010203}), {0, 0, 0, 0});
  decode::MemoryInput tallInput(tall.data(), tall.size());
  decode::Decoder tallDecoder(tallInput);
  EXPECT_EQ(tallDecoder.height(), 1u << 31);
  ASSERT_TRUE(tallDecoder.decodeRow(0, 0, 1, rgba.data(), state.data()));
  EXPECT_EQ(state[0], decode::kDefined);
  ASSERT_TRUE(tallDecoder.decodeRow((1u << 31) - 1, 0, 1, rgba.data(), state.data()));
  EXPECT_EQ(state[0], decode::kMissing);
  EXPECT_EQ(tallDecoder.pixelSource(0, (1u << 31) - 1).offset,
            58u + ((std::uint64_t{1} << 31) - 1) * 4);
  putLE(tall, 22, INT32_MAX, 4);
  decode::MemoryInput tallerInput(tall.data(), tall.size());
  decode::Decoder taller(tallerInput);
  ASSERT_TRUE(taller.decodeRow(INT32_MAX - 1, 0, 1, rgba.data(), state.data()));
  EXPECT_EQ(state[0], decode::kDefined);
  Bytes wide = infoFile(8, INT32_MIN, 1, 0, {}, {});
  decode::MemoryInput wideInput(wide.data(), wide.size());
  EXPECT_EQ(decode::Decoder(wideInput).format().problem, "a negative width");
  Bytes empty = infoFile(24, 0, 5, 0, {}, {1, 2, 3});
  EXPECT_EQ(text(decodeAll(empty)), "");
  // A width of 0 and 2^31 rows: no pixels, in no time.
  putLE(empty, 22, static_cast<std::uint32_t>(INT32_MIN), 4);
  decode::MemoryInput emptyInput(empty.data(), empty.size());
  decode::Decoder emptyDecoder(emptyInput);
  EXPECT_TRUE(emptyDecoder.decodeImage(rgba.data(), state.data()));
  EXPECT_NE(mapText(empty).find("54+3 past-pixels bytes past the pixels\n"), std::string::npos);
}

using testing_support::CountingInput;

TEST(Decode, AFiveGigabyteFileIsReadOnlyWhereItsRowsAre) {
  // 24 bits, 100000 x 17000: rows of 300000 bytes across 5 GiB; its top row lies last.
  Bytes head = infoFile(24, 100000, 17000, 0, {}, {});
  CountingInput input(head, std::uint64_t{5} << 30);
  decode::Decoder decoder(input);
  std::vector<std::uint8_t> rgba(std::size_t{100000} * 4);
  std::vector<std::uint8_t> state(100000);
  for (const std::uint32_t y : {0u, 16999u, 8000u}) {
    ASSERT_TRUE(decoder.decodeRow(y, 0, 100000, rgba.data(), state.data()));
    EXPECT_EQ(std::count(state.begin(), state.end(), decode::kDefined), 100000);
    EXPECT_EQ(rgba[std::size_t{4} * 99999], 0x11);
  }
  // The header and three rows, in blocks of at most 256 KiB.
  EXPECT_LE(input.largest, decode::BlockReader::kBlockSize);
  EXPECT_LE(input.total,
            3 * (300000 + decode::BlockReader::kBlockSize) + 2 * decode::BlockReader::kBlockSize);
  EXPECT_EQ(decode::regionAt(decoder, (std::uint64_t{4} << 30) + 7).name,
            "row " + std::to_string(17000 - 1 - ((std::uint64_t{4} << 30) + 7 - 54) / 300000));
}

TEST(Decode, AllInputsDecodeAlike) {
  // Through a Source that reads five bytes at a time, pieces straddle its blocks everywhere.
  const Bytes file = rle8File();
  bitmap::Source source(5);
  source.openMemory(file.data(), file.size());
  decode::SourceInput sourceInput(source);
  decode::Decoder fromSource(sourceInput);
  decode::MemoryInput memoryInput(file.data(), file.size());
  decode::Decoder fromMemory(memoryInput);
  std::vector<std::uint8_t> a(std::size_t{16} * 4);
  std::vector<std::uint8_t> b(std::size_t{16} * 4);
  std::vector<std::uint8_t> sa(16);
  std::vector<std::uint8_t> sb(16);
  ASSERT_TRUE(fromSource.decodeImage(a.data(), sa.data()));
  ASSERT_TRUE(fromMemory.decodeImage(b.data(), sb.data()));
  EXPECT_EQ(a, b);
  EXPECT_EQ(sa, sb);
  EXPECT_EQ(decode::mapRegions(fromSource, 100).size(), decode::mapRegions(fromMemory, 100).size());
}

}  // namespace
