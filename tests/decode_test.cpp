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
using testing_support::CountingInput;
using testing_support::Decoded;
using testing_support::infoFile;
using testing_support::putLE;
using testing_support::withHeader;

std::string hex(const std::uint8_t* p, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += {kDigits[p[i] >> 4], kDigits[p[i] & 15]};
  return text;
}

// Each pixel as RRGGBBAA, and /state when it is not defined; rows from the top split by '|'.
// Every row is decoded again on its own, from the bottom up and in two pieces, and the whole
// picture through a Source that reads five bytes at a time, to the same bytes.
std::string pixels(const Bytes& file) {
  Decoded d(file);
  const std::uint32_t width = d.decoder.width();
  const std::size_t count = std::size_t{width} * d.decoder.height();
  Bytes rgba(count * 4, 0xEE);
  Bytes state(count, 0xEE);
  if (!d.decoder.decodeImage(rgba.data(), state.data())) {
    ADD_FAILURE() << "does not decode: " << d.decoder.format().problem;
    return "";
  }
  for (std::uint32_t y = d.decoder.height(); y-- > 0;) {
    Bytes rowRgba(std::size_t{width} * 4);
    Bytes rowState(width);
    const std::uint32_t half = width / 2;
    d.decoder.decodeRow(y, half, width - half, rowRgba.data() + std::size_t{half} * 4,
                        rowState.data() + half);
    d.decoder.decodeRow(y, 0, half, rowRgba.data(), rowState.data());
    const auto at = static_cast<std::ptrdiff_t>(std::size_t{y} * width);
    EXPECT_TRUE(std::equal(rowRgba.begin(), rowRgba.end(), rgba.begin() + at * 4)) << y;
    EXPECT_TRUE(std::equal(rowState.begin(), rowState.end(), state.begin() + at)) << y;
  }
  bitmap::Source source(5);
  source.openMemory(file.data(), file.size());
  decode::SourceInput sourceInput(source);
  decode::Decoder fromSource(sourceInput);
  Bytes sourceRgba(count * 4);
  Bytes sourceState(count);
  EXPECT_TRUE(fromSource.decodeImage(sourceRgba.data(), sourceState.data()));
  EXPECT_TRUE(sourceRgba == rgba && sourceState == state) << "through a Source";
  EXPECT_EQ(decode::mapRegions(fromSource, 100).size(), decode::mapRegions(d.decoder, 100).size());
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    out += (i == 0 ? "" : i % width == 0 ? " | " : " ") + hex(&rgba[i * 4], 4);
    if (state[i] != 0) out += "/" + std::to_string(state[i]);
  }
  return out;
}

// The map as "offset+size kind name" lines, notes after a colon; it must cover the file.
std::string mapText(const Bytes& file) {
  Decoded d(file);
  std::string out;
  std::uint64_t next = 0;
  for (const decode::Region& region : decode::mapRegions(d.decoder, 10000)) {
    EXPECT_EQ(region.offset, next) << region.name;
    next = region.offset + region.size;
    out += std::to_string(region.offset) + "+" + std::to_string(region.size) + " " +
           decode::regionKindName(region.kind) + " " + region.name;
    out += (region.note.empty() ? "" : ": " + region.note) + "\n";
  }
  EXPECT_EQ(next, file.size());
  return out;
}

#define EXPECT_MAP_HAS(file, part) \
  EXPECT_NE(mapText(file).find(part), std::string::npos) << mapText(file)

// A pixel's source as "kind offset+size, data offset+size >> shift: bits (below a byte), index
// i at entry".
std::string source(decode::Decoder& decoder, std::uint32_t x, std::uint32_t y) {
  static const char* const kKinds[] = {"stored",    "command",     "skipped", "missing",
                                       "bad-index", "not-decoded", "outside"};
  const decode::PixelSource s = decoder.pixelSource(x, y);
  std::string text = std::string(kKinds[static_cast<int>(s.kind)]) + " " +
                     std::to_string(s.offset) + "+" + std::to_string(s.size);
  if (s.dataSize > 0)
    text += ", data " + std::to_string(s.dataOffset) + "+" + std::to_string(s.dataSize);
  if (s.bits > 0) text += " >> " + std::to_string(s.shift) + ": " + std::to_string(s.bits);
  if (s.index >= 0)
    text += ", index " + std::to_string(s.index) + " at " + std::to_string(s.entryOffset);
  return text;
}
std::string source(const Bytes& file, std::uint32_t x, std::uint32_t y) {
  Decoded decoded(file);
  return source(decoded.decoder, x, y);
}

