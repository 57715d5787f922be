// Fuzz target: any bytes as the input file of a whole run. Each input is reported four times,
// from memory (as a pipe's content is), from the caller's bytes in place (as the Node API reads
// them), from bytes that arrive while the run reads them (as the page streams a file in) and
// from a real file through the block reader; the reports (read in tiny blocks where there are
// blocks) must be identical, the status 0 or -1, and the text within 64 bytes per input byte
// + 1 MiB. The inspector is opened on each input too, and its answers checked against the
// report (inspect_checks.cpp), the decoder, its map and its pixel sources checked on it
// (decode_checks.cpp), and the comparison run on it and on variants of it (compare_checks.cpp).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "app/run.h"
#include "bitmap/source.h"
#include "fuzz/compare_checks.h"
#include "fuzz/decode_checks.h"
#include "fuzz/inspect_checks.h"
#include "report/sink.h"

namespace {

constexpr std::size_t kCapacity = std::size_t{64} * 1024;
// Tiny read blocks, so that inputs of a few KiB cross block boundaries everywhere.
constexpr std::size_t kBlockSize = 5;
constexpr std::size_t kMemoryChunk = 7;

void require(bool holds, const std::string& what) {
  if (!holds) {
    std::fprintf(stderr, "fuzz_run: %s\n", what.c_str());
    std::abort();
  }
}

// A file of this process's own in the temporary folder, named by the time it was first asked for.
std::string scratchFile() {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return (std::filesystem::temp_directory_path() /
          ("quillfen-fuzz-" + std::to_string(stamp) + ".bmp"))
      .u8string();
}

// The bytes of a filling view arrive three past each position the run waits at.
std::size_t fillingSize = 0;
std::size_t threeMore(std::uint64_t position) {
  return static_cast<std::size_t>(position + 3 < fillingSize ? position + 3 : fillingSize);
}

// The status and report of a run on file.
std::pair<int, std::string> reportOn(bitmap::Source& file) {
  std::string text;
  report::Sink out(text, kCapacity);
  const int status = app::runReport(file, "input.bmp", out);
  require(out.finish(), "capturing sink failed");
  return {status, text};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::checkDecoder(data, size);
  fuzz::checkComparison(data, size);
  static const std::string path = scratchFile();
  bitmap::Source memory(kMemoryChunk);  // small chunks, so that items cross chunk edges
  memory.openMemory(data, size);
  const auto fromMemory = reportOn(memory);
  require(fromMemory.first == 0 || fromMemory.first == -1, "status other than 0 or -1");
  require(fromMemory.second.size() <= 64 * std::uint64_t{size} + (std::uint64_t{1} << 20),
          "report larger than 64 x input + 1 MiB");
  fuzz::checkInspector(data, size, "input.bmp", fromMemory.second);

  std::FILE* written = std::fopen(path.c_str(), "wb");
  require(written != nullptr, "cannot write the scratch file");
  // An empty input may come as a null pointer, which fwrite must not be given.
  require(size == 0 || std::fwrite(data, 1, size, written) == size,
          "cannot write the scratch file");
  std::fclose(written);
  {
    bitmap::Source view;
    bitmap::Source filling;
    bitmap::Source file(kBlockSize);
    view.openView(data, size);
    fillingSize = size;
    filling.openFillingView(data, size, 0, threeMore);
    require(file.open(path.c_str()), "cannot open the scratch file");
    for (const auto& [source, name] : {std::pair<bitmap::Source*, std::string>{&view, "view"},
                                       {&filling, "filling view"},
                                       {&file, "file"}}) {
      require(reportOn(*source) == fromMemory, name + " and memory runs ended or reported apart");
    }
  }
  std::remove(path.c_str());
  return 0;
}
