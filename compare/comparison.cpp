// The comparison: the bytes scanned once for identity, the header fields matched by their
// common names, the colour tables entry by entry, the profiles byte by byte, then the pixels
// row by row in pieces.
#include "compare/comparison.h"

#include <algorithm>
#include <cstring>

#include "bitmap/layout.h"
#include "compare/stored_pixels.h"
#include "decode/map.h"

namespace compare {

namespace {

using decode::BlockReader;
using decode::Decoder;
using decode::Encoding;
using decode::Format;

// Pixels decoded and compared at a time: a row of any width is walked in pieces.
constexpr std::uint32_t kPiecePixels = 16384;
// Table entries compared as bytes at a time.
constexpr std::uint64_t kEntriesAtATime = 4096;

bool compressed(Encoding encoding) {
  return encoding == Encoding::kRle8 || encoding == Encoding::kRle4 ||
         encoding == Encoding::kRle24 || encoding == Encoding::kHuffman ||
         encoding == Encoding::kJpeg || encoding == Encoding::kPng;
}

std::vector<std::uint8_t> heldBytes(BlockReader& reader, std::uint64_t offset, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  bytes.resize(reader.copy(offset, bytes.data(), size));
  return bytes;
}

// How many of size bytes from offsetA in A and offsetB in B are the same before the first that
// differs, or before either file ends.
std::uint64_t sameRun(BlockReader& a, std::uint64_t offsetA, BlockReader& b, std::uint64_t offsetB,
                      std::uint64_t size) {
  std::uint64_t done = 0;
  while (done < size) {
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - done, BlockReader::kBlockSize));
    const decode::Span spanA = a.at(offsetA + done, want);
    const decode::Span spanB = b.at(offsetB + done, want);
    const std::size_t n = std::min({spanA.size, spanB.size, want});
    if (n == 0) break;  // an input that ended, perhaps before its stated size
    if (std::memcmp(spanA.data, spanB.data, n) != 0) {
      return done + static_cast<std::uint64_t>(
                        std::mismatch(spanA.data, spanA.data + n, spanB.data).first - spanA.data);
    }
    done += n;
  }
  return done;
}

// Whether size bytes at offsetA in A and offsetB in B are all there and the same.
bool sameBytes(BlockReader& a, std::uint64_t offsetA, BlockReader& b, std::uint64_t offsetB,
               std::uint64_t size) {
  return sameRun(a, offsetA, b, offsetB, size) == size;
}

// The first offset at which the files' bytes differ, or the shorter one's length.
std::uint64_t firstDifferentByte(BlockReader& a, BlockReader& b) {
  return sameRun(a, 0, b, 0, std::min(a.size(), b.size()));
}

FileFacts factsOf(Decoder& decoder) {
  const Format& format = decoder.format();
  FileFacts facts;
  facts.size = format.fileSize;
  facts.bitmap = format.bitmap;
  facts.kind = format.kind;
  facts.encoding = format.encoding;
  facts.compressed = compressed(format.encoding);
  facts.topDown = format.layout.topDown;
  facts.width = decoder.width();
  facts.height = decoder.height();
  facts.tableEntries = format.tableEntries;
  return facts;
}

FieldSide sideOf(const decode::Field& field, BlockReader& reader) {
  FieldSide side;
  side.present = true;
  side.name = field.name;
  side.offset = field.offset;
  side.size = field.size;
  side.bytes = heldBytes(reader, field.offset, field.size);
  side.value = field.value;
  return side;
}

// Fields match by their common name; a matched pair differs when its values do.
void compareFields(Decoder& a, Decoder& b, std::vector<FieldDifference>& out) {
  const std::vector<decode::Field>& fieldsA = a.format().fields;
  const std::vector<decode::Field>& fieldsB = b.format().fields;
  std::vector<std::string> namesB;
  namesB.reserve(fieldsB.size());
  for (const decode::Field& field : fieldsB) namesB.push_back(decode::commonFieldName(field.name));
  std::vector<bool> matched(fieldsB.size(), false);
  for (const decode::Field& field : fieldsA) {
    FieldDifference difference;
    difference.name = decode::commonFieldName(field.name);
    difference.a = sideOf(field, a.reader());
    std::size_t j = 0;
    while (j < namesB.size() && (matched[j] || namesB[j] != difference.name)) ++j;
    if (j < namesB.size()) {
      matched[j] = true;
      if (fieldsB[j].value == field.value) continue;
      difference.b = sideOf(fieldsB[j], b.reader());
    }
    out.push_back(std::move(difference));
  }
  for (std::size_t j = 0; j < fieldsB.size(); ++j) {
    if (matched[j]) continue;
    FieldDifference difference;
    difference.name = namesB[j];
    difference.b = sideOf(fieldsB[j], b.reader());
    out.push_back(std::move(difference));
  }
}

