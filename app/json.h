// The one JSON writer of the core: every answer the inspector and the decoder give is built
// with it.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// Builds one JSON text: members by name inside objects, values without a name inside arrays.
// Quantities that can pass 2^53 go out as decimal strings (decimal()), which JavaScript's
// numbers would round; the rest as numbers.
//
// A map's answer holds a hundred thousand members and more: each token goes out through one
// grow() and plain writes into a buffer of the writer's own, which the compiler sees through
// (the WebAssembly builds call into the string library for every std::string operation).
class Json {
 public:
  void begin(char bracket, std::string_view name = {}) {
    member(name);
    *grow(1) = bracket;
    first_ = true;
  }
  void end(char bracket) {
    *grow(1) = bracket;
    first_ = false;
  }
  void number(std::string_view name, std::uint64_t value) {
    member(name);
    putDigits(value, false, false);
  }
  void signedNumber(std::string_view name, std::int64_t value) {
    member(name);
    const auto bits = static_cast<std::uint64_t>(value);
    putDigits(value < 0 ? 0 - bits : bits, value < 0, false);
  }
  void decimal(std::string_view name, std::uint64_t value) {
    member(name);
    putDigits(value, false, true);
  }
  void text(std::string_view name, std::string_view value) {
    member(name);
    putString(value);
  }
  void flag(std::string_view name, bool value) {
    member(name);
    putRaw(value ? "true" : "false");
  }
  void null(std::string_view name) {
    member(name);
    putRaw("null");
  }
  std::string str() const { return {text_.data(), size_}; }

 private:
  // Room for count more characters at the end of the text.
  char* grow(std::size_t count) {
    if (count > text_.size() - size_) text_.resize(std::max(2 * text_.size(), size_ + count));
    char* const at = text_.data() + size_;
    size_ += count;
    return at;
  }
  void putRaw(std::string_view raw) { std::memcpy(grow(raw.size()), raw.data(), raw.size()); }
  // Names are the writer's own words, which need no escapes.
  void member(std::string_view name) {
    const std::size_t comma = first_ ? 0 : 1;
    first_ = false;
    if (name.empty()) {
      if (comma != 0) *grow(1) = ',';
      return;
    }
    char* out = grow(comma + name.size() + 3);
    if (comma != 0) *out++ = ',';
    *out++ = '"';
    std::memcpy(out, name.data(), name.size());
    out += name.size();
    out[0] = '"';
    out[1] = ':';
  }
  void putDigits(std::uint64_t value, bool minus, bool quoted) {
    char digits[24];
    char* out = digits;
    if (quoted) *out++ = '"';
    if (minus) *out++ = '-';
    out = std::to_chars(out, digits + 23, value).ptr;
    if (quoted) *out++ = '"';
    std::memcpy(grow(static_cast<std::size_t>(out - digits)), digits,
                static_cast<std::size_t>(out - digits));
  }
  static bool needsEscape(char c) {
    return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
  }
  // Quotes and backslashes escaped, control characters as \u00XX.
  void putString(std::string_view value) {
    std::size_t escapes = 0;
    for (const char c : value) escapes += needsEscape(c) ? 1 : 0;
    // Each escape takes at most 6 characters for 1; the room left unused is cut at the end.
    const std::size_t room = value.size() + 5 * escapes + 2;
    char* const first = grow(room);
    char* out = first;
    *out++ = '"';
    if (escapes == 0) {
      std::memcpy(out, value.data(), value.size());
      out += value.size();
    } else {
      for (const char c : value) {
        if (!needsEscape(c)) {
          *out++ = c;
        } else if (c == '"' || c == '\\') {
          *out++ = '\\';
          *out++ = c;
        } else {
          constexpr char kDigits[] = "0123456789abcdef";
          out[0] = '\\';
          out[1] = 'u';
          out[2] = '0';
          out[3] = '0';
          out[4] = kDigits[(c >> 4) & 15];
          out[5] = kDigits[c & 15];
          out += 6;
        }
      }
    }
    *out++ = '"';
    size_ -= room - static_cast<std::size_t>(out - first);
  }

  std::vector<char> text_ = std::vector<char>(256);
  std::size_t size_ = 0;  // of text_, the characters written
  bool first_ = true;
};

}  // namespace app
