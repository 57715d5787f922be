// Throughput benchmark: report text per second on large 1- to 24-bit images, against xxd on
// the same files in the same run, with peak memory; the decoder on the 24-bit image, rows from
// the top, and quillfen-compare on copies of it, against the report's time on it; then start-up
// on small files against xxd and cat. Exits non-zero when a target is missed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bitmap/source.h"
#include "decode/decoder.h"
#include "tests/support/bmp_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr double kMinXxdRatio = 5.0;
constexpr long kMaxRssKiB = 8L * 1024;
constexpr long kMaxRssSpreadKiB = 1024;
constexpr double kMaxSmallRunSeconds = 0.02;
// The decoder's own blocks: the file's 256 KiB read block and a piece of a row.
constexpr long kMaxDecodeBlocksKiB = 512;
// Start-up: runs of each tool on one small file, and files reported one process each.
constexpr int kStartupRuns = 301;
constexpr int kBatchFiles = 1000;

struct Options {
  std::string quillfen = "build/quillfen";
  std::string compare = "build/quillfen-compare";
  std::int32_t width = 4000;
  std::int32_t height = 3000;
  int runs = 5;
  int startupRuns = kStartupRuns;
  int batchFiles = kBatchFiles;
  bool smoke = false;         // smaller images, few runs, only the memory targets checked
  bool memoryTargets = true;  // off for sanitizer builds, whose runtime has its own memory
};

struct Run {
  double seconds = 0;
  long maxRssKiB = 0;
  std::uint64_t bytes = 0;  // text written, when counted
  int status = -1;
};

// Deterministic pseudo-random bytes (xorshift64).
class Noise {
 public:
  std::uint8_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint8_t>(state_ >> 24);
  }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15u;
};

std::vector<std::uint8_t> makeImage(std::uint16_t bits, std::int32_t width, std::int32_t height) {
  Noise noise;
  std::vector<std::uint8_t> table(bits <= 8 ? std::size_t{4} << bits : 0);
  for (std::uint8_t& b : table) b = noise.next();
  // Rows are padded to a multiple of four bytes.
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height));
  for (std::uint8_t& b : pixels) b = noise.next();
  return testing_support::makeBmp(bits, width, height, table, pixels);
}

// A process's peak RSS starts from the high-water mark of the memory it was started from,
// and exec keeps it. So every measured run goes through a trampoline: this program started
// afresh (small), which forks, execs the target and reports the target's own figures.
int trampoline(char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return 1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(stderr, "%.9f %ld %d\n", seconds, usage.ru_maxrss, code);
  return 0;
}

// Runs args through the trampoline, standard output to /dev/null or counted through a pipe.
Run spawn(const std::string& self, const std::vector<std::string>& args, bool count) {
  std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>("--trampoline")};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int out[2] = {-1, -1};
  int report[2] = {-1, -1};
  if (pipe(report) != 0 || (count && pipe(out) != 0)) std::perror("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (count) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, report[1], 2);
  posix_spawn_file_actions_addclose(&actions, report[0]);
  posix_spawn_file_actions_addclose(&actions, report[1]);
  Run run;
  pid_t pid = 0;
  const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(report[1]);
  if (count) close(out[1]);
  if (started == 0 && count) {
    std::vector<char> buffer(std::size_t{64} * 1024);
    ssize_t got = 0;
    while ((got = read(out[0], buffer.data(), buffer.size())) > 0) {
      run.bytes += static_cast<std::uint64_t>(got);
    }
  }
  if (count) close(out[0]);
  char line[128] = {};
  const ssize_t got = started == 0 ? read(report[0], line, sizeof line - 1) : 0;
  close(report[0]);
  if (started == 0) waitpid(pid, nullptr, 0);
  if (got <= 0 || std::sscanf(line, "%lf %ld %d", &run.seconds, &run.maxRssKiB, &run.status) != 3) {
    std::fprintf(stderr, "cannot run %s\n", args[0].c_str());
    run.status = -1;
  }
  return run;
}

