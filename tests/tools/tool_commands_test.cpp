#include "shell/tool_commands.h"

#include <gtest/gtest.h>

#include <random>

#include "shell/adapt_to_display.h"
#include "headless/headless_port.h"
#include "shell/convert.h"
#include "support/test_images.h"

namespace ravelle {
namespace {

using test::BytesOf;

// An image as loading leaves it, shown in an open viewer on a display of the given depth.
struct Session {
  explicit Session(PackedDib dib, int displayDepth = 24, ImageKind kind = ImageKind::Bitmap) {
    port.displayDepth = image.DisplayDepth = displayDepth;
    image.Kind = kind;
    image.Handle = std::move(dib);
    image.Viewer = true;
    CompactDibDepth(image.Handle);
    TakeBitCountAndColors(image);
    AdaptToDisplay(image, port);
    loaded = BytesOf(image.SavedImage ? image.SavedImage : image.Handle);
  }
  void Run(std::initializer_list<CommandId> commands) {
    for (const CommandId command : commands) ASSERT_TRUE(RunToolCommand(image, shell, port, command));
  }
  bool ShowsLoaded() const { return !image.SavedImage && BytesOf(image.Handle) == loaded; }

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

TEST(DisplayAdaptationTest, PaletteDisplaysReduceWhatIsShownButConversionWritesTheUnreduced) {
  Session trueColor(test::RandomImage(20, 10, 24, 1), 24);
  EXPECT_FALSE(trueColor.image.SavedImage);
  Session blackAndWhite(BlackAndWhite(), 8);
  EXPECT_FALSE(blackAndWhite.image.SavedImage);
  Session four(test::RandomImage(20, 10, 8, 1), 4);
  EXPECT_EQ(four.image.Handle.Colors()[8], (RgbQuad{104, 141, 162, 0}));  // the 256 standard colours

  Session s(test::RandomImage(20, 10, 24, 2), 8);
  EXPECT_EQ(s.image.Handle.BitCount(), 8);
  EXPECT_FALSE(s.image.ReductionApplied);
  EXPECT_EQ(ImageToConvert(s.image).image, &s.image.SavedImage);
  s.Run({CommandId::Best16});
  EXPECT_EQ(ImageToConvert(s.image).image, &s.image.Handle);
  s.Run({CommandId::TrueColor});  // reduced again, but only for the display
  EXPECT_FALSE(s.image.ReductionApplied);
  EXPECT_GT(s.image.Handle.Colors().size(), 16u);
  EXPECT_EQ(ImageToConvert(s.image).image, &s.image.SavedImage);
}

TEST(ToolCommandTest, TheUnreducedImageTurnsWithTheShownOneAndRestoreUndoesBoth) {
  Session s(test::RandomImage(21, 10, 24, 3), 24);
  s.Run({CommandId::Best16, CommandId::Rotate90, CommandId::FlipLeftRight});
  EXPECT_EQ(s.image.PendingOrientation, 7);
  EXPECT_EQ(s.image.SavedImage.Width(), 10);
  EXPECT_EQ(s.image.SavedImage.BitCount(), 24);
  s.Run({CommandId::RestoreOriginal});
  EXPECT_TRUE(s.ShowsLoaded());
  EXPECT_EQ(s.image.PendingOrientation, 0);
  EXPECT_FALSE(s.image.ReductionApplied);
  EXPECT_EQ(s.port.viewerRepaints, 4);
  EXPECT_EQ(s.port.dialogRepaints, 4);
}

TEST(ToolCommandTest, ToolsOnOtherKindsAreRefusedWithTheMessage) {
  for (const CommandId command : {CommandId::Rotate90, CommandId::InvertColors, CommandId::Brighten, CommandId::Darken}) {
    Session s(PackedDib(), 24, ImageKind::WindowsMetafile);
    s.Run({command});
    ASSERT_EQ(s.port.messages.size(), 1u) << IdOf(command);
    EXPECT_EQ(s.port.messages[0].message, (Message{"Unable to Manipulate File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand}));
  }
  Session s(test::RandomImage(4, 4, 24, 1));
  EXPECT_FALSE(RunToolCommand(s.image, s.shell, s.port, static_cast<CommandId>(117)));
}

TEST(BrightnessCommandTest, ADeepImageIsReducedOnceAndThenOnlyItsTableChanges) {
  Session s(test::RandomImage(30, 20, 24, 4), 24);
  s.Run({CommandId::Brighten});
  EXPECT_EQ(s.image.SavedImage.BitCount(), 24);
  EXPECT_EQ(s.image.Handle.BitCount(), 8);
  EXPECT_TRUE(s.image.ReductionApplied);
  const std::vector<uint8_t> pixels(s.image.Handle.Pixels().begin(), s.image.Handle.Pixels().end());
  const std::vector<RgbQuad> firstTable(s.image.Handle.Colors().begin(), s.image.Handle.Colors().end());
  s.Run({CommandId::Brighten, CommandId::Darken});
  EXPECT_EQ(s.image.BrightnessLevel, 1);
  EXPECT_TRUE(std::ranges::equal(s.image.Handle.Pixels(), pixels));
  EXPECT_TRUE(std::ranges::equal(s.image.Handle.Colors(), firstTable));
}

TEST(BrightnessCommandTest, InvertAfterBrighteningShowsTheComplementOfTheLoadedColours) {
  Session s(test::RandomImage(9, 4, 8, 5), 24);
  const std::vector<RgbQuad> loaded(s.image.Handle.Colors().begin(), s.image.Handle.Colors().end());
  s.Run({CommandId::Brighten, CommandId::Brighten, CommandId::InvertColors});
  EXPECT_EQ(s.image.BrightnessLevel, 0);
  EXPECT_EQ(s.image.PendingOrientation, 8);
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    const RgbQuad c = s.image.Handle.Colors()[i];
    ASSERT_EQ(std::tuple(c.rgbRed, c.rgbGreen, c.rgbBlue),
              std::tuple(255 - loaded[i].rgbRed, 255 - loaded[i].rgbGreen, 255 - loaded[i].rgbBlue));
  }
  // A colour command after brightening starts from the unbrightened image.
  Session t(test::RandomImage(9, 4, 8, 6), 24);
  t.Run({CommandId::Brighten, CommandId::Best16});
  EXPECT_EQ(t.image.BrightnessLevel, 0);
  EXPECT_EQ(BytesOf(t.image.SavedImage), t.loaded);
}

TEST(ColorCommandTest, CommandsWhoseImageHasFewEnoughColoursOnlyRestore) {
  Session eight(test::RandomImage(10, 10, 8, 7), 24);
  eight.Run({CommandId::Best16, CommandId::Best256});
  EXPECT_TRUE(eight.ShowsLoaded());
  Session four(test::RandomImage(10, 10, 4, 8), 24);
  four.Run({CommandId::Best16});
  EXPECT_TRUE(four.ShowsLoaded());

  // 32 colours looks at the colours-used field of an 8-bit image: 20 restores, 0 reduces.
  PackedDib twenty = test::RandomImage(10, 10, 8, 9);
  twenty.Header().biClrUsed = 20;
  for (uint8_t& p : twenty.Pixels()) p %= 20;
  Session few(std::move(twenty), 24);
  few.Run({CommandId::Standard16, CommandId::Best32});
  EXPECT_TRUE(few.ShowsLoaded());
  Session many(test::RandomImage(10, 10, 8, 9), 24);
  many.Run({CommandId::Best32});
  EXPECT_TRUE(many.image.ReductionApplied);
  EXPECT_LE(many.image.Handle.Colors().size(), 32u);

  for (const CommandId command : {CommandId::Standard256, CommandId::Web216, CommandId::Standard16, CommandId::Grayscale, CommandId::Monochrome}) {
    Session s(BlackAndWhite(), 24);
    s.Run({command});
    EXPECT_TRUE(s.ShowsLoaded());
    EXPECT_EQ(s.shell.MonochromeChosen, command == CommandId::Monochrome);
  }
}

TEST(ColorCommandTest, GrayscaleOnAFourBitDisplayIsReducedToTheStandardColours) {
  Session s(test::RandomImage(16, 8, 24, 11), 4);
  s.Run({CommandId::Grayscale});
  EXPECT_TRUE(s.image.ReductionApplied);
  EXPECT_EQ(BytesOf(s.image.SavedImage), s.loaded);
  EXPECT_EQ(s.image.Handle.Colors()[8], (RgbQuad{104, 141, 162, 0}));
}

TEST(ColorCommandTest, AnySequenceOfToolsEndsWhereItStartedAfterRestore) {
  const CommandId commands[] = {CommandId::Rotate90, CommandId::Rotate180, CommandId::Rotate270, CommandId::FlipLeftRight, CommandId::FlipTopBottom,
                          CommandId::InvertColors, CommandId::Brighten, CommandId::Darken, CommandId::TrueColor, CommandId::Best256, CommandId::Best32,
                          CommandId::Best16, CommandId::Standard256, CommandId::Web216, CommandId::Standard16, CommandId::Grayscale, CommandId::Monochrome};
  std::mt19937 random(77);
  for (const int bits : test::kAllDepths) {
    for (int trial = 0; trial < 8; ++trial) {
      Session s(test::RandomImage(7 + trial, 5, bits, static_cast<uint32_t>(trial * 10 + bits)), 24);
      std::vector<int> run;
      for (int i = 0; i < 6; ++i) {
        const CommandId command = commands[random() % std::size(commands)];
        run.push_back(IdOf(command));
        s.Run({command});
      }
      s.Run({CommandId::RestoreOriginal});
      EXPECT_EQ(s.image.PendingOrientation, 0);
      EXPECT_EQ(s.image.BrightnessLevel, 0);
      ASSERT_TRUE(s.ShowsLoaded()) << bits << " bits after " << testing::PrintToString(run);
      EXPECT_TRUE(s.port.messages.empty());
      EXPECT_EQ(s.port.waitDepth, 0);
    }
  }
}

}  // namespace
}  // namespace ravelle
