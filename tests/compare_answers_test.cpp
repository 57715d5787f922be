// The comparison's answer as JSON on pairs of BMP Suite files and crafted files: one whole
// answer exactly, then each part against what the files hold: one changed pixel's bytes in both
// files, RLE commands that skip pixels, table entries and the bounds, fields across header
// versions, a copy cut short, files that are not bitmaps or whose pixels are not decoded, and
// offsets past 2^53 and past 2^64 - 1.
#include "app/compare_answers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bitmap/magic.h"
#include "compare/comparison.h"
#include "decode/input.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/harness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::putLE;

Bytes suiteFile(const std::string& name) {
  std::ifstream in(std::filesystem::u8path(testing_support::testDataPath("bmpsuite/" + name)),
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string answer(const Bytes& a, const Bytes& b, const compare::Bounds& bounds = {}) {
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  return app::comparisonAnswer(compare::compareFiles(inputA, inputB, bounds), bounds);
}

// The text of the first member called name in json, at any depth: from its quote to the end of
// its value, which is an object, an array or a plain value; "" when json has no such member.
std::string member(const std::string& json, const std::string& name) {
  const std::size_t at = json.find("\"" + name + "\":");
  if (at == std::string::npos) return {};
  std::size_t end = at + name.size() + 3;
  int depth = 0;
  bool quoted = false;
  for (; end < json.size(); ++end) {
    const char c = json[end];
    if (quoted) {
      if (c == '\\') ++end;
      if (c == '"') quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']' || c == ',') {
      if (depth == 0) break;
      if (c != ',') --depth;
    }
  }
  return json.substr(at, end - at);
}

TEST(CompareAnswers, AnRleCopyOfTheSamePictureWhole) {
  EXPECT_EQ(
      answer(suiteFile("g/pal8.bmp"), suiteFile("pal8rle.bmp")),
      R"({"verdict":"same-picture","same":false,"trouble":null,)"
      R"("a":{"fileLength":9254,"bitmap":true,"headerKind":"info","encoding":"indexed",)"
      R"("compressed":false,"topDown":false,"width":127,"height":64,"tableEntries":"252"},)"
      R"("b":{"fileLength":8788,"bitmap":true,"headerKind":"info","encoding":"rle8",)"
      R"("compressed":true,"topDown":false,"width":127,"height":64,"tableEntries":"252"},)"
      R"("bytes":{"identical":false,"firstDifference":2,"regionA":"bfSize","regionB":"bfSize"},)"
      R"("sizesDiffer":false,"rowsOpposite":false,"storageDiffers":true,)"
      R"("fields":[{"name":"bfSize","nameA":"bfSize","offsetA":2,"sizeA":4,)"
      R"("bytesA":"26 24 00 00","valueA":"9254","nameB":"bfSize","offsetB":2,"sizeB":4,)"
      R"("bytesB":"54 22 00 00","valueB":"8788"},)"
      R"({"name":"biCompression","nameA":"biCompression","offsetA":30,"sizeA":4,)"
      R"("bytesA":"00 00 00 00","valueA":"0","nameB":"biCompression","offsetB":30,"sizeB":4,)"
      R"("bytesB":"01 00 00 00","valueB":"1"},)"
      R"({"name":"biSizeImage","nameA":"biSizeImage","offsetA":34,"sizeA":4,)"
      R"("bytesA":"00 20 00 00","valueA":"8192","nameB":"biSizeImage","offsetB":34,"sizeB":4,)"
      R"("bytesB":"2E 1E 00 00","valueB":"7726"}],)"
      R"("table":{"count":"0","entries":[],"only":null},)"
      R"("pixels":{"compared":true,"problemA":null,"problemB":null,"sameEmbedded":null,)"
      R"("width":127,"height":64,"area":"8128","count":"0","stateCount":"0","box":null,)"
      R"("largest":[0,0,0,0],"first":[]},"bounds":{"pixels":10,"entries":16},)"
      R"("lines":["bytes: 9,254 vs 8,788; first difference at 2, bfSize in both",)"
      R"("bfSize (2, 4 bytes): 9254 [26 24 00 00] vs 8788 [54 22 00 00]",)"
      R"("biCompression (30, 4 bytes): 0 [00 00 00 00] vs 1 [01 00 00 00]",)"
      R"("biSizeImage (34, 4 bytes): 8192 [00 20 00 00] vs 7726 [2E 1E 00 00]",)"
      R"("pixels: same picture (8,128 pixels), stored uncompressed in A and as RLE8 in B",)"
      R"("verdict: same picture, different bytes"],)"
      R"("links":[null,{"kind":"field","index":0},{"kind":"field","index":1},)"
      R"({"kind":"field","index":2},null,null]})");
}

TEST(CompareAnswers, OneChangedPixelByteIsThatPixelWithItsBytesInBothFiles) {
  // 127 x 64 at 24 bits, bottom-up from 54 in rows of 384 bytes: the green of (10, 5).
  const Bytes rgb24 = suiteFile("rgb24.bmp");
  Bytes changed = rgb24;
  const std::size_t at = 54 + (63 - 5) * 384 + 10 * 3;
  changed[at + 1] ^= 0x01;
  const std::string json = answer(rgb24, changed);
  const auto side = [&](const Bytes& file) {
    return R"({"rgba":[)" + std::to_string(file[at + 2]) + "," + std::to_string(file[at + 1]) +
           "," + std::to_string(file[at]) + R"(,255],"state":0,"stateName":"defined",)" +
           R"("source":"stored","offset":")" + std::to_string(at) +
           R"(","beyondAnyFile":false,"data":{"offset":")" + std::to_string(at) +
           R"(","size":3,"shift":0,"bits":24,"bytes":")" + bitmap::hexPairs(file.data() + at, 3) +
           R"(","missing":0},"command":null,"index":null,"entry":null})";
  };
  EXPECT_EQ(member(json, "verdict"), R"("verdict":"different")");
  EXPECT_EQ(member(json, "pixels"),
            R"("pixels":{"compared":true,"problemA":null,"problemB":null,"sameEmbedded":null,)"
            R"("width":127,"height":64,"area":"8128","count":"1","stateCount":"0",)"
            R"("box":{"left":10,"top":5,"right":10,"bottom":5},"largest":[0,1,0,0],)"
            R"("first":[{"x":10,"y":5,"a":)" +
                side(rgb24) + R"(,"b":)" + side(changed) + "}]}");
  EXPECT_EQ(member(json, "fields"), R"("fields":[])");
  EXPECT_EQ(member(json, "bytes"), R"("bytes":{"identical":false,"firstDifference":)" +
                                       std::to_string(at + 1) +
                                       R"(,"regionA":"row 5","regionB":"row 5"})");
}