// Entries whose first byte the file holds.
std::uint64_t heldEntries(const Format& format) {
  if (format.tableOffset >= format.fileSize) return 0;
  const std::uint64_t room = format.fileSize - format.tableOffset;
  return std::min(format.tableEntries, (room + format.entrySize - 1) / format.entrySize);
}

EntrySide entryOf(Decoder& decoder, std::uint64_t index) {
  const Format& format = decoder.format();
  EntrySide side;
  side.present = index < format.tableEntries;
  if (!side.present) return side;
  side.offset = format.tableOffset + index * format.entrySize;
  side.size = format.entrySize;
  side.bytes = heldBytes(decoder.reader(), side.offset, side.size);
  if (side.bytes.size() < side.size) {
    side.state = decode::kMissing;
  } else {
    // Blue, green, red: an opaque colour.
    side.rgba = {side.bytes[2], side.bytes[1], side.bytes[0], 255};
  }
  return side;
}

bool sameEntry(const EntrySide& a, const EntrySide& b) {
  return a.state == b.state && a.rgba == b.rgba && (a.size != b.size || a.bytes == b.bytes);
}

// Entries by index, as far as both tables reach; past what either file holds both are missing.
void compareTables(Decoder& a, Decoder& b, const Bounds& bounds, Comparison& comparison) {
  const Format& formatA = a.format();
  const Format& formatB = b.format();
  const std::uint64_t both = std::min(formatA.tableEntries, formatB.tableEntries);
  const std::uint64_t end = std::min(both, std::max(heldEntries(formatA), heldEntries(formatB)));
  const bool sameSize = formatA.entrySize == formatB.entrySize;
  for (std::uint64_t i = 0; i < end;) {
    const std::uint64_t n = std::min(end - i, kEntriesAtATime);
    if (sameSize && sameBytes(a.reader(), formatA.tableOffset + i * formatA.entrySize, b.reader(),
                              formatB.tableOffset + i * formatB.entrySize, n * formatA.entrySize)) {
      i += n;
      continue;
    }
    for (const std::uint64_t last = i + n; i < last; ++i) {
      EntryDifference difference;
      difference.index = i;
      difference.a = entryOf(a, i);
      difference.b = entryOf(b, i);
      if (sameEntry(difference.a, difference.b)) continue;
      ++comparison.entriesDiffer;
      if (comparison.entries.size() < bounds.entries)
        comparison.entries.push_back(std::move(difference));
    }
  }
  if (formatA.tableEntries != formatB.tableEntries) {
    EntriesOnlyInOne& only = comparison.entriesOnly;
    only.any = true;
    only.inA = formatA.tableEntries > formatB.tableEntries;
    only.first = both;
    only.last = std::max(formatA.tableEntries, formatB.tableEntries) - 1;
  }
}

// The bytes of a file's profile that the file holds.
std::uint64_t profileHeld(Decoder& decoder) {
  const Format& format = decoder.format();
  const std::uint64_t size = decoder.reader().size();
  if (format.profileOffset >= size) return 0;
  return std::min(format.profileSize, size - format.profileOffset);
}

// A file's profile, and its bytes from the one at from on when bytesCompared.
ProfileSide profileOf(Decoder& decoder, bool bytesCompared, std::uint64_t from) {
  const Format& format = decoder.format();
  ProfileSide side;
  side.present = format.profile;
  if (!side.present) return side;
  side.linked = format.profileLinked;
  side.offset = format.profileOffset;
  side.size = format.profileSize;
  if (bytesCompared && from < side.size) {
    side.bytes = heldBytes(decoder.reader(), side.offset + from,
                           static_cast<std::size_t>(std::min<std::uint64_t>(side.size - from, 4)));
  }
  return side;
}

