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

// As the tool reads files; fuzz_run holds every other reader (memory, views, tiny blocks) to
// the same report on the corpus.
TEST_P(Golden, ReportIsExactlyAsExpected) {
  const Case c = loadCase(testDataPath("cases/" + GetParam() + ".case"));
  const auto result = testing_support::runOn(c.input);
  EXPECT_EQ(result.status, c.status);
  EXPECT_TRUE(testing_support::sameText(result.body(), c.expected));
}

// The text an item of kind prints for the bytes of file at offset, which are all in the file.
std::string itemText(report::ItemKind kind, const std::vector<std::uint8_t>& file,
                     std::uint64_t offset, std::uint64_t tableCount) {
  const auto byte = [&](std::uint64_t at) -> int {
    return at < file.size() ? file[static_cast<std::size_t>(at)] : 0;
  };
  const int b = byte(offset);
  const std::uint64_t entry = 54 + 4 * std::uint64_t(b);  // its colour in the table
  char text[32] = {};
  if (kind == report::ItemKind::kHex) std::snprintf(text, sizeof text, "%02X ", b);
  if (kind == report::ItemKind::kBitPicture)
    for (int bit = 0; bit < 8; ++bit) text[bit] = (b >> bit & 1) != 0 ? '8' : ' ';
  if (kind == report::ItemKind::kTriple)
    std::snprintf(text, sizeof text, "(%3d.%3d.%3d) ", byte(offset + 2), byte(offset + 1), b);
  if (kind == report::ItemKind::kTranslated &&
      static_cast<std::uint64_t>(b) >= std::min<std::uint64_t>(tableCount, 256))
    std::snprintf(text, sizeof text, "0x------ ");
  else if (kind == report::ItemKind::kTranslated)
    std::snprintf(text, sizeof text, "0x%02X%02X%02X ", byte(entry + 2), byte(entry + 1),
                  byte(entry));
  return text;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The report's map against the report, with file names of one line and of two: every line
// starts where the map says; the header fields' and table entries' lines hold their labels and
// lead back to them; every item prints where its place says, its own bytes while they are in the
// file and what the one before printed after, each of its bytes leads to it, and its place back.
TEST_P(Golden, EveryByteIsFoundWhereTheReportPrintsIt) {
  const Case c = loadCase(testDataPath("cases/" + GetParam() + ".case"));
  const auto [file, info] = bitmap::decodeHeaders(c.input.data(), c.input.size());
  for (const std::string name : {"view.bmp", "two\nlines.bmp"}) {
    bitmap::Source view;
    view.openView(c.input.data(), c.input.size());
    const std::string text = testing_support::runSource(view, name).text;
    const std::vector<std::string> lines = linesOf(text);
    const report::ReportMap map = report::mapReport(file, info, c.input.size(), name);
    EXPECT_EQ(map.refused, c.status != 0);
    EXPECT_EQ(map.lastLine, lines.size());
    EXPECT_EQ(map.reportBytes, text.size());
    for (std::uint64_t line = 1, offset = 0; line <= lines.size(); ++line) {
      ASSERT_EQ(report::lineStart(map, line), offset) << "line " << line;
      ASSERT_EQ(report::lineAt(map, offset), line);
      offset += lines[static_cast<std::size_t>(line - 1)].size() + 1;
    }
    // A refused file's one line after the banner names nothing.
    EXPECT_TRUE(!map.refused || report::targetAt(map, map.lastLine, 1).kind ==
                                    report::ReportTarget::Kind::kNothing);
    const auto lineAt = [&](std::uint64_t line) {
      return line >= 1 && line <= lines.size() ? lines[static_cast<std::size_t>(line - 1)]
                                               : std::string();
    };
    for (std::size_t f = 0; f < bitmap::kFieldLayout.size() && !map.refused; ++f) {
      const std::string field = bitmap::kFieldLayout[f].name;
      const std::uint64_t line = report::fieldLine(map, f);
      if (field.rfind("bfReserved", 0) == 0) {
        EXPECT_EQ(line, 0u);
        continue;
      }
      const std::map<std::string, std::string> labels = {
          {"bfType", "Type"}, {"bfSize", "Size"}, {"bfOffBits", "Offbits"}};
      const std::string label = labels.count(field) != 0 ? labels.at(field) : field;
      EXPECT_NE(lineAt(line).find(label + " : ["), std::string::npos) << field;
      EXPECT_EQ(report::targetAt(map, line, 3).kind, report::ReportTarget::Kind::kField) << field;
      EXPECT_EQ(report::targetAt(map, line, 3).field, f);
    }
    for (std::uint64_t entry = 0; map.table.listed && entry < map.table.rows; ++entry) {
      char head[32];
      std::snprintf(head, sizeof head, " [%5llu]", static_cast<unsigned long long>(entry));
      EXPECT_EQ(lineAt(map.tableLine + entry).rfind(head, 0), 0u) << entry;
      EXPECT_EQ(report::targetAt(map, map.tableLine + entry, 1).entry, entry);
    }
    for (std::size_t d = 0; d < map.dumps.size(); ++d) {
      const report::ItemKind kind = map.dumps[d].dump.kind;
      const std::uint32_t bytes = report::itemBytes(kind);
      const std::uint64_t chars = report::itemChars(kind);
      std::string before;
      for (std::uint64_t i = 0; i < std::min<std::uint64_t>(map.dumps[d].extent.printed, 20000);
           ++i) {
        const report::ItemPlace place = report::itemPlace(map, d, i);
        const std::string line = lineAt(place.line);
        const std::string where = "item " + std::to_string(i) + " of dump " + std::to_string(d) +
                                  ", line " + std::to_string(place.line) + ": " +
                                  line.substr(0, 120);
        const std::string printed =
            line.substr(static_cast<std::size_t>(place.column), static_cast<std::size_t>(chars));
        EXPECT_NE(line.find("] - " + std::to_string(place.rowNumber)), std::string::npos) << where;
        for (const std::uint64_t column : {place.column, place.column + chars - 1}) {
          const report::ReportTarget target = report::targetAt(map, place.line, column);
          EXPECT_EQ(target.kind, report::ReportTarget::Kind::kItem) << where;
          EXPECT_TRUE(target.item.dump == d && target.item.index == i) << where;
        }
        EXPECT_EQ(place.pastEnd, place.offset + bytes > c.input.size()) << where;
        if (place.pastEnd && i > 0 && bytes == 1) {
          EXPECT_EQ(printed, before) << where;
        }
        before = printed;
        if (place.pastEnd) continue;
        const std::string expected = itemText(kind, c.input, place.offset, map.table.count);
        EXPECT_EQ(printed.substr(0, expected.size()), expected) << where;
        for (std::uint32_t b = 0; b < bytes; ++b) {
          const report::ByteInDump found = report::findByte(map, place.offset + b)[d];
          EXPECT_TRUE(found.why == report::Unprinted::kPrinted && found.place.index == i &&
                      found.inItem == b)
              << "byte " << b << " of " << where;
        }
      }
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
        testing_support::putLE(file, bitmap::field(name).offset, value, bitmap::field(name).width);
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
