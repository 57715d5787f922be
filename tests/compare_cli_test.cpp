// quillfen-compare run whole: its exit statuses and exact text with the platform's line ends,
// one line on standard error for each kind of trouble, two 5 GiB sparse files, and the README's
// examples run as the README shows them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/bmp_writer.h"
#include "tests/support/harness.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing_support::quote;
using testing_support::readText;

const std::string kCompare = std::string(QUILLFEN_EMULATOR) + " " + quote(QUILLFEN_COMPARE_BINARY);

std::string scratch(const std::string& name) { return testing_support::scratchDir() + "/" + name; }

// The file written to the scratch folder, quoted for the shell.
std::string written(const std::string& name, const Bytes& bytes) {
  EXPECT_TRUE(testing_support::writeFile(scratch(name), bytes)) << name;
  return quote(scratch(name));
}

std::string suite(const std::string& name) {
  return quote(testing_support::testDataPath("bmpsuite/" + name));
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A run with these arguments (and redirections), its standard output and error kept.
Outcome runCompare(const std::string& arguments) {
  static int runs = 0;
  const std::string n = std::to_string(++runs);
  const std::string out = scratch("compare-" + n + ".out");
  const std::string err = scratch("compare-" + n + ".err");
  Outcome outcome;
  outcome.status =
      testing_support::shell(kCompare + " " + arguments + " > " + quote(out) + " 2> " + quote(err));
  outcome.out = readText(out);
  outcome.err = readText(err);
  return outcome;
}

// Text as the binary writes it here: lines end in CR LF on Windows.
std::string platformText(const std::string& text) {
#ifdef _WIN32
  std::string crlf;
  for (const char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
#else
  return text;
#endif
}

// Status 0 for the same picture, whatever bytes nothing holds (padding); 1 when a field differs
// though the picture is the same; 2 for trouble, with one line.
TEST(CompareCommand, ExitsAsCmpDoesWithTheLinesOrOneLineOfTrouble) {
  const std::string pal8 = suite("g/pal8.bmp");
  Bytes padded = testing_support::makeBmp(8, 3, 1, {0, 0, 0, 0}, {0, 0, 0, 0});
  const std::string plain = written("plain.bmp", padded);
  padded.back() = 0x5A;
  const std::string text = scratch("text.bmp");
  const std::string empty = scratch("empty.bmp");
  const std::string missing = scratch("missing.bmp");
  written("text.bmp", {'B', 'A', 'D'});
  written("empty.bmp", {});
  const std::string notBitmap = ": not a BMP file: it does not start with BM\n";
  const struct {
    std::string arguments;
    int status;
    std::string out;
    std::string err;
  } rows[] = {
      {pal8 + " " + pal8, 0, "bytes: identical, 9,254 bytes\nverdict: identical bytes\n", ""},
      {pal8 + " " + suite("pal8topdown.bmp"), 1,
       "bytes: 9,254 vs 9,254; first difference at 22, biHeight in both\n"
       "biHeight (22, 4 bytes): 64 [40 00 00 00] vs -64 [C0 FF FF FF]\n"
       "pixels: same picture (8,128 pixels), rows stored in opposite order\n"
       "verdict: same picture, different bytes\n",
       ""},
      {plain + " " + written("padded.bmp", padded), 0,
       "bytes: 62 vs 62; first difference at 61, padding of row 0 in both\n"
       "pixels: same picture (3 pixels)\n"
       "verdict: same picture, different bytes\n",
       ""},
      {pal8 + " " + quote(missing), 2, "",
       "quillfen-compare: cannot open " + missing + ": " + std::strerror(ENOENT) + "\n"},
      {quote(text) + " " + pal8, 2, "", "quillfen-compare: " + text + notBitmap},
      {pal8 + " " + quote(text), 2, "", "quillfen-compare: " + text + notBitmap},
      // No bytes at all is empty, not a file that starts otherwise.
      {pal8 + " " + quote(empty), 2, "",
       "quillfen-compare: " + empty + ": not a BMP file: it is empty\n"},
  };
  for (const auto& row : rows) {
    const Outcome outcome = runCompare(row.arguments);
    EXPECT_EQ(outcome.status, row.status) << row.arguments;
    EXPECT_EQ(outcome.out, platformText(row.out)) << row.arguments;
    EXPECT_EQ(outcome.err, platformText(row.err)) << row.arguments;
  }
  for (const std::string& arguments : {std::string(), pal8, pal8 + " a b"}) {
    const Outcome usage = runCompare(arguments);
    EXPECT_EQ(usage.status, 2) << arguments;
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err.rfind("usage: ", 0), 0u) << usage.err;
    EXPECT_NE(usage.err.find("quillfen-compare"), std::string::npos) << usage.err;
    EXPECT_EQ(usage.err.substr(usage.err.find(" A.bmp")), platformText(" A.bmp B.bmp\n"));
  }
  const std::string folder = testing_support::scratchDir();
  const Outcome opened = runCompare(quote(folder) + " " + pal8);
  EXPECT_EQ(opened.status, 2);
  EXPECT_EQ(opened.err.rfind("quillfen-compare: cannot open " + folder + ": ", 0), 0u)
      << opened.err;
  EXPECT_EQ(opened.err.find('\n'), opened.err.size() - 1) << opened.err;
}

#ifndef _WIN32
// One pipe named twice: the first read takes all of it, and the second finds it empty. Output
// that cannot be written: a full device, or a pipe whose reading end is closed, which with
// SIGPIPE ignored (as Node and some services leave it) the command lives to report, as cmp does.
TEST(CompareCommand, PipesAndOutputThatCannotBeWrittenAreTroubleWithTheirLine) {
  const std::string pal8 = suite("g/pal8.bmp");
  const std::string err = scratch("posix.err");
  const std::string cannotWrite = "quillfen-compare: cannot write the comparison: ";
  EXPECT_EQ(testing_support::shell("cat " + pal8 + " | " + kCompare +
                                   " /dev/stdin /dev/stdin > /dev/null 2> " + quote(err)),
            2);
  EXPECT_EQ(readText(err), "quillfen-compare: /dev/stdin: not a BMP file: it is empty\n");
  EXPECT_EQ(
      testing_support::shell(kCompare + " " + pal8 + " " + pal8 + " > /dev/full 2> " + quote(err)),
      2);
  EXPECT_EQ(readText(err), cannotWrite + std::strerror(ENOSPC) + "\n");

  int ends[2] = {-1, -1};
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  // The shell names descriptors by one digit: the pipe's end goes to a free one.
  int fd = 3;
  while (fd <= 9 && fcntl(fd, F_GETFD) != -1) ++fd;
  if (fd > 9) {
    close(ends[1]);
    GTEST_SKIP() << "no descriptor from 3 to 9 is free";
  }
  ASSERT_EQ(dup2(ends[1], fd), fd);
  close(ends[1]);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const int status = testing_support::shell(kCompare + " " + pal8 + " " + suite("pal8topdown.bmp") +
                                            " >&" + std::to_string(fd) + " 2> " + quote(err));
  std::signal(SIGPIPE, previous);
  close(fd);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(readText(err), cannotWrite + std::strerror(EPIPE) + "\n");
}

// A sanitized binary carries its runtime's memory: its peak is not the comparison's.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

TEST(CompareCommand, TwoFiveGigabyteSparseFilesAreReadWhereTheyDiffer) {
  // A 4 x 2 24-bit picture just below 4 GiB in each, the files 5 GiB long; they differ in
  // biXPelsPerMeter and in the green of pixel (1, 0), stored in the second row.
  Bytes header = testing_support::makeBmp(24, 4, 2, {}, {});
  testing_support::putLE(header, 10, 0xFFFFFF00u, 4);  // bfOffBits
  std::string pixels;
  for (char i = 0; i < 24; ++i) pixels += static_cast<char>(0x10 + i);
  const auto write = [&](const std::string& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header.data()),
               static_cast<std::streamsize>(header.size()));
    file.seekp(0xFFFFFF00);
    file.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  };
  const std::string a = scratch("sparse-a.bmp");
  const std::string b = scratch("sparse-b.bmp");
  write(a);
  testing_support::putLE(header, 38, 1000, 4);
  pixels[12 + 4] = static_cast<char>(pixels[12 + 4] ^ 0xFF);
  write(b);
  std::error_code error;
  for (const std::string& path : {a, b}) fs::resize_file(path, std::uint64_t{5} << 30, error);
  if (error) GTEST_SKIP() << "no sparse 5 GiB file here: " << error.message();
  const Outcome outcome = runCompare(quote(a) + " " + quote(b));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(
      outcome.out,
      "bytes: 5,368,709,120 vs 5,368,709,120; first difference at 38, biXPelsPerMeter in both\n"
      "biXPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00] vs 1000 [E8 03 00 00]\n"
      "pixels: 1 of 8 differ, in x 1, y 0; largest difference R 0 G 191 B 0 A 0\n"
      "pixel (1, 0): #21201F at 4,294,967,055 [1F 20 21] vs #21DF1F at 4,294,967,055 [1F DF 21]\n"
      "verdict: different pictures\n");
  EXPECT_EQ(outcome.err, "");
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  if (std::string(QUILLFEN_EMULATOR).empty() && !kSanitized) {
    EXPECT_LT(usage.ru_maxrss, 8 * 1024) << "KiB at the peak";
  }
  fs::remove(a);
  fs::remove(b);
}

