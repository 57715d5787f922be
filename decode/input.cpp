// The memory and Source adapters and the block reader.
#include "decode/input.h"

#include <algorithm>
#include <cstring>

namespace decode {

std::size_t MemoryInput::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) {
  if (offset >= size_) return 0;
  const std::size_t n = std::min<std::size_t>(count, size_ - static_cast<std::size_t>(offset));
  std::memcpy(dst, data_ + offset, n);
  return n;
}

Span MemoryInput::viewAt(std::uint64_t offset) {
  if (offset >= size_) return {};
  return {data_ + offset, size_ - static_cast<std::size_t>(offset)};
}

std::size_t SourceInput::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) {
  source_.seekSet(offset);
  return source_.read(dst, count);
}

Span SourceInput::viewAt(std::uint64_t offset) {
  source_.seekSet(offset);
  const bitmap::Source::View view = source_.view();
  return {view.data, view.size};
}

BlockReader::BlockReader(Input& input) : input_(input), size_(input.size()) {}

Span BlockReader::at(std::uint64_t offset, std::size_t want) {
  if (offset >= size_) return {};
  if (offset >= start_ && offset - start_ < held_.size) {
    const auto skip = static_cast<std::size_t>(offset - start_);
    return {held_.data + skip, held_.size - skip};
  }
  // Reading backwards: the block ends where the bytes wanted do.
  std::uint64_t from = offset;
  if (held_.size > 0 && offset < start_ && want <= kBlockSize)
    from = offset + want > kBlockSize ? offset + want - kBlockSize : 0;
  start_ = from;
  held_ = input_.viewAt(from);
  if (held_.size <= offset - from) {
    if (block_ == nullptr) block_.reset(new std::uint8_t[kBlockSize]);
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size_ - from));
    held_ = {block_.get(), input_.readAt(from, block_.get(), count)};
    // The input ended earlier than it said: it ends here.
    if (held_.size < count) size_ = from + held_.size;
    if (offset >= size_) return {};
  }
  const auto skip = static_cast<std::size_t>(offset - from);
  return {held_.data + skip, held_.size - skip};
}

std::size_t BlockReader::copy(std::uint64_t offset, std::uint8_t* dst, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const Span bytes = at(offset + done);
    if (bytes.size == 0) break;
    const std::size_t n = std::min(bytes.size, count - done);
    std::memcpy(dst + done, bytes.data, n);
    done += n;
  }
  return done;
}

}  // namespace decode
