// The signatures of the formats a BMP file is mistaken for, checked against a file's first bytes.
#include "bitmap/magic.h"

#include <algorithm>
#include <cstring>

namespace bitmap {
namespace {

struct Signature {
  std::string_view bytes;
  std::string_view format;
};

// An OS/2 bitmap array ("BA") holds bitmaps but starts with its own header; icons and cursors
// differ in one byte of theirs.
constexpr Signature kSignatures[] = {
    {{"\x89PNG\r\n\x1a\n", 8}, "PNG"},
    {{"\xff\xd8\xff", 3}, "JPEG"},
    {{"GIF87a", 6}, "GIF"},
    {{"GIF89a", 6}, "GIF"},
    {{"II*\0", 4}, "TIFF"},
    {{"MM\0*", 4}, "TIFF"},
    {{"\0\0\1\0", 4}, "ICO"},
    {{"\0\0\2\0", 4}, "CUR"},
    {{"BA", 2}, "OS/2 bitmap array"},
};

}  // namespace

std::string hexPairs(const std::uint8_t* bytes, std::size_t size) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(size * 3);
  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string magic(const std::uint8_t* head, std::size_t size) {
  return hexPairs(head, std::min(size, kMagicBytes));
}

std::string_view looksLike(const std::uint8_t* head, std::size_t size) {
  for (const Signature& signature : kSignatures) {
    if (size >= signature.bytes.size() &&
        std::memcmp(head, signature.bytes.data(), signature.bytes.size()) == 0) {
      return signature.format;
    }
  }
  return {};
}

}  // namespace bitmap
