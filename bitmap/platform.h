// The reader's platform calls: opening by UTF-8 name, file status, 64-bit seeks and unnamed
// temporary files. A port to another system changes this file and platform.cpp only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace bitmap::platform {

struct FileStatus {
  bool directory = false;
  std::int64_t size = -1;  // the length of a regular file; -1 for anything else
};

// Opens a path given in UTF-8 for binary reading; null when it cannot be opened.
std::FILE* openForReading(const char* path);

FileStatus statusOf(std::FILE* file);

// Seeks to an absolute 64-bit position; false when the stream cannot go there.
bool seekTo(std::FILE* file, std::uint64_t position);

// A new file for reading and writing in the temporary folder ($TMPDIR, else /tmp; on Windows
// the system's) that no name leads to, or none after the run, however it ends. Null when none
// can be made.
std::FILE* openTemporaryFile();

#ifndef _WIN32
// The same in dir, for file systems that cannot make unnamed files: a fresh name, removed at
// once.
std::FILE* openRemovedTemporaryFile(const std::string& dir);
#endif

}  // namespace bitmap::platform
