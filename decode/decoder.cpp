// Rows of every encoding as RGBA and states, the RLE checkpoints, and each pixel's source.
#include "decode/decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace decode {

namespace {

// Pixels converted from one span of bytes at a time: a row of any width is read in pieces.
constexpr std::uint32_t kPiecePixels = 16384;

// 64-bit channels: 2.13 fixed point, 8192 meaning 1.0, linear light; colour goes through the
// sRGB curve.
constexpr std::int32_t kOne64 = 8192;

const std::array<std::uint8_t, kOne64 + 1>& srgbCurve() {
  static const std::array<std::uint8_t, kOne64 + 1> curve = [] {
    std::array<std::uint8_t, kOne64 + 1> table{};
    for (std::int32_t i = 0; i <= kOne64; ++i) {
      const double linear = static_cast<double>(i) / kOne64;
      const double encoded =
          linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
      table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::lround(encoded * 255));
    }
    return table;
  }();
  return curve;
}

std::uint8_t linearChannel(std::uint16_t stored, bool colour) {
  const std::int32_t value = std::clamp<std::int32_t>(static_cast<std::int16_t>(stored), 0, kOne64);
  if (colour) return srgbCurve()[static_cast<std::size_t>(value)];
  return static_cast<std::uint8_t>((value * 255 + kOne64 / 2) / kOne64);
}

// A channel of v out of max, scaled to 0..255 and rounded.
std::uint8_t scale(std::uint32_t v, std::uint32_t max) {
  return static_cast<std::uint8_t>((std::uint64_t{v} * 510 + max) / (std::uint64_t{max} * 2));
}

bool littleEndian() {
  const std::uint16_t one = 1;
  std::uint8_t first = 0;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

constexpr std::uint32_t swapBytes(std::uint32_t v) {
  return v >> 24 | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | v << 24;
}

bool lexLess(std::uint64_t rowA, std::uint64_t xA, std::uint64_t rowB, std::uint64_t xB) {
  return rowA < rowB || (rowA == rowB && xA < xB);
}

}  // namespace

Decoder::Decoder(Input& input) : reader_(input), format_(readFormat(reader_)) {
  for (std::size_t c = 0; c < 4; ++c) {
    const std::uint32_t mask = format_.masks[c];
    if (mask == 0) continue;
    while ((mask >> shift_[c] & 1) == 0) ++shift_[c];
    max_[c] = mask >> shift_[c];
  }
}

bool Decoder::decodes() const {
  switch (format_.encoding) {
    case Encoding::kNone:
    case Encoding::kHuffman:
    case Encoding::kJpeg:
    case Encoding::kPng:
      return false;
    default:
      return true;
  }
}

bool Decoder::isRle() const {
  return format_.encoding == Encoding::kRle8 || format_.encoding == Encoding::kRle4 ||
         format_.encoding == Encoding::kRle24;
}

std::uint64_t Decoder::storedRowOf(std::uint32_t y) const {
  return format_.layout.topDown ? y : std::uint64_t{height()} - 1 - y;
}

// Where stored row row starts; false when its bytes would pass 2^64 - 1, where no file reaches.
bool Decoder::storedRowStart(std::uint64_t row, std::uint64_t* start) const {
  const bitmap::PixelLayout& layout = format_.layout;
  if (layout.rowBytes != 0 && row > (UINT64_MAX - layout.start) / layout.rowBytes) return false;
  *start = layout.start + row * layout.rowBytes;
  return layout.rowBytes <= UINT64_MAX - *start;
}

