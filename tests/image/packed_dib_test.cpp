#include "image/packed_dib.h"

#include <gtest/gtest.h>

namespace ravelle {
namespace {

TEST(PackedDibTest, HostileSizesAreRefusedBeforeAllocating) {
  for (const auto& [width, bits] : {std::pair<int64_t, int>{0, 8}, {-5, 8}, {10, 2}, {int64_t{1} << 40, 32}}) {
    EXPECT_FALSE(DibStride(width, bits)) << width << " " << bits;
  }
  BitmapInfoHeader header;
  header.biWidth = 3000000;
  header.biHeight = 2000000;
  header.biBitCount = 24;
  EXPECT_FALSE(DibBlockSize(header));
  EXPECT_FALSE(CreateDib(100000, 100000, 32));
  EXPECT_FALSE(AllocateDib(kMaxDibBytes + 1));
  EXPECT_FALSE(AllocateDib(39));
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
