// The run harness shared by the tests.
#include "tests/support/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/run.h"
#include "report/sink.h"
#include "tests/support/bmp_writer.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testing_support {
namespace fs = std::filesystem;

std::string RunResult::body() const {
  const std::string banner =
      "\n------------------------------\n Quillfen\n Alpha version"
      "\n------------------------------\n Filename [" +
      path + "]\n";
  if (text.compare(0, banner.size(), banner) != 0) {
    ADD_FAILURE() << "no banner for " << path << " in:\n" << text;
    return {};
  }
  return text.substr(banner.size());
}

std::string scratchDir() {
  // Unique per test process: its start time and the address of this object.
  static const struct Scratch {
    fs::path path = fs::temp_directory_path() /
                    ("quillfen-test-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                     "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xFFFFFF));
    Scratch() { fs::create_directories(path); }
    ~Scratch() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } scratch;
  return scratch.path.u8string();
}

RunResult runArgs(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  RunResult result;
  report::Sink out(result.text);
  result.status = app::run(static_cast<int>(args.size()), argv.data(), out);
  if (args.size() > 1) result.path = args[1];
  return result;
}

RunResult runSource(bitmap::Source& file, const std::string& name) {
  RunResult result;
  report::Sink out(result.text);
  result.status = app::runReport(file, name.c_str(), out);
  EXPECT_TRUE(out.finish());
  result.path = name;
  return result;
}

RunResult runOn(const std::vector<std::uint8_t>& bytes) {
  static int counter = 0;
  const std::string path = scratchDir() + "/case" + std::to_string(++counter) + ".bmp";
  EXPECT_TRUE(writeFile(path, bytes));
  RunResult result = runArgs({"quillfen", path});
  fs::remove(fs::u8path(path));
  return result;
}

::testing::AssertionResult sameText(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const std::size_t start = expected.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
  const auto lineAt = [from](const std::string& text) {
    return ::testing::PrintToString(text.substr(from, text.find('\n', from) - from));
  };
  return ::testing::AssertionFailure()
         << "line "
         << 1 + std::count(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(from),
                           '\n')
         << " differs (" << actual.size() << " bytes, " << expected.size()
         << " expected):\n  got      " << lineAt(actual) << "\n  expected " << lineAt(expected);
}

#ifdef _WIN32
std::string quote(const std::string& word) { return "\"" + word + "\""; }
// cmd /c drops the first and the last quote of a line that starts with one.
int shell(const std::string& command) { return std::system(("\"" + command + "\"").c_str()); }
#else
std::string quote(const std::string& word) { return "'" + word + "'"; }
int shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

std::string testDataPath(const std::string& name) {
  return std::string(QUILLFEN_TEST_DATA) + "/" + name;
}

std::string readText(const std::string& path) {
  std::ifstream file(fs::u8path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace testing_support
