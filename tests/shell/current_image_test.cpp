#include "shell/current_image.h"

#include <gtest/gtest.h>

#include "headless/headless_port.h"
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
    const std::size_t size = dib.Size();
    const auto pixels = test::PixelsOf(dib);
    CompactDibDepth(dib);
    EXPECT_EQ(dib.BitCount(), colours == 2 ? 1 : 4);
    EXPECT_EQ(dib.Stride(), colours == 2 ? 4u : 12u);
    EXPECT_EQ(dib.Colors().size(), colours);
    EXPECT_EQ(dib.Size(), size);  // the block keeps its size
    EXPECT_EQ(test::PixelsOf(dib), pixels);
  }
  for (const uint32_t colours : {2u, 1u}) {
    PackedDib four = CreateDib(9, 2, 4, colours);
    four.Row(0)[0] = 0x10;  // pixel 0 has colour 1
    four.Row(1)[4] = 0x10;  // pixel 8 has colour 1
    CompactDibDepth(four);
    EXPECT_EQ(four.BitCount(), 1);
    EXPECT_EQ(four.Row(0)[0], 0x80);
    EXPECT_EQ(four.Row(1)[1], 0x80);
  }

  PackedDib many[] = {eightBit(4, 4, 0), eightBit(4, 4, 17), CreateDib(4, 4, 4, 0), CreateDib(4, 4, 24)};
  for (PackedDib& dib : many) {
    const int bits = dib.BitCount();
    CompactDibDepth(dib);
    EXPECT_EQ(dib.BitCount(), bits);
  }
}

TEST(PreviewFrameTest, FitsTheImageShapeIntoTheBox) {
  const Size box{320, 320};
  EXPECT_EQ(PreviewFrameFor(box, 77, 77), (Rect{0, 0, 320, 320}));
  EXPECT_EQ(PreviewFrameFor(box, 100, 50), (Rect{0, 80, 320, 160}));
  EXPECT_EQ(PreviewFrameFor(box, 50, 100), (Rect{80, 0, 160, 320}));
  EXPECT_EQ(PreviewFrameFor({320, 160}, 1, 1), (Rect{0, 0, 320, 160}));
  // 160 x 2 / 3 = 106.67, plus 0.5, truncated: 107 high, (160 - 107) / 2 = 26 from the top.
  EXPECT_EQ(PreviewFrameFor({320, 160}, 3, 2), (Rect{0, 26, 320, 107}));
  // Extreme shapes give a frame of no height rather than a fault.
  EXPECT_EQ(PreviewFrameFor(box, 3000000, 1), (Rect{0, 160, 320, 0}));
  EXPECT_EQ(PreviewFrameFor(box, 0, 5), (Rect{160, 0, 0, 320}));
  // A damaged header's negative size gives at most the box, never a number out of range.
  EXPECT_EQ(PreviewFrameFor(box, 1, -3000000000LL), (Rect{0, 319, 320, -319}));
  EXPECT_EQ(PreviewFrameFor(box, -3000000000LL, -2), (Rect{0, 0, 320, 320}));
}

TEST(PreviewFrameTest, DrawsOnlyWhileTheViewerIsClosed) {
  HeadlessPort port;
  CurrentImage image;
  image.PreviewBox = {320, 320};
  FitPreviewFrame(image, port, 100, 50);
  EXPECT_EQ(image.PreviewFrame, (Rect{0, 80, 320, 160}));
  ASSERT_EQ(port.log.size(), 1u);
  EXPECT_EQ(port.log[0], "frame 0,80 320x160 in 320x320");
  image.Viewer = true;
  FitPreviewFrame(image, port, 1, 1);
  EXPECT_EQ(image.PreviewFrame, (Rect{0, 0, 320, 320}));
  EXPECT_EQ(port.log.size(), 1u);
  image.Kind = ImageKind::AnimatedGif;
  FitPreviewFrame(image, port, 100, 50);
  EXPECT_EQ(image.PreviewFrame, (Rect{0, 0, 320, 320}));
}

TEST(BlackAndWhiteTest, OnlyPureBlackAndWhiteInEitherOrderCount) {
  CurrentImage image;
  const auto check = [&](RgbQuad a, RgbQuad b, uint32_t clrUsed) {
    image.Handle = CreateDib(8, 1, 1, clrUsed);
    image.Handle.Colors()[0] = a;
    image.Handle.Colors()[1] = b;
    TakeBitCountAndColors(image);
    return image.ColorsUsed;
  };
  const RgbQuad black{0, 0, 0, 0}, white{255, 255, 255, 0}, grey{128, 128, 128, 0};
  EXPECT_EQ(check(black, white, 2), 1);
  EXPECT_EQ(check(white, black, 0), 1);
  EXPECT_TRUE(IsBlackAndWhite(image));
  EXPECT_EQ(check(white, grey, 2), 2);
  EXPECT_EQ(check(black, RgbQuad{255, 255, 254, 0}, 0), 0);
  EXPECT_FALSE(IsBlackAndWhite(image));
  EXPECT_EQ(image.BitCount, 1);
}

}  // namespace
}  // namespace ravelle
