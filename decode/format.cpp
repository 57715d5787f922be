// The headers read field by field: each header kind's fields, their values and notes, and
// what they imply for the masks, the colour table, the pixels and the profile.
#include "decode/format.h"

#include <algorithm>
#include <string_view>

#include "bitmap/records.h"

namespace decode {

namespace {

// How a field's stored bytes read.
enum class Reading : std::uint8_t {
  kUnsigned,
  kSigned,
  kHex,
  kText,
  kFourcc,
  kFix2Dot30,
  kFix16Dot16
};

struct FieldSpec {
  std::string name;
  std::uint32_t size;
  Reading reading;
};

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;
// OS/2 2.x gives codes 3 and 4 other meanings.
constexpr std::uint32_t kOs2Huffman1D = 3;
constexpr std::uint32_t kOs2Rle24 = 4;

constexpr std::uint32_t kCoreSize = 12;
constexpr std::uint32_t kInfoSize = 40;
constexpr std::uint32_t kOs2MaxSize = 64;
constexpr std::uint32_t kV4Size = 108;
constexpr std::uint32_t kV5Size = 124;

// Colour-space tags, as the four characters read from the high byte down.
constexpr std::uint32_t kLcsSrgb = 0x73524742;          // 'sRGB'
constexpr std::uint32_t kLcsWindows = 0x57696E20;       // 'Win '
constexpr std::uint32_t kProfileLinked = 0x4C494E4B;    // 'LINK'
constexpr std::uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'

// The kind of header a size names; sizes the format does not define read as the largest
// Windows header they hold.
HeaderKind kindOfSize(std::uint32_t size) {
  if (size == kCoreSize) return HeaderKind::kCore;
  if (size == kInfoSize) return HeaderKind::kInfo;
  if (size == 52) return HeaderKind::kInfo52;
  if (size == 56) return HeaderKind::kInfo56;
  if (size >= 16 && size <= kOs2MaxSize) return HeaderKind::kOs2;
  if (size >= kV5Size) return HeaderKind::kV5;
  if (size >= kV4Size) return HeaderKind::kV4;
  if (size > kOs2MaxSize) return HeaderKind::kInfo56;
  return HeaderKind::kNone;
}

bool definedSize(std::uint32_t size) {
  return size == kCoreSize || size == kInfoSize || size == 52 || size == 56 || size == kV4Size ||
         size == kV5Size || (size >= 16 && size <= kOs2MaxSize);
}

// The fields of the BITMAPFILEHEADER and of the first 40 bytes of the Windows headers come
// from the report's own layout table; the versions rename the latter.
std::string infoName(const char* layoutName, HeaderKind kind) {
  const std::string_view suffix = std::string_view(layoutName).substr(2);  // after "bi"
  if (kind == HeaderKind::kV4 || kind == HeaderKind::kV5) {
    const std::string prefix = kind == HeaderKind::kV4 ? "bV4" : "bV5";
    // BITMAPV4HEADER names its compression bV4V4Compression.
    if (kind == HeaderKind::kV4 && suffix == "Compression") return "bV4V4Compression";
    return prefix + std::string(suffix);
  }
  return {layoutName};
}

// The OS/2 headers' names for the fields of the first 40 bytes, in the layout table's order.
constexpr const char* kCoreNames[] = {"bcSize", "bcWidth", "bcHeight", "bcPlanes", "bcBitCount"};
constexpr const char* kOs2Names[] = {
    "cbFix",   "cx",           "cy",           "cPlanes",  "cBitCount",    "ulCompression",
    "cbImage", "cxResolution", "cyResolution", "cclrUsed", "cclrImportant"};

constexpr Reading kInfoReadings[] = {Reading::kUnsigned, Reading::kSigned,   Reading::kSigned,
                                     Reading::kUnsigned, Reading::kUnsigned, Reading::kUnsigned,
                                     Reading::kUnsigned, Reading::kSigned,   Reading::kSigned,
                                     Reading::kUnsigned, Reading::kUnsigned};
constexpr std::size_t kFirstInfoField = 5;  // biSize's place in bitmap::kFieldLayout

std::vector<FieldSpec> headerSpecs(HeaderKind kind) {
  std::vector<FieldSpec> specs;
  if (kind == HeaderKind::kCore) {
    return {{kCoreNames[0], 4, Reading::kUnsigned},
            {kCoreNames[1], 2, Reading::kUnsigned},
            {kCoreNames[2], 2, Reading::kUnsigned},
            {kCoreNames[3], 2, Reading::kUnsigned},
            {kCoreNames[4], 2, Reading::kUnsigned}};
  }
  for (std::size_t i = kFirstInfoField; i < bitmap::kFieldLayout.size(); ++i) {
    const bitmap::FieldLayout& layout = bitmap::kFieldLayout[i];
    const std::size_t n = i - kFirstInfoField;
    specs.push_back({kind == HeaderKind::kOs2 ? kOs2Names[n] : infoName(layout.name, kind),
                     layout.width, kInfoReadings[n]});
  }
  if (kind == HeaderKind::kOs2) {
    specs.insert(specs.end(), {{"usUnits", 2, Reading::kUnsigned},
                               {"usReserved", 2, Reading::kUnsigned},
                               {"usRecording", 2, Reading::kUnsigned},
                               {"usRendering", 2, Reading::kUnsigned},
                               {"cSize1", 4, Reading::kUnsigned},
                               {"cSize2", 4, Reading::kUnsigned},
                               {"ulColorEncoding", 4, Reading::kUnsigned},
                               {"ulIdentifier", 4, Reading::kUnsigned}});
    return specs;
  }
  if (kind == HeaderKind::kInfo) return specs;
  const std::string prefix = kind == HeaderKind::kV4   ? "bV4"
                             : kind == HeaderKind::kV5 ? "bV5"
                                                       : "bi";
  for (const char* mask : {"RedMask", "GreenMask", "BlueMask", "AlphaMask"}) {
    if (kind == HeaderKind::kInfo52 && std::string_view(mask) == "AlphaMask") break;
    specs.push_back({prefix + mask, 4, Reading::kHex});
  }
  if (kind == HeaderKind::kInfo52 || kind == HeaderKind::kInfo56) return specs;
  specs.push_back({prefix + "CSType", 4, Reading::kFourcc});
  for (const char* colour : {"Red", "Green", "Blue"}) {
    for (const char* axis : {"X", "Y", "Z"}) {
      specs.push_back(
          {prefix + "Endpoints.ciexyz" + colour + ".ciexyz" + axis, 4, Reading::kFix2Dot30});
    }
  }
  for (const char* colour : {"Red", "Green", "Blue"})
    specs.push_back({prefix + "Gamma" + colour, 4, Reading::kFix16Dot16});
  if (kind == HeaderKind::kV4) return specs;
  specs.insert(specs.end(), {{"bV5Intent", 4, Reading::kUnsigned},
                             {"bV5ProfileData", 4, Reading::kUnsigned},
                             {"bV5ProfileSize", 4, Reading::kUnsigned},
                             {"bV5Reserved", 4, Reading::kUnsigned}});
  return specs;
}

std::uint64_t loadLittle(const std::uint8_t* p, std::uint32_t size) {
  std::uint64_t value = 0;
  for (std::uint32_t i = size; i-- > 0;) value = value << 8 | p[i];
  return value;
}

// A fixed-point number as decimal text: the whole part, then up to maxDigits decimals, cut
// (not rounded) and without trailing zeros.
std::string fixedPoint(std::uint64_t magnitude, unsigned fractionBits, int maxDigits,
                       bool negative) {
  const std::uint64_t one = std::uint64_t{1} << fractionBits;
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude >> fractionBits);
  std::uint64_t fraction = magnitude & (one - 1);
  text += '.';
  int digits = 0;
  do {
    fraction *= 10;
    text += static_cast<char>('0' + (fraction >> fractionBits));
    fraction &= one - 1;
  } while (fraction != 0 && ++digits < maxDigits);
  return text;
}

std::string hexText(std::uint64_t value, std::uint32_t bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (std::uint32_t i = bytes * 2; i-- > 0;) text += kDigits[value >> (4 * i) & 15];
  return text;
}

bool printable(std::uint8_t c) { return c >= 0x20 && c < 0x7F; }

std::string valueText(std::uint64_t stored, std::uint32_t size, Reading reading) {
  switch (reading) {
    case Reading::kUnsigned:
      return std::to_string(stored);
    case Reading::kSigned: {
      // Signed fields are 2 or 4 bytes.
      const std::uint64_t sign = std::uint64_t{1}
                                 << (8 * std::clamp<std::uint32_t>(size, 1, 8) - 1);
      return std::to_string(static_cast<std::int64_t>(stored ^ sign) -
                            static_cast<std::int64_t>(sign));
    }
    case Reading::kHex:
      return hexText(stored, size);
    case Reading::kText:
    case Reading::kFourcc: {
      // bfType reads in file order; a colour-space tag from its high byte down.
      std::string text;
      for (std::uint32_t i = 0; i < size; ++i) {
        const auto c = static_cast<std::uint8_t>(
            stored >> (8 * (reading == Reading::kText ? i : size - 1 - i)));
        if (!printable(c)) return hexText(stored, size);
        text += static_cast<char>(c);
      }
      return text;
    }
    case Reading::kFix2Dot30: {
      const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(stored));
      const auto bits = static_cast<std::uint32_t>(value);
      const std::uint32_t magnitude = value < 0 ? 0u - bits : bits;
      return fixedPoint(magnitude, 30, 10, value < 0);
    }
    case Reading::kFix16Dot16:
      return fixedPoint(stored, 16, 16, false);
  }
  return {};
}

