#include "view/paint.h"
#include "shell/paint_shown.h"

#include <gtest/gtest.h>

#include <climits>

#include "headless/headless_port.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

TEST(ShrinkToFitTest, StepsOfNineTenthsUntilBothSidesFitAndDegenerateSizesEnd) {
  EXPECT_EQ(ShrinkToFit(640, 480, 640, 480), (Size{640, 480}));
  EXPECT_EQ(ShrinkToFit(640, 480, 639, 480), (Size{576, 432}));
  EXPECT_EQ(ShrinkToFit(10, 10, 500, 500), (Size{10, 10}));  // never enlarged
  EXPECT_EQ(ShrinkToFit(1, 100000, 10, 10).width, 0);  // the thin side reaches 0 first
  EXPECT_EQ(ShrinkToFit(500, 500, 0, 0), (Size{0, 0}));  // an empty client area
  const Size huge = ShrinkToFit(INT_MAX, 1, 1000, 1000);
  EXPECT_LE(huge.width, 1000);
  EXPECT_GT(huge.width, 800);
}

// Where the viewer (at 640 x 480 unless said) and full screen (1024 x 768, scrolled to (-300,
// -40)) draw each kind of picture: how many copies, the first and the last.
TEST(PaintTest, CentredTiledAndFullScreenPicturesAreDrawnWhereTheirModeSays) {
  const struct {
    const char* what;
    ImageKind kind;
    Size image;
    int tileMode;
    PaintTarget target;
    std::size_t count;
    Rect first;
    Size client = {640, 480};
    Rect last = {};  // for one copy, the first
  } cases[] = {
      {"shrunk and centred", ImageKind::Bitmap, {1000, 800}, 0, PaintTarget::Viewer, 1, {25, 4, 590, 471}},
      {"small, centred", ImageKind::Bitmap, {100, 50}, 0, PaintTarget::Viewer, 1, {270, 215, 100, 50}},
      {"tiled, cut at the edge", ImageKind::Bitmap, {100, 50}, 1, PaintTarget::Viewer, 9, {0, 0, 100, 50}, {250, 120},
       {200, 100, 100, 50}},
      {"shrunk tiles", ImageKind::Bitmap, {1000, 800}, 1, PaintTarget::Viewer, 4, {0, 0, 590, 471}, {640, 480},
       {590, 471, 590, 471}},
      {"an animation's frame is never shrunk", ImageKind::AnimatedGif, {800, 600}, 0, PaintTarget::Viewer, 1, {-80, -60, 800, 600}},
      {"no picture", ImageKind::NoImage, {}, 0, PaintTarget::Viewer, 0, {}},
      {"shrunk to nothing, tiled", ImageKind::Bitmap, {3, 1000}, 1, PaintTarget::Viewer, 0, {}, {0, 0}},
      {"full screen, wide", ImageKind::Bitmap, {2000, 300}, 0, PaintTarget::FullScreen, 1, {-300, 234, 2000, 300}, {1024, 768}},
      {"full screen, tall", ImageKind::Bitmap, {500, 1000}, 0, PaintTarget::FullScreen, 1, {262, -40, 500, 1000}, {1024, 768}},
      // Too tall to leave room for a horizontal scroll bar.
      {"full screen, both bars", ImageKind::Bitmap, {2000, 760}, 0, PaintTarget::FullScreen, 1, {-300, -40, 2000, 760}, {1024, 768}},
      {"full screen, small", ImageKind::Bitmap, {300, 200}, 0, PaintTarget::FullScreen, 1, {362, 284, 300, 200}, {1024, 768}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HeadlessPort port;
    port.screen = {{1024, 768}, 16, 16};
    CurrentImage image;
    ShellState shell;
    shell.TileMode = c.tileMode;
    if (c.target == PaintTarget::FullScreen) shell.ScrollOriginX = -300, shell.ScrollOriginY = -40;
    image.Kind = c.kind;
    (c.kind == ImageKind::AnimatedGif ? image.FrameDib : image.Handle) =
        c.image.width > 0 ? test::DrawDib(c.image.width, c.image.height, 24) : PackedDib{};
    RecordingSurface surface(c.client);
    PaintShownImage(image, shell, port, surface, c.target);
    ASSERT_EQ(surface.stretches.size(), c.count);
    if (c.count == 0) continue;
    EXPECT_EQ(surface.stretches.front().dest, c.first);
    EXPECT_EQ(surface.stretches.back().dest, c.count == 1 ? c.first : c.last);
    const bool viewer = c.target == PaintTarget::Viewer;
    EXPECT_EQ(port.menuBarDraws, viewer ? 1 : 0);
  }
}

TEST(MetafileGeometryTest, ExtentsAndFittedTiles) {
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

}  // namespace
}  // namespace ravelle
