// The report sections, printed in this order by the run.
#pragma once

#include <cstddef>
#include <string_view>

#include "report/dump_walks.h"
#include "report/run_state.h"
#include "report/sink.h"

namespace report {

// The banner that names the file, ending with a line end.
void printBanner(std::string_view fileName, Sink& out);
// All that follows the banner for a file that does not start with "BM"; no line end after it.
inline constexpr std::string_view kNotABitmap = "\nBitmap file needed!";
// The file header and info header, field by field with their notes.
void printHeaderReport(const RunState& run, Sink& out);
// The colour table's section for a file of fileLength bytes: whether there is one (1, 4 and 8
// bits per pixel), the entries it counts (paletteCount), and how many rows it lists: entries
// past the end of the file are not listed past the 256th, and one line says how many were left.
struct TableListing {
  bool listed = false;
  std::uint32_t count = 0;
  std::uint64_t rows = 0;
};
TableListing tableListing(const bitmap::BitmapInfoHeader& info, std::uint64_t fileLength);

// Decides paletteCount; for 1, 4 and 8 bits per pixel lists the table and keeps it.
void printPaletteReport(RunState& run, Sink& out);

// The table section's heading, and the line that ends a listing cut short: its text is
// kMoreEntriesOpen, the count of entries left out, and kMoreEntriesClose.
inline constexpr std::string_view kTableHeading[] = {
    "\n ", "\n === Pallete ===           dec | hex",
    "\n [index] [ red ][green][ blue]   [   r g b]"};
inline constexpr std::string_view kMoreEntriesOpen = "\n (";
inline constexpr std::string_view kMoreEntriesClose =
    " more entries past the end of the file not listed)";
// A table row is "\n [", the index right-aligned in kIndexWidth characters, then this many.
inline constexpr std::size_t kIndexWidth = 5;
inline constexpr std::size_t kEntryRowRest = 36;
// The pixel dump that biBitCount selects, if any.
void printPixelDump(RunState& run, Sink& out);
// The 24-bit dump; printPixelDump hands those files' walk here.
void printTrueColorDump(RunState& run, Sink& out, const DumpWalk& dump);

}  // namespace report
