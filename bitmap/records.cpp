// Field-by-field decoding of the two header blocks; offsets are within each block.
#include "bitmap/records.h"

namespace bitmap {

BitmapFileHeader decodeFileHeader(const FileHeaderBlock& block) {
  const std::uint8_t* p = block.data();
  BitmapFileHeader header;
  header.bfType = {p[0], p[1]};
  header.bfSize = loadI32(p + 2);
  header.bfReserved1 = loadU16(p + 6);
  header.bfReserved2 = loadU16(p + 8);
  header.bfOffBits = loadI32(p + 10);
  return header;
}

BitmapInfo decodeInfo(const InfoBlock& block) {
  const std::uint8_t* p = block.data();
  BitmapInfo info;
  BitmapInfoHeader& h = info.bmiHeader;
  h.biSize = loadI32(p);
  h.biWidth = loadI32(p + 4);
  h.biHeight = loadI32(p + 8);
  h.biPlanes = loadU16(p + 12);
  h.biBitCount = loadU16(p + 14);
  h.biCompression = loadU32(p + 16);
  h.biSizeImage = loadI32(p + 20);
  h.biXPelsPerMeter = loadI32(p + 24);
  h.biYPelsPerMeter = loadI32(p + 28);
  h.biClrUsed = loadI32(p + 32);
  h.biClrImportant = loadI32(p + 36);
  info.bmiColors = decodeRgbQuad(p + 40);
  return info;
}

}  // namespace bitmap
