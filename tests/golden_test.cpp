// Whole runs compared with exact expected text. Each file in data/cases/ holds a crafted input
// (annotated hex) or names a real file, then "@@ exit <status>" and the report after the banner.
// data/header-notes.txt lists header changes with the report line each must produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "bitmap/source.h"
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
