// A comparison as the lines a person reads, one fact or difference a line, in this order:
// the sizes when they differ, the bytes, each header field, each colour-table entry, the
// pixels (a summary, then each listed pixel), the verdict.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "compare/comparison.h"

namespace compare {

std::vector<std::string> comparisonLines(const Comparison& comparison);

// What one line is about: a listed field, table entry or pixel, by its index in the
// comparison's fields, entries or pixels.first; kNone for every other line.
struct LineLink {
  enum class Kind { kNone, kField, kEntry, kPixel };
  Kind kind = Kind::kNone;
  std::size_t index = 0;
};

// The same lines, each with what it is about, so that a front end links a line to its
// difference without reading the text.
struct LinkedLines {
  std::vector<std::string> text;
  std::vector<LineLink> links;
};

LinkedLines comparisonLinkedLines(const Comparison& comparison);

// 8128 as "8,128".
std::string grouped(std::uint64_t value);

}  // namespace compare
