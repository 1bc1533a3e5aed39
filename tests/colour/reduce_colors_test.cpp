#include "colour/reduce_colors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "platform/headless/headless_port.h"
#include "tools/test_images.h"

namespace ravelle {
namespace {

using test::BytesOf;
using test::ImageOf;
using test::PixelAt;
using test::Rgb;

PaletteColor ColorOf(const RgbQuad& q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue}; }

// The colour each pixel shows, top row first.
std::vector<PaletteColor> Shown(const PackedDib& dib) {
  std::vector<PaletteColor> colors;
  for (int y = 0; y < dib.Height(); ++y) {
    for (int x = 0; x < dib.Width(); ++x) {
      const uint32_t v = PixelAt(dib, x, y);
      colors.push_back(dib.BitCount() <= 8 ? ColorOf(dib.Colors()[v])
                                            : PaletteColor{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                                           static_cast<uint8_t>(v)});
    }
  }
  return colors;
}

TEST(FixedPaletteTest, PalettesHaveTheirKnownEntries) {
  EXPECT_EQ(MonochromePalette()[0], (PaletteColor{255, 255, 255}));
  EXPECT_EQ(MonochromePalette()[1], (PaletteColor{0, 0, 0}));
  EXPECT_EQ(WebPalette216()[215], (PaletteColor{255, 255, 255}));
  EXPECT_EQ(WebPalette216()[1], (PaletteColor{0, 0, 51}));
  EXPECT_EQ(WebPalette216()[36 * 2 + 6 * 4 + 1], (PaletteColor{102, 204, 51}));
  const auto std16 = StandardPalette16();
  const auto std256 = StandardPalette256();
  ASSERT_EQ(std256.size(), 256u);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(std256[i], std16[i]);
    EXPECT_EQ(std256[248 + i], std16[8 + i]);
  }
  EXPECT_EQ(std256[8], (PaletteColor{162, 141, 104}));
  EXPECT_EQ(std256[233], (PaletteColor{165, 0, 33}));
  EXPECT_EQ(std256[247], (PaletteColor{160, 160, 164}));
  std::set<std::tuple<int, int, int>> distinct;
  for (const PaletteColor& c : std256) distinct.insert({c.red, c.green, c.blue});
  EXPECT_EQ(distinct.size(), 256u);
  EXPECT_TRUE(FixedPalette(3).empty());
}