// count pixels whose bytes are all at hand, the first at bit firstBit of bytes[0].
void Decoder::convert(const std::uint8_t* bytes, unsigned firstBit, std::uint32_t count,
                      std::uint8_t* rgba, std::uint8_t* state) const {
  switch (format_.encoding) {
    case Encoding::kBgr: {
      // Four bytes at a time, B G R and the next pixel's blue, turned into R G B and opaque
      // alpha in a machine word: one load, a byte swap and one store a pixel.
      std::uint32_t i = 0;
      const bool little = littleEndian();
      for (; i + 1 < count; ++i, bytes += 3, rgba += 4) {
        std::uint32_t word = 0;
        std::memcpy(&word, bytes, 4);
        word = little ? swapBytes(word) >> 8 | 0xFF000000u : swapBytes(word) << 8 | 0xFFu;
        std::memcpy(rgba, &word, 4);
      }
      for (; i < count; ++i, bytes += 3, rgba += 4) {
        rgba[0] = bytes[2];
        rgba[1] = bytes[1];
        rgba[2] = bytes[0];
        rgba[3] = 255;
      }
      std::memset(state, kDefined, count);
      return;
    }
    case Encoding::kIndexed: {
      // Smaller pixels fill each byte from its high bits down.
      const unsigned bits = format_.bitCount;
      const unsigned mask = (1u << bits) - 1;
      std::uint64_t bit = firstBit;
      for (std::uint32_t i = 0; i < count; ++i, bit += bits) {
        const unsigned index =
            bytes[bit >> 3] >> (8 - bits - static_cast<unsigned>(bit & 7)) & mask;
        std::memcpy(rgba + std::size_t{i} * 4, format_.palette[index].data(), 4);
        state[i] = format_.paletteState[index];
      }
      return;
    }
    case Encoding::kMasked: {
      const unsigned size = format_.bitCount / 8u;
      for (std::uint32_t i = 0; i < count; ++i, bytes += size, rgba += 4) {
        std::uint32_t pixel = 0;
        for (unsigned b = size; b-- > 0;) pixel = pixel << 8 | bytes[b];
        for (std::size_t c = 0; c < 4; ++c) {
          rgba[c] = max_[c] == 0 ? (c == 3 ? 255 : 0)
                                 : scale((pixel & format_.masks[c]) >> shift_[c], max_[c]);
        }
      }
      std::memset(state, kDefined, count);
      return;
    }
    case Encoding::kBgra64:
      for (std::uint32_t i = 0; i < count; ++i, bytes += 8, rgba += 4) {
        rgba[0] = linearChannel(bitmap::loadU16(bytes + 4), true);
        rgba[1] = linearChannel(bitmap::loadU16(bytes + 2), true);
        rgba[2] = linearChannel(bitmap::loadU16(bytes), true);
        rgba[3] = linearChannel(bitmap::loadU16(bytes + 6), false);
      }
      std::memset(state, kDefined, count);
      return;
    default:
      return;
  }
}

// Pixels x .. x + count - 1 of the stored row at rowStart, in pieces; those whose bytes the
// file does not hold are missing.
void Decoder::storedRow(std::uint64_t rowStart, std::uint32_t x, std::uint32_t count,
                        std::uint8_t* rgba, std::uint8_t* state) {
  const unsigned bits = format_.bitCount;
  while (count > 0) {
    const std::uint32_t n = std::min(count, kPiecePixels);
    const std::uint64_t firstBit = std::uint64_t{x} * bits;
    const std::uint64_t from = rowStart + firstBit / 8;
    const auto want = static_cast<std::size_t>(
        (std::uint64_t{x + std::uint64_t{n}} * bits + 7) / 8 - firstBit / 8);
    const Span span = reader_.at(from, want);
    const std::uint8_t* bytes = span.data;
    std::size_t got = want;
    if (span.size < want) {
      if (scratch_ == nullptr) scratch_.reset(new std::uint8_t[std::size_t{kPiecePixels} * 8]);
      got = reader_.copy(from, scratch_.get(), want);
      bytes = scratch_.get();
    }
    const auto skip = static_cast<unsigned>(firstBit % 8);
    const std::uint32_t whole =
        got == want ? n : static_cast<std::uint32_t>((got * 8 > skip ? got * 8 - skip : 0) / bits);
    convert(bytes, skip, whole, rgba, state);
    std::memset(rgba + std::size_t{whole} * 4, 0, std::size_t{n - whole} * 4);
    std::memset(state + whole, kMissing, n - whole);
    x += n;
    count -= n;
    rgba += std::size_t{n} * 4;
    state += n;
  }
}

const RleIndex& Decoder::rleIndex() {
  if (indexed_ || !isRle()) return index_;
  indexed_ = true;
  Cursor start;
  start.offset = format_.layout.start;
  index_.checkpoints.push_back(start);
  std::uint64_t lastRow = 0;
  index_.last = walkCommands(reader_, format_.encoding, start, &index_.cut,
                             [&](const Command&, const Cursor& before, const Cursor& after) {
                               if (after.row == before.row || after.row < lastRow + index_.stride)
                                 return true;
                               std::vector<Cursor>& points = index_.checkpoints;
                               if (points.size() == RleIndex::kMaxCheckpoints) {
                                 // Keep every second one: rows twice as far apart.
                                 for (std::size_t i = 0; 2 * i < points.size(); ++i)
                                   points[i] = points[2 * i];
                                 points.resize((points.size() + 1) / 2);
                                 index_.stride *= 2;
                               }
                               points.push_back(after);
                               lastRow = after.row;
                               return true;
                             });
  index_.end = index_.last.offset;
  return index_;
}

