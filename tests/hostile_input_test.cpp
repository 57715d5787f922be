// Bad command lines and paths, names in any script, files that shrink; on POSIX systems also
// streams, files past 4 GiB and output that fails. (The real binary's line ends, CR LF on
// Windows, are held by compare_reports.sh --crlf in CI and the spool test here.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <tuple>
#include <utility>

#include "app/run.h"
#include "bitmap/platform.h"
#include "bitmap/source.h"
#include "report/sink.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

// The real binary as a shell command word, behind the emulator in a cross build.
const std::string kBinary = std::string(QUILLFEN_EMULATOR) + " " + quote(QUILLFEN_BINARY);

std::string scratch(const std::string& name) { return scratchDir() + "/" + name; }

std::vector<std::uint8_t> sevens() {
  std::vector<std::uint8_t> bytes(3000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  return bytes;
}

std::vector<std::uint8_t> eightBitFile(std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) *
                                   static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::uint8_t>(i * 31 % 251);
  std::vector<std::uint8_t> table = sevens();
  table.resize(1024);
  return makeBmp(8, width, height, table, pixels);
}

std::string withoutFileName(const std::string& text) {
  const std::size_t start = text.find("\n Filename [");
  return text.substr(0, start) + text.substr(text.find(']', start) + 1);
}

// Writes bmp to path; returns its report with the Filename line taken out.
std::string reportOfFile(const std::string& path, const std::vector<std::uint8_t>& bmp) {
  EXPECT_TRUE(writeFile(path, bmp));
  return withoutFileName(runArgs({"quillfen", path}).text);
}

// Refused command lines name the program (itself when argv[0] is missing); paths that do not
// open as a file are refused alike.
TEST(HostileInput, WrongArgumentCountsAndUnopenablePaths) {
  const std::string invalid = "Invalide File, please check filename\n";
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"./prog"}, "usage : ./prog [filename.ext]\n"},
      {{"/x/qf", "a.bmp", "b.bmp"}, "usage : /x/qf [filename.ext]\n"},
      {{}, "usage : quillfen [filename.ext]\n"},
      {{"quillfen", scratch("missing.bmp")}, invalid},
      {{"quillfen", scratchDir()}, invalid}};
  for (const auto& [args, expected] : rows) {
    const auto result = runArgs(args);
    EXPECT_EQ(result.status, -1) << ::testing::PrintToString(args);
    EXPECT_EQ(result.text, expected) << ::testing::PrintToString(args);
  }
}

TEST(HostileInput, ANameInAnyScriptOpensAndIsPrintedAsUtf8) {
  // "图像 café.bmp": outside every ANSI code page, and accented.
  const std::string name = scratch("\xE5\x9B\xBE\xE5\x83\x8F caf\xC3\xA9.bmp");
  ASSERT_TRUE(writeFile(name, sampleBitmap()));
  const auto result = runArgs({"quillfen", name});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.text.find("\n Filename [" + name + "]\n"), std::string::npos) << result.text;
  EXPECT_NE(result.text.find("] - 4\n"), std::string::npos) << result.text;
}

// A source of sevens() whose content ends at end: a read across it takes the bytes up to it and
// no more, and a read past it takes nothing.
void expectEndsAt(bitmap::Source& source, const std::vector<std::uint8_t>& bytes, std::size_t end) {
  std::vector<std::uint8_t> got(500, 0xAA);
  source.seekSet(end - 300);
  EXPECT_EQ(source.read(got.data(), got.size()), 300u);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 300,
                         bytes.begin() + static_cast<std::ptrdiff_t>(end - 300)));
  EXPECT_EQ(got[300], 0xAA);
  EXPECT_EQ(source.size(), end);
  source.seekSet(end + 100);
  EXPECT_EQ(source.read(got.data(), 1), 0u);
}

// Bytes that stop coming part way through a view end its content there, as a file that shrinks,
// and the run does not wait again.
std::size_t fillCalls = 0;
std::size_t stopsAt1000(std::uint64_t /*position*/) {
  ++fillCalls;
  return 1000;
}

TEST(HostileInput, AViewWhoseBytesStopComingEndsWhereTheyStopped) {
  const auto bytes = sevens();
  bitmap::Source view;
  view.openFillingView(bytes.data(), bytes.size(), 600, stopsAt1000);
  std::uint8_t first[500];
  EXPECT_EQ(view.read(first, 500), 500u);
  EXPECT_EQ(fillCalls, 0u);  // the first 600 bytes were there
  expectEndsAt(view, bytes, 1000);
  const std::size_t calls = fillCalls;
  view.seekSet(2000);
  EXPECT_EQ(view.read(first, 1), 0u);
  EXPECT_EQ(fillCalls, calls);
}

