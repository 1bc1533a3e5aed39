#include "formats/dib/bmp_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "image/output_file.h"
#include "formats/dib/bmp_builder.h"
#include "formats/dib/dib_reader.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

TEST(BmpRleEncodingTest, RowsEncodeAsTheFileFormatExpectsWithRunsAndLiteralsBelow256) {
  std::vector<uint8_t> counting(300);
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i);
  const struct {
    std::vector<uint8_t> row;
    int width, mode;
    std::vector<uint8_t> start;  // the encoding, or its first bytes
  } cases[] = {
      {std::vector<uint8_t>(10, 0x42), 10, 1, {10, 0x42, 0, 0}},
      {{1, 2, 3, 3, 3, 3}, 6, 1, {0, 4, 1, 2, 3, 3, 2, 3, 0, 0}},
      {{5, 6, 7}, 3, 1, {1, 5, 1, 6, 1, 7, 0, 0}},
      {{0x33, 0x33, 0x30}, 5, 2, {4, 0x33, 1, 0x30, 0, 0}},
      // Three pixels left over in RLE4 go out in absolute mode, the nibble past the width cleared.
      {{0x12, 0x34, 0x56, 0x7F}, 7, 2, {0, 4, 0x12, 0x34, 0, 3, 0x56, 0x70, 0, 0}},
      {std::vector<uint8_t>(600, 9), 600, 1, {254, 9, 254, 9, 92, 9, 0, 0}},
      {counting, 300, 1, {0, 254, 0, 1}},
      {std::vector<uint8_t>(200, 0x5A), 400, 2, {252, 0x5A}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    const std::size_t length = EncodeRleRow(c.row, c.width, c.mode, &out);
    EXPECT_EQ(length, out.size());
    EXPECT_EQ(EncodeRleRow(c.row, c.width, c.mode, nullptr), length);  // counting alone
    ASSERT_GE(out.size(), c.start.size());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.start.size())), c.start)
        << "width " << c.width;
  }
}

TEST(BmpWriterTest, HeadersAndFieldsOfTheCompressedForms) {
  test::TempDir temp;
  ASSERT_TRUE(WriteBmpRle(temp / "rle.bmp", test::RandomImage(10, 3, 8, 8)));
  auto b = test::ReadBytes(temp / "rle.bmp");
  const auto dword = [&](std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
  EXPECT_EQ(dword(2), b.size());                   // bfSize
  EXPECT_EQ(dword(34), b.size() - 54 - 1024 - 2);  // biSizeImage without the end-of-bitmap pair
  EXPECT_EQ((std::vector<uint8_t>(b.end() - 2, b.end())), (std::vector<uint8_t>{0, 1}));

  ASSERT_TRUE(WriteBmpBitfields(temp / "565.bmp", test::ImageOf(3, 1, 16, {0x7FFF, 0x03E0, 0x001F}), 1));
  b = test::ReadBytes(temp / "565.bmp");
  EXPECT_EQ(dword(34), 8u);
  // Green to bits 6-10 with bit 5 clear, then two zero bytes after a row of odd width.
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 66, b.end()), test::Le16({0xFFDF, 0x07C0, 0x001F, 0}));
}

TEST(BmpWriterTest, ATargetChangesOnlyWhenTheWholeFileWasWritten) {
  test::TempDir temp;
  const auto target = temp / "keep.bmp";
  test::WriteBytes(target, {1, 2, 3});
  ::chmod(target.c_str(), 0640);
  EXPECT_FALSE(WriteBmpRle(target, test::RandomImage(4, 4, 24, 24)));  // a refused write leaves it alone
  {
    auto out = OutputFile::Create(target);
    ASSERT_TRUE(out);
    out->Write(std::vector<uint8_t>{9, 9});  // abandoned: no commit
  }
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1);

  auto out = OutputFile::Create(target);
  ASSERT_TRUE(out);
  out->Write(std::vector<uint8_t>{7});
  ASSERT_TRUE(out->Commit());
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{7}));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // an existing file keeps its permissions
  EXPECT_FALSE(OutputFile::Create(temp / "no-such-folder" / "x.bmp"));
}

}  // namespace
}  // namespace ravelle
