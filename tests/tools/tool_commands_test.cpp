#include "shell/tool_commands.h"

#include <gtest/gtest.h>

#include <random>

#include "colour/adapt_to_display.h"
#include "platform/headless/headless_port.h"
#include "shell/convert.h"
#include "tools/brightness.h"
#include "tools/test_images.h"

namespace ravelle {
namespace {

using test::BytesOf;

// An image as loading leaves it, shown in an open viewer on a display of the given depth.
struct Session {
  explicit Session(PackedDib dib, int displayDepth = 24, ImageKind kind = ImageKind::Bitmap) {
    port.displayDepth = displayDepth;
    image.DisplayDepth = displayDepth;
    image.Kind = kind;
    image.Handle = std::move(dib);
    image.Viewer = true;
    CompactDibDepth(image.Handle);
    TakeBitCountAndColors(image);
    AdaptToDisplay(image, port);
    loaded = BytesOf(image.SavedImage ? image.SavedImage : image.Handle);
  }
  void Run(int command) { ASSERT_TRUE(RunToolCommand(image, shell, port, command)); }

  HeadlessPort port;
  CurrentImage image;
  ShellState shell;
  std::vector<uint8_t> loaded;
};

PackedDib BlackAndWhite() {
  PackedDib dib = test::RandomImage(12, 5, 1, 4);
  dib.Colors()[0] = {255, 255, 255, 0};
  dib.Colors()[1] = {0, 0, 0, 0};
  return dib;
}

TEST(DisplayAdaptationTest, PaletteDisplaysReduceColourImagesAndKeepTheUnreduced) {
  Session trueColor(test::RandomImage(20, 10, 24, 1), 24);
  EXPECT_FALSE(trueColor.image.SavedImage);
  EXPECT_EQ(trueColor.image.Handle.BitCount(), 24);

  Session eight(test::RandomImage(20, 10, 24, 1), 8);
  EXPECT_EQ(eight.image.SavedImage.BitCount(), 24);
  EXPECT_EQ(eight.image.Handle.BitCount(), 8);
  EXPECT_FALSE(eight.image.ReductionApplied);
  EXPECT_EQ(eight.port.maxWaitDepth, 0);

  Session four(test::RandomImage(20, 10, 8, 1), 4);
  ASSERT_EQ(four.image.Handle.Header().biClrUsed, 256u);
  EXPECT_EQ(four.image.Handle.Colors()[8], (RgbQuad{104, 141, 162, 0}));
  EXPECT_EQ(four.image.SavedImage.BitCount(), 8);

  Session blackAndWhite(BlackAndWhite(), 8);
  EXPECT_FALSE(blackAndWhite.image.SavedImage);
}

TEST(DisplayAdaptationTest, ConversionWritesTheUnreducedImageUnlessTheUserChoseAReduction) {
  Session s(test::RandomImage(20, 10, 24, 2), 8);
  EXPECT_EQ(ImageToConvert(s.image).image, &s.image.SavedImage);
  s.Run(kCmdBest256);
  EXPECT_TRUE(s.image.ReductionApplied);
  EXPECT_EQ(ImageToConvert(s.image).image, &s.image.Handle);
  s.Run(kCmdTrueColor);
  EXPECT_FALSE(s.image.ReductionApplied);
  EXPECT_EQ(ImageToConvert(s.image).image, &s.image.SavedImage);  // reduced again, only for the display
  EXPECT_EQ(s.image.Handle.BitCount(), 8);
  EXPECT_EQ(s.image.SavedImage.BitCount(), 24);
}

TEST(TurnCommandTest, TheUnreducedImageTurnsWithTheShownOneAndRestoreUndoesBoth) {
  Session s(test::RandomImage(21, 10, 24, 3), 24);
  s.Run(kCmdBest16);
  s.Run(kCmdRotate90);
  s.Run(kCmdFlipLeftRight);
  EXPECT_EQ(s.image.PendingOrientation, 7);
  EXPECT_EQ(s.image.Handle.Width(), 10);
  EXPECT_EQ(s.image.SavedImage.Width(), 10);
  EXPECT_EQ(s.image.SavedImage.BitCount(), 24);
  s.Run(kCmdRestoreOriginal);
  EXPECT_FALSE(s.image.SavedImage);
  EXPECT_FALSE(s.image.ReductionApplied);
  EXPECT_EQ(s.image.PendingOrientation, 0);
  EXPECT_EQ(BytesOf(s.image.Handle), s.loaded);
  EXPECT_GE(s.port.viewerRepaints, 4);
  EXPECT_GE(s.port.dialogRepaints, 4);
}

TEST(TurnCommandTest, ToolsOnOtherKindsAreRefusedWithTheMessage) {
  for (const int command : {kCmdRotate90, kCmdFlipTopBottom, kCmdInvertColors, kCmdBrighten, kCmdDarken}) {
    Session s(PackedDib(), 24, ImageKind::WindowsMetafile);
    s.Run(command);
    ASSERT_EQ(s.port.messages.size(), 1u) << command;
    EXPECT_EQ(s.port.messages[0].message.text, "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap");
    EXPECT_EQ(s.port.messages[0].message.style, kMbIconHand);
    EXPECT_EQ(s.port.messages[0].owner, Owner::None);
    EXPECT_EQ(s.image.BrightnessLevel, 0);
  }
}

TEST(BrightnessCommandTest, ADeepImageIsReducedOnceAndThenOnlyItsTableChanges) {
  Session s(test::RandomImage(30, 20, 24, 4), 24);
  s.Run(kCmdBrighten);
  EXPECT_EQ(s.image.SavedImage.BitCount(), 24);
  EXPECT_EQ(s.image.Handle.BitCount(), 8);
  EXPECT_TRUE(s.image.ReductionApplied);
  EXPECT_EQ(s.image.BrightnessLevel, 1);
  const std::vector<uint8_t> pixels(s.image.Handle.Pixels().begin(), s.image.Handle.Pixels().end());
  const std::vector<RgbQuad> firstTable(s.image.Handle.Colors().begin(), s.image.Handle.Colors().end());
  s.Run(kCmdBrighten);
  EXPECT_EQ(s.image.BrightnessLevel, 2);
  EXPECT_TRUE(std::ranges::equal(s.image.Handle.Pixels(), pixels));
  EXPECT_FALSE(std::ranges::equal(s.image.Handle.Colors(), firstTable));
  s.Run(kCmdDarken);
  EXPECT_TRUE(std::ranges::equal(s.image.Handle.Colors(), firstTable));
}

TEST(BrightnessCommandTest, InvertAfterBrighteningShowsTheComplementOfTheLoadedColours) {
  Session s(test::RandomImage(9, 4, 8, 5), 24);
  const std::vector<RgbQuad> loaded(s.image.Handle.Colors().begin(), s.image.Handle.Colors().end());
  s.Run(kCmdBrighten);
  s.Run(kCmdBrighten);
  s.Run(kCmdInvertColors);
  EXPECT_EQ(s.image.BrightnessLevel, 0);
  EXPECT_EQ(s.image.PendingOrientation, 8);
  const auto colors = s.image.Handle.Colors();
  ASSERT_EQ(colors.size(), loaded.size());
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    EXPECT_EQ(colors[i].rgbRed, 255 - loaded[i].rgbRed);
    EXPECT_EQ(colors[i].rgbGreen, 255 - loaded[i].rgbGreen);
    EXPECT_EQ(colors[i].rgbBlue, 255 - loaded[i].rgbBlue);
  }
}

TEST(ColorCommandTest, AColourCommandDropsABrightnessChangeBeforeReducing) {
  Session s(test::RandomImage(9, 4, 8, 6), 24);
  s.Run(kCmdBrighten);
  s.Run(kCmdBest16);
  EXPECT_EQ(s.image.BrightnessLevel, 0);
  EXPECT_EQ(BytesOf(s.image.SavedImage), s.loaded);
}

TEST(ColorCommandTest, CommandsWhoseImageHasFewEnoughColoursRestoreInstead) {
  // 256 best colours of an 8-bit image, and 16 best of a 4-bit one.
  Session eight(test::RandomImage(10, 10, 8, 7), 24);
  eight.Run(kCmdBest16);
  ASSERT_TRUE(eight.image.SavedImage);
  eight.Run(kCmdBest256);
  EXPECT_FALSE(eight.image.SavedImage);
  EXPECT_FALSE(eight.image.ReductionApplied);
  EXPECT_EQ(BytesOf(eight.image.Handle), eight.loaded);

  Session four(test::RandomImage(10, 10, 4, 8), 24);
  four.Run(kCmdBest16);
  EXPECT_FALSE(four.image.SavedImage);
  EXPECT_EQ(BytesOf(four.image.Handle), four.loaded);
}

TEST(ColorCommandTest, ThirtyTwoColoursLooksAtTheColoursUsedOfAnEightBitImage) {
  PackedDib twenty = test::RandomImage(10, 10, 8, 9);
  twenty.Header().biClrUsed = 20;
  for (uint8_t& p : twenty.Pixels()) p %= 20;
  Session few(std::move(twenty), 24);
  few.Run(kCmdStandard16);
  ASSERT_TRUE(few.image.SavedImage);
  few.Run(kCmdBest32);
  EXPECT_FALSE(few.image.SavedImage);
  EXPECT_EQ(BytesOf(few.image.Handle), few.loaded);

  Session many(test::RandomImage(10, 10, 8, 9), 24);
  many.Run(kCmdBest32);
  EXPECT_TRUE(many.image.SavedImage);
  EXPECT_TRUE(many.image.ReductionApplied);
  EXPECT_LE(many.image.Handle.Header().biClrUsed, 32u);
}

TEST(ColorCommandTest, ABlackAndWhiteImageOnlyRestores) {
  for (const int command : {kCmdStandard256, kCmdWeb216, kCmdStandard16, kCmdGrayscale, kCmdMonochrome}) {
    Session s(BlackAndWhite(), 24);
    s.Run(command);
    EXPECT_FALSE(s.image.SavedImage);
    EXPECT_FALSE(s.image.ReductionApplied);
    EXPECT_EQ(BytesOf(s.image.Handle), s.loaded);
    EXPECT_EQ(s.shell.MonochromeChosen, command == kCmdMonochrome);
  }
}

TEST(ColorCommandTest, MonochromeIsRememberedUntilTheNextColourCommand) {
  Session s(test::RandomImage(16, 8, 24, 10), 24);
  s.Run(kCmdMonochrome);
  EXPECT_TRUE(s.shell.MonochromeChosen);
  EXPECT_EQ(s.image.Handle.BitCount(), 1);
  s.Run(kCmdRotate90);
  EXPECT_TRUE(s.shell.MonochromeChosen);
  s.Run(kCmdWeb216);
  EXPECT_FALSE(s.shell.MonochromeChosen);
}

TEST(ColorCommandTest, GrayscaleOnAFourBitDisplayIsReducedToTheStandardColours) {
  Session s(test::RandomImage(16, 8, 24, 11), 4);
  s.Run(kCmdGrayscale);
  EXPECT_TRUE(s.image.ReductionApplied);
  EXPECT_EQ(s.image.SavedImage.BitCount(), 24);
  EXPECT_EQ(BytesOf(s.image.SavedImage), s.loaded);
  ASSERT_EQ(s.image.Handle.Header().biClrUsed, 256u);
  EXPECT_EQ(s.image.Handle.Colors()[8], (RgbQuad{104, 141, 162, 0}));
}

TEST(ColorCommandTest, TrueColorPutsTheUnreducedImageBack) {
  Session s(test::RandomImage(16, 8, 24, 12), 24);
  s.Run(kCmdBest32);
  s.Run(kCmdTrueColor);
  EXPECT_FALSE(s.image.SavedImage);
  EXPECT_FALSE(s.image.ReductionApplied);
  EXPECT_EQ(BytesOf(s.image.Handle), s.loaded);
}

TEST(ColorCommandTest, AnySequenceOfToolsEndsWhereItStartedAfterRestore) {
  const int commands[] = {kCmdRotate90, kCmdRotate180, kCmdRotate270, kCmdFlipLeftRight, kCmdFlipTopBottom,
                          kCmdInvertColors, kCmdBrighten, kCmdDarken, kCmdTrueColor, kCmdBest256, kCmdBest32,
                          kCmdBest16, kCmdStandard256, kCmdWeb216, kCmdStandard16, kCmdGrayscale, kCmdMonochrome};
  std::mt19937 random(77);
  for (const int bits : {1, 4, 8, 16, 24, 32}) {
    for (int trial = 0; trial < 8; ++trial) {
      Session s(test::RandomImage(7 + trial, 5, bits, static_cast<uint32_t>(trial * 10 + bits)), 24);
      std::vector<int> run;
      for (int i = 0; i < 6; ++i) {
        run.push_back(commands[random() % std::size(commands)]);
        s.Run(run.back());
      }
      s.Run(kCmdRestoreOriginal);
      EXPECT_EQ(s.image.PendingOrientation, 0);
      EXPECT_EQ(s.image.BrightnessLevel, 0);
      EXPECT_FALSE(s.image.SavedImage);
      ASSERT_EQ(BytesOf(s.image.Handle), s.loaded) << bits << " bits after " << testing::PrintToString(run);
      EXPECT_TRUE(s.port.messages.empty());
      EXPECT_EQ(s.port.waitDepth, 0);
    }
  }
}

TEST(ToolCommandTest, IdsOutsideTheToolsAreNotRun) {
  Session s(test::RandomImage(4, 4, 24, 1), 24);
  EXPECT_FALSE(RunToolCommand(s.image, s.shell, s.port, 117));
  EXPECT_FALSE(RunToolCommand(s.image, s.shell, s.port, 125));
}

}  // namespace
}  // namespace ravelle
