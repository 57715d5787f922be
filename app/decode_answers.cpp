// The decoder's answers: the format, the map's regions and a pixel's source, written as JSON.
#include "app/decode_answers.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "app/inspect.h"
#include "app/json.h"
#include "bitmap/magic.h"
#include "decode/map.h"

namespace app {
namespace {

// Names in the order of their enums.
constexpr std::string_view kHeaderKinds[] = {"none",   "core",   "os2", "info",
                                             "info52", "info56", "v4",  "v5"};
static_assert(std::size(kHeaderKinds) == static_cast<std::size_t>(decode::HeaderKind::kV5) + 1);

constexpr std::string_view kEncodings[] = {"none",    "indexed", "bit-fields", "bgr",
                                           "bgra64",  "rle8",    "rle4",       "rle24",
                                           "huffman", "jpeg",    "png"};
static_assert(std::size(kEncodings) == static_cast<std::size_t>(decode::Encoding::kPng) + 1);

constexpr std::string_view kStates[] = {"defined", "skipped", "missing", "bad-index"};

// Each command's region kind, in the order of decode::CommandKind.
constexpr decode::RegionKind kCommandRegions[] = {
    decode::RegionKind::kEncodedRun, decode::RegionKind::kAbsoluteRun,
    decode::RegionKind::kEndOfLine,  decode::RegionKind::kEndOfBitmap,
    decode::RegionKind::kDelta,      decode::RegionKind::kCutCommand};
static_assert(std::size(kCommandRegions) ==
              static_cast<std::size_t>(decode::CommandKind::kCut) + 1);

// The bytes of the file from offset, as many of size as it holds, as hex pairs.
std::string fileHex(decode::Decoder& decoder, std::uint64_t offset, std::uint64_t size) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  const std::size_t got = decoder.reader().copy(offset, bytes.data(), bytes.size());
  return bitmap::hexPairs(bytes.data(), got);
}

void putField(Json& json, const decode::Field& field, std::uint64_t fileSize) {
  json.begin('{');
  json.text("name", field.name);
  json.number("offset", field.offset);
  json.number("size", field.size);
  json.text("value", field.value);
  json.text("note", field.note);
  // The stored value is the bytes little-endian; those past the end of the file read as 0.
  std::uint8_t bytes[8] = {};
  const std::uint64_t held = field.offset < fileSize ? fileSize - field.offset : 0;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(field.size, held));
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<std::uint8_t>(field.stored >> (8 * i));
  json.text("hex", bitmap::hexPairs(bytes, count));
  json.end('}');
}

void putRegion(Json& json, const decode::Region& region) {
  json.begin('{');
  json.number("offset", region.offset);
  json.number("size", region.size);
  json.text("kind", decode::regionKindName(region.kind));
  json.text("name", region.name);
  json.text("note", region.note);
  if (region.pixels > 0) {
    json.number("x", region.x);
    json.number("y", region.y);
    json.number("pixels", region.pixels);
  }
  json.end('}');
}

std::string decimal(std::uint64_t value) { return std::to_string(value); }

// Why a pixel of this source is not defined, in words; "" when it is.
std::string why(const decode::Decoder& decoder, const decode::PixelSource& source) {
  const decode::Format& format = decoder.format();
  switch (source.kind) {
    case decode::PixelSource::Kind::kSkipped:
      return std::string("no command sets it: the ") + decode::commandName(source.command) +
             " at offset " + decimal(source.offset) + " passes over it";
    case decode::PixelSource::Kind::kMissing:
      if (source.index >= 0) {
        return "its table entry, index " + decimal(static_cast<std::uint64_t>(source.index)) +
               " at offset " + decimal(source.entryOffset) + ", lies past the end of the file";
      }
      if (source.beyondAnyFile) return "its bytes would lie past 2^64 - 1, beyond any file";
      if (decoder.isRle()) {
        return "the commands stop at offset " + decimal(source.offset) +
               ", cut by the end of the file, before any sets it";
      }
      return "its bytes, from offset " + decimal(source.offset) + ", pass the end of the file (" +
             decimal(format.fileSize) + " bytes)";
    case decode::PixelSource::Kind::kBadIndex:
      return "its index " + decimal(static_cast<std::uint64_t>(source.index)) +
             " has no entry in the table of " + decimal(format.tableEntries);
    case decode::PixelSource::Kind::kNotDecoded:
      return format.problem;
    default:
      return {};
  }
}

}  // namespace

std::string_view headerKindName(decode::HeaderKind kind) {
  return kHeaderKinds[static_cast<std::size_t>(kind)];
}

std::string_view encodingKey(decode::Encoding encoding) {
  return kEncodings[static_cast<std::size_t>(encoding)];
}