// A file that loses its end after it was measured ends where a read first comes up short.
TEST(HostileInput, AFileThatShrinksEndsWhereItsReadsDo) {
  const std::string path = scratch("shrinks.bin");
  const auto bytes = sevens();
  ASSERT_TRUE(writeFile(path, bytes));
  bitmap::Source file(1000);
  ASSERT_TRUE(file.open(path.c_str()));
  std::uint8_t first[10];
  EXPECT_EQ(file.read(first, 10), 10u);  // the first block is in memory now
  std::error_code error;
  fs::resize_file(fs::u8path(path), 1500, error);
  if (error) GTEST_SKIP() << "cannot shorten an open file here: " << error.message();
  expectEndsAt(file, bytes, 1500);
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

// Counts the report's bytes and lines, keeping none of it: it runs to gigabytes.
std::uint64_t reportBytes = 0;
std::uint64_t reportLines = 0;
int countReport(const char* data, std::size_t size) {
  reportBytes += size;
  reportLines += static_cast<std::uint64_t>(std::count(data, data + size, '\n'));
  return 0;
}

std::uint64_t linesOfReport(const std::string& path) {
  reportBytes = 0;
  reportLines = 0;
  report::Sink out(countReport);
  EXPECT_EQ(app::run(2, std::array<const char*, 3>{"quillfen", path.c_str(), nullptr}.data(), out),
            0);
  return reportLines;
}

struct SparseCase {
  std::uint16_t bits;
  std::int32_t width;
  std::int32_t height;
  std::uint32_t bfSize;
  std::uint32_t bfOffBits;  // where pixels are written
  std::string pixels;
  std::uint64_t length;  // of the sparse file
  std::string expected;  // a part of the report
};

TEST(HostileInput, HugeSparseFilesAreReadWhereTheirBytesLie) {
  const std::string path = scratch("sparse.bmp");
  const std::string eight = "\x11\x22\x33\x44\x55\x66\x77\x88";
  const std::string rows4 = std::string("\x11\0\0\0\x22\0\0\0\x33\0\0\0\x44", 13);
  const SparseCase rows[] = {
      // Pixels just below 4 GiB in 5 GiB; bfSize keeps the dumps short. The length's low 32 bits
      // print as a signed number.
      {8, 4, 2, 0xFFFFFF08u, 0xFFFFFF00u, eight, std::uint64_t{5} << 30,
       "Size : [-248:1073741824] - Broken or invalid file\n\t        Offbits : [-256]"},
      {8, 4, 2, 0xFFFFFF08u, 0xFFFFFF00u, eight, std::uint64_t{5} << 30,
       "\n[11 22 33 44 ] - 1\n[55 66 77 88 ] - 2\n"},
      {8, 4, 2, 0xFFFFFF08u, 0xFFFFFF00u, eight, std::uint64_t{3} << 30,
       "Size : [-248:-1073741824]"},
      // Rows of one pixel byte and three pad bytes across 4 GiB (bfSize 2^32 + 8 as stored): the
      // last two at 2^32 and past it, where a position cut to 32 bits would read the file's start.
      {8, 1, 4, 8, 0xFFFFFFF8u, rows4, std::uint64_t{5} << 30,
       "\n[11 ] - 1\n[22 ] - 2\n[33 ] - 3\n[44 ] - 4\n"},
      // A 24-bit dump at an offset of 2^31: a position, not a negative seek.
      {24, 2, 1, 54, 0x80000000u, std::string("\x01\x02\x03\x04\x05\x06\0\0", 8), 0x80000008u,
       "\n[(  3.  2.  1) (  6.  5.  4) ] - 1\n"}};
  for (const SparseCase& row : rows) {
    auto header = makeBmp(row.bits, row.width, row.height, {}, {});
    putLE(header, 2, row.bfSize, 4);
    putLE(header, 10, row.bfOffBits, 4);
    writeSparse(path, header, row.bfOffBits, row.pixels);
    std::error_code error;
    fs::resize_file(path, row.length, error);
    if (error) GTEST_SKIP() << "no sparse file of " << row.length << " bytes: " << error.message();
    // As the tool reads, and two bytes at a time, so that the reader seeks to each row.
    bitmap::Source inPairs(2);
    ASSERT_TRUE(inPairs.open(path.c_str()));
    for (const std::string& text :
         {runArgs({"quillfen", path}).text, runSource(inPairs, path).text}) {
      EXPECT_NE(text.find(row.expected), std::string::npos) << row.expected << "\nis not in\n"
                                                            << text.substr(0, 3000);
    }
  }

  // A 1-bit file of width -2^31: the bit picture's row length is the width shifted right by
  // three with its sign, 2^32 - 2^28 bytes, so its 2^28 + 8 bytes make one row. Shifted
  // without the sign it would be 2^28 and break the row once. The report, over 4 GB of text,
  // has as many lines as the same file's with no pixel bytes at all. Too slow to make under
  // an emulator.
  if (!std::string(QUILLFEN_EMULATOR).empty()) return;
  constexpr std::uint32_t kOffBits = 62;
  constexpr std::uint32_t kDataCount = (1U << 28) + 8;
  auto header = makeBmp(1, INT32_MIN, 1, std::vector<std::uint8_t>(8, 0x80), {});
  putLE(header, 2, kOffBits, 4);  // bfSize: no pixel bytes
  ASSERT_TRUE(writeFile(path, header));
  const std::uint64_t lines = linesOfReport(path);
  putLE(header, 2, kOffBits + kDataCount, 4);
  writeSparse(path, header, kOffBits + kDataCount - 1, std::string(1, '\x01'));
  EXPECT_EQ(linesOfReport(path), lines);
  EXPECT_GT(reportBytes, std::uint64_t{4} << 30);
  fs::remove(path);
}

// Where no unnamed file can be made, the spool takes a fresh name and removes it at once.
TEST(HostileInput, TheFallbackTemporaryFileLeavesNoName) {
  const std::string dir = scratch("fallback-tmp");
  fs::create_directories(dir);
  std::FILE* file = bitmap::platform::openRemovedTemporaryFile(dir);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(fs::is_empty(dir));
  EXPECT_EQ(std::fwrite("spooled", 1, 7, file), 7u);
  EXPECT_TRUE(bitmap::platform::seekTo(file, 0));
  char back[8] = {};
  EXPECT_EQ(std::fread(back, 1, 7, file), 7u);
  EXPECT_STREQ(back, "spooled");
  std::fclose(file);
  EXPECT_TRUE(fs::is_empty(dir));
}

// A failed write ends the run with 255 and says why; a reader that leaves early ends it by
// SIGPIPE, as it would cat (the report is larger than a pipe holds), or where SIGPIPE is ignored
// by the failed write, silently: the reader has what it wanted.
TEST(HostileInput, AReportThatCannotBeWrittenIsAFailure) {
  const std::string bmp = scratch("unwritable.bmp");
  ASSERT_TRUE(writeFile(bmp, eightBitFile(512, 512)));
  const std::string run = kBinary + " '" + bmp + "' 2> " + quote(scratch("stderr.txt"));
  const std::string error = "quillfen: cannot write the report: ";
  const std::string early = " | head -c 10; exit \\${PIPESTATUS[0]}\" > /dev/null";
  const std::tuple<std::string, int, std::string> rows[] = {
      {run + " > /dev/full", 255, error + "No space left on device\n"},
      {run + " >&-", 255, error + "Bad file descriptor\n"},
      {run + " > /dev/null", 0, ""},
      {"bash -c \"" + run + early, 128 + SIGPIPE, ""},
      {"bash -c \"trap '' PIPE; " + run + early, 255, ""}};
  for (const auto& [command, status, stderrText] : rows) {
    EXPECT_EQ(shell(command), status) << command;
    EXPECT_EQ(readText(scratch("stderr.txt")), stderrText) << command;
  }
}

struct PipeRun {
  RunResult result;
  std::size_t left = 0;  // bytes the run did not take
};

// Reports on a pipe that holds bytes, with $TMPDIR set to tmpdir when given. Unless closeWriter,
// the writer keeps its end open until the run is over, or for 3 s at most: a reader that read on
// past what it needs would wait for it, then take nothing but the end, and leave nothing. A run
// that has not ended within 10 s spins or waits where it should have stopped: the test program
// fails at once, saying so, rather than wait for the test runner's timeout.
PipeRun reportOnPipe(const std::vector<std::uint8_t>& bytes, bool closeWriter, std::uint64_t cap,
                     const char* tmpdir = nullptr) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  if (closeWriter) close(fds[1]);
  std::promise<void> runEnded;
  std::thread writer([&fds, closeWriter, ended = runEnded.get_future()] {
    if (closeWriter) return;
    ended.wait_for(std::chrono::seconds(3));
    close(fds[1]);
  });
  const char* outerTmpdir = std::getenv("TMPDIR");
  const std::string saved = outerTmpdir != nullptr ? outerTmpdir : "";
  if (tmpdir != nullptr) setenv("TMPDIR", tmpdir, 1);
  PipeRun run;
  std::packaged_task<void()> task([&] {
    bitmap::Source file;
    file.setStreamCap(cap);
    EXPECT_TRUE(file.open(("/dev/fd/" + std::to_string(fds[0])).c_str()));
    run.result = runSource(file, "pipe");
  });
  std::future<void> ended = task.get_future();
  std::thread runner(std::move(task));
  if (ended.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    std::fprintf(stderr, "FAILED: a report on a pipe did not end within 10 s\n");
    std::_Exit(1);
  }
  runner.join();
  runEnded.set_value();
  writer.join();
  if (tmpdir != nullptr && outerTmpdir != nullptr) setenv("TMPDIR", saved.c_str(), 1);
  if (tmpdir != nullptr && outerTmpdir == nullptr) unsetenv("TMPDIR");
  char rest[4096];
  for (ssize_t got = 0; (got = read(fds[0], rest, sizeof rest)) > 0;) {
    run.left += static_cast<std::size_t>(got);
  }
  close(fds[0]);
  return run;
}