TEST(CompareAnswers, RleCommandsTableEntriesAndTheBoundsTheyAreListedTo) {
  // BMP Suite's RLE file with transparency skips pixels that pal8.bmp sets, and its table holds
  // one entry more, first: every entry of pal8.bmp's table is one place later.
  compare::Bounds bounds;
  bounds.pixels = 1;
  bounds.entries = 1;
  const std::string json = answer(suiteFile("q/pal8rletrns.bmp"), suiteFile("g/pal8.bmp"), bounds);
  EXPECT_EQ(member(json, "table"),
            R"("table":{"count":"252","entries":[{"index":0,)"
            R"("a":{"offset":"54","size":4,"bytes":"FF 00 80 00","state":0,"stateName":"defined",)"
            R"("rgba":[128,0,255,255]},)"
            R"("b":{"offset":"54","size":4,"bytes":"00 00 00 00","state":0,"stateName":"defined",)"
            R"("rgba":[0,0,0,255]}}],"only":{"file":"a","first":"252","last":"252"}})");
  // (27, 21): passed over by the delta 00 02 12 00 at 6,562 in A; index 251 (FB), white, in B.
  EXPECT_EQ(member(member(json, "pixels"), "first"),
            R"("first":[{"x":27,"y":21,"a":{"rgba":[0,0,0,0],"state":1,"stateName":"skipped",)"
            R"("source":"skipped","offset":"6562","beyondAnyFile":false,"data":null,)"
            R"("command":{"offset":"6562","size":4,"kind":"delta","name":"delta",)"
            R"("bytes":"00 02 12 00"},"index":null,"entry":null},)"
            R"("b":{"rgba":[255,255,255,255],"state":0,"stateName":"defined","source":"stored",)"
            R"("offset":"6465","beyondAnyFile":false,)"
            R"("data":{"offset":"6465","size":1,"shift":0,"bits":8,"bytes":"FB","missing":0},)"
            R"("command":null,"index":251,"entry":{"offset":"1058"}}}])");
  EXPECT_EQ(member(member(json, "table"), "count"), R"("count":"252")");
  EXPECT_EQ(member(member(json, "pixels"), "count"), R"("count":"416")");
  EXPECT_EQ(member(member(json, "pixels"), "stateCount"), R"("stateCount":"416")");
  EXPECT_EQ(member(json, "bounds"), R"("bounds":{"pixels":1,"entries":1})");
  // The lines list what the bounds let through and count the rest.
  const std::string lines = member(json, "lines");
  EXPECT_NE(lines.find(R"("entries: 251 more differ, not listed")"), std::string::npos) << lines;
  EXPECT_NE(lines.find(R"("pixels: 415 more differ, not listed")"), std::string::npos) << lines;
  EXPECT_NE(lines.find(R"("pixel (27, 21): skipped by the delta at 6,562 [00 02 12 00] vs )"
                       R"(#FFFFFF (index 251) at 6,465 [FB]")"),
            std::string::npos)
      << lines;
  // Each line that lists a difference names it: the fields, entry 0 and pixel 0; the counts of
  // those not listed, the entries only A has and the summaries name none.
  EXPECT_EQ(member(json, "links"),
            R"("links":[null,{"kind":"field","index":0},{"kind":"field","index":1},)"
            R"({"kind":"field","index":2},{"kind":"field","index":3},{"kind":"field","index":4},)"
            R"({"kind":"entry","index":0},null,null,null,{"kind":"pixel","index":0},null,null])")
      << lines;

  // A pixel an RLE command sets: its value's byte within the command, and the command.
  Bytes rle = suiteFile("pal8rle.bmp");
  // The bottom row, stored first, starts 00 05 00 00 00 06 00 00 04 30: an absolute run of 5
  // and its pad, then an encoded run of 4 pixels of index 30. Another index there changes
  // pixels 5 to 8 of row 63, and none above them.
  rle[1071] = 0x31;
  const std::string changed = answer(suiteFile("g/pal8.bmp"), rle);
  EXPECT_EQ(member(changed, "box"), R"("box":{"left":5,"top":63,"right":8,"bottom":63})");
  const std::string first = member(member(member(changed, "pixels"), "first"), "b");
  EXPECT_NE(first.find(R"("state":0,"stateName":"defined","source":"command",)"
                       R"("offset":"1070","beyondAnyFile":false,)"
                       R"("data":{"offset":"1071","size":1,"shift":0,"bits":8,"bytes":"31",)"
                       R"("missing":0},"command":{"offset":"1070","size":2,)"
                       R"("kind":"encoded-run","name":"encoded run","bytes":null},)"
                       R"("index":49,"entry":{"offset":"250"}})"),
            std::string::npos)
      << first;
}

