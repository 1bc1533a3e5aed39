#include "colour/median_cut.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdlib>
#include <random>

#include "colour/reduce_colors.h"

namespace ravelle {
namespace {

std::vector<PaletteColor> Choose(const std::vector<uint8_t>& row, int colors) {
  MedianCutQuantizer q;
  EXPECT_TRUE(q.Start(static_cast<int>(row.size() / 3), colors));
  q.AccumulateRow(row);
  EXPECT_TRUE(q.SelectColors());
  std::vector<PaletteColor> chosen;
  for (int i = 0; i < q.ColorCount(); ++i) chosen.push_back(q.MapColor(i));
  return chosen;
}

TEST(MedianCutTest, AColourStandsForItsCellsCentreAndColoursSharingACellBecomeOne) {
  EXPECT_EQ(Choose({255, 0, 0, 255, 0, 0}, 256), (std::vector<PaletteColor>{{252, 2, 4}}));
  EXPECT_EQ(Choose({255, 0, 0, 250, 1, 6}, 16), (std::vector<PaletteColor>{{252, 2, 4}}));
}

TEST(MedianCutTest, TheCacheGivesTheNearestEntryOfTheWholePaletteLowestIndexFirst) {
  // The candidate pruning must neither lose the nearest entry nor change which of equally near
  // entries wins; a duplicated entry makes ties.
  std::mt19937 random(17);
  for (const int size : {16, 216, 256}) {
    std::vector<PaletteColor> palette;
    for (int i = 0; i < size; ++i) palette.push_back({uint8_t(random()), uint8_t(random()), uint8_t(random())});
    palette.back() = palette[palette.size() / 2];
    MedianCutQuantizer q;
    ASSERT_TRUE(q.Start(1, size));
    q.SetColorMap(palette);
    for (int r = 4; r < 256; r += 24) {
      for (int g = 2; g < 256; g += 20) {
        for (int b = 4; b < 256; b += 16) {
          int best = 0, bestDistance = 0x7FFFFFFF;
          for (int i = 0; i < size; ++i) {
            const PaletteColor& p = palette[static_cast<std::size_t>(i)];
            const int d = 4 * (r - p.red) * (r - p.red) + 9 * (g - p.green) * (g - p.green) + (b - p.blue) * (b - p.blue);
            if (d < bestDistance) bestDistance = d, best = i;
          }
          ASSERT_EQ(q.NearestIndex(uint8_t(r), uint8_t(g), uint8_t(b)), best) << size << ": " << r << "," << g << "," << b;
        }
      }
    }
  }
}

TEST(MedianCutTest, ErrorsAreLimitedAndRowsScannedRightToLeftStartAtTheirLastIndex) {
  for (const auto& [e, limited] : {std::pair{15, 15}, {16, 16}, {17, 16}, {18, 17}, {47, 31}, {48, 32}, {200, 32}}) {
    EXPECT_EQ(MedianCutQuantizer::LimitError(e), limited) << e;
    EXPECT_EQ(MedianCutQuantizer::LimitError(-e), -limited) << e;
  }
  // Gray 100 between black and white: the first pixel scanned has no error yet and is black;
  // the next gets 7/16 of +100, limited to +30, and is white.
  for (const bool rightToLeft : {false, true}) {
    MedianCutQuantizer q;
    ASSERT_TRUE(q.Start(6, 2));
    q.SetColorMap(MonochromePalette());
    std::vector<uint8_t> out(6, 9);
    q.MapRow(std::vector<uint8_t>(18, 100), out, rightToLeft);
    EXPECT_EQ(out[rightToLeft ? 5 : 0], 1);  // black is entry 1
    EXPECT_EQ(out[rightToLeft ? 4 : 1], 0);
  }
}

// libjpeg's two-pass colour quantiser uses the same histogram, split rules, cache and
// dithering; fed the same rows in the same order, the two must agree to the byte.
struct Decoded {
  std::vector<uint8_t> rgb;      // top row first
  std::vector<uint8_t> indices;  // quantised by libjpeg
  std::vector<PaletteColor> colormap;
};

std::vector<uint8_t> CompressJpeg(int width, int height, const std::vector<uint8_t>& rgb) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + 3 * static_cast<std::size_t>(y * width));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

Decoded DecodeJpeg(const std::vector<uint8_t>& jpeg, int colors) {
  Decoded out;
  for (const bool quantize : {false, true}) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
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
  }
  return out;
}

TEST(MedianCutTest, AgreesWithLibjpegsTwoPassQuantizerToTheByte) {
  const int width = 97, height = 61;  // a smooth picture with noise and a flat patch
  std::mt19937 random(3);
  std::vector<uint8_t> rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int noise = static_cast<int>(random() % 24);
      const bool patch = x > 60 && x < 80 && y > 10 && y < 30;
      rgb.push_back(patch ? 200 : static_cast<uint8_t>(std::min(255, x * 255 / width + noise)));
      rgb.push_back(patch ? 30 : static_cast<uint8_t>(std::min(255, y * 255 / height + noise / 2)));
      rgb.push_back(patch ? 90 : static_cast<uint8_t>(x * y));
    }
  }
  const std::vector<uint8_t> jpeg = CompressJpeg(width, height, rgb);
  for (const int colors : {16, 32, 256}) {
    const Decoded reference = DecodeJpeg(jpeg, colors);
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
