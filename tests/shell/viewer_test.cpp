#include "shell/viewer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shell/browser.h"
#include "shell/menu_state.h"
#include "shell/tool_commands.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::MakeImage;
using test::ShellTest;
namespace fs = std::filesystem;

TEST_F(ShellTest, ClosingUndoesARequestedReductionButKeepsTheDisplaysOwn) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  // A reduction the user asked for: the unreduced image comes back.
  image.SavedImage = std::move(image.Handle);
  image.Handle = MakeImage(40, 30, 8);
  image.ReductionApplied = true;
  image.BrightnessLevel = 2;
  image.PendingOrientation = 0;
  port.help.clear();
  CloseViewer(image, shell, port);
  EXPECT_EQ(image.Handle.BitCount(), 24);
  EXPECT_FALSE(image.SavedImage);
  EXPECT_EQ(image.BrightnessLevel, 0);
  EXPECT_FALSE(image.ReductionApplied);
  EXPECT_FALSE(image.Viewer);
  EXPECT_FALSE(port.viewerOpen);
  EXPECT_EQ(port.help.back().first, HelpCommand::Quit);

  // A reduction made only for a palette display stays.
  BrowserCommand(image, shell, port, 1010);
  image.SavedImage = MakeImage(40, 30, 24);
  image.Handle = MakeImage(40, 30, 8);
  const int repaints = port.dialogRepaints;
  CloseViewer(image, shell, port);
  EXPECT_EQ(image.Handle.BitCount(), 8);
  EXPECT_TRUE(image.SavedImage);
  EXPECT_EQ(port.dialogRepaints, repaints + 1);
}

TEST_F(ShellTest, AMaximisedViewerReopensMaximised) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  port.viewerMaximized = true;
  CloseViewer(image, shell, port);  // as a key press or a left click does
  EXPECT_EQ(port.dialogActivations, 1);
  BrowserCommand(image, shell, port, 1010);
  EXPECT_EQ(port.viewerStyle, kViewerStyleMaximized);
  port.viewerMaximized = false;
  ViewerCommand(image, shell, port, kCmdCloseFile);
  BrowserCommand(image, shell, port, 1010);
  EXPECT_EQ(port.viewerStyle, kViewerStyleNormal);
}

TEST_F(ShellTest, TheCommandTableRoutesToThePortAndTheRecord) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  ViewerCommand(image, shell, port, kCmdCenterTile);
  ViewerCommand(image, shell, port, kCmdCenterTile);  // two clicks: back to the first mode and label
  EXPECT_EQ(shell.TileMode, 0);
  EXPECT_EQ(MenuItemAt(port.menu, menu::kCenterTile)->label, "&Tile");
  ViewerCommand(image, shell, port, kCmdCenterTile);
  EXPECT_EQ(MenuItemAt(port.menu, menu::kCenterTile)->label, "&Center");

  ViewerCommand(image, shell, port, kCmdFileInfo);
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].owner, Owner::Viewer);
  EXPECT_EQ(port.messages[0].message, (Message{image.InfoText, "a.bmp", kMbIconInformation}));
  EXPECT_FALSE(image.InfoText.empty());

  ViewerCommand(image, shell, port, kCmdPrintLarge);
  ViewerCommand(image, shell, port, kCmdPrintTiled);
  EXPECT_EQ(port.prints, (std::vector<std::pair<bool, bool>>{{true, false}, {false, true}}));
  ViewerCommand(image, shell, port, kCmdFullScreen);
  ViewerCommand(image, shell, port, kCmdSlideshow);
  ViewerCommand(image, shell, port, kCmdAbout);
  ViewerCommand(image, shell, port, kCmdHelp);
  EXPECT_EQ(port.fullScreenOpens, 1);
  EXPECT_EQ(port.slideshowOpens, 1);
  EXPECT_EQ(port.aboutShown, 1);
  EXPECT_EQ(port.help.back(), std::make_pair(HelpCommand::Contents, 0));
  ViewerCommand(image, shell, port, 101);  // outside the table
  ViewerCommand(image, shell, port, 192);
  EXPECT_TRUE(port.viewerOpen);

  // Last File on the first entry shows the last; Next File on the last shows the first.
  ViewerCommand(image, shell, port, kCmdLastFile);
  EXPECT_EQ(image.FilePath, "c.bmp");
  EXPECT_EQ(port.viewerCaption, "c.bmp     " + std::to_string(fs::file_size(dir / "c.bmp")) + " bytes");
  EXPECT_EQ(port.fileNameBox, "c.bmp");
  ViewerCommand(image, shell, port, kCmdNextFile);
  EXPECT_EQ(image.FilePath, "a.bmp");
  EXPECT_EQ(shell.StepDirection, 1);

  // Print and Full Screen need an image.
  image.Handle = PackedDib();
  ViewerCommand(image, shell, port, kCmdPrintNormal);
  ViewerCommand(image, shell, port, kCmdFullScreen);
  EXPECT_EQ(port.prints.size(), 2u);
  EXPECT_EQ(port.fullScreenOpens, 1);
}

