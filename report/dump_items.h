// How each kind of dump item turns into text, for walkRows.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "bitmap/records.h"
#include "report/text_tables.h"

namespace report {

// One byte as "%02X ".
struct HexItem {
  static constexpr std::size_t kItemBytes = 1;
  static constexpr std::size_t kTextBytes = 3;
  char* operator()(char* out, const std::uint8_t* item) const {
    std::memcpy(out, kHexItems[*item].data(), 4);
    return out + kTextBytes;
  }
};

// One byte as its eight-character bit picture, bit 0 first.
struct BitPictureItem {
  static constexpr std::size_t kItemBytes = 1;
  static constexpr std::size_t kTextBytes = 8;
  char* operator()(char* out, const std::uint8_t* item) const {
    std::memcpy(out, kBitPictures[*item].data(), kTextBytes);
    return out + kTextBytes;
  }
};

// One byte as the colour of the table entry it indexes, "0x%02X%02X%02X " red first, or
// "0x------ " when the table holds no such entry. The texts are built once per dump.
class TranslatedItem {
 public:
  static constexpr std::size_t kItemBytes = 1;
  static constexpr std::size_t kTextBytes = 9;

  explicit TranslatedItem(const std::vector<bitmap::RgbQuad>& palette) {
    for (std::size_t b = 0; b < 256; ++b) {
      char* text = texts_[b].data();
      if (b < palette.size()) {
        const bitmap::RgbQuad& entry = palette[b];
        text[0] = '0';
        text[1] = 'x';
        std::memcpy(text + 2, kHexItems[entry.rgbRed].data(), 2);
        std::memcpy(text + 4, kHexItems[entry.rgbGreen].data(), 2);
        std::memcpy(text + 6, kHexItems[entry.rgbBlue].data(), 2);
        text[8] = ' ';
      } else {
        std::memcpy(text, "0x------ ", kTextBytes);
      }
    }
  }
  char* operator()(char* out, const std::uint8_t* item) const {
    std::memcpy(out, texts_[*item].data(), 16);
    return out + kTextBytes;
  }

 private:
  ByteTexts<16> texts_{};
};

// One pixel stored blue, green, red, as "(%3d.%3d.%3d) " red first.
struct TripleItem {
  static constexpr std::size_t kItemBytes = 3;
  static constexpr std::size_t kTextBytes = 14;
  char* operator()(char* out, const std::uint8_t* item) const {
    std::memcpy(out, kOpenDecimal3[item[2]].data(), 4);
    std::memcpy(out + 4, kDotDecimal3[item[1]].data(), 4);
    std::memcpy(out + 8, kDotDecimal3[item[0]].data(), 4);
    out[12] = ')';
    out[13] = ' ';
    return out + kTextBytes;
  }
};

}  // namespace report
