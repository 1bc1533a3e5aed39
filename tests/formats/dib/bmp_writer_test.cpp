#include "formats/dib/bmp_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "formats/common/output_file.h"
#include "formats/dib/dib_reader.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

std::vector<uint8_t> Encode(std::vector<uint8_t> row, int width, int mode) {
  std::vector<uint8_t> out;
  const std::size_t length = EncodeRleRow(row, width, mode, &out);
  EXPECT_EQ(length, out.size());
  EXPECT_EQ(EncodeRleRow(row, width, mode, nullptr), length);
  return out;
}

TEST(BmpRleEncodingTest, RowsEncodeAsTheFileFormatExpects) {
  EXPECT_EQ(Encode(std::vector<uint8_t>(10, 0x42), 10, 1), (std::vector<uint8_t>{10, 0x42, 0, 0}));
  EXPECT_EQ(Encode({1, 2, 3, 3, 3, 3}, 6, 1), (std::vector<uint8_t>{0, 4, 1, 2, 3, 3, 2, 3, 0, 0}));
  EXPECT_EQ(Encode({5, 6, 7}, 3, 1), (std::vector<uint8_t>{1, 5, 1, 6, 1, 7, 0, 0}));
  EXPECT_EQ(Encode({0x33, 0x33, 0x30}, 5, 2), (std::vector<uint8_t>{4, 0x33, 1, 0x30, 0, 0}));
  // Three pixels left over in RLE4 go out in absolute mode, the nibble past the width cleared.
  EXPECT_EQ(Encode({0x12, 0x34, 0x56, 0x7F}, 7, 2), (std::vector<uint8_t>{0, 4, 0x12, 0x34, 0, 3, 0x56, 0x70, 0, 0}));
}

TEST(BmpRleEncodingTest, LongRunsAndLiteralsAreSplitBelow256Pixels) {
  const auto runs = Encode(std::vector<uint8_t>(600, 9), 600, 1);
  EXPECT_EQ(runs, (std::vector<uint8_t>{254, 9, 254, 9, 92, 9, 0, 0}));

  std::vector<uint8_t> literal(300);
  for (std::size_t i = 0; i < literal.size(); ++i) literal[i] = static_cast<uint8_t>(i);
  const auto out = Encode(literal, 300, 1);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 254);
  const auto nibbles = Encode(std::vector<uint8_t>(200, 0x5A), 400, 2);
  EXPECT_EQ(nibbles[0], 252);
}

// Rows with runs, literals and odd tails, in every palette depth.
PackedDib PatternImage(int width, int height, int bits) {
  PackedDib dib = CreateDib(width, height, bits, bits <= 8 ? (1u << bits) : 0);
  for (std::size_t i = 0; i < dib.Colors().size(); ++i) {
    dib.Colors()[i] = {static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 11), 0};
  }
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    auto row = dib.Row(y);
    const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
    for (std::size_t i = 0; i < used; ++i) {
      seed = seed * 1103515245 + 12345;
      // Long stretches of one value alternate with noise.
      row[i] = ((i / 40 + y) % 3 == 0) ? static_cast<uint8_t>(seed >> 16) : static_cast<uint8_t>(y * 7 + i / 40);
      if (bits == 32 && i % 4 == 3) row[i] = 0;
      if (bits == 16 && i % 2 == 1) row[i] &= 0x7F;
    }
    // Clear the bits past the width so that the padding is zero as after reading a file.
    const int tailBits = static_cast<int>(used * 8 - static_cast<std::size_t>(width) * bits);
    if (tailBits > 0) row[used - 1] &= static_cast<uint8_t>(0xFF << tailBits);
  }
  return dib;
}

bool SamePixels(const PackedDib& a, const PackedDib& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.BitCount() == b.BitCount() &&
         std::equal(a.Pixels().begin(), a.Pixels().end(), b.Pixels().begin(), b.Pixels().end()) &&
         std::equal(a.Colors().begin(), a.Colors().end(), b.Colors().begin(), b.Colors().end());
}

bool WritePlainFile(const std::filesystem::path& file, const PackedDib& dib) {
  auto out = OutputFile::Create(file);
  return out && WriteBmp(dib, out->Stream()) && out->Commit();
}

bool SameAtFiveBits(const test::RgbImage& a, const test::RgbImage& b) {
  if (a.width != b.width || a.height != b.height) return false;
  for (std::size_t i = 0; i < a.rgb.size(); ++i) {
    if ((a.rgb[i] >> 3) != (b.rgb[i] >> 3)) return false;
  }
  return true;
}

bool WithinOne(const test::RgbImage& a, const test::RgbImage& b) {
  if (a.width != b.width || a.height != b.height) return false;
  for (std::size_t i = 0; i < a.rgb.size(); ++i) {
    if (std::abs(a.rgb[i] - b.rgb[i]) > 1) return false;
  }
  return true;
}

struct Form {
  const char* name;
  int bits;
  int kind;  // 0 plain, 1 RLE, 2 bit fields 5-5-5/8-8-8, 3 bit fields 5-6-5/10-10-10
};

