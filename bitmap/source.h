// The input file: absolute, relative and end seeks and short reads, served from large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "bitmap/records.h"

namespace bitmap {

// Keeps a logical position over a block of the file. Reads behave as byte reads from a
// stream would: past the end they find nothing and leave the caller's buffer alone, and a
// seek past the end is allowed. Its platform calls live in platform.cpp.
//
// Input that cannot seek (a pipe, a FIFO, a device) is read once from the start. When its
// first two bytes are not "BM" only the header bytes are taken: the run refuses it at once.
// Otherwise it is copied into an unnamed temporary file, up to a cap, and served from there
// like a regular file of that length; where no temporary file can be written, from memory.
class Source {
 public:
  static constexpr std::size_t kBlockSize = std::size_t{256} * 1024;
  // Input that cannot seek is taken up to this many bytes.
  static constexpr std::uint64_t kMaxUnseekableSize = std::uint64_t{1} << 30;
  struct View {
    const std::uint8_t* data;
    std::size_t size;
  };

  // blockSize: how much one read of the file asks for (small sizes are for tests).
  explicit Source(std::size_t blockSize = kBlockSize) : blockSize_(blockSize) {}
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source();

  // Opens a path (UTF-8) read-only; false when it cannot be opened or names a directory.
  bool open(const char* path);
  // Takes a copy of the bytes as the whole content of a file.
  void openMemory(const std::uint8_t* data, std::size_t size);
  // Serves the caller's bytes, which must stay as they are until close(), as the whole content
  // of a file: one block that is never reloaded.
  void openView(const std::uint8_t* data, std::size_t size);
  // Returns how many bytes of a view are filled, once more than position are or no more will
  // be: the caller fills the view while the run reads it.
  using WaitForBytes = std::size_t (*)(std::uint64_t position);
  // Serves size bytes at data as openView does, of which filled are there now and the rest
  // come in order, as waitForBytes says.
  void openFillingView(const std::uint8_t* data, std::size_t size, std::size_t filled,
                       WaitForBytes waitForBytes);
  void close();

  // How much of input that cannot seek is taken (tests lower it).
  void setStreamCap(std::uint64_t cap) { streamCap_ = cap; }

  std::uint64_t size() const { return size_; }

  void seekSet(std::uint64_t offset) { pos_ = offset; }
  // The relative seek over row padding: always forward, possibly past the end.
  void skip(std::uint64_t count) { pos_ += count; }
  // Positions at the end and returns that position: the file's length.
  std::uint64_t seekEnd() {
    pos_ = size_;
    return size_;
  }

  // Reads up to count bytes; returns how many were found. Bytes past those are left as they were.
  std::size_t read(std::uint8_t* dst, std::size_t count);

  // The bytes at the position that are in memory (loading a block when there are none);
  // empty at or past the end. consume() moves the position over some of them.
  View view() {
    if (pos_ >= blockStart_ && pos_ - blockStart_ < blockBytes_) {
      const auto offset = static_cast<std::size_t>(pos_ - blockStart_);
      return View{block_ + offset, blockBytes_ - offset};
    }
    return loadBlock();
  }
  void consume(std::size_t n) { pos_ += n; }

 private:
  View loadBlock();
  void takeStream(std::FILE* stream);
  bool spoolStream(std::FILE* stream, const std::uint8_t* head, std::size_t headBytes);
  std::uint8_t* room(std::size_t* bytes);
  bool keep(const std::uint8_t* data, std::size_t size);
  void keepStream(std::FILE* stream);
  void useFile(std::FILE* file, std::uint64_t size, std::uint64_t filePos);

  const std::size_t blockSize_;
  std::uint64_t streamCap_ = kMaxUnseekableSize;
  std::FILE* file_ = nullptr;  // null when the content is in memory
  // Content held in memory, in blocks of blockSize_ bytes: never copied as it grows.
  std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
  std::unique_ptr<std::uint8_t[]> blockBuffer_;
  const std::uint8_t* block_ = nullptr;  // the block in blockBuffer_, or a chunk
  std::uint64_t blockStart_ = 0;         // file position of block_[0]
  std::size_t blockBytes_ = 0;           // bytes of block_ that hold file content
  std::uint64_t filePos_ = 0;            // where the underlying stream stands
  std::uint64_t pos_ = 0;
  std::uint64_t size_ = 0;
  WaitForBytes waitForBytes_ = nullptr;  // a view still being filled
};

}  // namespace bitmap
