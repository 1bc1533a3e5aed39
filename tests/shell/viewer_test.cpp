#include "shell/viewer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST_F(ShellTest, ClosingUndoesTheToolsButKeepsTheDisplaysOwnReduction) {
  MakeFiles({"g.bmp"}, 7, 5, 24);
  LoadAndOpenViewer("g.bmp");
  const auto loaded = test::BytesOf(image.Handle);
  for (const CommandId command : {CommandId::Best16, CommandId::Brighten, CommandId::Rotate90, CommandId::FlipLeftRight}) {
    ASSERT_TRUE(RunToolCommand(image, shell, port, command));
  }
  EXPECT_TRUE(image.ReductionApplied);
  EXPECT_NE(image.PendingOrientation, 0);
  port.help.clear();
  CloseViewer(image, shell, port);
  EXPECT_EQ(test::BytesOf(image.Handle), loaded);
  EXPECT_FALSE(image.SavedImage);
  EXPECT_FALSE(image.ReductionApplied);
  EXPECT_EQ(image.PendingOrientation, 0);
  EXPECT_EQ(image.BrightnessLevel, 0);
  EXPECT_FALSE(image.Viewer);
  EXPECT_FALSE(port.viewerOpen);
  EXPECT_EQ(port.help.back().first, HelpCommand::Quit);

  port.displayDepth = 8;  // a 24-bit image is shown reduced, the unreduced one kept beside it
  MakeFiles({"a.bmp"}, 21, 10);
  LoadAndOpenViewer("a.bmp");
  ASSERT_TRUE(image.SavedImage);
  const auto saved = test::BytesOf(image.SavedImage);
  const auto shown = test::BytesOf(image.Handle);
  for (const CommandId command : {CommandId::Rotate270, CommandId::InvertColors, CommandId::FlipTopBottom, CommandId::Brighten}) {
    ASSERT_TRUE(RunToolCommand(image, shell, port, command));
  }
  const int repaints = port.dialogRepaints;
  CloseViewer(image, shell, port);
  EXPECT_EQ(image.PendingOrientation, 0);
  EXPECT_EQ(image.BrightnessLevel, 0);
  EXPECT_EQ(test::BytesOf(image.SavedImage), saved);
  EXPECT_EQ(test::BytesOf(image.Handle), shown);
  EXPECT_EQ(port.dialogRepaints, repaints + 1);
}

TEST_F(ShellTest, AMaximisedViewerReopensMaximised) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  port.viewerMaximized = true;
  CloseViewer(image, shell, port);  // as a key press or a left click does
  EXPECT_EQ(port.dialogActivations, 1);
  Dialog({1010});
  EXPECT_EQ(port.viewerStyle, kViewerStyleMaximized);
  port.viewerMaximized = false;
  Viewer({CommandId::CloseFile});
  Dialog({1010});
  EXPECT_EQ(port.viewerStyle, kViewerStyleNormal);
}

TEST_F(ShellTest, TheCommandTableRoutesToThePortAndTheRecord) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  Viewer({CommandId::CenterTile, CommandId::CenterTile});  // two clicks: back to the first mode and label
  EXPECT_EQ(shell.TileMode, 0);
  EXPECT_EQ(MenuItemAt(port.menu, menu::kCenterTile)->label, "&Tile");
  Viewer({CommandId::CenterTile});
  EXPECT_EQ(MenuItemAt(port.menu, menu::kCenterTile)->label, "&Center");

  Viewer({CommandId::FileInfo});
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].owner, Owner::Viewer);
  EXPECT_EQ(port.messages[0].message, (Message{image.InfoText, "a.bmp", kMbIconInformation}));
  EXPECT_FALSE(image.InfoText.empty());

  Viewer({CommandId::PrintLarge, CommandId::PrintTiled});
  EXPECT_EQ(port.printedDocuments, (std::vector<std::string>{"Bitmap", "Bitmap"}));
  Viewer({CommandId::FullScreen, CommandId::Slideshow, CommandId::About, CommandId::Help});
  EXPECT_EQ(port.fullScreenOpens, 1);
  EXPECT_EQ(port.slideshowOpens, 1);
  EXPECT_EQ(port.aboutShown, 1);
  EXPECT_EQ(port.help.back(), std::make_pair(HelpCommand::Contents, 0));
  Viewer({101, 192});  // outside the table
  EXPECT_TRUE(port.viewerOpen);

  // Last File on the first entry shows the last; Next File on the last shows the first.
  Viewer({CommandId::LastFile});
  EXPECT_EQ(image.FilePath, "c.bmp");
  EXPECT_EQ(port.viewerCaption, "c.bmp     " + std::to_string(fs::file_size(dir / "c.bmp")) + " bytes");
  EXPECT_EQ(port.fileNameBox, "c.bmp");
  Viewer({CommandId::NextFile});
  EXPECT_EQ(image.FilePath, "a.bmp");
  EXPECT_EQ(shell.StepDirection, 1);

  // Print and Full Screen need an image.
  image.Handle = PackedDib();
  Viewer({CommandId::PrintNormal, CommandId::FullScreen});
  EXPECT_EQ(port.printedDocuments.size(), 2u);
  EXPECT_EQ(port.fullScreenOpens, 1);
}

