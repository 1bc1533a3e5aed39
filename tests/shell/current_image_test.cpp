#include "shell/current_image.h"

#include <gtest/gtest.h>

#include "support/test_images.h"

namespace ravelle {
namespace {

TEST(CompactDibDepthTest, FewColoursArePackedIntoFewerBitsAndManyStayAsTheyAre) {
  const auto eightBit = [](int width, int height, uint32_t colours) {
    PackedDib dib = CreateDib(width, height, 8, colours);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) test::SetPixel(dib, x, y, static_cast<uint32_t>(x + y) % std::max<uint32_t>(colours, 1));
    }
    return dib;
  };
  for (const uint32_t colours : {16u, 2u, 1u}) {  // only two colours go to 1 bit, one goes to 4
    PackedDib dib = eightBit(19, 5, colours);
    const auto pixels = test::PixelsOf(dib);
    CompactDibDepth(dib);
    EXPECT_EQ(dib.BitCount(), colours == 2 ? 1 : 4);
    EXPECT_EQ(test::PixelsOf(dib), pixels);
  }
  PackedDib four = CreateDib(9, 2, 4, 2);
  four.Row(1)[4] = 0x10;  // pixel 8 has colour 1
  CompactDibDepth(four);
  EXPECT_EQ(four.BitCount(), 1);
  EXPECT_EQ(four.Row(1)[1], 0x80);
  PackedDib many = eightBit(4, 4, 17);
  CompactDibDepth(many);
  EXPECT_EQ(many.BitCount(), 8);
}

TEST(PreviewFrameTest, FitsTheImageShapeIntoTheBox) {
  const Size box{320, 320};
  EXPECT_EQ(PreviewFrameFor(box, 50, 100), (Rect{80, 0, 160, 320}));
  EXPECT_EQ(PreviewFrameFor({320, 160}, 3, 2), (Rect{0, 26, 320, 107}));
  // Extreme or damaged sizes give at most the box.
  EXPECT_EQ(PreviewFrameFor(box, 3000000, 1), (Rect{0, 160, 320, 0}));
  EXPECT_EQ(PreviewFrameFor(box, 1, -3000000000LL), (Rect{0, 319, 320, -319}));
  EXPECT_EQ(PreviewFrameFor(box, -3000000000LL, -2), (Rect{0, 0, 320, 320}));
}

}  // namespace
}  // namespace ravelle