// The profiles differ when one file names one and the other not, when they are of different
// kinds or sizes, or when their bytes do; not when the same profile lies at another offset.
void compareProfiles(Decoder& a, Decoder& b, std::uint64_t sameUpTo, ProfileDifference& out) {
  const Format& formatA = a.format();
  const Format& formatB = b.format();
  if (!formatA.profile && !formatB.profile) return;
  std::uint64_t first = 0;
  const bool bytesCompared =
      formatA.profile && formatB.profile && formatA.profileLinked == formatB.profileLinked;
  if (bytesCompared) {
    const std::uint64_t heldA = profileHeld(a);
    const std::uint64_t heldB = profileHeld(b);
    const std::uint64_t both = std::min(heldA, heldB);
    // Bytes before sameUpTo are the same in both files: not read again where the profiles
    // start at one offset.
    std::uint64_t from = 0;
    if (formatA.profileOffset == formatB.profileOffset && sameUpTo > formatA.profileOffset)
      from = std::min(sameUpTo - formatA.profileOffset, both);
    first = from + sameRun(a.reader(), formatA.profileOffset + from, b.reader(),
                           formatB.profileOffset + from, both - from);
    if (first == both && heldA == heldB && formatA.profileSize == formatB.profileSize) return;
  }
  out.differ = true;
  out.bytesCompared = bytesCompared;
  out.firstDifference = first;
  out.a = profileOf(a, bytesCompared, first);
  out.b = profileOf(b, bytesCompared, first);
}

// Whether the same bytes give the same pixels in both files: both uncompressed, of one depth,
// with the same masks or the same table.
bool sameLayout(const Format& a, const Format& b) {
  if (a.encoding != b.encoding || a.bitCount != b.bitCount || compressed(a.encoding)) return false;
  switch (a.encoding) {
    case Encoding::kIndexed:
      return a.palette == b.palette && a.paletteState == b.paletteState;
    case Encoding::kMasked:
      return a.masks == b.masks;
    case Encoding::kBgr:
    case Encoding::kBgra64:
      return true;
    default:
      return false;
  }
}

std::uint64_t storedRowOf(const Decoder& decoder, std::uint32_t y) {
  return decoder.format().layout.topDown ? y : std::uint64_t{decoder.height()} - 1 - y;
}

// Stored rows of an uncompressed file whose first byte the file holds; the rows after them
// are missing whole. Counted by division, since a huge row number times its length wraps, and
// rounded up without adding to a length that may be close to 2^64.
std::uint64_t rowsHeld(const Format& format) {
  const bitmap::PixelLayout& layout = format.layout;
  if (format.fileSize <= layout.start) return 0;
  const std::uint64_t bytes = format.fileSize - layout.start;
  return bytes / layout.rowBytes + (bytes % layout.rowBytes != 0 ? 1 : 0);
}

// Pixels known to be in one state without decoding them: those from x to the end of a row, or
// `rows` whole rows from y on.
struct Rest {
  std::uint64_t rows = 0;  // 0 when not known
  std::uint8_t state = decode::kMissing;
};

// How many rows from y on are all missing, or all skipped past an RLE picture's end of bitmap:
// the stored rows after the last one the file holds or the commands reach. Bottom-up files
// store them at the top, top-down ones at the bottom.
Rest wholeRows(Decoder& decoder, std::uint32_t y) {
  const Format& format = decoder.format();
  const std::uint64_t height = decoder.height();
  std::uint64_t reached = 0;  // stored rows that hold a pixel's byte or a command
  Rest rest;
  if (decoder.isRle()) {
    const decode::RleIndex& index = decoder.rleIndex();
    reached = index.last.row + 1;
    rest.state = index.cut ? decode::kMissing : decode::kSkipped;
  } else {
    if (format.layout.rowBytes == 0) return rest;
    reached = rowsHeld(format);
  }
  if (reached >= height) return rest;
  if (format.layout.topDown) {
    if (y >= reached) rest.rows = height - y;
  } else if (y < height - reached) {
    rest.rows = height - reached - y;
  }
  return rest;
}

