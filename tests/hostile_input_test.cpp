// Bad command lines and paths, names in any script, the real binary's line ends, files that
// shrink; on POSIX systems also streams, files past 4 GiB and output that fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/run.h"
#include "bitmap/source.h"
#include "report/sink.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

namespace fs = std::filesystem;
using testing_support::readText;
using testing_support::runArgs;

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

std::string withoutFileName(const std::string& text) {
  const std::size_t start = text.find("\n Filename [");
  return text.substr(0, start) + text.substr(text.find(']', start) + 1);
}

// Writes bmp to path; returns its report with the Filename line taken out.
std::string reportOfFile(const std::string& path, const std::vector<std::uint8_t>& bmp) {
  EXPECT_TRUE(testing_support::writeFile(path, bmp));
  return withoutFileName(runArgs({"quillfen", path}).text);
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

// The real binary's report in a file ends every line in CR LF on Windows and in a bare LF
// elsewhere, and is otherwise the report captured in memory. It spans several output blocks.
TEST(HostileInput, TheBinaryEndsLinesAsThePlatformDoes) {
  const std::string bmp = scratch("lines.bmp");
  ASSERT_TRUE(testing_support::writeFile(bmp, eightBitFile(300, 300)));
  ASSERT_EQ(shell(kBinary + " " + quote(bmp) + " > " + quote(scratch("lines.txt"))), 0);
  std::string expected;
  for (const char c : runArgs({"quillfen", bmp}).text) {
#ifdef _WIN32
    if (c == '\n') expected += '\r';
#endif
    expected += c;
  }
  EXPECT_TRUE(readText(scratch("lines.txt")) == expected) << "the reports differ";
}

// A file that loses its end after it was measured ends where a read first comes up short.
TEST(HostileInput, AFileThatShrinksEndsWhereItsReadsDo) {
  const std::string path = scratch("shrinks.bin");
  std::vector<std::uint8_t> bytes(3000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(testing_support::writeFile(path, bytes));
  bitmap::Source file(1000);
  ASSERT_TRUE(file.open(path.c_str()));
  std::vector<std::uint8_t> got(500, 0xAA);
  EXPECT_EQ(file.read(got.data(), 10), 10u);  // the first block is in memory now
  std::error_code error;
  fs::resize_file(fs::u8path(path), 1500, error);
  if (error) GTEST_SKIP() << "cannot shorten an open file here: " << error.message();
  file.seekSet(1200);
  EXPECT_EQ(file.read(got.data(), got.size()), 300u);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 300, bytes.begin() + 1200));
  EXPECT_EQ(got[300], 0xAA);
  EXPECT_EQ(file.size(), 1500u);
  file.seekSet(1600);
  EXPECT_EQ(file.read(got.data(), got.size()), 0u);
}

#ifdef _WIN32
// A named pipe cannot seek: it is spooled to a delete-on-close file, reported as the file it
// carries, and the temporary folder keeps nothing of it.
TEST(HostileInput, APipeIsReportedAsTheFileItCarries) {
  const auto bytes = eightBitFile(600, 600);  // several read blocks
  const std::string expected = reportOfFile(scratch("piped.bmp"), bytes);
  const std::string name = "\\\\.\\pipe\\quillfen-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                       PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  std::thread writer([&] {
    DWORD written = 0;
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
      WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(pipe);
  });
  const auto result = runArgs({"quillfen", name});
  writer.join();
  EXPECT_EQ(withoutFileName(result.text), expected);
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    const std::string file = entry.path().filename().u8string();
    EXPECT_FALSE(file.rfind("quillfen-", 0) == 0 && entry.path().extension() == ".tmp") << file;
  }
}

#else
void writeSparse(const std::string& path, const std::vector<std::uint8_t>& header,
                 std::uint64_t offset, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(header.data()),
             static_cast<std::streamsize>(header.size()));
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(HostileInput, FilesPast4GiBAreReadAt64BitPositions) {
  // A sparse 5 GiB file whose pixels sit just below 4 GiB; bfSize keeps the dumps short.
  const std::string path = scratch("sparse.bmp");
  auto header = testing_support::makeBmp(8, 4, 2, {}, {});
  testing_support::putLE(header, 2, 0xFFFFFF08u, 4);   // bfSize
  testing_support::putLE(header, 10, 0xFFFFFF00u, 4);  // bfOffBits
  writeSparse(path, header, 0xFFFFFF00u, "\x11\x22\x33\x44\x55\x66\x77\x88");
  std::error_code error;
  fs::resize_file(path, std::uint64_t{5} << 30, error);
  if (error) GTEST_SKIP() << "no sparse 5 GiB file here: " << error.message();
  const std::string text = runArgs({"quillfen", path}).text;
  EXPECT_NE(text.find("Size : [-248:1073741824] - Broken or invalid file"), std::string::npos);
  EXPECT_NE(text.find("Offbits : [-256]"), std::string::npos);
  EXPECT_NE(text.find("\n[11 22 33 44 ] - 1\n[55 66 77 88 ] - 2\n"), std::string::npos);
  // The length's low 32 bits print as a signed number.
  fs::resize_file(path, std::uint64_t{3} << 30);
  EXPECT_NE(runArgs({"quillfen", path}).text.find("Size : [-248:-1073741824]"), std::string::npos);

  // A 24-bit dump at an offset of 2^31: a position, not a negative seek.
  header = testing_support::makeBmp(24, 2, 1, {}, {});
  testing_support::putLE(header, 10, 0x80000000u, 4);  // bfOffBits
  writeSparse(path, header, 0x80000000u, std::string("\x01\x02\x03\x04\x05\x06\0\0", 8));
  EXPECT_NE(runArgs({"quillfen", path}).text.find("\n[(  3.  2.  1) (  6.  5.  4) ] - 1\n"),
            std::string::npos);
  fs::remove(path);
}

