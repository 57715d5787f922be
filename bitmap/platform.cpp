// The reader's platform calls, one block for Windows and one for POSIX systems (Linux, and
// the WebAssembly builds, whose C library is POSIX-like).
#include "bitmap/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace bitmap::platform {

#ifdef _WIN32

// Windows opens the name through the wide interface, so that a name outside the ANSI code
// page opens too.
std::FILE* openForReading(const char* path) {
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (size <= 0) return nullptr;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), size);
  return _wfopen(wide.c_str(), L"rb");
}

FileStatus statusOf(std::FILE* file) {
  struct _stat64 status {};
  if (_fstat64(_fileno(file), &status) != 0) return {};
  if ((status.st_mode & _S_IFMT) == _S_IFDIR) return {true, -1};
  if ((status.st_mode & _S_IFMT) == _S_IFREG) return {false, status.st_size};
  return {};
}

bool seekTo(std::FILE* file, std::uint64_t position) {
  return _fseeki64(file, static_cast<std::int64_t>(position), SEEK_SET) == 0;
}

std::FILE* openTemporaryFile() {
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
}

#else

std::FILE* openForReading(const char* path) { return std::fopen(path, "rb"); }

FileStatus statusOf(std::FILE* file) {
  struct stat status {};
  if (fstat(fileno(file), &status) != 0) return {};
  if (S_ISDIR(status.st_mode)) return {true, -1};
  if (S_ISREG(status.st_mode)) return {false, status.st_size};
  return {};
}

bool seekTo(std::FILE* file, std::uint64_t position) {
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

namespace {

std::FILE* streamOf(int fd) {
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "w+b");
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

std::FILE* openRemovedTemporaryFile(const std::string& dir) {
  std::string path = dir + "/quillfen-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd >= 0) ::unlink(path.c_str());
  return streamOf(fd);
}

std::FILE* openTemporaryFile() {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string dir = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
#ifdef O_TMPFILE
  // Never has a name at all.
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return streamOf(fd);
#endif
  return openRemovedTemporaryFile(dir);
}

#endif

}  // namespace bitmap::platform
