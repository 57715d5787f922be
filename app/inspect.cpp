// JSON for the inspector, written by hand: numbers, booleans, and names of the format's own.
#include "app/inspect.h"

namespace app {
namespace {

// Builds JSON: members by name in objects, values without a name in arrays.
class Json {
 public:
  void begin(char bracket, std::string_view name = {}) {
    member(name);
    text_ += bracket;
    first_ = true;
  }
  void end(char bracket) {
    text_ += bracket;
    first_ = false;
  }
  void number(std::string_view name, std::uint64_t value) {
    member(name);
    text_ += std::to_string(value);
  }
  // Names of the format's own: no quotes or escapes in them.
  void text(std::string_view name, std::string_view value) {
    member(name);
    text_ += '"';
    text_ += value;
    text_ += '"';
  }
  void flag(std::string_view name, bool value) {
    member(name);
    text_ += value ? "true" : "false";
  }
  const std::string& str() const { return text_; }

 private:
  void member(std::string_view name) {
    if (!first_) text_ += ',';
    first_ = false;
    if (name.empty()) return;
    text_ += '"';
    text_ += name;
    text_ += "\":";
  }
  std::string text_;
  bool first_ = true;
};

std::string_view kindName(report::ItemKind kind) {
  switch (kind) {
    case report::ItemKind::kBitPicture:
      return "bits";
    case report::ItemKind::kHex:
      return "hex";
    case report::ItemKind::kTranslated:
      return "colour";
    case report::ItemKind::kTriple:
      return "triple";
  }
  return "";
}

std::string_view whyName(report::Unprinted why) {
  switch (why) {
    case report::Unprinted::kPrinted:
      return "printed";
    case report::Unprinted::kBeforeStart:
      return "before-start";
    case report::Unprinted::kPadding:
      return "padding";
    case report::Unprinted::kPastCount:
      return "past-count";
  }
  return "";
}

void putPlace(Json& json, std::string_view name, const report::ReportMap& map,
              const report::ItemPlace& place) {
  const report::DumpWalk& dump = map.dumps[place.dump].dump;
  json.begin('{', name);
  json.number("dump", place.dump);
  json.text("title", dump.title);
  json.number("index", place.index);
  json.number("line", place.line);
  json.number("column", place.column);
  json.number("chars", report::itemChars(dump.kind));
  json.number("rowNumber", place.rowNumber);
  json.number("inRow", place.inRow);
  json.number("offset", place.offset);
  json.number("bytes", report::itemBytes(dump.kind));
  json.end('}');
}

void putByteInDumps(Json& json, std::string_view name, const report::ReportMap& map,
                    std::uint64_t offset) {
  json.begin('[', name);
  const auto found = report::findByte(map, offset);
  for (std::size_t d = 0; d < found.size(); ++d) {
    json.begin('{');
    json.number("dump", d);
    json.text("title", map.dumps[d].dump.title);
    json.text("why", whyName(found[d].why));
    json.number("inItem", found[d].inItem);
    if (found[d].why == report::Unprinted::kPrinted) putPlace(json, "place", map, found[d].place);
    json.end('}');
  }
  json.end(']');
}

}  // namespace

Inspection::Inspection(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileLength,
                       std::string_view fileName) {
  const bitmap::Headers headers = bitmap::decodeHeaders(head, headSize);
  map_ = report::mapReport(headers.file, headers.info, fileLength, fileName);
  layout_ = bitmap::pixelLayout(headers.file, headers.info, fileLength);
}

std::string Inspection::summary() const {
  Json json;
  json.begin('{');
  json.number("fileLength", map_.fileLength);
  json.number("lastLine", map_.lastLine);
  json.number("width", layout_.width);
  json.number("height", layout_.height);
  json.number("bits", layout_.bits);
  json.flag("topDown", layout_.topDown);
  json.flag("compressed", layout_.compressed);
  json.flag("fixedOffsets", bitmap::hasFixedOffsets(layout_));
  json.number("start", layout_.start);
  json.number("rowBytes", layout_.rowBytes);
  json.number("end", layout_.end);
  json.number("tableOffset", bitmap::kColorTableOffset);
  json.begin('{', "table");
  json.flag("listed", map_.table.listed);
  json.number("count", map_.table.count);
  json.number("rows", map_.table.rows);
  json.number("line", map_.tableLine);
  json.end('}');
  json.begin('[', "fields");
  for (std::size_t f = 0; f < bitmap::kFieldLayout.size(); ++f) {
    const bitmap::FieldLayout& field = bitmap::kFieldLayout[f];
    json.begin('{');
    json.text("name", field.name);
    json.number("offset", field.offset);
    json.number("width", field.width);
    json.number("line", report::fieldLine(map_, f));
    json.end('}');
  }
  json.end(']');
  json.begin('[', "dumps");
  for (const report::DumpMap& dump : map_.dumps) {
    json.begin('{');
    json.text("title", dump.dump.title);
    json.text("kind", kindName(dump.dump.kind));
    json.number("itemBytes", report::itemBytes(dump.dump.kind));
    json.number("itemChars", report::itemChars(dump.dump.kind));
    json.number("start", dump.dump.start);
    json.number("count", dump.dump.walk.itemCount);
    json.number("rowLength", dump.dump.walk.rowLength);
    json.number("rowPad", dump.dump.walk.rowPad);
    json.number("printed", dump.extent.printed);
    json.flag("stopped", dump.extent.stopped);
    json.number("firstLine", dump.firstLine);
    json.number("rows", dump.extent.rows);
    json.end('}');
  }
  json.end(']');
  json.end('}');
  return json.str();
}

std::string Inspection::pixel(std::uint32_t x, std::uint32_t y) const {
  Json json;
  json.begin('{');
  json.number("x", x);
  json.number("y", y);
  const bool stored = bitmap::hasFixedOffsets(layout_) && x < layout_.width && y < layout_.height;
  json.flag("stored", stored);
  if (stored) {
    const bitmap::PixelBytes pixel = bitmap::pixelBytes(layout_, x, y);
    json.number("offset", pixel.offset);
    json.number("count", pixel.count);
    json.number("shift", pixel.shift);
    json.number("bits", layout_.bits);
    json.number("row", layout_.topDown ? y : layout_.height - 1 - y);
    json.begin('[', "bytes");
    for (std::uint32_t b = 0; b < pixel.count; ++b) {
      json.begin('{');
      json.number("offset", pixel.offset + b);
      putByteInDumps(json, "dumps", map_, pixel.offset + b);
      json.end('}');
    }
    json.end(']');
  }
  json.end('}');
  return json.str();
}

std::string Inspection::byte(std::uint64_t offset) const {
  Json json;
  json.begin('{');
  json.number("offset", offset);
  putByteInDumps(json, "dumps", map_, offset);
  const bitmap::BytePixels pixels =
      bitmap::hasFixedOffsets(layout_) ? bitmap::bytePixels(layout_, offset) : bitmap::BytePixels{};
  constexpr std::string_view kKinds[] = {"pixels", "padding", "outside"};
  json.begin('{', "pixels");
  json.text("kind", kKinds[static_cast<int>(pixels.kind)]);
  json.number("x", pixels.x);
  json.number("y", pixels.y);
  json.number("count", pixels.count);
  json.end('}');
  json.end('}');
  return json.str();
}

std::string Inspection::place(std::uint64_t line, std::uint64_t column) const {
  const report::ReportTarget target = report::targetAt(map_, line, column);
  Json json;
  json.begin('{');
  switch (target.kind) {
    case report::ReportTarget::Kind::kNothing:
      json.text("kind", "nothing");
      break;
    case report::ReportTarget::Kind::kField: {
      const bitmap::FieldLayout& field = bitmap::kFieldLayout[target.field];
      json.text("kind", "field");
      json.text("name", field.name);
      json.number("offset", field.offset);
      json.number("width", field.width);
      break;
    }
    case report::ReportTarget::Kind::kEntry:
      json.text("kind", "entry");
      json.number("index", target.entry);
      json.number("offset", bitmap::kColorTableOffset + 4 * target.entry);
      break;
    case report::ReportTarget::Kind::kItem:
      json.text("kind", "item");
      putPlace(json, "place", map_, target.item);
      break;
  }
  json.end('}');
  return json.str();
}

std::string Inspection::windows(const std::vector<std::uint64_t>& lines, std::uint64_t before,
                                std::uint64_t after) const {
  Json json;
  json.begin('[');
  for (const report::LineWindow& window : report::lineWindows(map_, lines, before, after)) {
    json.begin('{');
    json.number("firstLine", window.firstLine);
    json.number("from", window.from);
    json.number("to", window.to);
    json.end('}');
  }
  json.end(']');
  return json.str();
}

}  // namespace app
