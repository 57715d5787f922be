// The decoder: a file's pixels as RGBA with a state each, row by row from the top in any
// order or the whole picture in one pass, and where each pixel comes from.
//
// Use: implement decode::Input over the file's bytes (or take MemoryInput or SourceInput),
// make a Decoder on it, and read format() for the headers. Then:
//   - decodeRow(y, x, count, rgba, state): pixels x .. x + count - 1 of row y, y = 0 at the top,
//     whatever the file's row order or compression. rgba takes 4 bytes a pixel (red, green,
//     blue, alpha), state one (decode::State). Rows may be asked for in any order; memory stays
//     within a fixed bound plus one piece of a row, whatever the size the header claims.
//   - decodeImage(rgba, state): the whole picture, rows from the top, read once in storage
//     order; the caller owns width x height x 4 and width x height bytes.
//   - pixelSource(x, y): the bytes and bits that hold a pixel, or the RLE command that set it,
//     or why no byte sets it.
//   - decode/map.h walks every byte of the file as named regions.
// The first row, source or map asked of an RLE file walks its commands once to index its rows
// (rleIndex()); everything after is a search and a short walk. A Decoder reads its input
// through one block and keeps state between calls: one thread at a time, one Decoder per
// file. decodes() is false for files whose pixels are not decoded (format().problem says why);
// their headers and map are still there, embedded JPEG and PNG named with their offset and
// length (format().layout.start and end).
// Colours: indexed pixels take their table entry, opaque. Bit fields scale each channel to
// 8 bits, round(v x 255 / max); no alpha mask means opaque. 32-bit BI_RGB ignores the fourth
// byte (opaque). 64-bit pixels are linear signed 2.13 fixed point, clamped to 0..1: colour
// channels encoded with the sRGB curve, alpha scaled. A pixel that is not defined is 0 0 0 0.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "decode/format.h"
#include "decode/input.h"
#include "decode/rle.h"

namespace decode {

// Where an RLE picture's stored rows start: one checkpoint a row reached, thinned to every
// second, fourth, ... row once there are kMaxCheckpoints, so that any row is found by a search
// and a short walk, in a bounded amount of memory. Built in one pass over the commands.
struct RleIndex {
  static constexpr std::size_t kMaxCheckpoints = std::size_t{1} << 16;
  std::vector<Cursor> checkpoints;  // rows and offsets both ascending
  std::uint64_t stride = 1;         // rows between checkpoints at least
  std::uint64_t end = 0;            // just past the last command
  bool cut = false;                 // the file ends before an end of bitmap
  Cursor last;                      // the cursor where the commands end
};

struct PixelSource {
  enum class Kind : std::uint8_t {
    kStored,      // uncompressed: offset and size are the pixel's bytes
    kCommand,     // the RLE command at offset set it; dataOffset holds its value
    kSkipped,     // the RLE command at offset (delta, end of line, end of bitmap) passed it
    kMissing,     // its bytes would start at offset, past the end of the file (or its table
                  // entry would: entryOffset)
    kBadIndex,    // its index, at offset, has no table entry
    kNotDecoded,  // the file's pixels are not decoded (Format::problem)
    kOutside,     // (x, y) is not in the picture
  };
  Kind kind = Kind::kNotDecoded;
  State state = kMissing;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  // The bytes that hold the pixel's value; for pixels smaller than a byte the value is
  // byte >> shift & ((1 << bits) - 1). For RLE, within the command.
  std::uint64_t dataOffset = 0;
  std::uint32_t dataSize = 0;
  std::uint32_t shift = 0;
  std::uint32_t bits = 0;
  CommandKind command = CommandKind::kCut;  // kCommand and kSkipped
  std::int64_t index = -1;                  // the table index, for indexed pixels
  std::uint64_t entryOffset = 0;            // and its entry
  // kMissing: its bytes would pass 2^64 - 1, beyond any file; offset means nothing.
  bool beyondAnyFile = false;
};

class Decoder {
 public:
  explicit Decoder(Input& input);

  const Format& format() const { return format_; }
  BlockReader& reader() { return reader_; }
  std::uint32_t width() const { return format_.layout.width; }
  std::uint32_t height() const { return format_.layout.height; }
  // Whether the pixels decode: false for embedded JPEG and PNG, Huffman and broken headers.
  bool decodes() const;
  bool isRle() const;

  // Pixels x .. x + count - 1 of row y (from the top); x + count <= width(), y < height().
  // False, and nothing written, when the pixels do not decode.
  bool decodeRow(std::uint32_t y, std::uint32_t x, std::uint32_t count, std::uint8_t* rgba,
                 std::uint8_t* state);
  // The whole picture, rows from the top, in one pass over the file.
  bool decodeImage(std::uint8_t* rgba, std::uint8_t* state);

  PixelSource pixelSource(std::uint32_t x, std::uint32_t y);

  // The checkpoints of an RLE picture, built on first use.
  const RleIndex& rleIndex();

 private:
  void storedRow(std::uint64_t rowStart, std::uint32_t x, std::uint32_t count, std::uint8_t* rgba,
                 std::uint8_t* state);
  void convert(const std::uint8_t* bytes, unsigned firstBit, std::uint32_t count,
               std::uint8_t* rgba, std::uint8_t* state) const;
  void paintRun(const Command& command, std::uint64_t firstPixel, std::uint64_t from,
                std::uint64_t to, std::uint8_t* rgba, std::uint8_t* state);
  const Cursor& checkpointFor(std::uint64_t row);
  std::uint64_t storedRowOf(std::uint32_t y) const;
  bool storedRowStart(std::uint64_t row, std::uint64_t* start) const;

  BlockReader reader_;
  Format format_;
  // The masks' shifts and largest values, for kMasked.
  std::uint32_t shift_[4] = {};
  std::uint32_t max_[4] = {};
  std::unique_ptr<std::uint8_t[]> scratch_;  // a piece of a row that straddles two blocks
  RleIndex index_;
  bool indexed_ = false;
};

}  // namespace decode
