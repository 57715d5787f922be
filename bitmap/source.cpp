// The block reader, and the only place that makes platform-specific file calls.
#include "bitmap/source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include <string>
#define QUILLFEN_FSEEK64 _fseeki64
#define QUILLFEN_FILENO _fileno
using StatRecord = struct _stat64;
#define QUILLFEN_FSTAT _fstat64
#define QUILLFEN_IS_REGULAR(mode) (((mode)&_S_IFMT) == _S_IFREG)
#define QUILLFEN_IS_DIRECTORY(mode) (((mode)&_S_IFMT) == _S_IFDIR)
#else
#define QUILLFEN_FSEEK64 fseeko
#define QUILLFEN_FILENO fileno
using StatRecord = struct stat;
#define QUILLFEN_FSTAT fstat
#define QUILLFEN_IS_REGULAR(mode) S_ISREG(mode)
#define QUILLFEN_IS_DIRECTORY(mode) S_ISDIR(mode)
#endif

namespace bitmap {
namespace {

enum class FileKind { kRegular, kDirectory, kOther };

struct FileStatus {
  FileKind kind = FileKind::kOther;
  std::int64_t size = -1;  // the length of a regular file
};

FileStatus statusOf(std::FILE* file) {
  StatRecord status{};
  if (QUILLFEN_FSTAT(QUILLFEN_FILENO(file), &status) != 0) return {};
  if (QUILLFEN_IS_DIRECTORY(status.st_mode)) return {FileKind::kDirectory, -1};
  if (QUILLFEN_IS_REGULAR(status.st_mode)) return {FileKind::kRegular, status.st_size};
  return {};
}

// Paths arrive as UTF-8. Windows opens them through the wide interface, so that a name outside
// the ANSI code page opens too.
std::FILE* openForReading(const char* path) {
#ifdef _WIN32
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (size <= 0) return nullptr;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), size);
  return _wfopen(wide.c_str(), L"rb");
#else
  return std::fopen(path, "rb");
#endif
}

bool seekTo(std::FILE* file, std::uint64_t position) {
  return QUILLFEN_FSEEK64(file, static_cast<std::int64_t>(position), SEEK_SET) == 0;
}

}  // namespace

Source::~Source() { close(); }

bool Source::open(const char* path) {
  close();
  std::FILE* file = openForReading(path);
  if (file == nullptr) return false;
  const FileStatus status = statusOf(file);
  if (status.kind == FileKind::kDirectory) {
    std::fclose(file);
    return false;
  }
  // Blocks are read straight into the block buffer; the stream's own buffer would copy twice.
  std::setvbuf(file, nullptr, _IONBF, 0);
  // The length comes from the same status query: no seek to the end and back.
  const std::int64_t end = status.size;
  if (end < 0) {
    // A pipe, a FIFO or a terminal cannot seek: take what it holds, then serve it like a
    // file of that length.
    readWhole(file);
    std::fclose(file);
    return true;
  }
  file_ = file;
  size_ = static_cast<std::uint64_t>(end);
  filePos_ = 0;
  // Left uninitialised: only what a read fills is ever served.
  blockBuffer_.reset(
      new std::uint8_t[std::min<std::uint64_t>(blockSize_, std::max<std::uint64_t>(size_, 1))]);
  return true;
}

// A read error ends the content where it happened, as the end of the input would.
void Source::readWhole(std::FILE* file) {
  std::size_t used = 0;
  while (used < kMaxUnseekableSize) {
    const std::size_t want =
        std::min<std::size_t>(kBlockSize, static_cast<std::size_t>(kMaxUnseekableSize - used));
    content_.resize(used + want);
    const std::size_t got = std::fread(content_.data() + used, 1, want, file);
    used += got;
    if (got < want) break;
  }
  content_.resize(used);
  content_.shrink_to_fit();
  holdWhole();
}

void Source::openMemory(const std::uint8_t* data, std::size_t size) {
  close();
  content_.assign(data, data + size);
  holdWhole();
}

void Source::holdWhole() {
  block_ = content_.data();
  blockStart_ = 0;
  blockBytes_ = content_.size();
  size_ = content_.size();
  pos_ = 0;
}

void Source::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  content_.clear();
  blockBuffer_.reset();
  block_ = nullptr;
  blockStart_ = 0;
  blockBytes_ = 0;
  filePos_ = 0;
  pos_ = 0;
  size_ = 0;
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
  if (file_ == nullptr || pos_ >= size_) return View{nullptr, 0};
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(blockSize_, size_ - pos_));
  blockStart_ = pos_;
  blockBytes_ = 0;
  if (filePos_ != pos_ && !seekTo(file_, pos_)) {
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
