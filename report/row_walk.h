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

// The texts around a dump's items: the rows start on a line of their own; each row opens with
// "[" and ends with the marker and the row's number, a line end after it; a dump that stops
// early says how many items it left out.
inline constexpr std::string_view kLineEnd = "\n";
inline constexpr std::string_view kRowOpen = "[";
inline constexpr std::string_view kRowMarker = "] - ";
// What follows a row's number at a row break: the line end and the next row's opening.
inline constexpr std::string_view kRowBreak = "\n[";
static_assert(kRowBreak.substr(0, kLineEnd.size()) == kLineEnd &&
              kRowBreak.substr(kLineEnd.size()) == kRowOpen);
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

// How many items of a walk from start come before the first that reads past the end of
// content of fileLength bytes: with whole, the first that does not lie whole within it; else the
// first that finds no byte at all. Items only move forward, so every later item reads past the
// end too.
constexpr std::uint64_t itemsBeforeEnd(std::uint64_t start, const RowWalk& walk,
                                       std::uint32_t itemBytes, std::uint64_t fileLength,
                                       bool whole) {
  if (start >= fileLength) return 0;
  const std::uint64_t bytes = fileLength - start;
  // An item that starts in the content finds a byte; one that ends in it lies whole in it.
  const auto items = [&](std::uint64_t within) {
    return whole ? within / itemBytes : (within + itemBytes - 1) / itemBytes;
  };
  if (walk.rowLength == 0) return items(bytes);
  const std::uint64_t stride = std::uint64_t{walk.rowLength} * itemBytes + walk.rowPad;
  return bytes / stride * walk.rowLength +
         std::min<std::uint64_t>(items(bytes % stride), walk.rowLength);
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
  const std::uint64_t firstMissing = itemsBeforeEnd(start, walk, itemBytes, fileLength, false);
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

  out.put(kLineEnd);
  out.put(kRowOpen);
  std::uint32_t i = 0;
  while (i < n) {
    if (missing == kMaxMissingItems) {
      putNumbered(out, kRowMarker, rowLength != 0 ? i / rowLength : 0, kLineEnd);
      putNumbered(out, kNotShownOpen, n - i, kNotShownClose);
      return;
    }
    if (untilBreak == 0) {
      putNumbered(out, kRowMarker, ++rowsDone, kRowBreak);
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
  putNumbered(out, kRowMarker, rowLength != 0 ? n / rowLength : 0, kLineEnd);
}

}  // namespace report
