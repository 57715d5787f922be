// The decoder's checks on any input, called by the fuzz target and by the test on every test file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Runs the decoder, the map and pixel sources on the bytes; returns what first fails, or
// nullptr: the map does not cover the bytes exactly or a lookup disagrees with the walk, a field
// does not read as its bytes, a row decodes otherwise alone, a pixel's source is out of place or
// does not hold its value and colour, or an RLE pixel is skipped though a run sets it. Sources of
// rows and columns sampled from the picture, or of every pixel of a small one (and then RLE
// skips).
const char* decoderFault(const std::uint8_t* data, std::size_t size, bool everyPixel);

// The same, aborting with a line on standard error at a fault.
void checkDecoder(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
