// The inspector's answers checked against each other and the report: a pixel's bytes lead back
// to it, an item's place leads to its byte and prints its text, a line's offset lies inside the
// report at a line start, excerpts hold whole lines, and every answer is well-formed JSON.
#include "fuzz/inspect_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/inspect.h"
#include "bitmap/layout.h"
#include "bitmap/records.h"
#include "report/locate.h"

namespace fuzz {
namespace {

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "inspect_checks: %s\n", what);
    std::abort();
  }
}

// Whether text holds one JSON value from at on, moving at past it (the answers' grammar:
// objects, arrays, strings without escapes past \" and \\ and \u, numbers without fractions,
// true, false, null).
bool jsonValue(const std::string& t, std::size_t& at) {
  const auto eat = [&](char c) { return at < t.size() && t[at] == c && ++at > 0; };
  const auto string = [&] {
    if (!eat('"')) return false;
    while (at < t.size() && t[at] != '"') {
      if (static_cast<unsigned char>(t[at]) < 0x20) return false;
      at += t[at] == '\\' ? 2 : 1;
    }
    return eat('"');
  };
  if (eat('{') || eat('[')) {
    const char close = t[at - 1] == '{' ? '}' : ']';
    if (eat(close)) return true;
    do {
      if ((close == '}' && !(string() && eat(':'))) || !jsonValue(t, at)) return false;
    } while (eat(','));
    return eat(close);
  }
  if (at < t.size() && t[at] == '"') return string();
  for (const std::string_view word : {"true", "false", "null"}) {
    if (t.compare(at, word.size(), word) == 0) return (at += word.size()) > 0;
  }
  const std::size_t from = at;
  while (at < t.size() && t[at] >= '0' && t[at] <= '9') ++at;
  return at > from && (t[from] != '0' || at == from + 1);
}

void requireJson(const std::string& answer, const char* what) {
  std::size_t at = 0;
  require(jsonValue(answer, at) && at == answer.size(), what);
}

// Little-endian values from the input's bytes, from position k on, wrapping round; 0 for an
// empty input.
std::uint64_t bytesAt(const std::uint8_t* data, std::size_t size, std::size_t k,
                      std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count && size > 0; ++i) {
    value |= std::uint64_t{data[(k + i) % size]} << (8 * i);
  }
  return value;
}

struct Inputs {
  const std::uint8_t* data;
  std::size_t size;
  const std::string& report;
  const app::Inspection& inspection;
  const report::ReportMap& map;
  const bitmap::PixelLayout& layout;
};

// The text an item of kind prints for bytes at offset that lie whole in the file; empty for the
// translated colours, which need the table.
std::string itemText(const Inputs& in, report::ItemKind kind, std::uint64_t offset) {
  const auto byte = [&](std::uint64_t k) { return in.data[static_cast<std::size_t>(offset + k)]; };
  char text[16] = {};
  switch (kind) {
    case report::ItemKind::kHex:
      std::snprintf(text, sizeof text, "%02X ", byte(0));
      break;
    case report::ItemKind::kBitPicture:
      for (int bit = 0; bit < 8; ++bit) text[bit] = (byte(0) >> bit & 1) != 0 ? '8' : ' ';
      break;
    case report::ItemKind::kTriple:
      std::snprintf(text, sizeof text, "(%3d.%3d.%3d) ", byte(2), byte(1), byte(0));
      break;
    case report::ItemKind::kTranslated:
      break;
  }
  return text;
}

// An item's place: inside its line, found again from its line and column, past the end exactly
// when its bytes are not all in the file, and printing its bytes where they are.
void checkItem(const Inputs& in, const report::ItemPlace& place) {
  const report::DumpMap& dump = in.map.dumps[place.dump];
  const std::uint32_t chars = report::itemChars(dump.dump.kind);
  const std::uint32_t bytes = report::itemBytes(dump.dump.kind);
  require(place.index < dump.extent.printed, "an item past the dump's printed items");
  require(place.line >= dump.firstLine && place.line <= dump.lastLine, "an item off its dump");
  const std::uint64_t lineStart = report::lineStart(in.map, place.line);
  const std::uint64_t lineEnd = report::lineStart(in.map, place.line + 1);
  require(lineStart + place.column + chars < lineEnd, "an item past its line's end");
  for (const std::uint64_t column : {place.column, place.column + chars - 1}) {
    const report::ReportTarget target = report::targetAt(in.map, place.line, column);
    require(target.kind == report::ReportTarget::Kind::kItem && target.item.dump == place.dump &&
                target.item.index == place.index,
            "an item's line and column lead elsewhere");
  }
  require(place.pastEnd == (place.offset + bytes > in.size), "an item's pastEnd is wrong");
  if (!place.pastEnd) {
    const std::string expected = itemText(in, dump.dump.kind, place.offset);
    require(
        expected.empty() || in.report.compare(static_cast<std::size_t>(lineStart + place.column),
                                              expected.size(), expected) == 0,
        "an item's place does not print its bytes");
  }
}

