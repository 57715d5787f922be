// A comparison as the lines a person reads, one fact or difference a line, in this order:
// the sizes when they differ, the bytes, each header field, each colour-table entry, the
// profiles when they differ, the pixels (a summary, then each listed pixel), the verdict.
#pragma once

#include <string>
#include <vector>

#include "compare/comparison.h"

namespace compare {

std::vector<std::string> comparisonLines(const Comparison& comparison);

// 8128 as "8,128".
std::string grouped(std::uint64_t value);

}  // namespace compare
