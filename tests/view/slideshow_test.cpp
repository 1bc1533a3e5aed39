#include "shell/slideshow.h"

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "shell/paint_shown.h"
#include "shell/step.h"
#include "support/shell_fixture.h"
#include "view/slideshow.h"

namespace ravelle {
namespace {

using SlideTest = test::ShellTest;

struct Show {
  std::vector<std::string> good, garbage;
  std::string start;
  bool startGoesAway;
  std::vector<std::string> shown;  // at each step; empty: the show ends with its one message
  int repaints = -1;                // asked for by those steps, where checked
};

void PrintTo(const Show& show, std::ostream* out) { *out << show.good.size() << " good, " << show.garbage.size() << " not"; }

class SlideshowTest : public test::ShellTest, public ::testing::WithParamInterface<Show> {};

// Steps forward with wrap-around, passing over files that cannot be shown without their messages,
// and restarting its timer at every paint.
TEST_P(SlideshowTest, StepsForwardPassingOverWhatCannotBeShown) {
  const Show& c = GetParam();
  const auto paintSlide = [this] {
    RecordingSurface slide({1024, 768});
    PaintSlideshowWindow(image, shell, port, slide);
  };
  MakeFiles(c.good);
  for (const std::string& name : c.garbage) {
    test::WriteBytes(dir / name, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    port.FileListAdd(name);
  }
  shell.StepDirection = 0;  // Last File was the viewer's last command; the show goes forward
  LoadAndOpenViewer(c.start);
  Viewer({CommandId::Slideshow});
  ASSERT_TRUE(port.slideshowOpen);
  paintSlide();
  EXPECT_EQ(port.slideTimerPeriod, kSlideMilliseconds);
  if (c.startGoesAway) std::filesystem::remove(dir / c.start);
  std::vector<std::string> shown;
  for (std::size_t i = 0; i < (c.shown.empty() ? 5 : c.shown.size()) && image.Slideshow; ++i) {
    SlideshowTimer(image, shell, port);
    if (!image.Slideshow) break;
    paintSlide();
    shown.push_back(image.FilePath);
  }
  if (c.shown.empty()) {
    EXPECT_FALSE(port.slideshowOpen);
    EXPECT_EQ(port.slideTimerPeriod, 0);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(LastMessage().text, kNoFileToShow);
    return;
  }
  EXPECT_EQ(shown, c.shown);
  if (c.repaints >= 0) {
    EXPECT_EQ(port.slideshowRepaints, c.repaints);
  }
  EXPECT_TRUE(port.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Lists, SlideshowTest, ::testing::Values(
    Show{{"a.bmp", "b.bmp", "c.bmp"}, {}, "b.bmp", false, {"c.bmp", "a.bmp", "b.bmp"}, 3},
    Show{{"a.bmp", "d.bmp"}, {"b.bmp", "c.xyz"}, "a.bmp", false, {"d.bmp", "a.bmp"}},
    Show{{"a.bmp"}, {"b.bmp", "c.bmp"}, "a.bmp", true, {}}));  // the one good file goes away meanwhile

TEST_F(SlideTest, ASlideIsShrunkAndCentredUnderItsNameEvenInTileMode) {
  MakeFiles({"wide.bmp"}, 2000, 1500, 8);
  LoadAndOpenViewer("wide.bmp");
  shell.TileMode = 1;
  Viewer({CommandId::Slideshow});
  RecordingSurface slide({1024, 768});
  PaintSlideshowWindow(image, shell, port, slide);
  ASSERT_EQ(slide.stretches.size(), 1u);
  EXPECT_EQ(slide.stretches[0].dest, (Rect{34, 26, 955, 715}));
  EXPECT_EQ(slide.log.back(), "text \"wide.bmp\" at 480,0 64x16");  // 8 x 16 per character, centred
}

}  // namespace
}  // namespace ravelle
