// The map: each structure's extent, what is left of it where an earlier one wins, and the
// regions inside each piece, walked in file order.
#include "decode/map.h"

#include <algorithm>
#include <array>

namespace decode {

namespace {

enum Structure : std::uint8_t {
  kFileHeader,
  kInfoHeader,
  kMasks,
  kTable,
  kPixels,
  kProfileBytes,
  kStructures
};

const char* structureName(Structure s, const Format& format) {
  static const char* const kNames[] = {"file header", "info header", "masks", "colour table",
                                       "pixel data"};
  if (s == kProfileBytes) return format.profileLinked ? "linked profile name" : "ICC profile";
  return kNames[s];
}

struct Extent {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

// A part of a structure that no earlier structure claims.
struct Piece {
  Structure structure;
  Extent extent;
};

std::string decimal(std::uint64_t value) { return std::to_string(value); }

class MapWalk {
 public:
  MapWalk(Decoder& decoder, std::uint64_t from, const std::function<bool(const Region&)>& visit)
      : decoder_(decoder), format_(decoder.format()), from_(from), visit_(visit) {}

  void run() {
    measure();
    std::vector<Piece> pieces = visiblePieces();
    std::uint64_t at = 0;
    for (const Piece& piece : pieces) {
      if (at < piece.extent.begin && !gap(at, piece.extent.begin)) return;
      if (piece.extent.end > from_ && !walkPiece(piece)) return;
      at = piece.extent.end;
    }
    if (at < format_.fileSize) gap(at, format_.fileSize);
  }

 private:
  // Each structure's bytes as the headers state them, cut at the end of the file.
  void measure() {
    const std::uint64_t size = format_.fileSize;
    const auto clip = [size](std::uint64_t begin, std::uint64_t length) {
      const std::uint64_t b = std::min(begin, size);
      return Extent{b, length > size - b ? size : b + length};
    };
    if (!format_.bitmap) {
      extents_[kFileHeader] = clip(0, 2);
      return;
    }
    extents_[kFileHeader] = clip(0, bitmap::kFileHeaderSize);
    extents_[kInfoHeader] =
        clip(bitmap::kFileHeaderSize, std::max<std::uint64_t>(4, format_.headerSize));
    extents_[kMasks] = clip(format_.masksOffset, format_.masksSize);
    if (format_.kind != HeaderKind::kNone)
      extents_[kTable] = clip(format_.tableOffset, format_.tableEntries * format_.entrySize);
    const bitmap::PixelLayout& layout = format_.layout;
    std::uint64_t pixelEnd = layout.end;
    if (decoder_.isRle()) pixelEnd = decoder_.rleIndex().end;
    if (format_.kind != HeaderKind::kNone)
      extents_[kPixels] = clip(layout.start, pixelEnd > layout.start ? pixelEnd - layout.start : 0);
    extents_[kProfileBytes] = clip(format_.profileOffset, format_.profileSize);
  }

  std::vector<Piece> visiblePieces() {
    std::vector<Piece> pieces;
    for (std::size_t s = 0; s < kStructures; ++s) {
      std::vector<Extent> left = {extents_[s]};
      for (std::size_t earlier = 0; earlier < s; ++earlier) {
        const Extent taken = extents_[earlier];
        std::vector<Extent> next;
        for (const Extent& e : left) {
          if (taken.end <= e.begin || taken.begin >= e.end || taken.begin == taken.end) {
            next.push_back(e);
            continue;
          }
          if (e.begin < taken.begin) next.push_back({e.begin, taken.begin});
          if (taken.end < e.end) next.push_back({taken.end, e.end});
          overlaps_.push_back({std::max(e.begin, taken.begin), std::min(e.end, taken.end),
                               static_cast<Structure>(earlier), static_cast<Structure>(s)});
        }
        left = std::move(next);
      }
      for (const Extent& e : left) {
        if (e.begin < e.end) pieces.push_back({static_cast<Structure>(s), e});
      }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.extent.begin < b.extent.begin; });
    return pieces;
  }

