// The Windows console of both entry points: wide arguments as UTF-8, binary whole-block
// writes to the standard output handle, the console's code page set to UTF-8 and put back.
#include "app/console.h"

#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

namespace app {

namespace {

std::string toUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

// Writes straight to the standard output handle, in binary: the sink has already turned each
// "\n" into CR LF. A reader that closed the pipe early gives EPIPE, as it would on POSIX.
int writeStdout(const char* data, std::size_t size) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return EBADF;
  while (size > 0) {
    const DWORD chunk = size > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(out, data, chunk, &written, nullptr)) {
      switch (GetLastError()) {
        case ERROR_NO_DATA:
        case ERROR_BROKEN_PIPE:
        case ERROR_PIPE_NOT_CONNECTED:
          return EPIPE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
          return ENOSPC;
        case ERROR_INVALID_HANDLE:
          return EBADF;
        default:
          return EIO;
      }
    }
    data += written;
    size -= written;
  }
  return 0;
}

}  // namespace

int runWide(int argc, wchar_t** argv, Run run) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(toUtf8(argv[i]));
  std::vector<const char*> utf8Argv;
  for (const std::string& arg : args) utf8Argv.push_back(arg.c_str());
  utf8Argv.push_back(nullptr);

  // A console shows UTF-8 file names as written; its code page is put back afterwards.
  DWORD mode = 0;
  const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  const UINT codePage = GetConsoleOutputCP();
  if (console) SetConsoleOutputCP(CP_UTF8);

  int status = 0;
  {
    report::Sink out(writeStdout);
    out.endLinesWithCrLf();
    status = run(argc, utf8Argv.data(), out);
  }
  if (console) SetConsoleOutputCP(codePage);
  return status;
}

}  // namespace app