// Each dump's item for the byte at offset reads that byte, and leads back to it.
void checkByteInDumps(const Inputs& in, std::uint64_t offset) {
  const std::vector<report::ByteInDump> found = report::findByte(in.map, offset);
  require(found.size() == in.map.dumps.size(), "a byte not looked for in every dump");
  for (const report::ByteInDump& byte : found) {
    if (byte.why != report::Unprinted::kPrinted) continue;
    require(byte.place.offset + byte.inItem == offset, "a byte's item reads elsewhere");
    checkItem(in, byte.place);
  }
}

// Where the pixel at x, y starts, worked out apart from the core's arithmetic (plus more bytes);
// false when that passes 2^64 - 1.
bool pixelStart(const bitmap::PixelLayout& layout, std::uint32_t x, std::uint32_t y,
                std::uint64_t more, std::uint64_t& start) {
  const std::uint64_t row = layout.topDown ? y : layout.height - 1 - y;
  return !__builtin_mul_overflow(row, layout.rowBytes, &start) &&
         !__builtin_add_overflow(start, layout.start + std::uint64_t{x} * layout.bits / 8 + more,
                                 &start);
}

// The pixel at x, y: its offset, exact or beyond any file, and each of its bytes leads back to
// it.
void checkPixel(const Inputs& in, std::uint32_t x, std::uint32_t y) {
  requireJson(in.inspection.pixel(x, y), "a pixel's answer is not JSON");
  const bitmap::PixelLayout& layout = in.layout;
  if (!bitmap::hasFixedOffsets(layout)) return;
  const bitmap::PixelBytes pixel = bitmap::pixelBytes(layout, x, y);
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  const bool firstFits = pixelStart(layout, x, y, 0, first);
  require(pixel.row == (layout.topDown ? y : layout.height - 1 - y) &&
              pixel.inRow == std::uint64_t{x} * layout.bits / 8,
          "a pixel's row or place in it is wrong");
  require(pixel.beyondAnyFile == !pixelStart(layout, x, y, pixel.count - 1, last),
          "a pixel beyond any file, or not, wrongly");
  if (pixel.beyondAnyFile) return;
  require(firstFits && pixel.offset == first, "a pixel's offset is wrong");
  const std::uint32_t missing = bitmap::missingBytes(pixel.offset, pixel.count, in.size);
  require(missing <= pixel.count && (missing == pixel.count) == (pixel.offset >= in.size),
          "a pixel's missing bytes are miscounted");
  for (std::uint32_t b = 0; b < pixel.count; ++b) {
    const bitmap::BytePixels back = bitmap::bytePixels(layout, pixel.offset + b);
    require(back.kind == bitmap::BytePixels::Kind::kPixels && back.y == y && back.x <= x &&
                x - back.x < back.count && back.x + back.count <= layout.width,
            "a pixel's byte leads to other pixels");
    require(layout.bits < 8 || back.inPixel == b, "a pixel's byte is another byte of it");
    const app::ByteRole role = app::byteRole(in.map, layout, pixel.offset + b);
    require(role.kind == app::ByteRole::Kind::kPixel || role.kind == app::ByteRole::Kind::kField,
            "a pixel's byte is called something else");
    checkByteInDumps(in, pixel.offset + b);
  }
}