struct Measure {
  std::uint64_t bytes = 0;
  double medianSeconds = 0;
  long maxRssKiB = 0;
  bool ok = true;
};

// Runs args once with its output counted and runs times more; ok when each exits with status.
Measure measure(const std::string& self, const std::vector<std::string>& args, int runs,
                int status = 0) {
  Measure m;
  const Run counted = spawn(self, args, true);
  m.bytes = counted.bytes;
  m.ok = counted.status == status;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const Run run = spawn(self, args, false);
    times.push_back(run.seconds);
    m.maxRssKiB = std::max(m.maxRssKiB, run.maxRssKiB);
    m.ok = m.ok && run.status == status;
  }
  std::sort(times.begin(), times.end());
  m.medianSeconds = times[times.size() / 2];
  return m;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs args and the report it is held to in turn, rounds times, so that both meet the same load
// on a shared machine; ok when args exits with status each time. The report's median goes to
// reportSeconds.
Measure measureAgainst(const std::string& self, const std::vector<std::string>& args, int status,
                       const std::vector<std::string>& reportArgs, int rounds,
                       double* reportSeconds) {
  Measure m;
  std::vector<double> times;
  std::vector<double> reportTimes;
  for (int i = 0; i < rounds; ++i) {
    const Run report = spawn(self, reportArgs, false);
    const Run run = spawn(self, args, false);
    reportTimes.push_back(report.seconds);
    times.push_back(run.seconds);
    m.maxRssKiB = std::max(m.maxRssKiB, run.maxRssKiB);
    m.ok = m.ok && run.status == status && report.status == 0;
  }
  m.medianSeconds = median(times);
  *reportSeconds = median(reportTimes);
  return m;
}

// Runs program on path with standard output to /dev/null; the seconds from spawn to exit.
double runOnce(const std::string& program, const std::string& path, bool* ok) {
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0 ||
      waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *ok = false;
  }
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// An 8-bit image of about 9 KB, like the small icons and test images people run over.
std::vector<std::uint8_t> smallImage(std::uint8_t seed) {
  std::vector<std::uint8_t> image = makeImage(8, 127, 64);
  for (std::size_t i = 1078; i < image.size(); i += 97) image[i] ^= seed;
  return image;
}