// Whether the pixels of row y from x on are known to be in one state without decoding them:
// their bytes lie past the end of the file, or the file ends an RLE picture's commands before
// them, or one command passes over them all (an end of line or of bitmap, or a delta that
// passes the row's last pixel too).
Rest restOfRow(Decoder& decoder, std::uint32_t y, std::uint32_t x) {
  Rest rest = wholeRows(decoder, y);
  if (rest.rows > 0) {
    rest.rows = 1;
    return rest;
  }
  const Format& format = decoder.format();
  if (!decoder.isRle()) {
    if (format.layout.rowBytes == 0) return rest;
    // A pixel whose bytes would pass 2^64 - 1 is beyond any file: missing, never wrapped.
    const bitmap::PixelBytes bytes = bitmap::pixelBytes(format.layout, x, y);
    if (bytes.row >= rowsHeld(format) || bytes.beyondAnyFile || bytes.offset >= format.fileSize)
      rest.rows = 1;
    return rest;
  }
  // Where the file cuts the commands short, every pixel from there on is missing. (A pixel
  // whose table entry is missing is no sign of that.)
  const decode::RleIndex& index = decoder.rleIndex();
  const std::uint64_t row = storedRowOf(decoder, y);
  if (index.cut && (row > index.last.row || (row == index.last.row && x >= index.last.x))) {
    rest.rows = 1;
    return rest;
  }
  using Kind = decode::PixelSource::Kind;
  const decode::PixelSource source = decoder.pixelSource(x, y);
  if (source.kind == Kind::kSkipped) {
    const decode::PixelSource last = source.command == decode::CommandKind::kDelta
                                         ? decoder.pixelSource(decoder.width() - 1, y)
                                         : source;
    if (last.kind == Kind::kSkipped && last.offset == source.offset) {
      rest.rows = 1;
      rest.state = decode::kSkipped;
    }
  }
  return rest;
}

// The first and the last byte at which a and b differ, found a block of bytes at a time;
// false when they are the same.
bool differingBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t size,
                    std::size_t* first, std::size_t* last) {
  constexpr std::size_t kStep = 256;
  std::size_t from = 0;
  while (from < size && std::memcmp(a + from, b + from, std::min(kStep, size - from)) == 0)
    from += kStep;
  if (from >= size) return false;
  *first = static_cast<std::size_t>(
      std::mismatch(a + from, a + std::min(size, from + kStep), b + from).first - a);
  std::size_t to = size;
  for (;;) {
    const std::size_t start = to > kStep ? to - kStep : 0;
    if (std::memcmp(a + start, b + start, to - start) != 0) break;
    to = start;
  }
  while (a[to - 1] == b[to - 1]) --to;
  *last = to - 1;
  return true;
}

// Pixels from .. to - 1 of a piece.
struct Range {
  std::uint32_t from = 0;
  std::uint32_t to = 0;
};

// The stored bytes of a piece of a row in both files, in the same layout.
struct PieceBytes {
  bool same = false;   // known to be the same without reading them again
  bool whole = false;  // both in memory whole
  const std::uint8_t* a = nullptr;
  const std::uint8_t* b = nullptr;
  std::size_t size = 0;
};

// The bytes of the n pixels from x in row y; pieces start on whole bytes. Bytes before sameUpTo
// are the same in both files: a piece that lies there at the same offset in both is not read
// again. A piece across the end of a block, or of a file, or beyond any file, is not whole.
PieceBytes pieceBytes(Decoder& a, Decoder& b, std::uint64_t sameUpTo, std::uint32_t y,
                      std::uint32_t x, std::uint32_t n) {
  const std::uint64_t bits = a.format().layout.bits;
  PieceBytes bytes;
  bytes.size = static_cast<std::size_t>(((std::uint64_t{x} + n) * bits + 7) / 8 -
                                        std::uint64_t{x} * bits / 8);
  const bitmap::PixelBytes atA = bitmap::pixelBytes(a.format().layout, x, y);
  const bitmap::PixelBytes atB = bitmap::pixelBytes(b.format().layout, x, y);
  if (atA.beyondAnyFile || atB.beyondAnyFile) return bytes;
  if (atA.offset == atB.offset && atA.offset < sameUpTo && bytes.size <= sameUpTo - atA.offset) {
    bytes.same = true;
    return bytes;
  }
  const decode::Span spanA = a.reader().at(atA.offset, bytes.size);
  const decode::Span spanB = b.reader().at(atB.offset, bytes.size);
  bytes.whole = spanA.size >= bytes.size && spanB.size >= bytes.size;
  bytes.a = spanA.data;
  bytes.b = spanB.data;
  return bytes;
}

