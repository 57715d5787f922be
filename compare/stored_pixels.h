// Pixels compared by their stored bytes, without decoding them, where two files store pixels
// alike and the bytes give each pixel directly: 24-bit BGR, bit fields of whole bytes at 24 and
// 32 bits (32-bit BI_RGB among them, its fourth byte ignored), and indices into one colour
// table. What differs comes out as the decoded pixels would give it: the count, the pixels whose
// state differs, the first and the last, the largest difference of each channel, and the
// pixels to list, which the caller decodes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/format.h"

namespace compare {

// Pixels handled at a time by the loops that compilers vectorize.
constexpr std::uint32_t kChunkPixels = 16;

// How the bytes of pixels that both files store alike give each pixel.
struct StoredLayout {
  enum class Kind : std::uint8_t {
    kNone,      // the pixels must be decoded to be compared
    kChannels,  // each channel is one byte of the pixel, or the same constant in both files
    kIndexed,   // an index into the table both files share
  };
  Kind kind = Kind::kNone;
  std::uint32_t bits = 0;  // a pixel's
  // kChannels: the byte of the pixel that holds red, green, blue and alpha, or -1 for a channel
  // without a mask; and the pixel's bytes that a channel reads, 0xFF each.
  std::array<std::int32_t, 4> channelByte{-1, -1, -1, -1};
  std::array<std::uint8_t, 4> read{};
  // kIndexed: the colour and state each index gives.
  std::array<std::array<std::uint8_t, 4>, 256> palette{};
  std::array<std::uint8_t, 256> paletteState{};
};

// The layout of files a and b when their stored pixels compare by their bytes, else kNone.
// They must already store pixels alike: uncompressed, of one depth, with the same masks or the
// same table.
StoredLayout storedLayout(const decode::Format& a, const decode::Format& b);

// The largest difference so far of each byte of a chunk of pixels (kChannels) and of each
// channel (kIndexed).
struct StoredLargest {
  std::array<std::uint8_t, std::size_t{kChunkPixels} * 4> bytes{};
  std::array<std::uint8_t, 4> channels{};
};

// What differs among the pixels of one piece.
struct StoredDifferences {
  std::uint64_t differ = 0;
  std::uint64_t stateDiffer = 0;  // kIndexed: an index whose entry is missing or past the table
  std::uint32_t first = 0;        // the first and the last pixel that differ, when any does
  std::uint32_t last = 0;
  std::vector<std::uint32_t> listed;  // pixels that differ, in order, as many as there is room for
};

// Compares n pixels whose bytes start at a and b, on a whole byte: counts what differs into
// differences (whose listed pixels it replaces), widens largest, and lists at most room pixels.
void compareStored(const StoredLayout& layout, const std::uint8_t* a, const std::uint8_t* b,
                   std::uint32_t n, std::size_t room, StoredLargest& largest,
                   StoredDifferences& differences);

// The largest difference of red, green, blue and alpha that largest holds.
std::array<std::uint8_t, 4> largestChannels(const StoredLayout& layout,
                                            const StoredLargest& largest);

inline std::uint8_t distance(std::uint8_t x, std::uint8_t y) {
  return static_cast<std::uint8_t>(x > y ? x - y : y - x);
}

}  // namespace compare