// Every form is read back the same by our reader and by ImageMagick.
TEST(BmpWriterTest, EveryFormReadsBackIdentically) {
  const Form forms[] = {{"plain 1", 1, 0},  {"plain 4", 4, 0},  {"plain 8", 8, 0},  {"plain 16", 16, 0},
                        {"plain 24", 24, 0}, {"plain 32", 32, 0}, {"RLE4", 4, 1},      {"RLE8", 8, 1},
                        {"555", 16, 2},      {"565", 16, 3},      {"888", 32, 2},      {"101010", 32, 3}};
  test::TempDir temp;
  for (const Form& form : forms) {
    for (int width : {1, 2, 3, 5, 7, 64, 299, 601}) {
      SCOPED_TRACE(std::string(form.name) + " width " + std::to_string(width));
      const PackedDib image = PatternImage(width, 5, form.bits);
      const auto file = temp / "out.bmp";
      bool written = false;
      if (form.kind == 0) written = WritePlainFile(file, image);
      if (form.kind == 1) written = WriteBmpRle(file, image);
      if (form.kind >= 2) written = WriteBmpBitfields(file, image, form.kind - 2);
      ASSERT_TRUE(written);
      const auto bytes = test::ReadBytes(file);
      const ReadResult back = ReadWindowsDib(bytes);
      ASSERT_TRUE(back.dib);
      EXPECT_TRUE(SamePixels(back.dib, image));
      if (width == 601 || width == 7) {
        const auto reference = test::DecodeWithImageMagick(file);
        ASSERT_TRUE(reference || !test::HaveProgram("/usr/bin/convert"));
        if (reference && form.kind == 3 && form.bits == 16) {
          // 5-bit green in a 6-bit field: other programs widen it differently, by at most 3.
          EXPECT_TRUE(SameAtFiveBits(*reference, test::DibToRgb(image)));
        } else if (reference && form.kind == 3) {
          // ImageMagick shifts 10-bit fields into 16 bits without repeating their bits and then
          // truncates, so a full field (1023) comes out as 254: it is one short at most.
          EXPECT_TRUE(WithinOne(*reference, test::DibToRgb(image)));
        } else if (reference) {
          EXPECT_TRUE(*reference == test::DibToRgb(image));
        }
      }
    }
  }
}

TEST(BmpWriterTest, HeadersDescribeEachForm) {
  test::TempDir temp;
  const PackedDib eight = PatternImage(10, 3, 8);
  ASSERT_TRUE(WriteBmpRle(temp / "rle.bmp", eight));
  auto b = test::ReadBytes(temp / "rle.bmp");
  const auto dword = [&](std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
  EXPECT_EQ(dword(10), 54u + 1024);           // bfOffBits
  EXPECT_EQ(dword(30), 1u);                   // BI_RLE8
  EXPECT_EQ(dword(2), b.size());              // bfSize
  EXPECT_EQ(dword(34), b.size() - 54 - 1024 - 2);  // biSizeImage without the end-of-bitmap pair
  EXPECT_EQ((std::vector<uint8_t>(b.end() - 2, b.end())), (std::vector<uint8_t>{0, 1}));

  PackedDib sixteen = CreateDib(3, 1, 16);
  const uint16_t pixels[3] = {0x7FFF, 0x03E0, 0x001F};
  std::memcpy(sixteen.Row(0).data(), pixels, sizeof pixels);
  ASSERT_TRUE(WriteBmpBitfields(temp / "565.bmp", sixteen, 1));
  b = test::ReadBytes(temp / "565.bmp");
  EXPECT_EQ(dword(10), 66u);
  EXPECT_EQ(dword(30), 3u);
  EXPECT_EQ(dword(34), 8u);
  EXPECT_EQ(dword(54), 0xF800u);
  EXPECT_EQ(b.size(), 66u + 8);
  EXPECT_EQ(b[66] | b[67] << 8, 0xFFDF);  // green to bits 6-10 with bit 5 clear
  EXPECT_EQ(b[68] | b[69] << 8, 0x07C0);
  EXPECT_EQ(b[72], 0);                    // two zero bytes after a row of odd width
  EXPECT_EQ(b[73], 0);

  PackedDib deep = CreateDib(1, 1, 32);
  const uint8_t bgrx[4] = {0x56, 0x34, 0x12, 0};
  std::memcpy(deep.Row(0).data(), bgrx, 4);
  ASSERT_TRUE(WriteBmpBitfields(temp / "101010.bmp", deep, 1));
  b = test::ReadBytes(temp / "101010.bmp");
  EXPECT_EQ(dword(54), 0xFFC00000u);
  // Components fill their 10-bit fields: red 0x12 as 0x048, green 0x34 as 0x0D0, blue 0x56 as 0x159.
  EXPECT_EQ(dword(66), (0x048u << 22) | (0x0D0u << 12) | (0x159u << 2));
}

TEST(BmpWriterTest, DepthsAFormCannotHoldAreRefusedWithoutAFile) {
  test::TempDir temp;
  EXPECT_FALSE(WriteBmpRle(temp / "a.bmp", PatternImage(4, 4, 24)));
  EXPECT_FALSE(WriteBmpRle(temp / "b.bmp", PatternImage(4, 4, 1)));
  EXPECT_FALSE(WriteBmpBitfields(temp / "c.bmp", PatternImage(4, 4, 8), 0));
  EXPECT_FALSE(WriteBmp(PackedDib(), stdout));
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

TEST(OutputFileTest, TheTargetChangesOnlyWhenTheWholeFileWasWritten) {
  test::TempDir temp;
  const auto target = temp / "keep.bmp";
  test::WriteBytes(target, {1, 2, 3});
  ::chmod(target.c_str(), 0640);
  {
    auto out = OutputFile::Create(target);
    ASSERT_TRUE(out);
    out->Write(std::vector<uint8_t>{9, 9});
    // Abandoned: no commit.
  }
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1);

  // A refused write leaves an existing file alone.
  EXPECT_FALSE(WriteBmpRle(target, PatternImage(4, 4, 24)));
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{1, 2, 3}));

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
