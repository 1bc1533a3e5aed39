#include "shell/convert_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

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
  EXPECT_EQ(ProposeSaveName("photo.jpeg", "bmp"), "photo.bmp");
  EXPECT_EQ(ProposeSaveName(".hidden", "tga"), ".tga");
}

TEST(ConvertNamesTest, FiltersOfTheSaveDialogAndCommandOptions) {
  const auto bmp = ConvertSaveRequest(*FindFormatOf(*FindWriterByName("bmp-rle")), "a.bmp");
  EXPECT_EQ(bmp.filters, (std::vector<std::pair<std::string, std::string>>{{"Windows Bitmap (*.bmp)", "*.bmp"},
                                                                           {"All Files (*.*)", "*.*"}}));
  EXPECT_TRUE(bmp.overwritePrompt);

  // Menu commands carry their writer's options; a heading is no command.
  const auto tiles = ConvertCommandFormat(161);
  ASSERT_TRUE(tiles);
  EXPECT_EQ(std::tuple(FindFormatOf(*tiles)->name, tiles->cliName), std::tuple("TIFF", std::string_view("tiff-deflate-tiles")));
  EXPECT_FALSE(ConvertCommandFormat(138));  // the TIF heading
  EXPECT_FALSE(ConvertCommandFormat(119));
}

TEST_F(ShellTest, ConvertingAsksForANameWritesAndReportsTheSize) {
  MakeFiles({"sea.view.bmp"}, 20, 10, 8);
  LoadAndOpenViewer("sea.view.bmp");
  const fs::path out = dir / "sea.bmp";
  port.saveAnswers = {out.string(), out.string()};
  Viewer({117});
  ASSERT_EQ(port.saveRequests.size(), 1u);
  EXPECT_EQ(port.saveRequests[0].initialName, "sea.bmp");
  EXPECT_EQ(port.saveRequests[0].initialFolder, dir.path().string());
  ASSERT_TRUE(fs::exists(out));
  const auto size = fs::file_size(out);
  EXPECT_EQ(LastMessage(),
            (Message{out.string() + "\n\n" + std::to_string(size) + " bytes", "File Converted Successfully", kMbOk}));
  EXPECT_EQ(port.messages.back().owner, Owner::None);
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"sea.bmp", "sea.view.bmp"}));
  EXPECT_EQ(port.waitDepth, 0);
  EXPECT_EQ(port.maxWaitDepth, 1);

  Viewer({117});  // again, same name: listed once
  EXPECT_EQ(port.fileList.size(), 2u);
  const auto read = ReadWindowsDib(test::ReadBytes(out));
  ASSERT_TRUE(read.dib);
  EXPECT_EQ(read.dib.Width(), 20);

  fs::create_directory(dir / "elsewhere");
  port.saveAnswers = {(dir / "elsewhere" / "x.bmp").string()};
  Viewer({173});
  EXPECT_TRUE(fs::exists(dir / "elsewhere" / "x.bmp"));
  EXPECT_EQ(port.fileList.size(), 2u);

  const std::size_t shown = port.messages.size();
  port.saveAnswers = {std::nullopt};  // cancelled: nothing written, nothing said
  Viewer({117});
  EXPECT_EQ(port.messages.size(), shown);
}

TEST_F(ShellTest, ConversionFailuresAreReported) {
  MakeFiles({"a.bmp"}, 20, 10, 24);
  LoadAndOpenViewer("a.bmp");
  port.saveAnswers = {(dir / "missing" / "deeper" / "a.bmp").string(), (dir / "a-rle.bmp").string()};
  Viewer({117});
  EXPECT_EQ(LastMessage(), (Message{"Error Creating File", "", kMbIconHand}));
  Viewer({173});  // a 24-bit image has no RLE form
  EXPECT_EQ(LastMessage(), (Message{"Error Converting File", "", kMbIconHand}));
  EXPECT_FALSE(fs::exists(dir / "a-rle.bmp"));
  EXPECT_EQ(port.waitDepth, 0);

  // A format whose writer this build lacks is refused before the dialog.
  if (FindWriterByName("pcx")->write == nullptr) {
    const std::size_t asked = port.saveRequests.size();
    Viewer({172});
    EXPECT_EQ(port.saveRequests.size(), asked);
    EXPECT_EQ(LastMessage(), (Message{"Error Converting File", "", kMbIconHand}));
  }

  for (const ImageKind kind : {ImageKind::EnhancedMetafile, ImageKind::IconSequence, ImageKind::AnimatedCursor}) {
    image.Kind = kind;
    port.saveAnswers = {(dir / "out.bmp").string()};
    Viewer({117});
    EXPECT_EQ(LastMessage(), (Message{"Unable to Convert File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand}));
    EXPECT_EQ(port.messages.back().owner, Owner::Viewer);
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
  }
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
