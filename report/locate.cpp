// The report's lines, counted as the sections print them, and the dumps' row walks inverted.
#include "report/locate.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace report {
namespace {

// The banner takes lines 1 to 6 and the file name's own line ends; the header report starts
// with a blank line.
constexpr std::uint64_t kHeaderAfterBanner = 8;
// The fields the header report prints, in order, by line from " === File Header ===": the
// type, size and offset lines, then the info header's fields after a blank line and a title.
constexpr std::string_view kFieldLines[] = {"bfType",
                                            "bfSize",
                                            "bfOffBits",
                                            "",
                                            "",
                                            "biSize",
                                            "biWidth",
                                            "biHeight",
                                            "biPlanes",
                                            "biBitCount",
                                            "biCompression",
                                            "biSizeImage",
                                            "biXPelsPerMeter",
                                            "biYPelsPerMeter",
                                            "biClrUsed",
                                            "biClrImportant"};
constexpr std::uint64_t kHeaderLines = std::size(kFieldLines);
// The table's section: a blank line, its title and its column heads, then a row an entry.
constexpr std::uint64_t kTableHeadLines = 3;

std::uint64_t digits(std::uint64_t value) {
  std::uint64_t count = 1;
  for (; value >= 10; value /= 10) ++count;
  return count;
}

// The digits of 1 to n, all together.
std::uint64_t digitsUpTo(std::uint64_t n) {
  std::uint64_t total = 0;
  for (std::uint64_t low = 1, width = 1; low <= n; low *= 10, ++width) {
    const std::uint64_t high = low > UINT64_MAX / 10 ? n : std::min(n, low * 10 - 1);
    total += (high - low + 1) * width;
  }
  return total;
}

// The widths of 0 to n - 1 printed right-aligned in at least minimum characters, all together.
std::uint64_t widthsBelow(std::uint64_t n, std::uint64_t minimum) {
  std::uint64_t total = n * minimum;
  std::uint64_t wider = 1;  // the first number that takes more than minimum characters
  for (std::uint64_t i = 0; i < minimum; ++i) wider *= 10;
  while (wider < n) {
    total += n - wider;
    if (wider > UINT64_MAX / 10) break;
    wider *= 10;
  }
  return total;
}

// Where row of the table starts, at the line end before it: each row before it is "\n [", its
// index in at least kIndexWidth characters, and kEntryRowRest more.
std::uint64_t tableRowStart(const ReportMap& map, std::uint64_t row) {
  return map.tableRowsStart + row * (3 + kEntryRowRest) + widthsBelow(row, kIndexWidth);
}

// Where row of a dump starts: each row before it is "[", its items, "] - ", its number and a
// line end.
std::uint64_t dumpRowStart(const DumpMap& dump, std::uint64_t row) {
  const std::uint64_t items = dump.dump.walk.rowLength * std::uint64_t{itemChars(dump.dump.kind)};
  return dump.firstRowStart +
         row * (kRowOpen.size() + items + kRowMarker.size() + kLineEnd.size()) + digitsUpTo(row);
}

}  // namespace

ReportMap mapReport(const bitmap::BitmapFileHeader& file, const bitmap::BitmapInfoHeader& info,
                    std::uint64_t fileLength, std::string_view fileName) {
  ReportMap map;
  map.file = file;
  map.info = info;
  map.fileLength = fileLength;
  map.refused = !bitmap::isBitmap(file);
  // The banner and the header report, as the run prints them: a few hundred bytes.
  std::string head;
  {
    Sink out(head);
    printBanner(fileName, out);
    if (map.refused) {
      out.put(kNotABitmap);
    } else {
      bitmap::Source none;
      RunState run(none);
      run.fileHeader = file;
      run.info.bmiHeader = info;
      run.fileSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(fileLength));
      printHeaderReport(run, out);
    }
    out.finish();
  }
  map.headLines.push_back(0);
  for (std::size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1)) {
    map.headLines.push_back(at + 1);
  }
  map.lastLine = map.headLines.size();
  map.reportBytes = head.size();
  if (map.refused) return map;
  map.headerLine = kHeaderAfterBanner +
                   static_cast<std::uint64_t>(std::count(fileName.begin(), fileName.end(), '\n'));
  std::uint64_t lastLine = map.headerLine + kHeaderLines;
  std::uint64_t end = head.size();
  map.table = tableListing(info, fileLength);
  if (map.table.listed) {
    map.tableTitleLine = lastLine + 2;
    map.tableLine = lastLine + kTableHeadLines + 1;
    lastLine += kTableHeadLines + map.table.rows + (map.table.rows < map.table.count ? 1 : 0);
    map.tableLastLine = lastLine;
    map.tableStart = end;
    for (const std::string_view piece : kTableHeading) end += piece.size();
    map.tableRowsStart = end;
    end = tableRowStart(map, map.table.rows);
    if (map.table.rows < map.table.count) {
      end += kMoreEntriesOpen.size() + digits(map.table.count - map.table.rows) +
             kMoreEntriesClose.size();
    }
    map.tableEnd = end;
  }
  // Each dump starts after a blank line and its title; the rows of the last one, or its line
  // of items not shown, end with a line end, so the next starts after two blank lines.
  std::uint64_t nextLine = lastLine + 3;
  for (const DumpWalk& dump : dumpWalks(file, info)) {
    DumpMap dumpMap{dump, walkExtent(dump.start, dump.walk, itemBytes(dump.kind), fileLength),
                    nextLine};
    const WalkExtent& extent = dumpMap.extent;
    dumpMap.pastEnd = itemsBeforeEnd(dump.start, dump.walk, itemBytes(dump.kind), fileLength, true);
    const std::uint64_t rowLength = dump.walk.rowLength;
    const std::uint64_t chars = itemChars(dump.kind);
    dumpMap.textStart = end;
    dumpMap.firstRowStart =
        end + kTitleOpen.size() + dump.title.size() + kTitleClose.size() + kLineEnd.size();
    const std::uint64_t fullRows = extent.rows - 1;
    dumpMap.lastRowStart = dumpRowStart(dumpMap, fullRows);
    const std::uint64_t lastItems =
        rowLength != 0 ? extent.printed - fullRows * rowLength : extent.printed;
    dumpMap.notShownStart =
        dumpMap.lastRowStart + kRowOpen.size() + lastItems * chars + kRowMarker.size() +
        digits(rowLength != 0 ? extent.printed / rowLength : 0) + kLineEnd.size();
    end = dumpMap.notShownStart;
    if (extent.stopped) {
      end += kNotShownOpen.size() + digits(dump.walk.itemCount - extent.printed) +
             kNotShownClose.size();
    }
    dumpMap.end = end;
    lastLine = nextLine + extent.rows + (extent.stopped ? 1 : 0) - 1;
    dumpMap.lastLine = lastLine;
    nextLine = lastLine + 4;
    map.dumps.push_back(dumpMap);
  }
  map.lastLine = lastLine;
  map.reportBytes = end;
  return map;
}

