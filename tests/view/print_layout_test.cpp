#include "view/print_layout.h"

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "shell/print.h"
#include "support/shell_fixture.h"


namespace ravelle {
namespace {

constexpr Size kPage{4800, 6350};  // 8 x 10.6 inches at 600 dots per inch

TEST(PrintLayoutTest, BitmapsAtAWholeEnlargementOrShrunkWhenLargerThanThePage) {
  struct Case { Size page, image; PrintMode mode; int scale; std::size_t copies; Rect first; } cases[] = {
      {kPage, {320, 200}, {}, 7, 1, {1280, 2475, 2240, 1400}},
      {kPage, {320, 200}, {true, false}, 15, 1, {0, 1675, 4800, 3000}},
      {kPage, {320, 200}, {false, true}, 7, 8, {160, 375, 2240, 1400}},
      {kPage, {1024, 768}, {}, 4, 1, {352, 1639, 4096, 3072}},
      {kPage, {4800, 6350}, {false, true}, 1, 1, {0, 0, 4800, 6350}},  // page-sized
      // Larger than the page: nine-tenths steps until it fits, in every mode.
      {kPage, {6000, 4000}, {}, 0, 1, {213, 1717, 4374, 2916}},
      {kPage, {6000, 4000}, {true, false}, 0, 1, {213, 1717, 4374, 2916}},
      {kPage, {6000, 4000}, {false, true}, 0, 2, {213, 259, 4374, 2916}},  // one column of two
      {kPage, {100000, 1}, {false, true}, 0, 0, {}},  // shrunk to nothing: nothing drawn
      {{0, 0}, {320, 200}, {false, true}, 0, 0, {}},  // no page
      {{600, 400}, {320, 200}, {false, true}, 0, 2, {140, 0, 320, 200}},  // a page smaller than a screen
  };
  for (const Case& c : cases) {
    const PrintPlacement placement = PrintBitmapLayout(c.page, c.image, c.mode);
    SCOPED_TRACE(std::to_string(c.image.width) + "x" + std::to_string(c.image.height) + " large " +
                 std::to_string(c.mode.large) + " tiled " + std::to_string(c.mode.tiled));
    EXPECT_EQ(placement.scale, c.scale);
    ASSERT_EQ(placement.copies.size(), c.copies);
    if (c.copies > 0) {
      EXPECT_EQ(placement.copies[0], c.first);
    }
  }
  // Tiles: 2 columns by 4 rows, rows first.
  const auto tiles = PrintBitmapLayout(kPage, {320, 200}, {false, true}).copies;
  EXPECT_EQ(tiles[1], (Rect{2400, 375, 2240, 1400}));
  EXPECT_EQ(tiles[7], (Rect{2400, 4575, 2240, 1400}));
}

TEST(PrintLayoutTest, EnhancedMetafilesAtTwiceTheirBoundsGrownAndShrunkByTenths) {
  EXPECT_EQ(PrintEnhancedMetafileLayout(kPage, {100, 50}, {}).copies, (std::vector<Rect>{{2300, 3125, 200, 100}}));
  EXPECT_EQ(PrintEnhancedMetafileLayout(kPage, {100, 50}, {true, false}).copies,
            (std::vector<Rect>{{80, 2036, 4640, 2277}}));
  EXPECT_EQ(PrintEnhancedMetafileLayout(kPage, {100, 50}, {false, true}).copies.size(), 24u * 63u);
  EXPECT_TRUE(PrintEnhancedMetafileLayout(kPage, {0, 50}, {true, true}).copies.empty());
  // Sizes under nine pixels cannot grow by ten ninths: the growth ends instead of spinning.
  EXPECT_EQ(FitExtentToPage({4, 8}, kPage, true), (Size{4, 8}));
  EXPECT_EQ(FitExtentToPage({0, 0}, kPage, true), (Size{0, 0}));
  EXPECT_EQ(FitExtentToPage({720, 720}, kPage, false), (Size{720, 720}));
  // A negative extent counts as huge: shrunk until the other side is gone, nothing is drawn.
  EXPECT_EQ(FitExtentToPage({-1, 10}, kPage, false).height, 0);
}

using PrintTest = test::ShellTest;

TEST_F(PrintTest, TheUnreducedImageIsPrintedUnlessTheUserAskedForTheReduction) {
  MakeFiles({"a.bmp"}, 320, 200);
  LoadAndOpenViewer("a.bmp");
  image.SavedImage = test::DrawDib(32, 20, 24);  // the shown image is only the display's reduction
  Viewer({CommandId::PrintNormal});
  ASSERT_EQ(port.printedPage.stretches.size(), 1u);
  EXPECT_EQ(port.printedPage.stretches[0].imageWidth, 32);
  EXPECT_EQ(port.printedPage.stretches[0].dest, (Rect{2288, 3105, 224, 140}));  // s = 7 of 32 x 20
  image.ReductionApplied = true;
  Viewer({CommandId::PrintLarge});
  EXPECT_EQ(port.printedPage.stretches[0].imageWidth, 320);
}

}  // namespace
}  // namespace ravelle
