// Bad command lines and paths, names in any script, and the line ends of the real binary's
// report on every platform; on POSIX systems also input that cannot seek, files past 4 GiB
// and output that fails.
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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <future>
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

// The report with its Filename line taken out.
std::string withoutFileName(const std::string& text) {
  const std::size_t start = text.find("\n Filename [");
  return start == std::string::npos
             ? text
             : text.substr(0, start) + text.substr(text.find(']', start) + 1);
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

// A file that loses its end after it was measured ends where a read first comes up short.
TEST(HostileInput, AFileThatShrinksEndsWhereItsReadsDo) {
  const std::string path = scratch("shrinks.bin");
  std::vector<std::uint8_t> bytes(3000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(testing_support::writeFile(path, bytes));
  bitmap::Source file(1000);
  ASSERT_TRUE(file.open(path.c_str()));
  std::uint8_t first[10] = {};
  EXPECT_EQ(file.read(first, sizeof first), sizeof first);
  std::error_code error;
  fs::resize_file(fs::u8path(path), 1500, error);
  if (error) GTEST_SKIP() << "cannot shorten an open file here: " << error.message();

  std::vector<std::uint8_t> got(500, 0xAA);
  file.seekSet(1200);
  EXPECT_EQ(file.read(got.data(), got.size()), 300u);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 300, bytes.begin() + 1200));
  EXPECT_EQ(got[300], 0xAA);
  EXPECT_EQ(file.size(), 1500u);
  file.seekSet(1600);
  EXPECT_EQ(file.read(got.data(), got.size()), 0u);
  EXPECT_EQ(got[0], bytes[1200]);
}

#ifdef _WIN32
// A named pipe cannot seek: it is spooled to a delete-on-close file and reported as the file
// it carries, and the temporary folder keeps nothing of it.
TEST(HostileInput, APipeIsReportedAsTheFileItCarries) {
  const auto bytes = eightBitFile(600, 600);  // several read blocks
  const std::string bmp = scratch("piped.bmp");
  ASSERT_TRUE(testing_support::writeFile(bmp, bytes));
  const std::string expected = withoutFileName(runArgs({"quillfen", bmp}).text);
  const std::string name = "\\\\.\\pipe\\quillfen-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                       PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  std::thread writer([&] {
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
      DWORD written = 0;
      WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      FlushFileBuffers(pipe);
    }
    CloseHandle(pipe);
  });
  const auto result = runArgs({"quillfen", name});
  writer.join();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(withoutFileName(result.text), expected);
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    const std::string file = entry.path().filename().u8string();
    EXPECT_FALSE(file.rfind("quillfen-", 0) == 0 && entry.path().extension() == ".tmp") << file;
  }
}

#else
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

  // A 24-bit dump at an offset of 2^31: a position, not a negative seek.
  auto trueColor = testing_support::makeBmp(24, 2, 1, {}, {});
  testing_support::putLE(trueColor, 10, std::uint32_t{1} << 31, 4);  // bfOffBits
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(trueColor.data()),
               static_cast<std::streamsize>(trueColor.size()));
    file.seekp(std::streamoff{1} << 31);
    file.write("\x01\x02\x03\x04\x05\x06\0\0", 8);
  }
  const auto pixels = runArgs({"quillfen", path});
  EXPECT_NE(pixels.text.find("Offbits : [-2147483648]"), std::string::npos) << pixels.text;
  EXPECT_NE(pixels.text.find("\n[(  3.  2.  1) (  6.  5.  4) ] - 1\n"), std::string::npos)
      << pixels.text;
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

// The whole run on an open Source, as the tool would report it.
testing_support::RunResult reportOn(bitmap::Source& file) {
  testing_support::RunResult result;
  report::Sink out(result.text);
  result.status = app::runReport(file, "stream", out);
  EXPECT_TRUE(out.finish());
  return result;
}

