#include "shell/packed_dib.h"

#include <gtest/gtest.h>

namespace ravelle {
namespace {

TEST(PackedDibTest, StridesArePaddedToFourBytesForEveryDepth) {
  EXPECT_EQ(DibStride(1, 1), 4u);
  EXPECT_EQ(DibStride(33, 1), 8u);
  EXPECT_EQ(DibStride(9, 4), 8u);
  EXPECT_EQ(DibStride(5, 8), 8u);
  EXPECT_EQ(DibStride(3, 16), 8u);
  EXPECT_EQ(DibStride(5, 24), 16u);
  EXPECT_EQ(DibStride(3, 32), 12u);
  EXPECT_FALSE(DibStride(0, 8));
  EXPECT_FALSE(DibStride(-5, 8));
  EXPECT_FALSE(DibStride(10, 2));
  EXPECT_FALSE(DibStride(int64_t{1} << 40, 32));
}

TEST(PackedDibTest, HostileSizesAreRefusedBeforeAllocating) {
  BitmapInfoHeader header;
  header.biWidth = 3000000;
  header.biHeight = 2000000;
  header.biBitCount = 24;
  EXPECT_FALSE(DibBlockSize(header));
  header.biWidth = 0x7FFFFFFF;
  header.biHeight = 0x7FFFFFFF;
  header.biBitCount = 1;
  EXPECT_FALSE(DibBlockSize(header));
  EXPECT_FALSE(CreateDib(100000, 100000, 32));
  EXPECT_FALSE(AllocateDib(kMaxDibBytes + 1));
  EXPECT_FALSE(AllocateDib(39));
}

TEST(PackedDibTest, LayoutMatchesThePackedDibOfTheHeader) {
  PackedDib dib = CreateDib(5, 3, 4, 3);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib.Size(), 40u + 3 * 4 + 4 * 3);
  EXPECT_EQ(dib.Colors().size(), 3u);
  EXPECT_EQ(dib.PixelOffset(), 52u);
  EXPECT_EQ(dib.Stride(), 4u);
  EXPECT_EQ(dib.Row(0).data(), dib.Bytes().data() + 52);
  EXPECT_EQ(dib.Row(2).data(), dib.Bytes().data() + 60);
  EXPECT_TRUE(dib.Row(3).empty());
  EXPECT_TRUE(dib.Row(-1).empty());
  EXPECT_EQ(dib.Header().biSizeImage, 12u);

  PackedDib eight = CreateDib(2, 2, 8);
  EXPECT_EQ(eight.Colors().size(), 256u);
  PackedDib deep = CreateDib(2, 2, 24, 7);
  EXPECT_TRUE(deep.Colors().empty());
  EXPECT_EQ(deep.PixelOffset(), 40u);
}

TEST(PackedDibTest, AMovedFromImageIsEmpty) {
  PackedDib first = CreateDib(2, 2, 24);
  PackedDib second = std::move(first);
  EXPECT_FALSE(first);
  EXPECT_EQ(first.Size(), 0u);
  first = std::move(second);
  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
}

TEST(PackedDibTest, AccessorsStayInsideABlockSmallerThanItsHeaderSays) {
  PackedDib dib = AllocateDib(48);
  dib.Header().biWidth = 1000;
  dib.Header().biHeight = 1000;
  dib.Header().biBitCount = 8;
  EXPECT_EQ(dib.Colors().size(), 2u);
  EXPECT_TRUE(dib.Pixels().empty());
  EXPECT_TRUE(dib.Row(0).empty());
}

TEST(PackedDibTest, CloneCopiesEveryByte) {
  PackedDib dib = CreateDib(3, 2, 8, 2);
  dib.Row(1)[2] = 7;
  dib.Colors()[1].rgbRed = 9;
  PackedDib copy = dib.Clone();
  ASSERT_EQ(copy.Size(), dib.Size());
  EXPECT_TRUE(std::equal(copy.Bytes().begin(), copy.Bytes().end(), dib.Bytes().begin()));
  EXPECT_NE(copy.Bytes().data(), dib.Bytes().data());
}

}  // namespace
}  // namespace ravelle
