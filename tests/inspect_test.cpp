// The inspector's answers on small crafted files, against exact values: the describe answer,
// pixels at 64-bit offsets and past the end of a file cut short, what each kind of byte is,
// places, table entries and excerpts of the report.
#include "app/inspect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "bitmap/source.h"
#include "report/locate.h"
#include "tests/support/bmp_writer.h"

namespace {

using testing_support::makeBmp;
using testing_support::putLE;

app::Inspection inspect(const std::vector<std::uint8_t>& file, const std::string& name = "t.bmp") {
  return {file.data(), std::min(file.size(), bitmap::kHeadBytes), file.size(), name};
}

// The raw JSON value of the first member called name: a number, a string with its quotes, or a
// whole object or array.
std::string member(const std::string& json, const std::string& name) {
  const std::size_t at = json.find("\"" + name + "\":");
  if (at == std::string::npos) return "(none)";
  const std::size_t from = at + name.size() + 3;
  std::size_t end = from;
  int depth = 0;
  bool quoted = false;
  for (; end < json.size(); ++end) {
    const char c = json[end];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '{' || c == '[') ++depth;
    if ((c == '}' || c == ']') && depth-- == 0) break;
    if (c == ',' && depth == 0) break;
  }
  return json.substr(from, end - from);
}

// A 32-bit header with these dimensions and no pixels: offsets far past any file.
std::vector<std::uint8_t> huge32(std::int32_t width, std::int32_t height) {
  return makeBmp(32, width, height, {}, {});
}

TEST(Inspector, DescribesTheSampleExactly) {
  EXPECT_EQ(
      inspect(testing_support::sampleBitmap(), "sample.bmp").describe(),
      R"({"fileLength":"150","magic":"42 4D 96 00 00 00 00 00","looksLike":null,"refused":false,)"
      R"("report":{"lastLine":56,"length":"1947"},"layout":{"width":8,"height":4,"bits":8,)"
      R"("topDown":false,"compressed":false,"fixedOffsets":true,"start":"118","rowBytes":"8",)"
      R"("end":"150"},"headerLine":8,"fields":[{"name":"bfType","offset":"0","width":2,"line":9},)"
      R"({"name":"bfSize","offset":"2","width":4,"line":10},)"
      R"({"name":"bfReserved1","offset":"6","width":2,"line":0},)"
      R"({"name":"bfReserved2","offset":"8","width":2,"line":0},)"
      R"({"name":"bfOffBits","offset":"10","width":4,"line":11},)"
      R"({"name":"biSize","offset":"14","width":4,"line":14},)"
      R"({"name":"biWidth","offset":"18","width":4,"line":15},)"
      R"({"name":"biHeight","offset":"22","width":4,"line":16},)"
      R"({"name":"biPlanes","offset":"26","width":2,"line":17},)"
      R"({"name":"biBitCount","offset":"28","width":2,"line":18},)"
      R"({"name":"biCompression","offset":"30","width":4,"line":19},)"
      R"({"name":"biSizeImage","offset":"34","width":4,"line":20},)"
      R"({"name":"biXPelsPerMeter","offset":"38","width":4,"line":21},)"
      R"({"name":"biYPelsPerMeter","offset":"42","width":4,"line":22},)"
      R"({"name":"biClrUsed","offset":"46","width":4,"line":23},)"
      R"({"name":"biClrImportant","offset":"50","width":4,"line":24}],)"
      R"("table":{"listed":true,"offset":"54","count":"16","rows":"16","titleLine":26,)"
      R"("firstLine":28,"lastLine":43},"dumps":[{"title":"Bitmap Data[Indexed data]",)"
      R"("kind":"hex","titleLine":45,"firstLine":46,"lastLine":49,"itemChars":3,"itemBytes":1,)"
      R"("start":"118","count":"32","rowLength":"8","rowPad":"0","printed":"32",)"
      R"("stopped":false,"rows":4,"pastEnd":null},{"title":"Bitmap Data[RGB translated]",)"
      R"("kind":"colour","titleLine":52,"firstLine":53,"lastLine":56,"itemChars":9,)"
      R"("itemBytes":1,"start":"118","count":"32","rowLength":"8","rowPad":"0",)"
      R"("printed":"32","stopped":false,"rows":4,"pastEnd":null}]})");
}

