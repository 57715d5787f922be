// The comparison's text: numbers grouped by thousands, bytes in hex as the file stores them,
// colours as #RRGGBB, and each pixel's source in words.
#include "compare/lines.h"

#include <algorithm>
#include <utility>

#include "decode/rle.h"

namespace compare {

namespace {

using Kind = decode::PixelSource::Kind;

const char kHex[] = "0123456789ABCDEF";

// Bytes as the file stores them, "--" for each the file ends before.
std::string byteList(const std::vector<std::uint8_t>& bytes, std::size_t size) {
  std::string text = "[";
  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) text += ' ';
    if (i < bytes.size()) {
      text += kHex[bytes[i] >> 4];
      text += kHex[bytes[i] & 15];
    } else {
      text += "--";
    }
  }
  return text + "]";
}

// #RRGGBB, or #RRGGBBAA when the colour is not opaque.
std::string colour(const std::array<std::uint8_t, 4>& rgba) {
  std::string text = "#";
  for (std::size_t c = 0; c < (rgba[3] == 255 ? 3u : 4u); ++c) {
    text += kHex[rgba[c] >> 4];
    text += kHex[rgba[c] & 15];
  }
  return text;
}

std::string place(std::uint64_t offset, std::uint64_t size) {
  return grouped(offset) + ", " + grouped(size) + (size == 1 ? " byte" : " bytes");
}

// "(22, 4 bytes)", or both places when they differ.
std::string places(std::uint64_t offsetA, std::uint64_t sizeA, std::uint64_t offsetB,
                   std::uint64_t sizeB) {
  std::string text = "(" + place(offsetA, sizeA);
  if (offsetA != offsetB || sizeA != sizeB) text += " / " + place(offsetB, sizeB);
  return text + ")";
}

std::string fieldLine(const FieldDifference& field) {
  if (!field.a.present || !field.b.present) {
    const FieldSide& side = field.a.present ? field.a : field.b;
    return std::string("only in ") + (field.a.present ? "A: " : "B: ") + side.name + " (" +
           place(side.offset, side.size) + "): " + side.value + " " +
           byteList(side.bytes, side.size);
  }
  std::string name = field.a.name;
  if (field.b.name != name) name += " / " + field.b.name;
  return name + " " + places(field.a.offset, field.a.size, field.b.offset, field.b.size) + ": " +
         field.a.value + " " + byteList(field.a.bytes, field.a.size) + " vs " + field.b.value +
         " " + byteList(field.b.bytes, field.b.size);
}

std::string entrySide(const EntrySide& side) {
  const std::string bytes = byteList(side.bytes, side.size);
  return (side.state == decode::kDefined ? colour(side.rgba) : "missing") + " " + bytes;
}

std::string entryLine(const EntryDifference& entry) {
  return "entry " + grouped(entry.index) + " " +
         places(entry.a.offset, entry.a.size, entry.b.offset, entry.b.size) + ": " +
         entrySide(entry.a) + " vs " + entrySide(entry.b);
}

// Where the value's bytes are: "at 1,078 [07]", with the bits of a byte that holds several.
std::string valueAt(const PixelSide& side) {
  const decode::PixelSource& source = side.source;
  std::string text = "at " + grouped(source.dataOffset);
  if (source.bits > 0) {
    text += " bits " + std::to_string(source.shift) + ".." +
            std::to_string(source.shift + source.bits - 1);
  }
  return text + " " + byteList(side.bytes, source.dataSize);
}

std::string commandAt(const decode::PixelSource& source) {
  return std::string(decode::commandName(source.command)) + " at " + grouped(source.offset);
}