TEST(CompareAnswers, FieldsAcrossHeaderVersionsAndFieldsOneHeaderLacks) {
  const std::string json = answer(suiteFile("g/pal8v5.bmp"), suiteFile("g/pal8.bmp"));
  EXPECT_NE(json.find(R"({"name":"biSize","nameA":"bV5Size","offsetA":14,"sizeA":4,)"
                      R"("bytesA":"7C 00 00 00","valueA":"124","nameB":"biSize","offsetB":14,)"
                      R"("sizeB":4,"bytesB":"28 00 00 00","valueB":"40"})"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("nameA":"bV5CSType","offsetA":70,"sizeA":4,"bytesA":"42 47 52 73",)"
                      R"("valueA":"sRGB","nameB":null,"offsetB":null,"sizeB":null,)"
                      R"("bytesB":null,"valueB":null})"),
            std::string::npos)
      << json;
  // The other way round, the same field is only in B.
  const std::string swapped = answer(suiteFile("g/pal8.bmp"), suiteFile("g/pal8v5.bmp"));
  EXPECT_NE(swapped.find(R"("nameA":null,"offsetA":null,"sizeA":null,"bytesA":null,)"
                         R"("valueA":null,"nameB":"bV5CSType","offsetB":70,)"),
            std::string::npos)
      << swapped;
  EXPECT_EQ(member(json, "verdict"), R"("verdict":"same-picture")");
}

