// Precomputed text for every byte value, copied by the hot loops instead of formatting.
#pragma once

#include <array>
#include <cstddef>

namespace report {

// Each entry is padded to a power-of-two size so that it can be copied whole; only the first
// bytes are the text, the rest lands in the sink's slack and is overwritten by what follows.
template <std::size_t N>
using ByteTexts = std::array<std::array<char, N>, 256>;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// "%02X " for every byte: two upper-case digits and a blank.
constexpr ByteTexts<4> makeHexItems() {
  ByteTexts<4> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    table[b] = {kHexDigits[b >> 4], kHexDigits[b & 15], ' ', '\0'};
  }
  return table;
}

// "%3d" for every byte: right-aligned in three characters.
constexpr ByteTexts<4> makeDecimal3() {
  ByteTexts<4> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    table[b] = {b >= 100 ? static_cast<char>('0' + b / 100) : ' ',
                b >= 10 ? static_cast<char>('0' + b / 10 % 10) : ' ',
                static_cast<char>('0' + b % 10), '\0'};
  }
  return table;
}

// "%3d" for every byte after a one-character prefix: a 24-bit pixel is three of these.
constexpr ByteTexts<4> makePrefixedDecimal3(char prefix) {
  ByteTexts<4> table = makeDecimal3();
  for (auto& entry : table) entry = {prefix, entry[0], entry[1], entry[2]};
  return table;
}

// The bit picture of a byte: bit 0 first, the digit 8 for a set bit and a blank for a clear one.
constexpr ByteTexts<8> makeBitPictures() {
  ByteTexts<8> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    for (std::size_t bit = 0; bit < 8; ++bit) table[b][bit] = (b >> bit & 1) != 0 ? '8' : ' ';
  }
  return table;
}

inline constexpr ByteTexts<4> kHexItems = makeHexItems();
inline constexpr ByteTexts<4> kDecimal3 = makeDecimal3();
inline constexpr ByteTexts<8> kBitPictures = makeBitPictures();
inline constexpr ByteTexts<4> kOpenDecimal3 = makePrefixedDecimal3('(');
inline constexpr ByteTexts<4> kDotDecimal3 = makePrefixedDecimal3('.');

}  // namespace report