// The last checkpoint whose cursor is at or before (row, x) in storage order.
const Cursor& Decoder::checkpointFor(std::uint64_t row) {
  const std::vector<Cursor>& points = rleIndex().checkpoints;
  const auto after =
      std::upper_bound(points.begin(), points.end(), row,
                       [](std::uint64_t r, const Cursor& point) { return r < point.row; });
  return *(after - 1);
}

void Decoder::paintRun(const Command& command, std::uint64_t firstPixel, std::uint64_t from,
                       std::uint64_t to, std::uint8_t* rgba, std::uint8_t* state) {
  for (std::uint64_t x = from; x < to; ++x, rgba += 4, ++state) {
    const RunPixel where =
        runPixel(command, static_cast<std::uint32_t>(x - firstPixel), format_.encoding);
    std::uint8_t bytes[3] = {};
    if (command.kind == CommandKind::kEncoded) {
      std::memcpy(bytes, command.value, 3);
    } else {
      for (std::uint32_t b = 0; b < where.size; ++b) bytes[b] = reader_.byte(where.offset + b);
    }
    if (format_.encoding == Encoding::kRle24) {
      rgba[0] = bytes[2];
      rgba[1] = bytes[1];
      rgba[2] = bytes[0];
      rgba[3] = 255;
      *state = kDefined;
      continue;
    }
    const unsigned index =
        format_.encoding == Encoding::kRle4 ? bytes[0] >> where.shift & 15 : bytes[0];
    std::memcpy(rgba, format_.palette[index].data(), 4);
    *state = format_.paletteState[index];
  }
}

bool Decoder::decodeRow(std::uint32_t y, std::uint32_t x, std::uint32_t count, std::uint8_t* rgba,
                        std::uint8_t* state) {
  if (!decodes()) return false;
  if (count == 0) return true;  // the buffers of no pixels may be null
  const std::uint64_t row = storedRowOf(y);
  if (!isRle()) {
    std::uint64_t start = 0;
    if (storedRowStart(row, &start)) {
      storedRow(start, x, count, rgba, state);
    } else {
      std::memset(rgba, 0, std::size_t{count} * 4);
      std::memset(state, kMissing, count);
    }
    return true;
  }
  std::memset(rgba, 0, std::size_t{count} * 4);
  std::memset(state, kSkipped, count);
  const std::uint64_t end = std::uint64_t{x} + count;
  bool cut = false;
  const Cursor stop = walkCommands(
      reader_, format_.encoding, checkpointFor(row), &cut,
      [&](const Command& command, const Cursor& before, const Cursor&) {
        if (before.row > row) return false;
        if (before.row < row || command.count == 0) return true;
        const std::uint64_t from = std::max<std::uint64_t>(before.x, x);
        const std::uint64_t to = std::min<std::uint64_t>(before.x + command.count, end);
        if (from < to) {
          paintRun(command, before.x, from, to, rgba + (from - x) * 4, state + (from - x));
        }
        return true;
      });
  // The file ended the commands: what they had not reached is missing.
  if (cut && stop.row <= row) {
    const std::uint64_t from = stop.row < row ? x : std::max<std::uint64_t>(stop.x, x);
    for (std::uint64_t i = from; i < end; ++i) state[i - x] = kMissing;
  }
  return true;
}

bool Decoder::decodeImage(std::uint8_t* rgba, std::uint8_t* state) {
  if (!decodes()) return false;
  const std::uint64_t w = width();
  const std::uint64_t h = height();
  // No pixels, however many empty rows the header claims.
  if (w == 0 || h == 0) return true;
  if (!isRle()) {
    for (std::uint64_t row = 0; row < h; ++row) {
      const std::uint64_t y = format_.layout.topDown ? row : h - 1 - row;
      std::uint64_t start = 0;
      if (storedRowStart(row, &start)) {
        storedRow(start, 0, width(), rgba + y * w * 4, state + y * w);
      } else {
        std::memset(rgba + y * w * 4, 0, static_cast<std::size_t>(w * 4));
        std::memset(state + y * w, kMissing, static_cast<std::size_t>(w));
      }
    }
    return true;
  }
  // The caller holds the whole picture: its size fits in memory, and so in a size_t.
  std::memset(rgba, 0, static_cast<std::size_t>(w * h * 4));
  std::memset(state, kSkipped, static_cast<std::size_t>(w * h));
  Cursor start;
  start.offset = format_.layout.start;
  bool cut = false;
  const Cursor stop = walkCommands(
      reader_, format_.encoding, start, &cut,
      [&](const Command& command, const Cursor& before, const Cursor&) {
        if (before.row >= h || before.x >= w || command.count == 0) return true;
        const std::uint64_t y = format_.layout.topDown ? before.row : h - 1 - before.row;
        const std::uint64_t to = std::min<std::uint64_t>(before.x + command.count, w);
        paintRun(command, before.x, before.x, to, rgba + (y * w + before.x) * 4,
                 state + y * w + before.x);
        return true;
      });
  if (cut) {
    for (std::uint64_t row = stop.row; row < h; ++row) {
      const std::uint64_t y = format_.layout.topDown ? row : h - 1 - row;
      const std::uint64_t from = row == stop.row ? std::min(stop.x, w) : 0;
      std::memset(state + y * w + from, kMissing, static_cast<std::size_t>(w - from));
    }
  }
  return true;
}

