#include "colour/reduce_colors.h"
#include "shell/image_commands.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

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
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(std256[i], StandardPalette16()[i]);
    EXPECT_EQ(std256[248 + i], StandardPalette16()[8 + i]);
  }
  EXPECT_EQ(std256[233], (PaletteColor{165, 0, 33}));
  std::set<std::tuple<int, int, int>> distinct;
  for (const PaletteColor& c : std256) distinct.insert({c.red, c.green, c.blue});
  EXPECT_EQ(distinct.size(), 256u);
}

TEST(RgbRowFeedTest, EveryDepthFeedsRedGreenBlue) {
  PackedDib one = ImageOf(9, 1, 1, {1, 0, 0, 0, 0, 0, 0, 0, 1});
  one.Colors()[0] = {1, 2, 3, 0};
  one.Colors()[1] = {4, 5, 6, 0};
  PackedDib four = ImageOf(2, 1, 4, {2, 15});
  four.Colors()[2] = {30, 20, 10, 0};
  four.Colors()[15] = {255, 0, 128, 0};
  PackedDib eight = CreateDib(2, 1, 8, 3);  // index 200 lies past the three-entry table
  eight.Colors()[1] = {7, 8, 9, 0};
  eight.Row(0)[0] = 1;
  eight.Row(0)[1] = 200;
  const PackedDib sixteen = ImageOf(1, 1, 16, {0x8000 | (31 << 10) | (1 << 5) | 16});
  const PackedDib deep = ImageOf(1, 1, 32, {0xFF000000u | Rgb(40, 50, 60)});
  const auto feed = [](const PackedDib& dib) {
    std::vector<uint8_t> rgb(3 * static_cast<std::size_t>(dib.Width()));
    RgbRowFeed(dib, *CompleteGeometry(dib)).Feed(0, rgb);
    return rgb;
  };
  EXPECT_EQ(feed(one), (std::vector<uint8_t>{6, 5, 4, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(feed(four), (std::vector<uint8_t>{10, 20, 30, 128, 0, 255}));
  EXPECT_EQ(feed(eight), (std::vector<uint8_t>{9, 8, 7, 0, 0, 0}));
  EXPECT_EQ(feed(sixteen), (std::vector<uint8_t>{248, 8, 128}));
  EXPECT_EQ(feed(deep), (std::vector<uint8_t>{40, 50, 60}));
}

TEST(QuantizeImageTest, PaletteColoursKeepTheirEntriesAndTheHeaderFollowsTheSource) {
  // No pixel is off its entry, so no error is diffused. (Not so for the 256 standard colours:
  // the cache looks up cell centres, and black's, (4, 2, 4), is nearer the entry (4, 4, 4).)
  for (const int choice : {2, 16, 216}) {
    const auto palette = FixedPalette(choice);
    std::vector<uint32_t> values;
    for (std::size_t i = 0; i < 40; ++i) {
      const PaletteColor c = palette[i * 7 % palette.size()];
      values.push_back(Rgb(c.red, c.green, c.blue));
    }
    PackedDib dib = ImageOf(8, 5, 24, values);
    dib.Header().biXPelsPerMeter = 2835;
    dib.Header().biSizeImage = 24 * 5;
    const ColorResult reduced = QuantizeImage(dib, choice);
    ASSERT_EQ(reduced.status, TransformStatus::Done);
    EXPECT_EQ(reduced.image.Header().biClrUsed, static_cast<uint32_t>(choice));
    EXPECT_EQ(reduced.image.Header().biXPelsPerMeter, 2835);
    EXPECT_EQ(reduced.image.Header().biSizeImage, 8u * 5u);
    EXPECT_EQ(test::DibToRgb(reduced.image), test::DibToRgb(dib)) << choice;
  }
}

TEST(QuantizeImageTest, GrayOfThePrimariesAtEveryDepth) {
  for (const int bits : {24, 32}) {
    const PackedDib deep = ImageOf(3, 1, bits, {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)});
    EXPECT_EQ(test::PixelsOf(GrayscaleImage(deep).image), (std::vector<uint32_t>{76, 150, 28})) << bits;
    EXPECT_EQ(GrayscaleImage(deep).image.Colors()[200], (RgbQuad{200, 200, 200, 0}));
  }
  const PackedDib sixteen = ImageOf(3, 1, 16, {31 << 10, 31 << 5, 31});  // 31 reads as 248
  EXPECT_EQ(test::PixelsOf(GrayscaleImage(sixteen).image), (std::vector<uint32_t>{74, 146, 27}));

  PackedDib indexed = test::RandomImage(11, 3, 4, 2);
  indexed.Colors()[5] = {0, 0, 255, 77};
  const PackedDib gray = GrayscaleImage(indexed).image;
  EXPECT_EQ(gray.Colors()[5], (RgbQuad{76, 76, 76, 0}));
  EXPECT_TRUE(std::ranges::equal(gray.Pixels(), indexed.Pixels()));
}

// Best colours count the rows on two threads; the palette and indices are those of counting
// every row on one, also where a cell's count stops at 65535 in both halves (a flat band across the middle).
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

TEST(ReduceColorsTest, ColoursSharingACellBecomeItsCentreAndFiveInFiveCellsKeepOneEntryEach) {
  HeadlessPort port;
  std::vector<uint32_t> reds(16, Rgb(255, 0, 0));
  reds[5] = Rgb(250, 1, 6);  // in the same cell of the histogram
  PackedDib red = ImageOf(4, 4, 24, reds);
  PackedDib saved;
  ASSERT_EQ(ReduceColors(red, saved, -256, ImageKind::Bitmap, true, port), TransformStatus::Done);
  EXPECT_EQ(std::vector(red.Colors().begin(), red.Colors().end()), (std::vector<RgbQuad>{{4, 2, 252, 0}}));
  EXPECT_EQ(saved.BitCount(), 24);
  EXPECT_EQ(port.maxWaitDepth, 1);

  PackedDib five = ImageOf(5, 1, 24, {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)});
  PackedDib fiveSaved;
  ASSERT_EQ(ReduceColors(five, fiveSaved, -16, ImageKind::Bitmap, false, port), TransformStatus::Done);
  EXPECT_EQ(five.BitCount(), 4);
  EXPECT_EQ(five.Header().biClrUsed, 5u);
  EXPECT_EQ(test::DibToRgb(five).rgb, (std::vector<uint8_t>{4, 2, 4, 252, 254, 252, 252, 2, 4, 4, 254, 4, 4, 2, 252}));
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
  ASSERT_EQ(port.messages.size(), 2u);
  EXPECT_EQ(port.messages[1].message.text, "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap");
  EXPECT_EQ(BytesOf(handle), before);
  PackedDib odd = CreateDib(4, 4, 8);
  odd.Header().biBitCount = 2;
  EXPECT_EQ(ReduceColors(odd, saved, 2, ImageKind::Bitmap, true, port), TransformStatus::UnsupportedDepth);
  EXPECT_EQ(QuantizeImage(handle, 17).status, TransformStatus::UnsupportedDepth);
  EXPECT_EQ(port.messages.size(), 2u);
  EXPECT_EQ(port.maxWaitDepth, 0);
}

}  // namespace
}  // namespace ravelle
