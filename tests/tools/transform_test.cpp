#include "tools/transform.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/headless/headless_port.h"
#include "tools/test_images.h"

namespace ravelle {
namespace {

using test::BytesOf;
using test::ImageOf;
using test::kAllDepths;
using test::PixelAt;
using test::PixelsOf;
using test::RandomImage;

struct Size2 {
  int width;
  int height;
};
// Odd widths, single rows and columns, and widths on both sides of a byte and a 4-byte boundary.
constexpr Size2 kSizes[] = {{1, 1}, {3, 2}, {7, 5}, {10, 3}, {13, 1}, {1, 9}, {33, 4}, {65, 70}};

PackedDib Transformed(const PackedDib& dib, TransformCode code, int* state = nullptr) {
  PackedDib copy = dib.Clone();
  int local = 0;
  EXPECT_EQ(TransformImage(copy, code, state ? *state : local), TransformStatus::Done);
  return copy;
}

// Where each code takes pixel (x, y) of the result from, in top-down coordinates.
uint32_t ExpectedPixel(const PackedDib& src, TransformCode code, int x, int y) {
  const int w = src.Width();
  const int h = src.Height();
  switch (code) {
    case TransformCode::Rotate90: return PixelAt(src, y, h - 1 - x);
    case TransformCode::Rotate270: return PixelAt(src, w - 1 - y, x);
    case TransformCode::Rotate180: return PixelAt(src, w - 1 - x, h - 1 - y);
    case TransformCode::FlipLeftRight: return PixelAt(src, w - 1 - x, y);
    case TransformCode::FlipTopBottom: return PixelAt(src, x, h - 1 - y);
    case TransformCode::InvertColors: break;
  }
  return PixelAt(src, x, y);
}

TEST(TransformGeometryTest, ThreeByTwoExampleTurnsAndMirrors) {
  const PackedDib dib = ImageOf(3, 2, 8, {1, 2, 3, 4, 5, 6});
  const PackedDib r90 = Transformed(dib, TransformCode::Rotate90);
  EXPECT_EQ(r90.Width(), 2);
  EXPECT_EQ(r90.Height(), 3);
  EXPECT_EQ(PixelsOf(r90), (std::vector<uint32_t>{4, 1, 5, 2, 6, 3}));
  EXPECT_EQ(PixelsOf(Transformed(dib, TransformCode::Rotate270)), (std::vector<uint32_t>{3, 6, 2, 5, 1, 4}));
  EXPECT_EQ(PixelsOf(Transformed(dib, TransformCode::FlipLeftRight)), (std::vector<uint32_t>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(PixelsOf(Transformed(dib, TransformCode::FlipTopBottom)), (std::vector<uint32_t>{4, 5, 6, 1, 2, 3}));
  EXPECT_EQ(PixelsOf(Transformed(dib, TransformCode::Rotate180)), (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));
}

TEST(TransformGeometryTest, EveryCodeMovesEveryPixelAtEveryDepthAndSize) {
  const TransformCode codes[] = {TransformCode::Rotate90, TransformCode::Rotate180, TransformCode::Rotate270,
                                 TransformCode::FlipLeftRight, TransformCode::FlipTopBottom};
  for (const int bits : kAllDepths) {
    for (const Size2 size : kSizes) {
      const PackedDib src = RandomImage(size.width, size.height, bits, 7u * bits + size.width);
      for (const TransformCode code : codes) {
        SCOPED_TRACE(testing::Message() << bits << " bits " << size.width << "x" << size.height << " code "
                                        << static_cast<int>(code));
        const PackedDib out = Transformed(src, code);
        const bool quarter = code == TransformCode::Rotate90 || code == TransformCode::Rotate270;
        ASSERT_EQ(out.Width(), quarter ? size.height : size.width);
        ASSERT_EQ(out.Height(), quarter ? size.width : size.height);
        ASSERT_TRUE(std::equal(src.Colors().begin(), src.Colors().end(), out.Colors().begin(), out.Colors().end()));
        for (int y = 0; y < out.Height(); ++y) {
          for (int x = 0; x < out.Width(); ++x) ASSERT_EQ(PixelAt(out, x, y), ExpectedPixel(src, code, x, y)) << x << "," << y;
        }
        // Unused bits and row padding stay 0, so the bytes depend only on the pixels.
        const PackedDib clean = ImageOf(out.Width(), out.Height(), bits, PixelsOf(out));
        EXPECT_TRUE(std::ranges::equal(out.Pixels(), clean.Pixels()));
      }
    }
  }
}

TEST(TransformGeometryTest, PackedRowsEndInZeroBitsAfterAMirror) {
  // A 1-bit row of 10 pixels whose last byte carries stray bits after pixel 9, and a 4-bit
  // row of 3 pixels with a stray low nibble: mirroring writes them as 0.
  PackedDib one = CreateDib(10, 1, 1);
  one.Row(0)[0] = 0x80;  // pixel 0 set
  one.Row(0)[1] = 0x3F;  // pixels 8, 9 clear; six stray bits
  int state = 0;
  ASSERT_EQ(TransformImage(one, TransformCode::FlipLeftRight, state), TransformStatus::Done);
  EXPECT_EQ(one.Row(0)[0], 0x00);
  EXPECT_EQ(one.Row(0)[1], 0x40);  // pixel 9 set, the rest 0

  PackedDib four = CreateDib(3, 1, 4);
  four.Row(0)[0] = 0x12;
  four.Row(0)[1] = 0x3F;  // pixel 2 is 3; F is stray
  ASSERT_EQ(TransformImage(four, TransformCode::FlipLeftRight, state), TransformStatus::Done);
  EXPECT_EQ(four.Row(0)[0], 0x32);
  EXPECT_EQ(four.Row(0)[1], 0x10);
}

TEST(TransformGeometryTest, QuarterTurnOfAOneBitImageUsesTheNewRowStride) {
  const PackedDib dib = RandomImage(10, 32, 1, 3);
  const PackedDib turned = Transformed(dib, TransformCode::Rotate90);
  EXPECT_EQ(turned.Height(), 10);
  EXPECT_EQ(turned.Stride(), 4u);
  EXPECT_EQ(turned.Pixels().size(), 40u);
  const PackedDib wide = Transformed(RandomImage(10, 33, 1, 4), TransformCode::Rotate90);
  EXPECT_EQ(wide.Stride(), 8u);
}

TEST(TransformGeometryTest, QuarterTurnKeepsTheHeaderAndKeepsItsSizeFieldTrue) {
  PackedDib dib = RandomImage(5, 3, 24, 1);
  dib.Header().biXPelsPerMeter = 3780;
  dib.Header().biYPelsPerMeter = 2835;
  dib.Header().biClrImportant = 9;
  const PackedDib turned = Transformed(dib, TransformCode::Rotate90);
  EXPECT_EQ(turned.Header().biXPelsPerMeter, 3780);
  EXPECT_EQ(turned.Header().biYPelsPerMeter, 2835);
  EXPECT_EQ(turned.Header().biClrImportant, 9u);
  EXPECT_EQ(turned.Header().biSizeImage, 5u * 12u);  // 5 rows of 3 pixels, 12 bytes each
}

TEST(OrientationStateTest, FourQuarterTurnsGiveBackTheSameBytesAndStateZero) {
  for (const int bits : kAllDepths) {
    for (const Size2 size : kSizes) {
      SCOPED_TRACE(testing::Message() << bits << " bits " << size.width << "x" << size.height);
      const PackedDib original = RandomImage(size.width, size.height, bits, 11u * bits + size.height);
      for (const TransformCode code : {TransformCode::Rotate90, TransformCode::Rotate270}) {
        PackedDib dib = original.Clone();
        int state = 0;
        for (int i = 0; i < 4; ++i) {
          ASSERT_EQ(TransformImage(dib, code, state), TransformStatus::Done);
          if (i < 3) {
            EXPECT_NE(state, 0);
          }
        }
        EXPECT_EQ(state, 0);
        EXPECT_EQ(BytesOf(dib), BytesOf(original));
      }
    }
  }
}

TEST(OrientationStateTest, AnySequenceOfTurnsMirrorsAndInversionsIsUndoneByRestore) {
  const TransformCode codes[] = {TransformCode::Rotate90, TransformCode::Rotate180, TransformCode::Rotate270,
                                 TransformCode::FlipLeftRight, TransformCode::FlipTopBottom, TransformCode::InvertColors};
  std::mt19937 random(2024);
  for (const int bits : kAllDepths) {
    for (const Size2 size : kSizes) {
      const PackedDib original = RandomImage(size.width, size.height, bits, 5u * bits + size.width);
      for (int trial = 0; trial < 12; ++trial) {
        PackedDib dib = original.Clone();
        int state = 0;
        std::vector<int> applied;
        const int length = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < length; ++i) {
          const TransformCode code = codes[random() % 6];
          applied.push_back(static_cast<int>(code));
          ASSERT_EQ(TransformImage(dib, code, state), TransformStatus::Done);
        }
        ASSERT_EQ(RestoreOrientation(dib, state), TransformStatus::Done);
        EXPECT_EQ(state, 0);
        ASSERT_EQ(BytesOf(dib), BytesOf(original))
            << bits << " bits " << size.width << "x" << size.height << " after " << testing::PrintToString(applied);
      }
    }
  }
}

TEST(OrientationStateTest, StatesFollowTheTable) {
  int state = 0;
  PackedDib dib = RandomImage(3, 2, 8, 1);
  const PackedDib original = dib.Clone();
  ASSERT_EQ(TransformImage(dib, TransformCode::Rotate90, state), TransformStatus::Done);
  ASSERT_EQ(TransformImage(dib, TransformCode::FlipLeftRight, state), TransformStatus::Done);
  EXPECT_EQ(state, 7);
  // State 7 is the transposition: the first row has become the first column.
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 2; ++x) EXPECT_EQ(PixelAt(dib, x, y), PixelAt(original, y, x));
  }
  ASSERT_EQ(RestoreOrientation(dib, state), TransformStatus::Done);
  EXPECT_EQ(state, 0);
  EXPECT_EQ(BytesOf(dib), BytesOf(original));