  // The notes on a region of structure own: overlaps it wins within [begin, end), where it
  // shows, and those it loses within [fullBegin, fullEnd), its whole extent.
  std::string overlapNote(std::uint64_t begin, std::uint64_t end, std::uint64_t fullBegin,
                          std::uint64_t fullEnd, Structure own) const {
    std::string note;
    for (const Overlap& o : overlaps_) {
      const bool wins = o.winner == own && o.begin < end && begin < o.end;
      const bool loses = o.loser == own && o.begin < fullEnd && fullBegin < o.end;
      if (!wins && !loses) continue;
      if (!note.empty()) note += "; ";
      const std::string span = "bytes " + decimal(o.begin) + " to " + decimal(o.end - 1);
      if (o.winner == own) {
        note += span + " are also claimed by the " + structureName(o.loser, format_) + "; the " +
                structureName(own, format_) + " wins";
      } else {
        note += std::string("overlaps the ") + structureName(o.winner, format_) + ", which wins " +
                span;
      }
    }
    return note;
  }

  // Sends a region, cut to the piece it lies in; false when the walk is to stop.
  bool emit(Region region, const Piece& piece) {
    const std::uint64_t begin = std::max(region.offset, piece.extent.begin);
    const std::uint64_t end = std::min(region.offset + region.size, piece.extent.end);
    if (begin >= end || end <= from_) return true;
    std::string note =
        overlapNote(begin, end, region.offset, region.offset + region.size, piece.structure);
    if (region.offset + region.size > format_.fileSize) {
      if (!note.empty()) note += "; ";
      note += "cut by the end of the file";
    }
    if (!note.empty()) region.note = region.note.empty() ? note : region.note + "; " + note;
    region.offset = begin;
    region.size = end - begin;
    return visit_(region);
  }

  // Bytes no structure claims, named by where they lie: split where the pixels start.
  bool gap(std::uint64_t begin, std::uint64_t end) {
    const std::uint64_t start = format_.layout.start;
    if (begin < start && start < end) return gap(begin, start) && gap(start, end);
    if (end <= from_) return true;
    Region region;
    region.offset = begin;
    region.size = end - begin;
    const Extent pixels = extents_[kPixels];
    if (!format_.bitmap) {
      region.kind = RegionKind::kUnread;
      region.name = "not read: the file does not start with BM";
    } else if (begin >= start && (pixels.begin == pixels.end || begin >= pixels.end)) {
      region.kind = RegionKind::kPastPixels;
      region.name = "bytes past the pixels";
    } else if (end <= start) {
      region.kind = RegionKind::kGap;
      region.name = "gap before the pixels";
    } else {
      region.kind = RegionKind::kGap;
      region.name = "unused bytes";
    }
    return visit_(region);
  }

  bool walkPiece(const Piece& piece) {
    switch (piece.structure) {
      case kFileHeader:
      case kInfoHeader:
      case kMasks:
        return fields(piece);
      case kTable:
        return table(piece);
      case kPixels:
        return pixels(piece);
      case kProfileBytes: {
        Region region;
        region.offset = format_.profileOffset;
        region.size = format_.profileSize;
        region.kind = format_.profileLinked ? RegionKind::kProfileName : RegionKind::kProfile;
        region.name = structureName(kProfileBytes, format_);
        return emit(region, piece);
      }
      default:
        return true;
    }
  }

  bool fields(const Piece& piece) {
    const RegionKind kind = piece.structure == kFileHeader   ? RegionKind::kFileHeaderField
                            : piece.structure == kInfoHeader ? RegionKind::kInfoHeaderField
                                                             : RegionKind::kMask;
    const Extent whole = extents_[piece.structure];
    for (const Field& field : format_.fields) {
      if (field.offset < whole.begin || field.offset >= whole.end) continue;
      if (field.offset + field.size <= from_) continue;
      Region region;
      region.offset = field.offset;
      region.size = field.size;
      region.kind = kind;
      region.name = field.name;
      if (!emit(region, piece)) return false;
    }
    if (piece.structure != kInfoHeader) return true;
    Region extra;
    extra.offset = bitmap::kFileHeaderSize + std::uint64_t{format_.fieldsSize};
    extra.size = std::max<std::uint64_t>(4, format_.headerSize) - format_.fieldsSize;
    extra.kind = RegionKind::kHeaderExtra;
    extra.name = "header bytes past its named fields";
    return extra.size == 0 || emit(extra, piece);
  }

