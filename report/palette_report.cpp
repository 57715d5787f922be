// The colour-table section of 1-, 4- and 8-bit files: each entry in decimal and hexadecimal.
#include <algorithm>
#include <array>

#include "report/sections.h"
#include "report/text_tables.h"

namespace report {
namespace {

// Rows beyond this many are listed only while the file still holds bytes of them.
constexpr std::uint64_t kAlwaysListed = 256;

void putEntryRow(Sink& out, std::uint64_t index, const bitmap::RgbQuad& entry) {
  out.put("\n [");
  out.putPadded(index, kIndexWidth);
  // "] [%5d][%5d][%5d] | [0x%02X%02X%02X]", red first.
  const std::uint8_t rgb[3] = {entry.rgbRed, entry.rgbGreen, entry.rgbBlue};
  char row[40];
  char* p = std::copy_n("] [", 3, row);
  for (std::size_t c = 0; c < 3; ++c) {
    if (c > 0) p = std::copy_n("][", 2, p);
    p = std::copy_n("  ", 2, p);
    p = std::copy_n(kDecimal3[rgb[c]].data(), 3, p);
  }
  p = std::copy_n("] | [0x", 7, p);
  for (const std::uint8_t component : rgb) p = std::copy_n(kHexItems[component].data(), 2, p);
  *p++ = ']';
  out.put(std::string_view(row, static_cast<std::size_t>(p - row)));
}

}  // namespace

TableListing tableListing(const bitmap::BitmapInfoHeader& info, std::uint64_t fileLength) {
  TableListing table;
  switch (info.biBitCount) {
    case 1:
      table.count = 2;
      break;
    case 4:
      table.count = 16;
      break;
    case 8:
      // Sized by biClrImportant, taken unsigned, rather than by biClrUsed.
      table.count =
          info.biClrImportant != 0 ? static_cast<std::uint32_t>(info.biClrImportant) : 256;
      break;
    default:
      return table;
  }
  table.listed = true;
  const std::uint64_t entriesInFile =
      fileLength > bitmap::kColorTableOffset ? (fileLength - bitmap::kColorTableOffset + 3) / 4 : 0;
  table.rows = std::min<std::uint64_t>(table.count, std::max(kAlwaysListed, entriesInFile));
  return table;
}

void printPaletteReport(RunState& run, Sink& out) {
  bitmap::Source& file = run.file;
  const TableListing table = tableListing(run.info.bmiHeader, file.size());
  if (!table.listed) return;
  run.paletteCount = table.count;
  for (const std::string_view piece : kTableHeading) out.put(piece);

  // The table is read from where it follows a 40-byte info header, whatever biSize says.
  file.seekSet(bitmap::kColorTableOffset);
  const std::uint64_t listed = table.rows;
  // Entries, or parts of entries, past the end of the file stay zero.
  const auto kept =
      static_cast<std::size_t>(std::min<std::uint64_t>(run.paletteCount, kAlwaysListed));
  run.palette.assign(kept, bitmap::RgbQuad{});
  for (std::uint64_t i = 0; i < listed; ++i) {
    std::array<std::uint8_t, 4> bytes{};
    file.read(bytes.data(), bytes.size());
    const bitmap::RgbQuad entry = bitmap::decodeRgbQuad(bytes.data());
    if (i < kept) run.palette[static_cast<std::size_t>(i)] = entry;
    putEntryRow(out, i, entry);
  }
  if (listed < run.paletteCount) {
    out.put(kMoreEntriesOpen);
    out.putUnsigned(run.paletteCount - listed);
    out.put(kMoreEntriesClose);
  }
}

}  // namespace report