// In the same layout the same bytes are the same pixels: of n pixels whose bytes are whole, those
// between the first and the last byte that differ; none when the bytes are the same.
Range differingPixels(const PieceBytes& bytes, std::uint64_t bits, std::uint32_t n) {
  std::size_t first = 0;
  std::size_t last = 0;
  if (!differingBytes(bytes.a, bytes.b, bytes.size, &first, &last)) return {};
  return {static_cast<std::uint32_t>(first * 8 / bits),
          static_cast<std::uint32_t>(std::min<std::uint64_t>(n, (last * 8 + 7) / bits + 1))};
}

// A piece of a row from each file: RGBA and states.
struct Piece {
  std::vector<std::uint8_t> rgba[2];
  std::vector<std::uint8_t> state[2];
};

// The largest difference so far of each byte of a chunk's RGBA, kept by byte so that the loop
// that widens it vectorizes; channel c is the largest of bytes c, c + 4, c + 8, ...
using Largest = std::array<std::uint8_t, std::size_t{kChunkPixels} * 4>;

bool sameWord(const std::uint8_t* a, const std::uint8_t* b) {
  std::uint32_t wordA = 0;
  std::uint32_t wordB = 0;
  std::memcpy(&wordA, a, 4);
  std::memcpy(&wordB, b, 4);
  return wordA == wordB;
}

// Where the pixels that differ in a piece lie, and how many there are.
struct Spread {
  std::uint64_t differ = 0;
  std::uint32_t firstChunk = UINT32_MAX;
  std::uint32_t lastChunk = 0;
};

// Whole chunks of pixels whose states are the same in both files: the pixels whose RGBA
// differ, and each byte's largest difference. Loops of fixed length over a local accumulator,
// which nothing else can point to, so that compilers vectorize them without checks.
Spread tallyChunks(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t chunks,
                   Largest& largestSoFar) {
  Largest largest = largestSoFar;
  Spread spread;
  for (std::uint32_t chunk = 0; chunk < chunks; ++chunk) {
    const std::uint8_t* chunkA = a + std::size_t{chunk} * largest.size();
    const std::uint8_t* chunkB = b + std::size_t{chunk} * largest.size();
    std::uint32_t differ = 0;
    for (std::size_t i = 0; i < kChunkPixels; ++i)
      differ += sameWord(chunkA + i * 4, chunkB + i * 4) ? 0 : 1;
    for (std::size_t i = 0; i < largest.size(); ++i)
      largest[i] = std::max(largest[i], distance(chunkA[i], chunkB[i]));
    if (differ == 0) continue;
    spread.differ += differ;
    spread.firstChunk = std::min(spread.firstChunk, chunk);
    spread.lastChunk = chunk;
  }
  largestSoFar = largest;
  return spread;
}

void extendBox(PixelComparison& pixels, std::uint32_t left, std::uint32_t right, std::uint32_t y) {
  if (pixels.differ == 0) {
    pixels.box = {left, y, right, y};
    return;
  }
  // Rows come from the top, so the box only grows down.
  pixels.box.left = std::min(pixels.box.left, left);
  pixels.box.right = std::max(pixels.box.right, right);
  pixels.box.bottom = y;
}

// Pixels known to be in one state in each file, not the same one: those from x to the end of
// row y and of the rows - 1 rows below it. Counted, boxed and listed without decoding them.
void differInState(PixelComparison& pixels, const Bounds& bounds, std::uint32_t x, std::uint32_t y,
                   std::uint64_t rows, const Rest rest[2]) {
  const std::uint64_t width = pixels.width;
  extendBox(pixels, rows > 1 ? 0 : x, pixels.width - 1, y);
  pixels.box.bottom = static_cast<std::uint32_t>(y + rows - 1);
  const std::uint64_t count = width - x + (rows - 1) * width;
  pixels.differ += count;
  pixels.stateDiffer += count;
  for (std::uint64_t i = x; i - x < count && pixels.first.size() < bounds.pixels; ++i) {
    PixelDifference difference;
    difference.x = static_cast<std::uint32_t>(i % width);
    difference.y = static_cast<std::uint32_t>(y + i / width);
    difference.a.state = static_cast<decode::State>(rest[0].state);
    difference.b.state = static_cast<decode::State>(rest[1].state);
    pixels.first.push_back(std::move(difference));
  }
}

