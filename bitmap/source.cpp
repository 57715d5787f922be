// The block reader over a file, a stream copied to a temporary file, or memory.
#include "bitmap/source.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "bitmap/platform.h"

namespace bitmap {

Source::~Source() { close(); }

bool Source::open(const char* path) {
  close();
  std::FILE* file = platform::openForReading(path);
  if (file == nullptr) return false;
  const platform::FileStatus status = platform::statusOf(file);
  if (status.directory) {
    std::fclose(file);
    return false;
  }
  // Blocks are read straight into the block buffer; the stream's own buffer would copy twice.
  std::setvbuf(file, nullptr, _IONBF, 0);
  // The length comes from the same status query: no seek to the end and back.
  if (status.size < 0) {
    takeStream(file);
    std::fclose(file);
    return true;
  }
  useFile(file, static_cast<std::uint64_t>(status.size), 0);
  return true;
}

void Source::useFile(std::FILE* file, std::uint64_t size, std::uint64_t filePos) {
  file_ = file;
  size_ = size;
  filePos_ = filePos;
  // Left uninitialised: only what a read fills is ever served.
  blockBuffer_.reset(new std::uint8_t[static_cast<std::size_t>(
      std::min<std::uint64_t>(blockSize_, std::max<std::uint64_t>(size_, 1)))]);
}

// A read error ends the content where it happened, as the end of the input would.
void Source::takeStream(std::FILE* stream) {
  // The two header records: all a stream that is not a bitmap is read for.
  std::uint8_t head[kHeadBytes];
  const auto headBytes = std::fread(
      head, 1, static_cast<std::size_t>(std::min<std::uint64_t>(kHeadBytes, streamCap_)), stream);
  // A bitmap's whole header came: the rest is worth reading.
  const bool readOn = headBytes == kHeadBytes && isBitmap(decodeHeaders(head, headBytes).file);
  if (readOn && spoolStream(stream, head, headBytes)) return;
  // Not a bitmap, all there was, or nowhere to spool it: memory.
  if (keep(head, headBytes) && readOn) keepStream(stream);
}

// Copies the head and the rest of the stream into a temporary file and serves the file. On a
// write that fails, what was copied so far moves to memory and the rest follows it there.
bool Source::spoolStream(std::FILE* stream, const std::uint8_t* head, std::size_t headBytes) {
  const std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[kBlockSize]);
  if (piece == nullptr) return false;
  std::FILE* spool = platform::openTemporaryFile();
  if (spool == nullptr) return false;
  std::setvbuf(spool, nullptr, _IONBF, 0);
  // The head is the first piece; each later one is read from the stream.
  std::memcpy(piece.get(), head, headBytes);
  std::size_t want = headBytes;
  std::size_t got = headBytes;
  std::uint64_t spooled = 0;
  bool written = true;
  for (;;) {
    if (got > 0 && std::fwrite(piece.get(), 1, got, spool) != got) {
      written = false;
      break;
    }
    spooled += got;
    if (got < want || spooled >= streamCap_) break;  // the end of the stream, or the cap
    want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, streamCap_ - spooled));
    got = std::fread(piece.get(), 1, want, stream);
  }
  if (written) {
    useFile(spool, spooled, spooled);
    return true;
  }
  // Read back what the file took, add the piece it refused, and go on in memory.
  bool kept = std::fflush(spool) == 0 && platform::seekTo(spool, 0);
  std::uint8_t back[4096];
  for (std::uint64_t done = 0; kept && done < spooled;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof back, spooled - done));
    kept = std::fread(back, 1, n, spool) == n && keep(back, n);
    done += n;
  }
  std::fclose(spool);
  if (kept && keep(piece.get(), got)) keepStream(stream);
  return true;
}

// The free end of the content in memory, in a new chunk when the last one is full; null when
// memory ran out, which ends the content.
std::uint8_t* Source::room(std::size_t* bytes) {
  const auto used = static_cast<std::size_t>(size_ % blockSize_);
  if (used == 0) {
    std::unique_ptr<std::uint8_t[]> chunk(new (std::nothrow) std::uint8_t[blockSize_]);
    if (chunk == nullptr) return nullptr;
    chunks_.push_back(std::move(chunk));
  }
  *bytes = blockSize_ - used;
  return chunks_.back().get() + used;
}