std::uint64_t lineStart(const ReportMap& map, std::uint64_t line) {
  if (line == 0) return 0;
  if (line <= map.headLines.size()) return map.headLines[static_cast<std::size_t>(line - 1)];
  std::uint64_t next = map.headLines.size() + 1;  // the first line after the header report
  if (map.table.listed) {
    // The heading's pieces each start with a line end, and so does every row.
    std::uint64_t at = map.tableStart;
    for (const std::string_view piece : kTableHeading) {
      if (line == next) return at + 1;
      at += piece.size();
      ++next;
    }
    // The rows, then the line that says how many entries were left out, if any.
    const std::uint64_t rows = map.table.rows + (map.table.rows < map.table.count ? 1 : 0);
    if (line < next + rows) return tableRowStart(map, line - next) + 1;
  }
  for (std::size_t d = 0; d < map.dumps.size(); ++d) {
    const DumpMap& dump = map.dumps[d];
    // Its title's line starts after kTitleOpen's line ends, the blank line between them after
    // the first; after a dump, whose rows end with a line end, the text starts a blank line too.
    static_assert(kTitleOpen.rfind('\n') == 1 && kTitleOpen.find('\n') == 0);
    if (line == dump.firstLine - 1) return dump.textStart + 2;
    if (line == dump.firstLine - 2) return dump.textStart + 1;
    if (d > 0 && line == dump.firstLine - 3) return dump.textStart;
    const std::uint64_t rows = dump.extent.rows;
    if (line >= dump.firstLine && line < dump.firstLine + rows) {
      return dumpRowStart(dump, line - dump.firstLine);
    }
    if (line == dump.firstLine + rows && dump.extent.stopped) return dump.notShownStart;
  }
  return map.reportBytes;
}

std::uint64_t lineAt(const ReportMap& map, std::uint64_t offset) {
  // The last line that starts at or before offset: lines start further on as they go.
  std::uint64_t low = 1;
  std::uint64_t high = map.lastLine;
  while (low < high) {
    const std::uint64_t middle = low + (high - low + 1) / 2;
    if (lineStart(map, middle) <= offset)
      low = middle;
    else
      high = middle - 1;
  }
  return low;
}

std::vector<LineExcerpt> lineExcerpts(const ReportMap& map, std::vector<std::uint64_t> lines,
                                      std::uint64_t before, std::uint64_t after) {
  std::sort(lines.begin(), lines.end());
  std::vector<LineExcerpt> excerpts;
  for (const std::uint64_t line : lines) {
    if (line == 0 || line > map.lastLine) continue;
    const std::uint64_t start = lineStart(map, line);
    const std::uint64_t end = lineStart(map, line + 1);
    // Lines that start within before bytes of the line, and those that end within after.
    std::uint64_t first = lineAt(map, start - std::min(before, start));
    if (first < line && lineStart(map, first) + before < start) ++first;
    const std::uint64_t reach = end + std::min(after, map.reportBytes - end);
    std::uint64_t last = lineAt(map, reach);
    if (last > line && lineStart(map, last + 1) > reach) --last;
    const LineExcerpt excerpt{first, lineStart(map, first), lineStart(map, last + 1)};
    if (!excerpts.empty() && excerpts.back().to >= excerpt.from) {
      excerpts.back().to = std::max(excerpts.back().to, excerpt.to);
    } else {
      excerpts.push_back(excerpt);
    }
  }
  return excerpts;
}

