#include "colour/reduce_colors.h"
#include "shell/image_commands.h"

#include <gtest/gtest.h>

#include "colour/median_cut.h"
#include "headless/headless_port.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::BytesOf;
using test::ImageOf;
using test::Rgb;

TEST(FixedPaletteTest, PalettesHaveTheirKnownEntries) {
  EXPECT_EQ(MonochromePalette()[0], (PaletteColor{255, 255, 255}));
  EXPECT_EQ(WebPalette216()[215], (PaletteColor{255, 255, 255}));
  EXPECT_EQ(WebPalette216()[1], (PaletteColor{0, 0, 51}));
  const auto std256 = StandardPalette256();
  EXPECT_EQ(std256[7], StandardPalette16()[7]);
  EXPECT_EQ(std256[248], StandardPalette16()[8]);
  EXPECT_EQ(std256[233], (PaletteColor{165, 0, 33}));
}

TEST(QuantizeImageTest, PaletteColoursKeepTheirEntriesAndTheHeaderFollowsTheSource) {
  // No pixel is off its entry, so no error is diffused (not so for the 256 standard colours).
  for (const int choice : {2, 16, 216}) {
    const auto palette = FixedPalette(choice);
    std::vector<uint32_t> values;
    for (std::size_t i = 0; i < 40; ++i) {
      const PaletteColor c = palette[i * 7 % palette.size()];
      values.push_back(Rgb(c.red, c.green, c.blue));
    }
    PackedDib dib = ImageOf(8, 5, 24, values);
    dib.Header().biSizeImage = 24 * 5;
    const ColorResult reduced = QuantizeImage(dib, choice);
    ASSERT_EQ(reduced.status, TransformStatus::Done);
    EXPECT_EQ(reduced.image.Header().biClrUsed, static_cast<uint32_t>(choice));
    EXPECT_EQ(reduced.image.Header().biSizeImage, 8u * 5u);
    EXPECT_EQ(test::DibToRgb(reduced.image), test::DibToRgb(dib)) << choice;
  }
}

TEST(QuantizeImageTest, GrayOfThePrimariesAtEveryDepth) {
  for (const int bits : {24, 32}) {
    const PackedDib deep = ImageOf(3, 1, bits, {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)});
    EXPECT_EQ(test::PixelsOf(GrayscaleImage(deep).image), (std::vector<uint32_t>{76, 150, 28})) << bits;
  }
  const PackedDib sixteen = ImageOf(3, 1, 16, {31 << 10, 31 << 5, 31});  // 31 reads as 248
  EXPECT_EQ(test::PixelsOf(GrayscaleImage(sixteen).image), (std::vector<uint32_t>{74, 146, 27}));

  PackedDib indexed = test::RandomImage(11, 3, 4, 2);
  indexed.Colors()[5] = {0, 0, 255, 77};
  const PackedDib gray = GrayscaleImage(indexed).image;
  EXPECT_EQ(gray.Colors()[5], (RgbQuad{76, 76, 76, 0}));
  EXPECT_TRUE(std::ranges::equal(gray.Pixels(), indexed.Pixels()));
}

// Best colours count on two threads as on one, also where a cell's count stops at 65535 in both halves.
TEST(QuantizeImageTest, BestColoursAreThoseOfOneThread) {
  PackedDib picture = test::DrawDib(600, 600, 24);
  for (int y = 150; y < 450; ++y) std::ranges::fill(picture.Row(y), uint8_t{77});
  for (const int choice : {-256, -16}) {
    const ColorResult result = QuantizeImage(picture, choice);
    ASSERT_TRUE(result.image);
    const auto geometry = CompleteGeometry(picture);
    const RgbRowFeed feed(picture, *geometry);
    MedianCutQuantizer one;
    ASSERT_TRUE(one.Start(600, -choice));
    std::vector<uint8_t> rgb(3 * 600);
    for (int y = 0; y < 600; ++y) {
      feed.Feed(y, rgb);
      one.AccumulateRow(rgb);
    }
    ASSERT_TRUE(one.SelectColors());
    ASSERT_EQ(result.image.Colors().size(), static_cast<std::size_t>(one.ColorCount()));
    for (int i = 0; i < one.ColorCount(); ++i) {
      const PaletteColor c = one.MapColor(i);
      EXPECT_EQ(result.image.Colors()[static_cast<std::size_t>(i)], (RgbQuad{c.blue, c.green, c.red, 0}));
    }
    std::vector<uint8_t> row(600);
    for (int y = 0; y < 600; ++y) {
      feed.Feed(y, rgb);
      one.MapRow(rgb, row, (y & 1) != 0);
      ASSERT_TRUE(std::ranges::equal(result.image.Row(y).first(600), row)) << y;
    }
  }
}

TEST(ReduceColorsTest, EveryReductionStartsFromTheUnreducedImage) {
  HeadlessPort port;
  const PackedDib original = test::RandomImage(33, 17, 24, 21);
  PackedDib handle = original.Clone(), saved;
  ReduceColors(handle, saved, -16, ImageKind::Bitmap, true, port);
  const auto firstSixteen = BytesOf(handle);
  ReduceColors(handle, saved, -16, ImageKind::Bitmap, true, port);
  EXPECT_EQ(BytesOf(handle), firstSixteen);
  ConvertToGrayscale(handle, saved, ImageKind::Bitmap, port);
  EXPECT_EQ(BytesOf(handle), BytesOf(GrayscaleImage(original).image));
  EXPECT_EQ(BytesOf(saved), BytesOf(original));
}

TEST(ReduceColorsTest, OtherKindsAreRefusedAndOddImagesLeftAlone) {
  HeadlessPort port;
  PackedDib handle = test::RandomImage(4, 4, 24, 1), saved;
  const auto before = BytesOf(handle);
  EXPECT_EQ(ReduceColors(handle, saved, -16, ImageKind::EnhancedMetafile, true, port), TransformStatus::NotABitmap);
  EXPECT_EQ(ConvertToGrayscale(handle, saved, ImageKind::AnimatedCursor, port), TransformStatus::NotABitmap);
  EXPECT_EQ(BytesOf(handle), before);
  PackedDib odd = CreateDib(4, 4, 8);
  odd.Header().biBitCount = 2;
  EXPECT_EQ(ReduceColors(odd, saved, 2, ImageKind::Bitmap, true, port), TransformStatus::UnsupportedDepth);
  EXPECT_EQ(QuantizeImage(handle, 17).status, TransformStatus::UnsupportedDepth);
  EXPECT_EQ(port.messages.size(), 2u);  // one for each refused kind
}

}  // namespace
}  // namespace ravelle
