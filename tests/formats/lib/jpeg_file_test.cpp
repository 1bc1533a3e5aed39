#include "formats/lib/jpeg_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>

#include "formats/lib/lib_fixtures.h"

namespace ravelle::test {
namespace {

TEST(JpegFile, BrokenFilesFailCleanlyAndCloseTheirFile) {
  TempDir dir;
  WriteBytes(dir / "soi.jpg", {0xFF, 0xD8});
  const int before = OpenDescriptors();
  const ReadResult soi = ReadJpegImage(dir / "soi.jpg", 24);
  EXPECT_FALSE(soi.dib);
  EXPECT_TRUE(soi.messages.empty());
  EXPECT_FALSE(soi.diagnostics.empty());  // the library's words, for --verbose
  EXPECT_EQ(OpenDescriptors(), before);

  // Cut short in the middle of the data: the library warns and completes the image.
  ASSERT_TRUE(WriteJpegImage(dir / "full.jpg", kJpegQuality, DrawDib(512, 512, 24), false));
  auto bytes = ReadBytes(dir / "full.jpg");
  bytes.resize(bytes.size() * 3 / 4);
  WriteBytes(dir / "cut.jpg", bytes);
  const ReadResult cut = ReadJpegImage(dir / "cut.jpg", 24);
  EXPECT_TRUE(cut.dib);
  EXPECT_FALSE(cut.diagnostics.empty());
}

// Four-component files, plain and with the inks inverted behind an Adobe marker (as Photoshop
// writes them), in blocks of 8 pixels: no ink, cyan, magenta, yellow, black.
TEST(JpegFile, FourComponentFilesBecomeColour) {
  TempDir dir;
  const uint8_t inks[5][4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 255}};
  for (const bool adobe : {false, true}) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    std::FILE* out = std::fopen((dir / "k.jpg").c_str(), "wb");
    jpeg_stdio_dest(&info, out);
    info.image_width = 40, info.image_height = 8, info.input_components = 4, info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    info.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row;
    for (int x = 0; x < 40; ++x) {
      for (const uint8_t ink : inks[x / 8]) row.push_back(adobe ? static_cast<uint8_t>(255 - ink) : ink);
    }
    JSAMPROW pointer = row.data();
    while (info.next_scanline < info.image_height) jpeg_write_scanlines(&info, &pointer, 1);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);

    const ReadResult read = ReadJpegImage(dir / "k.jpg", 24);
    ASSERT_TRUE(read.dib) << adobe;
    EXPECT_NE(read.infoText.find("color components: 4 \ncolor space: C/M/Y/K"), std::string::npos);
    ASSERT_EQ(read.dib.BitCount(), 24);
    const RgbImage rgb = DibToRgb(read.dib);
    RgbImage centres{5, 1, {}};  // of the blocks in the top row
    for (int x = 3; x < 40; x += 8) centres.rgb.insert(centres.rgb.end(), rgb.rgb.begin() + 3 * x, rgb.rgb.begin() + 3 * x + 3);
    EXPECT_TRUE(SameImage(centres, {5, 1, {255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 0, 0, 0}}, 3)) << adobe;
  }
}

// Every valid JPEG of the corpus gives the pixels djpeg gives at its defaults; damaged ones fail
// cleanly or give the image the library completed.
TEST(JpegFile, CorpusConformance) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "JPEG") continue;
    const auto file = CorpusDir() / entry.path;
    const ReadResult read = ReadJpegImage(file, 24);
    if (read.dib) {
      EXPECT_EQ(read.dib.Size(), 40 + 4 * read.dib.Colors().size() + read.dib.Stride() * read.dib.Height());
    }
    if (entry.expected != "valid") continue;
    const bool tooLarge = !read.messages.empty() && read.messages[0].text == "Memory Allocation Error";
    const bool twelveBit = entry.variant.find("12-bit") != std::string::npos;
    if (tooLarge || twelveBit) continue;  // over the image size limit; a precision the library lacks
    // A picture turned upright is compared with ImageMagick's in orientation_test.cpp.
    if (read.infoText.find("(applied)") != std::string::npos) continue;
    const auto djpeg = DecodeWithNetpbm(file, "djpeg -pnm");
    // Only where the library itself cannot decode the file (a DNL marker) is there no image.
    EXPECT_TRUE(read.dib || (djpeg && djpeg->width == 0) || !djpeg) << entry.path;
    if (!read.dib || !djpeg) continue;
    EXPECT_TRUE(SameImage(DibToRgb(read.dib), *djpeg)) << entry.path;
    ++compared;
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
}  // namespace ravelle::test