std::uint64_t fieldLine(const ReportMap& map, std::size_t field) {
  if (map.refused) return 0;
  for (std::uint64_t i = 0; i < kHeaderLines; ++i) {
    if (kFieldLines[i] == bitmap::kFieldLayout[field].name) return map.headerLine + 1 + i;
  }
  return 0;
}

ItemPlace itemPlace(const ReportMap& map, std::size_t dump, std::uint64_t index) {
  const DumpMap& dumpMap = map.dumps[dump];
  const RowWalk& walk = dumpMap.dump.walk;
  const std::uint64_t row = walk.rowLength != 0 ? index / walk.rowLength : 0;
  ItemPlace place;
  place.dump = dump;
  place.index = index;
  place.line = dumpMap.firstLine + row;
  place.inRow = index - row * walk.rowLength;
  place.column = 1 + place.inRow * itemChars(dumpMap.dump.kind);
  // A row break prints the rows done so far; the last row closes with the count divided by
  // the row length, so a partial last row repeats the number before it.
  place.rowNumber = row + 1 < dumpMap.extent.rows ? row + 1
                    : walk.rowLength != 0         ? dumpMap.extent.printed / walk.rowLength
                                                  : 0;
  place.offset = itemPosition(dumpMap.dump.start, walk, itemBytes(dumpMap.dump.kind), index);
  place.pastEnd = index >= dumpMap.pastEnd;
  return place;
}

std::vector<ByteInDump> findByte(const ReportMap& map, std::uint64_t offset) {
  std::vector<ByteInDump> found;
  for (std::size_t d = 0; d < map.dumps.size(); ++d) {
    const DumpMap& dumpMap = map.dumps[d];
    const RowWalk& walk = dumpMap.dump.walk;
    const std::uint32_t bytes = itemBytes(dumpMap.dump.kind);
    ByteInDump byte;
    if (offset < dumpMap.dump.start) {
      byte.why = Unprinted::kBeforeStart;
      found.push_back(byte);
      continue;
    }
    const std::uint64_t distance = offset - dumpMap.dump.start;
    std::uint64_t index = distance / bytes;
    byte.inItem = static_cast<std::uint32_t>(distance % bytes);
    if (walk.rowLength != 0) {
      const std::uint64_t rowBytes = std::uint64_t{walk.rowLength} * bytes;
      const std::uint64_t row = distance / (rowBytes + walk.rowPad);
      const std::uint64_t inRow = distance % (rowBytes + walk.rowPad);
      index = row * walk.rowLength + inRow / bytes;
      byte.inItem = static_cast<std::uint32_t>(inRow % bytes);
      if (inRow >= rowBytes) {
        // Skipped at the break after its row, if the walk goes on past that row.
        byte.why = (row + 1) * walk.rowLength < dumpMap.extent.printed ? Unprinted::kPadding
                                                                       : Unprinted::kPastCount;
        found.push_back(byte);
        continue;
      }
    }
    if (index >= dumpMap.extent.printed) {
      byte.why = Unprinted::kPastCount;
    } else {
      byte.place = itemPlace(map, d, index);
    }
    found.push_back(byte);
  }
  return found;
}

ReportTarget targetAt(const ReportMap& map, std::uint64_t line, std::uint64_t column) {
  ReportTarget target;
  if (map.refused) return target;
  if (line > map.headerLine && line <= map.headerLine + kHeaderLines) {
    const std::string_view name = kFieldLines[line - map.headerLine - 1];
    if (!name.empty()) {
      target.kind = ReportTarget::Kind::kField;
      target.field = static_cast<std::size_t>(&bitmap::field(name) - bitmap::kFieldLayout.data());
    }
    return target;
  }
  if (map.table.listed && line >= map.tableLine && line < map.tableLine + map.table.rows) {
    target.kind = ReportTarget::Kind::kEntry;
    target.entry = line - map.tableLine;
    return target;
  }
  for (std::size_t d = 0; d < map.dumps.size(); ++d) {
    const DumpMap& dumpMap = map.dumps[d];
    if (line < dumpMap.firstLine || line >= dumpMap.firstLine + dumpMap.extent.rows ||
        column == 0) {
      continue;
    }
    const std::uint64_t rowLength = dumpMap.dump.walk.rowLength;
    const std::uint64_t rowStart = (line - dumpMap.firstLine) * rowLength;
    const std::uint64_t rowEnd = rowLength != 0
                                     ? std::min(rowStart + rowLength, dumpMap.extent.printed)
                                     : dumpMap.extent.printed;
    const std::uint64_t index = rowStart + (column - 1) / itemChars(dumpMap.dump.kind);
    if (index < rowEnd) {
      target.kind = ReportTarget::Kind::kItem;
      target.item = itemPlace(map, d, index);
    }
    return target;
  }
  return target;
}

}  // namespace report
