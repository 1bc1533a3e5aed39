// The animations in the shell: icon sequences and animated cursors stepped by the dialog's
// timer, the timer stopped and restarted around Delete and Move, and an animated GIF's frame
// shown as a Bitmap to the Tools and Convert/Save while the file goes on animating.

#include <gtest/gtest.h>

#include "formats/gif/gif_reader.h"
#include "formats/webp/webp_reader.h"
#include "resources/dialogs.h"
#include "shell/browser.h"
#include "shell/menu_state.h"
#include "shell/viewer.h"
#include "support/animation_files.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::ShellTest;
using namespace test::gif;
namespace fs = std::filesystem;

// Three images of different sizes, so that the one shown can be told by its width.
void WriteIconSequence(const fs::path& file) {
  using namespace test::icon;
  test::WriteBytes(file, IconFile({Checkered(16, 4), Checkered(32, 8), Checkered(8, 24)}));
}

// Two frames told apart by their first pixel (0 or 1), played 1, 0 and the missing frame 7 for 6,
// 12 and 30 sixtieths.
void WriteAnimatedCursor(const fs::path& file) {
  using namespace test::icon;
  test::WriteBytes(file, AniFile({{"anih", Anih(2, 3)}, {"seq ", Dwords({1, 0, 7})}, {"rate", Dwords({6, 12, 30})},
                                  {"fram", Frames(2)}}));
}

// A 4 x 2 screen: frame 1 fills it with index 1, frame 2 puts index 2 at its top-left pixel.
void WriteAnimatedGif(const fs::path& file) {
  Bytes gif = Header("89a", 4, 2, 0x81, 4);
  Control(gif, 0, 0);
  Image(gif, 0, 0, 4, 2, Solid(4, 2, 1));
  Control(gif, 0, 20);
  Image(gif, 0, 0, 1, 1, {2});
  Add(gif, {0x3B});
  test::WriteBytes(file, gif);
}

// The index at (x, y), top row 0, of an 8-bit image.
int IndexAt(const PackedDib& dib, int x, int y) { return dib.Row(dib.Height() - 1 - y)[x]; }

// Two frames told apart by the blue of their top-left pixel (1, then 2), shown 100 and 200 ms.
void WriteAnimatedWebp(const fs::path& file) {
  test::WriteBytes(file, test::webp::AnimationFile(4, 2, {{test::webp::Solid(4, 2, 0, 0, 1), 0, 0, 100},
                                                          {test::webp::Solid(2, 2, 0, 0, 2), 0, 0, 200}}));
}

// Every kind of animation steps on the dialog's timer in file order and loops, at the period of
// its kind (a GIF's delay of 0 is shown for 10 hundredths, x 9 ms, x 5 on 8-bit displays; a
// cursor's rate x 1.6667 hundredths; a missing cursor frame keeps the one shown), and the timer
// stops before what they show is freed.
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
      {"three.ico", 24, true, {{16, 900}, {32, 900}, {8, 900}, {16, 900}, {32, 900}}},
      {"anim.gif", 24, false, {{1, 90}, {2, 180}, {1, 90}}},
      {"anim.gif", 8, true, {{1, 50}, {2, 100}, {1, 50}}},
      {"anim.webp", 24, false, {{1, 90}, {2, 180}, {1, 90}}},
      {"walk.ani", 24, true, {{1, 90}, {0, 180}, {0, 450}, {1, 90}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.displayDepth) + " bits");
    port.fileList.clear();
    WriteIconSequence(dir / "three.ico");
    WriteAnimatedGif(dir / "anim.gif");
    WriteAnimatedWebp(dir / "anim.webp");
    WriteAnimatedCursor(dir / "walk.ani");
    MakeFiles({"still.bmp"});
    port.FileListAdd(c.file);
    port.displayDepth = c.displayDepth;
    Load(c.file);
    const auto shown = [&] {
      if (image.Kind == ImageKind::IconSequence) return image.Handle.Width();
      if (image.Kind == ImageKind::AnimatedCursor) return static_cast<int>(image.Handle.Pixels()[0]);
      EXPECT_EQ(image.Kind, ImageKind::AnimatedGif);
      return IndexAt(image.FrameDib, 0, 0);
    };
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      if (i > 0) BrowserTimer(image, shell, port);
      EXPECT_EQ(shown(), c.steps[i].shown) << "step " << i;
      EXPECT_EQ(port.timerPeriod, c.steps[i].period) << "step " << i;
    }
    if (image.Kind == ImageKind::IconSequence) EXPECT_NE(image.InfoText.find("width: 32"), std::string::npos);
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
    if (c.exit) {
      EXPECT_FALSE(image.Handle);
      EXPECT_TRUE(image.File.empty());
    } else {
      EXPECT_EQ(image.Kind, ImageKind::Bitmap);
    }
  }
}

