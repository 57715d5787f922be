// Reading RLE commands and moving the cursor over them.
#include "decode/rle.h"

#include <algorithm>

namespace decode {

namespace {

// Bytes of data an absolute run of count pixels holds.
std::uint64_t absoluteBytes(std::uint32_t count, Encoding encoding) {
  switch (encoding) {
    case Encoding::kRle4:
      return (std::uint64_t{count} + 1) / 2;
    case Encoding::kRle24:
      return std::uint64_t{count} * 3;
    default:
      return count;
  }
}

}  // namespace

Command readCommand(BlockReader& reader, std::uint64_t offset, Encoding encoding) {
  Command command;
  command.offset = offset;
  const std::uint64_t left = reader.size() - offset;
  const std::uint8_t first = reader.byte(offset);
  const std::uint32_t valueBytes = encoding == Encoding::kRle24 ? 3 : 1;
  if (first != 0) {
    if (left < 1 + valueBytes) {
      command.size = static_cast<std::uint32_t>(left);
      return command;
    }
    command.kind = CommandKind::kEncoded;
    command.size = 1 + valueBytes;
    command.count = command.stated = first;
    for (std::uint32_t i = 0; i < valueBytes; ++i) command.value[i] = reader.byte(offset + 1 + i);
    return command;
  }
  if (left < 2) {
    command.size = 1;
    return command;
  }
  const std::uint8_t second = reader.byte(offset + 1);
  command.size = 2;
  if (second == 0) {
    command.kind = CommandKind::kEndOfLine;
  } else if (second == 1) {
    command.kind = CommandKind::kEndOfBitmap;
  } else if (second == 2) {
    if (left < 4) {
      command.size = static_cast<std::uint32_t>(left);
      return command;
    }
    command.kind = CommandKind::kDelta;
    command.size = 4;
    command.dx = reader.byte(offset + 2);
    command.dy = reader.byte(offset + 3);
  } else {
    command.kind = CommandKind::kAbsolute;
    command.stated = second;
    const std::uint64_t data = absoluteBytes(second, encoding);
    const std::uint64_t held = std::min<std::uint64_t>(data, left - 2);
    command.size = static_cast<std::uint32_t>(2 + held);
    // The pixels whose data the file holds: for RLE4 two a byte.
    command.count = encoding == Encoding::kRle4
                        ? std::min<std::uint32_t>(second, static_cast<std::uint32_t>(held * 2))
                    : encoding == Encoding::kRle24 ? static_cast<std::uint32_t>(held / 3)
                                                   : static_cast<std::uint32_t>(held);
    // The data is padded to a whole number of 16-bit words; a pad the file lacks is no loss.
    command.pad = held == data && data % 2 == 1 && left > 2 + data ? 1 : 0;
  }
  return command;
}

Cursor advance(const Cursor& before, const Command& command) {
  Cursor after = before;
  after.offset = before.offset + command.size + command.pad;
  switch (command.kind) {
    case CommandKind::kEncoded:
    case CommandKind::kAbsolute:
      after.x += command.count;
      break;
    case CommandKind::kEndOfLine:
      after.row += 1;
      after.x = 0;
      break;
    case CommandKind::kDelta:
      after.x += command.dx;
      after.row += command.dy;
      break;
    case CommandKind::kEndOfBitmap:
    case CommandKind::kCut:
      break;
  }
  return after;
}

const char* commandName(CommandKind kind) {
  switch (kind) {
    case CommandKind::kEncoded:
      return "encoded run";
    case CommandKind::kAbsolute:
      return "absolute run";
    case CommandKind::kEndOfLine:
      return "end of line";
    case CommandKind::kEndOfBitmap:
      return "end of bitmap";
    case CommandKind::kDelta:
      return "delta";
    case CommandKind::kCut:
      return "command cut by the end of the file";
  }
  return "";
}

RunPixel runPixel(const Command& command, std::uint32_t i, Encoding encoding) {
  RunPixel pixel;
  const bool rle4 = encoding == Encoding::kRle4;
  if (command.kind == CommandKind::kEncoded) {
    pixel.offset = command.offset + 1;
    pixel.size = encoding == Encoding::kRle24 ? 3 : 1;
  } else if (encoding == Encoding::kRle24) {
    pixel.offset = command.offset + 2 + std::uint64_t{i} * 3;
    pixel.size = 3;
  } else {
    pixel.offset = command.offset + 2 + (rle4 ? i / 2 : i);
  }
  // RLE4 alternates the high and the low nibble, the high one first.
  if (rle4) pixel.shift = i % 2 == 0 ? 4 : 0;
  return pixel;
}

}  // namespace decode
