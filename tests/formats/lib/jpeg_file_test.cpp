#include "formats/lib/jpeg_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

// A file written with the library from rows of `components` samples (`row(y)`
// for each).
struct JpegFixture {
  int width = 1, height = 1, components = 3;
  J_COLOR_SPACE space = JCS_RGB;
  int quality = 100;
  int lumaH = 2, lumaV = 2;  // the first component's sampling factors
  bool progressive = false, adobe = false;
};

template <typename Row>
void WriteJpegFixture(const std::filesystem::path &file, const JpegFixture &f, Row row) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  std::FILE *out = std::fopen(file.c_str(), "wb");
  jpeg_stdio_dest(&info, out);
  info.image_width = JDIMENSION(f.width), info.image_height = JDIMENSION(f.height);
  info.input_components = f.components, info.in_color_space = f.space;
  jpeg_set_defaults(&info);
  info.write_Adobe_marker = f.adobe ? TRUE : FALSE;
  info.comp_info[0].h_samp_factor = f.lumaH, info.comp_info[0].v_samp_factor = f.lumaV;
  jpeg_set_quality(&info, f.quality, TRUE);
  if (f.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    std::vector<uint8_t> samples = row(static_cast<int>(info.next_scanline));
    JSAMPROW pointer = samples.data();
    jpeg_write_scanlines(&info, &pointer, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(out);
}

// Progressive files of every sampling (their coefficients are held in the
// picture as it is decoded, in less room than they take or more), whole and cut
// short (the library then smooths blocks with their neighbours' coefficients):
// the library's own decoder's pixels.
TEST(JpegFile, ProgressiveFilesOfEverySamplingGiveTheLibrarysPixels) {
  TempDir dir;
  const JpegFixture kFiles[] = {
      {333, 217, 3, JCS_RGB, 90, 2, 2, true}, {333, 217, 3, JCS_RGB, 90, 1, 1, true},
      {61, 1001, 3, JCS_RGB, 90, 4, 2, true}, {1001, 61, 3, JCS_RGB, 90, 2, 1, true},
      {97, 203, 3, JCS_RGB, 90, 1, 4, true},  {203, 97, 1, JCS_GRAYSCALE, 90, 1, 1, true},
      {1, 1, 3, JCS_RGB, 90, 2, 2, true},     {40, 8, 4, JCS_CMYK, 90, 1, 1, true},
  };
  for (const JpegFixture &f : kFiles) {
    const auto file = dir / "p.jpg";
    WriteJpegFixture(file, f, [&](int y) {
      std::vector<uint8_t> samples;
      for (int x = 0; x < f.width * f.components; ++x) samples.push_back(uint8_t(x * 7 + y * 3 + (x * y) % 29));
      return samples;
    });
    const auto whole = ReadBytes(file);
    for (const std::size_t cut : {whole.size(), whole.size() * 3 / 5}) {
      if (cut < 2048 && cut != whole.size()) continue;  // the headers would be cut
      SCOPED_TRACE(std::to_string(f.width) + "x" + std::to_string(f.height) + " sampled " + std::to_string(f.lumaH) +
                   "x" + std::to_string(f.lumaV) + ", " + std::to_string(cut) + " bytes");
      WriteBytes(file, {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)});
      const ReadResult read = ReadJpegImage(file, 24);
      ASSERT_TRUE(read.dib);
      // The library alone, into rows of blue, green, red (four components:
      // C/M/Y/K as they are).
      jpeg_decompress_struct info{};
      jpeg_error_mgr error{};
      info.err = jpeg_std_error(&error);
      error.emit_message = [](j_common_ptr, int) {};
      jpeg_create_decompress(&info);
      std::FILE *in = std::fopen(file.c_str(), "rb");
      jpeg_stdio_src(&info, in);
      jpeg_read_header(&info, TRUE);
      if (info.out_color_space == JCS_RGB) info.out_color_space = JCS_EXT_BGR;
      jpeg_start_decompress(&info);
      const std::size_t rowBytes = std::size_t(f.width) * info.output_components;
      std::vector<uint8_t> row(rowBytes);
      int differing = 0;
      while (info.output_scanline < info.output_height) {
        const int y = f.height - 1 - static_cast<int>(info.output_scanline);
        JSAMPROW pointer = row.data();
        jpeg_read_scanlines(&info, &pointer, 1);
        if (f.components == 4) {  // plain inks, as the reader mixes them
          std::vector<uint8_t> bgr;
          const auto mix = [](int a, int b) { return uint8_t(((255 - a) * (255 - b) + 127) / 255); };
          for (std::size_t x = 0; x < rowBytes; x += 4)
            bgr.insert(bgr.end(), {mix(row[x + 2], row[x + 3]), mix(row[x + 1], row[x + 3]), mix(row[x], row[x + 3])});
          row = bgr;
        }
        const std::size_t bytes = row.size();
        differing += !std::ranges::equal(read.dib.Row(y).first(bytes), row);
        differing += std::ranges::any_of(read.dib.Row(y).subspan(bytes), [](uint8_t b) { return b != 0; });
        row.resize(rowBytes);
      }
      jpeg_finish_decompress(&info);
      jpeg_destroy_decompress(&info);
      std::fclose(in);
      EXPECT_EQ(differing, 0);
    }
  }
}

// Four-component files, plain and with the inks inverted behind an Adobe marker
// (as Photoshop writes them), in blocks of 8 pixels: no ink, cyan, magenta,
// yellow, black.
TEST(JpegFile, FourComponentFilesBecomeColour) {
  TempDir dir;
  const uint8_t inks[5][4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 255}};
  for (const bool adobe : {false, true}) {
    WriteJpegFixture(dir / "k.jpg", {40, 8, 4, JCS_CMYK, 100, 1, 1, false, adobe}, [&](int) {
      std::vector<uint8_t> row;
      for (int x = 0; x < 40; ++x) {
        for (const uint8_t ink : inks[x / 8]) row.push_back(adobe ? static_cast<uint8_t>(255 - ink) : ink);
      }
      return row;
    });

    const ReadResult read = ReadJpegImage(dir / "k.jpg", 24);
    ASSERT_TRUE(read.dib) << adobe;
    EXPECT_NE(read.infoText.find("color components: 4 \ncolor space: C/M/Y/K"), std::string::npos);
    ASSERT_EQ(read.dib.BitCount(), 24);
    const RgbImage rgb = DibToRgb(read.dib);
    RgbImage centres{5, 1, {}};  // of the blocks in the top row
    for (int x = 3; x < 40; x += 8)
      centres.rgb.insert(centres.rgb.end(), rgb.rgb.begin() + 3 * x, rgb.rgb.begin() + 3 * x + 3);
    EXPECT_TRUE(SameImage(centres, {5, 1, {255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 0, 0, 0}}, 3))
        << adobe;
  }
}

}  // namespace
}  // namespace ravelle::test
