#include "shell/load.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "formats/dib/bmp_builder.h"
#include "headless/headless_port.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

TEST(FileTypeTest, ExtensionIsUpToThreeCharactersAfterTheLastDot) {
  EXPECT_EQ(ExtensionOf("photo.jpeg"), "jpe");
  EXPECT_EQ(ExtensionOf("readme"), "");
  EXPECT_EQ(ExtensionOf("scan.2.TIF"), "TIF");
  EXPECT_EQ(ExtensionOf("folder.d/readme"), "");
  EXPECT_EQ(ExtensionOf("a."), "");
}

class LoadTest : public ::testing::Test {
 protected:
  LoadTest() { image.PreviewBox = {320, 320}; }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = temp / name;
    test::WriteBytes(path, bytes);
    return path.string();
  }

  test::TempDir temp;
  HeadlessPort port;
  CurrentImage image;
};

std::vector<uint8_t> TwoColourBmp(uint32_t headerSize = 40) {
  return test::WindowsBmp({.headerSize = headerSize, .width = 4, .height = 2, .clrUsed = 2}, {0, 0, 0, 0, 255, 255, 255, 0},
                          {0, 1, 0, 1, 1, 1, 0, 0});
}

TEST_F(LoadTest, ABitmapIsReadCompactedAndShownInThePreview) {
  const std::string file = Write("two.bmp", TwoColourBmp());
  LoadSelectedFile(image, port, file);
  EXPECT_EQ(image.Kind, ImageKind::Bitmap);
  EXPECT_EQ(image.BitCount, 1);  // two colours became one bit per pixel
  EXPECT_EQ(image.ColorsUsed, 1);
  EXPECT_EQ(image.Extension, "bmp");
  EXPECT_EQ(image.FileSize, 70u);
  EXPECT_EQ(image.InfoText.substr(0, 24), "image type: Windows DIB ");
  EXPECT_TRUE(port.messages.empty());
  EXPECT_EQ(port.waitDepth, 0);
  EXPECT_EQ(port.log, (std::vector<std::string>{"wait on", "frame 0,80 320x160 in 320x320", "wait off", "wait on",
                                                "image 4x2 into 0,80 320x160", "wait off"}));
  EXPECT_EQ(port.timerPeriod, 0);

  // A header of a size no reader takes gives the empty square frame and no message.
  ReleaseImage(image, port);
  LoadSelectedFile(image, port, Write("odd.bmp", TwoColourBmp(66)));
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
  EXPECT_TRUE(port.messages.empty());
  EXPECT_EQ(image.PreviewFrame, (Rect{0, 0, 320, 320}));
  EXPECT_EQ(port.previewImages, 1);
}

TEST_F(LoadTest, FailuresAreReportedAndLeaveNoImage) {
  LoadSelectedFile(image, port, (temp / "missing.bmp").string());
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].owner, Owner::None);
  EXPECT_EQ(port.messages[0].message, (Message{"Error Opening File", "", kMbIconHand}));
  EXPECT_EQ(image.Kind, ImageKind::NoImage);

  // A folder or a pipe is not opened as a file (a pipe would never end).
  const auto fifo = temp / "pipe.bmp";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  LoadSelectedFile(image, port, fifo.string());
  LoadSelectedFile(image, port, temp.path().string());
  EXPECT_EQ(port.messages.size(), 3u);
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
  EXPECT_EQ(image.PreviewFrame, (Rect{0, 0, 320, 320}));
}

TEST_F(LoadTest, WithTheViewerOpenTheCaptionAndViewerAreUpdated) {
  image.Viewer = true;
  std::vector<uint8_t> bytes = TwoColourBmp();
  bytes.resize(1234, 0);
  LoadSelectedFile(image, port, Write("a.bmp", bytes));
  EXPECT_EQ(port.viewerCaption, (temp / "a.bmp").string() + "     1234 bytes");
  EXPECT_EQ(port.viewerRepaints, 1);
  EXPECT_EQ(port.dialogRepaints, 1);
  EXPECT_EQ(port.previewImages, 0);
  EXPECT_EQ(image.FilePath, (temp / "a.bmp").string());
}

}  // namespace
}  // namespace ravelle
