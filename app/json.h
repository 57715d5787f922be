// The one JSON writer of the core: every answer the inspector and the decoder give is built
// with it.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// Builds one JSON text: members by name inside objects, values without a name inside arrays.
// Quantities that can pass 2^53 go out as decimal strings (decimal()), which JavaScript's
// numbers would round; the rest as numbers.
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
    putDigits(value);
  }
  void signedNumber(std::string_view name, std::int64_t value) {
    member(name);
    if (value < 0) text_ += '-';
    putDigits(value < 0 ? 0 - static_cast<std::uint64_t>(value)
                        : static_cast<std::uint64_t>(value));
  }
  void decimal(std::string_view name, std::uint64_t value) {
    member(name);
    text_ += '"';
    putDigits(value);
    text_ += '"';
  }
  void text(std::string_view name, std::string_view value) {
    member(name);
    putString(value);
  }
  void flag(std::string_view name, bool value) {
    member(name);
    text_ += value ? "true" : "false";
  }
  void null(std::string_view name) {
    member(name);
    text_ += "null";
  }
  const std::string& str() const { return text_; }

 private:
  void member(std::string_view name) {
    if (!first_) text_ += ',';
    first_ = false;
    if (name.empty()) return;
    putString(name);
    text_ += ':';
  }
  void putDigits(std::uint64_t value) {
    char digits[20];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    text_.append(digits, result.ptr);
  }
  // Quotes and backslashes escaped, control characters as \u00XX.
  void putString(std::string_view value) {
    text_ += '"';
    for (const char c : value) {
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += c;
      } else if (static_cast<unsigned char>(c) < 0x20) {
        constexpr char kDigits[] = "0123456789abcdef";
        text_ += "\\u00";
        text_ += kDigits[(c >> 4) & 15];
        text_ += kDigits[c & 15];
      } else {
        text_ += c;
      }
    }
    text_ += '"';
  }
  std::string text_;
  bool first_ = true;
};

}  // namespace app
