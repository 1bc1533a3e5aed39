#include "shell/full_screen.h"

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "resources/dialogs.h"
#include "shell/paint_shown.h"
#include "formats/metafile/metafile_builder.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::DrawDib;
using R = ScrollRequest;

// On a 1024 x 768 screen with 16-pixel bars (the headless port's screen).
TEST(FullScreenOpeningTest, ScrollBarsByTheFirstRuleThatMatches) {
  const ScreenMetrics screen;
  struct Case {
    Size image;
    bool scrollable;
    ScrollBars bars;
    uint32_t style;
  } cases[] = {
      {{1000, 700}, true, {}, 0x90000000},
      {{1024, 768}, true, {}, 0x90000000},
      {{800, 2000}, true, {true, false, 0, 1232}, 0x90200000},
      {{1008, 769}, true, {true, false, 0, 1}, 0x90200000},      // just fits beside the bar
      {{2000, 700}, true, {false, true, 976, 0}, 0x90100000},
      {{1020, 2000}, true, {true, true, 12, 1248}, 0x90300000},  // too wide for the bar beside it
      {{2000, 760}, true, {true, true, 992, 8}, 0x90300000},     // too tall for the bar below it
      {{6000, 4000}, true, {true, true, 4992, 3248}, 0x90300000},
      {{6000, 4000}, false, {}, 0x90000000},                     // a metafile or an animation
  };
  for (const Case& c : cases) {
    const ScrollBars bars = FullScreenScrollBars(c.scrollable, c.image, screen);
    EXPECT_EQ(bars, c.bars) << c.image.width << "x" << c.image.height;
    EXPECT_EQ(FullScreenWindowStyle(bars), c.style) << c.image.width << "x" << c.image.height;
  }
}

TEST(FullScreenScrollTest, RequestsMoveTheOriginWithinTheRange) {
  struct Case {
    bool vertical;
    int origin;
    R request;
    int thumb;
    int expected;
  } cases[] = {
      {true, 0, R::LineUp, 0, 0},          {true, -4, R::LineUp, 0, 0},
      {true, -100, R::LineUp, 0, -92},     {true, 0, R::LineDown, 0, -8},
      {true, -1228, R::LineDown, 0, -1232}, {true, -500, R::PageUp, 0, 0},
      {true, -500, R::PageDown, 0, -1232}, {true, 0, R::ThumbPosition, 700, -700},
      {true, -8, R::ThumbTrack, 700, -8},  {true, -500, R::Top, 0, 0},
      {true, 0, R::Bottom, 0, -1232},      {true, -16, R::EndScroll, 0, -16},
      {true, -16, static_cast<R>(42), 0, -16},
      // The horizontal bar's shaft moves by a screen width (1024).
      {false, -2000, R::PageUp, 0, -976},  {false, -500, R::PageUp, 0, 0},
      {false, 0, R::PageDown, 0, -1024},   {false, -1024, R::PageDown, 0, -1232},
      {false, 0, R::LineDown, 0, -8},      {false, 0, R::Bottom, 0, -1232},
      {false, 0, R::ThumbPosition, 5000, -1232},  // a thumb beyond the range stops at its end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScrolledOrigin(c.vertical, c.origin, 1232, static_cast<int>(c.request), c.thumb, 1024), c.expected)
        << c.vertical << " " << c.origin << " " << static_cast<int>(c.request);
  }
}

class FullScreenTest : public test::ShellTest {
 protected:
  // The full-screen paint of the shown image: where it went.
  Rect Painted() {
    RecordingSurface surface({1024 - (port.fullScreenBars.vertical ? 16 : 0),
                              768 - (port.fullScreenBars.horizontal ? 16 : 0)});
    PaintShownImage(image, shell, port, surface, PaintTarget::FullScreen);
    return surface.stretches.empty() ? Rect{} : surface.stretches.back().dest;
  }
  void Keys(std::initializer_list<FullScreenKey> keys) {
    for (const FullScreenKey key : keys) FullScreenKeyDown(image, shell, port, key);
  }
};

TEST_F(FullScreenTest, FromTheViewerATallBitmapScrollsByKeysWithinItsRange) {
  MakeFiles({"tall.bmp"}, 800, 2000, 8);
  LoadAndOpenViewer("tall.bmp");
  Viewer({CommandId::FullScreen});
  ASSERT_TRUE(port.fullScreenOpen);
  EXPECT_EQ(port.fullScreenBars, (ScrollBars{true, false, 0, 1232}));
  EXPECT_EQ(Painted(), (Rect{104, 0, 800, 2000}));  // centred across beside the bar
  Keys({FullScreenKey::Down, FullScreenKey::Down, FullScreenKey::Down});
  EXPECT_EQ(shell.ScrollOriginY, -24);
  EXPECT_EQ(port.scrollPosition, (Point{0, 24}));
  EXPECT_EQ(Painted(), (Rect{104, -24, 800, 2000}));
  Keys({FullScreenKey::PageDown, FullScreenKey::Down});
  EXPECT_EQ(shell.ScrollOriginY, -1232);
  Keys({FullScreenKey::PageUp, FullScreenKey::Up, FullScreenKey::Right, FullScreenKey::End});
  EXPECT_EQ(port.scrollPosition, (Point{0, 1232}));  // no horizontal bar: across stays put
  Keys({FullScreenKey::Home});
  EXPECT_EQ(port.scrollPosition, (Point{0, 0}));
  // Dragging the thumb moves the image only when it is released.
  FullScreenScroll(shell, port, true, static_cast<int>(R::ThumbTrack), 300);
  EXPECT_EQ(shell.ScrollOriginY, 0);
  FullScreenScroll(shell, port, true, static_cast<int>(R::ThumbPosition), 300);
  EXPECT_EQ(Painted(), (Rect{104, -300, 800, 2000}));

  CloseFullScreen(image, shell, port);  // a left click
  EXPECT_EQ(shell.ScrollOriginY, 0);
  EXPECT_TRUE(port.viewerOpen);  // back to the viewer
  EXPECT_EQ(image.FilePath, "tall.bmp");
}

TEST_F(FullScreenTest, ALargeBitmapGetsBothBarsAndAMetafileAPlainWindow) {
  MakeFiles({"big.bmp"}, 1500, 1000, 1);
  Load("big.bmp");
  Dialog({kIdFullScreen});
  EXPECT_EQ(port.fullScreenBars, (ScrollBars{true, true, 492, 248}));
  Keys({FullScreenKey::End});
  EXPECT_EQ(Painted(), (Rect{-492, -248, 1500, 1000}));
  Keys({FullScreenKey::Left, FullScreenKey::Up});
  EXPECT_EQ(Painted(), (Rect{-484, -240, 1500, 1000}));
  Keys({FullScreenKey::Home, FullScreenKey::Right, FullScreenKey::Down});
  EXPECT_EQ(Painted(), (Rect{-8, -8, 1500, 1000}));
  Keys({FullScreenKey::Other});  // any other key closes
  EXPECT_FALSE(port.fullScreenOpen);
  EXPECT_FALSE(shell.FullScreenPending);

  test::WriteBytes(dir / "m.wmf", test::WmfBuilder().Placeable(0, 0, 1439, 1439, 1440));
  port.FileListAdd("m.wmf");
  Load("m.wmf");
  ASSERT_EQ(image.Kind, ImageKind::WindowsMetafile);
  Dialog({kIdFullScreen});
  EXPECT_EQ(port.fullScreenBars, ScrollBars{});
  EXPECT_EQ(port.fullScreenOpens, 2);
}

}  // namespace
}  // namespace ravelle
