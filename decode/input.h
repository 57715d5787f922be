// The decoder's input: random access to a file's bytes through a small interface the caller
// implements, adapters for bytes in memory and for bitmap::Source, and a large-block reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bitmap/source.h"

namespace decode {

// Bytes in memory at an offset of the file: what a read may serve without a copy.
struct Span {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// A file the decoder reads. readAt copies up to count bytes at offset and returns how many it
// found: fewer at the end of the file, none past it. viewAt may serve bytes the input already
// holds in memory without a copy; an input that holds none returns an empty span and is read
// with readAt alone.
class Input {
 public:
  Input() = default;
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  virtual ~Input() = default;
  virtual std::uint64_t size() = 0;
  virtual std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) = 0;
  virtual Span viewAt(std::uint64_t /*offset*/) { return {}; }
};

// The caller's bytes, which must outlive the input.
class MemoryInput final : public Input {
 public:
  MemoryInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t size() override { return size_; }
  std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) override;
  Span viewAt(std::uint64_t offset) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// An open bitmap::Source, read through its exact seeks and its 256 KiB blocks. The decoder
// moves the source's position.
class SourceInput final : public Input {
 public:
  explicit SourceInput(bitmap::Source& source) : source_(source) {}
  std::uint64_t size() override { return source_.size(); }
  std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) override;
  Span viewAt(std::uint64_t offset) override;

 private:
  bitmap::Source& source_;
};

// Serves the input's bytes from one block of kBlockSize bytes, reloaded at the offset asked
// for when it does not hold it, or straight from the input's own memory where it has some.
// Never reads past the file's end; holds one block whatever the file's size.
class BlockReader {
 public:
  static constexpr std::size_t kBlockSize = std::size_t{256} * 1024;

  explicit BlockReader(Input& input);
  std::uint64_t size() const { return size_; }
  // The bytes in memory from offset on, at least one unless offset is at or past the end. want
  // says how many the caller means to use: a block loaded for an offset before the one held
  // ends with those bytes, so that rows read from the top of a bottom-up file share blocks.
  Span at(std::uint64_t offset, std::size_t want = 1);
  // Copies up to count bytes at offset into dst; returns how many the file holds.
  std::size_t copy(std::uint64_t offset, std::uint8_t* dst, std::size_t count);
  // The byte at offset; the caller has checked that offset < size().
  std::uint8_t byte(std::uint64_t offset) {
    if (offset >= start_ && offset - start_ < held_.size) return held_.data[offset - start_];
    const Span bytes = at(offset);
    return bytes.size > 0 ? bytes.data[0] : 0;
  }

 private:
  Input& input_;
  std::uint64_t size_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::uint64_t start_ = 0;  // file offset of held_.data[0]
  Span held_;
};

}  // namespace decode
