// The walk every pixel dump shares: items in bracketed rows, row breaks that skip the padding,
// and a bound on the items printed after the file has run out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bitmap/source.h"
#include "report/sink.h"

namespace report {

// A dump stops once this many of its items have found no byte in the file.
constexpr std::uint32_t kMaxMissingItems = 4096;

struct RowWalk {
  std::uint32_t itemCount;
  std::uint32_t rowLength;  // items per printed row; 0 means a single row
  std::uint32_t rowPad;     // bytes skipped at each row break
};

inline void putNumbered(Sink& out, std::string_view before, std::uint64_t number,
                        std::string_view after) {
  out.put(before);
  out.putUnsigned(number);
  out.put(after);
}

// Walks walk.itemCount items of Format::kItemBytes bytes, each read into item (which keeps its
// old bytes where a read finds none) and printed by format(cursor, item) -> new cursor, which
// writes Format::kTextBytes bytes and may store up to Sink::kSlack past them. Items that the
// current block holds are formatted straight from it, a row segment at a time.
template <class Format>
void walkRows(bitmap::Source& file, Sink& out, const RowWalk& walk, std::uint8_t* item,
              const Format& format) {
  constexpr std::size_t kItemBytes = Format::kItemBytes;
  constexpr std::size_t kTextBytes = Format::kTextBytes;
  const std::uint32_t n = walk.itemCount;
  const std::uint64_t rowLength = walk.rowLength;
  // Counting down to the next row break; with no row length there is none.
  std::uint64_t untilBreak = rowLength != 0 ? rowLength : UINT64_MAX;
  std::uint64_t rowsDone = 0;
  std::uint32_t missing = 0;

  out.put("\n[");
  std::uint32_t i = 0;
  while (i < n) {
    if (missing == kMaxMissingItems) {
      putNumbered(out, "] - ", rowLength != 0 ? i / rowLength : 0, "\n");
      putNumbered(out, "(", n - i, " more items past the end of the file not shown)\n");
      return;
    }
    if (untilBreak == 0) {
      putNumbered(out, "] - ", ++rowsDone, "\n[");
      file.skip(walk.rowPad);
      untilBreak = rowLength;
    }
    out.ensure(kTextBytes);
    const bitmap::Source::View bytes = file.view();
    auto batch = std::min<std::uint64_t>(
        {n - i, untilBreak, bytes.size / kItemBytes, out.room() / kTextBytes});
    if (batch > 0) {
      char* cursor = out.cursor();
      const std::uint8_t* from = bytes.data;
      const std::uint8_t* const last = from + (batch - 1) * kItemBytes;
      for (; from <= last; from += kItemBytes) cursor = format(cursor, from);
      out.commit(cursor);
      std::memcpy(item, last, kItemBytes);
      file.consume(static_cast<std::size_t>(batch) * kItemBytes);
    } else {
      // An item cut by the block's end or the file's: the read keeps what it does not find.
      if (file.read(item, kItemBytes) == 0) ++missing;
      out.commit(format(out.cursor(), item));
      batch = 1;
    }
    i += static_cast<std::uint32_t>(batch);
    untilBreak -= batch;
  }
  putNumbered(out, "] - ", rowLength != 0 ? n / rowLength : 0, "\n");
}

}  // namespace report
