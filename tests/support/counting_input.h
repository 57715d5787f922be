// Decoder inputs for the tests: a file in memory with its decoder, and one that claims more
// bytes than it holds and counts what is read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "decode/decoder.h"
#include "decode/input.h"

namespace testing_support {

// A file and its decoder, which reads it from memory.
struct Decoded {
  explicit Decoded(std::vector<std::uint8_t> bytes)
      : file(std::move(bytes)), input(file.data(), file.size()) {}
  std::vector<std::uint8_t> file;
  decode::MemoryInput input;
  decode::Decoder decoder{input};
};

// A file of size bytes whose first bytes are head: past them every byte reads as 0x11, as a
// sparse file's would (as zeros). It counts the reads, the largest asked for and the bytes given.
class CountingInput final : public decode::Input {
 public:
  CountingInput(std::vector<std::uint8_t> head, std::uint64_t size)
      : head_(std::move(head)), size_(size) {}
  std::uint64_t size() override { return size_; }
  std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) override {
    ++reads;
    largest = std::max(largest, count);
    if (offset >= size_) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
    for (std::size_t i = 0; i < n; ++i)
      dst[i] = offset + i < head_.size() ? head_[static_cast<std::size_t>(offset + i)] : 0x11;
    total += n;
    return n;
  }
  std::size_t reads = 0;
  std::size_t largest = 0;
  std::uint64_t total = 0;

 private:
  std::vector<std::uint8_t> head_;
  std::uint64_t size_;
};

}  // namespace testing_support
