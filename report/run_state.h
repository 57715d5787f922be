// What the report sections share during one run: the open file, the records and the table.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap/records.h"
#include "bitmap/source.h"

namespace report {

struct RunState {
  explicit RunState(bitmap::Source& source) : file(source) {}

  bitmap::Source& file;
  bitmap::BitmapFileHeader fileHeader;
  bitmap::BitmapInfo info;
  std::int32_t fileSize = 0;  // the length's low 32 bits, as the header report shows it
  std::uint32_t paletteCount = 0;
  // The first min(paletteCount, 256) entries: a byte can index no further.
  std::vector<bitmap::RgbQuad> palette;
  std::uint8_t pixelByte = 0;  // the last byte any dump of the run read
};

}  // namespace report
