// The output buffer: line-end translation across block edges, and what a failed write does.
#include <gtest/gtest.h>

#include <string>

#include "report/sink.h"

namespace {

std::string throughSink(const std::string& text, std::size_t capacity, bool crlf) {
  std::string captured;
  report::Sink out(captured, capacity);
  if (crlf) out.endLinesWithCrLf();
  // Pieces of 1 to 4 bytes, so that newlines fall on every position of a block.
  for (std::size_t at = 0, n = 1; at < text.size(); at += n, n = n % 4 + 1) {
    out.put(text.substr(at, n));
  }
  EXPECT_TRUE(out.finish());
  return captured;
}

TEST(Sink, EveryNewlineBecomesCrLfWhereverBlocksEnd) {
  const std::string text = "\n---\n Filename [a\\b.bmp]\n\n[00 FF ] - 1\n[\r] - 2\nno end";
  std::string expected;
  for (const char c : text) {
    if (c == '\n') expected += '\r';
    expected += c;
  }
  for (const std::size_t capacity : {1, 2, 3, 5, 8, 64}) {
    EXPECT_EQ(throughSink(text, capacity, true), expected) << "capacity " << capacity;
    EXPECT_EQ(throughSink(text, capacity, false), text) << "capacity " << capacity;
  }
}

}  // namespace
