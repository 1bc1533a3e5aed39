#include "shell/tool_commands.h"

#include <gtest/gtest.h>

#include <random>

#include "shell/adapt_to_display.h"
#include "headless/headless_port.h"
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
  EXPECT_TRUE(s.image.ReductionApplied);
  const std::vector<uint8_t> pixels(s.image.Handle.Pixels().begin(), s.image.Handle.Pixels().end());
  const std::vector<RgbQuad> firstTable(s.image.Handle.Colors().begin(), s.image.Handle.Colors().end());
  s.Run({CommandId::Brighten, CommandId::Darken});
  EXPECT_EQ(s.image.BrightnessLevel, 1);
  EXPECT_TRUE(std::ranges::equal(s.image.Handle.Pixels(), pixels));
  EXPECT_TRUE(std::ranges::equal(s.image.Handle.Colors(), firstTable));
}

TEST(ColorCommandTest, CommandsWhoseImageHasFewEnoughColoursOnlyRestore) {
  // 32 colours looks at the colours-used field of an 8-bit image: 20 restores.
  PackedDib twenty = test::RandomImage(10, 10, 8, 9);
  twenty.Header().biClrUsed = 20;
  for (uint8_t& p : twenty.Pixels()) p %= 20;
  Session few(std::move(twenty), 24);
  few.Run({CommandId::Standard16, CommandId::Best32});
  EXPECT_TRUE(few.ShowsLoaded());

  for (const CommandId command : {CommandId::Standard256, CommandId::Web216, CommandId::Standard16, CommandId::Grayscale, CommandId::Monochrome}) {
    Session s(BlackAndWhite(), 24);
    s.Run({command});
    EXPECT_TRUE(s.ShowsLoaded());
    EXPECT_EQ(s.shell.MonochromeChosen, command == CommandId::Monochrome);
  }
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
