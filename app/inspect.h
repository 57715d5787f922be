// The inspector's questions about one file, answered from its header as JSON for the page:
// where a pixel is stored and which dump items print its bytes, what a byte is, what a place
// in the report prints. The answers come from the report's own walk (report/locate.h) and the
// format's layout (bitmap/layout.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/layout.h"
#include "report/locate.h"

namespace app {

class Inspection {
 public:
  // head: the file's first bytes (58 or all of it), fileLength its length, fileName the name
  // the report is made under.
  Inspection(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileLength,
             std::string_view fileName);

  // The file as a whole: its picture's layout, the header fields and their lines, the table's
  // lines, and each dump's walk.
  std::string summary() const;
  // The pixel at x, y (0, 0 at the top left): its bytes, and each dump's item for each byte.
  std::string pixel(std::uint32_t x, std::uint32_t y) const;
  // The byte at offset: each dump's item for it, and the pixels it holds bits of.
  std::string byte(std::uint64_t offset) const;
  // What the report prints at line, column (from 1 and from 0).
  std::string place(std::uint64_t line, std::uint64_t column) const;
  // The windows of whole lines around lines, in the report's bytes (report::lineWindows).
  std::string windows(const std::vector<std::uint64_t>& lines, std::uint64_t before,
                      std::uint64_t after) const;

 private:
  report::ReportMap map_;
  bitmap::PixelLayout layout_;
};

}  // namespace app
