// The decoder's WebAssembly entry points, in both builds: a file opened from bytes the core
// holds, from a path (Node's file system, as the CLI reads it), or through a read function in
// JavaScript; then its format, its map, a pixel and rows of pixels. wasm_decode.js is their
// JavaScript face; app/decode_answers.h documents every answer.
#include <emscripten.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/decode_answers.h"
#include "app/inspect.h"
#include "app/json.h"
#include "app/wasm_answer.h"
#include "app/wasm_files.h"
#include "decode/decoder.h"

namespace {

// The most pixels one decoderRows call decodes: 5 MiB of RGBA and states.
constexpr std::uint64_t kMaxRowPixels = std::uint64_t{1} << 20;

// The file the decoder reads, and the decoder on it.
struct OpenFile {
  std::unique_ptr<app::WasmFile> file;
  std::unique_ptr<decode::Decoder> decoder;
};
std::unique_ptr<OpenFile> file;
// The last rows decoded: their RGBA, then their states.
std::vector<std::uint8_t> rows;

// Opens the decoder on next; a refusal that says why when there is none.
const char* open(std::unique_ptr<app::WasmFile> next, const char* why) {
  file.reset();
  if (next == nullptr) return app::answerWith(app::refusal(why));
  file = std::make_unique<OpenFile>();
  file->file = std::move(next);
  file->decoder = std::make_unique<decode::Decoder>(*file->file->input);
  return app::answerWith(app::formatAnswer(file->decoder->format()));
}

// The open file's answer to a question, or a refusal when none is open.
template <class Question>
const char* ask(const Question& question) {
  return app::answerWith(file != nullptr ? question(*file->decoder)
                                         : app::refusal("no file is open to decode"));
}

std::string rowsAnswer(decode::Decoder& decoder, std::uint64_t y, std::uint64_t count,
                       std::uint64_t x, std::uint64_t width) {
  if (!decoder.decodes()) return app::refusal("not decoded: " + decoder.format().problem);
  // No count: to the picture's right edge.
  if (width == UINT64_MAX && x <= decoder.width()) width = decoder.width() - x;
  // Each bound is checked alone first, so that no sum or product below wraps.
  const bool within = y <= decoder.height() && count <= decoder.height() - y &&
                      x <= decoder.width() && width <= decoder.width() - x;
  if (!within || (width > 0 && count > kMaxRowPixels / width)) {
    return app::refusal(
        "rows y to y + rows - 1 and pixels x to x + count - 1 must lie within "
        "the picture, at most " +
        std::to_string(kMaxRowPixels) + " pixels at once");
  }
  const auto pixels = static_cast<std::size_t>(count * width);
  rows.resize(pixels * 5);
  std::uint8_t* rgba = rows.data();
  std::uint8_t* state = rgba + pixels * 4;
  for (std::uint64_t r = 0; r < count; ++r) {
    const auto at = static_cast<std::size_t>(r * width);
    decoder.decodeRow(static_cast<std::uint32_t>(y + r), static_cast<std::uint32_t>(x),
                      static_cast<std::uint32_t>(width), rgba + at * 4, state + at);
  }
  app::Json json;
  json.begin('{');
  json.number("rgba", reinterpret_cast<std::uintptr_t>(rgba));
  json.number("state", reinterpret_cast<std::uintptr_t>(state));
  json.number("pixels", pixels);
  json.end('}');
  return json.str();
}

}  // namespace

// Opens the decoder on size bytes held at data, which stay there until it is closed; returns
// the format answer. The questions below are about this file until another is opened.
extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderOpenHeld(const std::uint8_t* data,
                                                            std::size_t size) {
  return open(app::heldFile(data, size), "");
}

// Opens the decoder on the file at path (UTF-8), read as the report reads it; a refusal when
// it cannot be opened.
extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderOpenPath(const char* path) {
  return open(app::pathFile(path), "the file cannot be opened");
}

// Opens the decoder on a file of size bytes that Module.fileReaders[0](offset, target) reads.
extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderOpenReader(double size) {
  return open(app::readerFile(app::kDecoderReader, size),
              "the size must be a whole number of bytes");
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderFormat() {
  return ask([](decode::Decoder& decoder) { return app::formatAnswer(decoder.format()); });
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderRegions(double from, double to, double max) {
  return ask([&](decode::Decoder& decoder) {
    return app::regionsAnswer(decoder, app::wholeNumber(from), app::wholeNumber(to),
                              app::wholeNumber(max));
  });
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderRegionCount(double from, double to, double max) {
  return ask([&](decode::Decoder& decoder) {
    return app::regionCountAnswer(decoder, app::wholeNumber(from), app::wholeNumber(to),
                                  app::wholeNumber(max));
  });
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderRegionAt(double offset) {
  return ask([&](decode::Decoder& decoder) {
    return app::regionAtAnswer(decoder, app::wholeNumber(offset));
  });
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderPixel(double x, double y) {
  return ask([&](decode::Decoder& decoder) {
    return app::pixelAnswer(decoder, app::wholeNumber(x), app::wholeNumber(y));
  });
}

// How many pixels one decoderRows call decodes at most.
extern "C" EMSCRIPTEN_KEEPALIVE double decoderRowsLimit() {
  return static_cast<double>(kMaxRowPixels);
}

// Decodes rows y to y + count - 1, pixels x to x + width - 1 of each (to the right edge when
// width is not a whole number), into the core's memory: {rgba, state, pixels}, where they lie
// (valid until the next call), or a refusal.
extern "C" EMSCRIPTEN_KEEPALIVE const char* decoderRows(double y, double count, double x,
                                                        double width) {
  return ask([&](decode::Decoder& decoder) {
    return rowsAnswer(decoder, app::wholeNumber(y), app::wholeNumber(count), app::wholeNumber(x),
                      app::wholeNumber(width));
  });
}

// Lets go of the open file and of the last rows.
extern "C" EMSCRIPTEN_KEEPALIVE void decoderClose() {
  file.reset();
  rows = {};
}