std::string colourSpaceName(std::uint32_t tag) {
  switch (tag) {
    case 0:
      return "LCS_CALIBRATED_RGB: the endpoints and gamma below";
    case kLcsSrgb:
      return "LCS_sRGB";
    case kLcsWindows:
      return "LCS_WINDOWS_COLOR_SPACE";
    case kProfileLinked:
      return "PROFILE_LINKED: a profile's file name";
    case kProfileEmbedded:
      return "PROFILE_EMBEDDED: an ICC profile in the file";
    default:
      return "a colour space the format does not define";
  }
}

std::string intentName(std::uint64_t intent) {
  switch (intent) {
    case 1:
      return "LCS_GM_BUSINESS";
    case 2:
      return "LCS_GM_GRAPHICS";
    case 4:
      return "LCS_GM_IMAGES";
    case 8:
      return "LCS_GM_ABS_COLORIMETRIC";
    default:
      return "an intent the format does not define";
  }
}

std::string maskNote(std::uint32_t mask) {
  if (mask == 0) return "no bits";
  unsigned shift = 0;
  while ((mask >> shift & 1) == 0) ++shift;
  unsigned width = 0;
  while (shift + width < 32 && (mask >> (shift + width) & 1) != 0) ++width;
  std::string note = std::to_string(width) + (width == 1 ? " bit" : " bits") + " from bit " +
                     std::to_string(shift);
  // Checked before shifting: a mask that reaches bit 31 must not be shifted by 32.
  if (shift + width < 32 && mask >> (shift + width) != 0) note += ", not contiguous";
  return note;
}

