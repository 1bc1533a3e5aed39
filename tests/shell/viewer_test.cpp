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

TEST_F(ShellTest, ClosingUndoesARequestedReductionButKeepsTheDisplaysOwn) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  // A reduction the user asked for: the unreduced image comes back.
  image.SavedImage = std::move(image.Handle);
  image.Handle = DrawDib(40, 30, 8);
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
  Dialog({1010});
  image.SavedImage = DrawDib(40, 30, 24);
  image.Handle = DrawDib(40, 30, 8);
  const int repaints = port.dialogRepaints;
  CloseViewer(image, shell, port);
  EXPECT_EQ(image.Handle.BitCount(), 8);
  EXPECT_TRUE(image.SavedImage);
  EXPECT_EQ(port.dialogRepaints, repaints + 1);
}

TEST_F(ShellTest, ClosingUndoesBrightnessAndOrientationOfTheShownAndTheUnreducedImage) {
  MakeFiles({"g.bmp"}, 7, 5, 8);
  LoadAndOpenViewer("g.bmp");
  const auto loaded = test::BytesOf(image.Handle);
  for (const CommandId command : {CommandId::Brighten, CommandId::Rotate90, CommandId::FlipLeftRight}) ASSERT_TRUE(RunToolCommand(image, shell, port, command));
  EXPECT_NE(image.PendingOrientation, 0);
  CloseViewer(image, shell, port);
  EXPECT_EQ(test::BytesOf(image.Handle), loaded);
  EXPECT_EQ(image.PendingOrientation, 0);
  EXPECT_EQ(image.BrightnessLevel, 0);

  port.displayDepth = 8;  // a 24-bit image is shown reduced, the unreduced one kept beside it
  MakeFiles({"a.bmp"}, 21, 10);
  LoadAndOpenViewer("a.bmp");
  ASSERT_TRUE(image.SavedImage);
  const auto saved = test::BytesOf(image.SavedImage);
  const auto shown = test::BytesOf(image.Handle);
  for (const CommandId command : {CommandId::Rotate270, CommandId::InvertColors, CommandId::FlipTopBottom, CommandId::Brighten}) {
    ASSERT_TRUE(RunToolCommand(image, shell, port, command));
  }
  CloseViewer(image, shell, port);
  EXPECT_EQ(image.PendingOrientation, 0);
  EXPECT_EQ(image.BrightnessLevel, 0);
  EXPECT_EQ(test::BytesOf(image.SavedImage), saved);
  EXPECT_EQ(test::BytesOf(image.Handle), shown);
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

TEST_F(ShellTest, AFailedDeleteSaysSoAndTheAnimationGoesOn) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  image.Kind = ImageKind::AnimatedCursor;  // as if animating
  image.Delay = 10;
  image.Timer = true;
  fs::remove(dir / "a.bmp");  // gone behind the program's back: the delete fails
  port.answers = {Answer::Yes};
  Viewer({CommandId::DeleteFile});
  EXPECT_EQ(LastMessage(), (Message{"Unable to Delete: \n\n a.bmp", "", kMbOk}));
  EXPECT_EQ(port.timerPeriod, 90);
  EXPECT_TRUE(image.Timer);
  EXPECT_EQ(port.fileList.size(), 2u);
  EXPECT_EQ(image.FilePath, "a.bmp");
}

TEST_F(ShellTest, AMoveOntoAnExistingNameFailsAndOneIntoANewFolderCreatesItAndShowsTheNextFile) {
  MakeFiles({"a.bmp", "b.bmp"});
  LoadAndOpenViewer("a.bmp");
  const auto before = test::ReadBytes(dir / "b.bmp");
  port.saveAnswers = {(dir / "b.bmp").string(), std::nullopt};  // then a rename, cancelled
  Viewer({CommandId::MoveFile});
  EXPECT_EQ(LastMessage(), (Message{"Error Moving File:\n\nFile name may already exist.", "", kMbIconHand}));
  EXPECT_EQ(test::ReadBytes(dir / "b.bmp"), before);
  EXPECT_EQ(image.FilePath, "a.bmp");
  EXPECT_TRUE(image.Handle);
  Viewer({CommandId::RenameFile});
  EXPECT_TRUE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(port.fileList.size(), 2u);

  const fs::path target = dir / "kept" / "a.bmp";
  port.saveAnswers = {target.string()};
  Viewer({CommandId::MoveFile});
  ASSERT_EQ(port.saveRequests.size(), 3u);
  const SaveRequest& request = port.saveRequests[2];
  EXPECT_EQ(request.title, "Move \"a.bmp\" To:");
  EXPECT_EQ(request.initialName, "a.bmp");
  EXPECT_EQ(request.initialFolder, dir.path().string());
  EXPECT_EQ(request.filters, (std::vector<std::pair<std::string, std::string>>{{"*.bmp", "*.bmp"},
                                                                              {"All Files (*.*)", "*.*"}}));
  EXPECT_FALSE(request.overwritePrompt);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(dir / "a.bmp"));
  EXPECT_EQ(LastMessage(), (Message{"a.bmp moved to:\n\n" + target.string(), "Move File", kMbOk}));
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"b.bmp"}));
  EXPECT_EQ(image.FilePath, "b.bmp");
}

TEST_F(ShellTest, RenamingStaysInTheFolderAndReplacesTheListEntry) {
  MakeFiles({"b.bmp", "c.bmp"});
  LoadAndOpenViewer("b.bmp");
  port.saveAnswers = {(dir / "a.bmp").string()};
  Viewer({CommandId::RenameFile});
  const SaveRequest& request = port.saveRequests.back();
  EXPECT_EQ(request.title, "Rename \"b.bmp\":");
  EXPECT_TRUE(request.stayInFolder);
  EXPECT_EQ(request.initialName, "");
  EXPECT_EQ(LastMessage(), (Message{"b.bmp renamed:\n\n" + (dir / "a.bmp").string(), "Rename File", kMbOk}));
  // The new name sorts before the old one: the old entry is still the one removed.
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a.bmp", "c.bmp"}));
  EXPECT_EQ(image.FilePath, "c.bmp");
}

TEST_F(ShellTest, CopyingAddsTheCopyToTheListOnlyInTheListsFolder) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  fs::create_directory(dir / "sub");
  port.saveAnswers = {(dir / "a copy.bmp").string(), (dir / "a copy.bmp").string(), (dir / "sub" / "x.bmp").string()};
  Viewer({CommandId::CopyFile, CommandId::CopyFile, CommandId::CopyFile});
  EXPECT_TRUE(port.saveRequests[0].overwritePrompt);
  EXPECT_EQ(port.saveRequests[0].title, "Copy \"a.bmp\" To:");
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"a copy.bmp", "a.bmp"}));
  EXPECT_EQ(test::ReadBytes(dir / "sub" / "x.bmp"), test::ReadBytes(dir / "a.bmp"));
  EXPECT_EQ(LastMessage(),
            (Message{"a.bmp copied to:\n\n" + (dir / "sub" / "x.bmp").string(), "Copy File", kMbOk}));
  EXPECT_EQ(image.FilePath, "a.bmp");  // a copy changes nothing else
  EXPECT_TRUE(port.viewerOpen);

  port.saveAnswers = {(dir / "a.bmp").string()};  // onto itself: refused, the file intact
  Viewer({CommandId::CopyFile});
  EXPECT_EQ(LastMessage(), (Message{"Error Copying File", "", kMbIconHand}));
  EXPECT_EQ(test::ReadBytes(dir / "a.bmp"), test::ReadBytes(dir / "a copy.bmp"));
}

}  // namespace
}  // namespace ravelle