// A refused file's first bytes are named when they start a common format (the report's lines
// and length, refused or not, are the map's, which the fuzz target checks on every input).
TEST(Inspector, DescribesRefusedFilesByTheirFirstBytes) {
  const auto bytes = [](std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  struct Case {
    std::vector<std::uint8_t> file;
    std::string magic;
    std::string looksLike;
  };
  const Case cases[] = {
      {bytes({"\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16}), "\"89 50 4E 47 0D 0A 1A 0A\"", "\"PNG\""},
      {bytes("\xff\xd8\xff\xe0\0\x10JFIF"), "\"FF D8 FF E0\"", "\"JPEG\""},
      {bytes("GIF87a\x01\0"), "\"47 49 46 38 37 61 01\"", "\"GIF\""},
      {bytes("GIF89a"), "\"47 49 46 38 39 61\"", "\"GIF\""},
      {bytes({"II*\0\x08\0\0\0", 8}), "\"49 49 2A 00 08 00 00 00\"", "\"TIFF\""},
      {bytes({"MM\0*", 4}), "\"4D 4D 00 2A\"", "\"TIFF\""},
      {bytes({"\0\0\1\0\1\0", 6}), "\"00 00 01 00 01 00\"", "\"ICO\""},
      {bytes({"\0\0\2\0\1\0", 6}), "\"00 00 02 00 01 00\"", "\"CUR\""},
      {bytes("BA\x5c\0"), "\"42 41 5C\"", "\"OS/2 bitmap array\""},
      // Near misses and files too short to say.
      {bytes("GIF88a"), "\"47 49 46 38 38 61\"", "null"},
      {bytes({"\x89PNG\r\n\x1a", 7}), "\"89 50 4E 47 0D 0A 1A\"", "null"},
      {bytes({"\0\0\3\0", 4}), "\"00 00 03 00\"", "null"},
      {bytes("B"), "\"42\"", "null"},
      {{}, "\"\"", "null"},
      // A bitmap is not refused, whatever follows "BM".
      {bytes("BMGIF89a"), "\"42 4D 47 49 46 38 39 61\"", "null"},
  };
  for (const Case& c : cases) {
    const std::string json = inspect(c.file, "x.bmp").describe();
    EXPECT_EQ(member(json, "magic"), c.magic);
    EXPECT_EQ(member(json, "looksLike"), c.looksLike) << c.magic;
    const bool refused = c.file.size() < 2 || c.file[0] != 'B' || c.file[1] != 'M';
    EXPECT_EQ(member(json, "refused"), refused ? "true" : "false") << c.magic;
    if (refused) {
      EXPECT_EQ(member(json, "dumps"), "[]");
      EXPECT_EQ(member(json, "headerLine"), "0");
      EXPECT_EQ(member(member(json, "fields"), "line"), "0");
      EXPECT_EQ(member(json, "listed"), "false");
      EXPECT_EQ(inspect(c.file).place(8, 0), R"({"line":8,"column":0,"kind":"nothing"})");
    }
  }
}

// Pixel offsets in 64 bits: exact past 2^53, and said to lie beyond any file rather than
// wrapped when they would pass 2^64 - 1.
TEST(Inspector, PixelOffsetsAreExactInSixtyFourBitsOrBeyondAnyFile) {
  // (2^31 - 1) x (2^31 - 1), bottom-up: the top row is stored last.
  const app::Inspection wide = inspect(huge32(0x7fffffff, 0x7fffffff));
  EXPECT_EQ(wide.pixel(0, 0),
            R"({"x":0,"y":0,"fixedOffsets":true,"offset":"18446744047939747902","count":4,)"
            R"("shift":0,"bits":32,"missing":4,"row":2147483646,"inRow":"0","bytes":[{)"
            R"("offset":"18446744047939747902","dumps":[]},{"offset":"18446744047939747903",)"
            R"("dumps":[]},{"offset":"18446744047939747904","dumps":[]},{)"
            R"("offset":"18446744047939747905","dumps":[]}]})");
  EXPECT_EQ(member(wide.pixel(0, 0x7ffffffe), "offset"), "\"54\"");
  // Its rows end at 2^64 - 2^34 + 58, just within 64 bits.
  EXPECT_EQ(member(wide.describe(), "end"), "\"18446744056529682490\"");

  // -2^31 x -2^31, top-down: pixel (2^31 - 1, 2^31 - 1) would end at 2^64 + 53.
  const app::Inspection most = inspect(huge32(INT32_MIN, INT32_MIN));
  EXPECT_EQ(member(most.describe(), "layout"),
            R"({"width":2147483648,"height":2147483648,"bits":32,"topDown":true,)"
            R"("compressed":false,"fixedOffsets":true,"start":"54","rowBytes":"8589934592",)"
            R"("end":null})");
  EXPECT_EQ(most.pixel(0x7fffffff, 0x7fffffff),
            R"({"x":2147483647,"y":2147483647,"fixedOffsets":true,"beyondAnyFile":true,)"
            R"("count":4,"shift":0,"bits":32,"missing":4,"row":2147483647,)"
            R"("inRow":"8589934588","bytes":[]})");
  EXPECT_EQ(member(most.pixel(0, 0x7fffffff), "offset"), "\"18446744065119617078\"");
  EXPECT_EQ(member(most.pixel(0x7fffffff, 0), "offset"), "\"8589934642\"");
  // The last byte a file could have is still a pixel's, whose other bytes pass it: that pixel
  // is beyond any file. The next byte is too.
  EXPECT_EQ(member(most.pixel(2147483634, 0x7fffffff), "beyondAnyFile"), "true");
  EXPECT_EQ(member(most.byte("18446744073709551615"), "what"),
            R"({"kind":"pixel","x":2147483634,"y":2147483647,"count":1,"inPixel":1})");
  EXPECT_EQ(most.byte("18446744073709551616"),
            R"({"offset":"18446744073709551616","beyondAnyFile":true})");
  EXPECT_EQ(most.byte("000018446744073709551616"),
            R"({"offset":"18446744073709551616","beyondAnyFile":true})");

  // Refused: outside the picture, on each side.
  const std::string refused =
      R"({"refused":"x and y must be whole numbers within the picture's width and height"})";
  const app::Inspection sample = inspect(testing_support::sampleBitmap());
  EXPECT_EQ(sample.pixel(8, 0), refused);
  EXPECT_EQ(sample.pixel(0, 4), refused);
  EXPECT_EQ(member(sample.pixel(7, 3), "offset"), "\"125\"");
  EXPECT_EQ(most.pixel(0x80000000, 0), refused);
  for (const std::string offset : {"", "-1", "0x10", "12a", " 12", "1.5"}) {
    EXPECT_EQ(sample.byte(offset), R"({"refused":"the offset must be a decimal number"})")
        << offset;
  }
}

// A file cut short: each pixel says how many of its own bytes are missing, and the dumps' items
// past the end are known, from the first on, in describe, in places and in bytes.
TEST(Inspector, FilesCutShortSayWhatIsMissing) {
  // 7 x 5 at 8 bits: rows of 8 bytes, the top row stored last; 20 of its 40 bytes cut off.
  // biClrImportant: a table of 4 entries, on lines 28 to 31.
  std::vector<std::uint8_t> indexed =
      putLE(makeBmp(8, 7, 5, std::vector<std::uint8_t>(16, 0x40), std::vector<std::uint8_t>(40, 1)),
            {{50, 4, 4}});
  const std::size_t start = indexed.size() - 40;
  indexed.resize(indexed.size() - 20);
  const app::Inspection cut = inspect(indexed);
  // 35 items in rows of 7, one byte skipped at each break, the rows on lines 34 to 38 and 42
  // to 46: items 14 to 17 read the file's last 4 bytes, item 18 is the first whose byte is gone.
  const std::string dumps = member(cut.describe(), "dumps");
  EXPECT_EQ(member(dumps, "pastEnd"), R"({"index":"18","line":36,"column":13})");
  EXPECT_EQ(member(dumps.substr(dumps.find("RGB")), "pastEnd"),
            R"({"index":"18","line":44,"column":37})");
  EXPECT_EQ(member(cut.place(36, 13), "place"),
            R"({"dump":0,"title":"Bitmap Data[Indexed data]","index":"18","line":36,)"
            R"("column":13,"chars":3,"bytes":1,"rowNumber":3,"inRow":"4",)" +
                std::string(R"("offset":")") + std::to_string(start + 20) + R"(","pastEnd":true})");
  EXPECT_EQ(member(cut.place(36, 12), "pastEnd"), "false");  // item 17's last character
  EXPECT_EQ(member(cut.place(36, 12), "index"), "\"17\"");
  const std::string past = cut.byte(std::to_string(start + 20));
  EXPECT_EQ(member(past, "inFile"), "false");
  EXPECT_EQ(member(past, "what"), R"({"kind":"pixel","x":4,"y":2,"count":1,"inPixel":0})");
  EXPECT_EQ(member(past, "pastEnd"), "true");
  EXPECT_EQ(member(cut.byte(std::to_string(start + 19)), "pastEnd"), "false");

  // 2 x 1 at 24 bits with one byte of its second pixel in the file: two of them missing.
  std::vector<std::uint8_t> triples = makeBmp(24, 2, 1, {}, {1, 2, 3, 4, 5, 6, 0, 0});
  triples.resize(54 + 4);
  const app::Inspection partial = inspect(triples);
  EXPECT_EQ(member(partial.pixel(1, 0), "missing"), "2");
  EXPECT_EQ(member(partial.pixel(0, 0), "missing"), "0");
  EXPECT_EQ(member(partial.describe(), "pastEnd"), R"({"index":"1","line":27,"column":15})");
  EXPECT_EQ(member(partial.place(27, 15), "pastEnd"), "true");
  EXPECT_EQ(member(partial.place(27, 14), "pastEnd"), "false");
  // Whole: no item past the end.
  EXPECT_EQ(member(inspect(makeBmp(24, 2, 1, {}, {1, 2, 3, 4, 5, 6, 0, 0})).describe(), "pastEnd"),
            "null");
}

// What a byte is, by the format's layout, for each kind: a 4-bit 5 x 3 picture with a
// 16-entry table, 4 bytes between the table and the pixels, and 2 after them.
TEST(Inspector, EveryKindOfByteIsNamed) {
  std::vector<std::uint8_t> pixels(4 + 12 + 2, 0x12);
  // bfOffBits past the 4 bytes of gap.
  const std::vector<std::uint8_t> file =
      putLE(makeBmp(4, 5, 3, std::vector<std::uint8_t>(64, 7), pixels), {{10, 122, 4}});
  const app::Inspection in = inspect(file);
  const std::pair<const char*, const char*> expected[] = {
      {"0", R"({"kind":"field","name":"bfType","offset":"0","width":2,"line":9})"},
      {"7", R"({"kind":"field","name":"bfReserved1","offset":"6","width":2,"line":0})"},
      {"53", R"({"kind":"field","name":"biClrImportant","offset":"50","width":4,"line":24})"},
      {"54", R"({"kind":"entry","index":"0","offset":"54","line":28})"},
      {"117", R"({"kind":"entry","index":"15","offset":"114","line":43})"},
      {"118", R"({"kind":"gap"})"},
      {"121", R"({"kind":"gap"})"},
      // Rows of 3 bytes of pixels and 1 of padding, bottom-up: the first is y = 2.
      {"122", R"({"kind":"pixel","x":0,"y":2,"count":2,"inPixel":0})"},
      {"124", R"({"kind":"pixel","x":4,"y":2,"count":1,"inPixel":0})"},
      {"125", R"({"kind":"padding","row":0,"y":2})"},
      {"132", R"({"kind":"pixel","x":4,"y":0,"count":1,"inPixel":0})"},
      {"133", R"({"kind":"padding","row":2,"y":0})"},
      {"134", R"({"kind":"past-pixels"})"},
      {"135", R"({"kind":"past-pixels"})"},
      {"136", R"({"kind":"past-file"})"},
      {"99999999", R"({"kind":"past-file"})"},
  };
  for (const auto& [offset, what] : expected) {
    const std::string json = in.byte(offset);
    EXPECT_EQ(member(json, "what"), what) << offset;
    EXPECT_EQ(member(json, "inFile"), std::stoull(offset) < file.size() ? "true" : "false");
  }

  // Pixels before table entries: an 8-bit table sized by biClrImportant = 0 runs to 256
  // entries, over the pixels of a file whose table holds 4.
  const app::Inspection overlap =
      inspect(makeBmp(8, 4, 1, std::vector<std::uint8_t>(16, 0), {1, 2, 3, 4}));
  EXPECT_EQ(member(overlap.byte("70"), "what"),
            R"({"kind":"pixel","x":0,"y":0,"count":1,"inPixel":0})");
  EXPECT_EQ(member(overlap.byte("69"), "what"),
            R"({"kind":"entry","index":"3","offset":"66","line":31})");
  EXPECT_EQ(member(overlap.byte("74"), "what"),
            R"({"kind":"entry","index":"5","offset":"74","line":33})");

  // Bit fields and alpha bit fields keep fixed offsets; RLE's do not.
  for (const std::uint32_t compression : {0u, 3u, 6u, 1u, 2u, 4u}) {
    const std::vector<std::uint8_t> bits32 =
        testing_support::infoFile(32, 2, 2, compression, {}, std::vector<std::uint8_t>(16, 9));
    const bool fixed = compression == 0 || compression == 3 || compression == 6;
    const app::Inspection packed = inspect(bits32);
    EXPECT_EQ(member(packed.byte("58"), "what"),
              fixed ? R"({"kind":"pixel","x":1,"y":1,"count":1,"inPixel":0})"
                    : R"({"kind":"pixel-data"})")
        << compression;
    EXPECT_EQ(member(packed.pixel(1, 1), "fixedOffsets"), fixed ? "true" : "false");
  }
}

// A byte a row break skips is padding only while the walk goes on past that row; after the
// dump's last item it is past its count, whether that item ends a row or not.
TEST(Inspector, DumpsSkipPaddingOnlyBetweenTheirRows) {
  // 3 x 2 at 8 bits: rows of 3 items, 1 byte skipped at each break, 6 items from 58.
  const std::vector<std::uint8_t> file =
      putLE(makeBmp(8, 3, 2, {0, 0, 0, 0}, {1, 2, 3, 0, 4, 5, 6, 0}), {{50, 1, 4}});
  const auto why = [](const app::Inspection& in, std::uint64_t offset, std::size_t dump) {
    const std::string dumps = member(in.byte(std::to_string(offset)), "dumps");
    return member(dumps.substr(dumps.find("\"dump\":" + std::to_string(dump))), "why");
  };
  // bfSize as is, 3 bytes short (3 items, one row: the byte after it is past the count) and 1
  // byte short (5 items, the last row cut after its second).
  const std::tuple<std::size_t, std::uint64_t, const char*> rows[] = {
      {0, 60, "printed"},      {0, 61, "padding"}, {0, 62, "printed"},    {0, 65, "past-count"},
      {0, 57, "before-start"}, {3, 60, "printed"}, {3, 61, "past-count"}, {3, 62, "past-count"},
      {1, 61, "padding"},      {1, 63, "printed"}, {1, 64, "past-count"}, {1, 65, "past-count"}};
  for (const auto& [shorter, offset, expected] : rows) {
    const std::vector<std::uint8_t> sized = putLE(file, {{2, file.size() - shorter, 4}});
    for (const std::size_t dump : {std::size_t{0}, std::size_t{1}}) {
      EXPECT_EQ(why(inspect(sized), offset, dump), "\"" + std::string(expected) + "\"")
          << shorter << " short, byte " << offset << ", dump " << dump;
    }
  }
}

// The report's excerpts: lines at the exact edge of before and after are in, one byte more
// is out; excerpts that meet are one; lines come in any order.
TEST(Inspector, ExcerptsKeepLinesAtTheirEdgesAndJoinWhereTheyMeet) {
  const std::vector<std::uint8_t> sample = testing_support::sampleBitmap();
  const app::Inspection in = inspect(sample);
  const report::ReportMap& map = in.map();
  const auto start = [&](std::uint64_t line) { return report::lineStart(map, line); };
  const auto one = [&](std::vector<std::uint64_t> lines, std::uint64_t before,
                       std::uint64_t after) {
    const auto excerpts = report::lineExcerpts(map, std::move(lines), before, after);
    EXPECT_EQ(excerpts.size(), 1u);
    return excerpts.empty() ? report::LineExcerpt{} : excerpts[0];
  };
  const std::uint64_t line = 30;
  // Line 29 starts exactly before bytes before line 30; one byte fewer leaves it out.
  EXPECT_EQ(one({line}, start(line) - start(line - 1), 0).firstLine, line - 1);
  EXPECT_EQ(one({line}, start(line) - start(line - 1) - 1, 0).firstLine, line);
  EXPECT_EQ(one({line}, 0, 0).from, start(line));
  // Line 31 ends exactly after bytes after line 30's end; one byte fewer leaves it out.
  EXPECT_EQ(one({line}, 0, start(line + 2) - start(line + 1)).to, start(line + 2));
  EXPECT_EQ(one({line}, 0, start(line + 2) - start(line + 1) - 1).to, start(line + 1));
  // Lines 30 and 31 alone meet: one excerpt. Lines 30 and 32 do not.
  EXPECT_EQ(one({line + 1, line}, 0, 0).to, start(line + 2));
  EXPECT_EQ(report::lineExcerpts(map, {line, line + 2}, 0, 0).size(), 2u);
  // Any order, repeats, lines past the report: the same excerpts in the report's order.
  const auto sorted = report::lineExcerpts(map, {5, 30, 50}, 10, 10);
  const auto shuffled = report::lineExcerpts(map, {50, 0, 5, 57, 30, 5}, 10, 10);
  ASSERT_EQ(sorted.size(), 3u);
  ASSERT_EQ(shuffled.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(shuffled[i].firstLine, sorted[i].firstLine);
    EXPECT_EQ(shuffled[i].to, sorted[i].to);
  }
  // At the report's end: the last line ends exactly after bytes after line 55.
  EXPECT_EQ(one({55}, 0, map.reportBytes - start(56)).to, map.reportBytes);
  EXPECT_EQ(one({55}, 0, map.reportBytes - start(56) - 1).to, start(56));
  // Rows 1 and 2 of the first dump, 31 bytes each.
  EXPECT_EQ(in.excerpts({47, 46}, 0, 0), R"([{"firstLine":46,"from":"1463","to":"1525"}])");
}

// Table entries: where each lies and the line that lists it, on each side of the count.
TEST(Inspector, TableEntriesSayWhereTheyLieAndWhichLineListsThem) {
  const app::Inspection in = inspect(testing_support::sampleBitmap());
  EXPECT_EQ(in.entry(3), R"({"index":"3","offset":"66","line":31,"inTable":true})");
  EXPECT_EQ(in.entry(15), R"({"index":"15","offset":"114","line":43,"inTable":true})");
  EXPECT_EQ(in.entry(16), R"({"index":"16","offset":"118","line":0,"inTable":false})");
  EXPECT_EQ(in.entry(UINT32_MAX),
            R"({"index":"4294967295","offset":"17179869234","line":0,"inTable":false})");
  EXPECT_EQ(in.entry(std::uint64_t{UINT32_MAX} + 1),
            R"({"refused":"the index must be a whole number under 2^32"})");
  EXPECT_EQ(in.place(31, 2), R"({"line":31,"column":2,"kind":"entry","index":"3","offset":"66"})");
  EXPECT_EQ(member(inspect(makeBmp(24, 1, 1, {}, {0, 0, 0, 0})).entry(0), "inTable"), "false");
}

}  // namespace
