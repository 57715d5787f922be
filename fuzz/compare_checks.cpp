// The comparison on any bytes: an input against itself, and both ways against a copy with a byte
// changed, one cut short and one with its height negated; held to itself the other way round,
// to a plain comparison of the decoder's rows, to the comparison read through tiny blocks, and to
// a bound on its heap. The heap is measured by the fuzz target's own global operator new and
// delete, defined here, which count the bytes they hold.
#include "fuzz/compare_checks.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "compare/comparison.h"
#include "compare/lines.h"
#include "decode/decoder.h"
#include "tests/support/plain_comparison.h"

namespace {

// The bytes operator new holds now, and the most it has held since the peak was last set.
std::atomic<std::size_t> heapHeld{0};
std::atomic<std::size_t> heapPeak{0};
// Room before each block for its size, keeping the block aligned for any type.
constexpr std::size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(std::size_t), "a block's size fits before it");

}  // namespace

// Every plain form is replaced, so that no block meets a delete of another allocator (a
// sanitizer's runtime defines the forms a program leaves out). Aligned forms pair among
// themselves and are left as they are.
void* operator new(std::size_t size) {
  void* block = size <= std::numeric_limits<std::size_t>::max() - kHeader
                    ? std::malloc(size + kHeader)
                    : nullptr;
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, &size, sizeof size);
  const std::size_t held = heapHeld += size;
  std::size_t peak = heapPeak.load();
  while (held > peak && !heapPeak.compare_exchange_weak(peak, held)) {
  }
  return static_cast<unsigned char*>(block) + kHeader;
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}

void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  heapHeld -= size;
  std::free(block);
}

void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete(void* pointer, std::size_t /*size*/) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, std::size_t /*size*/) noexcept { operator delete(pointer); }
void operator delete(void* pointer, const std::nothrow_t& /*tag*/) noexcept {
  operator delete(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t& /*tag*/) noexcept {
  operator delete(pointer);
}

namespace fuzz {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Pictures up to this many pixels and rows are also compared plainly and through tiny blocks.
constexpr std::uint64_t kPlainPixels = std::uint64_t{1} << 16;

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "compare_checks: %s\n", what);
    std::abort();
  }
}

// Bytes served only by copying them, as a file's are: each of the comparison's readers then
// holds a block of its own, which its heap counts.
class CopiedInput final : public decode::Input {
 public:
  explicit CopiedInput(const Bytes& bytes) : bytes_(bytes) {}
  std::uint64_t size() override { return bytes_.size(); }
  std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t count) override {
    if (offset >= bytes_.size()) return 0;
    const auto n = std::min(count, bytes_.size() - static_cast<std::size_t>(offset));
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, dst);
    return n;
  }

 private:
  const Bytes& bytes_;
};

// What the comparison of files of these sizes may hold: a read block for each file and the
// decoder's copy of a piece across two blocks (8 bytes a pixel), a piece of RGBA and states for
// each, an RLE checkpoint (24 bytes) for at most every second byte of each, and 256 KiB for the
// fields, entries, listed pixels and names.
std::size_t heapBound(std::size_t sizeA, std::size_t sizeB) {
  constexpr std::size_t kPiece = 16384;
  return 2 * (decode::BlockReader::kBlockSize + kPiece * 8 + kPiece * 5) + 12 * (sizeA + sizeB) +
         std::size_t{256} * 1024;
}

compare::Comparison compared(const Bytes& a, const Bytes& b) {
  CopiedInput inputA(a);
  CopiedInput inputB(b);
  const std::size_t before = heapHeld.load();
  heapPeak.store(before);
  compare::Comparison comparison = compare::compareFiles(inputA, inputB);
  require(heapPeak.load() - before <= heapBound(a.size(), b.size()),
          "the comparison's heap grows past its bound");
  return comparison;
}