const decode::Field& fieldNamed(const decode::Format& format, const std::string& name) {
  for (const decode::Field& field : format.fields) {
    if (field.name == name) return field;
  }
  static const decode::Field kNone;
  ADD_FAILURE() << "no field " << name;
  return kNone;
}

// Table entries: blue, green, red, reserved.
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
  EXPECT_EQ(pixels(infoFile(1, 3, 2, 0, two, {0xA0, 0, 0, 0, 0x60, 0, 0, 0})),
            "302010ff ff9080ff ff9080ff | ff9080ff 302010ff ff9080ff");
  // 2 bits, top-down: indices 3 0 2 from the high bits down.
  EXPECT_EQ(pixels(infoFile(2, 3, -1, 0, entries({1, 2, 3, 0x445566}), {0xC8, 0, 0, 0})),
            "445566ff 000001ff 000003ff");
  // 4 bits with two entries: index 15 has none.
  EXPECT_EQ(pixels(infoFile(4, 3, 1, 0, two, {0x1F, 0x00, 0, 0})), "ff9080ff 00000000/3 302010ff");
  // 8 bits, top-down, two rows.
  EXPECT_EQ(pixels(infoFile(8, 2, -2, 0, two, {1, 0, 0, 0, 0, 1, 0, 0})),
            "ff9080ff 302010ff | 302010ff ff9080ff");
  // 16 bits BI_RGB: 5-5-5, the top bit unused; 1 of 31 rounds to 8.
  EXPECT_EQ(pixels(infoFile(16, 3, 1, 0, {}, {0xFF, 0x7F, 0x21, 0x04, 0x00, 0x80, 0, 0})),
            "ffffffff 080808ff 000000ff");
  // 24 bits: blue, green, red.
  EXPECT_EQ(pixels(infoFile(24, 2, 1, 0, {}, {0x01, 0x02, 0x03, 0x80, 0x90, 0xFF, 0, 0})),
            "030201ff ff9080ff");
  // 32 bits BI_RGB: the fourth byte is not alpha.
  EXPECT_EQ(pixels(infoFile(32, 1, 1, 0, {}, {0x01, 0x02, 0x03, 0x80})), "030201ff");
  // 64 bits: 2.13 fixed point, linear; colour through the sRGB curve, clamped to 0..1.
  const Bytes wide = {0x00, 0x00, 0x00, 0x20, 0x00, 0x10, 0x00, 0x10,   // B 0, G 1, R .5, A .5
                      0x00, 0xF0, 0x00, 0x40, 0x01, 0x00, 0x00, 0x20};  // B -.5, G 2, R ~0, A 1
  EXPECT_EQ(pixels(infoFile(64, 2, 1, 0, {}, wide)), "bcff0080 00ff00ff");
}

