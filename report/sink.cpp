// The output buffer: block writes, error tracking and number formatting.
#include "report/sink.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace report {

Sink::Sink(std::FILE* out, std::size_t capacity) : Sink(out, nullptr, nullptr, capacity) {
  // Whole blocks go straight to the descriptor instead of through the stream's small buffer.
  if (out != nullptr) std::setvbuf(out, nullptr, _IONBF, 0);
}

Sink::Sink(std::string& capture, std::size_t capacity)
    : Sink(nullptr, &capture, nullptr, capacity) {}

Sink::Sink(WriteBlock write, std::size_t capacity) : Sink(nullptr, nullptr, write, capacity) {}

Sink::Sink(std::FILE* out, std::string* capture, WriteBlock write, std::size_t capacity)
    : buffer_(new char[capacity + kSlack]),
      begin_(buffer_.get()),
      cursor_(begin_),
      end_(begin_ + capacity),
      out_(out),
      capture_(capture),
      write_(write) {}

void Sink::endLinesWithCrLf() {
  flush();
  const auto capacity = static_cast<std::size_t>(end_ - begin_);
  crlfBuffer_.reset(new char[2 * capacity]);
}

Sink::~Sink() { flush(); }

void Sink::flush() {
  const auto n = static_cast<std::size_t>(cursor_ - begin_);
  cursor_ = begin_;
  if (n == 0 || error_ != 0) return;
  if (crlfBuffer_ == nullptr) return deliver(begin_, n);
  // Copy the runs between newlines, each newline as CR LF: at most twice the bytes.
  const char* from = begin_;
  const char* const last = begin_ + n;
  char* to = crlfBuffer_.get();
  while (from < last) {
    const auto* newline =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(last - from)));
    const char* const runEnd = newline != nullptr ? newline : last;
    std::memcpy(to, from, static_cast<std::size_t>(runEnd - from));
    to += runEnd - from;
    if (newline == nullptr) break;
    *to++ = '\r';
    *to++ = '\n';
    from = newline + 1;
  }
  deliver(crlfBuffer_.get(), static_cast<std::size_t>(to - crlfBuffer_.get()));
}

void Sink::deliver(const char* data, std::size_t size) {
  if (capture_ != nullptr) {
    capture_->append(data, size);
  } else if (write_ != nullptr) {
    error_ = write_(data, size);
  } else if (out_ != nullptr) {
    errno = 0;
    if (std::fwrite(data, 1, size, out_) != size) error_ = errno != 0 ? errno : EIO;
  }
}

bool Sink::finish() {
  flush();
  if (out_ != nullptr && error_ == 0) {
    errno = 0;
    if (std::fflush(out_) != 0 || std::ferror(out_) != 0) error_ = errno != 0 ? errno : EIO;
  }
  return error_ == 0;
}

void Sink::putLong(std::string_view text) {
  while (!text.empty()) {
    if (room() == 0) flush();
    const std::size_t n = std::min(room(), text.size());
    std::memcpy(cursor_, text.data(), n);
    cursor_ += n;
    text.remove_prefix(n);
  }
}

void Sink::putUnsigned(std::uint64_t value) { putPadded(value, 0); }

void Sink::putSigned(std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void Sink::putPadded(std::uint64_t value, std::size_t width) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  const auto length = static_cast<std::size_t>(result.ptr - digits);
  for (std::size_t i = length; i < width; ++i) put(" ");
  put(std::string_view(digits, length));
}

}  // namespace report