TEST_F(ShellTest, DeletingAsksFirstThenShowsTheFileThatFollowed) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  port.answers = {Answer::No};
  ViewerCommand(image, shell, port, kCmdDeleteFile);
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].message,
            (Message{"Are you sure? \n\n\nDelete File a.bmp?", " CONFIRM DELETE FILE ", kMbYesNoCancel | kMbIconExclamation}));

  port.answers = {Answer::Yes};
  ViewerCommand(image, shell, port, kCmdDeleteFile);
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"b.bmp", "c.bmp"}));
  EXPECT_EQ(image.FilePath, "b.bmp");  // the first of several: its follower
  EXPECT_EQ(image.Kind, ImageKind::Bitmap);
  EXPECT_EQ(port.FileListText(port.selection), "b.bmp");
  EXPECT_TRUE(port.viewerOpen);

  Load("c.bmp");
  port.answers = {Answer::Yes};
  ViewerCommand(image, shell, port, kCmdDeleteFile);  // the last entry: wraps to the first
  EXPECT_EQ(image.FilePath, "b.bmp");
}

TEST_F(ShellTest, DeletingTheOnlyFileClosesTheViewer) {
  MakeFiles({"only.bmp"});
  LoadAndOpenViewer("only.bmp");
  port.answers = {Answer::Yes};
  ViewerCommand(image, shell, port, kCmdDeleteFile);
  EXPECT_FALSE(fs::exists(dir / "only.bmp"));
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
  test::WriteBitmapFile(dir / "other" / "a.bmp", MakeImage(4, 4, 8));
  port.fileList = {"a.bmp"};
  port.selection = 0;
  port.answers = {Answer::Yes};
  ViewerCommand(image, shell, port, kCmdDeleteFile);
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_TRUE(fs::exists(dir / "other" / "a.bmp"));
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a.bmp"}));  // not the shown file's list
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
  EXPECT_TRUE(port.viewerOpen);
  EXPECT_EQ(port.viewerCaption, "");
}

TEST_F(ShellTest, AFailedDeleteSaysSoAndTheAnimationGoesOn) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  image.Kind = ImageKind::AnimatedCursor;  // as if animating
  image.Delay = 10;
  image.Timer = true;
  fs::remove(dir / "a.bmp");  // gone behind the program's back: the delete fails
  port.answers = {Answer::Yes};
  ViewerCommand(image, shell, port, kCmdDeleteFile);
  EXPECT_EQ(port.messages.back().message, (Message{"Unable to Delete: \n\n a.bmp", "", kMbOk}));
  EXPECT_EQ(port.timerPeriod, 90);
  EXPECT_TRUE(image.Timer);
  EXPECT_EQ(port.fileList.size(), 2u);
  EXPECT_EQ(image.FilePath, "a.bmp");
}

TEST_F(ShellTest, MovingIntoANewFolderCreatesItAndShowsTheNextFile) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  const fs::path target = dir / "kept" / "a.bmp";
  port.saveAnswers = {target.string()};
  ViewerCommand(image, shell, port, kCmdMoveFile);
  ASSERT_EQ(port.saveRequests.size(), 1u);
  const SaveRequest& request = port.saveRequests[0];
  EXPECT_EQ(request.title, "Move \"a.bmp\" To:");
  EXPECT_EQ(request.initialName, "a.bmp");
  EXPECT_EQ(request.initialFolder, dir.path().string());
  EXPECT_EQ(request.filters, (std::vector<std::pair<std::string, std::string>>{{"*.bmp", "*.bmp"},
                                                                              {"All Files (*.*)", "*.*"}}));
  EXPECT_FALSE(request.overwritePrompt);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(port.messages.back().message, (Message{"a.bmp moved to:\n\n" + target.string(), "Move File", kMbOk}));
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"b.bmp"}));
  EXPECT_EQ(image.FilePath, "b.bmp");
}

