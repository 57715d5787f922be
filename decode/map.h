// The map of a file: every byte in exactly one named region, in file order, with no gap and no
// overlap, walked as a stream from any offset so that a file of millions of rows or commands
// never needs its whole map in memory.
//
// Structures claim bytes in this order of precedence, and where two claim the same bytes the
// earlier wins and both sides say so in their notes: the file header, the info header, the
// masks after a 40-byte header, the colour table, the pixels, the ICC profile. Bytes no
// structure claims are a gap: before the pixels, past the pixels, or unused between others.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decode/decoder.h"

namespace decode {

enum class RegionKind : std::uint8_t {
  kFileHeaderField,
  kInfoHeaderField,
  kHeaderExtra,  // info-header bytes past the fields its size names
  kMask,
  kColourEntry,
  kGap,       // before the pixels, or unused between structures
  kPixelRow,  // a stored row's pixel bytes
  kRowPadding,
  kEncodedRun,
  kAbsoluteRun,
  kRunPad,  // the pad byte of an absolute run
  kEndOfLine,
  kEndOfBitmap,
  kDelta,
  kCutCommand,  // a command the end of the file cuts short
  kPixelData,   // pixels that are not decoded
  kEmbeddedJpeg,
  kEmbeddedPng,
  kProfile,      // an embedded ICC profile
  kProfileName,  // a linked profile's file name
  kPastPixels,   // bytes past the pixels
  kUnread,       // the rest of a file that does not start with BM
};

struct Region {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  RegionKind kind = RegionKind::kGap;
  std::string name;
  std::string note;
  // The pixels a row or a run sets: pixels of them from (x, y), y from the top; none for
  // regions that set no pixel (and for runs outside the picture).
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint64_t pixels = 0;
};

const char* regionKindName(RegionKind kind);

// Calls visit for each region that ends past offset from, in file order, until visit returns
// false or the file ends.
void walkMap(Decoder& decoder, std::uint64_t from, const std::function<bool(const Region&)>& visit);

// The region that holds the byte at offset; one of size 0 at or past the end of the file.
Region regionAt(Decoder& decoder, std::uint64_t offset);

// The whole map, for files of ordinary size: at most maxRegions regions, the rest not listed.
std::vector<Region> mapRegions(Decoder& decoder, std::size_t maxRegions);

}  // namespace decode
