// The inspector: what one file's header says of its report and its pixels, answered as JSON for
// the page. The answers come from the report's own walk (report/locate.h) and the format's
// layout (bitmap/layout.h); the page shows them and works none of them out again.
//
// THE ANSWERS. Every answer is one JSON object (excerpts: an array), written by app/json.h.
//
// Numbers. A position or a length in bytes, in the file or in the report, and a count or an
// index of dump items or table entries, is a decimal string ("18446744047939747902"): header
// arithmetic takes these past 2^53, where JavaScript's numbers round. JavaScript shows them as
// they are and reads them with BigInt where it must compare them. Everything else is a number:
// lines (from 1, as sed -n Np counts them), columns (from 0), x and y (from 0 at the top left),
// width, height, bits, shifts, stored rows and row numbers, and the sizes of one field, item
// or pixel in bytes or characters.
//
// describe: what the report's worker posts as 'started' and what the inspector's 'open'
// returns; the header is parsed here, once, and every layout fact the page uses is in it. The
// values shown are those of samples/sample.bmp.
//   {fileLength: "150",
//    magic: "42 4D 96 00 00 00 00 00",   the file's first bytes in hex, up to 8 ("" when empty)
//    looksLike: null | "PNG" | "JPEG" | "GIF" | "TIFF" | "ICO" | "CUR" | "OS/2 bitmap array",
//                                        the format a refused file's first bytes name
//    refused: false,                     true when the file does not start with "BM": its
//                                        report is the banner and "Bitmap file needed!"
//    report: {lastLine: 56, length: "1955"},   its last line and its length in bytes
//    layout: {width: 8, height: 4, bits: 8, topDown: false, compressed: false,
//             fixedOffsets: true, start: "118", rowBytes: "8", end: "150"},
//            the format's pixel layout (bitmap/layout.h): |biWidth|, |biHeight|, biBitCount;
//            the pixels from start, in rows of rowBytes, to end; end is null when the rows
//            would pass 2^64 - 1, beyond any file
//    headerLine: 8,                      the line of " === File Header ===" (0 when refused)
//    fields: [{name: "bfType", offset: "0", width: 2, line: 9}, ...]
//            every field of both records in file order; line 0 when no line prints it (the
//            reserved fields, and every field of a refused file)
//    table: {listed: true, offset: "54", count: "16", rows: "16", titleLine: 26,
//            firstLine: 28, lastLine: 43}
//           the colour table the report lists: count entries, rows of them listed, each on
//           its own line from firstLine; lastLine includes the line of entries not listed;
//           lines 0 when not listed
//    dumps: [{title: "Bitmap Data[Indexed data]", kind: "hex", titleLine: 45, firstLine: 46,
//             lastLine: 49, itemChars: 3, itemBytes: 1, start: "118", count: "32",
//             rowLength: "8", rowPad: "0", printed: "32", stopped: false, rows: 4,
//             pastEnd: null}, ...]
//           each dump in the report's order: kind "bits", "hex", "colour" or "triple"; the
//           line of " === title ===", of its first row, and its last line (the line of items
//           not shown included); its walk: count items from start, rowLength a row (0: one
//           row), rowPad bytes skipped at each break, printed of them shown in rows lines,
//           stopped when the rest are counted in a line instead; pastEnd: null, or
//           {index: "30", line: 49, column: 19} of the first item that does not lie whole in
//           the file (here, were the file 2 bytes shorter): it prints the last bytes read
//           again, and every later item does too.
//
// Any question asked before a file is opened, or that cannot be answered as asked, gets
// {refused: "<why, in words>"}.
//
// pixel {x, y}: the pixel at x, y; x and y whole numbers within width and height.
//   {x, y, fixedOffsets: false}          compressed, or a depth the format does not define
//   {x, y, fixedOffsets: true, offset: "1078", count: 1, shift: 4, bits: 4, missing: 0,
//    row: 3, inRow: "2", bytes: [{offset: "1078", dumps: [<byte in a dump>, ...]}, ...]}
//     count bytes from offset, the pixel byte >> shift & (2^bits - 1) when under a byte;
//     missing: how many of its count bytes lie past the end of the file; row: its row as
//     stored, inRow: its first byte's place in that row, both from 0. When its bytes would
//     pass 2^64 - 1, beyondAnyFile: true stands in place of offset, missing is count and
//     bytes is [].
//
// byte {offset}: the byte at offset, a decimal string.
//   {offset: "1078", inFile: true, what: <what>, dumps: [<byte in a dump>, ...]}
//   what, by the format's layout first, then by where it lies:
//     {kind: "field", name, offset, width, line}   a byte of a header field (offset: its first)
//     {kind: "pixel", x, y, count, inPixel}  of the pixels x to x + count - 1 of row y (count
//                                          is more than 1 under 8 bits); inPixel: which byte of
//                                          its pixel, from 0
//     {kind: "padding", row, y}             a row's padding, after its pixels
//     {kind: "pixel-data"}                  between start and end of pixels without fixed
//                                          offsets
//     {kind: "entry", index, offset, line}  a byte of a table entry the report lists or counts
//                                          (line 0 when not listed)
//     {kind: "gap"}                         after the header and table, before the pixels
//     {kind: "past-pixels"}                 after the pixels, in the file
//     {kind: "past-file"}                   after the pixels and past the end of the file
//   An offset past 2^64 - 1: {offset, beyondAnyFile: true}; not a decimal number: {refused}.
//
// <byte in a dump>: {dump, title, why, inItem, place}: why "printed" (place is where, inItem
//   which byte of the item, from 0), "before-start", "padding" (skipped at a row break) or
//   "past-count" (after the dump's last item); place only when printed.
// <item place>: {dump, title, index: "5", line, column, chars, bytes, rowNumber, inRow: "5",
//   offset: "123", pastEnd: false}: item index of dump (from 0) printed at line, column,
//   chars wide, reading bytes from offset; rowNumber as its row's "] - N" says it; inRow its
//   place in that row, from 0; pastEnd when it does not lie whole in the file.
//
// place {line, column}: what the report prints there.
//   {line, column, kind: "nothing"} | {..., kind: "field", name, offset, width}
//   | {..., kind: "entry", index, offset} | {..., kind: "item", place: <item place>}
//
// entry {index}: where the table entry index lies: {index, offset, inTable, line};
//   inTable when the report's table counts it, line 0 when no line lists it.
//
// excerpts {lines, before, after}: the runs of whole report lines around lines (any order):
//   [{firstLine, from: "0", to: "1955"}, ...] in the report's order, bytes from to to, as
//   report::lineExcerpts gives them.
//
// In JavaScript (app/wasm_api.js): core.describe(head, fileLength, name) with the file's
// first core.headBytes bytes, or core.describeHeld(pointer, size, name, filled) for a file held
// in the core's memory, opens the inspector and returns describe; then core.inspectPixel(x, y),
// core.inspectByte(offset), core.inspectPlace(line, column), core.inspectEntry(index) and
// core.inspectExcerpts(lines, before, after) answer about that file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/layout.h"
#include "report/locate.h"