std::string pixelSide(const PixelSide& side, bool rle) {
  const decode::PixelSource& source = side.source;
  const std::string index =
      source.index >= 0 ? " (index " + std::to_string(source.index) + ")" : "";
  const std::string inCommand = rle ? " in the " + commandAt(source) : "";
  switch (source.kind) {
    case Kind::kStored:
    case Kind::kCommand:
      return colour(side.rgba) + index + " " + valueAt(side) + inCommand;
    case Kind::kSkipped:
      return "skipped by the " + commandAt(source) + " " + byteList(side.bytes, side.bytes.size());
    case Kind::kBadIndex:
      return "index " + std::to_string(source.index) + " " + valueAt(side) + inCommand +
             ", past the table";
    case Kind::kMissing:
      if (source.index >= 0) {
        return "missing: index " + std::to_string(source.index) + " " + valueAt(side) + inCommand +
               " names the entry at " + grouped(source.entryOffset) + ", past the end of the file";
      }
      if (rle) return "missing: the file ends its commands at " + grouped(source.offset);
      return "missing: its bytes " + valueAt(side) + " lie past the end of the file";
    case Kind::kNotDecoded:
    case Kind::kOutside:
      break;
  }
  return "not decoded";
}

std::string pixelLine(const PixelDifference& pixel, const Comparison& comparison) {
  const bool rleA = comparison.a.compressed;
  const bool rleB = comparison.b.compressed;
  return "pixel (" + grouped(pixel.x) + ", " + grouped(pixel.y) + "): " + pixelSide(pixel.a, rleA) +
         " vs " + pixelSide(pixel.b, rleB);
}

// "x 10..12" or "x 10".
std::string span(const char* axis, std::uint32_t from, std::uint32_t to) {
  std::string text = std::string(axis) + " " + grouped(from);
  if (to != from) text += ".." + grouped(to);
  return text;
}

std::string storage(const FileFacts& facts) {
  return facts.compressed ? std::string("as ") + decode::encodingName(facts.encoding)
                          : "uncompressed";
}

// The facts of how the pixels are stored, each after a separator.
std::string storageFacts(const Comparison& comparison, const char* separator) {
  std::string text;
  if (comparison.rowsOpposite) text += std::string(separator) + "rows stored in opposite order";
  if (comparison.storageDiffers) {
    text += std::string(separator) + "stored " + storage(comparison.a) + " in A and " +
            storage(comparison.b) + " in B";
  }
  return text;
}

// Lines as they are written, each with what it is about.
struct Writer {
  LinkedLines& out;
  void add(std::string text, LineLink::Kind kind = LineLink::Kind::kNone, std::size_t index = 0) {
    out.text.push_back(std::move(text));
    out.links.push_back({kind, index});
  }
  bool empty() const { return out.text.empty(); }
};

void pixelLines(const Comparison& comparison, Writer& lines) {
  const PixelComparison& pixels = comparison.pixels;
  if (pixels.sameEmbedded) {
    lines.add(std::string("pixels: the same embedded ") +
              decode::encodingName(comparison.a.encoding) + ", " + grouped(pixels.embeddedSize) +
              " bytes");
    return;
  }
  if (!pixels.compared) {
    std::string text = "pixels: not compared: ";
    if (!pixels.problemA.empty()) text += "A: " + pixels.problemA;
    if (!pixels.problemA.empty() && !pixels.problemB.empty()) text += "; ";
    if (!pixels.problemB.empty()) text += "B: " + pixels.problemB;
    lines.add(text);
    return;
  }
  if (pixels.differ == 0) {
    // Pictures of different sizes are not the same picture, though the area compared is.
    lines.add((comparison.sizesDiffer ? "pixels: the same over the area compared ("
                                      : "pixels: same picture (") +
              grouped(pixels.count) + " pixels)" + storageFacts(comparison, ", "));
    return;
  }
  std::string text = "pixels: " + grouped(pixels.differ) + " of " + grouped(pixels.count) +
                     " differ, in " + span("x", pixels.box.left, pixels.box.right) + ", " +
                     span("y", pixels.box.top, pixels.box.bottom);
  if (pixels.stateDiffer > 0)
    text += "; " + grouped(pixels.stateDiffer) + " of them differ in state";
  if (pixels.differ > pixels.stateDiffer) {
    text += "; largest difference";
    const char* const channels[] = {" R ", " G ", " B ", " A "};
    for (std::size_t c = 0; c < 4; ++c) text += channels[c] + std::to_string(pixels.largest[c]);
  }
  lines.add(text + storageFacts(comparison, "; "));
  for (std::size_t i = 0; i < pixels.first.size(); ++i)
    lines.add(pixelLine(pixels.first[i], comparison), LineLink::Kind::kPixel, i);
  if (pixels.differ > pixels.first.size()) {
    lines.add("pixels: " + grouped(pixels.differ - pixels.first.size()) +
              " more differ, not listed");
  }
}

