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
  EXPECT_EQ(ExtensionOf("scan.2.TIF"), "TIF");
  EXPECT_EQ(ExtensionOf("folder.d/readme"), "");
  EXPECT_EQ(ExtensionOf("a."), "");
}

class LoadTest : public ::testing::Test {
 protected:
  LoadTest() { image.PreviewBox = {320, 320}; }

  std::string Write(const std::string& name) {
    const auto path = temp / name;
    test::WriteBytes(path, test::WindowsBmp({.width = 4, .height = 2, .clrUsed = 2},
                                            {0, 0, 0, 0, 255, 255, 255, 0}, {0, 1, 0, 1, 1, 1, 0, 0}));
    return path.string();
  }

  test::TempDir temp;
  HeadlessPort port;
  CurrentImage image;
};

TEST_F(LoadTest, ABitmapIsReadCompactedAndFailuresLeaveNoImage) {
  LoadSelectedFile(image, port, Write("two.bmp"));
  EXPECT_EQ(image.Kind, ImageKind::Bitmap);
  EXPECT_EQ(image.BitCount, 1);  // two colours became one bit per pixel
  EXPECT_EQ(image.ColorsUsed, 1);
  EXPECT_EQ(port.waitDepth, 0);
  ReleaseImage(image, port);
  // A missing file, a folder or a pipe (which would never end) is reported and leaves no image.
  LoadSelectedFile(image, port, (temp / "missing.bmp").string());
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].message, (Message{"Error Opening File", "", kMbIconHand}));
  const auto fifo = temp / "pipe.bmp";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  LoadSelectedFile(image, port, fifo.string());
  LoadSelectedFile(image, port, temp.path().string());
  EXPECT_EQ(port.messages.size(), 3u);
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
}

}  // namespace
}  // namespace ravelle