TEST(Decode, BitFieldsOfAnyWidthAndPlaceScaleToEightBits) {
  // 16-bit 5-6-5 after a 40-byte header: 2 of 63 and 1 of 31 both round to 8.
  const Bytes masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  EXPECT_EQ(pixels(infoFile(16, 3, 1, 3, masks565, {0x00, 0xF8, 0xE0, 0x07, 0x41, 0x08, 0, 0})),
            "ff0000ff 00ff00ff 080808ff");
  // 32-bit 10-10-10-2 with alpha (BI_ALPHABITFIELDS, 16 bytes of masks): 512 of 1023 is 128,
  // 1 of 3 is 85; a blue mask of no bits gives 0.
  const Bytes masks =
      putLE(Bytes(16), {{0, 0x3FF00000u, 4}, {4, 0x000FFC00u, 4}, {12, 0xC0000000u, 4}});
  EXPECT_EQ(pixels(infoFile(32, 1, 1, 6, masks, {0x00, 0x00, 0xF8, 0x7F})), "ff800055");
  // A 56-byte header holds the masks, alpha too: 4-4-4-4 in 16 bits; R 8 of 15, G 1, B 15, A 15.
  EXPECT_EQ(pixels(withHeader(56, {}, {0x1F, 0xF8, 0, 0},
                              {{18, 1, 4},
                               {22, 1, 4},
                               {28, 16, 2},
                               {30, 3, 4},
                               {54, 0x0F00, 4},
                               {58, 0x00F0, 4},
                               {62, 0x000F, 4},
                               {66, 0xF000, 4}})),
            "8811ffff");
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
  EXPECT_EQ(pixels(rle8File()),
            "00000000/1 00000000/1 00000000/1 00000000/1 | "
            "00000000/1 00000000/1 00000000/1 000013ff | "
            "000012ff 000010ff 000011ff 00000000/1 | "
            "000011ff 000011ff 000011ff 00000000/1");
  EXPECT_MAP_HAS(rle8File(),
                 "66+4 colour-entry entry 3\n"
                 "70+2 encoded-run encoded run of 3\n"
                 "72+2 end-of-line end of line\n"
                 "74+5 absolute-run absolute run of 3\n"
                 "79+1 run-pad pad byte of the absolute run\n"
                 "80+4 delta delta 0, 1\n"
                 "84+2 encoded-run encoded run of 1\n"
                 "86+2 end-of-bitmap end of bitmap\n");
  Decoded rle(rle8File());
  // Set by a command, skipped by the delta (the rest of row 1 and the start of row 2), the end
  // of line and the end of bitmap, and outside the picture.
  const std::tuple<std::uint32_t, std::uint32_t, const char*> sources[] = {
      {3, 1, "command 84+2, data 85+1, index 3 at 66"},
      {1, 2, "command 74+5, data 77+1, index 0 at 54"},
      {3, 2, "skipped 80+4"},
      {0, 1, "skipped 80+4"},
      {3, 3, "skipped 72+2"},
      {0, 0, "skipped 86+2"},
      {4, 0, "outside 0+0"}};
  for (const auto& [x, y, expected] : sources)
    EXPECT_EQ(source(rle.decoder, x, y), expected) << x << "," << y;
  EXPECT_EQ(decode::regionAt(rle.decoder, 81).name, "delta 0, 1");
  EXPECT_EQ(decode::regionAt(rle.decoder, 79).kind, decode::RegionKind::kRunPad);
}

TEST(Decode, RleCutShortLeavesTheRestMissing) {
  Bytes file = rle8File();
  file.resize(78);  // inside the absolute run: its third pixel's byte is gone
  EXPECT_EQ(pixels(file),
            "00000000/2 00000000/2 00000000/2 00000000/2 | "
            "00000000/2 00000000/2 00000000/2 00000000/2 | "
            "000012ff 000010ff 00000000/2 00000000/2 | "
            "000011ff 000011ff 000011ff 00000000/1");
  EXPECT_EQ(source(file, 2, 2), "missing 78+0");
  EXPECT_EQ(source(file, 0, 2), "command 74+4, data 76+1, index 2 at 62");  // the run, as cut
  EXPECT_MAP_HAS(file,
                 "74+4 absolute-run absolute run of 2: states 3 pixels; the end of the file cuts "
                 "it after 2\n");
  // Cut inside a delta: the command is named as cut.
  file = rle8File();
  file.resize(82);
  EXPECT_MAP_HAS(file, "80+2 cut-command command cut by the end of the file\n");
}

TEST(Decode, Rle4AndRle24RunsAndTheirPads) {
  // RLE4: an encoded run alternates its two nibbles; an absolute run of 5 takes 3 bytes and a
  // pad. The sixth pixel is the high nibble of the absolute run's second data byte.
  const Bytes rle4 = infoFile(4, 8, 1, 2, entries({0, 0x11, 0x22, 0x33, 0x44, 0x55}),
                              {0x03, 0x12, 0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x00, 0x01});
  EXPECT_EQ(pixels(rle4),
            "000011ff 000022ff 000011ff 000011ff 000022ff 000033ff 000044ff 000055ff");
  EXPECT_EQ(source(rle4, 5, 0), "command 80+5, data 83+1 >> 4: 4, index 3 at 66");
  EXPECT_MAP_HAS(rle4, "80+5 absolute-run absolute run of 5\n85+1 run-pad");
  // OS/2 RLE24 after a 64-byte header: runs of blue, green, red.
  const Bytes rle24 = withHeader(64, {},
                                 {0x02, 0x01, 0x02, 0x03, 0x00, 0x03, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE,
                                  0xFF, 0x11, 0x22, 0x33, 0x00, 0x00, 0x01},
                                 {{18, 5, 4}, {22, 1, 4}, {26, 1, 2}, {28, 24, 2}, {30, 4, 4}});
  EXPECT_EQ(pixels(rle24), "030201ff 030201ff ccbbaaff ffeeddff 332211ff");
  EXPECT_MAP_HAS(rle24, "54+2 info-header usUnits\n");
  EXPECT_MAP_HAS(
      rle24,
      "78+4 encoded-run encoded run of 2\n82+11 absolute-run absolute run of 3\n93+1 run-pad");
}