// Compares n decoded pixels from x of row y. A piece that is the same is passed over by
// memcmp; one whose states are the same is tallied in vectorized loops, one whose states
// differ pixel by pixel. Then the box's edges, and the list while it has room.
void comparePiece(PixelComparison& pixels, Largest& largest, const Bounds& bounds,
                  const Piece& piece, std::uint32_t x, std::uint32_t y, std::uint32_t n) {
  const std::uint8_t* rgbaA = piece.rgba[0].data();
  const std::uint8_t* rgbaB = piece.rgba[1].data();
  const std::uint8_t* stateA = piece.state[0].data();
  const std::uint8_t* stateB = piece.state[1].data();
  const bool sameStates = std::memcmp(stateA, stateB, n) == 0;
  if (sameStates && std::memcmp(rgbaA, rgbaB, std::size_t{n} * 4) == 0) return;
  const auto differs = [&](std::uint32_t i) {
    return stateA[i] != stateB[i] ||
           !sameWord(rgbaA + std::size_t{i} * 4, rgbaB + std::size_t{i} * 4);
  };
  // Pixels one by one from `from`: counted, and widened where both are defined. (Pixels that
  // are not defined are 0 0 0 0 in both when their states are the same.)
  Spread spread;
  std::uint32_t from = 0;
  if (sameStates) {
    spread = tallyChunks(rgbaA, rgbaB, n / kChunkPixels, largest);
    from = n / kChunkPixels * kChunkPixels;
  }
  for (std::uint32_t i = from; i < n; ++i) {
    if (!differs(i)) continue;
    ++spread.differ;
    spread.firstChunk = std::min(spread.firstChunk, i / kChunkPixels);
    spread.lastChunk = i / kChunkPixels;
    if (stateA[i] != stateB[i]) {
      ++pixels.stateDiffer;
      continue;
    }
    std::uint8_t* wider = largest.data() + std::size_t{i % kChunkPixels} * 4;
    for (std::size_t c = 0; c < 4; ++c)
      wider[c] = std::max(wider[c],
                          distance(rgbaA[std::size_t{i} * 4 + c], rgbaB[std::size_t{i} * 4 + c]));
  }
  std::uint32_t first = spread.firstChunk * kChunkPixels;
  std::uint32_t last = std::min(n, spread.lastChunk * kChunkPixels + kChunkPixels) - 1;
  while (!differs(first)) ++first;
  while (!differs(last)) --last;
  extendBox(pixels, x + first, x + last, y);
  pixels.differ += spread.differ;
  for (std::uint32_t i = first; i <= last && pixels.first.size() < bounds.pixels; ++i) {
    if (!differs(i)) continue;
    PixelDifference difference;
    difference.x = x + i;
    difference.y = y;
    std::memcpy(difference.a.rgba.data(), rgbaA + std::size_t{i} * 4, 4);
    std::memcpy(difference.b.rgba.data(), rgbaB + std::size_t{i} * 4, 4);
    difference.a.state = static_cast<decode::State>(stateA[i]);
    difference.b.state = static_cast<decode::State>(stateB[i]);
    pixels.first.push_back(std::move(difference));
  }
}

// Compares the pixels of range in a piece from x of row y by their stored bytes, then decodes
// the pixels it lists.
void compareStoredPiece(Decoder* const decoders[2], const StoredLayout& stored,
                        const PieceBytes& bytes, Range range, std::uint32_t x, std::uint32_t y,
                        const Bounds& bounds, StoredLargest& largest,
                        StoredDifferences& differences, PixelComparison& pixels) {
  const std::size_t skip = std::size_t{range.from} * stored.bits / 8;
  compareStored(stored, bytes.a + skip, bytes.b + skip, range.to - range.from,
                bounds.pixels - pixels.first.size(), largest, differences);
  if (differences.differ == 0) return;
  x += range.from;
  extendBox(pixels, x + differences.first, x + differences.last, y);
  pixels.differ += differences.differ;
  pixels.stateDiffer += differences.stateDiffer;
  for (const std::uint32_t i : differences.listed) {
    PixelDifference difference;
    difference.x = x + i;
    difference.y = y;
    PixelSide* const sides[2] = {&difference.a, &difference.b};
    for (std::size_t f = 0; f < 2; ++f) {
      std::uint8_t state = 0;
      decoders[f]->decodeRow(y, difference.x, 1, sides[f]->rgba.data(), &state);
      sides[f]->state = static_cast<decode::State>(state);
    }
    pixels.first.push_back(std::move(difference));
  }
}