std::string findXxd() {
  for (const char* path : {"/usr/bin/xxd", "/bin/xxd", "/usr/local/bin/xxd"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return {};
}

// The decoder as a child: every row of the file from the top, into one row of RGBA and states,
// as a comparison of two files reads them. Exits 0 when every pixel is defined.
int decodeRows(const char* path) {
  bitmap::Source source;
  if (!source.open(path)) return 1;
  decode::SourceInput input(source);
  decode::Decoder decoder(input);
  if (!decoder.decodes()) return 1;
  std::vector<std::uint8_t> rgba(std::size_t{decoder.width()} * 4);
  std::vector<std::uint8_t> state(decoder.width());
  const std::vector<std::uint8_t> allDefined(decoder.width(), 0);
  bool defined = true;
  for (std::uint32_t y = 0; y < decoder.height(); ++y) {
    decoder.decodeRow(y, 0, decoder.width(), rgba.data(), state.data());
    defined = defined && std::memcmp(state.data(), allDefined.data(), state.size()) == 0;
  }
  return defined ? 0 : 1;
}

// The bench run as a child: writes one image and exits, taking its memory with it. A 24-bit
// image may be changed first (a sixth argument, which the page's and the package's tests leave
// out): "block", the blue of every pixel in a rectangle of half the width and half the height,
// in the middle; "scattered", the blue of every 16th pixel of every row.
int writeImage(int argc, char** argv) {
  const auto bits = static_cast<std::uint16_t>(std::atoi(argv[2]));
  const std::int32_t width = std::atoi(argv[3]);
  const std::int32_t height = std::atoi(argv[4]);
  std::vector<std::uint8_t> image = makeImage(bits, width, height);
  const std::string change = argc > 6 ? argv[6] : "none";
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  for (std::int32_t y = 0; bits == 24 && change != "none" && y < height; ++y) {
    const bool block = change == "block";
    if (block && (y < height / 4 || y >= height / 4 * 3)) continue;
    const std::int32_t from = block ? width / 4 : 0;
    const std::int32_t to = block ? width / 4 * 3 : width;
    for (std::int32_t x = from; x < to; x += block ? 1 : 16)
      image[54 + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3] ^= 0x10;
  }
  return testing_support::writeFile(argv[5], image) ? 0 : 1;
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--smoke") {
      // Large enough that a report held whole, or a file read whole, shows in peak memory.
      options.smoke = true;
      options.width = options.height = 1024;
      options.runs = 1;
      options.startupRuns = 5;
      options.batchFiles = 10;
    } else if (arg == "--sanitized") {
      options.memoryTargets = false;
    } else if (arg == "--quillfen" && i + 1 < argc) {
      options.quillfen = argv[++i];
    } else if (arg == "--compare" && i + 1 < argc) {
      options.compare = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      options.runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(
          stderr,
          "usage: %s [--quillfen PATH] [--compare PATH] [--runs N] [--smoke] [--sanitized]\n",
          argv[0]);
      std::exit(2);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 6 || argc == 7) && std::string(argv[1]) == "--write-image")
    return writeImage(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--decode") return decodeRows(argv[2]);
  if (argc > 2 && std::string(argv[1]) == "--trampoline") return trampoline(argv + 2);
  const Options options = parse(argc, argv);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string quillfen = fs::absolute(options.quillfen).string();
  const std::string compare = fs::absolute(options.compare).string();
  const std::string xxd = findXxd();
  const fs::path dir = fs::temp_directory_path() / ("quillfen-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  bool pass = true;

  std::printf("%-20s %4s %10s %9s %8s %9s %7s %8s\n", "file", "bpp", "report MB", "median s",
              "GB/s", "xxd GB/s", "ratio", "RSS KiB");
  long smallestRss = 0;
  long largestRss = 0;
  Measure decoded;
  std::vector<Measure> compared;        // a copy, a block changed, pixels scattered over every row
  std::vector<double> comparedReports;  // the report's median in the same rounds as each
  double reportSeconds = 0;
  std::string largeName;
  for (const int bits : {1, 4, 8, 16, 24}) {
    const std::string name = std::to_string(options.width) + "x" + std::to_string(options.height) +
                             "-" + std::to_string(bits) + ".bmp";
    const std::string path = (dir / name).string();
    if (spawn(self,
              {self, "--write-image", std::to_string(bits), std::to_string(options.width),
               std::to_string(options.height), path, "none"},
              false)
            .status != 0) {
      std::printf("cannot write %s\n", path.c_str());
      return 1;
    }
    const Measure ours = measure(self, {quillfen, path}, options.runs);
    const double ourRate = static_cast<double>(ours.bytes) / ours.medianSeconds / 1e9;
    double xxdRate = 0;
    if (!xxd.empty()) {
      const Measure theirs = measure(self, {xxd, path}, options.runs);
      xxdRate = static_cast<double>(theirs.bytes) / theirs.medianSeconds / 1e9;
    }
    const double ratio = xxdRate > 0 ? ourRate / xxdRate : 0;
    std::printf("%-20s %4u %10.1f %9.4f %8.2f %9.2f %7.1f %8ld\n", name.c_str(), bits,
                static_cast<double>(ours.bytes) / 1e6, ours.medianSeconds, ourRate, xxdRate, ratio,
                ours.maxRssKiB);
    largestRss = std::max(largestRss, ours.maxRssKiB);
    pass = pass && ours.ok && ours.bytes > 0;
    if (!options.smoke && (xxd.empty() || ratio < kMinXxdRatio)) {
      std::printf("  MISSED: at least %.0fx xxd's rate of text\n", kMinXxdRatio);
      pass = false;
    }
    if (options.memoryTargets && ours.maxRssKiB > kMaxRssKiB) {
      std::printf("  MISSED: peak RSS at most %ld KiB\n", kMaxRssKiB);
      pass = false;
    }
    if (bits == 24) {
      largeName = name;
      // The decoder, the comparison against a copy of the file, and against the file changed in
      // two ways, each in rounds with the report on the file: on a shared machine a load that
      // comes and goes meets both.
      const int comparisonRounds = options.smoke ? options.runs : std::max(options.runs, 11);
      decoded = measureAgainst(self, {self, "--decode", path}, 0, {quillfen, path},
                               comparisonRounds, &reportSeconds);
      for (const char* change : {"none", "block", "scattered"}) {
        const std::string other = (dir / (std::string(change) + ".bmp")).string();
        if (spawn(self,
                  {self, "--write-image", "24", std::to_string(options.width),
                   std::to_string(options.height), other, change},
                  false)
                .status != 0) {
          std::printf("cannot write %s\n", other.c_str());
          return 1;
        }
        const int status = std::string(change) == "none" ? 0 : 1;
        comparedReports.push_back(0);
        compared.push_back(measureAgainst(self, {compare, path, other}, status, {quillfen, path},
                                          comparisonRounds, &comparedReports.back()));
        fs::remove(other);
      }
    }
    fs::remove(path);
  }

  // A small file: start-up cost and the memory floor that the large files are compared with.
  const std::string small = (dir / "small.bmp").string();
  testing_support::writeFile(small, testing_support::sampleBitmap());
  const Measure tiny = measure(self, {quillfen, small}, std::max(options.runs, 5));
  smallestRss = tiny.maxRssKiB;
  std::printf("%-20s %4u %10.4f %9.4f %8s %9s %7s %8ld\n", "sample.bmp (150 B)", 8,
              static_cast<double>(tiny.bytes) / 1e6, tiny.medianSeconds, "-", "-", "-",
              tiny.maxRssKiB);
  pass = pass && tiny.ok;
  // The output buffer and the read block are what memory holds; a larger one of either shows
  // as memory that grows with the file.
  if (options.memoryTargets && largestRss - smallestRss > kMaxRssSpreadKiB) {
    std::printf("  MISSED: peak RSS of large and small files within %ld KiB\n", kMaxRssSpreadKiB);
    pass = false;
  }
  if (!options.smoke && tiny.medianSeconds > kMaxSmallRunSeconds) {
    std::printf("  MISSED: a small file's run within %.0f ms\n", kMaxSmallRunSeconds * 1e3);
    pass = false;
  }
  // The decoder, rows from the top, against the report on the same file; its memory against
  // its own on the small file: two rows (RGBA and states) and its blocks at most.
  const Measure decodedSmall = measure(self, {self, "--decode", small}, std::max(options.runs, 5));
  const long rowsKiB = 2L * options.width * 5 / 1024;
  std::printf("\n%-20s %9s %9s %7s %8s %9s %9s\n", "decode, rows from top", "median s", "report s",
              "ratio", "RSS KiB", "small s", "small KiB");
  std::printf("%-20s %9.4f %9.4f %7.2f %8ld %9.4f %9ld\n", largeName.c_str(), decoded.medianSeconds,
              reportSeconds, decoded.medianSeconds / reportSeconds, decoded.maxRssKiB,
              decodedSmall.medianSeconds, decodedSmall.maxRssKiB);
  pass = pass && decoded.ok && decodedSmall.ok;
  if (!options.smoke && decoded.medianSeconds > reportSeconds) {
    std::printf("  MISSED: decoding within the report's time on the same file\n");
    pass = false;
  }
  if (options.memoryTargets &&
      decoded.maxRssKiB - decodedSmall.maxRssKiB > rowsKiB + kMaxDecodeBlocksKiB) {
    std::printf("  MISSED: decoding within two rows and %ld KiB of its memory on a small file\n",
                kMaxDecodeBlocksKiB);
    pass = false;
  }

  // quillfen-compare on the 24-bit file and a copy, the file with a quarter of its pixels
  // changed in a block, and the file with every 16th pixel changed, where every row differs from
  // its first pixel to its last: each within the report's time on one file, measured in the same
  // rounds, and the memory target.
  std::printf("\n%-28s %9s %9s %7s %8s\n", "compare with the 24-bit file", "median s", "report s",
              "ratio", "RSS KiB");
  const char* const comparedNames[] = {"a copy", "a quarter changed, in a block",
                                       "every 16th pixel changed"};
  for (std::size_t i = 0; i < compared.size(); ++i) {
    const Measure& m = compared[i];
    const double against = comparedReports[i];
    std::printf("%-28s %9.4f %9.4f %7.2f %8ld\n", comparedNames[i], m.medianSeconds, against,
                m.medianSeconds / against, m.maxRssKiB);
    pass = pass && m.ok;
    if (!options.smoke && m.medianSeconds > against) {
      std::printf("  MISSED: comparing within the report's time on one file\n");
      pass = false;
    }
    if (options.memoryTargets && m.maxRssKiB > kMaxRssKiB) {
      std::printf("  MISSED: peak RSS at most %ld KiB\n", kMaxRssKiB);
      pass = false;
    }
  }

  // Start-up, where small files spend their time: the tool, xxd and cat interleaved on one
  // ~9 KB file, then a batch of files reported one process each.
  const std::string icon = (dir / "icon.bmp").string();
  testing_support::writeFile(icon, smallImage(0));
  std::vector<std::string> tools = {quillfen, xxd, "/bin/cat"};
  if (xxd.empty()) tools.erase(tools.begin() + 1);
  std::vector<std::vector<double>> times(tools.size());
  bool startupOk = true;
  for (int r = 0; r < options.startupRuns; ++r) {
    for (std::size_t t = 0; t < tools.size(); ++t) {
      bool ok = true;
      times[t].push_back(runOnce(tools[t], icon, &ok));
      if (t == 0) startupOk = startupOk && ok;
    }
  }
  std::printf("\n%-20s %5s %12s\n", "small file (9 KB)", "runs", "median ms");
  for (std::size_t t = 0; t < tools.size(); ++t) {
    std::printf("%-20s %5d %12.3f\n", fs::path(tools[t]).filename().c_str(), options.startupRuns,
                median(times[t]) * 1e3);
  }
  pass = pass && startupOk;
  if (!options.smoke && (xxd.empty() || median(times[0]) > median(times[1]))) {
    std::printf("  MISSED: a small file's median at most xxd's\n");
    pass = false;
  }

  std::vector<std::string> batch;
  for (int i = 0; i < options.batchFiles; ++i) {
    batch.push_back((dir / ("icon-" + std::to_string(i) + ".bmp")).string());
    testing_support::writeFile(batch.back(), smallImage(static_cast<std::uint8_t>(i)));
  }
  std::printf("\n%-20s %5s %12s %12s\n", "batch", "files", "total s", "per file ms");
  for (std::size_t t = 0; t + 1 < tools.size(); ++t) {
    bool ok = true;
    double total = 0;
    for (const std::string& file : batch) total += runOnce(tools[t], file, &ok);
    std::printf("%-20s %5d %12.3f %12.3f\n", fs::path(tools[t]).filename().c_str(),
                options.batchFiles, total, total / options.batchFiles * 1e3);
    if (t == 0) pass = pass && ok;
  }

  fs::remove_all(dir);
  std::printf("%s\n", pass ? "bench: all targets met" : "bench: FAILED");
  return pass ? 0 : 1;
}