// The README's examples: each sh block of its comparison section is run exactly as written,
// from the project's folder with quillfen-compare on the PATH, and must print the text block
// that follows it and exit with the status its comment gives. Native builds only.
TEST(CompareCommand, TheReadmeShowsRealRuns) {
  if (!std::string(QUILLFEN_EMULATOR).empty()) GTEST_SKIP() << "the README's commands run natively";
  const std::string readme = readText(std::string(QUILLFEN_SOURCE_DIR) + "/README.md");
  const std::size_t section = readme.find("\n## Comparing two files\n");
  ASSERT_NE(section, std::string::npos);
  const std::string body = readme.substr(section, readme.find("\n## ", section + 1) - section);
  const std::string bin = fs::path(QUILLFEN_COMPARE_BINARY).parent_path().string();
  int examples = 0;
  for (std::size_t at = body.find("```sh\n"); at != std::string::npos;
       at = body.find("```sh\n", at + 1)) {
    const std::size_t commandEnd = body.find("\n```\n", at);
    const std::string command = body.substr(at + 6, commandEnd - at - 6);
    const std::size_t textStart = body.find("```text\n", commandEnd);
    ASSERT_EQ(textStart, commandEnd + 5) << "no text block after " << command;
    const std::string expected =
        body.substr(textStart + 8, body.find("\n```\n", textStart) + 1 - textStart - 8);
    const std::size_t comment = command.find("# exits with ");
    ASSERT_NE(comment, std::string::npos) << command;
    const std::string out = scratch("readme-" + std::to_string(++examples) + ".out");
    // The command keeps its comment: its own line in a subshell whose output is kept.
    const int status =
        testing_support::shell("cd " + quote(QUILLFEN_SOURCE_DIR) + " && PATH=" + quote(bin) +
                               ":\"$PATH\" && (\n" + command + "\n) > " + quote(out));
    EXPECT_EQ(status, std::stoi(command.substr(comment + 13))) << command;
    EXPECT_EQ(readText(out), expected) << command;
  }
  EXPECT_GE(examples, 2);
}
#endif

}  // namespace