  bool table(const Piece& piece) {
    const std::uint64_t entry = format_.entrySize;
    const bool indexes = format_.encoding == Encoding::kIndexed ||
                         format_.encoding == Encoding::kRle8 || format_.encoding == Encoding::kRle4;
    const std::uint64_t reach = std::uint64_t{1} << std::min<std::uint16_t>(format_.bitCount, 32);
    std::uint64_t i = (std::max(piece.extent.begin, from_) - format_.tableOffset) / entry;
    for (;; ++i) {
      Region region;
      region.offset = format_.tableOffset + i * entry;
      if (region.offset >= piece.extent.end) return true;
      region.size = entry;
      region.kind = RegionKind::kColourEntry;
      region.name = "entry " + decimal(i);
      if (!indexes) {
        region.note = "not used: the pixels are not indices";
      } else if (i >= reach) {
        region.note = "beyond what a " + decimal(format_.bitCount) + "-bit index reaches";
      }
      if (!emit(region, piece)) return false;
    }
  }

  bool pixels(const Piece& piece) {
    const bitmap::PixelLayout& layout = format_.layout;
    Region region;
    region.offset = layout.start;
    region.size = piece.extent.end - layout.start;
    region.name = "pixel data";
    switch (format_.encoding) {
      case Encoding::kIndexed:
      case Encoding::kMasked:
      case Encoding::kBgr:
      case Encoding::kBgra64:
        return rows(piece);
      case Encoding::kRle8:
      case Encoding::kRle4:
      case Encoding::kRle24:
        return commands(piece);
      case Encoding::kJpeg:
        region.kind = RegionKind::kEmbeddedJpeg;
        region.name = "embedded JPEG";
        break;
      case Encoding::kPng:
        region.kind = RegionKind::kEmbeddedPng;
        region.name = "embedded PNG";
        break;
      default:
        region.kind = RegionKind::kPixelData;
        region.note = "not decoded: " + format_.problem;
        break;
    }
    return emit(region, piece);
  }

  bool rows(const Piece& piece) {
    const bitmap::PixelLayout& layout = format_.layout;
    const std::uint64_t dataBytes = (std::uint64_t{layout.width} * layout.bits + 7) / 8;
    if (layout.rowBytes == 0) return true;
    std::uint64_t row = (std::max(piece.extent.begin, from_) - layout.start) / layout.rowBytes;
    for (;; ++row) {
      const std::uint64_t start = layout.start + row * layout.rowBytes;
      if (start >= piece.extent.end || row >= layout.height) return true;
      const auto y = static_cast<std::uint32_t>(layout.topDown ? row : layout.height - 1 - row);
      Region data;
      data.offset = start;
      data.size = dataBytes;
      data.kind = RegionKind::kPixelRow;
      data.name = "row " + decimal(y);
      data.y = y;
      data.pixels = layout.width;
      if (!emit(data, piece)) return false;
      Region padding;
      padding.offset = start + dataBytes;
      padding.size = layout.rowBytes - dataBytes;
      padding.kind = RegionKind::kRowPadding;
      padding.name = "padding of row " + decimal(y);
      if (padding.size > 0 && !emit(padding, piece)) return false;
    }
  }