TEST(Decode, RleEdgesPastThePictureAndTopDown) {
  const Bytes table = entries({0x000010, 0x000011, 0x000012});
  // A delta past the row drops the run after it; a delta past the last row drops the rest.
  EXPECT_EQ(pixels(infoFile(8, 2, 2, 1, table,
                            {0x00, 0x02, 0x05, 0x00, 0x02, 0x01, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02,
                             0x00, 0x09, 0x02, 0x02, 0x00, 0x01})),
            "000011ff 000011ff | 00000000/1 00000000/1");
  // An absolute run past the row sets what fits; top-down, the first stored row is the top one.
  const Bytes over = {0x00, 0x03, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x01};
  EXPECT_EQ(pixels(infoFile(8, 2, 2, 1, table, over)), "000012ff 00000000/1 | 000011ff 000011ff");
  EXPECT_MAP_HAS(infoFile(8, 2, 2, 1, table, over),
                 "absolute run of 3: runs past the row: 1 pixels dropped");
  EXPECT_EQ(pixels(infoFile(8, 2, -2, 1, table, over)), "000011ff 000011ff | 000012ff 00000000/1");
}

TEST(Decode, PixelsPastTheEndAreMissingAndTracedThere) {
  // 24 bits, 2 x 2, rows of 8 bytes from 54; the file ends inside the top row's second pixel.
  Bytes file = infoFile(24, 2, 2, 0, {}, Bytes(16, 0x40));
  file.resize(66);
  EXPECT_EQ(pixels(file), "404040ff 00000000/2 | 404040ff 404040ff");
  Decoded cut(file);
  EXPECT_EQ(source(cut.decoder, 1, 0), "missing 65+3, data 65+3");
  EXPECT_EQ(source(cut.decoder, 1, 1), "stored 57+3, data 57+3");
  EXPECT_EQ(mapText(file).substr(mapText(file).rfind("\n54")),
            "\n54+6 pixel-row row 1\n60+2 row-padding padding of row 1\n"
            "62+4 pixel-row row 0: cut by the end of the file\n");
  // A 1-bit pixel's byte and bits.
  Decoded bits(infoFile(1, 9, 1, 0, entries({0, 0xFFFFFF}), {0x00, 0x80, 0, 0}));
  EXPECT_EQ(source(bits.decoder, 8, 0), "stored 63+1, data 63+1 >> 7: 1, index 1 at 58");
  EXPECT_EQ(bits.decoder.pixelSource(8, 0).state, decode::kDefined);
}

