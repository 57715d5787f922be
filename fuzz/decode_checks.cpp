// The decoder on any bytes: the map covers them exactly, rows decode alike in one pass and one
// by one, and every pixel's source lies inside the file or says why it does not.
#include "fuzz/decode_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/decoder.h"
#include "decode/map.h"

namespace fuzz {

namespace {

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "decode_checks: %s\n", what);
    std::abort();
  }
}

// Rows and columns sampled from a picture of any claimed size.
std::vector<std::uint32_t> samples(std::uint32_t extent) {
  std::vector<std::uint32_t> at;
  if (extent == 0) return at;
  for (std::uint32_t i = 0; i < 8 && i < extent; ++i) {
    at.push_back(i);
    at.push_back(extent - 1 - i);
    at.push_back(static_cast<std::uint32_t>(std::uint64_t{extent} * (2 * i + 1) / 16));
  }
  std::sort(at.begin(), at.end());
  at.erase(std::unique(at.begin(), at.end()), at.end());
  return at;
}

void checkMap(decode::Decoder& decoder, std::size_t size) {
  std::uint64_t next = 0;
  std::vector<decode::Region> some;
  decode::walkMap(decoder, 0, [&](const decode::Region& region) {
    require(region.offset == next, "the map leaves a gap or overlaps");
    require(region.size > 0, "the map has an empty region");
    next = region.offset + region.size;
    if (some.size() < 64) some.push_back(region);
    return true;
  });
  require(next == size, "the map does not end at the end of the file");
  for (const decode::Region& region : some) {
    const decode::Region found = decode::regionAt(decoder, region.offset + region.size - 1);
    require(found.offset == region.offset && found.size == region.size,
            "a lookup finds another region than the walk");
  }
}

void checkSource(decode::Decoder& decoder, std::uint32_t x, std::uint32_t y, std::uint8_t state,
                 std::size_t size) {
  using Kind = decode::PixelSource::Kind;
  const decode::PixelSource source = decoder.pixelSource(x, y);
  require(source.state == state, "a pixel's source gives another state than its row");
  switch (source.kind) {
    case Kind::kStored:
    case Kind::kCommand:
      require(source.dataOffset + source.dataSize <= size, "a pixel's bytes lie past the file");
      require(source.index < 0 || source.entryOffset + decoder.format().entrySize <= size,
              "a defined pixel's table entry lies past the file");
      break;
    case Kind::kSkipped:
      // The map may give the command's bytes to a structure that wins them (a table that
      // claims more entries than the file has): the source names the command itself.
      require(source.offset + source.size <= size, "a skipped pixel's command lies past the file");
      require(source.command == decode::CommandKind::kDelta ||
                  source.command == decode::CommandKind::kEndOfLine ||
                  source.command == decode::CommandKind::kEndOfBitmap,
              "a skipped pixel's command is not a delta, end of line or end of bitmap");
      break;
    case Kind::kMissing:
      require(source.offset + source.size > size || source.offset >= size ||
                  source.entryOffset + decoder.format().entrySize > size || decoder.isRle(),
              "a missing pixel's bytes lie inside the file");
      // RLE: where the commands ran out, the end of the file or a start past it; or the
      // command that set it, whose index's entry lies past the end.
      require(!decoder.isRle() || source.offset >= size ||
                  (source.index >= 0 && source.entryOffset + decoder.format().entrySize > size),
              "an RLE pixel is missing inside the file");
      break;
    case Kind::kBadIndex:
      require(source.offset < size, "an index past the table lies past the file");
      break;
    default:
      require(false, "a pixel of a decoded picture has no source");
  }
}

}  // namespace

void checkDecoder(const std::uint8_t* data, std::size_t size) {
  decode::MemoryInput input(data, size);
  decode::Decoder decoder(input);
  checkMap(decoder, size);
  if (!decoder.decodes()) {
    require(decoder.pixelSource(0, 0).kind == decode::PixelSource::Kind::kNotDecoded,
            "a picture that does not decode has a pixel source");
    return;
  }
  const std::uint32_t width = decoder.width();
  const std::uint32_t height = decoder.height();
  // Whole pictures of small size in one pass, and the same rows one by one.
  const std::uint64_t pixels = std::uint64_t{width} * height;
  std::vector<std::uint8_t> rgba;
  std::vector<std::uint8_t> states;
  if (pixels <= 1u << 16) {
    rgba.resize(static_cast<std::size_t>(pixels) * 4);
    states.resize(static_cast<std::size_t>(pixels));
    require(decoder.decodeImage(rgba.data(), states.data()), "a picture that decodes does not");
  }
  const std::uint32_t span = std::min<std::uint32_t>(width, 4096);
  std::vector<std::uint8_t> rowRgba(std::size_t{span} * 4);
  std::vector<std::uint8_t> rowStates(span);
  const std::vector<std::uint32_t> columns = samples(span);
  for (const std::uint32_t y : samples(height)) {
    for (const std::uint32_t x : {0u, width - span}) {
      require(decoder.decodeRow(y, x, span, rowRgba.data(), rowStates.data()),
              "a row of a picture that decodes does not");
      for (std::uint32_t i = 0; i < span; ++i) {
        require(rowStates[i] <= decode::kBadIndex, "a state past 3");
        if (states.empty()) continue;
        const std::size_t at = std::size_t{y} * width + x + i;
        require(states[at] == rowStates[i] &&
                    std::equal(&rowRgba[4 * std::size_t{i}], &rowRgba[4 * std::size_t{i} + 4],
                               &rgba[4 * at]),
                "a row decodes otherwise alone than in the whole picture");
      }
      for (const std::uint32_t i : columns) checkSource(decoder, x + i, y, rowStates[i], size);
    }
  }
}

}  // namespace fuzz