namespace app {

// What a byte of the file is (the byte question's what).
struct ByteRole {
  enum class Kind {
    kField,
    kPixel,
    kPadding,
    kPixelData,
    kEntry,
    kGap,
    kPastPixels,
    kPastFile
  } kind = Kind::kPastFile;
  std::size_t field = 0;      // kField: its index in bitmap::kFieldLayout
  std::uint64_t entry = 0;    // kEntry: its index in the table
  bitmap::BytePixels pixels;  // kPixel and kPadding
};

ByteRole byteRole(const report::ReportMap& map, const bitmap::PixelLayout& layout,
                  std::uint64_t offset);

// The answer to a question that cannot be answered: {refused: why}.
std::string refusal(std::string_view why);

class Inspection {
 public:
  // head: the file's first bytes (bitmap::kHeadBytes, or all of a shorter file), fileLength
  // its length, fileName the name the report is made under.
  Inspection(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileLength,
             std::string_view fileName);

  std::string describe() const;
  std::string pixel(std::uint64_t x, std::uint64_t y) const;
  std::string byte(std::string_view offset) const;
  std::string place(std::uint64_t line, std::uint64_t column) const;
  std::string entry(std::uint64_t index) const;
  std::string excerpts(std::vector<std::uint64_t> lines, std::uint64_t before,
                       std::uint64_t after) const;

  const report::ReportMap& map() const { return map_; }
  const bitmap::PixelLayout& layout() const { return layout_; }

 private:
  report::ReportMap map_;
  bitmap::PixelLayout layout_;
  std::string magic_;
  std::string_view looksLike_;
};

}  // namespace app