TEST(HostileInput, AStreamThatIsNotABitmapIsRefusedWithoutReadingOn) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  // More than the head, and the writing end stays open: reading on would wait for ever.
  const std::string bytes = "XY" + std::string(200, 'z');
  ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  bitmap::Source file;
  const std::string path = "/dev/fd/" + std::to_string(fds[0]);
  auto opened = std::async(std::launch::async, [&] { return file.open(path.c_str()); });
  const bool returned = opened.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  close(fds[1]);
  ASSERT_TRUE(returned) << "the reader waited for the end of a stream that is not a bitmap";
  ASSERT_TRUE(opened.get());
  const auto result = reportOn(file);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.text.substr(result.text.find(" Filename")),
            " Filename [stream]\n\nBitmap file needed!");
  close(fds[0]);
}

TEST(HostileInput, AStreamIsTakenUpToTheCap) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const auto bytes = eightBitFile(100, 100);  // 11078 bytes, well within a pipe's buffer
  ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fds[1]);
  bitmap::Source file;
  file.setStreamCap(4096);
  ASSERT_TRUE(file.open(("/dev/fd/" + std::to_string(fds[0])).c_str()));
  close(fds[0]);
  EXPECT_EQ(file.size(), 4096u);
  const auto result = reportOn(file);
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.text.find("Size : [11078:4096] - Broken or invalid file"), std::string::npos);
  // Pixels past the cap are past the end: the dump repeats the last byte it found.
  const std::uint8_t last = bytes[4095];
  char repeated[8];
  std::snprintf(repeated, sizeof repeated, "%02X %02X ", last, last);
  EXPECT_NE(result.text.find(std::string("\n[") + repeated), std::string::npos) << result.text;
}

// A stream is copied into an unnamed file in $TMPDIR: it is there while the run reads it,
// and no name of it is left after the run, after a run that is killed, or ever.
TEST(HostileInput, StreamsSpoolToAnUnnamedFileThatNeverOutlivesTheRun) {
  const std::string bmp = scratch("spooled.bmp");
  ASSERT_TRUE(testing_support::writeFile(bmp, eightBitFile(700, 700)));  // two read blocks
  const std::string expected = withoutFileName(runArgs({"quillfen", bmp}).text);
  const std::string tmp = scratch("tmp");
  fs::create_directories(tmp);
  const std::string out = scratch("spooled.txt");
  const std::string source = "cat " + quote(bmp) + " | ";

  EXPECT_EQ(shell(source + "TMPDIR=" + quote(tmp) + " " + kBinary + " /dev/stdin > " + quote(out)),
            0);
  EXPECT_EQ(withoutFileName(testing_support::readText(out)), expected);
  EXPECT_TRUE(fs::is_empty(tmp));

  // Killed while it waits for more: its open files name the spool in tmp, and none is left.
  const std::string seen = scratch("seen.txt");
  EXPECT_EQ(shell("{ cat " + quote(bmp) + "; sleep 3; } | TMPDIR=" + quote(tmp) + " " + kBinary +
                  " /dev/stdin > /dev/null & pid=$!; sleep 1; { ls -A " + quote(tmp) +
                  "; ls -l /proc/$pid/fd | grep -c " + quote(tmp) + "; } > " + quote(seen) +
                  "; kill -9 $pid"),
            0);
  EXPECT_EQ(testing_support::readText(seen), "1\n");
  EXPECT_TRUE(fs::is_empty(tmp));

  // No temporary file to be had, or one that stops taking bytes after 50 KiB: memory.
  EXPECT_EQ(shell(source + "TMPDIR=" + quote(scratch("missing")) + " " + kBinary +
                  " /dev/stdin > " + quote(out)),
            0);
  EXPECT_EQ(withoutFileName(testing_support::readText(out)), expected);
  EXPECT_EQ(shell(source + "(trap '' XFSZ; ulimit -f 100; TMPDIR=" + quote(tmp) + " exec " +
                  kBinary + " /dev/stdin) | cat > " + quote(out)),
            0);
  EXPECT_EQ(withoutFileName(testing_support::readText(out)), expected);
  EXPECT_TRUE(fs::is_empty(tmp));
}

#endif  // _WIN32

}  // namespace
