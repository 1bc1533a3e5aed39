#include "shell/viewer.h"

#include <gtest/gtest.h>

#include "shell/browser.h"
#include "shell/menu_state.h"
#include "shell/tool_commands.h"
#include "support/shell_fixture.h"
#include "support/test_images.h"

namespace ravelle {
namespace {

using test::DrawDib;
using test::ShellTest;
namespace fs = std::filesystem;

TEST_F(ShellTest, ClosingUndoesTheTools) {
  MakeFiles({"g.bmp"}, 7, 5, 24);
  LoadAndOpenViewer("g.bmp");
  const auto loaded = test::BytesOf(image.Handle);
  for (const CommandId command : {CommandId::Best16, CommandId::Brighten, CommandId::Rotate90, CommandId::FlipLeftRight}) {
    ASSERT_TRUE(RunToolCommand(image, shell, port, command));
  }
  CloseViewer(image, shell, port);
  EXPECT_EQ(test::BytesOf(image.Handle), loaded);
  EXPECT_FALSE(image.SavedImage);
  EXPECT_FALSE(image.ReductionApplied);
  EXPECT_EQ(image.PendingOrientation, 0);
}

TEST_F(ShellTest, SteppingWrapsAndPrintAndFullScreenNeedAnImage) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  Viewer({CommandId::LastFile});
  EXPECT_EQ(image.FilePath, "c.bmp");
  Viewer({CommandId::NextFile});
  EXPECT_EQ(image.FilePath, "a.bmp");
  EXPECT_EQ(port.fileNameBox, "a.bmp");
  image.Handle = PackedDib();
  Viewer({CommandId::PrintNormal, CommandId::FullScreen});
  Viewer({101, 192});  // outside the table
  EXPECT_TRUE(port.printedDocuments.empty());
  EXPECT_EQ(port.fullScreenOpens, 0);
  EXPECT_TRUE(port.viewerOpen);
}

TEST_F(ShellTest, DeletingAsksFirstThenShowsTheFileThatFollowedAndClosesTheViewerAfterTheLast) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  port.answers = {Answer::No, Answer::Yes};
  Viewer({CommandId::DeleteFile});
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  Viewer({CommandId::DeleteFile});
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(image.FilePath, "b.bmp");  // the first of several: its follower

  Load("c.bmp");
  port.answers = {Answer::Yes, Answer::Yes};
  Viewer({CommandId::DeleteFile});  // the last entry: wraps to the first
  EXPECT_EQ(image.FilePath, "b.bmp");
  Viewer({CommandId::DeleteFile});  // the folder's last file closes the viewer
  EXPECT_TRUE(port.fileList.empty());
  EXPECT_FALSE(port.viewerOpen);
  EXPECT_EQ(image.Kind, ImageKind::FileRemoved);
}

TEST_F(ShellTest, DeletingAfterBrowsingElsewhereDeletesTheShownFileNotItsNamesake) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  fs::create_directory(dir / "other");
  fs::current_path(dir / "other");
  test::WriteBitmapFile(dir / "other" / "a.bmp", DrawDib(4, 4, 8));
  port.fileList = {"a.bmp"};
  port.selection = 0;
  port.answers = {Answer::Yes};
  Viewer({CommandId::DeleteFile});
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_TRUE(fs::exists(dir / "other" / "a.bmp"));
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a.bmp"}));  // not the shown file's list
}

// The file that goes is replaced in the list by its follower, even when its new name sorts before
// the old one; a move creates its new folder; a copy is listed only in the list's folder, and once.
TEST_F(ShellTest, MoveRenameAndCopyFollowTheList) {
  struct Case {
    CommandId command;
    const char* target;  // in the folder
    std::vector<std::string> list;
    const char* shown;
  };
  const Case cases[] = {
      {CommandId::MoveFile, "kept/b.bmp", {"a.bmp", "c.bmp"}, "c.bmp"},
      {CommandId::RenameFile, "a0.bmp", {"a.bmp", "a0.bmp", "c.bmp"}, "c.bmp"},
      {CommandId::CopyFile, "b copy.bmp", {"a.bmp", "b copy.bmp", "b.bmp", "c.bmp"}, "b.bmp"},
      {CommandId::CopyFile, "sub/x.bmp", {"a.bmp", "b.bmp", "c.bmp"}, "b.bmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    fs::remove_all(dir / "kept");
    fs::create_directories(dir / "sub");
    port.fileList.clear();
    MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
    fs::remove(dir / "a0.bmp");
    LoadAndOpenViewer("b.bmp");
    const auto bytes = test::ReadBytes(dir / "b.bmp");
    const fs::path target = dir / c.target;
    port.saveAnswers = {target.string(), target.string()};
    Viewer({c.command});
    if (c.command == CommandId::CopyFile) Viewer({c.command});  // twice: listed once
    EXPECT_EQ(test::ReadBytes(target), bytes);
    EXPECT_EQ(fs::exists(dir / "b.bmp"), c.command == CommandId::CopyFile);
    EXPECT_EQ(port.fileList, c.list);
    EXPECT_EQ(image.FilePath, c.shown);
    CloseViewer(image, shell, port);
  }
}

}  // namespace
}  // namespace ravelle
