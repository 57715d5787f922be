// The inspector's answers: the report's map and the pixel layout, asked and written as JSON.
#include "app/inspect.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "app/json.h"
#include "bitmap/magic.h"

namespace app {
namespace {

constexpr std::uint64_t kEntryBytes = 4;

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

// The line that lists table entry index; 0 when none does.
std::uint64_t entryLine(const report::ReportMap& map, std::uint64_t index) {
  return map.table.listed && index < map.table.rows ? map.tableLine + index : 0;
}

void putPlace(Json& json, std::string_view name, const report::ReportMap& map,
              const report::ItemPlace& place) {
  const report::DumpWalk& dump = map.dumps[place.dump].dump;
  json.begin('{', name);
  json.number("dump", place.dump);
  json.text("title", dump.title);
  json.decimal("index", place.index);
  json.number("line", place.line);
  json.number("column", place.column);
  json.number("chars", report::itemChars(dump.kind));
  json.number("bytes", report::itemBytes(dump.kind));
  json.number("rowNumber", place.rowNumber);
  json.decimal("inRow", place.inRow);
  json.decimal("offset", place.offset);
  json.flag("pastEnd", place.pastEnd);
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

void putField(Json& json, const report::ReportMap& map, std::size_t field) {
  const bitmap::FieldLayout& layout = bitmap::kFieldLayout[field];
  json.text("name", layout.name);
  json.decimal("offset", layout.offset);
  json.number("width", layout.width);
  json.number("line", report::fieldLine(map, field));
}

void putEntry(Json& json, const report::ReportMap& map, std::uint64_t index) {
  json.decimal("index", index);
  json.decimal("offset", bitmap::kColorTableOffset + kEntryBytes * index);
  json.number("line", entryLine(map, index));
}

// The byte question's kinds, in the order of ByteRole::Kind.
constexpr std::string_view kRoleNames[] = {"field", "pixel", "padding",     "pixel-data",
                                           "entry", "gap",   "past-pixels", "past-file"};
static_assert(std::size(kRoleNames) == static_cast<std::size_t>(ByteRole::Kind::kPastFile) + 1);

void putWhat(Json& json, const ByteRole& role, const report::ReportMap& map) {
  json.begin('{', "what");
  json.text("kind", kRoleNames[static_cast<std::size_t>(role.kind)]);
  switch (role.kind) {
    case ByteRole::Kind::kField:
      putField(json, map, role.field);
      break;
    case ByteRole::Kind::kPixel:
      json.number("x", role.pixels.x);
      json.number("y", role.pixels.y);
      json.number("count", role.pixels.count);
      json.number("inPixel", role.pixels.inPixel);
      break;
    case ByteRole::Kind::kPadding:
      json.number("row", role.pixels.row);
      json.number("y", role.pixels.y);
      break;
    case ByteRole::Kind::kEntry:
      putEntry(json, map, role.entry);
      break;
    case ByteRole::Kind::kPixelData:
    case ByteRole::Kind::kGap:
    case ByteRole::Kind::kPastPixels:
    case ByteRole::Kind::kPastFile:
      break;
  }
  json.end('}');
}

}  // namespace

std::string refusal(std::string_view why) {
  Json json;
  json.begin('{');
  json.text("refused", why);
  json.end('}');
  return json.str();
}

ByteRole byteRole(const report::ReportMap& map, const bitmap::PixelLayout& layout,
                  std::uint64_t offset) {
  ByteRole role;
  // The header's fields are read as fields wherever the pixels are said to start.
  for (std::size_t f = 0; f < bitmap::kFieldLayout.size(); ++f) {
    const bitmap::FieldLayout& field = bitmap::kFieldLayout[f];
    if (offset >= field.offset && offset < field.offset + field.width) {
      role.kind = ByteRole::Kind::kField;
      role.field = f;
      return role;
    }
  }
  // Pixels come before table entries: a table the report sizes by biClrImportant = 0 runs to
  // 256 entries over the pixels of files whose real table is shorter.
  if (offset >= layout.start && (offset < layout.end || layout.endBeyondAnyFile)) {
    if (!bitmap::hasFixedOffsets(layout)) {
      role.kind = ByteRole::Kind::kPixelData;
      return role;
    }
    role.pixels = bitmap::bytePixels(layout, offset);
    if (role.pixels.kind != bitmap::BytePixels::Kind::kOutside) {
      role.kind = role.pixels.kind == bitmap::BytePixels::Kind::kPixels ? ByteRole::Kind::kPixel
                                                                        : ByteRole::Kind::kPadding;
      return role;
    }
  }
  const std::uint64_t tableEnd =
      bitmap::kColorTableOffset + kEntryBytes * std::uint64_t{map.table.count};
  if (map.table.listed && offset >= bitmap::kColorTableOffset && offset < tableEnd) {
    role.kind = ByteRole::Kind::kEntry;
    role.entry = (offset - bitmap::kColorTableOffset) / kEntryBytes;
    return role;
  }
  if (offset < layout.start) {
    role.kind = ByteRole::Kind::kGap;
  } else {
    role.kind = offset < map.fileLength ? ByteRole::Kind::kPastPixels : ByteRole::Kind::kPastFile;
  }
  return role;
}

Inspection::Inspection(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileLength,
                       std::string_view fileName)
    : magic_(bitmap::magic(head, headSize)), looksLike_(bitmap::looksLike(head, headSize)) {
  const bitmap::Headers headers = bitmap::decodeHeaders(head, headSize);
  map_ = report::mapReport(headers.file, headers.info, fileLength, fileName);
  layout_ = bitmap::pixelLayout(headers.file, headers.info, fileLength);
}

std::string Inspection::describe() const {
  Json json;
  json.begin('{');
  json.decimal("fileLength", map_.fileLength);
  json.text("magic", magic_);
  if (looksLike_.empty())
    json.null("looksLike");
  else
    json.text("looksLike", looksLike_);
  json.flag("refused", map_.refused);
  json.begin('{', "report");
  json.number("lastLine", map_.lastLine);
  json.decimal("length", map_.reportBytes);
  json.end('}');
  json.begin('{', "layout");
  json.number("width", layout_.width);
  json.number("height", layout_.height);
  json.number("bits", layout_.bits);
  json.flag("topDown", layout_.topDown);
  json.flag("compressed", layout_.compressed);
  json.flag("fixedOffsets", bitmap::hasFixedOffsets(layout_));
  json.decimal("start", layout_.start);
  json.decimal("rowBytes", layout_.rowBytes);
  if (layout_.endBeyondAnyFile)
    json.null("end");
  else
    json.decimal("end", layout_.end);
  json.end('}');
  json.number("headerLine", map_.headerLine);
  json.begin('[', "fields");
  for (std::size_t f = 0; f < bitmap::kFieldLayout.size(); ++f) {
    json.begin('{');
    putField(json, map_, f);
    json.end('}');
  }
  json.end(']');
  json.begin('{', "table");
  json.flag("listed", map_.table.listed);
  json.decimal("offset", bitmap::kColorTableOffset);
  json.decimal("count", map_.table.count);
  json.decimal("rows", map_.table.rows);
  json.number("titleLine", map_.tableTitleLine);
  json.number("firstLine", map_.tableLine);
  json.number("lastLine", map_.tableLastLine);
  json.end('}');
  json.begin('[', "dumps");
  for (std::size_t d = 0; d < map_.dumps.size(); ++d) {
    const report::DumpMap& dump = map_.dumps[d];
    json.begin('{');
    json.text("title", dump.dump.title);
    json.text("kind", kindName(dump.dump.kind));
    json.number("titleLine", dump.firstLine - 1);
    json.number("firstLine", dump.firstLine);
    json.number("lastLine", dump.lastLine);
    json.number("itemChars", report::itemChars(dump.dump.kind));
    json.number("itemBytes", report::itemBytes(dump.dump.kind));
    json.decimal("start", dump.dump.start);
    json.decimal("count", dump.dump.walk.itemCount);
    json.decimal("rowLength", dump.dump.walk.rowLength);
    json.decimal("rowPad", dump.dump.walk.rowPad);
    json.decimal("printed", dump.extent.printed);
    json.flag("stopped", dump.extent.stopped);
    json.number("rows", dump.extent.rows);
    if (dump.pastEnd < dump.extent.printed) {
      const report::ItemPlace first = report::itemPlace(map_, d, dump.pastEnd);
      json.begin('{', "pastEnd");
      json.decimal("index", first.index);
      json.number("line", first.line);
      json.number("column", first.column);
      json.end('}');
    } else {
      json.null("pastEnd");
    }
    json.end('}');
  }
  json.end(']');
  json.end('}');
  return json.str();
}

std::string Inspection::pixel(std::uint64_t x, std::uint64_t y) const {
  if (x >= layout_.width || y >= layout_.height) {
    return refusal("x and y must be whole numbers within the picture's width and height");
  }
  Json json;
  json.begin('{');
  json.number("x", x);
  json.number("y", y);
  const bool fixed = bitmap::hasFixedOffsets(layout_);
  json.flag("fixedOffsets", fixed);
  if (fixed) {
    const bitmap::PixelBytes pixel =
        bitmap::pixelBytes(layout_, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    if (pixel.beyondAnyFile)
      json.flag("beyondAnyFile", true);
    else
      json.decimal("offset", pixel.offset);
    json.number("count", pixel.count);
    json.number("shift", pixel.shift);
    json.number("bits", layout_.bits);
    json.number("missing", pixel.beyondAnyFile
                               ? pixel.count
                               : bitmap::missingBytes(pixel.offset, pixel.count, map_.fileLength));
    json.number("row", pixel.row);
    json.decimal("inRow", pixel.inRow);
    json.begin('[', "bytes");
    for (std::uint32_t b = 0; !pixel.beyondAnyFile && b < pixel.count; ++b) {
      json.begin('{');
      json.decimal("offset", pixel.offset + b);
      putByteInDumps(json, "dumps", map_, pixel.offset + b);
      json.end('}');
    }
    json.end(']');
  }
  json.end('}');
  return json.str();
}

std::string Inspection::byte(std::string_view offset) const {
  std::uint64_t at = 0;
  const auto [end, error] = std::from_chars(offset.data(), offset.data() + offset.size(), at);
  const bool digits =
      !offset.empty() && end == offset.data() + offset.size() &&
      std::all_of(offset.begin(), offset.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) return refusal("the offset must be a decimal number");
  Json json;
  json.begin('{');
  if (error == std::errc::result_out_of_range) {
    // Leading zeros aside, the digits as given.
    const std::size_t first = std::min(offset.find_first_not_of('0'), offset.size() - 1);
    json.text("offset", offset.substr(first));
    json.flag("beyondAnyFile", true);
    json.end('}');
    return json.str();
  }
  json.decimal("offset", at);
  json.flag("inFile", at < map_.fileLength);
  putWhat(json, byteRole(map_, layout_, at), map_);
  putByteInDumps(json, "dumps", map_, at);
  json.end('}');
  return json.str();
}

std::string Inspection::place(std::uint64_t line, std::uint64_t column) const {
  const report::ReportTarget target = report::targetAt(map_, line, column);
  Json json;
  json.begin('{');
  json.number("line", line);
  json.number("column", column);
  switch (target.kind) {
    case report::ReportTarget::Kind::kNothing:
      json.text("kind", "nothing");
      break;
    case report::ReportTarget::Kind::kField: {
      const bitmap::FieldLayout& field = bitmap::kFieldLayout[target.field];
      json.text("kind", "field");
      json.text("name", field.name);
      json.decimal("offset", field.offset);
      json.number("width", field.width);
      break;
    }
    case report::ReportTarget::Kind::kEntry:
      json.text("kind", "entry");
      json.decimal("index", target.entry);
      json.decimal("offset", bitmap::kColorTableOffset + kEntryBytes * target.entry);
      break;
    case report::ReportTarget::Kind::kItem:
      json.text("kind", "item");
      putPlace(json, "place", map_, target.item);
      break;
  }
  json.end('}');
  return json.str();
}

std::string Inspection::entry(std::uint64_t index) const {
  // A byte indexes at most 256 entries; the report counts up to 2^32 - 1.
  if (index > UINT32_MAX) return refusal("the index must be a whole number under 2^32");
  Json json;
  json.begin('{');
  putEntry(json, map_, index);
  json.flag("inTable", map_.table.listed && index < map_.table.count);
  json.end('}');
  return json.str();
}

std::string Inspection::excerpts(std::vector<std::uint64_t> lines, std::uint64_t before,
                                 std::uint64_t after) const {
  Json json;
  json.begin('[');
  for (const report::LineExcerpt& excerpt :
       report::lineExcerpts(map_, std::move(lines), before, after)) {
    json.begin('{');
    json.number("firstLine", excerpt.firstLine);
    json.decimal("from", excerpt.from);
    json.decimal("to", excerpt.to);
    json.end('}');
  }
  json.end(']');
  return json.str();
}

}  // namespace app
