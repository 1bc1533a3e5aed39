#include "shell/current_image.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_port.h"

namespace ravelle {
namespace {

PackedDib EightBitImage(int width, int height, uint32_t clrUsed) {
  PackedDib dib = CreateDib(width, height, 8, clrUsed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) dib.Row(y)[x] = static_cast<uint8_t>((x + y) % std::max<uint32_t>(clrUsed, 1));
  }
  return dib;
}

uint8_t Nibble(const PackedDib& dib, int x, int y) {
  const uint8_t byte = dib.Row(y)[x / 2];
  return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

TEST(CompactDibDepthTest, FewColoursArePackedIntoFewerBits) {
  PackedDib sixteen = EightBitImage(13, 5, 16);
  const auto original = sixteen.Clone();
  CompactDibDepth(sixteen);
  EXPECT_EQ(sixteen.BitCount(), 4);
  EXPECT_EQ(sixteen.Stride(), 8u);
  EXPECT_EQ(sixteen.Colors().size(), 16u);
  EXPECT_EQ(sixteen.Size(), original.Size());  // the block keeps its size
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 13; ++x) EXPECT_EQ(Nibble(sixteen, x, y), original.Row(y)[x]);
  }

  PackedDib two = EightBitImage(19, 3, 2);
  CompactDibDepth(two);
  EXPECT_EQ(two.BitCount(), 1);
  EXPECT_EQ(two.Row(0)[0], 0b01010101);  // pixel x is 1 when x is odd
  EXPECT_EQ(two.Row(1)[0], 0b10101010);
  EXPECT_EQ(two.Colors().size(), 2u);

  PackedDib four = CreateDib(9, 2, 4, 2);
  four.Row(0)[0] = 0x10;  // pixel 0 has colour 1
  four.Row(1)[4] = 0x10;  // pixel 8 has colour 1
  CompactDibDepth(four);
  EXPECT_EQ(four.BitCount(), 1);
  EXPECT_EQ(four.Row(0)[0], 0x80);
  EXPECT_EQ(four.Row(1)[1], 0x80);
}

TEST(CompactDibDepthTest, ImagesWithManyColoursStayAsTheyAre) {
  for (uint32_t used : {0u, 17u}) {
    PackedDib dib = EightBitImage(4, 4, used);
    CompactDibDepth(dib);
    EXPECT_EQ(dib.BitCount(), 8) << used;
  }
  PackedDib full16 = CreateDib(4, 4, 4, 0);
  CompactDibDepth(full16);
  EXPECT_EQ(full16.BitCount(), 4);
  PackedDib deep = CreateDib(4, 4, 24);
  CompactDibDepth(deep);
  EXPECT_EQ(deep.BitCount(), 24);
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

TEST(DibPaletteTest, PaletteEntriesComeFromTheColourTable) {
  PackedDib dib = CreateDib(2, 2, 8, 3);
  dib.Colors()[2] = {1, 2, 3, 4};
  const auto palette = CreateDibPalette(dib);
  ASSERT_EQ(palette.size(), 3u);
  EXPECT_EQ(palette[2], (PaletteEntry{3, 2, 1, 0}));
  EXPECT_TRUE(CreateDibPalette(CreateDib(2, 2, 24)).empty());
}

TEST(ReleaseImageTest, StopsTheAnimationBeforeFreeing) {
  HeadlessPort port;
  CurrentImage image;
  image.Kind = ImageKind::IconSequence;
  image.Handle = CreateDib(2, 2, 8);
  image.SavedImage = CreateDib(2, 2, 24);
  image.File = {1, 2, 3};
  image.FileOpen = true;
  image.Timer = true;
  port.StartAnimationTimer(900);
  ReleaseImage(image, port);
  EXPECT_EQ(port.timerPeriod, 0);
  EXPECT_FALSE(image.Timer);
  EXPECT_FALSE(image.FileOpen);
  EXPECT_FALSE(image.Handle);
  EXPECT_FALSE(image.SavedImage);
}

}  // namespace
}  // namespace ravelle