// Where a listed pixel comes from in one file, and the bytes that hold it.
void trace(Decoder& decoder, std::uint32_t x, std::uint32_t y, PixelSide& side) {
  side.source = decoder.pixelSource(x, y);
  const decode::PixelSource& source = side.source;
  // Bytes beyond any file have no offset to read them at.
  if (source.beyondAnyFile) return;
  if (source.dataSize > 0) {
    side.bytes = heldBytes(decoder.reader(), source.dataOffset, source.dataSize);
  } else if (source.kind == decode::PixelSource::Kind::kSkipped) {
    // The command that passes over it: at most four bytes (a delta).
    side.bytes = heldBytes(decoder.reader(), source.offset,
                           static_cast<std::size_t>(std::min<std::uint64_t>(source.size, 4)));
  }
}

// The bytes of an embedded JPEG or PNG that the file holds.
std::uint64_t embeddedLength(const Format& format) {
  const std::uint64_t end = std::min(format.layout.end, format.fileSize);
  return end > format.layout.start ? end - format.layout.start : 0;
}

void notDecoded(Decoder& a, Decoder& b, PixelComparison& pixels) {
  const Format& formatA = a.format();
  const Format& formatB = b.format();
  const bool embedded = formatA.encoding == Encoding::kJpeg || formatA.encoding == Encoding::kPng;
  const std::uint64_t length = embeddedLength(formatA);
  if (embedded && formatB.encoding == formatA.encoding && embeddedLength(formatB) == length &&
      sameBytes(a.reader(), formatA.layout.start, b.reader(), formatB.layout.start, length)) {
    pixels.sameEmbedded = true;
    pixels.embeddedSize = length;
    return;
  }
  if (!a.decodes()) pixels.problemA = formatA.problem;
  if (!b.decodes()) pixels.problemB = formatB.problem;
}

