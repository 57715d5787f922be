// The pixel dumps biBitCount selects, each as the walk it makes over the file: where it starts,
// how many items it reads, of what size, in rows of how many, skipping what at each break. The
// report prints them and the inspector finds bytes in them from this one definition.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "bitmap/records.h"
#include "report/dump_items.h"
#include "report/row_walk.h"

namespace report {

enum class ItemKind {
  kBitPicture,  // a byte as eight characters, bit 0 first
  kHex,         // a byte as "%02X "
  kTranslated,  // a byte as its table entry's colour, "0x%02X%02X%02X "
  kTriple,      // a 24-bit pixel as "(%3d.%3d.%3d) ", red first
};

struct DumpWalk {
  std::string_view title;  // as the section header names it: "Bitmap Data[Indexed data]"
  ItemKind kind;
  std::uint64_t start;  // bfOffBits, taken as unsigned: a position, never a negative seek
  RowWalk walk;
};

// Bytes an item reads, and characters it prints: as its formatter (dump_items.h) has them.
struct ItemSize {
  std::uint32_t bytes;
  std::uint32_t chars;
};
template <class Item>
constexpr ItemSize sizeOf() {
  return {static_cast<std::uint32_t>(Item::kItemBytes),
          static_cast<std::uint32_t>(Item::kTextBytes)};
}
constexpr ItemSize itemSize(ItemKind kind) {
  switch (kind) {
    case ItemKind::kBitPicture:
      return sizeOf<BitPictureItem>();
    case ItemKind::kHex:
      return sizeOf<HexItem>();
    case ItemKind::kTranslated:
      return sizeOf<TranslatedItem>();
    case ItemKind::kTriple:
      return sizeOf<TripleItem>();
  }
  return {0, 0};
}
constexpr std::uint32_t itemBytes(ItemKind kind) { return itemSize(kind).bytes; }
constexpr std::uint32_t itemChars(ItemKind kind) { return itemSize(kind).chars; }

// A dump's section opens with a blank line and its title's line: kTitleOpen, the title,
// kTitleClose; its rows start on the next line.
inline constexpr std::string_view kTitleOpen = "\n\n === ";
inline constexpr std::string_view kTitleClose = " ===";

// The dumps of a file in the order the report prints them: two for 1, 4, 8 and 16 bits per
// pixel, one for 24, none for any other depth.
std::vector<DumpWalk> dumpWalks(const bitmap::BitmapFileHeader& file,
                                const bitmap::BitmapInfoHeader& info);

// Prints a dump: a blank line, its section header, then its walk from its start, each item
// read into item and printed by format (see walkRows).
template <class Format>
void printDump(bitmap::Source& file, Sink& out, const DumpWalk& dump, std::uint8_t* item,
               const Format& format) {
  out.put(kTitleOpen);
  out.put(dump.title);
  out.put(kTitleClose);
  file.seekSet(dump.start);
  walkRows(file, out, dump.walk, item, format);
}

}  // namespace report
