// Whole runs compared with exact expected text. Each file in data/cases/ holds a crafted input
// (annotated hex) or names a real file, then "@@ exit <status>" and the report after the banner.
// data/header-notes.txt lists header changes with the report line each must produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "bitmap/records.h"
#include "bitmap/source.h"
#include "report/locate.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/harness.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readText;
using testing_support::testDataPath;

struct Case {
  std::vector<std::uint8_t> input;
  int status = 0;
  std::string expected;
};

// Input lines: hex bytes, "@fill <size> <byte>" (pad the input to size with byte) or
// "@file <name>" (a test data file); "#" starts a comment.
Case loadCase(const std::string& path) {
  const std::string text = readText(path);
  const std::size_t marker = text.find("\n@@ exit ");
  const std::size_t body = text.find('\n', marker + 1) + 1;
  Case c;
  c.status = std::stoi(text.substr(marker + 9, body - marker - 10));
  c.expected = text.substr(body);
  std::istringstream lines(text.substr(0, marker));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string word;
    while (words >> word) {
      if (word == "@file") {
        words >> word;
        const std::string file = readText(testDataPath(word));
        c.input.assign(file.begin(), file.end());
      } else if (word == "@fill") {
        std::size_t size = 0;
        words >> size >> word;
        c.input.resize(size, static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
      } else {
        c.input.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
      }
    }
  }
  return c;
}

class Golden : public ::testing::TestWithParam<std::string> {};

// A view filled five bytes past each position the run waits at, as the page fills the bytes of
// a file while the run reads them.
std::size_t viewSize = 0;
std::size_t fiveMore(std::uint64_t position) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(viewSize, position + 5));
}

// Read as the tool reads files, in blocks of 7 bytes, so that items, table entries and header
// fields fall across block edges, and from memory as the page and the Node package read it:
// bytes held whole, and bytes that arrive while the run reads them.
TEST_P(Golden, ReportIsExactlyAsExpected) {
  const Case c = loadCase(testDataPath("cases/" + GetParam() + ".case"));
  for (const std::size_t blockSize : {std::size_t{0}, std::size_t{7}}) {
    const auto result = testing_support::runOn(c.input, blockSize);
    EXPECT_EQ(result.status, c.status) << "blocks of " << blockSize;
    EXPECT_EQ(result.body(), c.expected) << "blocks of " << blockSize;
  }
  for (const bool filling : {false, true}) {
    bitmap::Source view;
    viewSize = c.input.size();
    if (filling)
      view.openFillingView(c.input.data(), c.input.size(), 0, fiveMore);
    else
      view.openView(c.input.data(), c.input.size());
    const auto result = testing_support::runSource(view, "view.bmp");
    EXPECT_EQ(result.status, c.status) << (filling ? "filling view" : "view");
    EXPECT_EQ(result.body(), c.expected) << (filling ? "filling view" : "view");
  }
}

