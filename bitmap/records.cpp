// Field-by-field decoding of the two header blocks, each field from its place in the layout.
#include "bitmap/records.h"

#include <algorithm>

namespace bitmap {

namespace {

// Where the field called name starts in a block that starts at blockStart in the file. Each use
// below is a constant, so a misspelt name does not compile.
constexpr std::size_t at(std::string_view name, std::size_t blockStart) {
  return field(name).offset - blockStart;
}

constexpr std::size_t kInfo = kFileHeaderSize;  // where the info block starts in the file
constexpr std::size_t kBfType = at("bfType", 0);
constexpr std::size_t kBfSize = at("bfSize", 0);
constexpr std::size_t kBfReserved1 = at("bfReserved1", 0);
constexpr std::size_t kBfReserved2 = at("bfReserved2", 0);
constexpr std::size_t kBfOffBits = at("bfOffBits", 0);
constexpr std::size_t kBiSize = at("biSize", kInfo);
constexpr std::size_t kBiWidth = at("biWidth", kInfo);
constexpr std::size_t kBiHeight = at("biHeight", kInfo);
constexpr std::size_t kBiPlanes = at("biPlanes", kInfo);
constexpr std::size_t kBiBitCount = at("biBitCount", kInfo);
constexpr std::size_t kBiCompression = at("biCompression", kInfo);
constexpr std::size_t kBiSizeImage = at("biSizeImage", kInfo);
constexpr std::size_t kBiXPelsPerMeter = at("biXPelsPerMeter", kInfo);
constexpr std::size_t kBiYPelsPerMeter = at("biYPelsPerMeter", kInfo);
constexpr std::size_t kBiClrUsed = at("biClrUsed", kInfo);
constexpr std::size_t kBiClrImportant = at("biClrImportant", kInfo);

}  // namespace

BitmapFileHeader decodeFileHeader(const FileHeaderBlock& block) {
  const std::uint8_t* p = block.data();
  BitmapFileHeader header;
  header.bfType = {p[kBfType], p[kBfType + 1]};
  header.bfSize = loadI32(p + kBfSize);
  header.bfReserved1 = loadU16(p + kBfReserved1);
  header.bfReserved2 = loadU16(p + kBfReserved2);
  header.bfOffBits = loadI32(p + kBfOffBits);
  return header;
}

BitmapInfo decodeInfo(const InfoBlock& block) {
  const std::uint8_t* p = block.data();
  BitmapInfo info;
  BitmapInfoHeader& h = info.bmiHeader;
  h.biSize = loadI32(p + kBiSize);
  h.biWidth = loadI32(p + kBiWidth);
  h.biHeight = loadI32(p + kBiHeight);
  h.biPlanes = loadU16(p + kBiPlanes);
  h.biBitCount = loadU16(p + kBiBitCount);
  h.biCompression = loadU32(p + kBiCompression);
  h.biSizeImage = loadI32(p + kBiSizeImage);
  h.biXPelsPerMeter = loadI32(p + kBiXPelsPerMeter);
  h.biYPelsPerMeter = loadI32(p + kBiYPelsPerMeter);
  h.biClrUsed = loadI32(p + kBiClrUsed);
  h.biClrImportant = loadI32(p + kBiClrImportant);
  info.bmiColors = decodeRgbQuad(p + (kColorTableOffset - kInfo));
  return info;
}

Headers decodeHeaders(const std::uint8_t* head, std::size_t size) {
  FileHeaderBlock fileBlock{};
  InfoBlock infoBlock{};
  const std::size_t fileBytes = std::min(size, fileBlock.size());
  std::copy_n(head, fileBytes, fileBlock.begin());
  std::copy_n(head + fileBytes, std::min(size - fileBytes, infoBlock.size()), infoBlock.begin());
  return {decodeFileHeader(fileBlock), decodeInfo(infoBlock).bmiHeader};
}

}  // namespace bitmap