// Appends to the content in memory; false when memory ran out.
bool Source::keep(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    std::size_t free = 0;
    std::uint8_t* to = room(&free);
    if (to == nullptr) return false;
    const std::size_t n = std::min(size, free);
    std::memcpy(to, data, n);
    size_ += n;
    data += n;
    size -= n;
  }
  return true;
}

// Reads the rest of the stream straight into memory, up to the cap.
void Source::keepStream(std::FILE* stream) {
  while (size_ < streamCap_) {
    std::size_t free = 0;
    std::uint8_t* to = room(&free);
    if (to == nullptr) return;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(free, streamCap_ - size_));
    const std::size_t got = std::fread(to, 1, want, stream);
    size_ += got;
    if (got < want) return;
  }
}

void Source::openMemory(const std::uint8_t* data, std::size_t size) {
  close();
  keep(data, size);
}

void Source::openView(const std::uint8_t* data, std::size_t size) {
  close();
  block_ = data;
  blockBytes_ = size;
  size_ = size;
}

void Source::openFillingView(const std::uint8_t* data, std::size_t size, std::size_t filled,
                             WaitForBytes waitForBytes) {
  openView(data, size);
  blockBytes_ = std::min(filled, size);
  waitForBytes_ = waitForBytes;
}

void Source::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  chunks_.clear();
  blockBuffer_.reset();
  block_ = nullptr;
  blockStart_ = 0;
  blockBytes_ = 0;
  filePos_ = 0;
  pos_ = 0;
  size_ = 0;
  waitForBytes_ = nullptr;
}

std::size_t Source::read(std::uint8_t* dst, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const View bytes = view();
    if (bytes.size == 0) break;
    const std::size_t n = std::min(bytes.size, count - done);
    std::memcpy(dst + done, bytes.data, n);
    pos_ += n;
    done += n;
  }
  return done;
}

Source::View Source::loadBlock() {
  if (pos_ >= size_) return View{nullptr, 0};
  if (waitForBytes_ != nullptr) {
    blockBytes_ =
        std::max(blockBytes_, std::min(waitForBytes_(pos_), static_cast<std::size_t>(size_)));
    // Filling stopped short: the content ends where it did.
    if (pos_ >= blockBytes_) size_ = blockBytes_;
    if (blockBytes_ == size_) waitForBytes_ = nullptr;
    if (pos_ >= blockBytes_) return View{nullptr, 0};
    const auto offset = static_cast<std::size_t>(pos_);
    return View{block_ + offset, blockBytes_ - offset};
  }
  if (file_ == nullptr) {
    const auto chunk = static_cast<std::size_t>(pos_ / blockSize_);
    if (chunk >= chunks_.size()) return View{nullptr, 0};
    block_ = chunks_[chunk].get();
    blockStart_ = std::uint64_t{chunk} * blockSize_;
    blockBytes_ =
        static_cast<std::size_t>(std::min<std::uint64_t>(blockSize_, size_ - blockStart_));
    const auto offset = static_cast<std::size_t>(pos_ - blockStart_);
    return View{block_ + offset, blockBytes_ - offset};
  }
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(blockSize_, size_ - pos_));
  blockStart_ = pos_;
  blockBytes_ = 0;
  if (filePos_ != pos_ && !platform::seekTo(file_, pos_)) {
    filePos_ = ~std::uint64_t{0};
    return View{nullptr, 0};
  }
  blockBytes_ = std::fread(blockBuffer_.get(), 1, want, file_);
  block_ = blockBuffer_.get();
  filePos_ = pos_ + blockBytes_;
  // The file ended earlier than it did when it was measured: it ends here now.
  if (blockBytes_ < want) size_ = filePos_;
  return View{block_, blockBytes_};
}

}  // namespace bitmap
