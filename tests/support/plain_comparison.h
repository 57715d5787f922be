// Two files' pixels compared the plain way, for the tests and the fuzz target to hold the
// comparison to: every row of both decoded whole and compared pixel by pixel. And the comparison
// of bytes read through tiny blocks, where no piece of a row lies whole and each is decoded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "compare/comparison.h"
#include "decode/input.h"

namespace testing_support {

struct PlainPixels {
  bool compared = false;  // both decode
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t differ = 0;
  std::uint64_t stateDiffer = 0;
  compare::Box box;                                            // when any pixel differs
  std::array<std::uint8_t, 4> largest{};                       // over pixels of the same state
  std::vector<std::pair<std::uint32_t, std::uint32_t>> first;  // (x, y), at most listed
};

// Decodes the area both pictures cover, row by row; the caller keeps it small.
PlainPixels plainComparison(decode::Input& a, decode::Input& b, std::size_t listed);

// The comparison of a and b, held in memory, listed up to bounds.
compare::Comparison compareBytes(const std::vector<std::uint8_t>& a,
                                 const std::vector<std::uint8_t>& b,
                                 const compare::Bounds& bounds = compare::Bounds{});

// The comparison of a and b, each read through a bitmap::Source of blockSize-byte blocks.
compare::Comparison compareInBlocks(const std::vector<std::uint8_t>& a,
                                    const std::vector<std::uint8_t>& b, std::size_t blockSize);

// What comparison, of a and b, gets wrong against the plain comparison (what is compared, the
// counts, box, largest differences, pixels listed) or against the lines of the comparison read
// through 7-byte blocks: "" when it agrees with both.
std::string disagreement(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                         const compare::Comparison& comparison);

// The line that sums up the pixels: "pixels: 3 of 8 differ, in x 1..3, y 0; ...".
std::string pixelsLine(const compare::Comparison& comparison);

}  // namespace testing_support
