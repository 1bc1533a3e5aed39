#include "shell/convert_image.h"

#include <gtest/gtest.h>

#include "formats/dib/dib_reader.h"
#include "shell/viewer.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::DrawDib;
using test::ShellTest;
namespace fs = std::filesystem;

TEST(ConvertNamesTest, TheFirstDotCounts) {
  EXPECT_EQ(ProposeSaveName("sunset.gif", "pcx"), "sunset.pcx");
  EXPECT_EQ(ProposeSaveName("scan.2.tif", "bmp"), "scan.bmp");
  EXPECT_EQ(ProposeSaveName("readme", "png"), "readme.png");
  EXPECT_EQ(ProposeSaveName(".hidden", "tga"), ".tga");
}

TEST_F(ShellTest, ConvertingAsksForANameWritesAndListsItOnce) {
  MakeFiles({"sea.view.bmp"}, 20, 10, 8);
  LoadAndOpenViewer("sea.view.bmp");
  const fs::path out = dir / "sea.bmp";
  port.saveAnswers = {out.string(), out.string()};
  Viewer({117, 117});  // twice, same name: listed once
  EXPECT_EQ(port.saveRequests[0].initialName, "sea.bmp");
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"sea.bmp", "sea.view.bmp"}));
  EXPECT_EQ(ReadWindowsDib(test::ReadBytes(out)).dib.Width(), 20);
}

TEST_F(ShellTest, ConvertingWritesTheReducedImageOnlyWhenTheUserAskedForIt) {
  MakeFiles({"a.bmp"}, 20, 10, 24);
  LoadAndOpenViewer("a.bmp");
  image.SavedImage = std::move(image.Handle);  // as after an automatic reduction for the display
  image.Handle = DrawDib(20, 10, 8);
  port.saveAnswers = {(dir / "auto.bmp").string(), (dir / "asked.bmp").string()};
  Viewer({117});
  image.ReductionApplied = true;  // as after 256 Best Colors
  Viewer({117});
  EXPECT_EQ(ReadWindowsDib(test::ReadBytes(dir / "auto.bmp")).dib.BitCount(), 24);
  EXPECT_EQ(ReadWindowsDib(test::ReadBytes(dir / "asked.bmp")).dib.BitCount(), 8);
}

}  // namespace
}  // namespace ravelle