// Deleting or moving the shown file stops the animation first; a file that stays animates on,
// with the period of its kind, and a file that goes leaves the next one shown without a timer.
TEST_F(ShellTest, DeleteAndMoveStopTheAnimationAndRestartItOnlyWhenTheFileStays) {
  struct Case {
    const char* name;
    CommandId command;
    bool succeeds;
    int displayDepth;
    int period;  // of the restarted timer; 0 when the file went
  };
  const Case cases[] = {
      {"three.ico", CommandId::DeleteFile, false, 24, 900}, {"anim.gif", CommandId::DeleteFile, false, 8, 50},
      {"anim.gif", CommandId::MoveFile, false, 24, 90},     {"three.ico", CommandId::MoveFile, true, 24, 0},
      {"anim.gif", CommandId::DeleteFile, true, 24, 0},     {"walk.ani", CommandId::DeleteFile, false, 24, 90},
      {"walk.ani", CommandId::MoveFile, true, 24, 0},
  };
  const auto step = [&] {
    if (image.Kind == ImageKind::AnimatedCursor) return static_cast<int>(image.AniTables.position);
    return image.Kind == ImageKind::IconSequence ? image.IconIndex : image.Animation->FrameNumber();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.command == CommandId::DeleteFile ? " delete" : " move") +
                 (c.succeeds ? "" : " failing"));
    port.fileList.clear();
    WriteIconSequence(dir / "three.ico");
    WriteAnimatedGif(dir / "anim.gif");
    WriteAnimatedCursor(dir / "walk.ani");
    MakeFiles({"still.bmp"});
    port.FileListAdd(c.name);
    port.displayDepth = c.displayDepth;
    LoadAndOpenViewer(c.name);
    ASSERT_TRUE(image.Timer);
    port.log.clear();
    if (c.command == CommandId::DeleteFile) {
      port.answers = {Answer::Yes};
      if (!c.succeeds) fs::remove(dir / c.name);  // gone behind the program's back: the delete fails
    } else {
      port.saveAnswers = {c.succeeds ? std::optional((dir / "moved" / c.name).string()) : std::nullopt};
    }
    Viewer({c.command});
    ASSERT_FALSE(port.log.empty());
    EXPECT_EQ(port.log.front(), "timer off");
    EXPECT_EQ(port.timerPeriod, c.period);
    EXPECT_EQ(image.Timer, !c.succeeds);
    EXPECT_EQ(image.FilePath, c.succeeds ? "still.bmp" : c.name);
    if (c.succeeds) {  // the animation's frames went with it
      EXPECT_FALSE(fs::exists(dir / c.name));
      EXPECT_TRUE(image.AniTables.frames.empty());
      EXPECT_TRUE(image.File.empty());
    } else {  // still listed and animating
      EXPECT_EQ(port.fileList.size(), 2u);
      if (c.command == CommandId::DeleteFile) {
        EXPECT_EQ(LastMessage(), (Message{"Unable to Delete: \n\n " + std::string(c.name), "", kMbOk}));
      }
      const int before = step();
      BrowserTimer(image, shell, port);
      EXPECT_NE(step(), before);
    }
    CloseViewer(image, shell, port);
    fs::remove_all(dir / "moved");
  }
}

// The Tools run on the frame shown and, kept, on every later frame; Convert/Save writes the frame
// as shown; closing the viewer shows the frames as they are again.
TEST_F(ShellTest, AnAnimatedGifsFrameIsABitmapToTheToolsAndConvertSave) {
  WriteAnimatedGif(dir / "anim.gif");
  port.FileListAdd("anim.gif");
  LoadAndOpenViewer("anim.gif");
  ASSERT_EQ(image.Kind, ImageKind::AnimatedGif);
  UpdateViewerMenu(image, shell, port);
  for (const MenuPath& item : {menu::kConvertSave, menu::kTools, menu::kBest16, menu::kBrighten}) {
    EXPECT_FALSE(MenuItemAt(port.menu, item)->grayed);
  }

  Viewer({CommandId::Rotate90, CommandId::InvertColors});
  EXPECT_EQ(image.Kind, ImageKind::AnimatedGif);
  EXPECT_TRUE(image.Timer);
  ASSERT_EQ(image.FrameDib.Width(), 2);
  EXPECT_EQ(image.FrameDib.Height(), 4);
  const auto inverted = [&](int index) { return 255 - image.FrameDib.Colors()[static_cast<std::size_t>(index)].rgbRed; };
  EXPECT_EQ(inverted(IndexAt(image.FrameDib, 1, 0)), 1);  // frame 1's index 1 (red 1), inverted
  BrowserTimer(image, shell, port);
  ASSERT_EQ(image.Animation->FrameNumber(), 2);
  EXPECT_EQ(image.FrameDib.Width(), 2);  // the next frame turned and inverted as well
  EXPECT_EQ(inverted(IndexAt(image.FrameDib, 1, 0)), 2);  // the screen's top-left is the top-right now
  EXPECT_EQ(inverted(IndexAt(image.FrameDib, 0, 0)), 1);

  port.saveAnswers = {(dir / "frame.gif").string()};
  Viewer({136});
  EXPECT_EQ(LastMessage().title, "File Converted Successfully");
  const ReadResult written = ReadGifImage(test::ReadBytes(dir / "frame.gif"));
  ASSERT_TRUE(written.dib);
  EXPECT_EQ(written.dib.Width(), 2);
  EXPECT_EQ(written.dib.Height(), 4);
  port.saveAnswers = {(dir / "frame.webp").string()};
  Viewer({201});  // a command of the photo formats' sub-menu
  EXPECT_EQ(ReadWebpImage(test::ReadBytes(dir / "frame.webp")).dib.Height(), 4);

  CloseViewer(image, shell, port);
  EXPECT_TRUE(image.FrameTools.empty());
  EXPECT_EQ(image.FrameDib.Width(), 4);
  EXPECT_EQ(IndexAt(image.FrameDib, 0, 0), 2);
}

}  // namespace
}  // namespace ravelle