// The text an item of kind prints for the bytes of file at offset; empty when its bytes are not
// all in the file (a cut item keeps bytes of the one before).
std::string itemText(report::ItemKind kind, const std::vector<std::uint8_t>& file,
                     std::uint64_t offset, std::uint64_t tableCount) {
  const auto byte = [&](std::uint64_t at) { return file[static_cast<std::size_t>(at)]; };
  char text[32] = {};
  switch (kind) {
    case report::ItemKind::kHex:
      std::snprintf(text, sizeof text, "%02X ", byte(offset));
      break;
    case report::ItemKind::kBitPicture:
      for (int bit = 0; bit < 8; ++bit) text[bit] = (byte(offset) >> bit & 1) != 0 ? '8' : ' ';
      break;
    case report::ItemKind::kTranslated: {
      const std::uint64_t entry = 54 + 4 * std::uint64_t{byte(offset)};
      const auto component = [&](std::uint64_t at) { return at < file.size() ? byte(at) : 0; };
      if (byte(offset) >= std::min<std::uint64_t>(tableCount, 256)) {
        std::snprintf(text, sizeof text, "0x------ ");
      } else {
        std::snprintf(text, sizeof text, "0x%02X%02X%02X ", component(entry + 2),
                      component(entry + 1), component(entry));
      }
      break;
    }
    case report::ItemKind::kTriple:
      if (offset + 3 > file.size()) return {};
      std::snprintf(text, sizeof text, "(%3d.%3d.%3d) ", byte(offset + 2), byte(offset + 1),
                    byte(offset));
      break;
  }
  return text;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The report's map names, for every byte of each case's pixel data, the line and column where
// the item that reads it prints, and that text is the item's; the header fields' and table
// entries' lines hold their labels, and each place leads back to its item. With file names of
// one line and of two.
TEST_P(Golden, EveryByteIsFoundWhereTheReportPrintsIt) {
  const Case c = loadCase(testDataPath("cases/" + GetParam() + ".case"));
  const auto [file, info] = bitmap::decodeHeaders(c.input.data(), c.input.size());
  for (const std::string name : {"view.bmp", "two\nlines.bmp"}) {
    bitmap::Source view;
    view.openView(c.input.data(), c.input.size());
    const std::string text = testing_support::runSource(view, name).text;
    const std::vector<std::string> lines = linesOf(text);
    const report::ReportMap map = report::mapReport(file, info, c.input.size(), name);
    if (c.status != 0) {
      // Refused: the banner and one line, which the map counts, and no sections.
      EXPECT_TRUE(map.refused);
      EXPECT_EQ(map.lastLine, lines.size());
      EXPECT_EQ(map.reportBytes, text.size());
      EXPECT_EQ(report::lineStart(map, map.lastLine), text.rfind('\n') + 1);
      EXPECT_EQ(report::targetAt(map, map.lastLine, 1).kind, report::ReportTarget::Kind::kNothing);
      continue;
    }
    const auto lineAt = [&](std::uint64_t line) {
      return line >= 1 && line <= lines.size() ? lines[static_cast<std::size_t>(line - 1)]
                                               : std::string();
    };
    for (std::size_t f = 0; f < bitmap::kFieldLayout.size(); ++f) {
      const std::string field = bitmap::kFieldLayout[f].name;
      const std::uint64_t line = report::fieldLine(map, f);
      if (field.rfind("bfReserved", 0) == 0) {
        EXPECT_EQ(line, 0u);
        continue;
      }
      const std::string label = field == "bfType"      ? "Type"
                                : field == "bfSize"    ? "Size"
                                : field == "bfOffBits" ? "Offbits"
                                                       : field;
      EXPECT_NE(lineAt(line).find(label + " : ["), std::string::npos) << field;
      EXPECT_EQ(report::targetAt(map, line, 3).kind, report::ReportTarget::Kind::kField);
      EXPECT_EQ(report::targetAt(map, line, 3).field, f);
    }
    for (std::uint64_t entry = 0; map.table.listed && entry < map.table.rows; ++entry) {
      char head[32];
      std::snprintf(head, sizeof head, " [%5llu]", static_cast<unsigned long long>(entry));
      EXPECT_EQ(lineAt(map.tableLine + entry).rfind(head, 0), 0u) << entry;
      EXPECT_EQ(report::targetAt(map, map.tableLine + entry, 1).entry, entry);
    }
    // Every byte from the start of the pixels to the end of the file, at most 20000.
    const std::uint64_t start = std::uint32_t(file.bfOffBits);
    for (std::uint64_t offset = start;
         offset < std::min<std::uint64_t>(c.input.size(), start + 20000); ++offset) {
      for (const report::ByteInDump& byte : report::findByte(map, offset)) {
        if (byte.why != report::Unprinted::kPrinted) continue;
        const report::ItemPlace& place = byte.place;
        const report::DumpMap& dump = map.dumps[place.dump];
        EXPECT_EQ(place.offset + byte.inItem, offset);
        const std::string expected =
            itemText(dump.dump.kind, c.input, place.offset, map.table.count);
        if (expected.empty()) continue;
        const std::string line = lineAt(place.line);
        EXPECT_EQ(line.substr(static_cast<std::size_t>(place.column), expected.size()), expected)
            << "byte " << offset << " of dump " << place.dump << ", line " << place.line
            << " column " << place.column << ": " << line.substr(0, 120);
        char rowEnd[32];
        std::snprintf(rowEnd, sizeof rowEnd, "] - %llu",
                      static_cast<unsigned long long>(place.rowNumber));
        EXPECT_NE(line.find(rowEnd), std::string::npos) << line.substr(0, 120);
        for (const std::uint64_t column :
             {place.column, place.column + report::itemChars(dump.dump.kind) - 1}) {
          const report::ReportTarget target = report::targetAt(map, place.line, column);
          EXPECT_EQ(target.kind, report::ReportTarget::Kind::kItem);
          EXPECT_EQ(target.item.dump, place.dump);
          EXPECT_EQ(target.item.index, place.index);
        }
      }
    }
    // An item is past the end exactly when its bytes are not all in the file; from the first
    // such item on, every item prints what the one before it printed (for a byte, the last
    // byte read; a triple cut by the end keeps the bytes it did not find).
    for (std::size_t d = 0; d < map.dumps.size(); ++d) {
      const report::DumpMap& dump = map.dumps[d];
      const std::uint32_t bytes = report::itemBytes(dump.dump.kind);
      const std::uint64_t chars = report::itemChars(dump.dump.kind);
      std::string before;
      for (std::uint64_t i = 0; i < std::min<std::uint64_t>(dump.extent.printed, 20000); ++i) {
        const report::ItemPlace place = report::itemPlace(map, d, i);
        EXPECT_EQ(place.pastEnd, place.offset + bytes > c.input.size()) << "item " << i;
        const std::string printed =
            lineAt(place.line)
                .substr(static_cast<std::size_t>(place.column), static_cast<std::size_t>(chars));
        if (i >= dump.pastEnd && i > 0 && bytes == 1) {
          EXPECT_EQ(printed, before) << "item " << i;
        }
        before = printed;
      }
    }
    // After the last dump's rows (and its line of items not shown), or the last header line
    // when there is no dump, the report ends.
    EXPECT_EQ(lines.size(), map.lastLine);
    // Every line starts where the map says, in bytes, and each excerpt of lines around a line
    // holds it whole, starts and ends at line ends, and keeps to its bytes around it.
    std::string report;
    for (const std::string& line : lines) report += line + "\n";
    if (map.dumps.empty()) report.pop_back();  // a report without a dump ends without one
    EXPECT_EQ(map.reportBytes, report.size());
    for (std::uint64_t line = 1, offset = 0; line <= map.lastLine; ++line) {
      ASSERT_EQ(report::lineStart(map, line), offset) << "line " << line;
      ASSERT_EQ(report::lineAt(map, offset), line);
      offset += lines[static_cast<std::size_t>(line - 1)].size() + 1;
    }
    for (std::uint64_t line = 1; line <= map.lastLine; line += 1 + map.lastLine / 40) {
      const auto excerpts = report::lineExcerpts(map, {line}, 100, 200);
      ASSERT_EQ(excerpts.size(), 1u);
      const report::LineExcerpt& excerpt = excerpts[0];
      const std::uint64_t lineBegin = report::lineStart(map, line);
      const std::uint64_t lineEnd = report::lineStart(map, line + 1);
      EXPECT_EQ(excerpt.from, report::lineStart(map, excerpt.firstLine));
      EXPECT_TRUE(excerpt.firstLine <= line &&
                  (excerpt.from == lineBegin || lineBegin - excerpt.from <= 100));
      EXPECT_TRUE(excerpt.to >= lineEnd && (excerpt.to == lineEnd || excerpt.to - lineEnd <= 200));
      EXPECT_TRUE(excerpt.to == report.size() ||
                  report[static_cast<std::size_t>(excerpt.to - 1)] == '\n');
    }
  }
}

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(testDataPath("cases"))) {
    names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Case file names are valid test names: letters, digits and underscores.
INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return param.param;
                         });