TEST(HostileInput, StreamsAreReadOnlyAsFarAsTheyAreNeeded) {
  // "BX": it takes the two header records, 58 bytes, and refuses at once, without waiting for
  // the rest or for the writer to let go.
  std::vector<std::uint8_t> notBitmap(200, 'z');
  notBitmap[0] = 'B';
  notBitmap[1] = 'X';
  const auto refused = reportOnPipe(notBitmap, false, bitmap::Source::kMaxUnseekableSize);
  EXPECT_EQ(refused.result.status, -1);
  EXPECT_EQ(refused.result.text.substr(refused.result.text.find(" Filename")),
            " Filename [pipe]\n\nBitmap file needed!");
  EXPECT_EQ(refused.left, notBitmap.size() - 58);

  // 11078 bytes, within a pipe's buffer, taken up to a cap of 4096, into a temporary file and,
  // where there is no temporary folder, into memory: the pixels past the cap are past the end,
  // and the dump repeats the last byte it found.
  const auto bytes = eightBitFile(100, 100);
  char repeated[8];
  std::snprintf(repeated, sizeof repeated, "%02X %02X ", bytes[4095], bytes[4095]);
  for (const char* tmpdir : {static_cast<const char*>(nullptr), "/nonexistent-quillfen-tmp"}) {
    const auto capped = reportOnPipe(bytes, true, 4096, tmpdir);
    const std::string& text = capped.result.text;
    EXPECT_NE(text.find("Size : [11078:4096] - Broken or invalid file"), std::string::npos);
    EXPECT_NE(text.find(std::string("\n[") + repeated), std::string::npos) << text;
    EXPECT_EQ(capped.left, bytes.size() - 4096);
  }
}

