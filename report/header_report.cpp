// The banner, and the "File Header" and "BitMap Info" sections: every field with a note naming
// or flagging it.
#include <cstdint>
#include <string_view>

#include "report/sections.h"

namespace report {
namespace {

constexpr std::string_view kBroken = " - Broken or invalid file";

void field(Sink& out, std::string_view label, std::int64_t value) {
  out.put(label);
  out.putSigned(value);
  out.put("]");
}

std::string_view bitCountNote(std::uint16_t biBitCount) {
  switch (biBitCount) {
    case 0:
      return " - JPEG or PNG";
    case 1:
      return " - 2 color";
    case 4:
      return " - 16 color";
    case 8:
      return " - 256 color";
    case 16:
      return " - 16bit bitmap";
    case 24:
      return " - 24bit bitmap";
    case 32:
      return " - 32bit bitmap";
    default:
      return kBroken;
  }
}

std::string_view compressionNote(std::uint32_t biCompression) {
  switch (biCompression) {
    case 0:
      return " - uncompressed";
    case 1:
      return " - RLE 8bpp";
    case 2:
      return " - RLE 4bpp";
    case 3:
      return " - uncompressed for 16/32bit bitmap";
    default:
      return kBroken;
  }
}

}  // namespace

void printBanner(std::string_view fileName, Sink& out) {
  out.put("\n------------------------------");
  out.put("\n Quillfen");
  out.put("\n Alpha version");
  out.put("\n------------------------------");
  out.put("\n Filename [");
  out.put(fileName);
  out.put("]");
  out.put("\n");
}

void printHeaderReport(const RunState& run, Sink& out) {
  const bitmap::BitmapFileHeader& file = run.fileHeader;
  const bitmap::BitmapInfoHeader& info = run.info.bmiHeader;

  out.put("\n === File Header ===");
  out.put("\n\t           Type : [BM]");
  out.put("\n\t           Size : [");
  out.putSigned(file.bfSize);
  out.put(":");
  out.putSigned(run.fileSize);
  out.put("]");
  if (file.bfSize != run.fileSize) out.put(kBroken);
  field(out, "\n\t        Offbits : [", file.bfOffBits);
  // The stored size should be the pixel data plus what precedes it; the sum wraps at 32 bits.
  const std::uint32_t expectedSize =
      static_cast<std::uint32_t>(info.biSizeImage) + static_cast<std::uint32_t>(file.bfOffBits);
  if (static_cast<std::uint32_t>(file.bfSize) != expectedSize) out.put(kBroken);

  out.put("\n ");
  out.put("\n === BitMap Info ===");
  field(out, "\n\t         biSize : [", info.biSize);
  out.put(info.biSize == 40 ? " - size of BITMAPINFO" : kBroken);
  field(out, "\n\t        biWidth : [", info.biWidth);
  if (info.biWidth < 0) out.put(kBroken);
  field(out, "\n\t       biHeight : [", info.biHeight);
  if (info.biHeight < 0) out.put(kBroken);
  field(out, "\n\t       biPlanes : [", info.biPlanes);
  if (info.biPlanes != 1) out.put(kBroken);
  field(out, "\n\t     biBitCount : [", info.biBitCount);
  out.put(bitCountNote(info.biBitCount));
  field(out, "\n\t  biCompression : [", static_cast<std::int32_t>(info.biCompression));
  out.put(compressionNote(info.biCompression));
  field(out, "\n\t    biSizeImage : [", info.biSizeImage);
  out.put(" - size of pure Bitmap data");
  field(out, "\n\tbiXPelsPerMeter : [", info.biXPelsPerMeter);
  out.put(" X resolution by PPM");
  field(out, "\n\tbiYPelsPerMeter : [", info.biYPelsPerMeter);
  out.put(" Y resolution by PPM");
  field(out, "\n\t      biClrUsed : [", info.biClrUsed);
  out.put(info.biClrUsed == 0 ? " - All color used" : " - palette");
  field(out, "\n\t biClrImportant : [", info.biClrImportant);
  if (info.biClrImportant == 0) {
    out.put(" - All color required");
  } else {
    out.put(" require ");
    out.putSigned(info.biClrImportant);
    out.put(" color index");
  }
}

}  // namespace report