// The notes a field's value earns; the caller adds those of where it lies.
std::string fieldNote(const Field& field, const Format& format) {
  const std::string_view name = field.name;
  const auto ends = [&](std::string_view tail) {
    return name.size() >= tail.size() && name.substr(name.size() - tail.size()) == tail;
  };
  if (name == "bfType")
    return format.bitmap ? "a BMP file" : "not BM: the file is not read further";
  if (name == "bfSize") {
    if (field.stored == format.fileSize) return "the file's length";
    return "the file is " + std::to_string(format.fileSize) + " bytes";
  }
  if (name == "bfOffBits") {
    return field.stored >= format.fileSize ? "where the pixels start: past the end of the file"
                                           : "where the pixels start";
  }
  if (ends("Size") && field.offset == bitmap::kFileHeaderSize) {
    std::string note = headerName(format.kind);
    if (format.kind != HeaderKind::kNone && !definedSize(format.headerSize))
      note += ": a size the format does not define, read as this header";
    return note;
  }
  if (ends("Width") || name == "cx") {
    return field.value[0] == '-' ? "negative: a width the format does not allow" : "pixels";
  }
  if (ends("Height") || name == "cy") {
    if (format.kind == HeaderKind::kCore) return "rows, stored bottom-up";
    return field.value[0] == '-' ? "rows, stored top-down" : "rows, stored bottom-up";
  }
  if (ends("Planes")) return field.stored == 1 ? "" : "the format requires 1";
  if (ends("BitCount")) return std::to_string(field.stored) + " bits a pixel";
  if (ends("Compression")) return compressionName(format.compression, format.kind);
  if (ends("ClrUsed") || name == "cclrUsed") {
    return field.stored == 0 ? "0: the depth's full table" : "table entries";
  }
  if (ends("Mask")) return maskNote(static_cast<std::uint32_t>(field.stored));
  if (ends("CSType")) return colourSpaceName(static_cast<std::uint32_t>(field.stored));
  if (name == "bV5Intent") return intentName(field.stored);
  if (name == "bV5ProfileData") return "from the start of the info header";
  return {};
}

