#include <gtest/gtest.h>

#include "resources/dialogs.h"
#include "shell/browser.h"
#include "support/animation_files.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::ShellTest;
using namespace test::gif;
namespace fs = std::filesystem;

// three.ico: images 16, 32 and 8 wide. walk.ani: two frames told apart by their first pixel (0 or
// 1), played 1, 0 and the missing frame 7 for 6, 12 and 30 sixtieths. anim.gif: a 4 x 2 screen
// filled with index 1, then index 2 at its top-left. anim.webp: blue 1, then 2, for 100 and 200 ms.
void WriteAnimations(const fs::path& dir) {
  using namespace test::icon;
  test::WriteBytes(dir / "three.ico", IconFile({Checkered(16, 4), Checkered(32, 8), Checkered(8, 24)}));
  test::WriteBytes(dir / "walk.ani", AniFile({{"anih", Anih(2, 3)}, {"seq ", Dwords({1, 0, 7})},
                                              {"rate", Dwords({6, 12, 30})}, {"fram", Frames(2)}}));
  Bytes gif = Header("89a", 4, 2, 0x81, 4);
  Control(gif, 0, 0);
  Image(gif, 0, 0, 4, 2, Solid(4, 2, 1));
  Control(gif, 0, 20);
  Image(gif, 0, 0, 1, 1, {2});
  Add(gif, {0x3B});
  test::WriteBytes(dir / "anim.gif", gif);
  test::WriteBytes(dir / "anim.webp", test::webp::AnimationFile(4, 2, {{test::webp::Solid(4, 2, 0, 0, 1), 0, 0, 100},
                                                                      {test::webp::Solid(2, 2, 0, 0, 2), 0, 0, 200}}));
}

int IndexAt(const PackedDib& dib, int x, int y) { return dib.Row(dib.Height() - 1 - y)[x]; }  // top row 0

// Periods: a GIF's delay of 0 is 10 hundredths, x 9 ms (x 5 on 8-bit displays); a cursor's rate x
// 1.6667 hundredths; a missing cursor frame keeps the one shown.
TEST_F(ShellTest, AnimationsStepOnTheTimerLoopAndStopBeforeRelease) {
  struct Step {
    int shown;  // an icon's width, a GIF screen's index at (0, 0), a cursor's first pixel
    int period;
  };
  struct Case {
    const char* file;
    int displayDepth;
    bool exit;  // released by leaving the dialog, else by loading another file
    std::vector<Step> steps;
  } cases[] = {
      {"three.ico", 24, true, {{16, 900}, {32, 900}, {8, 900}, {16, 900}}},
      {"anim.gif", 24, false, {{1, 90}, {2, 180}, {1, 90}}},
      {"anim.gif", 8, true, {{1, 50}, {2, 100}, {1, 50}}},
      {"anim.webp", 24, false, {{1, 90}, {2, 180}, {1, 90}}},
      {"walk.ani", 24, true, {{1, 90}, {0, 180}, {0, 450}, {1, 90}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.displayDepth) + " bits");
    port.fileList.clear();
    WriteAnimations(dir.path());
    MakeFiles({"still.bmp"});
    port.FileListAdd(c.file);
    port.displayDepth = c.displayDepth;
    Load(c.file);
    const auto shown = [&] {
      if (image.Kind == ImageKind::IconSequence) return image.Handle.Width();
      if (image.Kind == ImageKind::AnimatedCursor) return static_cast<int>(image.Handle.Pixels()[0]);
      return IndexAt(image.FrameDib, 0, 0);
    };
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      if (i > 0) BrowserTimer(image, shell, port);
      EXPECT_EQ(shown(), c.steps[i].shown) << "step " << i;
      EXPECT_EQ(port.timerPeriod, c.steps[i].period) << "step " << i;
    }
    port.log.clear();
    if (c.exit) {
      Dialog({kIdExit});
    } else {
      Load("still.bmp");
    }
    ASSERT_FALSE(port.log.empty());
    EXPECT_EQ(port.log.front(), "timer off");
    EXPECT_FALSE(image.Animation);
    EXPECT_FALSE(image.FrameDib);
    EXPECT_TRUE(image.AniTables.frames.empty());
  }
}

}  // namespace
}  // namespace ravelle