// Pixels whose offsets would pass 2^64 - 1 are missing and beyond any file, never read where
// 64-bit arithmetic wraps them to, inside the file.
TEST(Decode, RowsAndPixelsWhoseOffsetsWouldWrapAreMissingNeverWrapped) {
  // 64 bits, 1824726041 x -2^31: row 1263665316 would start at 2^64 + 86, where this file
  // holds bytes; the row before ends short of 2^64, far past the file.
  Decoded far(infoFile(64, 1824726041, INT32_MIN, 0, {}, Bytes(64, 0x10)));
  // 64 bits, 2147483647 pixels a row (2^34 - 8 bytes), in a file that claims 2^33 + 200 bytes:
  // row 0 holds pixels up to about 2^30. Row 2^30 + 1 would start at 2^64 + 2^33 + 46, and the
  // last pixel of row 2^30 at 2^64 + 2^33 + 38: wrapped, both inside the file.
  const std::uint32_t width = 0x7FFFFFFF;
  CountingInput input(infoFile(64, static_cast<std::int32_t>(width), -0x7FFFFFFF, 0, {}, {}),
                      (std::uint64_t{1} << 33) + 200);
  decode::Decoder wide(input);
  ASSERT_TRUE(wide.decodes());
  const std::uint32_t row = std::uint32_t{1} << 30;
  const std::uint32_t farRow = 1263665316;
  struct Case {
    decode::Decoder* decoder;
    std::uint32_t x, y;
    decode::State state;
    bool beyondAnyFile;
  };
  for (const Case& c : {Case{&far.decoder, 0, farRow, decode::kMissing, true},
                        Case{&far.decoder, 0, farRow - 1, decode::kMissing, false},
                        Case{&wide, 0, 0, decode::kDefined, false},
                        Case{&wide, row - 10, 0, decode::kDefined, false},
                        Case{&wide, 0, row, decode::kMissing, false},
                        Case{&wide, width - 1, row, decode::kMissing, true},
                        Case{&wide, 0, row + 1, decode::kMissing, true}}) {
    std::uint8_t rgba[4] = {1, 1, 1, 1};
    std::uint8_t state = 9;
    ASSERT_TRUE(c.decoder->decodeRow(c.y, c.x, 1, rgba, &state));
    const decode::PixelSource source = c.decoder->pixelSource(c.x, c.y);
    EXPECT_EQ(state, c.state) << c.x << ", " << c.y;
    EXPECT_EQ(source.state, c.state) << c.x << ", " << c.y;
    EXPECT_EQ(source.beyondAnyFile, c.beyondAnyFile) << c.x << ", " << c.y;
    if (c.state == decode::kMissing) {
      EXPECT_EQ(source.kind, decode::PixelSource::Kind::kMissing) << c.x << ", " << c.y;
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
  EXPECT_EQ(pixels(large), "000000ff 0000ffff");
  EXPECT_MAP_HAS(large, "1078+4 colour-entry entry 256: beyond what a 8-bit index reaches\n");
  // Two entries, index 5: past the table, traced to its byte.
  const Bytes small = infoFile(8, 1, 1, 0, entries({1, 2}), {5, 0, 0, 0});
  EXPECT_EQ(pixels(small), "00000000/3");
  EXPECT_EQ(source(small, 0, 0), "bad-index 62+1, data 62+1, index 5 at 74");
  // The full 256-entry table claimed, the pixels inside it at 58 and the file 62 bytes long:
  // index 200's entry lies past the end; the table wins the bytes both claim.
  const Bytes cut = putLE(infoFile(8, 1, 1, 0, {}, {0, 0, 0, 0, 200, 0, 0, 0}), {{10, 58, 4}});
  EXPECT_EQ(pixels(cut), "00000000/2");
  EXPECT_EQ(mapText(cut).substr(mapText(cut).find("\n54")),
            "\n54+4 colour-entry entry 0\n"
            "58+4 colour-entry entry 1: bytes 58 to 61 are also claimed by the pixel data; the "
            "colour table wins\n");
}

TEST(Decode, HeadersOfEveryKindNameTheirFields) {
  // OS/2 1.x: 16-bit width and height, 3-byte table entries.
  const Bytes core = withHeader(12, {0x01, 0x02, 0x03, 0x80, 0x90, 0xA0}, {0x40, 0, 0, 0},
                                {{18, 2, 2}, {20, 1, 2}, {22, 1, 2}, {24, 1, 2}});
  EXPECT_EQ(pixels(core), "030201ff a09080ff");
  EXPECT_EQ(mapText(core),
            "0+2 file-header bfType\n2+4 file-header bfSize\n6+2 file-header bfReserved1\n"
            "8+2 file-header bfReserved2\n10+4 file-header bfOffBits\n"
            "14+4 info-header bcSize\n18+2 info-header bcWidth\n20+2 info-header bcHeight\n"
            "22+2 info-header bcPlanes\n24+2 info-header bcBitCount\n"
            "26+3 colour-entry entry 0\n29+3 colour-entry entry 1\n"
            "32+1 pixel-row row 0\n33+3 row-padding padding of row 0\n");

  // V5, top-down, with calibrated endpoints (red X 1.0, Y -1.0, Z 2^-30 cut to ten places),
  // gamma, LCS_GM_IMAGES and an embedded profile after the pixels (its offset from the info
  // header).
  Bytes v5 = putLE(withHeader(124, {}, {1, 2, 3, 0, 'i', 'c', 'c', 'd', 'a', 't'},
                              {{18, 1, 4}, {22, 0xFFFFFFFF, 4}, {26, 1, 2}, {28, 24, 2}}),
                   {{70, 0x4D424544, 4}, {74, 0x40000000, 4}, {78, 0xC0000000, 4}, {82, 1, 4}});
  v5 = putLE(v5, {{110, 0x00018000, 4}, {122, 4, 4}, {126, 142 - 14, 4}, {130, 6, 4}});
  Decoded decoded(v5);
  const decode::Format& format = decoded.decoder.format();
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
  EXPECT_EQ(pixels(v5), "030201ff");
  EXPECT_EQ(mapText(v5).substr(mapText(v5).find("\n134")),
            "\n134+4 info-header bV5Reserved\n138+3 pixel-row row 0\n"
            "141+1 row-padding padding of row 0\n142+6 icc-profile ICC profile\n");
  // The profile inside the pixels: the pixels win.
  putLE(v5, 126, 139 - 14, 4);
  EXPECT_MAP_HAS(v5,
                 "138+3 pixel-row row 0: bytes 139 to 141 are also claimed by the ICC "
                 "profile; the pixel data wins\n");
  EXPECT_MAP_HAS(v5,
                 "142+3 icc-profile ICC profile: overlaps the pixel data, which wins "
                 "bytes 139 to 141\n145+3 past-pixels bytes past the pixels\n");

  // OS/2 2.x of 16 bytes: no compression field, 4-byte entries. V4 names its compression
  // bV4V4Compression. A size the format does not define, and one too short to read.
  const Bytes os2 =
      withHeader(16, entries({0x123456}), {0, 0, 0, 0}, {{18, 1, 4}, {22, 1, 4}, {28, 1, 2}});
  EXPECT_EQ(pixels(os2), "123456ff");
  EXPECT_MAP_HAS(os2, "28+2 info-header cBitCount\n30+4 colour-entry entry 0\n");
  EXPECT_EQ(Decoded(withHeader(108, {}, {})).decoder.format().fields[10].name, "bV4V4Compression");
  EXPECT_MAP_HAS(withHeader(66, {}, {}, {{28, 24, 2}}),
                 "70+10 header-extra header bytes past its named fields\n");
  const Bytes tiny = withHeader(8, {}, {});
  EXPECT_FALSE(Decoded(tiny).decoder.decodes());
  EXPECT_EQ(Decoded(tiny).decoder.format().problem,
            "an info header of 8 bytes, too short to hold the picture's size");
  EXPECT_EQ(mapText(tiny),
            "0+2 file-header bfType\n2+4 file-header bfSize\n"
            "6+2 file-header bfReserved1\n8+2 file-header bfReserved2\n"
            "10+4 file-header bfOffBits\n14+4 info-header biSize\n"
            "18+4 header-extra header bytes past its named fields\n");
}

TEST(Decode, EmbeddedImagesAndOtherFilesAreNamedNotDecoded) {
  // biSizeImage: the JPEG's length.
  const Bytes jpeg =
      putLE(infoFile(0, 4, 4, 4, {}, {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xD9}), {{34, 4, 4}});
  Decoded decoded(jpeg);
  EXPECT_FALSE(decoded.decoder.decodes());
  EXPECT_EQ(source(decoded.decoder, 0, 0), "not-decoded 0+0");
  EXPECT_MAP_HAS(jpeg, "54+4 jpeg embedded JPEG\n58+2 past-pixels bytes past the pixels\n");
  EXPECT_EQ(mapText({'B', 'A', 1, 2, 3}),
            "0+2 file-header bfType\n2+3 unread not read: the file does not start with BM\n");
  // Cut inside the file header: the fields there are cut, the rest are past the end.
  EXPECT_EQ(mapText({'B', 'M', 1, 2, 3}),
            "0+2 file-header bfType\n2+3 file-header bfSize: cut by the end of the file\n");
}

TEST(Decode, SizesAtTheirLimitsStayWithinBounds) {
  // 60000 x 60000 claimed by a 1 KB file: the bottom row is partly there, the top one missing.
  const Bytes huge = infoFile(8, 60000, 60000, 0, entries({0x010203}), Bytes(1000, 0));
  Decoded decoded(huge);
  Bytes rgba(std::size_t{60000} * 4);
  Bytes state(60000);
  const auto count = [&](decode::State s) { return std::count(state.begin(), state.end(), s); };
  ASSERT_TRUE(decoded.decoder.decodeRow(59999, 0, 60000, rgba.data(), state.data()));
  EXPECT_EQ(count(decode::kDefined), 1000);
  EXPECT_EQ(count(decode::kMissing), 59000);
  ASSERT_TRUE(decoded.decoder.decodeRow(0, 0, 60000, rgba.data(), state.data()));
  EXPECT_EQ(count(decode::kMissing), 60000);
  EXPECT_MAP_HAS(huge, "58+1000 pixel-row row 59999: cut by the end of the file\n");
  // Heights of -2^31 and 2^31 - 1: the first stored row is there, the last far past the end.
  Decoded tall(infoFile(8, 1, INT32_MIN, 0, entries({0x010203}), {0, 0, 0, 0}));
  EXPECT_EQ(tall.decoder.height(), 1u << 31);
  ASSERT_TRUE(tall.decoder.decodeRow(0, 0, 1, rgba.data(), state.data()));
  EXPECT_EQ(state[0], decode::kDefined);
  ASSERT_TRUE(tall.decoder.decodeRow((1u << 31) - 1, 0, 1, rgba.data(), state.data()));
  EXPECT_EQ(state[0], decode::kMissing);
  EXPECT_EQ(tall.decoder.pixelSource(0, (1u << 31) - 1).offset, 8589934646u);  // 58 + 4 (2^31 - 1)
  Decoded taller(putLE(tall.file, {{22, INT32_MAX, 4}}));
  ASSERT_TRUE(taller.decoder.decodeRow(INT32_MAX - 1, 0, 1, rgba.data(), state.data()));
  EXPECT_EQ(state[0], decode::kDefined);
  // A width of -2^31 does not decode; one of 0, with 5 or 2^31 rows, has no pixels, at once.
  EXPECT_EQ(Decoded(infoFile(8, INT32_MIN, 1, 0, {}, {})).decoder.format().problem,
            "a negative width");
  EXPECT_EQ(pixels(infoFile(24, 0, 5, 0, {}, {1, 2, 3})), "");
  Decoded empty(infoFile(24, 0, INT32_MIN, 0, {}, {1, 2, 3}));
  EXPECT_TRUE(empty.decoder.decodeImage(rgba.data(), state.data()));
  EXPECT_MAP_HAS(empty.file, "54+3 past-pixels bytes past the pixels\n");
}

TEST(Decode, AFiveGigabyteFileIsReadOnlyWhereItsRowsAre) {
  // 24 bits, 100000 x 17000: rows of 300000 bytes across 5 GiB; its top row lies last.
  CountingInput input(infoFile(24, 100000, 17000, 0, {}, {}), std::uint64_t{5} << 30);
  decode::Decoder decoder(input);
  Bytes rgba(std::size_t{100000} * 4);
  Bytes state(100000);
  for (const std::uint32_t y : {0u, 16999u, 8000u}) {
    ASSERT_TRUE(decoder.decodeRow(y, 0, 100000, rgba.data(), state.data()));
    EXPECT_EQ(std::count(state.begin(), state.end(), decode::kDefined), 100000);
    EXPECT_EQ(rgba[std::size_t{4} * 99999], 0x11);
  }
  // The header and three rows, in blocks of at most 256 KiB.
  EXPECT_LE(input.largest, decode::BlockReader::kBlockSize);
  EXPECT_LE(input.total,
            3 * (300000 + decode::BlockReader::kBlockSize) + 2 * decode::BlockReader::kBlockSize);
  // 4 GiB + 7 is byte 4294967247 of the pixels: row 14316 from the bottom, 2683 from the top.
  EXPECT_EQ(decode::regionAt(decoder, (std::uint64_t{4} << 30) + 7).name, "row 2683");
}

}  // namespace
