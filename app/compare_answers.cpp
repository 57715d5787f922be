// The comparison's answer: compare::Comparison and its lines, written as JSON.
#include "app/compare_answers.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/decode_answers.h"
#include "app/json.h"
#include "bitmap/magic.h"
#include "compare/lines.h"

namespace app {
namespace {

using Kind = decode::PixelSource::Kind;

std::string hex(const std::vector<std::uint8_t>& bytes) {
  return bitmap::hexPairs(bytes.data(), bytes.size());
}

void putRgba(Json& json, const std::array<std::uint8_t, 4>& rgba) {
  json.begin('[', "rgba");
  for (const std::uint8_t channel : rgba) json.number({}, channel);
  json.end(']');
}

void putFacts(Json& json, std::string_view name, const compare::FileFacts& facts) {
  json.begin('{', name);
  json.number("fileLength", facts.size);
  json.flag("bitmap", facts.bitmap);
  json.text("headerKind", headerKindName(facts.kind));
  json.text("encoding", encodingKey(facts.encoding));
  json.flag("compressed", facts.compressed);
  json.flag("topDown", facts.topDown);
  json.number("width", facts.width);
  json.number("height", facts.height);
  json.decimal("tableEntries", facts.tableEntries);
  json.end('}');
}

void textOrNull(Json& json, std::string_view name, const std::string& value) {
  if (value.empty())
    json.null(name);
  else
    json.text(name, value);
}

// One side's members of a field: nameA, offsetA, ... for suffix "A".
void putFieldSide(Json& json, const compare::FieldSide& side, const std::string& suffix) {
  const std::string name = "name" + suffix;
  const std::string offset = "offset" + suffix;
  const std::string size = "size" + suffix;
  const std::string bytes = "bytes" + suffix;
  const std::string value = "value" + suffix;
  if (!side.present) {
    for (const std::string* member : {&name, &offset, &size, &bytes, &value}) json.null(*member);
    return;
  }
  json.text(name, side.name);
  json.number(offset, side.offset);
  json.number(size, side.size);
  json.text(bytes, hex(side.bytes));
  json.text(value, side.value);
}

void putFields(Json& json, const std::vector<compare::FieldDifference>& fields) {
  json.begin('[', "fields");
  for (const compare::FieldDifference& field : fields) {
    json.begin('{');
    json.text("name", field.name);
    putFieldSide(json, field.a, "A");
    putFieldSide(json, field.b, "B");
    json.end('}');
  }
  json.end(']');
}

void putEntry(Json& json, std::string_view name, const compare::EntrySide& side) {
  if (!side.present) return json.null(name);
  json.begin('{', name);
  json.decimal("offset", side.offset);
  json.number("size", side.size);
  json.text("bytes", hex(side.bytes));
  json.number("state", side.state);
  json.text("stateName", stateName(side.state));
  putRgba(json, side.rgba);
  json.end('}');
}

void putTable(Json& json, const compare::Comparison& comparison) {
  json.begin('{', "table");
  json.decimal("count", comparison.entriesDiffer);
  json.begin('[', "entries");
  for (const compare::EntryDifference& entry : comparison.entries) {
    json.begin('{');
    json.number("index", entry.index);
    putEntry(json, "a", entry.a);
    putEntry(json, "b", entry.b);
    json.end('}');
  }
  json.end(']');
  const compare::EntriesOnlyInOne& only = comparison.entriesOnly;
  if (only.any) {
    json.begin('{', "only");
    json.text("file", only.inA ? "a" : "b");
    json.decimal("first", only.first);
    json.decimal("last", only.last);
    json.end('}');
  } else {
    json.null("only");
  }
  json.end('}');
}

// A listed pixel as one file gives it; rle when that file's pixels are RLE commands.
void putPixel(Json& json, std::string_view name, const compare::PixelSide& side, bool rle,
              std::uint64_t fileSize) {
  const decode::PixelSource& source = side.source;
  json.begin('{', name);
  putRgba(json, side.rgba);
  json.number("state", side.state);
  json.text("stateName", stateName(side.state));
  json.text("source", sourceName(source.kind));
  if (source.beyondAnyFile)
    json.null("offset");
  else
    json.decimal("offset", source.offset);
  json.flag("beyondAnyFile", source.beyondAnyFile);
  // The bytes that hold its value: an uncompressed pixel's own, those past the end of the file
  // too, or within the RLE command that set it; the command's own bytes for one that skips it.
  const bool skipped = source.kind == Kind::kSkipped;
  SourceBytes bytes;
  bytes.key = "bytes";
  bytes.data = source.dataSize > 0 && !source.beyondAnyFile;
  if (bytes.data) bytes.dataHex = hex(side.bytes);
  bytes.fileSize = fileSize;
  bytes.command = rle && (skipped || source.dataSize > 0);
  if (bytes.command && skipped) bytes.commandHex = hex(side.bytes);
  putSourceBytes(json, source, bytes);
  json.end('}');
}

void putPixels(Json& json, const compare::Comparison& comparison) {
  const compare::PixelComparison& pixels = comparison.pixels;
  json.begin('{', "pixels");
  json.flag("compared", pixels.compared);
  textOrNull(json, "problemA", pixels.problemA);
  textOrNull(json, "problemB", pixels.problemB);
  if (pixels.sameEmbedded) {
    json.begin('{', "sameEmbedded");
    json.text("kind", encodingKey(comparison.a.encoding));
    json.decimal("length", pixels.embeddedSize);
    json.end('}');
  } else {
    json.null("sameEmbedded");
  }
  json.number("width", pixels.width);
  json.number("height", pixels.height);
  json.decimal("area", pixels.count);
  json.decimal("count", pixels.differ);
  json.decimal("stateCount", pixels.stateDiffer);
  if (pixels.differ > 0) {
    json.begin('{', "box");
    json.number("left", pixels.box.left);
    json.number("top", pixels.box.top);
    json.number("right", pixels.box.right);
    json.number("bottom", pixels.box.bottom);
    json.end('}');
  } else {
    json.null("box");
  }
  json.begin('[', "largest");
  for (const std::uint8_t channel : pixels.largest) json.number({}, channel);
  json.end(']');
  json.begin('[', "first");
  for (const compare::PixelDifference& pixel : pixels.first) {
    json.begin('{');
    json.number("x", pixel.x);
    json.number("y", pixel.y);
    putPixel(json, "a", pixel.a, comparison.a.compressed, comparison.a.size);
    putPixel(json, "b", pixel.b, comparison.b.compressed, comparison.b.size);
    json.end('}');
  }
  json.end(']');
  json.end('}');
}

std::string_view verdictName(compare::Verdict verdict) {
  switch (verdict) {
    case compare::Verdict::kIdentical:
      return "identical";
    case compare::Verdict::kSamePicture:
      return "same-picture";
    case compare::Verdict::kDifferent:
      break;
  }
  return "different";
}

}  // namespace

std::string comparisonAnswer(const compare::Comparison& comparison, const compare::Bounds& bounds) {
  Json json;
  json.begin('{');
  json.text("verdict", verdictName(comparison.verdict));
  json.flag("same", comparison.same);
  if (!comparison.a.bitmap || !comparison.b.bitmap) {
    json.begin('{', "trouble");
    json.text("file", comparison.a.bitmap ? "b" : "a");
    json.text("reason", kNotBitmap);
    json.end('}');
  } else {
    json.null("trouble");
  }
  putFacts(json, "a", comparison.a);
  putFacts(json, "b", comparison.b);
  json.begin('{', "bytes");
  json.flag("identical", comparison.identicalBytes);
  json.number("firstDifference", comparison.firstDifference);
  textOrNull(json, "regionA", comparison.firstRegionA);
  textOrNull(json, "regionB", comparison.firstRegionB);
  json.end('}');
  json.flag("sizesDiffer", comparison.sizesDiffer);
  json.flag("rowsOpposite", comparison.rowsOpposite);
  json.flag("storageDiffers", comparison.storageDiffers);
  putFields(json, comparison.fields);
  putTable(json, comparison);
  putPixels(json, comparison);
  json.begin('{', "bounds");
  json.number("pixels", bounds.pixels);
  json.number("entries", bounds.entries);
  json.end('}');
  const compare::LinkedLines lines = compare::comparisonLinkedLines(comparison);
  json.begin('[', "lines");
  for (const std::string& line : lines.text) json.text({}, line);
  json.end(']');
  json.begin('[', "links");
  for (const compare::LineLink& link : lines.links) {
    if (link.kind == compare::LineLink::Kind::kNone) {
      json.null({});
      continue;
    }
    json.begin('{');
    json.text("kind", link.kind == compare::LineLink::Kind::kField   ? "field"
                      : link.kind == compare::LineLink::Kind::kEntry ? "entry"
                                                                     : "pixel");
    json.number("index", link.index);
    json.end('}');
  }
  json.end(']');
  json.end('}');
  return json.str();
}

}  // namespace app