TEST(RgbRowFeedTest, EveryDepthFeedsRedGreenBlue) {
  PackedDib one = ImageOf(9, 1, 1, {1, 0, 1, 1, 0, 0, 0, 0, 1});
  one.Colors()[0] = {1, 2, 3, 0};
  one.Colors()[1] = {4, 5, 6, 0};
  PackedDib four = ImageOf(3, 1, 4, {2, 15, 0});
  four.Colors()[2] = {30, 20, 10, 0};
  four.Colors()[15] = {255, 0, 128, 0};
  PackedDib eight = CreateDib(2, 1, 8, 3);  // a three-entry table; index 200 lies past it
  eight.Colors()[1] = {7, 8, 9, 0};
  eight.Row(0)[0] = 1;
  eight.Row(0)[1] = 200;
  const PackedDib sixteen = ImageOf(2, 1, 16, {0x8000 | (31 << 10) | (1 << 5) | 16, 0x7FFF});
  const PackedDib deep24 = ImageOf(1, 1, 24, {Rgb(10, 20, 30)});
  const PackedDib deep32 = ImageOf(1, 1, 32, {0xFF000000u | Rgb(40, 50, 60)});

  const auto feed = [](const PackedDib& dib) {
    const auto g = CompleteGeometry(dib);
    EXPECT_TRUE(g);
    std::vector<uint8_t> rgb(3 * static_cast<std::size_t>(dib.Width()));
    RgbRowFeed(dib, *g).Feed(0, rgb);
    return rgb;
  };
  EXPECT_EQ(feed(one), (std::vector<uint8_t>{6, 5, 4, 3, 2, 1, 6, 5, 4, 6, 5, 4, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(feed(four), (std::vector<uint8_t>{10, 20, 30, 128, 0, 255, 0, 0, 0}));
  EXPECT_EQ(feed(eight), (std::vector<uint8_t>{9, 8, 7, 0, 0, 0}));
  EXPECT_EQ(feed(sixteen), (std::vector<uint8_t>{248, 8, 128, 248, 248, 248}));
  EXPECT_EQ(feed(deep24), (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_EQ(feed(deep32), (std::vector<uint8_t>{40, 50, 60}));
}

TEST(QuantizeImageTest, ImagesOfPaletteColoursMapToThemExactly) {
  // No colour is off its palette entry, so no error is diffused and every pixel keeps its colour.
  // (Not so for the 256 standard colours: the cache looks up cell centres, and the centre of
  // black's cell, (4, 2, 4), is nearer to the entry (4, 4, 4).)
  for (const int choice : {2, 16, 216}) {
    const auto palette = FixedPalette(choice);
    std::vector<uint32_t> values;
    for (std::size_t i = 0; i < 40; ++i) {
      const PaletteColor c = palette[(i * 7) % palette.size()];
      values.push_back(Rgb(c.red, c.green, c.blue));
    }
    const PackedDib dib = ImageOf(8, 5, 24, values);
    const ColorResult reduced = QuantizeImage(dib, choice);
    ASSERT_EQ(reduced.status, TransformStatus::Done);
    EXPECT_EQ(reduced.image.BitCount(), 8);
    EXPECT_EQ(reduced.image.Header().biClrUsed, static_cast<uint32_t>(choice));
    ASSERT_EQ(reduced.image.Colors().size(), palette.size());
    for (std::size_t i = 0; i < palette.size(); ++i) EXPECT_EQ(ColorOf(reduced.image.Colors()[i]), palette[i]);
    EXPECT_EQ(Shown(reduced.image), Shown(dib)) << choice;
  }
}

TEST(QuantizeImageTest, TheHeaderIsTheSourcesWithEightBitsAndTheColoursChosen) {
  PackedDib dib = test::RandomImage(13, 7, 32, 8);
  dib.Header().biXPelsPerMeter = 2835;
  dib.Header().biSizeImage = 13 * 4 * 7;
  const ColorResult reduced = QuantizeImage(dib, -32);
  ASSERT_EQ(reduced.status, TransformStatus::Done);
  const BitmapInfoHeader& h = reduced.image.Header();
  EXPECT_EQ(h.biWidth, 13);
  EXPECT_EQ(h.biHeight, 7);
  EXPECT_EQ(h.biBitCount, 8);
  EXPECT_EQ(h.biClrUsed, 32u);
  EXPECT_EQ(h.biXPelsPerMeter, 2835);
  EXPECT_EQ(h.biSizeImage, 16u * 7u);
  EXPECT_EQ(reduced.image.Stride(), 16u);
  EXPECT_EQ(QuantizeImage(dib, 17).status, TransformStatus::UnsupportedDepth);
  EXPECT_EQ(QuantizeImage(PackedDib(), -16).status, TransformStatus::NoImage);
}

TEST(GrayscaleTest, GraysOfTheThreePrimariesAtEveryDeepDepth) {
  const PackedDib deep24 = ImageOf(3, 1, 24, {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)});
  const PackedDib deep32 = ImageOf(3, 1, 32, {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)});
  for (const PackedDib* dib : {&deep24, &deep32}) {
    const ColorResult gray = GrayscaleImage(*dib);
    ASSERT_EQ(gray.status, TransformStatus::Done);
    EXPECT_EQ(gray.image.BitCount(), 8);
    EXPECT_EQ(gray.image.Header().biClrUsed, 0u);
    EXPECT_EQ(gray.image.Colors()[200], (RgbQuad{200, 200, 200, 0}));
    EXPECT_EQ(test::PixelsOf(gray.image), (std::vector<uint32_t>{76, 150, 28}));
  }
  // 5-5-5 fields become 8-bit values by a shift: 31 is 248.
  const PackedDib sixteen = ImageOf(2, 1, 16, {31 << 10, 0x7FFF});
  EXPECT_EQ(test::PixelsOf(GrayscaleImage(sixteen).image), (std::vector<uint32_t>{74, 248}));
}

TEST(GrayscaleTest, IndexedImagesKeepTheirPixelsAndGetGrayTables) {
  PackedDib dib = test::RandomImage(11, 3, 4, 2);
  dib.Colors()[5] = {0, 0, 255, 77};
  const ColorResult gray = GrayscaleImage(dib);
  ASSERT_EQ(gray.status, TransformStatus::Done);
  EXPECT_EQ(gray.image.BitCount(), 4);
  EXPECT_EQ(gray.image.Colors()[5], (RgbQuad{76, 76, 76, 0}));
  EXPECT_TRUE(std::ranges::equal(gray.image.Pixels(), dib.Pixels()));
}

TEST(ReduceColorsTest, PureRedAloneBecomesOneEntryAtItsCellCentre) {
  HeadlessPort port;
  PackedDib handle = ImageOf(4, 4, 24, std::vector<uint32_t>(16, Rgb(255, 0, 0)));
  PackedDib saved;
  ASSERT_EQ(ReduceColors(handle, saved, -256, ImageKind::Bitmap, true, port), TransformStatus::Done);
  ASSERT_EQ(handle.Colors().size(), 1u);
  EXPECT_EQ(handle.Colors()[0], (RgbQuad{4, 2, 252, 0}));
  EXPECT_EQ(handle.BitCount(), 4);  // one colour repacks to 4 bits
  EXPECT_EQ(saved.BitCount(), 24);
  EXPECT_EQ(port.maxWaitDepth, 1);
  EXPECT_EQ(port.waitDepth, 0);
}

TEST(ReduceColorsTest, FiveColoursInFiveCellsAskedForSixteenGiveAFourBitImageOfFive) {
  HeadlessPort port;
  const std::vector<uint32_t> five = {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)};
  PackedDib handle = ImageOf(5, 1, 24, five);
  PackedDib saved;
  ASSERT_EQ(ReduceColors(handle, saved, -16, ImageKind::Bitmap, false, port), TransformStatus::Done);
  EXPECT_EQ(handle.BitCount(), 4);
  EXPECT_EQ(handle.Header().biClrUsed, 5u);
  EXPECT_EQ(port.maxWaitDepth, 0);
  // Each pixel shows its own cell's centre.
  const std::vector<PaletteColor> expected = {{4, 2, 4}, {252, 254, 252}, {252, 2, 4}, {4, 254, 4}, {4, 2, 252}};
  EXPECT_EQ(Shown(handle), expected);
}

TEST(ReduceColorsTest, MonochromeOfAPhotographIsAOneBitWhiteThenBlackDither) {
  HeadlessPort port;
  PackedDib handle = test::RandomImage(40, 30, 24, 12);
  PackedDib saved;
  ASSERT_EQ(ReduceColors(handle, saved, 2, ImageKind::Bitmap, true, port), TransformStatus::Done);
  EXPECT_EQ(handle.BitCount(), 1);
  ASSERT_EQ(handle.Colors().size(), 2u);
  EXPECT_EQ(handle.Colors()[0], (RgbQuad{255, 255, 255, 0}));
  EXPECT_EQ(handle.Colors()[1], (RgbQuad{0, 0, 0, 0}));
  const auto pixels = test::PixelsOf(handle);
  EXPECT_GT(std::ranges::count(pixels, 0u), 100);
  EXPECT_GT(std::ranges::count(pixels, 1u), 100);
}

TEST(ReduceColorsTest, EveryReductionStartsFromTheUnreducedImage) {
  HeadlessPort port;
  const PackedDib original = test::RandomImage(33, 17, 24, 21);
  PackedDib handle = original.Clone();
  PackedDib saved;
  ASSERT_EQ(ReduceColors(handle, saved, -16, ImageKind::Bitmap, true, port), TransformStatus::Done);
  const auto firstSixteen = BytesOf(handle);
  ASSERT_EQ(ReduceColors(handle, saved, -16, ImageKind::Bitmap, true, port), TransformStatus::Done);
  EXPECT_EQ(BytesOf(handle), firstSixteen);
  ASSERT_EQ(ReduceColors(handle, saved, 16, ImageKind::Bitmap, true, port), TransformStatus::Done);
  EXPECT_EQ(BytesOf(saved), BytesOf(original));
  PackedDib fresh = original.Clone();
  PackedDib freshSaved;
  ASSERT_EQ(ReduceColors(fresh, freshSaved, 16, ImageKind::Bitmap, true, port), TransformStatus::Done);
  EXPECT_EQ(BytesOf(handle), BytesOf(fresh));

  PackedDib grayHandle = handle.Clone();
  PackedDib graySaved = original.Clone();
  ASSERT_EQ(ConvertToGrayscale(grayHandle, graySaved, ImageKind::Bitmap, port), TransformStatus::Done);
  EXPECT_EQ(BytesOf(grayHandle), BytesOf(GrayscaleImage(original).image));
  EXPECT_EQ(BytesOf(graySaved), BytesOf(original));
}

TEST(ReduceColorsTest, OtherKindsAreRefusedAndEmptyOrOddImagesLeftAlone) {
  HeadlessPort port;
  PackedDib handle = test::RandomImage(4, 4, 24, 1);
  const auto before = BytesOf(handle);
  PackedDib saved;
  EXPECT_EQ(ReduceColors(handle, saved, -16, ImageKind::EnhancedMetafile, true, port), TransformStatus::NotABitmap);
  EXPECT_EQ(ConvertToGrayscale(handle, saved, ImageKind::AnimatedCursor, port), TransformStatus::NotABitmap);
  ASSERT_EQ(port.messages.size(), 2u);
  EXPECT_EQ(port.messages[1].message.text, "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap");
  EXPECT_EQ(BytesOf(handle), before);
  EXPECT_FALSE(saved);

  PackedDib none;
  EXPECT_EQ(ReduceColors(none, saved, -16, ImageKind::Bitmap, true, port), TransformStatus::NoImage);
  PackedDib odd = CreateDib(4, 4, 8);
  odd.Header().biBitCount = 2;
  EXPECT_EQ(ReduceColors(odd, saved, 2, ImageKind::Bitmap, true, port), TransformStatus::UnsupportedDepth);
  EXPECT_EQ(port.messages.size(), 2u);
  EXPECT_EQ(port.maxWaitDepth, 0);
}

}  // namespace
}  // namespace ravelle