// Each line: "field=value ... | expected line", applied to a valid 32-bit 2 x 1 file.
TEST(HeaderNotes, EachChangeGivesItsLine) {
  const std::map<std::string, std::pair<std::size_t, std::size_t>> fields = {
      {"bfSize", {2, 4}},           {"bfOffBits", {10, 4}},       {"biSize", {14, 4}},
      {"biWidth", {18, 4}},         {"biHeight", {22, 4}},        {"biPlanes", {26, 2}},
      {"biBitCount", {28, 2}},      {"biCompression", {30, 4}},   {"biSizeImage", {34, 4}},
      {"biXPelsPerMeter", {38, 4}}, {"biYPelsPerMeter", {42, 4}}, {"biClrUsed", {46, 4}},
      {"biClrImportant", {50, 4}}};
  std::istringstream lines(readText(testDataPath("header-notes.txt")));
  std::string line;
  int checked = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t bar = line.find(" | ");
    std::vector<std::uint8_t> file =
        testing_support::makeBmp(32, 2, 1, {}, {1, 2, 3, 4, 5, 6, 7, 8});
    std::istringstream changes(line.substr(0, bar));
    std::string change;
    while (changes >> change) {
      const std::string name = change.substr(0, change.find('='));
      const auto value =
          static_cast<std::uint64_t>(std::stoll(change.substr(name.size() + 1), nullptr, 0));
      if (name == "length") {
        file.resize(static_cast<std::size_t>(value));
      } else {
        testing_support::putLE(file, fields.at(name).first, value, fields.at(name).second);
      }
    }
    std::string expected = line.substr(bar + 3);
    expected.replace(0, 2, "\t");  // each line starts with "\t" written out
    const std::string text = testing_support::runOn(file).text;
    const std::size_t at = text.find("\n" + expected);
    const std::size_t end = at + 1 + expected.size();
    EXPECT_TRUE(at != std::string::npos && (end == text.size() || text[end] == '\n'))
        << line << "\n"
        << text;
    ++checked;
  }
  EXPECT_GT(checked, 40);
}

}  // namespace
