// The BMP writer behind the tests, the shipped sample and the benchmark images.
#include "tests/support/bmp_writer.h"

#include <filesystem>
#include <fstream>
#include <utility>

namespace testing_support {

std::vector<std::uint8_t> makeBmp(std::uint16_t bitCount, std::int32_t width, std::int32_t height,
                                  const std::vector<std::uint8_t>& table,
                                  const std::vector<std::uint8_t>& pixels) {
  std::vector<std::uint8_t> file(54, 0);
  const std::size_t offBits = file.size() + table.size();
  file.insert(file.end(), table.begin(), table.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  file[0] = 'B';
  file[1] = 'M';
  putLE(file, 2, file.size(), 4);
  putLE(file, 10, offBits, 4);
  putLE(file, 14, 40, 4);
  putLE(file, 18, static_cast<std::uint32_t>(width), 4);
  putLE(file, 22, static_cast<std::uint32_t>(height), 4);
  putLE(file, 26, 1, 2);
  putLE(file, 28, bitCount, 2);
  putLE(file, 34, pixels.size(), 4);
  putLE(file, 38, 2835, 4);
  putLE(file, 42, 2835, 4);
  putLE(file, 46, table.size() / 4, 4);
  return file;
}

void putLE(std::vector<std::uint8_t>& file, std::size_t offset, std::uint64_t value,
           std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i)
    file[offset + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

std::vector<std::uint8_t> putLE(std::vector<std::uint8_t> file, std::initializer_list<Put> puts) {
  for (const Put& put : puts) putLE(file, put.offset, put.value, put.bytes);
  return file;
}

std::vector<std::uint8_t> withHeader(std::uint32_t headerSize,
                                     const std::vector<std::uint8_t>& extra,
                                     const std::vector<std::uint8_t>& pixels,
                                     std::initializer_list<Put> puts) {
  std::vector<std::uint8_t> file(14 + headerSize, 0);
  file[0] = 'B';
  file[1] = 'M';
  putLE(file, 14, headerSize, 4);
  file.insert(file.end(), extra.begin(), extra.end());
  putLE(file, 10, file.size(), 4);
  file.insert(file.end(), pixels.begin(), pixels.end());
  putLE(file, 2, file.size(), 4);
  return putLE(std::move(file), puts);
}

std::vector<std::uint8_t> infoFile(std::uint16_t bitCount, std::int32_t width, std::int32_t height,
                                   std::uint32_t compression,
                                   const std::vector<std::uint8_t>& table,
                                   const std::vector<std::uint8_t>& pixels) {
  const bool masks = compression == 3 || compression == 6;
  return putLE(makeBmp(bitCount, width, height, table, pixels),
               {{30, compression, 4}, {46, masks ? 0 : table.size() / 4, 4}});
}

std::vector<std::uint8_t> sampleBitmap() {
  std::vector<std::uint8_t> table;
  for (int i = 0; i < 16; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 17);
    table.insert(table.end(), {level, level, level, 0});
  }
  // A diagonal stripe pattern; rows of 8 bytes need no padding.
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) pixels.push_back(static_cast<std::uint8_t>((x + y * 3) % 16));
  }
  std::vector<std::uint8_t> file = makeBmp(8, 8, 4, table, pixels);
  putLE(file, 50, 16, 4);  // biClrImportant
  return file;
}

// path is UTF-8, on Windows too.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace testing_support
