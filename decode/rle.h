// RLE commands as stored (BI_RLE8, BI_RLE4, OS/2 RLE24): reading one at an offset, and the
// walk that moves a cursor over the picture's stored rows from command to command.
#pragma once

#include <cstdint>

#include "decode/format.h"
#include "decode/input.h"

namespace decode {

enum class CommandKind : std::uint8_t {
  kEncoded,      // a count and a value: count pixels of that value (two alternating for RLE4)
  kAbsolute,     // 0, a count of 3 or more, and that many pixels' data, padded to 16 bits
  kEndOfLine,    // 0 0: the rest of the row is skipped
  kEndOfBitmap,  // 0 1: the rest of the picture is skipped
  kDelta,        // 0 2 dx dy: the cursor moves right and up (down the stored rows)
  kCut,          // a command the end of the file cuts short
};

struct Command {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;  // the command's bytes, its data included; the pad byte not
  std::uint32_t pad = 0;   // 1 when an absolute run's data is padded to an even length
  CommandKind kind = CommandKind::kCut;
  std::uint32_t count = 0;   // pixels it sets; for an absolute run cut short, those it holds
  std::uint32_t stated = 0;  // pixels it states
  std::uint8_t dx = 0;
  std::uint8_t dy = 0;
  std::uint8_t value[3] = {};  // an encoded run's value: an index, two indices, or B G R
};

// Where the next command starts and where its first pixel goes: the stored row (0 first),
// and x, which may pass the width when a run or a delta overruns the row.
struct Cursor {
  std::uint64_t offset = 0;
  std::uint64_t row = 0;
  std::uint64_t x = 0;
};

// The command at offset, which lies inside the file.
Command readCommand(BlockReader& reader, std::uint64_t offset, Encoding encoding);

// The cursor after command.
Cursor advance(const Cursor& before, const Command& command);

const char* commandName(CommandKind kind);

// Where the i-th pixel of a run keeps its value: the byte, and for RLE4 the nibble
// (value = byte >> shift & 15).
struct RunPixel {
  std::uint64_t offset = 0;
  std::uint32_t size = 1;
  std::uint32_t shift = 0;
};
RunPixel runPixel(const Command& command, std::uint32_t i, Encoding encoding);

// Walks the commands from cursor on, calling visit(command, before, after) for each; stops
// after an end of bitmap or a command cut short, at the end of the file, or when visit returns
// false. Returns the cursor where the walk stopped, and in *cut whether the file ended the
// commands (the end of the file reached, or a command cut short) rather than an end of bitmap
// or visit.
template <typename Visit>
Cursor walkCommands(BlockReader& reader, Encoding encoding, Cursor cursor, bool* cut,
                    Visit&& visit) {
  *cut = false;
  for (;;) {
    if (cursor.offset >= reader.size()) {
      *cut = true;
      return cursor;
    }
    const Command command = readCommand(reader, cursor.offset, encoding);
    const Cursor after = advance(cursor, command);
    if (!visit(command, cursor, after)) return cursor;
    if (command.kind == CommandKind::kCut ||
        (command.kind == CommandKind::kAbsolute && command.count < command.stated)) {
      *cut = true;
      return after;
    }
    if (command.kind == CommandKind::kEndOfBitmap) return after;
    cursor = after;
  }
}

}  // namespace decode
