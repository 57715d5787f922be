// What the WebAssembly entry points share: the answer JavaScript reads, and its numbers.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// Keeps json as the last answer, valid until the next one, and returns it for JavaScript.
const char* answerWith(std::string json);

// A number from JavaScript as a whole number; UINT64_MAX, which no question accepts, for a
// fraction, a negative, NaN or one past 64 bits (Infinity among them).
std::uint64_t wholeNumber(double value);

}  // namespace app