PixelSource Decoder::pixelSource(std::uint32_t x, std::uint32_t y) {
  PixelSource source;
  if (!decodes()) return source;
  if (x >= width() || y >= height()) {
    source.kind = PixelSource::Kind::kOutside;
    return source;
  }
  const std::uint64_t row = storedRowOf(y);
  const bool indexed = format_.encoding == Encoding::kIndexed ||
                       format_.encoding == Encoding::kRle8 || format_.encoding == Encoding::kRle4;
  // An index's table entry decides the pixel's state.
  const auto lookUp = [&](unsigned index) {
    source.index = index;
    source.entryOffset = format_.tableOffset + std::uint64_t{index} * format_.entrySize;
    source.state = static_cast<State>(format_.paletteState[index]);
    if (source.state == kBadIndex) source.kind = PixelSource::Kind::kBadIndex;
    if (source.state == kMissing) source.kind = PixelSource::Kind::kMissing;
  };
  if (!isRle()) {
    const bitmap::PixelBytes bytes = bitmap::pixelBytes(format_.layout, x, y);
    source.offset = source.dataOffset = bytes.offset;
    source.size = source.dataSize = bytes.count;
    if (format_.bitCount < 8) {
      source.shift = bytes.shift;
      source.bits = format_.bitCount;
    }
    if (bytes.beyondAnyFile || bytes.offset >= reader_.size() ||
        bytes.count > reader_.size() - bytes.offset) {
      source.kind = PixelSource::Kind::kMissing;
      source.state = kMissing;
      source.beyondAnyFile = bytes.beyondAnyFile;
      return source;
    }
    source.kind = PixelSource::Kind::kStored;
    source.state = kDefined;
    if (indexed) {
      lookUp(reader_.byte(bytes.offset) >> bytes.shift & ((1u << format_.bitCount) - 1));
    }
    return source;
  }
  // The last checkpoint at or before the pixel, then command by command.
  const std::vector<Cursor>& points = rleIndex().checkpoints;
  const std::uint64_t w = width();
  const auto after = std::upper_bound(points.begin(), points.end(), row,
                                      [&](std::uint64_t r, const Cursor& point) {
                                        return lexLess(r, x, point.row, std::min(point.x, w));
                                      });
  bool found = false;
  bool cut = false;
  const Cursor stop = walkCommands(
      reader_, format_.encoding, *(after - 1), &cut,
      [&](const Command& command, const Cursor& before, const Cursor& next) {
        const bool sets = before.row == row && before.x <= x && x < before.x + command.count;
        const bool passes =
            (command.kind == CommandKind::kEndOfLine || command.kind == CommandKind::kDelta ||
             command.kind == CommandKind::kEndOfBitmap) &&
            !lexLess(row, x, before.row, std::min(before.x, w)) &&
            (command.kind == CommandKind::kEndOfBitmap ||
             lexLess(row, x, next.row, std::min(next.x, w)));
        if (!sets && !passes) return !lexLess(row, x, before.row, std::min(before.x, w));
        found = true;
        source.offset = command.offset;
        source.size = command.size;
        source.command = command.kind;
        if (passes) {
          source.kind = PixelSource::Kind::kSkipped;
          source.state = kSkipped;
          return false;
        }
        const RunPixel where =
            runPixel(command, static_cast<std::uint32_t>(x - before.x), format_.encoding);
        source.kind = PixelSource::Kind::kCommand;
        source.state = kDefined;
        source.dataOffset = where.offset;
        source.dataSize = where.size;
        if (format_.encoding == Encoding::kRle4) {
          source.shift = where.shift;
          source.bits = 4;
        }
        if (indexed) {
          const std::uint8_t byte =
              command.kind == CommandKind::kEncoded ? command.value[0] : reader_.byte(where.offset);
          lookUp(format_.encoding == Encoding::kRle4 ? byte >> where.shift & 15u : byte);
        }
        return false;
      });
  if (!found) {
    // The commands ended before reaching the pixel: the file ran out.
    source.kind = PixelSource::Kind::kMissing;
    source.state = kMissing;
    source.offset = stop.offset;
  }
  return source;
}

}  // namespace decode