// A stream is copied into an unnamed file in $TMPDIR, or into memory where no such file can
// be had or written; no name of it is left after the run, nor after a run that is killed.
TEST(HostileInput, StreamsSpoolToAnUnnamedFileThatNeverOutlivesTheRun) {
  const std::string bmp = scratch("spooled.bmp");
  // Over 1 MiB, in five read blocks.
  const std::string expected = reportOfFile(bmp, eightBitFile(1050, 1000));
  const std::string tmp = scratch("tmp");
  fs::create_directories(tmp);
  const std::string out = scratch("spooled.txt");
  // Each run ends within 20 s, or is stopped and fails: a reader that spins on an ended stream.
  const std::string within = "timeout 20 ";
  for (const std::string& run :
       {"TMPDIR=" + quote(tmp) + " " + within + kBinary + " /dev/stdin",
        "TMPDIR=" + quote(scratch("missing")) + " " + within + kBinary + " /dev/stdin",
        // a spool that stops taking bytes after 50 KiB
        "(trap '' XFSZ; ulimit -f 100; TMPDIR=" + quote(tmp) + " exec " + within + kBinary +
            " /dev/stdin) | cat"}) {
    EXPECT_EQ(shell("cat " + quote(bmp) + " | " + run + " > " + quote(out)), 0) << run;
    EXPECT_TRUE(withoutFileName(readText(out)) == expected) << run << ": the reports differ";
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
