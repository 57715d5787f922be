// Two BMP files compared by what the format says they hold: the header fields whose values
// differ, the colour-table entries that differ, the colour profiles when they differ, the
// pixels that differ by (x, y) from the top left whatever the row order or compression, and a
// verdict. Plain structs, so that a front end shows the answer without working anything out
// again.
//
// Use: make a decode::Input for each file (two inputs that share nothing: two Sources for one
// file) and call compareFiles. It streams both files row by row in pieces, so memory stays
// within a fixed bound whatever their sizes or the sizes their headers claim, and it lists at
// most Bounds of each kind of difference while counting them all. comparisonLines()
// (compare/lines.h) gives the text the command line prints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/decoder.h"

namespace compare {

// A header field as one file stores it. present is false when that file's header lacks it.
struct FieldSide {
  bool present = false;
  std::string name;  // as this header version names it: bV5Width, cx, bcWidth
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> bytes;  // the field's bytes in file order, as many as the file holds
  std::string value;                // as the decoder reads it: signed, hex masks, tags as text
};

struct FieldDifference {
  std::string name;  // the name both versions share (decode::commonFieldName)
  FieldSide a;
  FieldSide b;
};

// A colour-table entry as one file stores it. present is false past the entries its header
// states; state is kMissing when the file ends before the entry does.
struct EntrySide {
  bool present = false;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;           // 4, or 3 in an OS/2 1.x table
  std::vector<std::uint8_t> bytes;  // blue, green, red (and reserved), as many as the file holds
  std::array<std::uint8_t, 4> rgba{};
  decode::State state = decode::kDefined;
};

struct EntryDifference {
  std::uint64_t index = 0;
  EntrySide a;
  EntrySide b;
};

// Entries that one table states and the other does not: first .. last, in A when inA.
struct EntriesOnlyInOne {
  bool any = false;
  bool inA = false;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

// The colour profile after a V5 header as one file stores it: an embedded ICC profile or a
// linked profile's file name. present is false when the header names neither.
struct ProfileSide {
  bool present = false;
  bool linked = false;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;  // as the header states it
  // When the profiles' bytes are compared: this one's from the first that differs, at most
  // four, as many as the file holds; none at or past the profile's end.
  std::vector<std::uint8_t> bytes;
};

// The two files' profiles when they differ: one file names one and the other none, one embeds
// it and the other links it, or their sizes or bytes differ. A profile changes how the colours
// show, so two files whose profiles differ are not the same however alike their pixels.
struct ProfileDifference {
  bool differ = false;
  ProfileSide a;
  ProfileSide b;
  // Both present and of one kind, their bytes compared: the first byte that differs, counted
  // from each profile's start, or where the shorter one, or the file that holds less of it, ends.
  bool bytesCompared = false;
  std::uint64_t firstDifference = 0;
};

// A pixel as one file gives it: its colour and state, where it comes from, and the bytes that
// hold its value (source.dataOffset, dataSize), or for a pixel an RLE command skips the first
// bytes of that command; as many as the file holds.
struct PixelSide {
  std::array<std::uint8_t, 4> rgba{};
  decode::State state = decode::kDefined;
  decode::PixelSource source;
  std::vector<std::uint8_t> bytes;
};

struct PixelDifference {
  std::uint32_t x = 0;
  std::uint32_t y = 0;  // from the top
  PixelSide a;
  PixelSide b;
};

// Inclusive bounds of every pixel that differs.
struct Box {
  std::uint32_t left = 0;
  std::uint32_t top = 0;
  std::uint32_t right = 0;
  std::uint32_t bottom = 0;
};

struct PixelComparison {
  // False when either file's pixels are not decoded: problemA and problemB say why (empty for
  // a file whose pixels decode).
  bool compared = false;
  std::string problemA;
  std::string problemB;
  // Neither decodes, and both embed the same JPEG or PNG, byte for byte: the same picture.
  bool sameEmbedded = false;
  std::uint64_t embeddedSize = 0;
  // The area compared: both pictures from the top left, as far as the smaller reaches.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t count = 0;  // width x height
  std::uint64_t differ = 0;
  // Of those, the pixels whose state differs: defined in one file, missing, skipped or with a
  // bad index in the other (or missing in one and skipped in the other).
  std::uint64_t stateDiffer = 0;
  Box box;  // meaningful when differ > 0
  // The largest difference of red, green, blue and alpha over pixels defined in both.
  std::array<std::uint8_t, 4> largest{};
  std::vector<PixelDifference> first;  // in reading order, at most Bounds::pixels
};

// What each file is, as far as the comparison says it.
struct FileFacts {
  std::uint64_t size = 0;
  bool bitmap = false;  // starts with BM; nothing more is compared when either does not
  decode::HeaderKind kind = decode::HeaderKind::kNone;
  decode::Encoding encoding = decode::Encoding::kNone;
  bool compressed = false;  // RLE, Huffman, JPEG or PNG: pixels not at fixed offsets
  bool topDown = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t tableEntries = 0;  // as the header states them
};

enum class Verdict : std::uint8_t {
  kIdentical,    // the same bytes
  kSamePicture,  // the same size and every pixel the same, the bytes not
  kDifferent,    // sizes or pixels differ, or the pixels could not be compared
};

struct Comparison {
  FileFacts a;
  FileFacts b;
  bool identicalBytes = false;
  // The first offset whose byte differs, or the shorter file's length when it is the other's
  // start; and the map's name for that byte in each file (empty past a file's end).
  std::uint64_t firstDifference = 0;
  std::string firstRegionA;
  std::string firstRegionB;
  bool sizesDiffer = false;
  bool rowsOpposite = false;    // one stored bottom-up and the other top-down
  bool storageDiffers = false;  // one compressed and the other not, or compressed differently
  std::vector<FieldDifference> fields;   // in A's file order, then the fields only B has
  std::vector<EntryDifference> entries;  // in index order, at most Bounds::entries
  std::uint64_t entriesDiffer = 0;       // all of them, listed or not
  EntriesOnlyInOne entriesOnly;
  PixelComparison pixels;
  Verdict verdict = Verdict::kDifferent;
  // No field, entry, profile or pixel differs and the sizes agree: what exit status 0 stands
  // for.
  bool same = false;
  ProfileDifference profile;
};

// How many differences of each kind are listed; all are counted.
struct Bounds {
  std::size_t pixels = 10;
  std::size_t entries = 16;
};

Comparison compareFiles(decode::Input& a, decode::Input& b, const Bounds& bounds = Bounds{});

}  // namespace compare