void comparePixels(Decoder& a, Decoder& b, std::uint64_t sameUpTo, const Bounds& bounds,
                   PixelComparison& pixels) {
  if (!a.decodes() || !b.decodes()) return notDecoded(a, b, pixels);
  pixels.compared = true;
  pixels.width = std::min(a.width(), b.width());
  pixels.height = std::min(a.height(), b.height());
  pixels.count = std::uint64_t{pixels.width} * pixels.height;
  if (pixels.count == 0) return;
  Decoder* const decoders[2] = {&a, &b};
  const bool bytesFirst = sameLayout(a.format(), b.format());
  const StoredLayout stored = bytesFirst ? storedLayout(a.format(), b.format()) : StoredLayout{};
  StoredLargest storedLargest;
  StoredDifferences storedDifferences;
  const std::uint32_t pieceWidth = std::min(pixels.width, kPiecePixels);
  Piece piece;
  for (std::size_t f = 0; f < 2; ++f) {
    piece.rgba[f].resize(std::size_t{pieceWidth} * 4);
    piece.state[f].resize(pieceWidth);
  }
  Largest largest{};
  for (std::uint32_t y = 0; y < pixels.height;) {
    // Rows that neither file holds, or whose commands neither reaches, are passed over whole.
    const Rest rows[2] = {wholeRows(a, y), wholeRows(b, y)};
    if (rows[0].rows > 0 && rows[1].rows > 0) {
      const std::uint64_t n =
          std::min({rows[0].rows, rows[1].rows, std::uint64_t{pixels.height} - y});
      if (rows[0].state != rows[1].state) differInState(pixels, bounds, 0, y, n, rows);
      y = static_cast<std::uint32_t>(y + n);
      continue;
    }
    for (std::uint32_t x = 0; x < pixels.width; x += pieceWidth) {
      const std::uint32_t n = std::min(pieceWidth, pixels.width - x);
      const Rest rest[2] = {restOfRow(a, y, x), restOfRow(b, y, x)};
      if (rest[0].rows > 0 && rest[1].rows > 0) {
        if (rest[0].state != rest[1].state) differInState(pixels, bounds, x, y, 1, rest);
        break;
      }
      Range range{0, n};
      if (bytesFirst && rest[0].rows == 0 && rest[1].rows == 0) {
        const PieceBytes bytes = pieceBytes(a, b, sameUpTo, y, x, n);
        if (bytes.same) continue;
        if (bytes.whole) {
          range = differingPixels(bytes, a.format().layout.bits, n);
          if (range.from == range.to) continue;
          if (stored.kind != StoredLayout::Kind::kNone) {
            compareStoredPiece(decoders, stored, bytes, range, x, y, bounds, storedLargest,
                               storedDifferences, pixels);
            continue;
          }
        }
      }
      const std::uint32_t count = range.to - range.from;
      for (std::size_t f = 0; f < 2; ++f) {
        if (rest[f].rows > 0) {
          std::memset(piece.rgba[f].data(), 0, std::size_t{count} * 4);
          std::memset(piece.state[f].data(), rest[f].state, count);
        } else {
          decoders[f]->decodeRow(y, x + range.from, count, piece.rgba[f].data(),
                                 piece.state[f].data());
        }
      }
      comparePiece(pixels, largest, bounds, piece, x + range.from, y, count);
    }
    ++y;
  }
  for (std::size_t i = 0; i < largest.size(); ++i)
    pixels.largest[i % 4] = std::max(pixels.largest[i % 4], largest[i]);
  const std::array<std::uint8_t, 4> storedChannels = largestChannels(stored, storedLargest);
  for (std::size_t c = 0; c < 4; ++c)
    pixels.largest[c] = std::max(pixels.largest[c], storedChannels[c]);
  for (PixelDifference& difference : pixels.first) {
    trace(a, difference.x, difference.y, difference.a);
    trace(b, difference.x, difference.y, difference.b);
  }
}

}  // namespace

Comparison compareFiles(decode::Input& inputA, decode::Input& inputB, const Bounds& bounds) {
  Decoder a(inputA);
  Decoder b(inputB);
  Comparison comparison;
  comparison.a = factsOf(a);
  comparison.b = factsOf(b);
  if (!comparison.a.bitmap || !comparison.b.bitmap) return comparison;

  comparison.firstDifference = firstDifferentByte(a.reader(), b.reader());
  comparison.identicalBytes =
      comparison.firstDifference == a.reader().size() && a.reader().size() == b.reader().size();
  if (comparison.identicalBytes) {
    comparison.verdict = Verdict::kIdentical;
    comparison.same = true;
    return comparison;
  }
  if (comparison.firstDifference < a.reader().size())
    comparison.firstRegionA = decode::regionAt(a, comparison.firstDifference).name;
  if (comparison.firstDifference < b.reader().size())
    comparison.firstRegionB = decode::regionAt(b, comparison.firstDifference).name;

  const FileFacts& factsA = comparison.a;
  const FileFacts& factsB = comparison.b;
  comparison.sizesDiffer = factsA.width != factsB.width || factsA.height != factsB.height;
  if (a.decodes() && b.decodes()) {
    comparison.rowsOpposite = factsA.topDown != factsB.topDown;
    comparison.storageDiffers = factsA.compressed != factsB.compressed ||
                                (factsA.compressed && factsA.encoding != factsB.encoding);
  }
  compareFields(a, b, comparison.fields);
  compareTables(a, b, bounds, comparison);
  compareProfiles(a, b, comparison.firstDifference, comparison.profile);
  comparePixels(a, b, comparison.firstDifference, bounds, comparison.pixels);

  const PixelComparison& pixels = comparison.pixels;
  const bool samePixels = pixels.sameEmbedded || (pixels.compared && pixels.differ == 0);
  comparison.verdict =
      !comparison.sizesDiffer && samePixels ? Verdict::kSamePicture : Verdict::kDifferent;
  comparison.same = comparison.verdict == Verdict::kSamePicture && comparison.fields.empty() &&
                    comparison.entriesDiffer == 0 && !comparison.entriesOnly.any &&
                    !comparison.profile.differ;
  return comparison;
}

}  // namespace compare
