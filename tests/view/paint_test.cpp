#include "view/paint.h"
#include "shell/paint_shown.h"

#include <gtest/gtest.h>

#include <climits>

#include "headless/headless_port.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::DrawDib;

TEST(ShrinkToFitTest, StepsOfNineTenthsUntilBothSidesFitAndDegenerateSizesEnd) {
  EXPECT_EQ(ShrinkToFit(1000, 800, 640, 480), (Size{590, 471}));
  EXPECT_EQ(ShrinkToFit(640, 480, 640, 480), (Size{640, 480}));
  EXPECT_EQ(ShrinkToFit(640, 480, 639, 480), (Size{576, 432}));
  EXPECT_EQ(ShrinkToFit(2000, 1500, 1024, 768), (Size{955, 715}));
  EXPECT_EQ(ShrinkToFit(10, 10, 500, 500), (Size{10, 10}));  // never enlarged
  // Degenerate sizes end without overflow.
  EXPECT_EQ(ShrinkToFit(1, 100000, 10, 10).width, 0);  // the thin side reaches 0 first
  EXPECT_EQ(ShrinkToFit(500, 500, 0, 0), (Size{0, 0}));  // an empty client area
  const Size huge = ShrinkToFit(INT_MAX, 1, 1000, 1000);
  EXPECT_LE(huge.width, 1000);
  EXPECT_GT(huge.width, 800);
}

class PaintTest : public ::testing::Test {
 protected:
  void Show(int width, int height, int bitCount = 24) {
    image.Kind = ImageKind::Bitmap;
    image.Handle = DrawDib(width, height, bitCount);
  }
  void Paint(Size client, PaintTarget target = PaintTarget::Viewer) {
    surface = RecordingSurface(client);
    PaintShownImage(image, shell, port, surface, target);
  }
  std::vector<Rect> Drawn() const {
    std::vector<Rect> rects;
    for (const auto& s : surface.stretches) rects.push_back(s.dest);
    return rects;
  }

  HeadlessPort port;
  CurrentImage image;
  ShellState shell;
  RecordingSurface surface;
};

TEST_F(PaintTest, CentredImageIsShrunkAndCentredAfterTheWhiteFillAndTheMenu) {
  Show(1000, 800);
  Paint({640, 480});
  ASSERT_FALSE(surface.log.empty());
  EXPECT_EQ(surface.log.front(), "fill 0,0 641x481 #ffffff");
  EXPECT_EQ(Drawn(), (std::vector<Rect>{{25, 4, 590, 471}}));
  EXPECT_EQ(port.menuBarDraws, 1);

  Show(100, 50);
  Paint({640, 480});
  EXPECT_EQ(Drawn(), (std::vector<Rect>{{270, 215, 100, 50}}));  // small images are centred too
}

TEST_F(PaintTest, TiledImagesFillTheAreaWithWholeCopiesCutAtTheEdge) {
  Show(100, 50);
  shell.TileMode = 1;
  Paint({250, 120});
  const std::vector<Rect> drawn = Drawn();
  ASSERT_EQ(drawn.size(), 9u);
  EXPECT_EQ(drawn[0], (Rect{0, 0, 100, 50}));
  EXPECT_EQ(drawn[2], (Rect{200, 0, 100, 50}));
  EXPECT_EQ(drawn[8], (Rect{200, 100, 100, 50}));

  Show(1000, 800);  // larger than the window: shrunk tiles
  Paint({640, 480});
  ASSERT_EQ(Drawn().size(), 4u);
  EXPECT_EQ(Drawn()[3], (Rect{590, 471, 590, 471}));
}

TEST_F(PaintTest, AnimatedGifFramesAreNeverShrunk) {
  image.Kind = ImageKind::AnimatedGif;
  image.FrameDib = DrawDib(800, 600, 8);
  Paint({640, 480});
  EXPECT_EQ(Drawn(), (std::vector<Rect>{{-80, -60, 800, 600}}));
}