std::string_view stateName(decode::State state) { return kStates[state]; }

std::string_view sourceName(decode::PixelSource::Kind kind) {
  switch (kind) {
    case decode::PixelSource::Kind::kStored:
      return "stored";
    case decode::PixelSource::Kind::kCommand:
      return "command";
    case decode::PixelSource::Kind::kSkipped:
      return "skipped";
    case decode::PixelSource::Kind::kMissing:
      return "missing";
    case decode::PixelSource::Kind::kBadIndex:
      return "bad-index";
    case decode::PixelSource::Kind::kNotDecoded:
      return "not-decoded";
    case decode::PixelSource::Kind::kOutside:
      break;
  }
  return "";
}

std::string_view commandKindName(decode::CommandKind kind) {
  return decode::regionKindName(kCommandRegions[static_cast<std::size_t>(kind)]);
}

void putSourceBytes(Json& json, const decode::PixelSource& source, const SourceBytes& bytes) {
  if (bytes.data) {
    json.begin('{', "data");
    json.decimal("offset", source.dataOffset);
    json.number("size", source.dataSize);
    json.number("shift", source.shift);
    json.number("bits", source.bits != 0 ? source.bits : source.dataSize * 8);
    json.text(bytes.key, bytes.dataHex);
    json.number("missing",
                bitmap::missingBytes(source.dataOffset, source.dataSize, bytes.fileSize));
    json.end('}');
  } else {
    json.null("data");
  }
  if (bytes.command) {
    json.begin('{', "command");
    json.decimal("offset", source.offset);
    json.number("size", source.size);
    json.text("kind", commandKindName(source.command));
    json.text("name", decode::commandName(source.command));
    if (bytes.commandHex)
      json.text(bytes.key, *bytes.commandHex);
    else
      json.null(bytes.key);
    json.end('}');
  } else {
    json.null("command");
  }
  if (source.index >= 0)
    json.number("index", static_cast<std::uint64_t>(source.index));
  else
    json.null("index");
  // An index past the table has no entry.
  if (source.index >= 0 && source.state != decode::kBadIndex) {
    json.begin('{', "entry");
    json.decimal("offset", source.entryOffset);
    if (bytes.entrySize != 0) {
      json.number("size", bytes.entrySize);
      json.text(bytes.key, bytes.entryHex);
    }
    json.end('}');
  } else {
    json.null("entry");
  }
}

std::string formatAnswer(const decode::Format& format) {
  Json json;
  json.begin('{');
  json.number("fileLength", format.fileSize);
  json.flag("bitmap", format.bitmap);
  json.begin('{', "header");
  json.text("kind", headerKindName(format.kind));
  json.text("name", decode::headerName(format.kind));
  json.number("size", format.headerSize);
  json.end('}');
  json.flag("decodes", format.problem.empty());
  json.text("encoding", encodingKey(format.encoding));
  json.text("encodingName", decode::encodingName(format.encoding));
  if (format.problem.empty())
    json.null("problem");
  else
    json.text("problem", format.problem);
  const bitmap::PixelLayout& layout = format.layout;
  json.number("width", layout.width);
  json.number("height", layout.height);
  json.signedNumber("storedWidth", format.storedWidth);
  json.signedNumber("storedHeight", format.storedHeight);
  json.flag("topDown", layout.topDown);
  json.number("bitCount", format.bitCount);
  json.number("compression", format.compression);
  json.text("compressionName", decode::compressionName(format.compression, format.kind));
  if (format.encoding == decode::Encoding::kMasked) {
    json.begin('{', "masks");
    json.number("red", format.masks[0]);
    json.number("green", format.masks[1]);
    json.number("blue", format.masks[2]);
    json.number("alpha", format.masks[3]);
    if (format.masksSize > 0)
      json.decimal("offset", format.masksOffset);
    else
      json.null("offset");
    json.number("size", format.masksSize);
    json.end('}');
  } else {
    json.null("masks");
  }
  if (format.kind != decode::HeaderKind::kNone) {
    json.begin('{', "table");
    json.decimal("offset", format.tableOffset);
    json.number("entrySize", format.entrySize);
    json.decimal("entries", format.tableEntries);
    json.end('}');
  } else {
    json.null("table");
  }
  json.begin('{', "pixels");
  json.decimal("start", layout.start);
  if (layout.endBeyondAnyFile)
    json.null("end");
  else
    json.decimal("end", layout.end);
  json.decimal("rowBytes", layout.rowBytes);
  json.end('}');
  if (format.encoding == decode::Encoding::kJpeg || format.encoding == decode::Encoding::kPng) {
    json.begin('{', "embedded");
    json.text("kind", encodingKey(format.encoding));
    json.decimal("offset", layout.start);
    json.decimal("length", layout.end > layout.start ? layout.end - layout.start : 0);
    json.end('}');
  } else {
    json.null("embedded");
  }
  // Only a V5 header's colour space names a profile, and it lies past the file header.
  if (format.profileOffset != 0) {
    json.begin('{', "profile");
    json.flag("linked", format.profileLinked);
    json.decimal("offset", format.profileOffset);
    json.decimal("size", format.profileSize);
    json.end('}');
  } else {
    json.null("profile");
  }
  json.begin('[', "fields");
  for (const decode::Field& field : format.fields) putField(json, field, format.fileSize);
  json.end(']');
  json.end('}');
  return json.str();
}

