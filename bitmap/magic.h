// What a file's first bytes say it is, for files that are not bitmaps: the formats a BMP file
// is most often mistaken for; and bytes as the hex pairs every answer shows them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bitmap {

// How many of a file's first bytes magic() shows.
constexpr std::size_t kMagicBytes = 8;

// Bytes as upper-case hex pairs separated by blanks: "42 4D 96".
std::string hexPairs(const std::uint8_t* bytes, std::size_t size);

// The first bytes, up to kMagicBytes of them, as hexPairs() writes them.
std::string magic(const std::uint8_t* head, std::size_t size);

// The format those bytes start: "PNG", "JPEG", "GIF", "TIFF", "ICO", "CUR" or "OS/2 bitmap
// array"; empty for a bitmap ("BM") and for anything else.
std::string_view looksLike(const std::uint8_t* head, std::size_t size);

}  // namespace bitmap
