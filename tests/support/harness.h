// Whole runs in-process: write a file, run the tool on it, capture the report.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap/source.h"

namespace testing_support {

struct RunResult {
  int status = 0;
  std::string text;  // everything the run printed
  std::string path;  // the file it ran on
  // The text after the banner; empty (and a test failure) if the banner is not there.
  std::string body() const;
};

// Runs on the bytes saved as a fresh temporary file (removed afterwards).
RunResult runOn(const std::vector<std::uint8_t>& bytes);
// Runs with exactly these arguments, argv[0] included.
RunResult runArgs(const std::vector<std::string>& args);
// Reports on an open source as a file called name.
RunResult runSource(bitmap::Source& file, const std::string& name);

// Equal texts, or a failure naming the first line that differs and both versions of it, short
// enough to read when the texts are whole reports.
::testing::AssertionResult sameText(const std::string& actual, const std::string& expected);

// Paths are UTF-8 on every platform.

// A folder of its own for the test process, emptied and removed at exit.
std::string scratchDir();

// A word for the shell, quoted; and a command line run by the shell, with its exit status
// (-1 when it did not exit).
std::string quote(const std::string& word);
int shell(const std::string& command);

// The project's test data folder.
std::string testDataPath(const std::string& name);
std::string readText(const std::string& path);

}  // namespace testing_support
