#include "shell/slideshow.h"

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "shell/paint_shown.h"
#include "shell/step.h"
#include "support/shell_fixture.h"
#include "view/slideshow.h"

namespace ravelle {
namespace {

using test::DrawDib;

class SlideshowTest : public test::ShellTest {
 protected:
  void Start(const std::string& name) {
    LoadAndOpenViewer(name);
    Viewer({CommandId::Slideshow});
    ASSERT_TRUE(port.slideshowOpen);
    PaintSlide();
  }
  void PaintSlide() {
    slide = RecordingSurface({1024, 768});
    PaintSlideshowWindow(image, shell, port, slide);
  }
  // The files the slideshow shows at each of its steps.
  std::vector<std::string> Steps(int count) {
    std::vector<std::string> shown;
    for (int i = 0; i < count && image.Slideshow; ++i) {
      SlideshowTimer(image, shell, port);
      if (image.Slideshow) PaintSlide();
      shown.push_back(image.FilePath);
    }
    return shown;
  }
  void Garbage(const std::string& name) {
    test::WriteBytes(dir / name, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    port.FileListAdd(name);
  }

  RecordingSurface slide;
};

TEST_F(SlideshowTest, StepsForwardWithWrapAroundAndRestartsItsTimerAtEveryPaint) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  shell.StepDirection = 0;  // Last File was the viewer's last command; the show goes forward
  Start("b.bmp");
  EXPECT_EQ(port.slideTimerPeriod, kSlideMilliseconds);
  EXPECT_TRUE(shell.SlideTimerRunning);
  EXPECT_EQ(Steps(3), (std::vector<std::string>{"c.bmp", "a.bmp", "b.bmp"}));
  EXPECT_EQ(port.selection, 1);
  EXPECT_EQ(port.fileNameBox, "b.bmp");
  EXPECT_EQ(port.slideshowRepaints, 3);
  EXPECT_TRUE(port.messages.empty());

  CloseSlideshow(image, shell, port);  // a key or a left click
  EXPECT_FALSE(port.slideshowOpen);
  EXPECT_EQ(port.slideTimerPeriod, 0);
  EXPECT_FALSE(shell.SlideTimerRunning);
  EXPECT_EQ(image.FilePath, "b.bmp");  // the last slide stays shown
  EXPECT_TRUE(image.Handle);
}

TEST_F(SlideshowTest, FilesThatCannotBeShownArePassedOverWithoutTheirMessages) {
  MakeFiles({"a.bmp", "d.bmp"});
  Garbage("b.bmp");
  Garbage("c.xyz");
  Start("a.bmp");
  EXPECT_EQ(Steps(2), (std::vector<std::string>{"d.bmp", "a.bmp"}));
  EXPECT_TRUE(port.messages.empty());
  EXPECT_TRUE(port.slideshowOpen);

  // Next File in the viewer stops at such a file, and shows it empty.
  Viewer({CommandId::NextFile});
  EXPECT_EQ(image.FilePath, "b.bmp");
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
}

TEST_F(SlideshowTest, AListWithNothingToShowEndsTheShowWithOneMessage) {
  MakeFiles({"a.bmp"});
  Garbage("b.bmp");
  Garbage("c.bmp");
  Start("a.bmp");
  std::filesystem::remove(dir / "a.bmp");  // the one good file goes away meanwhile
  Steps(5);
  EXPECT_FALSE(image.Slideshow);
  EXPECT_FALSE(port.slideshowOpen);
  EXPECT_EQ(port.slideTimerPeriod, 0);
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(LastMessage().text, kNoFileToShow);

  // An emptied list ends it the same way.
  port.messages.clear();
  port.fileList.clear();
  port.selection = -1;
  Viewer({CommandId::Slideshow});
  SlideshowTimer(image, shell, port);
  EXPECT_FALSE(port.slideshowOpen);
  EXPECT_EQ(port.messages.size(), 1u);
}

TEST_F(SlideshowTest, ASingleFileShowsItselfAgain) {
  MakeFiles({"only.bmp"});
  Start("only.bmp");
  EXPECT_EQ(Steps(2), (std::vector<std::string>{"only.bmp", "only.bmp"}));
  EXPECT_TRUE(port.slideshowOpen);
}

TEST_F(SlideshowTest, ASlideIsShrunkAndCentredUnderItsNameEvenInTileMode) {
  MakeFiles({"wide.bmp"}, 2000, 1500, 8);
  LoadAndOpenViewer("wide.bmp");
  shell.TileMode = 1;
  Viewer({CommandId::Slideshow});
  PaintSlide();
  ASSERT_EQ(slide.stretches.size(), 1u);
  EXPECT_EQ(slide.stretches[0].dest, (Rect{34, 26, 955, 715}));
  EXPECT_EQ(slide.log.front(), "fill 0,0 1025x769 #ffffff");
  EXPECT_EQ(slide.log.back(), "text \"wide.bmp\" at 480,0 64x16");  // 8 x 16 per character, centred
}

}  // namespace
}  // namespace ravelle
