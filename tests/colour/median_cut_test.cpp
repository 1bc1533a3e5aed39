#include "colour/median_cut.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdio>
#include <random>

#include "colour/reduce_colors.h"
#include "formats/lib/jpeg_file.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

// libjpeg's two-pass quantiser uses the same histogram, split rules, cache and dithering: fed the
// same rows, the two agree to the byte. It quantises only while decoding, hence the JPEG file.
struct Decoded {
  std::vector<uint8_t> rgb;      // top row first
  std::vector<uint8_t> indices;  // quantised by libjpeg
  std::vector<PaletteColor> colormap;
};

Decoded DecodeJpeg(const std::filesystem::path& file, int colors) {
  Decoded out;
  for (const bool quantize : {false, true}) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    std::FILE* in = std::fopen(file.c_str(), "rb");
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.quantize_colors = quantize;
    cinfo.two_pass_quantize = TRUE;
    cinfo.dither_mode = JDITHER_FS;
    cinfo.desired_number_of_colors = colors;
    jpeg_start_decompress(&cinfo);
    std::vector<uint8_t>& target = quantize ? out.indices : out.rgb;
    const std::size_t rowBytes = std::size_t{cinfo.output_width} * cinfo.output_components;
    target.resize(rowBytes * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = target.data() + rowBytes * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    for (int i = 0; quantize && i < cinfo.actual_number_of_colors; ++i) {
      out.colormap.push_back({cinfo.colormap[0][i], cinfo.colormap[1][i], cinfo.colormap[2][i]});
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
  }
  return out;
}

TEST(MedianCutTest, AgreesWithLibjpegsTwoPassQuantizerToTheByte) {
  const int width = 97, height = 61;  // a smooth picture with noise and a flat patch
  std::mt19937 random(3);
  PackedDib picture = CreateDib(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int noise = static_cast<int>(random() % 24);
      const bool patch = x > 60 && x < 80 && y > 10 && y < 30;
      test::SetPixel(picture, x, y,
                     patch ? test::Rgb(200, 30, 90)
                           : test::Rgb(static_cast<uint8_t>(std::min(255, x * 255 / width + noise)),
                                       static_cast<uint8_t>(std::min(255, y * 255 / height + noise / 2)), static_cast<uint8_t>(x * y)));
    }
  }
  test::TempDir dir;
  ASSERT_TRUE(WriteJpegImage(dir / "picture.jpg", kJpegQuality, picture, false));
  for (const int colors : {16, 32, 256}) {
    const Decoded reference = DecodeJpeg(dir / "picture.jpg", colors);
    // Stored rows, bottom row first, are libjpeg's rows top row first: both see the same rows in
    // the same order and scan them in the same directions.
    PackedDib dib = CreateDib(width, height, 24);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        for (int k = 0; k < 3; ++k) dib.Row(y)[3 * x + k] = reference.rgb[3 * static_cast<std::size_t>(y * width + x) + 2 - k];
      }
    }
    const ColorResult ours = QuantizeImage(dib, -colors);
    ASSERT_EQ(ours.image.Colors().size(), reference.colormap.size()) << colors;
    for (std::size_t i = 0; i < reference.colormap.size(); ++i) {
      const RgbQuad c = ours.image.Colors()[i];
      ASSERT_EQ((PaletteColor{c.rgbRed, c.rgbGreen, c.rgbBlue}), reference.colormap[i]) << colors << " entry " << i;
    }
    for (int y = 0; y < height; ++y) {
      ASSERT_TRUE(std::ranges::equal(ours.image.Row(y).first(width), std::span(reference.indices).subspan(y * width, width)))
          << colors << " row " << y;
    }
  }
}

}  // namespace
}  // namespace ravelle
