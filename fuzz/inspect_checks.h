// The fuzz target's checks of the inspector: its answers about one input against each other and
// against the report the run printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// Opens the inspector on the input (reported as fileName, which gave report) and asks it about
// pixels, bytes, report places and excerpts chosen from the input's own bytes; aborts with a
// line on standard error when an answer disagrees with another or with the report.
void checkInspector(const std::uint8_t* data, std::size_t size, std::string_view fileName,
                    const std::string& report);

}  // namespace fuzz
