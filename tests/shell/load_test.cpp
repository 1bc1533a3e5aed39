#include "shell/load.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "formats/dib/bmp_builder.h"
#include "formats/registry.h"
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

// Every writer of the registry writes the first of these images it takes (fax, RLE and bit-field
// variants take only some depths) so that it reads back the same, or near it for the lossy ones
// (JPEG, HAM, GIF's 256 best colours, lossy WebP, AVIF and JPEG XL).
TEST_F(LoadTest, EveryWriterWritesAFileThatReadsBack) {
  const PackedDib images[] = {test::DrawDib(33, 17, 24), test::DrawDib(33, 17, 16), test::DrawDib(33, 17, 8),
                              test::DrawDib(33, 17, 1, test::Palette::WhiteBlack)};
  // The names are ravelle-cli's documented forms: scripts rely on every one of them.
  std::vector<std::string> documented = {"bmp", "bmp-rle", "bmp-bitfields", "bmp-bitfields-565", "gif", "gif-interlaced",
                                         "iff", "iff-packed", "iff-ham", "iff-ham-packed", "jpeg", "jpeg-progressive",
                                         "pcx", "png", "png-adam7", "tga", "tga-rle", "webp", "webp-lossless", "avif",
                                         "jxl", "jxl-lossless"};
  // The photo formats' own decoders read them back too (to %o.ppm or %o.png).
  const std::map<std::string, std::string> decoders = {
      {"webp", "/usr/bin/dwebp -quiet %i -ppm -o %o.ppm"}, {"webp-lossless", "/usr/bin/dwebp -quiet %i -ppm -o %o.ppm"},
      {"avif", "/usr/bin/avifdec %i %o.png >/dev/null"},   {"jxl", "/usr/bin/djxl %i %o.ppm 2>/dev/null"},
      {"jxl-lossless", "/usr/bin/djxl %i %o.ppm 2>/dev/null"}};
  for (const char* tiff : {"none", "huffman", "g3", "g4", "lzw", "jpeg", "packbits", "deflate"}) {
    documented.insert(documented.end(), {std::string("tiff-") + tiff, std::string("tiff-") + tiff + "-tiles"});
  }
  std::vector<std::string> names;
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      if (writer.write == nullptr) continue;
      const std::string name(writer.cliName);
      names.push_back(name);
      const auto file = temp / (name + "." + std::string(row.extension));
      const auto written = std::ranges::find_if(images, [&](const PackedDib& dib) { return writer.write(dib, file) == WriteOutcome::Written; });
      ASSERT_NE(written, std::end(images)) << name;
      CurrentImage back;
      ReadImageFile(back, port, file.string(), false);
      ASSERT_TRUE(back.Handle) << name;
      const bool lossy = name.find("jpeg") != std::string::npos || name.find("ham") != std::string::npos ||
                         row.extension == "gif" || name == "webp" || name == "avif" || name == "jxl";
      std::vector<test::RgbImage> decoded{test::DibToRgb(back.Handle)};
      if (const auto decoder = decoders.find(name); decoder != decoders.end() && test::HaveProgram(decoder->second.substr(0, decoder->second.find(' ')))) {
        std::string command = decoder->second;
        const std::string out = (temp / "reference").string();
        command.replace(command.find("%i"), 2, test::Quote(file.string()));
        command.replace(command.find("%o"), 2, test::Quote(out));
        ASSERT_EQ(test::RunCommand(command).status, 0) << command;
        const auto reference = test::DecodeWithImageMagick(out + (command.find(".ppm") != std::string::npos ? ".ppm" : ".png"));
        ASSERT_TRUE(reference) << command;
        decoded.push_back(*reference);
      }
      for (const test::RgbImage& image : decoded) {
        const double difference = test::MeanDifference(image, test::DibToRgb(*written));
        EXPECT_LT(difference, lossy ? 20.0 : written->BitCount() == 16 ? 4.0 : 0.001) << name;
      }
    }
  }
  std::ranges::sort(names);
  std::ranges::sort(documented);
  EXPECT_EQ(names, documented);
}

}  // namespace
}  // namespace ravelle