TEST_F(PaintTest, FullScreenPlacesByTheScreenAndTheScrollOrigins) {
  port.screen = {{1024, 768}, 16, 16};
  shell.ScrollOriginX = -300;
  shell.ScrollOriginY = -40;
  const struct {
    int width, height;
    Rect drawn;
  } cases[] = {{2000, 300, {-300, 234, 2000, 300}},
               {500, 1000, {262, -40, 500, 1000}},
               {2000, 760, {-300, -40, 2000, 760}},  // too tall to leave room for a horizontal scroll bar
               {300, 200, {362, 284, 300, 200}}};
  for (const auto& c : cases) {
    Show(c.width, c.height);
    Paint({1024, 768}, PaintTarget::FullScreen);
    EXPECT_EQ(Drawn(), (std::vector<Rect>{c.drawn})) << c.width << "x" << c.height;
  }
  EXPECT_EQ(port.menuBarDraws, 0);  // no menu, no fill: the class background is white
}

TEST_F(PaintTest, NothingIsDrawnWithoutAnImageOrIntoAnEmptyWindow) {
  Paint({640, 480});
  EXPECT_TRUE(Drawn().empty());
  image.Kind = ImageKind::FileRemoved;
  Paint({640, 480});
  EXPECT_TRUE(Drawn().empty());

  Show(3, 1000);
  shell.TileMode = 1;
  Paint({0, 0});  // shrinks to nothing and tiles nothing, without looping
  EXPECT_TRUE(Drawn().empty());
}

TEST(MetafileGeometryTest, ExtentsAndFittedTiles) {
  EXPECT_EQ(GetTwipsPerPixel(RecordingSurface()), (Size{15, 15}));
  EXPECT_EQ(PlaceableMetafileExtent({1440, 720}, 1440, {15, 15}), (Size{96, 48}));
  EXPECT_EQ(PlaceableMetafileExtent({1440, 720}, 0, {15, 15}), (Size{0, 0}));

  const std::vector<Rect> emf = EnhancedMetafileRects({250, 120}, {100, 50}, 1);
  ASSERT_EQ(emf.size(), 4u);
  EXPECT_EQ(emf[0], (Rect{25, 10, 100, 50}));
  EXPECT_EQ(emf[3], (Rect{125, 60, 100, 50}));
  EXPECT_EQ(EnhancedMetafileRects({640, 480}, {1000, 800}, 0), (std::vector<Rect>{{25, 4, 590, 471}}));

  // The extent must end strictly inside the area, and the whole tiles form a centred block.
  EXPECT_EQ(FittedMetafileViewports({101, 101}, {100, 100}, 0), (std::vector<Rect>{{0, 0, 100, 100}}));
  EXPECT_EQ(FittedMetafileViewports({100, 100}, {100, 100}, 0), (std::vector<Rect>{{5, 5, 90, 90}}));
  EXPECT_EQ(FittedMetafileViewports({251, 121}, {100, 50}, 1).size(), 4u);
  EXPECT_TRUE(FittedMetafileViewports({0, 0}, {100, 50}, 1).empty());  // ends, draws nothing
}

TEST(DrawFrameInWindowTest, IconsEraseTheirSquareAndTheSlideshowCaptionIsCentredOnTop) {
  CurrentImage image;
  image.Kind = ImageKind::IconSequence;
  image.FilePath = "cat.ico";
  const PackedDib icon = DrawDib(32, 32, 4);
  RecordingSurface surface({300, 200});
  DrawShownFrame(image, icon, surface, 0, true);
  ASSERT_EQ(surface.log.size(), 3u);
  EXPECT_EQ(surface.log[0], "fill 86,36 128x128 #ffffff");
  EXPECT_EQ(surface.log[1], "image 32x32 at 134,84 32x32");
  EXPECT_EQ(surface.log[2], "text \"cat.ico\" at 122,0 56x16");

  RecordingSurface tiled({70, 40});
  DrawShownFrame(image, icon, tiled, 1, false);
  EXPECT_EQ(tiled.stretches.size(), 6u);  // 3 columns, 2 rows
}

}  // namespace
}  // namespace ravelle