TEST_F(ShellTest, AMoveOntoAnExistingNameFailsAndChangesNothing) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  const auto before = test::ReadBytes(dir / "b.bmp");
  port.saveAnswers = {(dir / "b.bmp").string()};
  ViewerCommand(image, shell, port, kCmdMoveFile);
  EXPECT_EQ(port.messages.back().message, (Message{"Error Moving File:\n\nFile name may already exist.", "", kMbIconHand}));
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(test::ReadBytes(dir / "b.bmp"), before);
  EXPECT_EQ(image.FilePath, "a.bmp");
  EXPECT_TRUE(image.Handle);

  port.saveAnswers = {std::nullopt};  // cancelled
  ViewerCommand(image, shell, port, kCmdRenameFile);
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(port.fileList.size(), 2u);
}

TEST_F(ShellTest, RenamingStaysInTheFolderAndReplacesTheListEntry) {
  MakeFiles({"b.bmp", "c.bmp"});
  LoadAndOpenViewer("b.bmp");
  port.saveAnswers = {(dir / "a.bmp").string()};
  ViewerCommand(image, shell, port, kCmdRenameFile);
  const SaveRequest& request = port.saveRequests.back();
  EXPECT_EQ(request.title, "Rename \"b.bmp\":");
  EXPECT_TRUE(request.stayInFolder);
  EXPECT_EQ(request.initialName, "");
  EXPECT_EQ(port.messages.back().message, (Message{"b.bmp renamed:\n\n" + (dir / "a.bmp").string(), "Rename File", kMbOk}));
  // The new name sorts before the old one: the old entry is still the one removed.
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a.bmp", "c.bmp"}));
  EXPECT_EQ(image.FilePath, "c.bmp");
}

TEST_F(ShellTest, CopyingAddsTheCopyToTheListOnlyInTheListsFolder) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  fs::create_directory(dir / "sub");
  port.saveAnswers = {(dir / "a copy.bmp").string(), (dir / "a copy.bmp").string(), (dir / "sub" / "x.bmp").string()};
  for (int i = 0; i < 3; ++i) ViewerCommand(image, shell, port, kCmdCopyFile);
  EXPECT_TRUE(port.saveRequests[0].overwritePrompt);
  EXPECT_EQ(port.saveRequests[0].title, "Copy \"a.bmp\" To:");
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a copy.bmp", "a.bmp"}));
  EXPECT_EQ(test::ReadBytes(dir / "sub" / "x.bmp"), test::ReadBytes(dir / "a.bmp"));
  EXPECT_EQ(port.messages.back().message,
            (Message{"a.bmp copied to:\n\n" + (dir / "sub" / "x.bmp").string(), "Copy File", kMbOk}));
  EXPECT_EQ(image.FilePath, "a.bmp");  // a copy changes nothing else
  EXPECT_TRUE(port.viewerOpen);

  port.saveAnswers = {(dir / "a.bmp").string()};  // onto itself: refused, the file intact
  ViewerCommand(image, shell, port, kCmdCopyFile);
  EXPECT_EQ(port.messages.back().message, (Message{"Error Copying File", "", kMbIconHand}));
  EXPECT_EQ(test::ReadBytes(dir / "a.bmp"), test::ReadBytes(dir / "a copy.bmp"));
}

// These follow the Tools commands' contract and run once the tools are part of the build.
TEST_F(ShellTest, ClosingUndoesBrightnessAndOrientation) {
  test::WriteBitmapFile(dir / "g.bmp", MakeImage(7, 5, 8, 0, 40));
  port.FileListAdd("g.bmp");
  LoadAndOpenViewer("g.bmp");
  const std::vector<uint8_t> loaded(image.Handle.Bytes().begin(), image.Handle.Bytes().end());
  if (!RunToolCommand(image, shell, port, kCmdBrighten)) GTEST_SKIP() << "no tools in this build";
  RunToolCommand(image, shell, port, kCmdRotate90);
  RunToolCommand(image, shell, port, kCmdFlipLeftRight);
  EXPECT_NE(image.PendingOrientation, 0);
  CloseViewer(image, shell, port);
  EXPECT_EQ(std::vector<uint8_t>(image.Handle.Bytes().begin(), image.Handle.Bytes().end()), loaded);
  EXPECT_EQ(image.PendingOrientation, 0);
  EXPECT_EQ(image.BrightnessLevel, 0);
}

TEST_F(ShellTest, BrighteningAMetafileIsRefused) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  image.Kind = ImageKind::WindowsMetafile;
  image.Handle = PackedDib();
  if (!RunToolCommand(image, shell, port, kCmdBrighten)) GTEST_SKIP() << "no tools in this build";
  EXPECT_EQ(port.messages.back().message,
            (Message{"Unable to Manipulate File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand}));
}

}  // namespace
}  // namespace ravelle