  bool commands(const Piece& piece) {
    const RleIndex& index = decoder_.rleIndex();
    const std::uint64_t target = std::max(piece.extent.begin, from_);
    // The last checkpoint at or before the first byte wanted.
    const auto after = std::upper_bound(
        index.checkpoints.begin(), index.checkpoints.end(), target,
        [](std::uint64_t offset, const Cursor& point) { return offset < point.offset; });
    const Cursor start =
        after == index.checkpoints.begin() ? index.checkpoints.front() : *(after - 1);
    const std::uint64_t w = format_.layout.width;
    const std::uint64_t h = format_.layout.height;
    bool go = true;
    bool cut = false;
    walkCommands(decoder_.reader(), format_.encoding, start, &cut,
                 [&](const Command& command, const Cursor& before, const Cursor&) {
                   if (command.offset >= piece.extent.end) return false;
                   Region region;
                   region.offset = command.offset;
                   region.size = command.size;
                   region.name = commandName(command.kind);
                   switch (command.kind) {
                     case CommandKind::kEncoded:
                       region.kind = RegionKind::kEncodedRun;
                       break;
                     case CommandKind::kAbsolute:
                       region.kind = RegionKind::kAbsoluteRun;
                       if (command.count < command.stated)
                         region.note = "states " + decimal(command.stated) +
                                       " pixels; the end of the file cuts it after " +
                                       decimal(command.count);
                       break;
                     case CommandKind::kEndOfLine:
                       region.kind = RegionKind::kEndOfLine;
                       break;
                     case CommandKind::kEndOfBitmap:
                       region.kind = RegionKind::kEndOfBitmap;
                       break;
                     case CommandKind::kDelta:
                       region.kind = RegionKind::kDelta;
                       region.name += " " + decimal(command.dx) + ", " + decimal(command.dy);
                       break;
                     case CommandKind::kCut:
                       region.kind = RegionKind::kCutCommand;
                       break;
                   }
                   if (command.count > 0) {
                     region.name += " of " + decimal(command.count);
                     if (before.row < h && before.x < w) {
                       region.x = static_cast<std::uint32_t>(before.x);
                       region.y = static_cast<std::uint32_t>(
                           format_.layout.topDown ? before.row : h - 1 - before.row);
                       region.pixels = std::min<std::uint64_t>(command.count, w - before.x);
                       if (region.pixels < command.count)
                         region.note =
                             "runs past the row: " + decimal(command.count - region.pixels) +
                             " pixels dropped";
                     } else {
                       region.note = "outside the picture: sets no pixel";
                     }
                   }
                   if (command.offset + command.size > from_ && !emit(region, piece)) {
                     go = false;
                     return false;
                   }
                   if (command.pad == 0) return true;
                   Region pad;
                   pad.offset = command.offset + command.size;
                   pad.size = 1;
                   pad.kind = RegionKind::kRunPad;
                   pad.name = "pad byte of the absolute run";
                   if (!emit(pad, piece)) {
                     go = false;
                     return false;
                   }
                   return true;
                 });
    return go;
  }

  struct Overlap {
    std::uint64_t begin;
    std::uint64_t end;
    Structure winner;
    Structure loser;
  };

  Decoder& decoder_;
  const Format& format_;
  std::uint64_t from_;
  const std::function<bool(const Region&)>& visit_;
  std::array<Extent, kStructures> extents_{};
  std::vector<Overlap> overlaps_;
};

}  // namespace

const char* regionKindName(RegionKind kind) {
  static const char* const kNames[] = {
      "file-header", "info-header", "header-extra",  "mask",        "colour-entry",
      "gap",         "pixel-row",   "row-padding",   "encoded-run", "absolute-run",
      "run-pad",     "end-of-line", "end-of-bitmap", "delta",       "cut-command",
      "pixel-data",  "jpeg",        "png",           "icc-profile", "profile-name",
      "past-pixels", "unread"};
  return kNames[static_cast<std::size_t>(kind)];
}

void walkMap(Decoder& decoder, std::uint64_t from,
             const std::function<bool(const Region&)>& visit) {
  MapWalk(decoder, from, visit).run();
}

Region regionAt(Decoder& decoder, std::uint64_t offset) {
  Region found;
  found.offset = offset;
  found.kind = RegionKind::kPastPixels;
  if (offset >= decoder.format().fileSize) return found;
  walkMap(decoder, offset, [&](const Region& region) {
    found = region;
    return false;
  });
  return found;
}

std::vector<Region> mapRegions(Decoder& decoder, std::size_t maxRegions) {
  std::vector<Region> regions;
  walkMap(decoder, 0, [&](const Region& region) {
    regions.push_back(region);
    return regions.size() < maxRegions;
  });
  return regions;
}

}  // namespace decode