bool sameBox(const compare::Box& a, const compare::Box& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Two different files, compared both ways.
void checkPair(const Bytes& a, const Bytes& b) {
  const compare::Comparison ab = compared(a, b);
  const compare::Comparison ba = compared(b, a);
  require(ab.identicalBytes == (a == b) && ba.identicalBytes == ab.identicalBytes,
          "files are called identical when they are not, or not when they are");
  require(ab.verdict == ba.verdict && ab.same == ba.same, "the verdict depends on the order");
  const compare::PixelComparison& pixels = ab.pixels;
  const compare::PixelComparison& back = ba.pixels;
  require(pixels.compared == back.compared && pixels.differ == back.differ &&
              pixels.stateDiffer == back.stateDiffer && pixels.largest == back.largest &&
              (pixels.differ == 0 || sameBox(pixels.box, back.box)),
          "the pixels that differ depend on the order");
  require(pixels.count == std::uint64_t{pixels.width} * pixels.height &&
              pixels.stateDiffer <= pixels.differ && pixels.differ <= pixels.count,
          "more pixels differ than are compared");
  require(pixels.differ == 0 ||
              (pixels.box.left <= pixels.box.right && pixels.box.right < pixels.width &&
               pixels.box.top <= pixels.box.bottom && pixels.box.bottom < pixels.height),
          "the box lies outside the area compared");
  require(pixels.first.size() == std::min<std::uint64_t>(pixels.differ, compare::Bounds{}.pixels),
          "the pixels listed are not the first that differ, up to the bound");
  const std::vector<std::string> lines = compare::comparisonLines(ab);
  require(!lines.empty() && lines.back().rfind("verdict: ", 0) == 0,
          "the lines end without a verdict");
  // The plain comparison holds a whole row and walks every row, of no pixels too.
  if (pixels.compared && !ab.identicalBytes &&
      std::max<std::uint64_t>({pixels.count, pixels.width, pixels.height}) <= kPlainPixels) {
    const std::string wrong = testing_support::disagreement(a, b, ab);
    require(wrong.empty(), ("the comparison disagrees on " + wrong).c_str());
  }
}

}  // namespace

void checkComparison(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, data + size);
  const compare::Comparison self = compared(input, input);
  const bool bitmap = size >= 2 && data[0] == 'B' && data[1] == 'M';
  require(self.a.bitmap == bitmap && self.b.bitmap == bitmap, "a bitmap is not told by its BM");
  // Status 0 is same; nothing is listed.
  require(self.same == bitmap && self.identicalBytes == bitmap &&
              (self.verdict == compare::Verdict::kIdentical) == bitmap,
          "an input compared with itself is not identical");
  require(self.fields.empty() && self.entries.empty() && self.entriesDiffer == 0 &&
              self.pixels.differ == 0 && self.pixels.first.empty(),
          "an input compared with itself lists a difference");
  if (!bitmap) return;
  require(compare::comparisonLines(self).size() == 2,
          "an input compared with itself takes more than two lines");

  decode::MemoryInput memory(data, size);
  const decode::Decoder decoder(memory);
  const decode::Format& format = decoder.format();
  // A byte of the pixels, or of the headers when the file holds none, chosen by the input's own
  // last and middle bytes, and changed.
  const std::size_t start =
      format.layout.start < size ? static_cast<std::size_t>(format.layout.start) : 0;
  const std::size_t pick = std::size_t{data[size - 1]} * 257 + data[size / 2];
  Bytes changed = input;
  changed[start + pick % (size - start)] ^= static_cast<std::uint8_t>(1 + data[size / 2] % 255);
  checkPair(input, changed);
  // Cut at such a byte.
  checkPair(input, Bytes(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(
                                                            start + pick / 3 % (size - start))));
  // The height negated: the 32-bit field at 22 of every header but OS/2 1.x's.
  if (format.kind != decode::HeaderKind::kNone && format.kind != decode::HeaderKind::kCore &&
      size >= 26) {
    Bytes flipped = input;
    std::uint32_t height = 0;
    for (std::size_t i = 0; i < 4; ++i) height |= std::uint32_t{input[22 + i]} << (8 * i);
    height = 0u - height;  // wraps: INT32_MIN stays itself
    for (std::size_t i = 0; i < 4; ++i)
      flipped[22 + i] = static_cast<std::uint8_t>(height >> (8 * i));
    checkPair(input, flipped);
  }
}

}  // namespace fuzz
