// The block reader, and the only place that makes platform-specific file calls.
#include "bitmap/source.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#define QUILLFEN_FSEEK64 _fseeki64
#define QUILLFEN_FILENO _fileno
using StatRecord = struct _stat64;
#define QUILLFEN_FSTAT _fstat64
#define QUILLFEN_IS_REGULAR(mode) (((mode)&_S_IFMT) == _S_IFREG)
#define QUILLFEN_IS_DIRECTORY(mode) (((mode)&_S_IFMT) == _S_IFDIR)
#else
#include <unistd.h>
#define QUILLFEN_FSEEK64 fseeko
#define QUILLFEN_FILENO fileno
using StatRecord = struct stat;
#define QUILLFEN_FSTAT fstat
#define QUILLFEN_IS_REGULAR(mode) S_ISREG(mode)
#define QUILLFEN_IS_DIRECTORY(mode) S_ISDIR(mode)
#endif

namespace bitmap {
namespace {

struct FileStatus {
  bool directory = false;
  std::int64_t size = -1;  // the length of a regular file; -1 for anything else
};

FileStatus statusOf(std::FILE* file) {
  StatRecord status{};
  if (QUILLFEN_FSTAT(QUILLFEN_FILENO(file), &status) != 0) return {};
  if (QUILLFEN_IS_DIRECTORY(status.st_mode)) return {true, -1};
  if (QUILLFEN_IS_REGULAR(status.st_mode)) return {false, status.st_size};
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

// A new file in the temporary folder ($TMPDIR, else /tmp; on Windows the system's) that no
// name leads to, or none after the run, however it ends. Null when none can be made.
std::FILE* openTemporaryFile() {
#ifdef _WIN32
  // The temporary folder as Windows names it (TMP, then TEMP, then the profile's).
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return nullptr;
  const std::wstring dir(path, length);
  // Deleted by the system when its last handle closes, also when the process is killed.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = dir + L"quillfen-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount() + attempt) + L".tmp";
    const int fd = _wopen(name.c_str(),
                          _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_SHORT_LIVED,
                          _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      std::FILE* file = _fdopen(fd, "w+b");
      if (file == nullptr) _close(fd);
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
#else
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string dir = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  int fd = -1;
#ifdef O_TMPFILE
  // Never has a name at all.
  fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (fd < 0) {
    // Where the file system cannot make unnamed files: a fresh name, removed at once.
    std::string path = dir + "/quillfen-XXXXXX";
    fd = ::mkstemp(path.data());
    if (fd < 0) return nullptr;
    ::unlink(path.c_str());
  }
  std::FILE* file = ::fdopen(fd, "w+b");
  if (file == nullptr) ::close(fd);
  return file;
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
  blockBuffer_.reset(
      new std::uint8_t[std::min<std::uint64_t>(blockSize_, std::max<std::uint64_t>(size_, 1))]);
}

// A read error ends the content where it happened, as the end of the input would.
void Source::takeStream(std::FILE* stream) {
  std::uint8_t head[kHeadSize];
  const auto headBytes = std::fread(
      head, 1, static_cast<std::size_t>(std::min<std::uint64_t>(kHeadSize, streamCap_)), stream);
  // A bitmap's whole header came: the rest is worth reading.
  const bool readOn = headBytes == kHeadSize && head[0] == 'B' && head[1] == 'M';
  if (readOn && spoolStream(stream, head, headBytes)) return;
  // Not a bitmap, all there was, or nowhere to spool it: memory.
  if (keep(head, headBytes) && readOn) keepStream(stream);
}

// Copies the head and the rest of the stream into a temporary file and serves the file. On a
// write that fails, what was copied so far moves to memory and the rest follows it there.
bool Source::spoolStream(std::FILE* stream, const std::uint8_t* head, std::size_t headBytes) {
  const std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[kBlockSize]);
  if (piece == nullptr) return false;
  std::FILE* spool = openTemporaryFile();
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
  bool kept = std::fflush(spool) == 0 && seekTo(spool, 0);
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
