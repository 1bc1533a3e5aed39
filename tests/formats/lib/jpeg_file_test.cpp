#include "formats/lib/jpeg_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

#include "formats/lib/lib_fixtures.h"

namespace ravelle::test {
namespace {

// A four-component JPEG written straight through libjpeg; `adobe` stores the inks inverted
// behind an Adobe marker, as Photoshop does.
void WriteCmykJpeg(const std::filesystem::path& file, const std::vector<uint8_t>& cmyk, int width, bool adobe) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  std::FILE* out = std::fopen(file.c_str(), "wb");
  jpeg_stdio_dest(&info, out);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = 8;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, JCS_CMYK);
  info.write_Adobe_marker = adobe ? TRUE : FALSE;
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row;
  for (int x = 0; x < width; ++x) {
    for (int c = 0; c < 4; ++c) row.push_back(adobe ? static_cast<uint8_t>(255 - cmyk[4 * (x / 8) + c]) : cmyk[4 * (x / 8) + c]);
  }
  JSAMPROW pointer = row.data();
  while (info.next_scanline < info.image_height) jpeg_write_scanlines(&info, &pointer, 1);
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(out);
}

TEST(JpegFile, InfoTextAndLayoutOfBaselineColourAndProgressiveGray) {
  TempDir dir;
  ASSERT_TRUE(WriteJpegImage(dir / "c.jpg", kJpegQuality, DrawDib(37, 21, 24), false));
  const ReadResult colour = ReadJpegImage(dir / "c.jpg", 24);
  ASSERT_TRUE(colour.dib);
  EXPECT_EQ(colour.infoText, "image type: JPEG \nwidth: 37 \nheight: 21 \ncolor components: 3 \ncolor space: Y/Cb/Cr");
  EXPECT_EQ(colour.dib.BitCount(), 24);
  EXPECT_EQ(colour.dib.Header().biClrUsed, 0u);

  ASSERT_TRUE(WriteJpegImage(dir / "g.jpg", kJpegQuality, DrawDib(16, 9, 8, Palette::Gray), true));
  const ReadResult gray = ReadJpegImage(dir / "g.jpg", 24);
  ASSERT_TRUE(gray.dib);
  EXPECT_EQ(gray.infoText,
            "image type: JPEG \nwidth: 16 \nheight: 9 \ncolor components: 1 \ncolor space: monochrome \n"
            "progressive file structure");
  EXPECT_EQ(gray.dib.BitCount(), 8);
  ASSERT_EQ(gray.dib.Colors().size(), 256u);
  EXPECT_EQ(gray.dib.Colors()[200], (RgbQuad{200, 200, 200, 0}));
}

TEST(JpegFile, BrokenFilesFailCleanlyAndCloseTheirFile) {
  TempDir dir;
  WriteBytes(dir / "soi.jpg", {0xFF, 0xD8});
  const int before = OpenDescriptors();
  const ReadResult soi = ReadJpegImage(dir / "soi.jpg", 24);
  EXPECT_FALSE(soi.dib);
  EXPECT_TRUE(soi.messages.empty());
  EXPECT_FALSE(soi.diagnostics.empty());  // the library's words, for --verbose
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_FALSE(ReadJpegImage(dir / "missing.jpg", 24).dib);

  // Cut short in the middle of the data: the library warns and completes the image.
  ASSERT_TRUE(WriteJpegImage(dir / "full.jpg", kJpegQuality, DrawDib(512, 512, 24), false));
  auto bytes = ReadBytes(dir / "full.jpg");
  bytes.resize(bytes.size() * 3 / 4);
  WriteBytes(dir / "cut.jpg", bytes);
  const ReadResult cut = ReadJpegImage(dir / "cut.jpg", 24);
  EXPECT_TRUE(cut.dib);
  EXPECT_FALSE(cut.diagnostics.empty());
}