  EXPECT_EQ(NextOrientationState(6, TransformCode::Rotate90), 0);
  EXPECT_EQ(NextOrientationState(2 | 8, TransformCode::FlipLeftRight), 7 | 8);
  EXPECT_EQ(NextOrientationState(6, TransformCode::FlipTopBottom), 7);
  EXPECT_EQ(NextOrientationState(1, TransformCode::Rotate180), 5);
  EXPECT_EQ(NextOrientationState(5, TransformCode::InvertColors), 13);
}

TEST(InvertColorsTest, InvertingTwiceIsTheIdentityAtEveryDepth) {
  for (const int bits : kAllDepths) {
    PackedDib dib = RandomImage(7, 3, bits, static_cast<uint32_t>(bits));
    if (bits == 32) dib.Row(0)[3] = 0x5A;  // a fourth byte that must survive
    const auto original = BytesOf(dib);
    int state = 0;
    ASSERT_EQ(TransformImage(dib, TransformCode::InvertColors, state), TransformStatus::Done);
    EXPECT_EQ(state, 8);
    EXPECT_NE(BytesOf(dib), original);
    ASSERT_EQ(TransformImage(dib, TransformCode::InvertColors, state), TransformStatus::Done);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(BytesOf(dib), original) << bits;
  }
}

TEST(InvertColorsTest, IndexedImagesChangeOnlyTheirColourTable) {
  PackedDib dib = RandomImage(9, 4, 8, 5);
  dib.Colors()[3] = {10, 20, 30, 99};
  const auto pixels = std::vector<uint8_t>(dib.Pixels().begin(), dib.Pixels().end());
  int state = 0;
  ASSERT_EQ(TransformImage(dib, TransformCode::InvertColors, state), TransformStatus::Done);
  EXPECT_EQ(dib.Colors()[3], (RgbQuad{245, 235, 225, 99}));
  EXPECT_EQ(std::vector<uint8_t>(dib.Pixels().begin(), dib.Pixels().end()), pixels);
}

TEST(InvertColorsTest, DeepPixelsInvertButNotTheirPaddingOrFourthByte) {
  PackedDib sixteen = ImageOf(3, 1, 16, {0x7FFF, 0x0000, 0x8000 | (3 << 10) | (7 << 5) | 30});
  sixteen.Row(0)[6] = 0xAB;  // padding
  int state = 0;
  ASSERT_EQ(TransformImage(sixteen, TransformCode::InvertColors, state), TransformStatus::Done);
  EXPECT_EQ(PixelsOf(sixteen), (std::vector<uint32_t>{0x0000, 0x7FFF, (28u << 10) | (24u << 5) | 1u}));
  EXPECT_EQ(sixteen.Row(0)[6], 0xAB);

  PackedDib deep = ImageOf(1, 1, 32, {0x11223344});
  ASSERT_EQ(TransformImage(deep, TransformCode::InvertColors, state), TransformStatus::Done);
  EXPECT_EQ(PixelAt(deep, 0, 0), 0x11DDCCBBu);

  PackedDib rgb = ImageOf(1, 1, 24, {test::Rgb(255, 0, 16)});
  rgb.Row(0)[3] = 0x77;
  ASSERT_EQ(TransformImage(rgb, TransformCode::InvertColors, state), TransformStatus::Done);
  EXPECT_EQ(PixelAt(rgb, 0, 0), test::Rgb(0, 255, 239));
  EXPECT_EQ(rgb.Row(0)[3], 0x77);
}

TEST(TransformRefusalTest, OtherKindsAreRefusedWithTheMessageAndNothingChanges) {
  for (const ImageKind kind : {ImageKind::WindowsMetafile, ImageKind::IconSequence, ImageKind::NoImage}) {
    HeadlessPort port;
    PackedDib dib = RandomImage(4, 2, 8, 1);
    const auto before = BytesOf(dib);
    int state = 0;
    EXPECT_EQ(TransformImage(dib, TransformCode::Rotate90, kind, state, port), TransformStatus::NotABitmap);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].owner, Owner::None);
    EXPECT_EQ(port.messages[0].message.text, "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap");
    EXPECT_EQ(port.messages[0].message.title, "");
    EXPECT_EQ(port.messages[0].message.style, kMbIconHand);
    EXPECT_EQ(BytesOf(dib), before);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(port.maxWaitDepth, 0);
  }
}

