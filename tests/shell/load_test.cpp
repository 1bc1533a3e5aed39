#include "shell/load.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "formats/dib/bmp_builder.h"
#include "platform/headless/headless_port.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

std::vector<uint8_t> Head(std::initializer_list<uint8_t> start) {
  std::vector<uint8_t> head(start);
  head.resize(kTypeProbeBytes, 0);
  return head;
}

std::vector<uint8_t> BitmapHead(uint8_t headerSize) {
  auto head = Head({'B', 'M'});
  head[14] = headerSize;
  return head;
}

TEST(FileTypeTest, TheRulesDecideInOrder) {
  struct Case {
    std::vector<uint8_t> head;
    const char* extension;
    FileType type;
    ImageKind kind;
  };
  auto macGif = Head({});
  macGif[128] = 'G';
  macGif[129] = 'I';
  auto macTiff = Head({});
  macTiff[128] = 'M';
  macTiff[129] = 'M';
  auto array = Head({'B', 'A'});
  array[14] = 'B';
  array[15] = 'M';
  array[28] = 12;
  const Case cases[] = {
      {BitmapHead(40), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(12), "bmp", FileType::Os2Bitmap, ImageKind::Bitmap},
      {BitmapHead(64), "bmp", FileType::Os2v2Bitmap, ImageKind::Bitmap},
      {BitmapHead(108), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(124), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(66), "bmp", FileType::OtherBitmapHeader, ImageKind::Bitmap},
      {array, "bmp", FileType::Os2Bitmap, ImageKind::Bitmap},
      {Head({'G', 'I', 'F', '8'}), "", FileType::Gif, ImageKind::Bitmap},
      {Head({0xFF, 0xD8, 0xFF}), "txt", FileType::Jpeg, ImageKind::Bitmap},
      {Head({0x0A, 5, 1}), "", FileType::Pcx, ImageKind::Bitmap},
      {Head({0x0A, 0}), "", FileType::Pcx, ImageKind::Bitmap},
      {Head({0x0A, 1}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({'I', 'I', 42, 0}), "", FileType::Tiff, ImageKind::Bitmap},
      {Head({'M', 'M', 0, 42}), "", FileType::Tiff, ImageKind::Bitmap},
      {Head({0x89, 'P', 'N', 'G'}), "", FileType::Png, ImageKind::Bitmap},
      {Head({'F', 'O', 'R', 'M'}), "", FileType::Iff, ImageKind::Bitmap},
      {Head({'R', 'I', 'F', 'F'}), "", FileType::AnimatedCursor, ImageKind::AnimatedCursor},
      {Head({0, 0, 1, 0}), "ICO", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 2, 0}), "cur", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 1, 0}), "icn", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 1, 0}), "bmp", FileType::Unknown, ImageKind::NoImage},
      {Head({'/', '*'}), "ico", FileType::SunIcon, ImageKind::Bitmap},
      {Head({'/', '*'}), "txt", FileType::Unknown, ImageKind::NoImage},
      {Head({0xD7, 0xCD, 0xC6, 0x9A}), "", FileType::PlaceableMetafile, ImageKind::WindowsMetafile},
      {Head({1, 0, 9, 0}), "WMF", FileType::WindowsMetafile, ImageKind::WindowsMetafile},
      {Head({1, 0, 0, 0}), "emf", FileType::EnhancedMetafile, ImageKind::EnhancedMetafile},
      {Head({0, 0, 2, 0}), "tga", FileType::Targa, ImageKind::Bitmap},
      {Head({0, 0, 2, 0}), "dat", FileType::Unknown, ImageKind::NoImage},
      {macGif, "", FileType::MacBinaryGif, ImageKind::Bitmap},
      {macTiff, "", FileType::MacBinaryTiff, ImageKind::Bitmap},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.head[0]) + " " + std::to_string(c.head[1]));
    const TypeDecision decision = DecideFileType(c.head, c.extension);
    EXPECT_EQ(decision.type, c.type);
    EXPECT_EQ(decision.kind, c.kind);
  }
  EXPECT_EQ(DecideFileType(array, "").start, 14u);
  // A file shorter than ten bytes is taken as padded with zeros.
  const std::vector<uint8_t> tiny = {'B', 'M'};
  EXPECT_EQ(DecideFileType(tiny, "").type, FileType::OtherBitmapHeader);
  EXPECT_EQ(DecideFileType({}, "").type, FileType::Unknown);
}

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

  LoadSelectedFile(image, port, Write("huge.bmp", test::WindowsBmp({.width = 100000, .height = 100000, .bits = 24}, {}, {1, 2, 3})));
  ASSERT_EQ(port.messages.size(), 4u);
  EXPECT_EQ(port.messages[3].message.text, "Memory allocation error");
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
