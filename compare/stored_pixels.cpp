// Pixels compared by their stored bytes: which layouts give each pixel by its bytes, loops over
// chunks of pixels that compilers vectorize, and table indices looked up only where they differ.
#include "compare/stored_pixels.h"

#include <algorithm>
#include <cstring>

namespace compare {

namespace {

using decode::Encoding;
using Kind = StoredLayout::Kind;
using ChunkLargest = std::array<std::uint8_t, std::size_t{kChunkPixels} * 4>;

// The byte of a pixel of size bytes that mask reads whole: -1 for no mask, -2 for a mask that
// reads part of a byte, or more than one.
int wholeByte(std::uint32_t mask, std::uint32_t size) {
  if (mask == 0) return -1;
  for (std::uint32_t k = 0; k < size; ++k) {
    if (mask == 0xFFu << (8 * k)) return static_cast<int>(k);
  }
  return -2;
}

// Whole bytes scale as they are: a channel of v out of 255 is v.
StoredLayout maskedLayout(const decode::Format& format) {
  StoredLayout layout;
  const std::uint32_t size = format.bitCount / 8u;
  if (format.bitCount != 24 && format.bitCount != 32) return {};
  for (std::size_t c = 0; c < 4; ++c) {
    const int k = wholeByte(format.masks[c], size);
    if (k == -2) return {};
    layout.channelByte[c] = k;
    if (k >= 0) layout.read[static_cast<std::size_t>(k)] = 0xFF;
  }
  // Three-byte pixels are compared by loops that take every byte as read.
  if (size == 3 && (layout.read[0] & layout.read[1] & layout.read[2]) == 0) return {};
  layout.kind = Kind::kChannels;
  layout.bits = format.bitCount;
  return layout;
}

// Differing pixels among whole chunks of 3-byte pixels, every byte of which a channel reads, and
// each byte's largest difference. Whether a pixel differs is found at its first byte from that
// byte and the two after it, so two bytes past the chunks must be there to read. Counts are kept
// a byte for each byte of a chunk and added up before they could wrap. Loops of fixed length
// over locals that nothing else points to, so that compilers vectorize them; the bytes that
// follow each byte are read through pointers of their own, which keeps them loads.
std::uint64_t threeByteChunks(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t chunks,
                              ChunkLargest& largestSoFar) {
  constexpr std::size_t kSize = std::size_t{kChunkPixels} * 3;
  std::array<std::uint8_t, kSize> largest{};
  std::copy_n(largestSoFar.begin(), kSize, largest.begin());
  std::array<std::uint8_t, kSize> lead{};
  for (std::size_t i = 0; i < kSize; i += 3) lead[i] = 1;
  std::uint64_t differ = 0;
  for (std::uint32_t c = 0; c < chunks;) {
    std::array<std::uint8_t, kSize> count{};
    for (const std::uint32_t stop = c + std::min<std::uint32_t>(chunks - c, 255); c < stop; ++c) {
      const std::uint8_t* a1 = a + 1;
      const std::uint8_t* b1 = b + 1;
      const std::uint8_t* a2 = a + 2;
      const std::uint8_t* b2 = b + 2;
      for (std::size_t i = 0; i < kSize; ++i) {
        const auto any =
            static_cast<std::uint8_t>((a[i] ^ b[i]) | (a1[i] ^ b1[i]) | (a2[i] ^ b2[i]));
        count[i] = static_cast<std::uint8_t>(count[i] + (std::min<std::uint8_t>(any, 1) & lead[i]));
        largest[i] = std::max(largest[i], distance(a[i], b[i]));
      }
      a += kSize;
      b += kSize;
    }
    for (const std::uint8_t n : count) differ += n;
  }
  std::copy(largest.begin(), largest.end(), largestSoFar.begin());
  return differ;
}

// The same for 4-byte pixels, each compared as a word under the bytes its channels read.
std::uint64_t fourByteChunks(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t chunks,
                             std::uint32_t read, ChunkLargest& largestSoFar) {
  ChunkLargest largest = largestSoFar;
  std::uint64_t differ = 0;
  for (std::uint32_t c = 0; c < chunks; ++c, a += largest.size(), b += largest.size()) {
    for (std::size_t i = 0; i < largest.size(); ++i)
      largest[i] = std::max(largest[i], distance(a[i], b[i]));
    std::uint32_t n = 0;
    for (std::size_t p = 0; p < kChunkPixels; ++p) {
      std::uint32_t wordA = 0;
      std::uint32_t wordB = 0;
      std::memcpy(&wordA, a + p * 4, 4);
      std::memcpy(&wordB, b + p * 4, 4);
      n += ((wordA ^ wordB) & read) != 0 ? 1 : 0;
    }
    differ += n;
  }
  largestSoFar = largest;
  return differ;
}

bool channelsDiffer(const StoredLayout& layout, const std::uint8_t* a, const std::uint8_t* b,
                    std::uint32_t p) {
  const std::size_t size = layout.bits / 8;
  const std::size_t at = std::size_t{p} * size;
  for (std::size_t k = 0; k < size; ++k) {
    if (((a[at + k] ^ b[at + k]) & layout.read[k]) != 0) return true;
  }
  return false;
}

// The first and the last pixel that differ, and the pixels to list, once some are known to.
template <typename Differs>
void place(std::uint32_t n, std::size_t room, const Differs& differs,
           StoredDifferences& differences) {
  std::uint32_t first = 0;
  while (first + 1 < n && !differs(first)) ++first;
  std::uint32_t last = n - 1;
  while (last > first && !differs(last)) --last;
  differences.first = first;
  differences.last = last;
  for (std::uint32_t p = first; p <= last && differences.listed.size() < room; ++p) {
    if (differs(p)) differences.listed.push_back(p);
  }
}

void compareChannels(const StoredLayout& layout, const std::uint8_t* a, const std::uint8_t* b,
                     std::uint32_t n, std::size_t room, StoredLargest& largest,
                     StoredDifferences& differences) {
  const std::uint32_t size = layout.bits / 8;
  std::uint32_t chunks = 0;
  std::uint64_t differ = 0;
  if (size == 3) {
    // A pixel's bytes past the chunks, for the loop that reads ahead.
    chunks = n > 0 ? (n - 1) / kChunkPixels : 0;
    differ = threeByteChunks(a, b, chunks, largest.bytes);
  } else {
    std::uint32_t read = 0;
    std::memcpy(&read, layout.read.data(), 4);
    chunks = n / kChunkPixels;
    differ = fourByteChunks(a, b, chunks, read, largest.bytes);
  }
  for (std::uint32_t p = chunks * kChunkPixels; p < n; ++p) {
    const std::size_t at = std::size_t{p} * size;
    std::uint8_t* wider = largest.bytes.data() + std::size_t{p % kChunkPixels} * size;
    for (std::size_t k = 0; k < size; ++k)
      wider[k] = std::max(wider[k], distance(a[at + k], b[at + k]));
    if (channelsDiffer(layout, a, b, p)) ++differ;
  }
  differences.differ = differ;
  if (differ == 0) return;
  place(
      n, room, [&](std::uint32_t p) { return channelsDiffer(layout, a, b, p); }, differences);
}

// Only the bytes that differ are looked at: each pixel in them whose index differs is compared
// by its table entry and state.
void compareIndexed(const StoredLayout& layout, const std::uint8_t* a, const std::uint8_t* b,
                    std::uint32_t n, std::size_t room, StoredLargest& largest,
                    StoredDifferences& differences) {
  const std::uint32_t bits = layout.bits;
  const std::uint32_t perByte = 8 / bits;
  const std::uint32_t mask = (1u << bits) - 1;
  const auto size = static_cast<std::size_t>((std::uint64_t{n} * bits + 7) / 8);
  for (std::size_t i = 0; i < size; ++i) {
    // Eight bytes at a time while they are the same.
    while (size - i >= 8 && std::memcmp(a + i, b + i, 8) == 0) i += 8;
    if (i == size) break;
    if (a[i] == b[i]) continue;
    for (std::uint32_t j = 0; j < perByte; ++j) {
      const auto p = static_cast<std::uint32_t>(i * perByte + j);
      if (p >= n) break;
      // Smaller pixels fill each byte from its high bits down.
      const std::uint32_t shift = 8 - bits * (j + 1);
      const std::uint32_t indexA = a[i] >> shift & mask;
      const std::uint32_t indexB = b[i] >> shift & mask;
      const std::uint8_t stateA = layout.paletteState[indexA];
      const std::uint8_t stateB = layout.paletteState[indexB];
      const std::array<std::uint8_t, 4>& colourA = layout.palette[indexA];
      const std::array<std::uint8_t, 4>& colourB = layout.palette[indexB];
      if (stateA == stateB && colourA == colourB) continue;
      if (differences.differ++ == 0) differences.first = p;
      differences.last = p;
      if (differences.listed.size() < room) differences.listed.push_back(p);
      if (stateA != stateB) {
        ++differences.stateDiffer;
        continue;
      }
      for (std::size_t c = 0; c < 4; ++c)
        largest.channels[c] = std::max(largest.channels[c], distance(colourA[c], colourB[c]));
    }
  }
}

}  // namespace

StoredLayout storedLayout(const decode::Format& a, const decode::Format& b) {
  if (a.encoding != b.encoding || a.bitCount != b.bitCount) return {};
  StoredLayout layout;
  switch (a.encoding) {
    case Encoding::kBgr:
      layout.kind = Kind::kChannels;
      layout.bits = 24;
      layout.channelByte = {2, 1, 0, -1};
      layout.read = {0xFF, 0xFF, 0xFF, 0};
      return layout;
    case Encoding::kMasked:
      return a.masks == b.masks ? maskedLayout(a) : StoredLayout{};
    case Encoding::kIndexed:
      if (a.palette != b.palette || a.paletteState != b.paletteState) return {};
      layout.kind = Kind::kIndexed;
      layout.bits = a.bitCount;
      layout.palette = a.palette;
      layout.paletteState = a.paletteState;
      return layout;
    default:
      return {};
  }
}

void compareStored(const StoredLayout& layout, const std::uint8_t* a, const std::uint8_t* b,
                   std::uint32_t n, std::size_t room, StoredLargest& largest,
                   StoredDifferences& differences) {
  differences.differ = 0;
  differences.stateDiffer = 0;
  differences.listed.clear();
  if (layout.kind == Kind::kChannels) compareChannels(layout, a, b, n, room, largest, differences);
  if (layout.kind == Kind::kIndexed) compareIndexed(layout, a, b, n, room, largest, differences);
}

std::array<std::uint8_t, 4> largestChannels(const StoredLayout& layout,
                                            const StoredLargest& largest) {
  std::array<std::uint8_t, 4> channels = largest.channels;
  if (layout.kind != Kind::kChannels) return channels;
  const std::size_t size = layout.bits / 8;
  for (std::size_t c = 0; c < 4; ++c) {
    if (layout.channelByte[c] < 0) continue;
    for (auto i = static_cast<std::size_t>(layout.channelByte[c]); i < size * kChunkPixels;
         i += size)
      channels[c] = std::max(channels[c], largest.bytes[i]);
  }
  return channels;
}

}  // namespace compare
