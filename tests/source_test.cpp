// The block reader keeps byte-stream semantics across block boundaries and past the end.
#include "bitmap/source.h"

#include <gtest/gtest.h>

#include "tests/support/bmp_builder.h"
#include "tests/support/harness.h"

namespace {

std::uint8_t patternAt(std::uint64_t i) { return static_cast<std::uint8_t>(i * 7 % 251); }

class SourceTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kLength = 2 * bitmap::Source::kBlockSize + 1000;
  void SetUp() override {
    std::vector<std::uint8_t> bytes(kLength);
    for (std::size_t i = 0; i < kLength; ++i) bytes[i] = patternAt(i);
    path_ = testing_support::scratchDir() + "/source.bin";
    ASSERT_TRUE(testing_support::writeFile(path_, bytes));
    ASSERT_TRUE(file_.open(path_.c_str()));
  }
  std::string path_;
  bitmap::Source file_;
};

TEST_F(SourceTest, ReadsAcrossBlockBoundariesAndSeeksBothWays) {
  EXPECT_EQ(file_.seekEnd(), kLength);
  std::uint8_t bytes[8];
  // Straddling the first block boundary, then jumping back before it.
  file_.seekSet(bitmap::Source::kBlockSize - 3);
  ASSERT_EQ(file_.read(bytes, 8), 8u);
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_EQ(bytes[i], patternAt(bitmap::Source::kBlockSize - 3 + i));
  file_.seekSet(5);
  ASSERT_EQ(file_.read(bytes, 1), 1u);
  EXPECT_EQ(bytes[0], patternAt(5));
  file_.seekCur(2 * bitmap::Source::kBlockSize);
  ASSERT_EQ(file_.read(bytes, 1), 1u);
  EXPECT_EQ(bytes[0], patternAt(2 * bitmap::Source::kBlockSize + 6));
  // A relative seek to before the start fails and leaves the position.
  file_.seekSet(10);
  file_.seekCur(-11);
  EXPECT_EQ(file_.position(), 10u);
  file_.seekCur(-10);
  EXPECT_EQ(file_.position(), 0u);
}

TEST_F(SourceTest, ReadsAtTheEndFindWhatIsLeftAndLeaveTheRestAlone) {
  std::uint8_t bytes[4] = {0xAA, 0xBB, 0xCC, 0xDD};
  file_.seekSet(kLength - 2);
  EXPECT_EQ(file_.read(bytes, 4), 2u);
  EXPECT_EQ(bytes[0], patternAt(kLength - 2));
  EXPECT_EQ(bytes[1], patternAt(kLength - 1));
  EXPECT_EQ(bytes[2], 0xCC);
  EXPECT_EQ(file_.read(bytes, 4), 0u);
  file_.seekSet(std::uint64_t{1} << 33);  // far past the end is a valid position
  EXPECT_EQ(file_.read(bytes, 4), 0u);
  EXPECT_EQ(bytes[0], patternAt(kLength - 2));
  EXPECT_EQ(file_.view().size, 0u);
}

TEST_F(SourceTest, ViewServesTheBlockInPlace) {
  file_.seekSet(100);
  const bitmap::Source::View view = file_.view();
  ASSERT_EQ(view.size, bitmap::Source::kBlockSize);
  EXPECT_EQ(view.data[0], patternAt(100));
  file_.consume(view.size);
  EXPECT_EQ(file_.position(), 100 + bitmap::Source::kBlockSize);
  EXPECT_EQ(file_.view().data[0], patternAt(100 + bitmap::Source::kBlockSize));
}

}  // namespace
