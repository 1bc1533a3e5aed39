#include "image/packed_dib.h"

#include <gtest/gtest.h>

namespace ravelle {
namespace {

TEST(PackedDibTest, StridesArePaddedToFourBytesAndHostileSizesRefusedBeforeAllocating) {
  EXPECT_EQ(DibStride(33, 1), 8u);
  EXPECT_EQ(DibStride(9, 4), 8u);
  EXPECT_EQ(DibStride(3, 16), 8u);
  EXPECT_EQ(DibStride(5, 24), 16u);
  for (const auto& [width, bits] : {std::pair<int64_t, int>{0, 8}, {-5, 8}, {10, 2}, {int64_t{1} << 40, 32}}) {
    EXPECT_FALSE(DibStride(width, bits)) << width << " " << bits;
  }
  BitmapInfoHeader header;
  header.biWidth = 3000000;
  header.biHeight = 2000000;
  header.biBitCount = 24;
  EXPECT_FALSE(DibBlockSize(header));
  header.biWidth = header.biHeight = 0x7FFFFFFF;
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
  EXPECT_EQ(dib.Row(0).data(), dib.Bytes().data() + 52);
  EXPECT_EQ(dib.Row(2).data(), dib.Bytes().data() + 60);
  EXPECT_TRUE(dib.Row(3).empty());
  EXPECT_TRUE(dib.Row(-1).empty());
  EXPECT_EQ(dib.Header().biSizeImage, 12u);
  EXPECT_EQ(CreateDib(2, 2, 8).Colors().size(), 256u);
  EXPECT_EQ(CreateDib(2, 2, 24, 7).PixelOffset(), 40u);  // no table behind a deep image
}

TEST(PackedDibTest, AccessorsStayInsideAShortBlock) {
  PackedDib dib = AllocateDib(48);  // smaller than its header says
  dib.Header().biWidth = 1000;
  dib.Header().biHeight = 1000;
  dib.Header().biBitCount = 8;
  EXPECT_EQ(dib.Colors().size(), 2u);
  EXPECT_TRUE(dib.Pixels().empty());
  EXPECT_TRUE(dib.Row(0).empty());
}

}  // namespace
}  // namespace ravelle