TEST(TransformRefusalTest, EmptyImagesAndOddDepthsChangeNothingSilently) {
  HeadlessPort port;
  PackedDib none;
  int state = 0;
  EXPECT_EQ(TransformImage(none, TransformCode::Rotate90, ImageKind::Bitmap, state, port), TransformStatus::NoImage);
  PackedDib odd = CreateDib(4, 4, 8);
  odd.Header().biBitCount = 2;
  EXPECT_EQ(TransformImage(odd, TransformCode::FlipLeftRight, ImageKind::Bitmap, state, port),
            TransformStatus::UnsupportedDepth);
  // A header that claims more rows than the block holds is not touched.
  PackedDib short_ = CreateDib(4, 4, 24);
  short_.Header().biHeight = 400;
  EXPECT_EQ(TransformImage(short_, TransformCode::Rotate90, state), TransformStatus::UnsupportedDepth);
  EXPECT_EQ(state, 0);
  EXPECT_TRUE(port.messages.empty());
}

TEST(TransformRefusalTest, AQuarterTurnTooLargeToAllocateReportsAndKeepsTheImage) {
  // 2^28 pixels in one 1-bit row take 32 MiB; as a column they would need 4 bytes a row, 1 GiB.
  HeadlessPort port;
  PackedDib dib = CreateDib(1 << 28, 1, 1);
  ASSERT_TRUE(dib);
  dib.Row(0)[0] = 0x80;
  int state = 4;
  EXPECT_EQ(TransformImage(dib, TransformCode::Rotate90, ImageKind::Bitmap, state, port), TransformStatus::NoMemory);
  EXPECT_EQ(state, 4);
  EXPECT_EQ(dib.Width(), 1 << 28);
  EXPECT_EQ(dib.Row(0)[0], 0x80);
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].message.text, "Insufficient Memory for this Operation.");
  EXPECT_EQ(port.waitDepth, 0);
}