std::string regionsAnswer(decode::Decoder& decoder, std::uint64_t from, std::uint64_t to,
                          std::uint64_t max) {
  max = std::min(max, kMaxRegionsAnswered);
  Json json;
  json.begin('{');
  json.begin('[', "regions");
  std::uint64_t listed = 0;
  std::uint64_t next = from;
  bool more = false;
  // A region holds a byte of the range when it starts before to and ends past from (the walk
  // gives only those that end past from).
  decode::walkMap(decoder, from, [&](const decode::Region& region) {
    if (region.offset >= to || from >= to) return false;
    if (listed == max) {
      more = true;
      return false;
    }
    putRegion(json, region);
    ++listed;
    next = region.offset + region.size;
    return true;
  });
  json.end(']');
  json.flag("more", more);
  json.number("next", next);
  json.end('}');
  return json.str();
}

std::string regionCountAnswer(decode::Decoder& decoder, std::uint64_t from, std::uint64_t to,
                              std::uint64_t max) {
  std::uint64_t count = 0;
  decode::walkMap(decoder, from, [&](const decode::Region& region) {
    if (region.offset >= to || from >= to || count == max) return false;
    ++count;
    return true;
  });
  Json json;
  json.begin('{');
  json.number("count", count);
  json.end('}');
  return json.str();
}

std::string regionAtAnswer(decode::Decoder& decoder, std::uint64_t offset) {
  if (offset >= decoder.format().fileSize) return "null";
  Json json;
  putRegion(json, decode::regionAt(decoder, offset));
  return json.str();
}

std::string pixelAnswer(decode::Decoder& decoder, std::uint64_t x, std::uint64_t y) {
  if (x >= decoder.width() || y >= decoder.height()) {
    return refusal("x and y must be whole numbers within the picture's width and height");
  }
  const auto px = static_cast<std::uint32_t>(x);
  const auto py = static_cast<std::uint32_t>(y);
  const decode::PixelSource source = decoder.pixelSource(px, py);
  std::uint8_t rgba[4] = {};
  std::uint8_t state = 0;
  const bool decodes = decoder.decodeRow(py, px, 1, rgba, &state);
  const decode::Format& format = decoder.format();
  Json json;
  json.begin('{');
  json.number("x", x);
  json.number("y", y);
  if (decodes) {
    json.number("state", state);
    json.text("stateName", stateName(static_cast<decode::State>(state)));
    json.begin('[', "rgba");
    for (const std::uint8_t channel : rgba) json.number({}, channel);
    json.end(']');
  } else {
    json.null("state");
    json.null("stateName");
    json.null("rgba");
  }
  json.text("source", sourceName(source.kind));
  if (source.beyondAnyFile)
    json.flag("beyondAnyFile", true);
  else if (decodes)
    json.decimal("offset", source.offset);
  else
    json.null("offset");
  json.text("why", why(decoder, source));
  // The bytes that hold its value: an uncompressed pixel's own (those past the end too), or
  // those of the RLE command that set it; and the command that set or skipped it, which an RLE
  // pixel the commands never reach has not.
  SourceBytes bytes;
  bytes.key = "hex";
  const bool set = decoder.isRle() && source.dataSize > 0;
  bytes.data = (!decoder.isRle() && decodes && !source.beyondAnyFile) || set;
  if (bytes.data) bytes.dataHex = fileHex(decoder, source.dataOffset, source.dataSize);
  bytes.fileSize = format.fileSize;
  bytes.command = decoder.isRle() && (source.kind == decode::PixelSource::Kind::kSkipped || set);
  if (bytes.command) bytes.commandHex = fileHex(decoder, source.offset, source.size);
  bytes.entrySize = format.entrySize;
  if (source.index >= 0 && source.state != decode::kBadIndex)
    bytes.entryHex = fileHex(decoder, source.entryOffset, format.entrySize);
  putSourceBytes(json, source, bytes);
  json.end('}');
  return json.str();
}

}  // namespace app
