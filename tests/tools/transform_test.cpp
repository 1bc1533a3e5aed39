#include "tools/transform.h"
#include "shell/image_commands.h"

#include <gtest/gtest.h>

#include "headless/headless_port.h"
#include "support/test_images.h"

namespace ravelle {
namespace {

using test::BytesOf;
using test::PixelAt;
using test::PixelsOf;
using test::RandomImage;

// Odd widths, single rows and columns, widths on both sides of byte and 4-byte boundaries, and
// one image larger than a rotation tile.
constexpr std::pair<int, int> kSizes[] = {{1, 1}, {3, 2}, {7, 5}, {10, 3}, {13, 1}, {1, 9}, {33, 4}, {65, 70}};
constexpr TransformCode kCodes[] = {TransformCode::Rotate90, TransformCode::Rotate180, TransformCode::Rotate270,
                                    TransformCode::FlipLeftRight, TransformCode::FlipTopBottom, TransformCode::InvertColors};

PackedDib Transformed(const PackedDib& dib, TransformCode code) {
  PackedDib copy = dib.Clone();
  int state = 0;
  EXPECT_EQ(TransformImage(copy, code, state), TransformStatus::Done);
  return copy;
}

// Where pixel (x, y) of the result comes from, in top-down coordinates.
uint32_t SourcePixel(const PackedDib& src, TransformCode code, int x, int y) {
  const int w = src.Width(), h = src.Height();
  switch (code) {
    case TransformCode::Rotate90: return PixelAt(src, y, h - 1 - x);
    case TransformCode::Rotate270: return PixelAt(src, w - 1 - y, x);
    case TransformCode::Rotate180: return PixelAt(src, w - 1 - x, h - 1 - y);
    case TransformCode::FlipLeftRight: return PixelAt(src, w - 1 - x, y);
    default: return PixelAt(src, x, h - 1 - y);
  }
}

TEST(TransformGeometryTest, EveryTurnAndMirrorMovesEveryPixelAtEveryDepth) {
  const PackedDib small = test::ImageOf(3, 2, 8, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(PixelsOf(Transformed(small, TransformCode::Rotate90)), (std::vector<uint32_t>{4, 1, 5, 2, 6, 3}));
  EXPECT_EQ(PixelsOf(Transformed(small, TransformCode::Rotate270)), (std::vector<uint32_t>{3, 6, 2, 5, 1, 4}));
  for (const int bits : test::kAllDepths) {
    for (const auto& [w, h] : kSizes) {
      const PackedDib src = RandomImage(w, h, bits, 7u * bits + w);
      for (int c = 0; c < 5; ++c) {
        SCOPED_TRACE(testing::Message() << bits << " bits " << w << "x" << h << " code " << static_cast<int>(kCodes[c]));
        const PackedDib out = Transformed(src, kCodes[c]);
        const bool quarter = c == 0 || c == 2;
        ASSERT_EQ(out.Width(), quarter ? h : w);
        ASSERT_EQ(out.Height(), quarter ? w : h);
        ASSERT_TRUE(std::ranges::equal(src.Colors(), out.Colors()));
        for (int y = 0; y < out.Height(); ++y) {
          for (int x = 0; x < out.Width(); ++x) ASSERT_EQ(PixelAt(out, x, y), SourcePixel(src, kCodes[c], x, y));
        }
        // Unused bits and padding are 0: the rows equal those of a fresh image of these pixels.
        ASSERT_TRUE(std::ranges::equal(out.Pixels(), test::ImageOf(out.Width(), out.Height(), bits, PixelsOf(out)).Pixels()));
      }
    }
  }
}

TEST(TransformGeometryTest, MirroredPackedRowsEndInZeroBitsAndTurnedOnesKeepTheirHeaderTrue) {
  PackedDib one = CreateDib(10, 1, 1);
  one.Row(0)[0] = 0x80;  // pixel 0
  one.Row(0)[1] = 0x3F;  // pixels 8 and 9 clear, six stray bits after them
  PackedDib four = CreateDib(3, 1, 4);
  four.Row(0)[0] = 0x12;
  four.Row(0)[1] = 0x3F;  // pixel 2 is 3, then a stray nibble
  int state = 0;
  ASSERT_EQ(TransformImage(one, TransformCode::FlipLeftRight, state), TransformStatus::Done);
  ASSERT_EQ(TransformImage(four, TransformCode::FlipLeftRight, state), TransformStatus::Done);
  EXPECT_EQ((std::vector<int>{one.Row(0)[0], one.Row(0)[1], four.Row(0)[0], four.Row(0)[1]}),
            (std::vector<int>{0x00, 0x40, 0x32, 0x10}));

  PackedDib tall = RandomImage(10, 32, 1, 3);
  tall.Header().biXPelsPerMeter = 3780;
  const PackedDib turned = Transformed(tall, TransformCode::Rotate90);
  EXPECT_EQ(turned.Header().biSizeImage, 40u);  // ten rows of four bytes
  EXPECT_EQ(turned.Header().biXPelsPerMeter, 3780);
}

TEST(InvertColorsTest, TablesOrPixelsInvertButNotPaddingOrTheFourthByte) {
  for (const int bits : test::kAllDepths) {
    PackedDib dib = RandomImage(7, 3, bits, static_cast<uint32_t>(bits));
    const auto original = BytesOf(dib);
    int state = 0;
    TransformImage(dib, TransformCode::InvertColors, state);
    EXPECT_EQ(state, 8);
    EXPECT_EQ(std::ranges::equal(dib.Pixels(), std::span(original).subspan(dib.PixelOffset())), bits <= 8) << bits;
    TransformImage(dib, TransformCode::InvertColors, state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(BytesOf(dib), original) << bits;
  }
  PackedDib eight = RandomImage(2, 1, 8, 5);
  eight.Colors()[3] = {10, 20, 30, 99};
  PackedDib sixteen = test::ImageOf(3, 1, 16, {0x7FFF, 0x0000, 0x8000 | (3 << 10) | (7 << 5) | 30});
  sixteen.Row(0)[6] = 0xAB;  // padding
  PackedDib deep = test::ImageOf(1, 1, 32, {0x11223344});
  PackedDib rgb = test::ImageOf(3, 1, 24, {0x102030, 0, 0xFFFFFF});
  int state = 0;
  for (PackedDib* dib : {&eight, &sixteen, &deep, &rgb}) TransformImage(*dib, TransformCode::InvertColors, state);
  EXPECT_EQ(PixelsOf(rgb), (std::vector<uint32_t>{0xEFDFCF, 0xFFFFFF, 0}));
  EXPECT_EQ(eight.Colors()[3], (RgbQuad{245, 235, 225, 99}));
  EXPECT_EQ(PixelsOf(sixteen), (std::vector<uint32_t>{0x0000, 0x7FFF, (28u << 10) | (24u << 5) | 1u}));
  EXPECT_EQ(sixteen.Row(0)[6], 0xAB);
  EXPECT_EQ(PixelAt(deep, 0, 0), 0x11DDCCBBu);
}

TEST(TransformRefusalTest, OddImagesAndTurnsTooLargeToAllocateChangeNothing) {
  HeadlessPort port;
  int state = 0;
  PackedDib none;
  EXPECT_EQ(TransformImage(none, TransformCode::Rotate90, ImageKind::Bitmap, state, port), TransformStatus::NoImage);
  PackedDib odd = CreateDib(4, 4, 8);
  odd.Header().biBitCount = 2;
  EXPECT_EQ(TransformImage(odd, TransformCode::FlipLeftRight, state), TransformStatus::UnsupportedDepth);
  PackedDib shortBlock = CreateDib(4, 4, 24);
  shortBlock.Header().biHeight = 400;  // more rows than the block holds
  EXPECT_EQ(TransformImage(shortBlock, TransformCode::Rotate90, state), TransformStatus::UnsupportedDepth);
  EXPECT_EQ(state, 0);

  // 2^28 pixels in one 1-bit row take 32 MiB; as a column they would need 4 bytes a row, 1 GiB.
  PackedDib wide = CreateDib(1 << 28, 1, 1);
  ASSERT_TRUE(wide);
  state = 4;
  EXPECT_EQ(TransformImage(wide, TransformCode::Rotate90, ImageKind::Bitmap, state, port), TransformStatus::NoMemory);
  EXPECT_EQ(state, 4);
  EXPECT_EQ(wide.Width(), 1 << 28);
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].message.text, "Insufficient Memory for this Operation.");
  EXPECT_EQ(port.waitDepth, 0);
}

}  // namespace
}  // namespace ravelle
