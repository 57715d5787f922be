// The decoder's answers for the front ends: what a file's headers say, its map's regions and
// each pixel's colour, state and source, as JSON written by app/json.h. The decoder works them
// out (decode/); the page and the npm package show them and work none of them out again.
//
// THE ANSWERS. Each is one JSON object.
//
// Numbers. The map's regions and the header's fields lie inside the file (a field the file
// is too short for lies within 200 bytes of its start): their offsets and sizes are numbers,
// exact for any file up to 2^53 bytes (8 PiB), and so is fileLength. Every other position or
// length in bytes is a decimal string, because a header can claim it past 2^53: where the
// pixels, the table, the masks, the profile and an embedded image lie, and a pixel's bytes.
// Counts of table entries are decimal strings too (biClrUsed is any 32-bit number). The rest
// are numbers: width, height, x and y (from 0 at the top left), bits, shifts and sizes of one
// field, pixel, command or entry.
//
// format: what the headers say (decode::Format), the answer to opening a file. The values
// shown are those of samples/sample.bmp.
//   {fileLength: 150, bitmap: true,        bitmap: the file starts with "BM"
//    header: {kind: "info", name: "BITMAPINFOHEADER", size: 40},
//            kind "none" (no header the decoder reads), "core" (OS/2 1.x, 12 bytes), "os2"
//            (OS/2 2.x, 16 to 64), "info" (40), "info52", "info56", "v4" (108) or "v5" (124);
//            size: biSize as stored
//    decodes: true, encoding: "indexed", encodingName: "indexed", problem: null,
//            encoding "none", "indexed", "bit-fields", "bgr", "bgra64", "rle8", "rle4", "rle24",
//            "huffman", "jpeg" or "png"; problem: why the pixels do not decode, null when they do
//    width: 8, height: 4, storedWidth: 8, storedHeight: 4, topDown: false,
//            width and height as pixels; storedWidth and storedHeight as the header has them,
//            signed (OS/2 1.x: unsigned 16 bits)
//    bitCount: 8, compression: 0, compressionName: "BI_RGB",
//    masks: null | {red: 31744, green: 992, blue: 31, alpha: 0, offset: "54", size: 12},
//            the channels' masks for bit fields (alpha 0: opaque); offset and size where
//            they are stored after a 40-byte header, null and 0 when they are fields of a
//            longer header or the format's defaults for BI_RGB
//    table: {offset: "54", entrySize: 4, entries: "16"},   null when no header is read
//    pixels: {start: "118", end: "150", rowBytes: "8"},
//            the stored pixels from start (bfOffBits) to end: rows of rowBytes for
//            uncompressed pixels; for compressed ones, start plus biSizeImage (the file's end
//            when it is 0), where the header says they end (the map shows where an RLE
//            picture's commands do); end null when the rows would pass 2^64 - 1
//    embedded: null | {kind: "jpeg" | "png", offset: "54", length: "1024"},
//    profile: null | {linked: false, offset: "262", size: "3144"},
//            an ICC profile in the file, or (linked) a profile's file name
//    fields: [{name: "bfType", offset: 0, size: 2, value: "BM", note: "a BMP file",
//              hex: "42 4D"}, ...]}
//            every field of the headers and masks in file order: value as the format reads it
//            (signed where signed, masks in hex, colour-space tags as text, fixed-point
//            numbers in decimal), note ("" when none), hex: the stored bytes the file holds
//            ("" for a field past its end)
//
// regions {from, to, max}: the regions that hold a byte from offset from up to offset to, each
// whole (the first may start before from, the last end after to), in file order; at most max
// of them, and never more than kMaxRegionsAnswered.
//   {regions: [<region>, ...], more: false, next: 150}
//   more: other regions in the range follow; next: where the last one listed ends (from when
//   none is listed), the from that asks for the rest.
// <region>: {offset: 70, size: 2, kind: "encoded-run", name: "encoded run of 3", note: "",
//            x: 0, y: 3, pixels: 3}
//   kind as decode::regionKindName gives it; x, y and pixels only for a row or a run that sets
//   pixels: pixels of them from x, y (y from the top).
//
// regionCount {from, to, max}: how many regions hold a byte from offset from up to offset to,
// counted up to max at most, without writing them: {count: 36}.
//
// regionAt {offset}: the <region> that holds the byte at offset; null at or past the end.
//
// pixel {x, y}: the pixel at x, y as the format defines it, and where it comes from.
//   {x: 3, y: 1, state: 0, stateName: "defined", rgba: [0, 0, 19, 255],
//    source: "command", offset: "84", why: "",
//    data: {offset: "85", size: 1, shift: 0, bits: 8, hex: "03", missing: 0} | null,
//    command: {offset: "84", size: 2, kind: "encoded-run", name: "encoded run",
//              hex: "01 03"} | null,
//    index: 3 | null, entry: {offset: "66", size: 4, hex: "13 00 00 7F"} | null}
//   state: 0 defined, 1 skipped, 2 missing, 3 index past the table (decode::State), named
//   "defined", "skipped", "missing" or "bad-index"; rgba 0 0 0 0 when not defined.
//   source: "stored" (uncompressed), "command" (an RLE command set it), "skipped" (a command
//   passes over it), "missing" (its bytes or its table entry lie past the end of the file, or
//   the commands end before it), "bad-index" or "not-decoded" (state and rgba null).
//   offset: what to mark: the pixel's first byte, or its command; where the commands stop
//   for an RLE pixel none reaches; null when not decoded. When its bytes would pass 2^64 - 1,
//   beyondAnyFile: true stands in its place, and data is null. why: in words, why the pixel is
//   not defined ("" when it is).
//   data: the bytes that hold its value (for RLE, within its command); under 8 bits the value
//   is byte >> shift & (2^bits - 1); hex the bytes the file holds, missing how many it lacks.
//   command: the RLE command that set or skipped it, its bytes without an absolute run's pad.
//   index and entry: for indexed pixels, the table index and its entry's bytes ("" past the
//   end of the file); an index past the table has no entry.
//
// A question that cannot be answered as asked gets {refused: "<why, in words>"}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/json.h"
#include "decode/decoder.h"

