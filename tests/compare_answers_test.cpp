// The comparison's answer as JSON, where the JSON adds to the comparison: one whole answer
// exactly, the shapes of pixels and entries (skipped, set by an RLE command, stored, missing,
// beyond any file), links and bounds, nulls and reasons for what a file lacks or is not, and
// counts and offsets past 2^53 as strings.
#include "app/compare_answers.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include "tests/support/plain_comparison.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::putLE;

Bytes suiteFile(const std::string& name) {
  std::ifstream in(std::filesystem::u8path(testing_support::testDataPath("bmpsuite/" + name)),
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string answer(const Bytes& a, const Bytes& b, const compare::Bounds& bounds = {}) {
  return app::comparisonAnswer(testing_support::compareBytes(a, b, bounds), bounds);
}

// The text of the first member called name in json, at any depth: from its quote to the end of
// its value, which is an object, an array or a plain value; "" when json has no such member.
std::string memberOf(const std::string& json, const std::string& name) {
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

// The member at a path of names, each looked for within the one before: "pixels/first".
std::string member(std::string json, const std::string& path) {
  for (std::size_t from = 0; from <= path.size();) {
    const std::size_t slash = std::min(path.find('/', from), path.size());
    json = memberOf(json, path.substr(from, slash - from));
    from = slash + 1;
  }
  return json;
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
      R"("table":{"count":"0","entries":[],"only":null},"profile":null,)"
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
  EXPECT_EQ(member(json, "pixels/first"),
            R"("first":[{"x":27,"y":21,"a":{"rgba":[0,0,0,0],"state":1,"stateName":"skipped",)"
            R"("source":"skipped","offset":"6562","beyondAnyFile":false,"data":null,)"
            R"("command":{"offset":"6562","size":4,"kind":"delta","name":"delta",)"
            R"("bytes":"00 02 12 00"},"index":null,"entry":null},)"
            R"("b":{"rgba":[255,255,255,255],"state":0,"stateName":"defined","source":"stored",)"
            R"("offset":"6465","beyondAnyFile":false,)"
            R"("data":{"offset":"6465","size":1,"shift":0,"bits":8,"bytes":"FB","missing":0},)"
            R"("command":null,"index":251,"entry":{"offset":"1058"}}}])");
  EXPECT_EQ(member(json, "pixels/count"), R"("count":"416")");
  EXPECT_EQ(member(json, "pixels/stateCount"), R"("stateCount":"416")");
  EXPECT_EQ(member(json, "bounds"), R"("bounds":{"pixels":1,"entries":1})");
  // Each line that lists a difference names it: the fields, entry 0 and pixel 0; the counts of
  // those not listed, the entries only A has and the summaries name none.
  EXPECT_EQ(member(json, "links"),
            R"("links":[null,{"kind":"field","index":0},{"kind":"field","index":1},)"
            R"({"kind":"field","index":2},{"kind":"field","index":3},{"kind":"field","index":4},)"
            R"({"kind":"entry","index":0},null,null,null,{"kind":"pixel","index":0},null,null])")
      << member(json, "lines");

  // A pixel an RLE command sets: its value's byte within the command, and the command.
  Bytes rle = suiteFile("pal8rle.bmp");
  // The bottom row, stored first, starts 00 05 00 00 00 06 00 00 04 30: an absolute run of 5
  // and its pad, then an encoded run of 4 pixels of index 30. Another index there changes
  // pixels 5 to 8 of row 63.
  rle[1071] = 0x31;
  const std::string changed = answer(suiteFile("g/pal8.bmp"), rle);
  const std::string first = member(changed, "pixels/first/b");
  EXPECT_NE(first.find(R"("state":0,"stateName":"defined","source":"command",)"
                       R"("offset":"1070","beyondAnyFile":false,)"
                       R"("data":{"offset":"1071","size":1,"shift":0,"bits":8,"bytes":"31",)"
                       R"("missing":0},"command":{"offset":"1070","size":2,)"
                       R"("kind":"encoded-run","name":"encoded run","bytes":null},)"
                       R"("index":49,"entry":{"offset":"250"}})"),
            std::string::npos)
      << first;
}

// Members by path ("pixels/first"): what one file or both lack is null, or says why.
TEST(CompareAnswers, MembersForFilesOfEveryKind) {
  const Bytes pal8 = suiteFile("g/pal8.bmp");
  const Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
  const Bytes prof = suiteFile("q/rgb24prof.bmp");
  const Bytes png = suiteFile("q/rgb24png.bmp");
  Bytes resolution = png;
  putLE(resolution, 38, 1000, 4);
  const std::string notBm = R"(","reason":"not a BMP file: it does not start with BM"})";
  // One byte of rgb24prof.bmp's ICC profile (3,048 bytes at 24,734), 200 bytes in.
  Bytes profile = prof;
  profile[24934] = 0x5A;
  const struct {
    Bytes a;
    Bytes b;
    const char* path;
    std::string member;
  } rows[] = {
      {pal8, gif, "trouble", R"("trouble":{"file":"b)" + notBm},
      {gif, pal8, "trouble", R"("trouble":{"file":"a)" + notBm},
      {gif, gif, "trouble", R"("trouble":{"file":"a)" + notBm},
      {{'B'}, pal8, "trouble", R"("trouble":{"file":"a)" + notBm},
      {pal8, {}, "trouble", R"("trouble":{"file":"b","reason":"not a BMP file: it is empty"})"},
      {pal8, gif, "verdict", R"("verdict":"different")"},
      {pal8, pal8, "trouble", R"("trouble":null)"},
      {pal8, pal8, "verdict", R"("verdict":"identical")"},
      {pal8, pal8, "same", R"("same":true)"},
      {pal8, pal8, "bytes",
       R"("bytes":{"identical":true,"firstDifference":9254,"regionA":null,"regionB":null})"},
      {suiteFile("q/rgb24jpeg.bmp"), png, "pixels",
       R"("pixels":{"compared":false,"problemA":"an embedded JPEG is named, not decoded",)"
       R"("problemB":"an embedded PNG is named, not decoded","sameEmbedded":null,"width":0,)"
       R"("height":0,"area":"0","count":"0","stateCount":"0","box":null,"largest":[0,0,0,0],)"
       R"("first":[]})"},
      {png, resolution, "pixels/sameEmbedded", R"("sameEmbedded":{"kind":"png","length":"1072"})"},
      {prof, profile, "profile",
       R"("profile":{"firstDifference":200,)"
       R"("a":{"kind":"embedded","offset":"24734","size":3048,"at":"24934","bytes":"00 00 08 0C"},)"
       R"("b":{"kind":"embedded","offset":"24734","size":3048,"at":"24934","bytes":"5A 00 08 0C"}})"},
      // Embedded against linked (19 bytes at 24,724), and against none: no byte compared.
      {prof, suiteFile("q/rgb24lprof.bmp"), "profile",
       R"("profile":{"firstDifference":null,)"
       R"("a":{"kind":"embedded","offset":"24734","size":3048,"at":null,"bytes":""},)"
       R"("b":{"kind":"linked","offset":"24724","size":19,"at":null,"bytes":""}})"},
      {suiteFile("rgb24.bmp"), prof, "profile",
       R"("profile":{"firstDifference":null,"a":null,)"
       R"("b":{"kind":"embedded","offset":"24734","size":3048,"at":null,"bytes":""}})"},
  };
  for (const auto& row : rows) {
    const std::string json = answer(row.a, row.b);
    EXPECT_EQ(member(json, row.path), row.member) << row.path << "\n" << json;
  }
  // Fields across header versions: the name they share and each side's, or nulls for a side
  // whose header lacks the field.
  const std::string fields = member(answer(pal8, suiteFile("g/pal8v5.bmp")), "fields");
  EXPECT_NE(fields.find(R"({"name":"biSize","nameA":"biSize","offsetA":14,"sizeA":4,)"
                        R"("bytesA":"28 00 00 00","valueA":"40","nameB":"bV5Size","offsetB":14,)"
                        R"("sizeB":4,"bytesB":"7C 00 00 00","valueB":"124"})"),
            std::string::npos)
      << fields;
  EXPECT_NE(fields.find(R"({"name":"bV4CSType","nameA":null,"offsetA":null,"sizeA":null,)"
                        R"("bytesA":null,"valueA":null,"nameB":"bV5CSType","offsetB":70,"sizeB":4,)"
                        R"("bytesB":"42 47 52 73","valueB":"sRGB"})"),
            std::string::npos)
      << fields;
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
    const std::string pixel = member(json, "pixels/first/b");
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
    EXPECT_EQ(member(json, "pixels/first/a"),
              R"("a":{"rgba":[0,0,0,0],"state":1,"stateName":"skipped","source":"skipped",)"
              R"("offset":"58","beyondAnyFile":false,"data":null,)"
              R"("command":{"offset":"58","size":2,"kind":"end-of-bitmap",)"
              R"("name":"end of bitmap","bytes":"00 01"},"index":null,"entry":null})");
    EXPECT_EQ(member(json, "area"), R"("area":"1")");
  }
}

}  // namespace
