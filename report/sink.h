// The one output buffer every report section writes to, with its formatting primitives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace report {

// Collects the report in a large buffer and hands it on in blocks: to a stream, to a string,
// or to a write function. After a failed write the rest is dropped and finish() says so.
class Sink {
 public:
  static constexpr std::size_t kCapacity = std::size_t{256} << 10;
  // Hot loops store fixed-size table entries and may write this far past their text.
  static constexpr std::size_t kSlack = 32;

  // Writes a whole block; returns 0, or an errno value when the block did not go out in full.
  using WriteBlock = int (*)(const char* data, std::size_t size);

  // Writes to out, unbuffered by the stream itself.
  explicit Sink(std::FILE* out, std::size_t capacity = kCapacity);
  explicit Sink(std::string& capture, std::size_t capacity = kCapacity);
  explicit Sink(WriteBlock write, std::size_t capacity = kCapacity);
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  ~Sink();

  void put(std::string_view text) {
    if (text.size() > room()) return putLong(text);
    std::memcpy(cursor_, text.data(), text.size());
    cursor_ += text.size();
  }
  void putUnsigned(std::uint64_t value);
  void putSigned(std::int64_t value);
  // A decimal number right-aligned in width characters, or wider when it needs more.
  void putPadded(std::uint64_t value, std::size_t width);

  // Raw access for the hot loops: write at cursor() no more than room() + kSlack bytes,
  // then commit the new end. ensure(n) flushes when fewer than n bytes are left.
  char* cursor() { return cursor_; }
  std::size_t room() const { return static_cast<std::size_t>(end_ - cursor_); }
  void commit(char* end) { cursor_ = end; }
  void ensure(std::size_t n) {
    if (room() < n) flush();
  }
  void flush();

  // From now on every "\n" goes out as "\r\n", as text files end their lines on Windows. The
  // report itself only ever writes "\n"; the translation happens block by block in flush().
  void endLinesWithCrLf();

  // Flushes what is left; false when any part of the report failed to reach its destination.
  bool finish();
  int error() const { return error_; }

 private:
  Sink(std::FILE* out, std::string* capture, WriteBlock write, std::size_t capacity);
  void putLong(std::string_view text);
  void deliver(const char* data, std::size_t size);

  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<char[]> crlfBuffer_;  // twice the capacity, when lines end in CR LF
  char* begin_;
  char* cursor_;
  char* end_;
  std::FILE* out_;
  std::string* capture_;
  WriteBlock write_;
  int error_ = 0;
};

}  // namespace report
