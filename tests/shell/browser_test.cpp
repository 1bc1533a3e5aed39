#include "shell/browser.h"
#include "shell/full_screen.h"

#include <gtest/gtest.h>

#include "formats/lib/jpeg_file.h"
#include "resources/dialogs.h"
#include "shell/load.h"
#include "shell/viewer.h"
#include "support/shell_fixture.h"
#include "support/test_images.h"

namespace ravelle {
namespace {

using test::DrawDib;
using test::ShellTest;

TEST(TypeFilterTest, PatternsMatchWhateverTheCaseAndTheLongJpegAndTiffNames) {
  const auto filters = TypeFilters();
  ASSERT_EQ(filters.size(), 17u);
  EXPECT_EQ(filters[0].description, "Images");
  EXPECT_EQ(filters[5].description, "jpg, jpe, jpeg");
  EXPECT_EQ(filters[8].description, "SunIcon (icon, pr, cursor)");
  struct Case {
    const char* name;
    std::size_t row;
    bool listed;
  };
  const Case cases[] = {
      {"IMG_0001.JPG", 0, true}, {"photo.jpeg", 0, true}, {"photo.JPEG", 5, true}, {"scan.tiff", 10, true},
      {"SCAN.TIF", 0, true},     {"scan.tiff", 0, true},  {"a.b.ani", 0, true},    {"Logo.Bmp", 1, true},
      {"photo.jpeg", 10, false}, {"notes.txt", 0, false}, {"bmp", 1, false},       {"scan.tiffany", 10, false},
      {"busy.cursor", 0, true},  {"abstk.pr", 8, true},   {"clock.icon", 8, true}, {"notes.txt", 8, false},
      {"anim.WebP", 0, true},    {"anim.webp", 12, true}, {"anim.web", 12, false},
      {"photo.jxl", 0, true},    {"photo.JXL", 15, true}, {"photo.jxl", 12, false},
      {"Sony.HIF", 0, true},     {"pic.avifs", 13, true}, {"pic.heic", 14, true}, {"pic.avif", 14, false},
      {"README", 16, true},  // "*.*" also takes names without a dot
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesPatterns(c.name, filters[c.row].patterns), c.listed) << c.name << " " << c.row;
  EXPECT_TRUE(MatchesPatterns("x1.tga", "*.gif; x?.tga"));
}

TEST(DialogLayoutTest, DialogUnitsAndThePreviewPane) {
  EXPECT_EQ(DialogUnitsToPixels({122, 57, 216, 200}, {8, 16}), (Rect{244, 114, 432, 400}));
  EXPECT_EQ(PreviewPaneOrigin({8, 16}), (Point{244, 114}));
  EXPECT_EQ(PreviewPaneOrigin({6, 13}), (Point{183, 93}));
  EXPECT_EQ(ComputeViewerRect({0, 0, 1280, 1024}), (Rect{106, 128, 1152 - 106, 853 - 128}));
}

TEST_F(ShellTest, TheCommandLineNamesTheStartFolderAndFile) {
  MakeFiles({"sea.bmp"});
  const std::string folder = dir.path().string();
  const struct {
    std::string argument, folder, name;
  } cases[] = {{folder + "/sea.bmp", folder, "sea.bmp"}, {folder + "/gone.bmp", folder, ""}, {"sea.bmp", "", "sea.bmp"},
               {folder, folder, ""}, {"", "", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(CommandLineStart(c.argument).folder, c.folder) << c.argument;
    EXPECT_EQ(CommandLineStart(c.argument).name, c.name) << c.argument;
  }
}

TEST_F(ShellTest, StartingWithAFileSelectsAndShowsItWithoutAClick) {
  MakeFiles({"a.bmp", "sea.bmp", "sea.bmp.bak"}, 100, 50);
  image = CurrentImage();
  ASSERT_TRUE(InitBrowser(image, shell, port, "sea.bmp"));
  EXPECT_EQ(port.FileListText(port.selection), "sea.bmp");
  EXPECT_EQ(image.PreviewBox, (Size{320, 320}));
  Dialog({kIdOk});
  EXPECT_EQ(image.Kind, ImageKind::Bitmap);
  EXPECT_EQ(image.FilePath, "sea.bmp");
  EXPECT_EQ(port.lastImageFrame, (Rect{0, 80, 320, 160}));  // as wide as the box, half as high
  EXPECT_EQ(port.previewImages, 1);
  port.selection = -1;  // OK without a selection keeps the shown image
  Dialog({kIdOk});
  EXPECT_EQ(image.FilePath, "sea.bmp");
  EXPECT_TRUE(image.Handle);

  image = CurrentImage();
  EXPECT_FALSE(InitBrowser(image, shell, port, "missing.bmp"));
  EXPECT_EQ(image.PreviewFrame, (Rect{0, 0, 320, 320}));  // the empty square frame
}

TEST_F(ShellTest, DoubleClickingThePicturePressesCenterButNotTheMarginBesideIt) {
  MakeFiles({"wide.bmp"}, 100, 50);
  Load("wide.bmp");
  const Point units = PreviewPaneOrigin(port.baseUnits);  // (244, 114); the picture at (244, 194)
  EXPECT_TRUE(InPreviewPicture(image, units, 244, 194));
  EXPECT_TRUE(InPreviewPicture(image, units, 244 + 320, 194 + 160));  // edges included
  EXPECT_FALSE(InPreviewPicture(image, units, 300, 150));           // grey margin above
  EXPECT_FALSE(InPreviewPicture(image, units, 243, 250));
  EXPECT_FALSE(InPreviewPicture(image, units, 300, 194 + 161));
}

TEST_F(ShellTest, ThePreviewPaneDrawsItsFrameAndTheImageInIt) {
  MakeFiles({"tall.bmp"}, 50, 100);
  Load("tall.bmp");
  RecordingSurface pane({432, 400});
  PaintPreviewPane(image, pane);
  const std::vector<std::string> expected = {
      "fill -3,-3 326x326 #c0c0c0", "frame 77,-3 166x326 #000000", "fill 79,-1 162x322 #ffffff",
      "frame 79,-1 162x322 #000000", "image 50x100 at 80,0 160x320"};
  EXPECT_EQ(pane.log, expected);
}

TEST_F(ShellTest, CenterAndTileOpenOneViewerWithTheirCaptions) {
  MakeFiles({"a.bmp"}, 40, 30, 24);
  Load("a.bmp");
  port.help.clear();
  Dialog({kIdCenter});
  EXPECT_TRUE(image.Viewer);
  EXPECT_EQ(port.viewerCaption, "a.bmp     " + std::to_string(image.FileSize) + " bytes");
  EXPECT_EQ(port.viewerStyle, kViewerStyleNormal);
  EXPECT_EQ(port.viewerRect, ComputeViewerRect(port.workArea));
  ASSERT_EQ(port.help.size(), 1u);
  EXPECT_EQ(port.help[0].first, HelpCommand::Quit);

  // Tile while the viewer is open switches it to tiled painting; no second window.
  const int repaints = port.viewerRepaints;
  Dialog({kIdTile});
  EXPECT_EQ(shell.TileMode, 1);
  EXPECT_EQ(port.viewerRepaints, repaints + 1);
  EXPECT_EQ(port.viewerRestores, 1);
  Dialog({kIdCenter});
  EXPECT_EQ(shell.TileMode, 0);
  EXPECT_EQ(std::count(port.log.begin(), port.log.end(), "viewer open"), 1);

  CloseViewer(image, shell, port);
  Dialog({kIdTile});
  EXPECT_EQ(port.viewerCaption, "a.bmp");
  EXPECT_EQ(shell.TileMode, 1);
}

// A JPEG larger than the preview is decoded for it at a DCT scale that still fills the preview
// box, and read again at its own size when Center, Tile or Full Screen shows it.
TEST_F(ShellTest, ThePreviewTakesAJpegReducedAndTheViewerWhole) {
  ASSERT_TRUE(WriteJpegImage(dir / "big.jpg", kJpegQuality, test::DrawDib(1000, 600, 24), false));
  port.FileListAdd("big.jpg");
  for (const int button : {kIdCenter, kIdTile, kIdFullScreen}) {
    SCOPED_TRACE(button);
    Load("big.jpg");
    EXPECT_EQ(image.Handle.Width(), 500);  // 320 x 320 box: a half still fills it, a quarter not
    Dialog({button});
    EXPECT_EQ(image.Handle.Width(), 1000);
    EXPECT_EQ(image.InfoText.find("width: 1000"), image.InfoText.find("width: "));
    CloseFullScreen(image, shell, port);
    CloseViewer(image, shell, port);
  }
}

TEST_F(ShellTest, FullScreenHelpAndExit) {
  MakeFiles({"a.bmp"});
  Load("a.bmp");
  Dialog({kIdFullScreen});
  EXPECT_EQ(port.fullScreenOpens, 1);
  EXPECT_TRUE(shell.FullScreenPending);
  EXPECT_FALSE(port.viewerOpen);
  CloseFullScreen(image, shell, port);
  EXPECT_FALSE(shell.FullScreenPending);
  // Closing goes back to the window that opened it, even when the viewer is open beside it.
  Dialog({kIdCenter});
  const int activations = port.dialogActivations;
  Dialog({kIdFullScreen});
  CloseFullScreen(image, shell, port);
  EXPECT_EQ(port.dialogActivations, activations + 1);
  Viewer({CommandId::FullScreen});
  CloseFullScreen(image, shell, port);
  EXPECT_EQ(port.dialogActivations, activations + 1);

  port.help.clear();
  Dialog({kIdHelp});
  EXPECT_EQ(port.help, (std::vector<std::pair<HelpCommand, int>>{{HelpCommand::Context, 102}}));
  EXPECT_FALSE(BrowserCommand(image, shell, port, 4711));

  Dialog({kIdExit});
  EXPECT_TRUE(port.dialogEnded);
  EXPECT_FALSE(image.Handle);
  EXPECT_EQ(port.help.back().first, HelpCommand::Quit);
}

// Another folder shown: nothing of the old one stays chosen, and stepping walks the new list from
// its first file (Next) or its last (Last File).
TEST_F(ShellTest, AfterAFolderChangeTheDialogAndTheSteppingFollowTheNewList) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  Load("b.bmp");
  port.selection = -1;  // the new folder's list, nothing selected
  FolderChanged(image, port);
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
  EXPECT_FALSE(image.Handle);
  EXPECT_EQ(port.fileNameBox, "");
  EXPECT_EQ(PreviewNote(image), "");
  EXPECT_EQ(ViewerCaption(image), "     0 bytes");  // not the old file's size
  Dialog({kIdCenter});
  for (const auto& [command, shown] : {std::pair{CommandId::NextFile, "a.bmp"}, {CommandId::NextFile, "b.bmp"}}) {
    Viewer({command});
    EXPECT_EQ(image.FilePath, shown);
    EXPECT_TRUE(image.Handle);
  }
  port.selection = -1;
  FolderChanged(image, port);  // the open viewer keeps its picture
  EXPECT_EQ(image.FilePath, "b.bmp");
  Viewer({CommandId::LastFile});
  EXPECT_EQ(image.FilePath, "c.bmp");
}

// Stepping onto a file that gives no picture: its message comes over its own empty window, titled
// with its name, not over the last file's picture.
TEST_F(ShellTest, ADamagedFileStepsOnWithItsOwnTitleBeforeItsMessage) {
  MakeFiles({"a.bmp"});
  test::WriteBytes(dir / "b.gif", {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x80, 0, 0, 1, 2, 3, 4, 5, 6, 0x2C});
  port.FileListAdd("b.gif");
  LoadAndOpenViewer("a.bmp");
  const int repaints = port.viewerRepaints;
  Viewer({CommandId::NextFile});
  ASSERT_FALSE(port.messages.empty());
  EXPECT_EQ(port.messages.back().viewerCaption, ViewerCaption(image));
  EXPECT_NE(port.messages.back().viewerCaption.find("b.gif"), std::string::npos);
  EXPECT_GT(port.messages.back().viewerRepaints, repaints);
}

TEST_F(ShellTest, FileInfoOnAFileWithoutAPictureNamesItAndItsSize) {
  test::WriteBytes(dir / "notes.txt", {'p', 'l', 'a', 'i', 'n', ' ', 'w', 'o', 'r', 'd', 's'});
  port.FileListAdd("notes.txt");
  LoadAndOpenViewer("notes.txt");
  Viewer({CommandId::FileInfo});
  EXPECT_EQ(LastMessage().text, "file name: notes.txt \nfile size: 11 bytes \nno image ");
}

// A key that closes full screen over the viewer is full screen's until it is let go: the End of
// Ctrl+End, or the key's own repeats, do not close the viewer too.
TEST_F(ShellTest, TheKeyThatClosesFullScreenDoesNotAlsoCloseTheViewer) {
  MakeFiles({"a.bmp"});
  LoadAndOpenViewer("a.bmp");
  Viewer({CommandId::FullScreen});
  FullScreenKeyDown(image, shell, port, FullScreenKey::Other);  // Ctrl
  EXPECT_FALSE(image.FullScreen);
  EXPECT_FALSE(ViewerTakesKey(shell));  // End, with Ctrl held
  KeyReleased(shell, true);
  EXPECT_FALSE(ViewerTakesKey(shell));
  KeyReleased(shell, false);
  EXPECT_TRUE(ViewerTakesKey(shell));
  Dialog({kIdFullScreen});  // from the dialog, nothing of the viewer is held back
  FullScreenKeyDown(image, shell, port, FullScreenKey::Other);
  EXPECT_TRUE(ViewerTakesKey(shell));
}

}  // namespace
}  // namespace ravelle
