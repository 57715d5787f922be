// The write function the WebAssembly entry points give their sinks: each block of the report
// goes to the JavaScript caller's function (wasm_api.js).
#pragma once

#include <cstddef>

namespace app {

// Hands one block to the caller; 0, or an errno value when it could not be written.
int writeBlockToCaller(const char* data, std::size_t size);

}  // namespace app