TEST(HostileInput, AReportThatCannotBeWrittenIsAFailure) {
  const std::string bmp = scratch("unwritable.bmp");
  ASSERT_TRUE(testing_support::writeFile(bmp, eightBitFile(512, 512)));
  const std::string run = kBinary + " '" + bmp + "' 2> " + quote(scratch("stderr.txt"));
  const std::string error = "quillfen: cannot write the report: ";
  EXPECT_EQ(shell(run + " > /dev/full"), 255);
  EXPECT_EQ(readText(scratch("stderr.txt")), error + "No space left on device\n");
  EXPECT_EQ(shell(run + " >&-"), 255);
  EXPECT_EQ(readText(scratch("stderr.txt")), error + "Bad file descriptor\n");
  EXPECT_EQ(shell(run + " > /dev/null"), 0);
  EXPECT_EQ(readText(scratch("stderr.txt")), "");
  // A reader that leaves early ends the run by SIGPIPE, as it would cat: the report is
  // larger than what the pipe holds.
  EXPECT_EQ(shell("bash -c \"" + run + " | head -c 10; exit \\${PIPESTATUS[0]}\" > /dev/null"),
            128 + SIGPIPE);
}

// Reports on a pipe that holds bytes; its writing end stays open unless closeWriter, so a
// reader that read on past what it needs would wait for ever.
testing_support::RunResult reportOnPipe(const std::vector<std::uint8_t>& bytes, bool closeWriter,
                                        std::uint64_t cap) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  if (closeWriter) close(fds[1]);
  bitmap::Source file;
  file.setStreamCap(cap);
  EXPECT_TRUE(file.open(("/dev/fd/" + std::to_string(fds[0])).c_str()));
  testing_support::RunResult result;
  report::Sink out(result.text);
  result.status = app::runReport(file, "pipe", out);
  EXPECT_TRUE(out.finish());
  close(fds[0]);
  if (!closeWriter) close(fds[1]);
  return result;
}

TEST(HostileInput, StreamsAreReadOnlyAsFarAsTheyAreNeeded) {
  std::vector<std::uint8_t> notBitmap(200, 'z');
  notBitmap[0] = 'X';
  notBitmap[1] = 'Y';
  const auto refused = reportOnPipe(notBitmap, false, bitmap::Source::kMaxUnseekableSize);
  EXPECT_EQ(refused.status, -1);
  EXPECT_EQ(refused.text.substr(refused.text.find(" Filename")),
            " Filename [pipe]\n\nBitmap file needed!");

  // 11078 bytes, within a pipe's buffer, taken up to a cap of 4096: the pixels past it are
  // past the end, and the dump repeats the last byte it found.
  const auto bytes = eightBitFile(100, 100);
  const std::string text = reportOnPipe(bytes, true, 4096).text;
  EXPECT_NE(text.find("Size : [11078:4096] - Broken or invalid file"), std::string::npos);
  char repeated[8];
  std::snprintf(repeated, sizeof repeated, "%02X %02X ", bytes[4095], bytes[4095]);
  EXPECT_NE(text.find(std::string("\n[") + repeated), std::string::npos) << text;
}

// A stream is copied into an unnamed file in $TMPDIR, or into memory where no such file can
// be had or written; no name of it is left after the run, nor after a run that is killed.
TEST(HostileInput, StreamsSpoolToAnUnnamedFileThatNeverOutlivesTheRun) {
  const std::string bmp = scratch("spooled.bmp");
  const std::string expected = reportOfFile(bmp, eightBitFile(700, 700));  // two read blocks
  const std::string tmp = scratch("tmp");
  fs::create_directories(tmp);
  const std::string out = scratch("spooled.txt");
  for (const std::string& run :
       {"TMPDIR=" + quote(tmp) + " " + kBinary + " /dev/stdin",
        "TMPDIR=" + quote(scratch("missing")) + " " + kBinary + " /dev/stdin",
        // a spool that stops taking bytes after 50 KiB
        "(trap '' XFSZ; ulimit -f 100; TMPDIR=" + quote(tmp) + " exec " + kBinary +
            " /dev/stdin) | cat"}) {
    EXPECT_EQ(shell("cat " + quote(bmp) + " | " + run + " > " + quote(out)), 0) << run;
    EXPECT_EQ(withoutFileName(readText(out)), expected) << run;
    EXPECT_TRUE(fs::is_empty(tmp)) << run;
  }
  // Killed while it waits for more: its open files name the spool in tmp, and none is left.
  EXPECT_EQ(shell("{ cat " + quote(bmp) + "; sleep 3; } | TMPDIR=" + quote(tmp) + " " + kBinary +
                  " /dev/stdin > /dev/null & pid=$!; sleep 1; { ls -A " + quote(tmp) +
                  "; ls -l /proc/$pid/fd | grep -c " + quote(tmp) + "; } > " + quote(out) +
                  "; kill -9 $pid"),
            0);
  EXPECT_EQ(readText(out), "1\n");
  EXPECT_TRUE(fs::is_empty(tmp));
}

#endif  // _WIN32

}  // namespace