// Reads specs from offset on, as far as limit, into the format's fields; each field the file
// does not hold reads as zero.
std::uint64_t addFields(BlockReader& reader, const std::vector<FieldSpec>& specs,
                        std::uint64_t offset, std::uint64_t limit, Format& format) {
  for (const FieldSpec& spec : specs) {
    if (offset + spec.size > limit) break;
    std::uint8_t bytes[8] = {};
    const std::size_t got = reader.copy(offset, bytes, spec.size);
    Field field;
    field.name = spec.name;
    field.offset = offset;
    field.size = spec.size;
    field.stored = loadLittle(bytes, spec.size);
    field.value = valueText(field.stored, spec.size, spec.reading);
    if (got < spec.size) {
      field.note = got == 0 ? "past the end of the file: read as 0"
                            : "cut by the end of the file: the missing bytes read as 0";
    }
    format.fields.push_back(std::move(field));
    offset += spec.size;
  }
  return offset;
}

const Field* findField(const Format& format, std::string_view name) {
  for (const Field& field : format.fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

// The stored value of the field at offset in the file; 0 when there is none.
std::uint64_t storedAt(const Format& format, std::uint64_t offset) {
  for (const Field& field : format.fields) {
    if (field.offset == offset) return field.stored;
  }
  return 0;
}

// The same for an offset within the info header.
std::uint64_t headerValue(const Format& format, std::uint32_t offset) {
  return storedAt(format, bitmap::kFileHeaderSize + offset);
}

void chooseEncoding(Format& format) {
  const std::uint32_t code = format.compression;
  const std::uint16_t bits = format.bitCount;
  const bool os2 = format.kind == HeaderKind::kOs2 || format.kind == HeaderKind::kCore;
  const auto fail = [&](std::string why) {
    format.encoding = Encoding::kNone;
    format.problem = std::move(why);
  };
  if (format.storedWidth < 0) return fail("a negative width");
  switch (code) {
    case kBiRgb:
      if (bits == 1 || bits == 2 || bits == 4 || bits == 8) {
        format.encoding = Encoding::kIndexed;
      } else if (bits == 16 || bits == 32) {
        format.encoding = Encoding::kMasked;
      } else if (bits == 24) {
        format.encoding = Encoding::kBgr;
      } else if (bits == 64) {
        format.encoding = Encoding::kBgra64;
      } else {
        fail(std::to_string(bits) + " bits a pixel, a depth the format does not define");
      }
      return;
    case kBiRle8:
      if (bits != 8) return fail("BI_RLE8 with " + std::to_string(bits) + " bits a pixel");
      format.encoding = Encoding::kRle8;
      return;
    case kBiRle4:
      if (bits != 4) return fail("BI_RLE4 with " + std::to_string(bits) + " bits a pixel");
      format.encoding = Encoding::kRle4;
      return;
    default:
      break;
  }
  if (os2 && code == kOs2Huffman1D) {
    format.encoding = Encoding::kHuffman;
    format.problem = "OS/2 modified Huffman is named, not decoded";
    return;
  }
  if (os2 && code == kOs2Rle24) {
    if (bits != 24) return fail("OS/2 RLE24 with " + std::to_string(bits) + " bits a pixel");
    format.encoding = Encoding::kRle24;
    return;
  }
  if (!os2 && (code == kBiBitfields || code == kBiAlphaBitfields)) {
    if (bits != 16 && bits != 24 && bits != 32)
      return fail("bit fields with " + std::to_string(bits) + " bits a pixel");
    format.encoding = Encoding::kMasked;
    return;
  }
  if (!os2 && code == kBiJpeg) {
    format.encoding = Encoding::kJpeg;
    format.problem = "an embedded JPEG is named, not decoded";
    return;
  }
  if (!os2 && code == kBiPng) {
    format.encoding = Encoding::kPng;
    format.problem = "an embedded PNG is named, not decoded";
    return;
  }
  fail(compressionName(code, format.kind) + ", which is not decoded");
}

// The masks: stored after a 40-byte header for BI_BITFIELDS (12 bytes) and BI_ALPHABITFIELDS
// (16), inside the longer headers, and the format's defaults for BI_RGB.
void readMasks(BlockReader& reader, Format& format) {
  if (format.encoding != Encoding::kMasked) return;
  if (format.compression == kBiRgb) {
    // 16 bits: 5-5-5 with the top bit unused; 32 bits: 8-8-8 with the top byte unused, so
    // never alpha.
    format.masks = format.bitCount == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                         : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
    return;
  }
  const bool alpha = format.compression == kBiAlphaBitfields;
  if (format.kind == HeaderKind::kInfo) {
    format.masksOffset = bitmap::kFileHeaderSize + kInfoSize;
    format.masksSize = alpha ? 16 : 12;
    std::vector<FieldSpec> specs = {{"biRedMask", 4, Reading::kHex},
                                    {"biGreenMask", 4, Reading::kHex},
                                    {"biBlueMask", 4, Reading::kHex}};
    if (alpha) specs.push_back({"biAlphaMask", 4, Reading::kHex});
    const std::size_t first = format.fields.size();
    addFields(reader, specs, format.masksOffset, UINT64_MAX, format);
    for (std::size_t i = first; i < format.fields.size(); ++i) {
      format.masks[i - first] = static_cast<std::uint32_t>(format.fields[i].stored);
    }
    return;
  }
  // Inside the header, from its 41st byte: red, green, blue, then alpha where it has one.
  for (std::uint32_t i = 0; i < 4; ++i) {
    if (kInfoSize + 4 * i + 4 > format.fieldsSize) break;
    format.masks[i] = static_cast<std::uint32_t>(headerValue(format, kInfoSize + 4 * i));
  }
}

void readTable(BlockReader& reader, Format& format) {
  const std::uint64_t bfOffBits = format.layout.start;
  format.tableOffset = format.masksSize > 0
                           ? format.masksOffset + format.masksSize
                           : bitmap::kFileHeaderSize + std::uint64_t{format.headerSize};
  const std::uint16_t bits = format.bitCount;
  const std::uint64_t depthEntries = bits >= 1 && bits <= 8 ? std::uint64_t{1} << bits : 0;
  if (format.kind == HeaderKind::kCore) {
    // OS/2 1.x has no count: the table runs to the pixels when they start before its end.
    format.entrySize = 3;
    format.tableEntries = depthEntries;
    if (bfOffBits > format.tableOffset)
      format.tableEntries = std::min(depthEntries, (bfOffBits - format.tableOffset) / 3);
  } else {
    const std::uint64_t clrUsed = headerValue(format, 32);  // biClrUsed
    format.tableEntries = clrUsed != 0 ? clrUsed : depthEntries;
  }
  format.paletteState.fill(kBadIndex);
  if (format.encoding != Encoding::kIndexed && format.encoding != Encoding::kRle8 &&
      format.encoding != Encoding::kRle4) {
    return;
  }
  const auto used = static_cast<std::size_t>(std::min(format.tableEntries, depthEntries));
  std::uint8_t entries[256 * 4] = {};
  const std::size_t bytes = used * format.entrySize;
  const std::size_t got = reader.copy(format.tableOffset, entries, bytes);
  for (std::size_t i = 0; i < used; ++i) {
    const std::uint8_t* entry = entries + i * format.entrySize;
    // Entries are blue, green, red (and a reserved byte): opaque colours.
    format.palette[i] = {entry[2], entry[1], entry[0], 255};
    format.paletteState[i] = (i + 1) * format.entrySize <= got ? kDefined : kMissing;
    if (format.paletteState[i] != kDefined) format.palette[i] = {0, 0, 0, 0};
  }
}

void readProfile(Format& format) {
  if (format.kind != HeaderKind::kV5 || format.fieldsSize < kV5Size) return;
  const Field* type = findField(format, "bV5CSType");
  const Field* data = findField(format, "bV5ProfileData");
  const Field* size = findField(format, "bV5ProfileSize");
  if (type == nullptr || data == nullptr || size == nullptr) return;
  if (type->stored != kProfileLinked && type->stored != kProfileEmbedded) return;
  format.profile = true;
  format.profileLinked = type->stored == kProfileLinked;
  format.profileOffset = bitmap::kFileHeaderSize + data->stored;
  format.profileSize = size->stored;
}

}  // namespace

std::string compressionName(std::uint32_t code, HeaderKind kind) {
  if (kind == HeaderKind::kOs2 && code == kOs2Huffman1D) return "BCA_HUFFMAN1D (OS/2)";
  if (kind == HeaderKind::kOs2 && code == kOs2Rle24) return "BCA_RLE24 (OS/2)";
  static const char* const kNames[] = {"BI_RGB",  "BI_RLE8", "BI_RLE4",          "BI_BITFIELDS",
                                       "BI_JPEG", "BI_PNG",  "BI_ALPHABITFIELDS"};
  if (code < std::size(kNames)) return kNames[code];
  if (code >= 11 && code <= 13) {
    static const char* const kCmyk[] = {"BI_CMYK", "BI_CMYKRLE8", "BI_CMYKRLE4"};
    return kCmyk[code - 11];
  }
  return "a compression the format does not define";
}

const char* headerName(HeaderKind kind) {
  switch (kind) {
    case HeaderKind::kNone:
      return "no header this decoder reads";
    case HeaderKind::kCore:
      return "BITMAPCOREHEADER (OS/2 1.x)";
    case HeaderKind::kOs2:
      return "BITMAPINFOHEADER2 (OS/2 2.x)";
    case HeaderKind::kInfo:
      return "BITMAPINFOHEADER";
    case HeaderKind::kInfo52:
      return "BITMAPINFOHEADER with RGB masks (52 bytes)";
    case HeaderKind::kInfo56:
      return "BITMAPINFOHEADER with RGBA masks (56 bytes)";
    case HeaderKind::kV4:
      return "BITMAPV4HEADER";
    case HeaderKind::kV5:
      return "BITMAPV5HEADER";
  }
  return "";
}

const char* encodingName(Encoding encoding) {
  switch (encoding) {
    case Encoding::kNone:
      return "not decoded";
    case Encoding::kIndexed:
      return "indexed";
    case Encoding::kMasked:
      return "bit fields";
    case Encoding::kBgr:
      return "24-bit BGR";
    case Encoding::kBgra64:
      return "64-bit BGRA";
    case Encoding::kRle8:
      return "RLE8";
    case Encoding::kRle4:
      return "RLE4";
    case Encoding::kRle24:
      return "RLE24";
    case Encoding::kHuffman:
      return "modified Huffman";
    case Encoding::kJpeg:
      return "JPEG";
    case Encoding::kPng:
      return "PNG";
  }
  return "";
}

std::string commonFieldName(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kOs2Names); ++i) {
    const char* const info = bitmap::kFieldLayout[kFirstInfoField + i].name;
    if (name == kOs2Names[i] || (i < std::size(kCoreNames) && name == kCoreNames[i])) return info;
  }
  if (name.substr(0, 3) != "bV4" && name.substr(0, 3) != "bV5") return std::string(name);
  std::string_view suffix = name.substr(3);
  if (suffix == "V4Compression") suffix = "Compression";
  // The colour space first came with BITMAPV4HEADER; intent and profile with the V5 header.
  for (const char* v4 : {"CSType", "Endpoints", "Gamma"}) {
    if (suffix.substr(0, std::string_view(v4).size()) == v4) return "bV4" + std::string(suffix);
  }
  for (const char* v5 : {"Intent", "ProfileData", "ProfileSize", "Reserved"}) {
    if (suffix == v5) return std::string(name);
  }
  return "bi" + std::string(suffix);
}

