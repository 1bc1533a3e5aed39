#include "shell/convert_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "formats/dib/dib_reader.h"
#include "shell/viewer.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::MakeImage;
using test::ShellTest;
namespace fs = std::filesystem;

TEST(ConvertNamesTest, TheFirstDotCounts) {
  EXPECT_EQ(ProposeSaveName("sunset.gif", "pcx"), "sunset.pcx");
  EXPECT_EQ(ProposeSaveName("scan.2.tif", "bmp"), "scan.bmp");
  EXPECT_EQ(ProposeSaveName("readme", "png"), "readme.png");
  EXPECT_EQ(ProposeSaveName("photo.jpeg", "bmp"), "photo.bmp");
  EXPECT_EQ(ProposeSaveName(".hidden", "tga"), ".tga");
}

TEST(ConvertNamesTest, FiltersAndCommandsOfEveryFormat) {
  const auto bmp = ConvertSaveRequest(kFormatBmpRle, "a.bmp");
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->filters, (std::vector<std::pair<std::string, std::string>>{{"Windows Bitmap (*.bmp)", "*.bmp"},
                                                                           {"All Files (*.*)", "*.*"}}));
  EXPECT_TRUE(bmp->overwritePrompt);
  EXPECT_EQ(bmp->title, "");
  EXPECT_EQ(ConvertSaveRequest(kFormatTarga, "a.tga")->filters[0].first, "TARGA (*.tga)");
  EXPECT_EQ(ConvertSaveRequest(kFormatGif, "a.gif")->defaultExtension, "gif");
  EXPECT_FALSE(ConvertSaveRequest(99, "a"));

  const auto is = [](int id, int code, int first, int second) {
    const auto format = ConvertCommandFormat(id);
    return format && format->code == code && format->option1 == first && format->option2 == second;
  };
  EXPECT_TRUE(is(117, kFormatBmp, 0, 0));
  EXPECT_TRUE(is(179, kFormatBmpBitfields, 1, 0));
  EXPECT_TRUE(is(165, kFormatGif, 1, 0));
  EXPECT_TRUE(is(175, kFormatIff, 1, 0));
  EXPECT_TRUE(is(176, kFormatIff, 0, 1));
  EXPECT_TRUE(is(166, kFormatJpeg, 1, 0));
  EXPECT_TRUE(is(164, kFormatPng, 1, 0));
  EXPECT_TRUE(is(169, kFormatTarga, 1, 0));
  EXPECT_TRUE(is(142, kFormatTiff, 2, 0));
  EXPECT_TRUE(is(160, kFormatTiff, 32773, 1));
  EXPECT_TRUE(is(161, kFormatTiff, 32946, 1));
  EXPECT_TRUE(is(140, kFormatTiff, 5, 0));
  EXPECT_FALSE(ConvertCommandFormat(138));  // the TIF heading
  EXPECT_FALSE(ConvertCommandFormat(119));
}

TEST_F(ShellTest, ConvertingAsksForANameWritesAndReportsTheSize) {
  MakeFiles({"sea.view.bmp"}, 20, 10, 8);
  LoadAndOpenViewer("sea.view.bmp");
  const fs::path out = dir / "sea.bmp";
  port.saveAnswers = {out.string(), out.string()};
  ViewerCommand(image, shell, port, 117);
  ASSERT_EQ(port.saveRequests.size(), 1u);
  EXPECT_EQ(port.saveRequests[0].initialName, "sea.bmp");
  EXPECT_EQ(port.saveRequests[0].initialFolder, dir.path().string());
  ASSERT_TRUE(fs::exists(out));
  const auto size = fs::file_size(out);
  EXPECT_EQ(port.messages.back().message,
            (Message{out.string() + "\n\n" + std::to_string(size) + " bytes", "File Converted Successfully", kMbOk}));
  EXPECT_EQ(port.messages.back().owner, Owner::None);
  EXPECT_EQ(port.fileList, (std::vector<std::string>{"sea.bmp", "sea.view.bmp"}));
  EXPECT_EQ(port.waitDepth, 0);
  EXPECT_EQ(port.maxWaitDepth, 1);

  ViewerCommand(image, shell, port, 117);  // again, same name: listed once
  EXPECT_EQ(port.fileList.size(), 2u);
  const auto read = ReadWindowsDib(test::ReadBytes(out));
  ASSERT_TRUE(read.dib);
  EXPECT_EQ(read.dib.Width(), 20);

  fs::create_directory(dir / "elsewhere");
  port.saveAnswers = {(dir / "elsewhere" / "x.bmp").string()};
  ViewerCommand(image, shell, port, 173);
  EXPECT_TRUE(fs::exists(dir / "elsewhere" / "x.bmp"));
  EXPECT_EQ(port.fileList.size(), 2u);

  const std::size_t shown = port.messages.size();
  port.saveAnswers = {std::nullopt};  // cancelled: nothing written, nothing said
  ViewerCommand(image, shell, port, 117);
  EXPECT_EQ(port.messages.size(), shown);
}

TEST_F(ShellTest, ConversionFailuresAreReported) {
  MakeFiles({"a.bmp"}, 20, 10, 24);
  LoadAndOpenViewer("a.bmp");
  port.saveAnswers = {(dir / "missing" / "deeper" / "a.bmp").string(), (dir / "a-rle.bmp").string()};
  ViewerCommand(image, shell, port, 117);
  EXPECT_EQ(port.messages.back().message, (Message{"Error Creating File", "", kMbIconHand}));
  ViewerCommand(image, shell, port, 173);  // a 24-bit image has no RLE form
  EXPECT_EQ(port.messages.back().message, (Message{"Error Converting File", "", kMbIconHand}));
  EXPECT_FALSE(fs::exists(dir / "a-rle.bmp"));
  EXPECT_EQ(port.waitDepth, 0);

  // A format whose writer this build lacks is refused before the dialog.
  if (!FormatAvailable(kFormatPcx)) {
    const std::size_t asked = port.saveRequests.size();
    ViewerCommand(image, shell, port, 172);
    EXPECT_EQ(port.saveRequests.size(), asked);
    EXPECT_EQ(port.messages.back().message, (Message{"Error Converting File", "", kMbIconHand}));
  }

  image.Kind = ImageKind::EnhancedMetafile;
  ViewerCommand(image, shell, port, 117);
  EXPECT_EQ(port.messages.back().message,
            (Message{"Unable to Convert File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand}));
  EXPECT_EQ(port.messages.back().owner, Owner::Viewer);
}

TEST_F(ShellTest, ConvertingWritesTheReducedImageOnlyWhenTheUserAskedForIt) {
  MakeFiles({"a.bmp"}, 20, 10, 24);
  LoadAndOpenViewer("a.bmp");
  image.SavedImage = std::move(image.Handle);  // as after an automatic reduction for the display
  image.Handle = MakeImage(20, 10, 8);
  port.saveAnswers = {(dir / "auto.bmp").string(), (dir / "asked.bmp").string()};
  ViewerCommand(image, shell, port, 117);
  image.ReductionApplied = true;  // as after 256 Best Colors
  ViewerCommand(image, shell, port, 117);
  EXPECT_EQ(ReadWindowsDib(test::ReadBytes(dir / "auto.bmp")).dib.BitCount(), 24);
  EXPECT_EQ(ReadWindowsDib(test::ReadBytes(dir / "asked.bmp")).dib.BitCount(), 8);
}

}  // namespace
}  // namespace ravelle