TEST(CompareAnswers, ACopyCutShortHasItsLastPixelsMissing) {
  // The sample's top row is stored last, at 142: indices 09 0A 0B 0C 0D 0E 0F 00 of a grey
  // table. Cut at 146, pixels 4 to 7 of it are missing.
  const Bytes sample = testing_support::sampleBitmap();
  const Bytes cut(sample.begin(), sample.begin() + 146);
  const std::string json = answer(sample, cut);
  EXPECT_EQ(member(json, "bytes"),
            R"("bytes":{"identical":false,"firstDifference":146,"regionA":"row 0",)"
            R"("regionB":null})");
  EXPECT_EQ(member(member(json, "pixels"), "count"), R"("count":"4")");
  EXPECT_EQ(member(json, "box"), R"("box":{"left":4,"top":0,"right":7,"bottom":0})");
  // Only states differ: no channel is compared.
  EXPECT_EQ(member(json, "largest"), R"("largest":[0,0,0,0])");
  EXPECT_NE(json.find(R"({"x":4,"y":0,"a":{"rgba":[221,221,221,255],"state":0,)"
                      R"("stateName":"defined","source":"stored","offset":"146",)"
                      R"("beyondAnyFile":false,"data":{"offset":"146","size":1,"shift":0,)"
                      R"("bits":8,"bytes":"0D","missing":0},"command":null,"index":13,)"
                      R"("entry":{"offset":"106"}},)"
                      R"("b":{"rgba":[0,0,0,0],"state":2,"stateName":"missing",)"
                      R"("source":"missing","offset":"146","beyondAnyFile":false,)"
                      R"("data":{"offset":"146","size":1,"shift":0,"bits":8,"bytes":"",)"
                      R"("missing":1},"command":null,"index":null,"entry":null}})"),
            std::string::npos)
      << json;
}

