// Where the report prints what it reads: the lines of the header fields and of the colour
// table's entries, and the place of every item of the pixel dumps, found from a file offset or
// from a place in the report. Lines count from 1, as sed -n Np counts them; columns from 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "bitmap/records.h"
#include "report/dump_walks.h"
#include "report/sections.h"

namespace report {

struct DumpMap {
  DumpWalk dump;
  WalkExtent extent;
  std::uint64_t firstLine = 0;  // the line of its first row; its title is on the line before
  std::uint64_t lastLine = 0;   // its last row's, or the line of items not shown
  // The first item that does not lie whole in the file: it and every later item print what
  // the walk last read (the pixel data ran out). extent.printed or more when none does.
  std::uint64_t pastEnd = 0;
  // Byte offsets in the report: where the dump's text starts (the line end before its blank
  // line), where its first row starts, where its last row starts, where the line of items not
  // shown starts, and where the dump ends.
  std::uint64_t textStart = 0;
  std::uint64_t firstRowStart = 0;
  std::uint64_t lastRowStart = 0;
  std::uint64_t notShownStart = 0;
  std::uint64_t end = 0;
};

// The report's layout for a file: its header records, its length and the name it is reported
// under, which decide every line.
struct ReportMap {
  bitmap::BitmapFileHeader file;
  bitmap::BitmapInfoHeader info;
  std::uint64_t fileLength = 0;
  bool refused = false;          // not a bitmap: the banner and kNotABitmap, nothing more
  std::uint64_t headerLine = 0;  // the line of " === File Header ==="; 0 when refused
  TableListing table;
  // The table's title line, the line of entry 0, and its last line (the line of entries not
  // listed, when there is one); 0 when no table is listed.
  std::uint64_t tableTitleLine = 0;
  std::uint64_t tableLine = 0;
  std::uint64_t tableLastLine = 0;
  std::vector<DumpMap> dumps;
  std::uint64_t lastLine = 0;     // the report's last line, as sed counts them
  std::uint64_t reportBytes = 0;  // the report's length
  // Where lines start in the report, in bytes: those of the banner and the header report, and
  // where the table's text starts and ends.
  std::vector<std::uint64_t> headLines;
  std::uint64_t tableStart = 0;
  std::uint64_t tableRowsStart = 0;
  std::uint64_t tableEnd = 0;
};

ReportMap mapReport(const bitmap::BitmapFileHeader& file, const bitmap::BitmapInfoHeader& info,
                    std::uint64_t fileLength, std::string_view fileName);

// The line that prints the field at index of bitmap::kFieldLayout; 0 for the reserved fields,
// which no line prints, and for every field of a refused file.
std::uint64_t fieldLine(const ReportMap& map, std::size_t field);

// Where one item of a dump prints, and where it reads.
struct ItemPlace {
  std::size_t dump = 0;
  std::uint64_t index = 0;  // the item's number in the dump, from 0
  std::uint64_t line = 0;
  std::uint64_t column = 0;     // of its first character
  std::uint64_t rowNumber = 0;  // the number printed at the end of its row
  std::uint64_t inRow = 0;      // its place in the row, from 0
  std::uint64_t offset = 0;     // where its bytes start in the file
  bool pastEnd = false;         // it does not lie whole in the file (see DumpMap::pastEnd)
};

ItemPlace itemPlace(const ReportMap& map, std::size_t dump, std::uint64_t index);

// Where line starts in the report, in bytes; the report's length for the line after its last.
std::uint64_t lineStart(const ReportMap& map, std::uint64_t line);

// The line that holds the byte at offset of the report.
std::uint64_t lineAt(const ReportMap& map, std::uint64_t offset);

// An excerpt of the report: its whole lines from firstLine on, bytes from to to.
struct LineExcerpt {
  std::uint64_t firstLine = 0;
  std::uint64_t from = 0;
  std::uint64_t to = 0;
};

// The whole lines around each of lines (in any order; those past the report are left out): as
// many before as fit in before bytes and after as fit in after bytes, the line itself whatever
// its length. In the report's order, excerpts that overlap or meet joined into one.
std::vector<LineExcerpt> lineExcerpts(const ReportMap& map, std::vector<std::uint64_t> lines,
                                      std::uint64_t before, std::uint64_t after);

// How a dump treats a byte of the file.
enum class Unprinted {
  kPrinted,      // an item prints it
  kBeforeStart,  // it lies before bfOffBits
  kPadding,      // a row break skips it
  kPastCount,    // the dump's items end before it
};

struct ByteInDump {
  Unprinted why = Unprinted::kPrinted;
  ItemPlace place;           // when printed
  std::uint32_t inItem = 0;  // which byte of its item, from 0
};

// The byte at offset in each dump the report prints, in order; none when the depth has none.
std::vector<ByteInDump> findByte(const ReportMap& map, std::uint64_t offset);

// What the report prints at a place: a header field, a table entry, a dump item, or none.
struct ReportTarget {
  enum class Kind { kNothing, kField, kEntry, kItem } kind = Kind::kNothing;
  std::size_t field = 0;    // index in bitmap::kFieldLayout
  std::uint64_t entry = 0;  // table entry
  ItemPlace item;
};

ReportTarget targetAt(const ReportMap& map, std::uint64_t line, std::uint64_t column);

}  // namespace report
