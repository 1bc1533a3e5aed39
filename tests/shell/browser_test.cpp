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

using test::ShellTest;

TEST(TypeFilterTest, PatternsMatchWhateverTheCaseAndTheLongJpegAndTiffNames) {
  const auto filters = TypeFilters();
  ASSERT_EQ(filters.size(), 17u);
  const struct {
    const char* name;
    std::size_t row;
    bool listed;
  } cases[] = {
      {"IMG_0001.JPG", 0, true}, {"photo.JPEG", 5, true}, {"scan.tiff", 10, true},    {"a.b.ani", 0, true},
      {"photo.jpeg", 10, false}, {"notes.txt", 0, false}, {"scan.tiffany", 10, false}, {"abstk.pr", 8, true},
      {"anim.web", 12, false},   {"Sony.HIF", 0, true},   {"pic.avif", 14, false},     {"README", 16, true},  // "*.*"
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesPatterns(c.name, filters[c.row].patterns), c.listed) << c.name << " " << c.row;
  EXPECT_TRUE(MatchesPatterns("x1.tga", "*.gif; x?.tga"));
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
    CloseFullScreen(image, shell, port);
    CloseViewer(image, shell, port);
  }
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