TEST(JpegFile, GrayTablesAreWrittenAsOneComponentAndTheTopRowFirst) {
  TempDir dir;
  PackedDib gray = DrawDib(16, 16, 4, Palette::Gray);
  ASSERT_TRUE(WriteJpegImage(dir / "g.jpg", kJpegQuality, gray, false));
  EXPECT_EQ(ReadJpegImage(dir / "g.jpg", 24).dib.BitCount(), 8);
  gray.Colors()[5] = {11, 10, 10, 0};  // red 10, green 10, blue 11
  ASSERT_TRUE(WriteJpegImage(dir / "c.jpg", kJpegQuality, gray, false));
  EXPECT_EQ(ReadJpegImage(dir / "c.jpg", 24).dib.BitCount(), 24);

  // 1-bit white then black: the bottom half of the picture (first in memory) is index 1.
  PackedDib bw = CreateDib(16, 16, 1, 2);
  bw.Colors()[0] = {255, 255, 255, 0};
  for (int y = 0; y < 8; ++y) std::fill(bw.Row(y).begin(), bw.Row(y).begin() + 2, 0xFF);
  ASSERT_TRUE(WriteJpegImage(dir / "bw.jpg", kJpegQuality, bw, false));
  const auto decoded = DecodeWithDjpeg(dir / "bw.jpg");
  if (!decoded) GTEST_SKIP() << "djpeg missing";
  EXPECT_EQ(ReadJpegImage(dir / "bw.jpg", 24).dib.BitCount(), 8);
  EXPECT_GE(decoded->rgb.front(), 250);  // top-left: white
  EXPECT_LE(decoded->rgb.back(), 5);     // bottom-right: black
}

TEST(JpegFile, FourComponentFilesBecomeColour) {
  TempDir dir;
  // White (no ink), pure cyan, pure black.
  const std::vector<uint8_t> inks = {0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255};
  for (const bool adobe : {false, true}) {
    WriteCmykJpeg(dir / "k.jpg", inks, 24, adobe);
    const ReadResult read = ReadJpegImage(dir / "k.jpg", 24);
    ASSERT_TRUE(read.dib) << adobe;
    EXPECT_NE(read.infoText.find("color components: 4 \ncolor space: C/M/Y/K"), std::string::npos);
    ASSERT_EQ(read.dib.BitCount(), 24);
    const RgbImage rgb = DibToRgb(read.dib);
    const auto near = [&](int x, int r, int g, int b) {
      const uint8_t* p = &rgb.rgb[3 * static_cast<std::size_t>(x)];
      EXPECT_NEAR(p[0], r, 3) << adobe << " x " << x;
      EXPECT_NEAR(p[1], g, 3) << adobe << " x " << x;
      EXPECT_NEAR(p[2], b, 3) << adobe << " x " << x;
    };
    near(3, 255, 255, 255);
    near(11, 0, 255, 255);
    near(19, 0, 0, 0);
  }
}

TEST(JpegFile, EveryDepthRoundTripsBaselineAndProgressive) {
  TempDir dir;
  const struct {
    int bits;
    Palette palette;
  } cases[] = {{1, Palette::BlackWhite}, {1, Palette::Colour}, {4, Palette::Colour}, {4, Palette::Gray},
               {8, Palette::Colour},     {8, Palette::Gray},   {16, Palette::Colour}, {24, Palette::Colour},
               {32, Palette::Colour}};
  for (const auto& c : cases) {
    for (const bool progressive : {false, true}) {
      const PackedDib source = DrawDib(40, 24, c.bits, c.palette);
      const auto file = dir / "out.jpg";
      ASSERT_TRUE(WriteJpegImage(file, kJpegQuality, source, progressive)) << c.bits;
      const ReadResult read = ReadJpegImage(file, 24);
      ASSERT_TRUE(read.dib) << c.bits;
      EXPECT_EQ(read.infoText.ends_with("progressive file structure"), progressive);
      const RgbImage ours = DibToRgb(read.dib);
      // 16-bit samples are written as (v << 3), so compare with that, not with the expansion.
      RgbImage expected = DibToRgb(source);
      if (c.bits == 16) {
        for (uint8_t& v : expected.rgb) v = static_cast<uint8_t>(v & 0xF8);
      }
      EXPECT_LT(MeanDifference(ours, expected), 6.0) << c.bits << " progressive " << progressive;
      if (const auto djpeg = DecodeWithDjpeg(file)) {
        EXPECT_EQ(MaxDifference(*djpeg, ours), 0) << c.bits;
      }
    }
  }
  EXPECT_FALSE(WriteJpegImage(dir / "none.jpg", kJpegQuality, PackedDib{}, false));
  EXPECT_FALSE(WriteJpegImage(dir / "no-folder" / "x.jpg", kJpegQuality, DrawDib(8, 8, 24), false));
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
    const auto djpeg = DecodeWithDjpeg(file);
    // Only where the library itself cannot decode the file (a DNL marker) is there no image.
    EXPECT_TRUE(read.dib || (djpeg && djpeg->width == 0) || !djpeg) << entry.path;
    if (!read.dib || !djpeg) continue;
    EXPECT_EQ(MaxDifference(DibToRgb(read.dib), *djpeg), 0) << entry.path;
    ++compared;
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
}  // namespace ravelle::test
