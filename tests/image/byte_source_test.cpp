#include "image/byte_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>

#include "image/limits.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

TEST(ByteSourceTest, OpensRegularFilesUpToTheLimit) {
  test::TempDir temp;
  test::WriteBytes(temp / "empty", {});
  const auto empty = ByteSource::OpenFile((temp / "empty").string(), kMaxFileBytes, 100);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->Head().empty());
  EXPECT_EQ(empty->Size(), 0u);
  EXPECT_FALSE(ByteSource::OpenFile((temp / "missing").string(), kMaxFileBytes, 100));
  EXPECT_FALSE(ByteSource::OpenFile(temp.path().string(), kMaxFileBytes, 100));  // a folder
  test::WriteBytes(temp / "ten", std::vector<uint8_t>(10, 7));
  const auto four = ByteSource::OpenFile((temp / "ten").string(), 4, 100);
  EXPECT_EQ(four->Size(), 4u);
  EXPECT_EQ(four->Head().size(), 4u);
}

// Reads inside the head, across its end and past the end, from a file and from memory.
TEST(ByteSourceTest, ReadsAtAnyOffsetAndShortAtTheEndOrAfterTheFileIsCut) {
  test::TempDir temp;
  std::vector<uint8_t> bytes(10000);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  test::WriteBytes(temp / "f", bytes);
  const auto file = ByteSource::OpenFile((temp / "f").string(), kMaxFileBytes, 100);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Head().size(), 100u);
  const ByteSource memory(bytes);
  struct Case { uint64_t offset; std::size_t length, expected; };
  for (const ByteSource* source : {&*file, &memory}) {
    for (const Case c : {Case{0, 50, 50}, Case{60, 100, 100}, Case{300, 4000, 4000}, Case{9990, 20, 10},
                         Case{10000, 5, 0}, Case{uint64_t{1} << 40, 5, 0}}) {
      SCOPED_TRACE(c.offset);
      std::vector<uint8_t> out(c.length, 0xEE);
      ASSERT_EQ(source->ReadAt(c.offset, out), c.expected);
      for (std::size_t i = 0; i < c.length; ++i) EXPECT_EQ(out[i], i < c.expected ? bytes[c.offset + i] : 0xEE);
      BlockPtr buffer;
      const auto rest = source->From(c.offset, buffer);
      EXPECT_EQ(rest.size(), c.offset < bytes.size() ? bytes.size() - c.offset : 0);
      EXPECT_TRUE(std::ranges::equal(rest, std::span(bytes).subspan(std::min<std::size_t>(c.offset, bytes.size()))));
    }
  }
  // Another program cuts the file short after it was opened: the reads give what is left.
  ASSERT_EQ(::truncate((temp / "f").c_str(), 3000), 0);
  std::vector<uint8_t> out(10000, 0xEE);
  EXPECT_EQ(file->ReadAt(0, out), 3000u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 3000, bytes.begin()));
  EXPECT_EQ(out[3000], 0xEE);
  BlockPtr buffer;
  EXPECT_EQ(file->From(100, buffer).size(), 2900u);
}

}  // namespace
}  // namespace ravelle
