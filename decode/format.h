// What a file's headers say, read field by field: the header's kind, every field with its
// offset, size, stored bytes, value and note, the masks, the colour table and where the pixels,
// the profile and the embedded images lie.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/layout.h"
#include "decode/input.h"

namespace decode {

// The info header by its size: OS/2 1.x BITMAPCOREHEADER (12 bytes), OS/2 2.x (16 to 64
// bytes), BITMAPINFOHEADER (40), its 52- and 56-byte extensions with masks, BITMAPV4HEADER
// (108) and BITMAPV5HEADER (124). kNone: no bitmap, or a header too short to read.
enum class HeaderKind : std::uint8_t { kNone, kCore, kOs2, kInfo, kInfo52, kInfo56, kV4, kV5 };

// How the pixels are stored, and so how they decode.
enum class Encoding : std::uint8_t {
  kNone,     // not decoded; Format::problem says why
  kIndexed,  // 1, 2, 4 or 8 bits a pixel, an index into the colour table
  kMasked,   // 16, 24 or 32 bits a pixel, channels cut out by masks
  kBgr,      // 24 bits a pixel: blue, green, red
  kBgra64,   // 64 bits a pixel: blue, green, red, alpha, each a signed 2.13 fixed-point number
  kRle8,     // BI_RLE8
  kRle4,     // BI_RLE4
  kRle24,    // OS/2's 24-bit RLE
  kHuffman,  // OS/2's 1-bit modified Huffman: named, not decoded
  kJpeg,     // an embedded JPEG: named, not decoded
  kPng,      // an embedded PNG: named, not decoded
};

// One field as the file stores it. value is as the format reads it: signed where the field is
// signed, masks in hex, colour-space tags as their four characters, endpoints and gamma as
// their fixed-point numbers. A field the file is too short to hold reads as zero and says so.
struct Field {
  std::string name;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::uint64_t stored = 0;  // the field's bytes as a little-endian number
  std::string value;
  std::string note;
};

// Pixel states, one byte a pixel.
enum State : std::uint8_t {
  kDefined = 0,
  kSkipped = 1,   // no command sets it: passed over by an RLE delta, end of line or end of bitmap
  kMissing = 2,   // its bytes (or its colour-table entry) lie past the end of the file
  kBadIndex = 3,  // its index has no entry in the colour table
};

struct Format {
  std::uint64_t fileSize = 0;
  bool bitmap = false;  // the file starts with "BM"
  HeaderKind kind = HeaderKind::kNone;
  std::uint32_t headerSize = 0;  // biSize as stored
  std::uint32_t fieldsSize = 0;  // how many of its bytes the named fields cover
  std::int64_t storedWidth = 0;  // as stored: signed, or unsigned 16-bit for OS/2 1.x
  std::int64_t storedHeight = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  Encoding encoding = Encoding::kNone;
  std::string problem;  // why the pixels are not decoded; empty when they are

  // Red, green, blue and alpha masks of kMasked; alpha 0 means opaque.
  std::array<std::uint32_t, 4> masks{};
  std::uint64_t masksOffset = 0;  // masks stored after a 40-byte header
  std::uint32_t masksSize = 0;    // 12 or 16 bytes there, else 0

  std::uint64_t tableOffset = 0;
  std::uint32_t entrySize = 4;     // 3 for OS/2 1.x
  std::uint64_t tableEntries = 0;  // as stated, or implied by the depth
  // The colours an index can name (at most 256), as RGBA, with each one's state: defined,
  // missing when its entry lies past the end of the file, or past the table.
  std::array<std::array<std::uint8_t, 4>, 256> palette{};
  std::array<std::uint8_t, 256> paletteState{};

  // Where the stored pixels lie: rows for uncompressed pixels; for compressed ones, end is
  // bfOffBits + biSizeImage (the file's end when that is 0) until the RLE walk finds its end.
  bitmap::PixelLayout layout;

  // An ICC profile (embedded) or a profile's file name (linked), after a V5 header; profile is
  // false when the header names neither.
  bool profile = false;
  bool profileLinked = false;
  std::uint64_t profileOffset = 0;
  std::uint64_t profileSize = 0;

  std::vector<Field> fields;  // in file order
};

// Reads the headers, the masks and the colour table.
Format readFormat(BlockReader& reader);

// A field's name in the earliest header that has it, so that the same field of two header
// versions compares: biWidth for bcWidth, cx and bV5Width, biRedMask for bV4RedMask (and for the
// masks after a 40-byte header), bV4CSType for bV5CSType. Other names are their own.
std::string commonFieldName(std::string_view name);

// The format's names, for text and for the front ends.
const char* encodingName(Encoding encoding);
const char* headerName(HeaderKind kind);
// The compression code's name as the header kind defines it: "BI_RLE8", "BCA_RLE24 (OS/2)".
std::string compressionName(std::uint32_t code, HeaderKind kind);

}  // namespace decode