TEST(TiffOrientationTest, EveryTagValueIsTurnedUpright) {
  // The picture as it should look, and how a TIFF file with each orientation stores it.
  const int w = 5;
  const int h = 3;
  const PackedDib upright = RandomImage(w, h, 8, 99);
  const auto stored = [&](int v, int sx, int sy) {
    switch (v) {
      case 2: return PixelAt(upright, w - 1 - sx, sy);
      case 3: return PixelAt(upright, w - 1 - sx, h - 1 - sy);
      case 4: return PixelAt(upright, sx, h - 1 - sy);
      case 5: return PixelAt(upright, sy, sx);
      case 6: return PixelAt(upright, w - 1 - sy, sx);
      case 7: return PixelAt(upright, w - 1 - sy, h - 1 - sx);
      case 8: return PixelAt(upright, sy, h - 1 - sx);
      default: return PixelAt(upright, sx, sy);
    }
  };
  for (int v = 1; v <= 8; ++v) {
    const bool swapped = v >= 5;
    const int sw = swapped ? h : w;
    const int sh = swapped ? w : h;
    PackedDib dib = CreateDib(sw, sh, 8);
    std::copy(upright.Colors().begin(), upright.Colors().end(), dib.Colors().begin());
    for (int y = 0; y < sh; ++y) {
      for (int x = 0; x < sw; ++x) test::SetPixel(dib, x, y, stored(v, x, y));
    }
    int state = TiffOrientationToState(v);
    ASSERT_EQ(RestoreOrientation(dib, state), TransformStatus::Done);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(BytesOf(dib), BytesOf(upright)) << "orientation " << v;
  }
  EXPECT_EQ(TiffOrientationToState(0), 0);
  EXPECT_EQ(TiffOrientationToState(9), 0);
  EXPECT_EQ(TiffOrientationToState(-3), 0);
}

TEST(TiffOrientationTest, OrientationSixOfAWideImageIsShownTall) {
  PackedDib dib = RandomImage(100, 50, 24, 6);
  int state = TiffOrientationToState(6);
  ASSERT_EQ(RestoreOrientation(dib, state), TransformStatus::Done);
  EXPECT_EQ(dib.Width(), 50);
  EXPECT_EQ(dib.Height(), 100);
}

}  // namespace
}  // namespace ravelle
