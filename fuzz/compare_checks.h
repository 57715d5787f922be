// The fuzz target's checks of the comparison: each input against itself and against variants
// made from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Compares the input with itself (identical bytes, status 0, nothing listed) and, both ways,
// with a copy that has one byte changed, one cut short and one with its height negated. Aborts
// with a line on standard error when the two ways disagree, when the counts, box, largest
// differences or listed pixels differ from a plain pixel-by-pixel comparison of the decoder's
// rows (for pictures small enough to compare so), when the lines differ from those of the
// comparison read through tiny blocks, or when the comparison's heap grows past its bound.
void checkComparison(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