Format readFormat(BlockReader& reader) {
  Format format;
  format.fileSize = reader.size();
  const std::uint64_t fileSize = format.fileSize;
  std::vector<FieldSpec> fileSpecs;
  for (std::size_t i = 0; i < kFirstInfoField; ++i) {
    const bitmap::FieldLayout& layout = bitmap::kFieldLayout[i];
    fileSpecs.push_back({layout.name, layout.width, i == 0 ? Reading::kText : Reading::kUnsigned});
  }
  addFields(reader, fileSpecs, 0, UINT64_MAX, format);
  format.bitmap = format.fields[0].stored == 0x4D42;  // "BM"
  if (!format.bitmap) {
    format.fields.resize(1);
    format.problem = "the file does not start with BM";
  } else {
    std::uint8_t sizeBytes[4] = {};
    reader.copy(bitmap::kFileHeaderSize, sizeBytes, 4);
    format.headerSize = bitmap::loadU32(sizeBytes);
    format.kind = kindOfSize(format.headerSize);
    if (format.kind == HeaderKind::kNone) {
      addFields(reader, {{"biSize", 4, Reading::kUnsigned}}, bitmap::kFileHeaderSize, UINT64_MAX,
                format);
      format.fieldsSize = 4;
      format.problem = "an info header of " + std::to_string(format.headerSize) +
                       " bytes, too short to hold the picture's size";
    } else {
      const std::uint64_t end = addFields(reader, headerSpecs(format.kind), bitmap::kFileHeaderSize,
                                          bitmap::kFileHeaderSize + format.headerSize, format);
      format.fieldsSize = static_cast<std::uint32_t>(end - bitmap::kFileHeaderSize);
    }
  }
  if (format.kind != HeaderKind::kNone) {
    const bool core = format.kind == HeaderKind::kCore;
    const auto width = headerValue(format, 4);
    const auto height = headerValue(format, core ? 6 : 8);
    format.storedWidth =
        core ? static_cast<std::int64_t>(width) : std::int64_t{static_cast<std::int32_t>(width)};
    format.storedHeight =
        core ? static_cast<std::int64_t>(height) : std::int64_t{static_cast<std::int32_t>(height)};
    format.bitCount = static_cast<std::uint16_t>(headerValue(format, core ? 10 : 14));
    format.compression = core ? 0 : static_cast<std::uint32_t>(headerValue(format, 16));
    chooseEncoding(format);
  }
  // The pixels' place, from the layout the report also uses. Anything but rows of fixed size
  // is laid out as compressed data of biSizeImage bytes.
  bitmap::BitmapFileHeader file;
  file.bfOffBits = static_cast<std::int32_t>(storedAt(format, bitmap::field("bfOffBits").offset));
  bitmap::BitmapInfoHeader info;
  info.biWidth = static_cast<std::int32_t>(format.storedWidth);
  info.biHeight = static_cast<std::int32_t>(format.storedHeight);
  info.biBitCount = format.bitCount;
  const bool rows = format.encoding == Encoding::kIndexed || format.encoding == Encoding::kMasked ||
                    format.encoding == Encoding::kBgr || format.encoding == Encoding::kBgra64;
  info.biCompression = rows ? kBiRgb : kBiRle8;
  info.biSizeImage =
      static_cast<std::int32_t>(format.kind == HeaderKind::kCore ? 0 : headerValue(format, 20));
  format.layout = bitmap::pixelLayout(file, info, fileSize);
  if (!format.bitmap) format.layout.start = format.layout.end = fileSize;

  readMasks(reader, format);
  if (format.kind != HeaderKind::kNone) readTable(reader, format);
  readProfile(format);
  for (Field& field : format.fields) {
    std::string note = fieldNote(field, format);
    if (!field.note.empty()) note = note.empty() ? field.note : note + "; " + field.note;
    field.note = std::move(note);
  }
  return format;
}

}  // namespace decode