// What the byte at offset is agrees with the layout it comes from.
void checkByte(const Inputs& in, std::uint64_t offset) {
  requireJson(in.inspection.byte(std::to_string(offset)), "a byte's answer is not JSON");
  const bitmap::PixelLayout& layout = in.layout;
  const app::ByteRole role = app::byteRole(in.map, layout, offset);
  const bool inPixels = offset >= layout.start && (offset < layout.end || layout.endBeyondAnyFile);
  switch (role.kind) {
    case app::ByteRole::Kind::kField: {
      const bitmap::FieldLayout& field = bitmap::kFieldLayout[role.field];
      require(offset >= field.offset && offset < field.offset + field.width, "a field elsewhere");
      break;
    }
    case app::ByteRole::Kind::kPixel:
      require(inPixels && bitmap::hasFixedOffsets(layout), "a pixel outside the pixels");
      // Its pixels hold it; at the top of 64 bits, a pixel's later bytes may pass 2^64 - 1.
      for (std::uint32_t x = role.pixels.x; x - role.pixels.x < role.pixels.count; ++x) {
        std::uint64_t first = 0;
        const bitmap::PixelBytes pixel = bitmap::pixelBytes(layout, x, role.pixels.y);
        require(pixelStart(layout, x, role.pixels.y, 0, first) && offset >= first &&
                    offset - first < pixel.count && (pixel.beyondAnyFile || pixel.offset == first),
                "a byte's pixels do not lead back to it");
      }
      break;
    case app::ByteRole::Kind::kPadding:
      require(inPixels && role.pixels.row < layout.height, "padding outside the pixels");
      break;
    case app::ByteRole::Kind::kPixelData:
      require(inPixels && !bitmap::hasFixedOffsets(layout), "pixel data with fixed offsets");
      break;
    case app::ByteRole::Kind::kEntry:
      require(role.entry < in.map.table.count &&
                  offset - bitmap::kColorTableOffset >= 4 * role.entry &&
                  offset - bitmap::kColorTableOffset < 4 * role.entry + 4,
              "an entry elsewhere");
      break;
    case app::ByteRole::Kind::kGap:
      require(offset < layout.start, "a gap after the pixels' start");
      break;
    case app::ByteRole::Kind::kPastPixels:
      require(!inPixels && offset >= layout.start && offset < in.size, "past the pixels wrongly");
      break;
    case app::ByteRole::Kind::kPastFile:
      require(!inPixels && offset >= layout.start && offset >= in.size, "past the file wrongly");
      break;
  }
  checkByteInDumps(in, offset);
}

// What the report prints at line, column leads back there.
void checkPlace(const Inputs& in, std::uint64_t line, std::uint64_t column) {
  requireJson(in.inspection.place(line, column), "a place's answer is not JSON");
  const report::ReportTarget target = report::targetAt(in.map, line, column);
  switch (target.kind) {
    case report::ReportTarget::Kind::kNothing:
      break;
    case report::ReportTarget::Kind::kField:
      require(report::fieldLine(in.map, target.field) == line, "a field on another line");
      break;
    case report::ReportTarget::Kind::kEntry:
      require(target.entry < in.map.table.rows && in.map.tableLine + target.entry == line,
              "an entry on another line");
      break;
    case report::ReportTarget::Kind::kItem: {
      const report::ItemPlace& item = target.item;
      require(item.line == line && column >= item.column &&
                  column < item.column + report::itemChars(in.map.dumps[item.dump].dump.kind),
              "an item elsewhere than where it was found");
      const report::ByteInDump back = report::findByte(in.map, item.offset)[item.dump];
      require(back.why == report::Unprinted::kPrinted && back.place.index == item.index &&
                  back.inItem == 0,
              "an item's byte leads to another item");
      checkItem(in, item);
      break;
    }
  }
}

// Lines start where the map says, in the report, and excerpts hold whole lines, in order.
void checkLines(const Inputs& in, const std::vector<std::uint64_t>& lines, std::uint64_t before,
                std::uint64_t after) {
  const std::string& text = in.report;
  requireJson(in.inspection.excerpts(lines, before, after), "excerpts are not JSON");
  const std::vector<report::LineExcerpt> excerpts =
      report::lineExcerpts(in.map, lines, before, after);
  for (std::size_t i = 0; i < excerpts.size(); ++i) {
    const report::LineExcerpt& excerpt = excerpts[i];
    require(excerpt.from < excerpt.to && excerpt.to <= text.size(), "an excerpt out of the report");
    require(
        excerpt.from == report::lineStart(in.map, excerpt.firstLine) &&
            (excerpt.to == text.size() || text[static_cast<std::size_t>(excerpt.to - 1)] == '\n'),
        "an excerpt of part of a line");
    require(i == 0 || excerpts[i - 1].to < excerpt.from, "excerpts that meet, or out of order");
  }
  // As much as there is, when more is asked for than the report holds.
  require(excerpts.empty() || ((before != UINT64_MAX || excerpts.front().from == 0) &&
                               (after != UINT64_MAX || excerpts.back().to == text.size())),
          "an excerpt that stops short of the report's ends");
  for (const std::uint64_t line : lines) {
    if (line == 0 || line > in.map.lastLine) continue;
    const std::uint64_t start = report::lineStart(in.map, line);
    require(
        start < text.size() && (start == 0 || text[static_cast<std::size_t>(start - 1)] == '\n'),
        "a line's offset is not a line start in the report");
    const std::size_t end = text.find('\n', static_cast<std::size_t>(start));
    require(
        report::lineStart(in.map, line + 1) == (end == std::string::npos ? text.size() : end + 1),
        "a line ends elsewhere than the next starts");
    require(report::lineAt(in.map, start) == line, "a line's offset leads to another line");
    require(
        std::any_of(excerpts.begin(), excerpts.end(),
                    [&](const report::LineExcerpt& e) { return e.from <= start && start < e.to; }),
        "a line left out of its excerpts");
  }
}

}  // namespace

