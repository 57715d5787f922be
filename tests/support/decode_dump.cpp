// Writes what the decoder makes of a BMP file, for the comparison with Pillow: the width and
// height as two little-endian 32-bit numbers, then the RGBA bytes and the states, rows from
// the top. Exits 3 when the file's pixels do not decode, 2 when it cannot be read.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bitmap/source.h"
#include "decode/decoder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: decode_dump FILE.bmp OUT\n");
    return 2;
  }
  bitmap::Source source;
  if (!source.open(argv[1])) return 2;
  decode::SourceInput input(source);
  decode::Decoder decoder(input);
  const std::uint64_t pixels = std::uint64_t{decoder.width()} * decoder.height();
  // Test pictures are small; a claim past this is not one to hold whole.
  if (!decoder.decodes() || pixels > (std::uint64_t{1} << 26)) return 3;
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(pixels) * 4);
  std::vector<std::uint8_t> state(static_cast<std::size_t>(pixels));
  decoder.decodeImage(rgba.data(), state.data());
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 2;
  std::uint8_t size[8];
  for (int i = 0; i < 4; ++i) {
    size[i] = static_cast<std::uint8_t>(decoder.width() >> (8 * i));
    size[4 + i] = static_cast<std::uint8_t>(decoder.height() >> (8 * i));
  }
  const bool written = std::fwrite(size, 1, 8, out) == 8 &&
                       std::fwrite(rgba.data(), 1, rgba.size(), out) == rgba.size() &&
                       std::fwrite(state.data(), 1, state.size(), out) == state.size();
  return std::fclose(out) == 0 && written ? 0 : 2;
}