TEST_F(ShellTest, DeletingAsksFirstThenShowsTheFileThatFollowedAndClosesTheViewerAfterTheLast) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  port.answers = {Answer::No};
  Viewer({CommandId::DeleteFile});
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].message,
            (Message{"Are you sure? \n\n\nDelete File a.bmp?", " CONFIRM DELETE FILE ", kMbYesNoCancel | kMbIconExclamation}));

  port.answers = {Answer::Yes};
  Viewer({CommandId::DeleteFile});
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"b.bmp", "c.bmp"}));
  EXPECT_EQ(image.FilePath, "b.bmp");  // the first of several: its follower
  EXPECT_EQ(image.Kind, ImageKind::Bitmap);
  EXPECT_EQ(port.FileListText(port.selection), "b.bmp");
  EXPECT_TRUE(port.viewerOpen);

  Load("c.bmp");
  port.answers = {Answer::Yes};
  Viewer({CommandId::DeleteFile});  // the last entry: wraps to the first
  EXPECT_EQ(image.FilePath, "b.bmp");

  // Deleting the folder's last file closes the viewer.
  port.answers = {Answer::Yes};
  Viewer({CommandId::DeleteFile});
  EXPECT_FALSE(fs::exists(dir / "b.bmp"));
  EXPECT_TRUE(port.fileList.empty());
  EXPECT_FALSE(port.viewerOpen);
  EXPECT_FALSE(image.Viewer);
  EXPECT_EQ(image.Kind, ImageKind::FileRemoved);
  EXPECT_TRUE(image.FilePath.empty());
  EXPECT_TRUE(image.InfoText.empty());
}

TEST_F(ShellTest, DeletingAfterBrowsingElsewhereDeletesTheShownFileNotItsNamesake) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  // The dialog moves on to another folder holding a file of the same name.
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
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
  EXPECT_TRUE(port.viewerOpen);
  EXPECT_EQ(port.viewerCaption, "");
}

// Move, Rename and Copy ask under their own titles and say what they did. The file that goes is
// replaced in the list by its follower, even when its new name sorts before the old one; a move
// creates its new folder; a copy is listed only in the list's folder, and once.
TEST_F(ShellTest, MoveRenameAndCopyAskSayWhatTheyDidAndFollowTheList) {
  struct Case {
    CommandId command;
    const char* target;  // in the folder
    const char* title;
    const char* said;
    const char* caption;
    std::vector<std::string> list;
    const char* shown;
  };
  const Case cases[] = {
      {CommandId::MoveFile, "kept/b.bmp", "Move \"b.bmp\" To:", "b.bmp moved to:\n\n", "Move File", {"a.bmp", "c.bmp"}, "c.bmp"},
      {CommandId::RenameFile, "a0.bmp", "Rename \"b.bmp\":", "b.bmp renamed:\n\n", "Rename File", {"a.bmp", "a0.bmp", "c.bmp"}, "c.bmp"},
      {CommandId::CopyFile, "b copy.bmp", "Copy \"b.bmp\" To:", "b.bmp copied to:\n\n", "Copy File", {"a.bmp", "b copy.bmp", "b.bmp", "c.bmp"}, "b.bmp"},
      {CommandId::CopyFile, "sub/x.bmp", "Copy \"b.bmp\" To:", "b.bmp copied to:\n\n", "Copy File", {"a.bmp", "b.bmp", "c.bmp"}, "b.bmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title + std::string(" ") + c.target);
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
    const SaveRequest& request = port.saveRequests.back();
    EXPECT_EQ(request.title, c.title);
    EXPECT_EQ(request.initialName, c.command == CommandId::MoveFile ? "b.bmp" : "");
    EXPECT_EQ(request.initialFolder, dir.path().string());
    EXPECT_EQ(request.overwritePrompt, c.command == CommandId::CopyFile);
    EXPECT_EQ(request.stayInFolder, c.command == CommandId::RenameFile);
    EXPECT_EQ(request.filters, (std::vector<std::pair<std::string, std::string>>{{"*.bmp", "*.bmp"}, {"All Files (*.*)", "*.*"}}));
    EXPECT_EQ(LastMessage(), (Message{c.said + target.string(), c.caption, kMbOk}));
    EXPECT_EQ(test::ReadBytes(target), bytes);
    EXPECT_EQ(fs::exists(dir / "b.bmp"), c.command == CommandId::CopyFile);
    EXPECT_EQ(port.fileList, c.list);
    EXPECT_EQ(image.FilePath, c.shown);
    EXPECT_TRUE(port.viewerOpen);
    CloseViewer(image, shell, port);
  }
}

// A move onto an existing name, a cancelled rename and a copy onto itself change no file.
TEST_F(ShellTest, RefusedMovesAndCopiesKeepEveryFile) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  const auto a = test::ReadBytes(dir / "a.bmp"), b = test::ReadBytes(dir / "b.bmp");
  port.saveAnswers = {(dir / "b.bmp").string(), std::nullopt, (dir / "a.bmp").string()};
  Viewer({CommandId::MoveFile});
  EXPECT_EQ(LastMessage(), (Message{"Error Moving File:\n\nFile name may already exist.", "", kMbIconHand}));
  Viewer({CommandId::RenameFile, CommandId::CopyFile});
  EXPECT_EQ(LastMessage(), (Message{"Error Copying File", "", kMbIconHand}));
  EXPECT_EQ(test::ReadBytes(dir / "a.bmp"), a);
  EXPECT_EQ(test::ReadBytes(dir / "b.bmp"), b);
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a.bmp", "b.bmp"}));
  EXPECT_EQ(image.FilePath, "a.bmp");
  EXPECT_TRUE(image.Handle);
}

}  // namespace
}  // namespace ravelle