void checkInspector(const std::uint8_t* data, std::size_t size, std::string_view fileName,
                    const std::string& report) {
  const app::Inspection inspection(data, std::min(size, bitmap::kHeadBytes), size, fileName);
  const Inputs in{data, size, report, inspection, inspection.map(), inspection.layout()};
  requireJson(inspection.describe(), "describe is not JSON");
  const std::size_t lineEnds =
      static_cast<std::size_t>(std::count(report.begin(), report.end(), '\n'));
  require(in.map.reportBytes == report.size(), "the report's length is not the map's");
  require(in.map.lastLine == lineEnds + (report.back() == '\n' ? 0 : 1),
          "the report's last line is not the map's");

  // Each dump's first item past the end is the first not whole in the file.
  for (std::size_t d = 0; d < in.map.dumps.size(); ++d) {
    const report::DumpMap& dump = in.map.dumps[d];
    if (dump.pastEnd < dump.extent.printed)
      checkItem(in, report::itemPlace(in.map, d, dump.pastEnd));
    const std::uint64_t wholeItems = std::min(dump.pastEnd, dump.extent.printed);
    if (wholeItems > 0) {
      const report::ItemPlace whole = report::itemPlace(in.map, d, wholeItems - 1);
      require(!whole.pastEnd, "an item before the first past the end is past it");
      checkItem(in, whole);
    }
  }

  // The corners, and pixels the input's bytes choose.
  const bitmap::PixelLayout& layout = in.layout;
  if (layout.width > 0 && layout.height > 0) {
    const std::uint32_t right = layout.width - 1;
    const std::uint32_t bottom = layout.height - 1;
    for (const auto& [x, y] : {std::pair{0u, 0u}, {right, bottom}, {right, 0u}, {0u, bottom}}) {
      checkPixel(in, x, y);
    }
    for (std::size_t k = 0; k < 8; ++k) {
      checkPixel(in, static_cast<std::uint32_t>(bytesAt(data, size, 7 * k, 4) % layout.width),
                 static_cast<std::uint32_t>(bytesAt(data, size, 7 * k + 3, 4) % layout.height));
    }
  }
  require(inspection.pixel(layout.width, 0).find("\"refused\"") != std::string::npos,
          "a pixel past the width is not refused");

  // The edges of each region, and bytes the input's bytes choose: near the file, and anywhere.
  std::vector<std::uint64_t> offsets = {0, 53, 54, layout.start, layout.end, size, size + 1};
  for (std::size_t k = 0; k < 8; ++k) {
    offsets.push_back(bytesAt(data, size, 5 * k, 2) % (size + 64));
    offsets.push_back(layout.start + bytesAt(data, size, 5 * k + 1, 3));
  }
  offsets.push_back(bytesAt(data, size, 3, 8));
  for (const std::uint64_t offset : offsets) {
    checkByte(in, offset);
    if (offset > 0) checkByte(in, offset - 1);
  }

  // Lines of every kind, and lines and columns the input's bytes choose.
  std::vector<std::uint64_t> lines = {1, in.map.headerLine + 2, in.map.tableLine, in.map.lastLine};
  for (const report::DumpMap& dump : in.map.dumps) {
    lines.insert(lines.end(), {dump.firstLine - 1, dump.firstLine, dump.lastLine});
  }
  for (std::size_t k = 0; k < 8; ++k) {
    lines.push_back(1 + bytesAt(data, size, 3 * k, 3) % in.map.lastLine);
  }
  for (std::size_t k = 0; k < lines.size(); ++k) {
    checkPlace(in, lines[k], bytesAt(data, size, k, 1));
    checkPlace(in, lines[k], 1 + 14 * bytesAt(data, size, k + 1, 1));
  }
  checkLines(in, lines, bytesAt(data, size, 11, 2), bytesAt(data, size, 13, 2));
  checkLines(in, {lines.back()}, UINT64_MAX, UINT64_MAX);
}

}  // namespace fuzz
