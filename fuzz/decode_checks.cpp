// The decoder on any bytes: the map covers them exactly, fields read as their bytes, rows decode
// alike in one pass and one by one, and every pixel's source lies inside the file and holds its
// value, or says why it does not.
#include "fuzz/decode_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "decode/map.h"

namespace fuzz {

namespace {

struct Fault {
  const char* what;
};

void require(bool holds, const char* what) {
  if (!holds) throw Fault{what};
}

// Rows and columns sampled from a picture of any claimed size, or all of them.
std::vector<std::uint32_t> samples(std::uint32_t extent, bool every) {
  std::vector<std::uint32_t> at;
  for (std::uint32_t i = 0; i < extent && (every || i < 8); ++i) {
    at.insert(at.end(), {i, extent - 1 - i});
    if (i < 8) at.push_back(static_cast<std::uint32_t>(std::uint64_t{extent} * (2 * i + 1) / 16));
  }
  std::sort(at.begin(), at.end());
  at.erase(std::unique(at.begin(), at.end()), at.end());
  return at;
}

std::uint64_t little(const std::uint8_t* data, std::uint64_t offset, std::uint32_t size) {
  std::uint64_t value = 0;
  for (std::uint32_t i = size; i-- > 0;)
    value = value << 8 | data[static_cast<std::size_t>(offset + i)];
  return value;
}

// Whether a field's value text is one reading of its bytes: characters in file order or
// reversed, unsigned or signed, hex, or fixed point (the whole part is the bits above the
// fraction).
bool valueMatches(const decode::Field& field, std::uint64_t stored) {
  const std::string& value = field.value;
  const std::uint64_t sign = std::uint64_t{1}
                             << (8 * std::clamp<std::uint32_t>(field.size, 1, 8) - 1);
  const auto asSigned = static_cast<std::int64_t>(stored ^ sign) - static_cast<std::int64_t>(sign);
  std::string text;
  for (std::uint32_t i = 0; i < field.size; ++i) text += static_cast<char>(stored >> (8 * i));
  if (value == text || value == std::string(text.rbegin(), text.rend())) return true;
  if (value == std::to_string(stored) || value == std::to_string(asSigned)) return true;
  if (value.size() > 2 && value.rfind("0x", 0) == 0 &&
      std::strtoull(value.c_str() + 2, nullptr, 16) == stored)
    return true;
  if (value.find('.') != std::string::npos) {
    // Gamma is unsigned 16.16, an endpoint signed 2.30.
    const bool gamma = field.name.find("Gamma") != std::string::npos;
    const std::int64_t whole = std::strtoll(value.c_str(), nullptr, 10);
    const std::int64_t reading = field.size != 4 ? 0
                                 : gamma         ? std::int64_t{static_cast<std::uint32_t>(stored)}
                                                 : static_cast<std::int32_t>(stored);
    const std::int64_t magnitude = reading < 0 ? -reading : reading;
    return (whole < 0 ? -whole : whole) == magnitude >> (gamma ? 16 : 30) &&
           (value[0] == '-') == (reading < 0);
  }
  return false;
}

// The map covers the file in order, a lookup finds what the walk gave, and the pixels runs set.
std::vector<decode::Region> checkMap(decode::Decoder& decoder, std::size_t size) {
  std::uint64_t next = 0;
  std::vector<decode::Region> some;
  std::vector<decode::Region> runs;
  decode::walkMap(decoder, 0, [&](const decode::Region& region) {
    require(region.offset == next, "the map leaves a gap or overlaps");
    require(region.size > 0, "the map has an empty region");
    next = region.offset + region.size;
    if (some.size() < 64) some.push_back(region);
    if (region.kind == decode::RegionKind::kEncodedRun ||
        region.kind == decode::RegionKind::kAbsoluteRun)
      runs.push_back(region);
    return true;
  });
  require(next == size, "the map does not end at the end of the file");
  for (const decode::Region& region : some) {
    const decode::Region found = decode::regionAt(decoder, region.offset + region.size - 1);
    require(found.offset == region.offset && found.size == region.size,
            "a lookup finds another region than the walk");
  }
  for (const std::uint64_t offset :
       {std::uint64_t{0}, std::uint64_t{size} / 2, std::uint64_t{size} - 1}) {
    const decode::Region found = decode::regionAt(decoder, offset);
    require(size == 0 || (found.offset <= offset && offset - found.offset < found.size),
            "a lookup finds a region that does not hold the byte");
  }
  return runs;
}

void checkSource(decode::Decoder& decoder, std::uint32_t x, std::uint32_t y,
                 const std::uint8_t* rgba, std::uint8_t state, const std::uint8_t* data,
                 std::size_t size, bool everyPixel) {
  using Kind = decode::PixelSource::Kind;
  const decode::Format& format = decoder.format();
  const decode::PixelSource source = decoder.pixelSource(x, y);
  require(source.state == state, "a pixel's source gives another state than its row");
  switch (source.kind) {
    case Kind::kStored:
    case Kind::kCommand:
    case Kind::kBadIndex:
      require(source.dataOffset + source.dataSize <= size, "a pixel's bytes lie past the file");
      require(source.kind != Kind::kBadIndex || source.offset < size,
              "an index past the table lies past the file");
      require(source.kind == Kind::kBadIndex || source.index < 0 ||
                  source.entryOffset + format.entrySize <= size,
              "a defined pixel's table entry lies past the file");
      require(source.kind != Kind::kCommand ||
                  (source.dataOffset >= source.offset &&
                   source.dataOffset + source.dataSize <= source.offset + source.size),
              "a pixel's bytes lie outside its command");
      break;
    case Kind::kSkipped:
      // The map may give the command's bytes to a structure that wins them (a table that
      // claims more entries than the file has): the source names the command itself; in the
      // test files the map holds it too.
      require(source.offset + source.size <= size, "a skipped pixel's command lies past the file");
      require(source.command == decode::CommandKind::kDelta ||
                  source.command == decode::CommandKind::kEndOfLine ||
                  source.command == decode::CommandKind::kEndOfBitmap,
              "a skipped pixel's command is not a delta, end of line or end of bitmap");
      if (everyPixel) {
        const decode::RegionKind kind = decode::regionAt(decoder, source.offset).kind;
        require(kind == decode::RegionKind::kDelta || kind == decode::RegionKind::kEndOfLine ||
                    kind == decode::RegionKind::kEndOfBitmap,
                "a skipped pixel's command is another region in the map");
      }
      return;
    case Kind::kMissing:
      require(source.offset + source.size > size || source.offset >= size ||
                  source.entryOffset + format.entrySize > size || decoder.isRle(),
              "a missing pixel's bytes lie inside the file");
      // RLE: where the commands ran out, the end of the file or a start past it; or the
      // command that set it, whose index's entry lies past the end.
      require(!decoder.isRle() || source.offset >= size ||
                  (source.index >= 0 && source.entryOffset + format.entrySize > size),
              "an RLE pixel is missing inside the file");
      return;
    default:
      require(false, "a pixel of a decoded picture has no source");
  }
  const std::uint8_t* bytes = data + static_cast<std::size_t>(source.dataOffset);
  if (source.index >= 0) {
    // An index: the value read at the source, and its entry's colour.
    const auto index = static_cast<std::int64_t>(
        source.bits == 0 ? bytes[0] : bytes[0] >> source.shift & ((1u << source.bits) - 1));
    require(index == source.index, "a pixel's index is not the value at its source");
    if (state != decode::kDefined) return;
    const std::uint8_t* entry = data + static_cast<std::size_t>(source.entryOffset);
    require(rgba[0] == entry[2] && rgba[1] == entry[1] && rgba[2] == entry[0],
            "a pixel's colour is not its entry's");
  } else if (format.encoding == decode::Encoding::kBgr ||
             format.encoding == decode::Encoding::kRle24) {
    require(rgba[0] == bytes[2] && rgba[1] == bytes[1] && rgba[2] == bytes[0],
            "a pixel's colour is not its bytes'");
  }
}

void checkAll(const std::uint8_t* data, std::size_t size, bool everyPixel) {
  decode::MemoryInput input(data, size);
  decode::Decoder decoder(input);
  const std::vector<decode::Region> runs = checkMap(decoder, size);
  for (const decode::Field& field : decoder.format().fields) {
    if (field.offset + field.size > size) continue;
    const std::uint64_t stored = little(data, field.offset, field.size);
    require(field.stored == stored, "a field's stored value is not its bytes");
    require(valueMatches(field, stored), "a field's value text is no reading of its bytes");
  }
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
  everyPixel = everyPixel && !states.empty();
  const std::uint32_t span = std::min<std::uint32_t>(width, 4096);
  std::vector<std::uint8_t> rowRgba(std::size_t{span} * 4);
  std::vector<std::uint8_t> rowStates(span);
  const std::vector<std::uint32_t> columns = samples(span, everyPixel);
  for (const std::uint32_t y : samples(height, everyPixel)) {
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
      for (const std::uint32_t i : columns) {
        checkSource(decoder, x + i, y, &rowRgba[4 * std::size_t{i}], rowStates[i], data, size,
                    everyPixel);
      }
    }
  }
  // RLE, for the test files, where no table wins the commands' bytes: a pixel is skipped exactly
  // when no run sets it and the commands did not run out.
  if (!decoder.isRle() || !everyPixel) return;
  std::vector<bool> set(states.size());
  for (const decode::Region& run : runs) {
    for (std::uint64_t p = 0; p < run.pixels && run.x + p < width && run.y < height; ++p)
      set[std::size_t{run.y} * width + static_cast<std::size_t>(run.x + p)] = true;
  }
  for (std::size_t i = 0; i < states.size(); ++i) {
    require(states[i] == decode::kMissing || (states[i] == decode::kSkipped) == !set[i],
            "an RLE pixel is skipped though a run sets it, or not though none does");
  }
}

}  // namespace

const char* decoderFault(const std::uint8_t* data, std::size_t size, bool everyPixel) {
  try {
    checkAll(data, size, everyPixel);
  } catch (const Fault& fault) {
    return fault.what;
  }
  return nullptr;
}

void checkDecoder(const std::uint8_t* data, std::size_t size) {
  if (const char* what = decoderFault(data, size, false)) {
    std::fprintf(stderr, "decode_checks: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzz
