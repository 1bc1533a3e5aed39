#include "colour/median_cut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <random>

#include <jpeglib.h>

#include "colour/reduce_colors.h"
#include "tools/test_images.h"

namespace ravelle {
namespace {

std::vector<uint8_t> Row(std::initializer_list<PaletteColor> colors) {
  std::vector<uint8_t> rgb;
  for (const PaletteColor& c : colors) rgb.insert(rgb.end(), {c.red, c.green, c.blue});
  return rgb;
}

std::vector<PaletteColor> Choose(const std::vector<std::vector<uint8_t>>& rows, int colors) {
  MedianCutQuantizer q;
  EXPECT_TRUE(q.Start(static_cast<int>(rows[0].size() / 3), colors));
  for (const auto& row : rows) q.AccumulateRow(row);
  const auto count = q.SelectColors();
  EXPECT_TRUE(count);
  std::vector<PaletteColor> chosen;
  for (int i = 0; i < q.ColorCount(); ++i) chosen.push_back(q.MapColor(i));
  return chosen;
}

TEST(MedianCutSelectionTest, AColourStandsForTheCentreOfItsHistogramCell) {
  EXPECT_EQ(Choose({Row({{255, 0, 0}, {255, 0, 0}})}, 256), (std::vector<PaletteColor>{{252, 2, 4}}));
  // Two colours that share a cell become one.
  EXPECT_EQ(Choose({Row({{255, 0, 0}, {250, 1, 6}})}, 16), (std::vector<PaletteColor>{{252, 2, 4}}));
  EXPECT_EQ(Choose({Row({{10, 20, 30}})}, 32), (std::vector<PaletteColor>{{12, 22, 28}}));
}

TEST(MedianCutSelectionTest, FewerColoursThanAskedForGiveOneEntryEach) {
  const auto chosen = Choose({Row({{0, 0, 0}, {255, 255, 255}, {255, 0, 0}}), Row({{0, 255, 0}, {0, 0, 255}, {0, 0, 0}})}, 16);
  ASSERT_EQ(chosen.size(), 5u);
  std::vector<PaletteColor> sorted = chosen;
  std::ranges::sort(sorted, {}, [](PaletteColor c) { return std::tuple(c.red, c.green, c.blue); });
  EXPECT_EQ(sorted, (std::vector<PaletteColor>{{4, 2, 4}, {4, 2, 252}, {4, 254, 4}, {252, 2, 4}, {252, 254, 252}}));
}

TEST(MedianCutSelectionTest, BoxColoursAreCountWeightedMeansOfCellCentres) {
  // Three pixels in cell red 0 and one in cell red 1 (green and blue cells 0), asked for one colour:
  // red (3 x 4 + 1 x 12 + 2) / 4 = 6.
  const auto chosen = Choose({Row({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {8, 0, 0}})}, 1);
  EXPECT_EQ(chosen, (std::vector<PaletteColor>{{6, 2, 4}}));
}

TEST(MedianCutMappingTest, TheCacheGivesTheNearestEntryOfTheWholePalette) {
  // The candidate pruning must never lose the true nearest entry, nor change which of equally
  // near entries wins (the lowest index).
  std::mt19937 random(17);
  for (const int size : {2, 16, 216, 256}) {
    std::vector<PaletteColor> palette;
    for (int i = 0; i < size; ++i) palette.push_back({static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random())});
    palette.back() = palette[palette.size() / 2];  // a duplicate: the earlier index must win
    MedianCutQuantizer q;
    ASSERT_TRUE(q.Start(1, static_cast<int>(palette.size())));
    q.SetColorMap(palette);
    for (int r = 0; r < 32; r += 3) {
      for (int g = 0; g < 64; g += 5) {
        for (int b = 0; b < 32; b += 2) {
          const int cr = 8 * r + 4, cg = 4 * g + 2, cb = 8 * b + 4;
          int best = 0;
          int bestDistance = 0x7FFFFFFF;
          for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
            const PaletteColor& p = palette[static_cast<std::size_t>(i)];
            const int d = (2 * (cr - p.red)) * (2 * (cr - p.red)) + (3 * (cg - p.green)) * (3 * (cg - p.green)) +
                          (cb - p.blue) * (cb - p.blue);
            if (d < bestDistance) {
              bestDistance = d;
              best = i;
            }
          }
          ASSERT_EQ(q.NearestIndex(static_cast<uint8_t>(cr), static_cast<uint8_t>(cg), static_cast<uint8_t>(cb)), best)
              << size << " colours, cell " << r << "," << g << "," << b;
        }
      }
    }
  }
}

TEST(MedianCutMappingTest, ACellHalfwayBetweenTwoEntriesTakesTheLowerIndex) {
  // Cell (0, 0, 0) is centred on (4, 2, 4); both entries are 4 blue units away.
  for (const bool swapped : {false, true}) {
    std::vector<PaletteColor> palette = {{4, 2, 0}, {4, 2, 8}};
    if (swapped) std::swap(palette[0], palette[1]);
    MedianCutQuantizer q;
    ASSERT_TRUE(q.Start(1, 2));
    q.SetColorMap(palette);
    EXPECT_EQ(q.NearestIndex(0, 0, 0), 0);
  }
}

TEST(MedianCutMappingTest, ErrorsAreLimitedBeforeTheyAreAdded) {
  const std::pair<int, int> cases[] = {{0, 0}, {15, 15}, {16, 16}, {17, 16}, {18, 17}, {46, 31}, {47, 31}, {48, 32}, {200, 32}, {255, 32}};
  for (const auto& [e, limited] : cases) {
    EXPECT_EQ(MedianCutQuantizer::LimitError(e), limited) << e;
    EXPECT_EQ(MedianCutQuantizer::LimitError(-e), -limited) << -e;
  }
}

TEST(MedianCutMappingTest, ARowScannedRightToLeftStartsAtItsLastIndex) {
  // Gray 100 between black and white: the first pixel scanned has no error yet and maps to
  // black; the next one gets 7/16 of +100 (limited to +30) and maps to white.
  const std::vector<uint8_t> rgb(3 * 6, 100);
  for (const bool rightToLeft : {false, true}) {
    MedianCutQuantizer q;
    ASSERT_TRUE(q.Start(6, 2));
    q.SetColorMap(std::vector<PaletteColor>{{0, 0, 0}, {255, 255, 255}});
    std::vector<uint8_t> out(6, 9);
    q.MapRow(rgb, out, rightToLeft);
    const std::size_t first = rightToLeft ? 5 : 0;
    const std::size_t second = rightToLeft ? 4 : 1;
    EXPECT_EQ(out[first], 0);
    EXPECT_EQ(out[second], 1);
    EXPECT_EQ(std::ranges::count(out, 9), 0);
  }
}

TEST(MedianCutMappingTest, ManyColoursFillEveryEntryAndTheSameInputGivesTheSameOutput) {
  const PackedDib dib = test::RandomImage(120, 90, 24, 5);
  const ColorResult first = QuantizeImage(dib, -256);
  const ColorResult second = QuantizeImage(dib, -256);
  ASSERT_EQ(first.status, TransformStatus::Done);
  EXPECT_EQ(first.image.Header().biClrUsed, 256u);
  EXPECT_EQ(test::BytesOf(first.image), test::BytesOf(second.image));
}

// libjpeg's two-pass colour quantiser makes the same choices with the same histogram, the
// same split rules, cache and dithering; fed the same rows in the same order, both must agree
// to the byte.
struct JpegQuantized {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;      // the decoded pixels, top row first
  std::vector<uint8_t> indices;  // libjpeg's quantised rows
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
  jpeg_set_quality(&cinfo, 92, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + 3 * static_cast<std::size_t>(y) * width);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

JpegQuantized DecodeJpeg(const std::vector<uint8_t>& jpeg, int colors) {
  JpegQuantized out;
  for (const bool quantize : {false, true}) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    if (quantize) {
      cinfo.quantize_colors = TRUE;
      cinfo.two_pass_quantize = TRUE;
      cinfo.dither_mode = JDITHER_FS;
      cinfo.desired_number_of_colors = colors;
    }
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    std::vector<uint8_t>& target = quantize ? out.indices : out.rgb;
    const std::size_t rowBytes = static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components;
    target.resize(rowBytes * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = target.data() + rowBytes * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (quantize) {
      for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
        out.colormap.push_back({cinfo.colormap[0][i], cinfo.colormap[1][i], cinfo.colormap[2][i]});
      }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  }
  return out;
}

TEST(MedianCutReferenceTest, AgreesWithLibjpegsTwoPassQuantizerToTheByte) {
  // A smooth picture with noise and a few flat patches, of odd size.
  const int width = 97;
  const int height = 61;
  std::mt19937 random(3);
  std::vector<uint8_t> rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int noise = static_cast<int>(random() % 24);
      const bool patch = x > 60 && x < 80 && y > 10 && y < 30;
      rgb.push_back(patch ? 200 : static_cast<uint8_t>(std::min(255, x * 255 / width + noise)));
      rgb.push_back(patch ? 30 : static_cast<uint8_t>(std::min(255, y * 255 / height + noise / 2)));
      rgb.push_back(patch ? 90 : static_cast<uint8_t>((x * y) % 256));
    }
  }
  const std::vector<uint8_t> jpeg = CompressJpeg(width, height, rgb);
  for (const int colors : {16, 32, 256}) {
    SCOPED_TRACE(colors);
    const JpegQuantized reference = DecodeJpeg(jpeg, colors);
    ASSERT_EQ(reference.width, width);

    // A bitmap whose stored rows, bottom row first, are libjpeg's rows top row first, so that
    // both quantisers see the rows in the same order and scan them in the same directions.
    PackedDib dib = CreateDib(width, height, 24);
    for (int y = 0; y < height; ++y) {
      auto row = dib.Row(y);
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = reference.rgb.data() + 3 * (static_cast<std::size_t>(y) * width + x);
        row[3 * x] = p[2];
        row[3 * x + 1] = p[1];
        row[3 * x + 2] = p[0];
      }
    }
    const ColorResult ours = QuantizeImage(dib, -colors);
    ASSERT_EQ(ours.status, TransformStatus::Done);
    ASSERT_EQ(ours.image.Colors().size(), reference.colormap.size());
    for (std::size_t i = 0; i < reference.colormap.size(); ++i) {
      const RgbQuad c = ours.image.Colors()[i];
      ASSERT_EQ((PaletteColor{c.rgbRed, c.rgbGreen, c.rgbBlue}), reference.colormap[i]) << "entry " << i;
    }
    for (int y = 0; y < height; ++y) {
      const auto row = ours.image.Row(y);
      ASSERT_TRUE(std::equal(row.begin(), row.begin() + width, reference.indices.begin() + static_cast<std::ptrdiff_t>(y) * width))
          << "row " << y;
    }
  }
}

}  // namespace
}  // namespace ravelle
