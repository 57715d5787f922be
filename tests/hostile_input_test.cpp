// Bad command lines and paths, names in any script, and the line ends of the real binary's
// report on every platform; on POSIX systems also input that cannot seek, files past 4 GiB
// and output that fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/bmp_writer.h"
#include "tests/support/harness.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;
using testing_support::runArgs;

#ifdef _WIN32
std::string quote(const std::string& word) { return "\"" + word + "\""; }
// cmd /c drops the first and the last quote of a line that starts with one.
int shell(const std::string& command) { return std::system(("\"" + command + "\"").c_str()); }
#else
std::string quote(const std::string& word) { return "'" + word + "'"; }
// Runs a shell command line; returns its exit status.
int shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The real binary as a shell command word, behind the emulator in a cross build.
const std::string kBinary = std::string(QUILLFEN_EMULATOR) + " " + quote(QUILLFEN_BINARY);

std::string scratch(const std::string& name) { return testing_support::scratchDir() + "/" + name; }

std::vector<std::uint8_t> eightBitFile(std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) *
                                   static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::uint8_t>(i * 31 % 251);
  std::vector<std::uint8_t> table(1024);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 7);
  return testing_support::makeBmp(8, width, height, table, pixels);
}

TEST(HostileInput, WrongArgumentCountsAndUnopenablePaths) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"./prog"}, std::vector<std::string>{"/x/qf", "a.bmp", "b.bmp"}}) {
    const auto result = runArgs(args);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.text, "usage : " + args[0] + " [filename.ext]\n");
  }
  for (const std::string& path : {scratch("missing.bmp"), testing_support::scratchDir()}) {
    const auto result = runArgs({"quillfen", path});
    EXPECT_EQ(result.status, -1) << path;
    EXPECT_EQ(result.text, "Invalide File, please check filename\n") << path;
  }
}

TEST(HostileInput, ANameInAnyScriptOpensAndIsPrintedAsUtf8) {
  // "图像 café.bmp": outside every ANSI code page, and accented.
  const std::string name = scratch("\xE5\x9B\xBE\xE5\x83\x8F caf\xC3\xA9.bmp");
  ASSERT_TRUE(testing_support::writeFile(name, testing_support::sampleBitmap()));
  const auto result = runArgs({"quillfen", name});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.text.find("\n Filename [" + name + "]\n"), std::string::npos) << result.text;
  EXPECT_NE(result.text.find("] - 4\n"), std::string::npos) << result.text;
}

// The real binary writes its report to a file: every line ends in CR LF on Windows and in a
// bare LF elsewhere, and the text is otherwise the report captured in memory.
TEST(HostileInput, TheBinaryEndsLinesAsThePlatformDoes) {
  const std::string bmp = scratch("lines.bmp");
  ASSERT_TRUE(testing_support::writeFile(bmp, eightBitFile(300, 300)));
  const std::string out = scratch("lines.txt");
  ASSERT_EQ(shell(kBinary + " " + quote(bmp) + " > " + quote(out)), 0);
  const std::string written = testing_support::readText(out);
  std::string expected = runArgs({"quillfen", bmp}).text;
  ASSERT_GT(expected.size(), std::size_t{600000});  // several output blocks
#ifdef _WIN32
  std::string crlf;
  for (const char c : expected) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  expected = crlf;
#endif
  EXPECT_TRUE(written == expected) << "the binary's report differs from the expected text";
}

#ifndef _WIN32
// The report with its Filename line taken out.
std::string withoutFileName(const std::string& text) {
  const std::size_t start = text.find("\n Filename [");
  return start == std::string::npos
             ? text
             : text.substr(0, start) + text.substr(text.find(']', start) + 1);
}

TEST(HostileInput, InputThatCannotSeekIsReportedAsTheFileItHolds) {
  // Larger than one read block, so the pipe is drained in several reads.
  const auto bytes = eightBitFile(600, 600);
  const std::string regular = scratch("piped.bmp");
  ASSERT_TRUE(testing_support::writeFile(regular, bytes));
  const std::string expected = withoutFileName(runArgs({"quillfen", regular}).text);

  const std::string fifo = scratch("fifo.bmp");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { testing_support::writeFile(fifo, bytes); });
  const auto fromFifo = runArgs({"quillfen", fifo});
  writer.join();
  EXPECT_EQ(fromFifo.status, 0);
  EXPECT_EQ(withoutFileName(fromFifo.text), expected);

  const std::string out = scratch("stdin.txt");
  EXPECT_EQ(shell("cat '" + regular + "' | " + kBinary + " /dev/stdin > '" + out + "'"), 0);
  EXPECT_EQ(withoutFileName(testing_support::readText(out)), expected);
}

TEST(HostileInput, FilesPast4GiBAreReadAt64BitPositions) {
  // A sparse 5 GiB file whose pixels sit just below 4 GiB; bfSize keeps the dumps short.
  const std::string path = scratch("sparse.bmp");
  const std::uint32_t offset = 0xFFFFFF00u;
  auto header = testing_support::makeBmp(8, 4, 2, {}, {});
  testing_support::putLE(header, 2, offset + 8, 4);  // bfSize
  testing_support::putLE(header, 10, offset, 4);     // bfOffBits
  {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(header.data()),
               static_cast<std::streamsize>(header.size()));
    file.seekp(offset);
    file.write("\x11\x22\x33\x44\x55\x66\x77\x88", 8);
  }
  std::error_code error;
  fs::resize_file(path, std::uint64_t{5} << 30, error);
  if (error) GTEST_SKIP() << "no sparse 5 GiB file here: " << error.message();
  const auto result = runArgs({"quillfen", path});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.text.find("Size : [-248:1073741824] - Broken or invalid file"),
            std::string::npos);
  EXPECT_NE(result.text.find("Offbits : [-256]"), std::string::npos);
  EXPECT_NE(result.text.find("\n[11 22 33 44 ] - 1\n[55 66 77 88 ] - 2\n"), std::string::npos);
  // The length's low 32 bits print as a signed number.
  fs::resize_file(path, std::uint64_t{3} << 30);
  EXPECT_NE(runArgs({"quillfen", path}).text.find("Size : [-248:-1073741824]"), std::string::npos);
  fs::remove(path);
}

TEST(HostileInput, AReportThatCannotBeWrittenIsAFailure) {
  const std::string bmp = scratch("unwritable.bmp");
  ASSERT_TRUE(testing_support::writeFile(bmp, eightBitFile(64, 64)));
  const std::string err = scratch("stderr.txt");
  const std::string run = kBinary + " '" + bmp + "'";
  EXPECT_EQ(shell(run + " > /dev/full 2> '" + err + "'"), 255);
  EXPECT_EQ(testing_support::readText(err),
            "quillfen: cannot write the report: No space left on device\n");
  EXPECT_EQ(shell(run + " >&- 2> '" + err + "'"), 255);
  EXPECT_EQ(testing_support::readText(err),
            "quillfen: cannot write the report: Bad file descriptor\n");
  // Written in full: status 0 and nothing on standard error.
  EXPECT_EQ(shell(run + " > /dev/null 2> '" + err + "'"), 0);
  EXPECT_EQ(testing_support::readText(err), "");
  // A reader that leaves early ends the run by SIGPIPE, as it would cat. The report must be
  // larger than what the pipe holds.
  ASSERT_TRUE(testing_support::writeFile(bmp, eightBitFile(512, 512)));
  EXPECT_EQ(shell("bash -c \"" + run + " | head -c 10 > /dev/null; exit \\${PIPESTATUS[0]}\""),
            128 + SIGPIPE);
}

#endif  // _WIN32

}  // namespace