TEST(CompareAnswers, FilesThatAreNotBitmapsOrWhosePixelsAreNotDecoded) {
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  const Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
  for (const auto& [a, b, file] :
       {std::tuple<Bytes, Bytes, std::string>{pal8, gif, "b"}, {gif, pal8, "a"}, {gif, gif, "a"}}) {
    const std::string json = answer(a, b);
    EXPECT_EQ(member(json, "trouble"),
              R"("trouble":{"file":")" + file +
                  R"(","reason":"not a BMP file: it does not start with BM"})");
    EXPECT_EQ(member(json, "verdict"), R"("verdict":"different")");
    EXPECT_EQ(member(json, "same"), R"("same":false)");
  }
  EXPECT_EQ(member(answer(pal8, gif), "lines"),
            R"("lines":["B: not a BMP file: it does not start with BM",)"
            R"("verdict: different pictures"])");
  EXPECT_EQ(member(answer(pal8, pal8), "trouble"), R"("trouble":null)");

  // A JPEG against a PNG: neither decoded, each problem named.
  const std::string embedded = answer(suiteFile("q/rgb24jpeg.bmp"), suiteFile("q/rgb24png.bmp"));
  EXPECT_EQ(member(embedded, "compared"), R"("compared":false)");
  EXPECT_EQ(member(embedded, "problemA"), R"("problemA":"an embedded JPEG is named, not decoded")");
  EXPECT_EQ(member(embedded, "problemB"), R"("problemB":"an embedded PNG is named, not decoded")");
  EXPECT_EQ(member(embedded, "sameEmbedded"), R"("sameEmbedded":null)");
  // The same PNG behind another resolution: the same picture, by its bytes.
  Bytes png = suiteFile("q/rgb24png.bmp");
  Bytes other = png;
  putLE(other, 38, 1000, 4);
  const std::string same = answer(png, other);
  EXPECT_EQ(member(same, "sameEmbedded"), R"("sameEmbedded":{"kind":"png","length":")" +
                                              std::to_string(png.size() - 138) + R"("})");
  EXPECT_EQ(member(same, "verdict"), R"("verdict":"same-picture")");

  const std::string itself = answer(pal8, pal8);
  EXPECT_EQ(member(itself, "verdict"), R"("verdict":"identical")");
  EXPECT_EQ(member(itself, "same"), R"("same":true)");
  EXPECT_EQ(member(itself, "bytes"),
            R"("bytes":{"identical":true,"firstDifference":9254,"regionA":null,"regionB":null})");
}

TEST(CompareAnswers, OffsetsPastTwoToThe53AreExactAndPastTwoToThe64BeyondAnyFile) {
  // A: 1 x 1 at 8 bits, BI_RLE8, whose end of bitmap skips its pixel. B: 2^31 - 1 pixels square,
  // bottom-up, its header alone: the top row, (0, 0)'s, is stored last.
  Bytes rle = testing_support::makeBmp(8, 1, 1, {0, 0, 0, 0}, {0x00, 0x01});
  putLE(rle, 30, 1, 4);
  const std::uint64_t side = 2147483647;
  for (const int bits : {24, 64}) {
    Bytes huge = testing_support::makeBmp(static_cast<std::uint16_t>(bits), 1, 1, {}, {});
    putLE(huge, 18, side, 4);
    putLE(huge, 22, side, 4);
    const std::string json = answer(rle, huge);
    EXPECT_EQ(member(json, "sizesDiffer"), R"("sizesDiffer":true)");
    const std::string pixel = member(member(member(json, "pixels"), "first"), "b");
    if (bits == 24) {
      // 6,442,450,944-byte rows: 54 + (2^31 - 2) rows of them, past 2^53 and exact.
      const std::string offset = std::to_string(54 + (side - 1) * 6442450944u);
      EXPECT_EQ(pixel, R"("b":{"rgba":[0,0,0,0],"state":2,"stateName":"missing",)"
                       R"("source":"missing","offset":")" +
                           offset + R"(","beyondAnyFile":false,"data":{"offset":")" + offset +
                           R"(","size":3,"shift":0,"bits":24,"bytes":"","missing":3},)"
                           R"("command":null,"index":null,"entry":null})");
    } else {
      // Rows of 2^34 - 8 bytes: (2^31 - 2) of them pass 2^64.
      EXPECT_EQ(pixel, R"("b":{"rgba":[0,0,0,0],"state":2,"stateName":"missing",)"
                       R"("source":"missing","offset":null,"beyondAnyFile":true,"data":null,)"
                       R"("command":null,"index":null,"entry":null})");
    }
    EXPECT_EQ(member(member(member(json, "pixels"), "first"), "a"),
              R"("a":{"rgba":[0,0,0,0],"state":1,"stateName":"skipped","source":"skipped",)"
              R"("offset":"58","beyondAnyFile":false,"data":null,)"
              R"("command":{"offset":"58","size":2,"kind":"end-of-bitmap",)"
              R"("name":"end of bitmap","bytes":"00 01"},"index":null,"entry":null})");
    EXPECT_EQ(member(json, "area"), R"("area":"1")");
  }
}

}  // namespace
