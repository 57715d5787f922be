// The walk every pixel dump shares: items in bracketed rows, row breaks that skip the padding,
// and a bound on the items printed after the file has run out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "bitmap/source.h"
#include "report/sink.h"

namespace report {

// A dump stops once this many of its items have found no byte in the file.
constexpr std::uint32_t kMaxMissingItems = 4096;

// The texts around a dump's items: each row opens with "[" and ends with the marker and the
// row's number, a line end after it; a dump that stops early says how many items it left out.
inline constexpr std::string_view kRowOpen = "[";
inline constexpr std::string_view kRowMarker = "] - ";
inline constexpr std::string_view kNotShownOpen = "(";
inline constexpr std::string_view kNotShownClose =
    " more items past the end of the file not shown)\n";

struct RowWalk {
  std::uint32_t itemCount;
  std::uint32_t rowLength;  // items per printed row; 0 means a single row
  std::uint32_t rowPad;     // bytes skipped at each row break
};

// Where item i of a walk from start reads, for items of itemBytes bytes: each row break before
// it skips rowPad bytes.
constexpr std::uint64_t itemPosition(std::uint64_t start, const RowWalk& walk,
                                     std::uint32_t itemBytes, std::uint64_t i) {
  const std::uint64_t breaks = walk.rowLength != 0 ? i / walk.rowLength : 0;
  return start + i * itemBytes + breaks * walk.rowPad;
}

// What walkRows prints over content of fileLength bytes: the items it prints, which stop
// kMaxMissingItems items after the first that finds no byte, and the rows they make (plus the
// line that counts the items not shown, when they stop early).
struct WalkExtent {
  std::uint64_t printed = 0;
  bool stopped = false;
  std::uint64_t rows = 1;
};

constexpr WalkExtent walkExtent(std::uint64_t start, const RowWalk& walk, std::uint32_t itemBytes,
                                std::uint64_t fileLength) {
  // The first item that finds no byte: its position is at or past the end.
  std::uint64_t firstMissing = 0;
  if (start < fileLength) {
    const std::uint64_t bytes = fileLength - start;
    if (walk.rowLength == 0) {
      firstMissing = (bytes + itemBytes - 1) / itemBytes;
    } else {
      const std::uint64_t stride = std::uint64_t{walk.rowLength} * itemBytes + walk.rowPad;
      const std::uint64_t inLastRow = (bytes % stride + itemBytes - 1) / itemBytes;
      firstMissing =
          bytes / stride * walk.rowLength + std::min<std::uint64_t>(inLastRow, walk.rowLength);
    }
  }
  WalkExtent extent;
  extent.stopped = firstMissing + kMaxMissingItems < walk.itemCount;
  extent.printed = extent.stopped ? firstMissing + kMaxMissingItems : walk.itemCount;
  if (walk.rowLength != 0 && extent.printed > 0) {
    extent.rows += (extent.printed - 1) / walk.rowLength;
  }
  return extent;
}

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

  out.put("\n");
  out.put(kRowOpen);
  std::uint32_t i = 0;
  while (i < n) {
    if (missing == kMaxMissingItems) {
      putNumbered(out, kRowMarker, rowLength != 0 ? i / rowLength : 0, "\n");
      putNumbered(out, kNotShownOpen, n - i, kNotShownClose);
      return;
    }
    if (untilBreak == 0) {
      putNumbered(out, kRowMarker, ++rowsDone, "\n[");
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
  putNumbered(out, kRowMarker, rowLength != 0 ? n / rowLength : 0, "\n");
}

}  // namespace report
