#include "formats/lib/jpeg_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>

#include "formats/lib/lib_fixtures.h"

namespace ravelle::test {
namespace {

TEST(JpegFile, ABrokenFileFailsCleanlyAndClosesItsFile) {
  TempDir dir;
  WriteBytes(dir / "soi.jpg", {0xFF, 0xD8});
  const int before = OpenDescriptors();
  const ReadResult soi = ReadJpegImage(dir / "soi.jpg", 24);
  EXPECT_FALSE(soi.dib);
  EXPECT_TRUE(soi.messages.empty());
  EXPECT_FALSE(soi.diagnostics.empty());  // the library's words, for --verbose
  EXPECT_EQ(OpenDescriptors(), before);
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

}  // namespace
}  // namespace ravelle::test