namespace app {

// The most regions one regions answer lists: about 6 MB of JSON.
constexpr std::uint64_t kMaxRegionsAnswered = std::uint64_t{1} << 16;

// The names the answers give the decoder's values: "info", "rle8", "defined", "stored",
// "encoded-run".
std::string_view headerKindName(decode::HeaderKind kind);
std::string_view encodingKey(decode::Encoding encoding);
std::string_view stateName(decode::State state);
// "" for a pixel outside the picture.
std::string_view sourceName(decode::PixelSource::Kind kind);
// The region kind of an RLE command's bytes.
std::string_view commandKindName(decode::CommandKind kind);

// Where a pixel's value comes from, as a pixel answer writes it after the pixel's offset:
// "data", the bytes that hold its value, when data is set; "command", the RLE command that set
// or skipped it, when command is set, its bytes commandHex (null when not given); "index"; and
// "entry", its offset and, when entrySize is not 0, its size and entryHex. Bytes go under key.
struct SourceBytes {
  std::string_view key;
  bool data = false;
  std::string dataHex;
  std::uint64_t fileSize = 0;
  bool command = false;
  std::optional<std::string> commandHex;
  std::uint64_t entrySize = 0;
  std::string entryHex;
};
void putSourceBytes(Json& json, const decode::PixelSource& source, const SourceBytes& bytes);

std::string formatAnswer(const decode::Format& format);
std::string regionsAnswer(decode::Decoder& decoder, std::uint64_t from, std::uint64_t to,
                          std::uint64_t max);
std::string regionCountAnswer(decode::Decoder& decoder, std::uint64_t from, std::uint64_t to,
                              std::uint64_t max);
std::string regionAtAnswer(decode::Decoder& decoder, std::uint64_t offset);
std::string pixelAnswer(decode::Decoder& decoder, std::uint64_t x, std::uint64_t y);

}  // namespace app
