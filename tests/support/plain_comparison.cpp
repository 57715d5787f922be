// The plain comparison: both files' rows decoded whole, then compared one pixel at a time.
#include "tests/support/plain_comparison.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "bitmap/source.h"
#include "compare/lines.h"
#include "decode/decoder.h"

namespace testing_support {

PlainPixels plainComparison(decode::Input& a, decode::Input& b, std::size_t listed) {
  decode::Decoder decoderA(a);
  decode::Decoder decoderB(b);
  PlainPixels plain;
  if (!decoderA.decodes() || !decoderB.decodes()) return plain;
  plain.compared = true;
  plain.width = std::min(decoderA.width(), decoderB.width());
  plain.height = std::min(decoderA.height(), decoderB.height());
  std::vector<std::uint8_t> rgbaA(std::size_t{plain.width} * 4);
  std::vector<std::uint8_t> rgbaB(rgbaA.size());
  std::vector<std::uint8_t> stateA(plain.width);
  std::vector<std::uint8_t> stateB(plain.width);
  compare::Box& box = plain.box;
  for (std::uint32_t y = 0; y < plain.height; ++y) {
    decoderA.decodeRow(y, 0, plain.width, rgbaA.data(), stateA.data());
    decoderB.decodeRow(y, 0, plain.width, rgbaB.data(), stateB.data());
    for (std::uint32_t x = 0; x < plain.width; ++x) {
      const std::uint8_t* colourA = &rgbaA[std::size_t{x} * 4];
      const std::uint8_t* colourB = &rgbaB[std::size_t{x} * 4];
      if (stateA[x] == stateB[x] && std::memcmp(colourA, colourB, 4) == 0) continue;
      if (plain.differ++ == 0) {
        box.left = box.right = x;
        box.top = y;
      }
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.bottom = y;
      if (plain.first.size() < listed) plain.first.emplace_back(x, y);
      if (stateA[x] != stateB[x]) {
        ++plain.stateDiffer;
        continue;
      }
      for (std::size_t c = 0; c < 4; ++c) {
        const int difference = colourA[c] - colourB[c];
        plain.largest[c] =
            std::max(plain.largest[c], static_cast<std::uint8_t>(std::abs(difference)));
      }
    }
  }
  return plain;
}

compare::Comparison compareBytes(const std::vector<std::uint8_t>& a,
                                 const std::vector<std::uint8_t>& b,
                                 const compare::Bounds& bounds) {
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  return compare::compareFiles(inputA, inputB, bounds);
}

compare::Comparison compareInBlocks(const std::vector<std::uint8_t>& a,
                                    const std::vector<std::uint8_t>& b, std::size_t blockSize) {
  bitmap::Source sourceA(blockSize);
  bitmap::Source sourceB(blockSize);
  sourceA.openMemory(a.data(), a.size());
  sourceB.openMemory(b.data(), b.size());
  decode::SourceInput inputA(sourceA);
  decode::SourceInput inputB(sourceB);
  return compare::compareFiles(inputA, inputB);
}

std::string disagreement(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                         const compare::Comparison& comparison) {
  const compare::PixelComparison& pixels = comparison.pixels;
  decode::MemoryInput inputA(a.data(), a.size());
  decode::MemoryInput inputB(b.data(), b.size());
  const PlainPixels plain = plainComparison(inputA, inputB, compare::Bounds{}.pixels);
  // Identical files are found so before any pixel is compared.
  if (pixels.compared != (plain.compared && !comparison.identicalBytes)) return "compared or not";
  if (compare::comparisonLines(compareInBlocks(a, b, 7)) != compare::comparisonLines(comparison))
    return "the lines of the comparison read through 7-byte blocks";
  if (!pixels.compared) return "";
  if (plain.width != pixels.width || plain.height != pixels.height) return "the area compared";
  if (plain.differ != pixels.differ || plain.stateDiffer != pixels.stateDiffer) return "counts";
  if (plain.largest != pixels.largest) return "the largest differences";
  const compare::Box& box = pixels.box;
  if (plain.differ > 0 && (plain.box.left != box.left || plain.box.top != box.top ||
                           plain.box.right != box.right || plain.box.bottom != box.bottom))
    return "the box";
  std::vector<std::pair<std::uint32_t, std::uint32_t>> listed;
  for (const compare::PixelDifference& pixel : pixels.first) listed.emplace_back(pixel.x, pixel.y);
  return listed == plain.first ? "" : "the pixels listed";
}

std::string pixelsLine(const compare::Comparison& comparison) {
  for (const std::string& line : compare::comparisonLines(comparison)) {
    if (line.rfind("pixels: ", 0) == 0) return line;
  }
  return "(no pixels line)";
}

}  // namespace testing_support
