#include "shell/full_screen.h"

#include <gtest/gtest.h>


namespace ravelle {
namespace {

using R = ScrollRequest;

// On a 1024 x 768 screen with 16-pixel bars (the headless port's screen).
TEST(FullScreenOpeningTest, ScrollBarsByTheFirstRuleThatMatches) {
  const ScreenMetrics screen;
  struct Case { Size image; bool scrollable; ScrollBars bars; uint32_t style; } cases[] = {
      {{1000, 700}, true, {}, 0x90000000},      {{1024, 768}, true, {}, 0x90000000},
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
  struct Case { bool vertical; int origin; R request; int thumb; int expected; } cases[] = {
      {true, 0, R::LineUp, 0, 0},          {true, -4, R::LineUp, 0, 0},
      {true, -100, R::LineUp, 0, -92},     {true, 0, R::LineDown, 0, -8},
      {true, -1228, R::LineDown, 0, -1232}, {true, -500, R::PageUp, 0, 0},
      {true, -500, R::PageDown, 0, -1232}, {true, 0, R::ThumbPosition, 700, -700},
      {true, -500, R::Top, 0, 0},          {true, 0, R::Bottom, 0, -1232},
      {true, -16, R::EndScroll, 0, -16},   {true, -16, static_cast<R>(42), 0, -16},
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

}  // namespace
}  // namespace ravelle
