// The decoder's checks on any input, called by the fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Runs the decoder, the map and pixel sources on the bytes; aborts when the map does not cover
// them exactly, a state or a source is out of place, or a region lookup disagrees with the walk.
void checkDecoder(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
