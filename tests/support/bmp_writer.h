// Writes consistent BMP files for the tests, the shipped sample and the benchmark.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing_support {

// A file whose sizes and offsets agree with its content: the 40-byte info header, then the
// table (4 bytes an entry, biClrUsed = its entries, biClrImportant 0), then the pixels as given.
std::vector<std::uint8_t> makeBmp(std::uint16_t bitCount, std::int32_t width, std::int32_t height,
                                  const std::vector<std::uint8_t>& table,
                                  const std::vector<std::uint8_t>& pixels);

// Stores a little-endian value of bytes bytes at offset.
void putLE(std::vector<std::uint8_t>& file, std::size_t offset, std::uint64_t value,
           std::size_t bytes);

// A header field to store: where, what and how many bytes.
struct Put {
  std::size_t offset;
  std::uint64_t value;
  std::size_t bytes;
};
// Stores each field in turn and gives the file back.
[[nodiscard]] std::vector<std::uint8_t> putLE(std::vector<std::uint8_t> file,
                                              std::initializer_list<Put> puts);

// A file with an info header of headerSize bytes (biSize set, the puts stored), then extra bytes
// (masks, a table) and the pixels; bfOffBits points at the pixels, bfSize is the length.
std::vector<std::uint8_t> withHeader(std::uint32_t headerSize,
                                     const std::vector<std::uint8_t>& extra,
                                     const std::vector<std::uint8_t>& pixels,
                                     std::initializer_list<Put> puts = {});

// makeBmp with biCompression set; for bit fields (3, 6) the masks are the table bytes and
// biClrUsed is 0.
std::vector<std::uint8_t> infoFile(std::uint16_t bitCount, std::int32_t width, std::int32_t height,
                                   std::uint32_t compression,
                                   const std::vector<std::uint8_t>& table,
                                   const std::vector<std::uint8_t>& pixels);

// The sample shipped in samples/: 8 x 4 pixels, 8 bits, a 16-grey table, valid throughout.
std::vector<std::uint8_t> sampleBitmap();

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace testing_support
