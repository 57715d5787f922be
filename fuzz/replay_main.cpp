// Replays files (or every file in folders) through the fuzz target, for builds without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

static std::size_t replayed = 0;

static void replay(const fs::path& path) {
  if (fs::is_directory(path)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(path)) replay(entry.path());
    return;
  }
  if (!fs::is_regular_file(path)) return;  // a pipe or a device would block or never end
  // Named before it runs, so that a check that aborts leaves the input's name behind it.
  std::fprintf(stderr, "%s\n", path.string().c_str());
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  ++replayed;
}

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) replay(argv[i]);
  std::printf("replayed %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