std::string bytesLine(const Comparison& comparison) {
  const std::uint64_t sizeA = comparison.a.size;
  const std::uint64_t sizeB = comparison.b.size;
  if (comparison.identicalBytes) return "bytes: identical, " + grouped(sizeA) + " bytes";
  std::string text = "bytes: " + grouped(sizeA) + " vs " + grouped(sizeB) + "; ";
  if (comparison.firstDifference >= std::min(sizeA, sizeB)) {
    const bool aShorter = sizeA < sizeB;
    return text + (aShorter ? "A" : "B") + " is the first " + grouped(comparison.firstDifference) +
           " bytes of " + (aShorter ? "B" : "A");
  }
  text += "first difference at " + grouped(comparison.firstDifference) + ", ";
  if (comparison.firstRegionA == comparison.firstRegionB)
    return text + comparison.firstRegionA + " in both";
  return text + comparison.firstRegionA + " in A, " + comparison.firstRegionB + " in B";
}

const char* verdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kIdentical:
      return "verdict: identical bytes";
    case Verdict::kSamePicture:
      return "verdict: same picture, different bytes";
    case Verdict::kDifferent:
      break;
  }
  return "verdict: different pictures";
}

}  // namespace

std::string grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

std::vector<std::string> comparisonLines(const Comparison& comparison) {
  return comparisonLinkedLines(comparison).text;
}

LinkedLines comparisonLinkedLines(const Comparison& comparison) {
  LinkedLines linked;
  Writer lines{linked};
  for (const auto* facts : {&comparison.a, &comparison.b}) {
    if (!facts->bitmap) {
      lines.add(std::string(facts == &comparison.a ? "A" : "B") +
                ": not a BMP file: it does not start with BM");
    }
  }
  if (!lines.empty()) {
    lines.add(verdictText(comparison.verdict));
    return linked;
  }
  const PixelComparison& pixels = comparison.pixels;
  if (comparison.sizesDiffer) {
    lines.add("size: " + grouped(comparison.a.width) + " x " + grouped(comparison.a.height) +
              " vs " + grouped(comparison.b.width) + " x " + grouped(comparison.b.height) +
              (pixels.compared ? "; pixels compared over " + grouped(pixels.width) + " x " +
                                     grouped(pixels.height)
                               : ""));
  }
  lines.add(bytesLine(comparison));
  if (!comparison.identicalBytes) {
    for (std::size_t i = 0; i < comparison.fields.size(); ++i)
      lines.add(fieldLine(comparison.fields[i]), LineLink::Kind::kField, i);
    for (std::size_t i = 0; i < comparison.entries.size(); ++i)
      lines.add(entryLine(comparison.entries[i]), LineLink::Kind::kEntry, i);
    if (comparison.entriesDiffer > comparison.entries.size()) {
      lines.add("entries: " + grouped(comparison.entriesDiffer - comparison.entries.size()) +
                " more differ, not listed");
    }
    const EntriesOnlyInOne& only = comparison.entriesOnly;
    if (only.any) {
      lines.add((only.first == only.last
                     ? "entry " + grouped(only.first)
                     : "entries " + grouped(only.first) + ".." + grouped(only.last)) +
                " only in " + (only.inA ? "A" : "B"));
    }
    pixelLines(comparison, lines);
  }
  lines.add(verdictText(comparison.verdict));
  return linked;
}

}  // namespace compare
