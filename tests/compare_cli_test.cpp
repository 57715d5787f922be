// quillfen-compare run whole: its exit statuses and exact text with the platform's line ends,
// one line on standard error for each kind of trouble, two 5 GiB sparse files, and the README's
// examples run as the README shows them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bitmap/source.h"
#include "compare/comparison.h"
#include "compare/lines.h"
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
using testing_support::quote;
using testing_support::readText;
using testing_support::testDataPath;

const std::string kCompare = std::string(QUILLFEN_EMULATOR) + " " + quote(QUILLFEN_COMPARE_BINARY);

std::string scratch(const std::string& name) { return testing_support::scratchDir() + "/" + name; }

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

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

// Two files written for the run and compared.
Outcome comparePair(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  static int pairs = 0;
  const std::string n = std::to_string(++pairs);
  const std::string pathA = scratch("pair-" + n + "-a.bmp");
  const std::string pathB = scratch("pair-" + n + "-b.bmp");
  EXPECT_TRUE(testing_support::writeFile(pathA, a) && testing_support::writeFile(pathB, b));
  return runCompare(quote(pathA) + " " + quote(pathB));
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

std::string suite(const std::string& name) { return testDataPath("bmpsuite/" + name); }

// The comparison's lines as the library gives them, for the same two files.
std::string libraryText(const std::string& a, const std::string& b) {
  bitmap::Source sourceA;
  bitmap::Source sourceB;
  EXPECT_TRUE(sourceA.open(a.c_str()) && sourceB.open(b.c_str()));
  decode::SourceInput inputA(sourceA);
  decode::SourceInput inputB(sourceB);
  std::string text;
  for (const std::string& line : compare::comparisonLines(compare::compareFiles(inputA, inputB)))
    text += line + "\n";
  return text;
}

TEST(CompareCommand, ExitsAsCmpDoesWithTheLibrarysLines) {
  const std::string pal8 = suite("g/pal8.bmp");
  const Outcome itself = runCompare(quote(pal8) + " " + quote(pal8));
  EXPECT_EQ(itself.status, 0);
  EXPECT_EQ(itself.out, platformText("bytes: identical, 9,254 bytes\nverdict: identical bytes\n"));
  EXPECT_EQ(itself.err, "");

  const Outcome topDown = runCompare(quote(pal8) + " " + quote(suite("pal8topdown.bmp")));
  EXPECT_EQ(topDown.status, 1);
  EXPECT_EQ(topDown.out,
            platformText("bytes: 9,254 vs 9,254; first difference at 22, biHeight in both\n"
                         "biHeight (22, 4 bytes): 64 [40 00 00 00] vs -64 [C0 FF FF FF]\n"
                         "pixels: same picture (8,128 pixels), rows stored in opposite order\n"
                         "verdict: same picture, different bytes\n"));
  EXPECT_EQ(topDown.err, "");
  for (const auto& [a, b] : {std::pair<std::string, std::string>{pal8, suite("pal8rle.bmp")},
                             {suite("rgb24.bmp"), suite("g/rgb16-565.bmp")},
                             {suite("q/pal8rletrns.bmp"), pal8}}) {
    const Outcome outcome = runCompare(quote(a) + " " + quote(b));
    EXPECT_EQ(outcome.status, 1) << a << " " << b;
    EXPECT_EQ(outcome.out, platformText(libraryText(a, b))) << a << " " << b;
  }

  // Only biXPelsPerMeter differs: that field, the same picture, and status 1.
  std::vector<std::uint8_t> resolution = testing_support::sampleBitmap();
  testing_support::putLE(resolution, 38, 1000, 4);
  const Outcome field = comparePair(testing_support::sampleBitmap(), resolution);
  EXPECT_EQ(field.status, 1);
  EXPECT_EQ(field.out,
            platformText("bytes: 150 vs 150; first difference at 38, biXPelsPerMeter in both\n"
                         "biXPelsPerMeter (38, 4 bytes): 2835 [13 0B 00 00] vs 1000 [E8 03 00 00]\n"
                         "pixels: same picture (32 pixels)\n"
                         "verdict: same picture, different bytes\n"));

  // One byte of the embedded ICC profile: the same picture, but status 1, the profile its line.
  const std::string profText = readText(suite("q/rgb24prof.bmp"));
  std::vector<std::uint8_t> prof(profText.begin(), profText.end());
  std::vector<std::uint8_t> profile = prof;
  profile[24934] = 0x5A;
  const Outcome icc = comparePair(prof, profile);
  EXPECT_EQ(icc.status, 1);
  EXPECT_EQ(icc.out, platformText("bytes: 27,782 vs 27,782; first difference at 24,934, ICC "
                                  "profile in both\n"
                                  "ICC profile (24,734, 3,048 bytes): differs from byte 200, at "
                                  "24,934: [00 00 08 0C] vs [5A 00 08 0C]\n"
                                  "pixels: same picture (8,128 pixels)\n"
                                  "verdict: same picture, different bytes\n"));
  EXPECT_EQ(icc.err, "");
  // The byte before the profile, which nothing holds: status 0.
  profile = prof;
  profile[24733] = 0x5A;
  EXPECT_EQ(comparePair(prof, profile).status, 0);

  // Bytes that no field, entry or pixel holds (a row's padding): the same, status 0.
  const std::vector<std::uint8_t> plain =
      testing_support::makeBmp(8, 3, 1, {0, 0, 0, 0}, {0, 0, 0, 0});
  std::vector<std::uint8_t> padded = plain;
  padded.back() = 0x5A;
  const Outcome padding = comparePair(plain, padded);
  EXPECT_EQ(padding.status, 0);
  EXPECT_EQ(padding.out,
            platformText("bytes: 62 vs 62; first difference at 61, padding of row 0 in both\n"
                         "pixels: same picture (3 pixels)\n"
                         "verdict: same picture, different bytes\n"));
}

TEST(CompareCommand, TroubleIsStatusTwoAndOneLineOnStandardError) {
  const std::string pal8 = suite("g/pal8.bmp");
  for (const std::string& arguments : {std::string(), quote(pal8), quote(pal8) + " a b"}) {
    const Outcome usage = runCompare(arguments);
    EXPECT_EQ(usage.status, 2) << arguments;
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err.rfind("usage: ", 0), 0u) << usage.err;
    EXPECT_NE(usage.err.find("quillfen-compare"), std::string::npos) << usage.err;
    EXPECT_EQ(usage.err.substr(usage.err.find(" A.bmp")), platformText(" A.bmp B.bmp\n"));
  }
  const std::string missing = scratch("missing.bmp");
  const Outcome gone = runCompare(quote(pal8) + " " + quote(missing));
  EXPECT_EQ(gone.status, 2);
  EXPECT_EQ(gone.out, "");
  EXPECT_EQ(gone.err, platformText("quillfen-compare: cannot open " + missing + ": " +
                                   std::strerror(ENOENT) + "\n"));
  const Outcome folder = runCompare(quote(testing_support::scratchDir()) + " " + quote(pal8));
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(
      folder.err.rfind("quillfen-compare: cannot open " + testing_support::scratchDir() + ": ", 0),
      0u)
      << folder.err;
  EXPECT_EQ(folder.err.find('\n'), folder.err.size() - 1) << folder.err;

  const std::string text = scratch("text.bmp");
  ASSERT_TRUE(testing_support::writeFile(text, {'B', 'A', 'D'}));
  for (const auto& [a, b] : {std::pair<std::string, std::string>{text, pal8}, {pal8, text}}) {
    const Outcome notBitmap = runCompare(quote(a) + " " + quote(b));
    EXPECT_EQ(notBitmap.status, 2);
    EXPECT_EQ(notBitmap.out, "");
    EXPECT_EQ(notBitmap.err, platformText("quillfen-compare: " + text +
                                          ": not a BMP file: it does not start with BM\n"));
  }
  // A file of no bytes is empty, not one that starts otherwise.
  const std::string empty = scratch("empty.bmp");
  ASSERT_TRUE(testing_support::writeFile(empty, {}));
  const Outcome nothing = runCompare(quote(pal8) + " " + quote(empty));
  EXPECT_EQ(nothing.status, 2);
  EXPECT_EQ(nothing.out, "");
  EXPECT_EQ(nothing.err,
            platformText("quillfen-compare: " + empty + ": not a BMP file: it is empty\n"));
#ifndef _WIN32
  // One pipe named twice: the first read takes all of it, and the second finds it empty.
  const std::string piped = scratch("piped.err");
  EXPECT_EQ(testing_support::shell("cat " + quote(pal8) + " | " + kCompare +
                                   " /dev/stdin /dev/stdin > /dev/null 2> " + quote(piped)),
            2);
  EXPECT_EQ(readText(piped), "quillfen-compare: /dev/stdin: not a BMP file: it is empty\n");

  const std::string err = scratch("full.err");
  EXPECT_EQ(testing_support::shell(kCompare + " " + quote(pal8) + " " + quote(pal8) +
                                   " > /dev/full 2> " + quote(err)),
            2);
  EXPECT_EQ(readText(err), "quillfen-compare: cannot write the comparison: " +
                               std::string(std::strerror(ENOSPC)) + "\n");
#endif
}

#ifndef _WIN32
// Standard output a pipe whose reading end is closed: every write fails with EPIPE. With SIGPIPE
// ignored, as Node and some shells and services leave it, the command lives to say so; trouble,
// so one line on standard error, as cmp and diff give one.
TEST(CompareCommand, AReaderThatClosedThePipeIsTroubleWithItsLine) {
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
  const std::string err = scratch("closed-pipe.err");
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const int status = testing_support::shell(kCompare + " " + quote(suite("g/pal8.bmp")) + " " +
                                            quote(suite("pal8topdown.bmp")) + " >&" +
                                            std::to_string(fd) + " 2> " + quote(err));
  std::signal(SIGPIPE, previous);
  close(fd);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(readText(err), "quillfen-compare: cannot write the comparison: " +
                               std::string(std::strerror(EPIPE)) + "\n");
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
  std::vector<std::uint8_t> header = testing_support::makeBmp(24, 4, 2, {}, {});
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
