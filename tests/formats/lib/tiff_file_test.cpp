#include "formats/lib/tiff_file.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include "formats/lib/lib_fixtures.h"
#include "shell/load.h"

namespace ravelle::test {
namespace {

TiffFixture Gray(uint32_t width, uint32_t height, uint16_t bits, uint16_t photometric, std::vector<uint8_t> pixels) {
  TiffFixture f;
  f.width = width;
  f.height = height;
  f.bits = bits;
  f.photometric = photometric;
  f.pixels = std::move(pixels);
  return f;
}

TEST(TiffFile, BilevelGrayAndPaletteTables) {
  TempDir dir;
  // A fax image, min-is-white: entry 0 is white and the bits are kept.
  TiffFixture fax = Gray(16, 2, 1, PHOTOMETRIC_MINISWHITE, {0xF0, 0x0F, 0x00, 0xFF});
  fax.compression = COMPRESSION_CCITTFAX4;
  WriteTiffFixture(dir / "fax.tif", fax);
  const ReadResult f = ReadTiffImage(dir / "fax.tif");
  ASSERT_TRUE(f.dib);
  EXPECT_EQ(f.dib.BitCount(), 1);
  EXPECT_EQ(f.dib.Colors()[0], (RgbQuad{255, 255, 255, 0}));
  EXPECT_EQ(f.dib.Row(1)[0], 0xF0);  // the first row of the file is the last in memory
  EXPECT_EQ(f.infoText,
            "file type: TIFF \nwidth: 16 \nheight: 2 \nphotometric interpretation: \n     min value is white \n"
            "compression: \n     CCITT Group 4 fax encoding \nbits per sample: 1 \nsamples per pixel: 1 \n"
            "orientation: 1 \nplanar configuration: 1 \nrows per strip: 2 \nnumber of strips: 1");

  WriteTiffFixture(dir / "w8.tif", Gray(2, 1, 8, PHOTOMETRIC_MINISWHITE, {10, 200}));
  const ReadResult w8 = ReadTiffImage(dir / "w8.tif");
  ASSERT_TRUE(w8.dib);
  EXPECT_EQ(w8.dib.Colors()[10].rgbRed, 245);
  EXPECT_EQ(w8.dib.Row(0)[1], 200);

  WriteTiffFixture(dir / "w4.tif", Gray(2, 1, 4, PHOTOMETRIC_MINISWHITE, {0x0F}));
  EXPECT_EQ(ReadTiffImage(dir / "w4.tif").dib.Colors()[0].rgbRed, 248);

  // 16-bit gray shows its high byte; 8-bit gray with an alpha sample its first sample.
  WriteTiffFixture(dir / "g16.tif", Gray(1, 1, 16, PHOTOMETRIC_MINISBLACK, {0x34, 0x12}));
  const ReadResult g16 = ReadTiffImage(dir / "g16.tif");
  ASSERT_TRUE(g16.dib);
  EXPECT_EQ(g16.dib.BitCount(), 8);
  EXPECT_EQ(DibToRgb(g16.dib).rgb[0], 0x12);
  TiffFixture ga = Gray(2, 1, 8, PHOTOMETRIC_MINISBLACK, {50, 255, 60, 0});
  ga.samples = 2;
  ga.extraSamples = EXTRASAMPLE_UNASSALPHA;
  WriteTiffFixture(dir / "ga.tif", ga);
  EXPECT_EQ(DibToRgb(ReadTiffImage(dir / "ga.tif").dib).rgb, (std::vector<uint8_t>{50, 50, 50, 60, 60, 60}));

  // Colour maps: 16-bit values are scaled, maps whose values all stay below 256 taken as 8-bit.
  for (const uint16_t top : {uint16_t{65535}, uint16_t{255}}) {
    TiffFixture pal = Gray(2, 1, 1, PHOTOMETRIC_PALETTE, {0x40});
    pal.colormap = {top, 0, 0, top, 0, 0};  // entry 0 red, entry 1 green
    WriteTiffFixture(dir / "pal.tif", pal);
    const ReadResult p = ReadTiffImage(dir / "pal.tif");
    ASSERT_TRUE(p.dib);
    EXPECT_EQ(DibToRgb(p.dib).rgb, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0})) << top;
  }
}

TEST(TiffFile, CmykInStripsAndTilesContiguousAndPlanar) {
  TempDir dir;
  for (const uint16_t planar : {uint16_t{1}, uint16_t{2}}) {
    for (const uint32_t tile : {0u, 16u}) {
      TiffFixture f;
      f.width = 3;
      f.height = 1;
      f.samples = 4;
      f.photometric = PHOTOMETRIC_SEPARATED;
      f.planar = planar;
      f.tileWidth = f.tileLength = tile;
      // No ink; full black; full cyan.
      const std::vector<uint8_t> pixels = {0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0};
      if (planar == 1) {
        f.pixels = pixels;
      } else {
        for (int plane = 0; plane < 4; ++plane) {
          for (int x = 0; x < 3; ++x) f.pixels.push_back(pixels[4 * x + plane]);
        }
      }
      WriteTiffFixture(dir / "cmyk.tif", f);
      const ReadResult read = ReadTiffImage(dir / "cmyk.tif");
      ASSERT_TRUE(read.dib) << planar << " " << tile;
      EXPECT_EQ(DibToRgb(read.dib).rgb, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 255, 255})) << planar << " " << tile;
    }
  }
}

TEST(TiffFile, InformationLinesAndUnusualLayouts) {
  TempDir dir;
  TiffFixture lzw = Gray(4, 3, 8, PHOTOMETRIC_MINISBLACK, std::vector<uint8_t>(12, 7));
  lzw.compression = COMPRESSION_LZW;
  lzw.predictor = 2;
  WriteTiffFixture(dir / "lzw.tif", lzw);
  const ReadResult l = ReadTiffImage(dir / "lzw.tif");
  ASSERT_TRUE(l.dib);
  EXPECT_NE(l.infoText.find("Lempel-Ziv  & Welch \nbits per sample: 8 \nsamples per pixel: 1 \norientation: 1 \n"
                            "differencing predictor: 2 \nplanar configuration: 1 \nrows per strip: 2 \nnumber of strips: 2"),
            std::string::npos);

  // A hand-made file without RowsPerStrip: 2 x 2 gray, one strip.
  const std::vector<uint8_t> bare = {
      'I', 'I', 42, 0, 8, 0, 0, 0,                      // header, directory at 8
      6, 0,                                             // 6 entries
      0x00, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,         // ImageWidth 2
      0x01, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,         // ImageLength 2
      0x02, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0,         // BitsPerSample 8
      0x06, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,         // Photometric min-is-black
      0x11, 0x01, 4, 0, 1, 0, 0, 0, 86, 0, 0, 0,        // StripOffsets
      0x17, 0x01, 4, 0, 1, 0, 0, 0, 4, 0, 0, 0,         // StripByteCounts
      0, 0, 0, 0,                                       // no next directory
      1, 2, 3, 4};
  WriteBytes(dir / "bare.tif", bare);
  const ReadResult b = ReadTiffImage(dir / "bare.tif");
  ASSERT_TRUE(b.dib);
  EXPECT_TRUE(b.infoText.ends_with(" \nnumber of strips: 1")) << b.infoText;
  EXPECT_EQ(DibToRgb(b.dib).rgb[9], 4);

  // Y/Cb/Cr without JPEG compression goes through the general reader and reads as colour.
  TiffFixture ycc;
  ycc.width = ycc.height = 2;
  ycc.samples = 3;
  ycc.photometric = PHOTOMETRIC_YCBCR;
  ycc.pixels = {255, 128, 128, 0, 128, 128, 255, 128, 128, 0, 128, 128};  // white, black
  ycc.photometric = PHOTOMETRIC_YCBCR;
  WriteTiffFixture(dir / "ycc.tif", ycc);
  const ReadResult y = ReadTiffImage(dir / "ycc.tif");
  ASSERT_TRUE(y.dib);
  EXPECT_EQ(y.dib.BitCount(), 24);
  EXPECT_EQ(DibToRgb(y.dib).rgb, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0}));

  // Orientation 6 on a 100 x 50 image is shown 50 wide and 100 high, the first row of the file
  // becoming its right-hand column.
  TiffFixture turned = Gray(100, 50, 8, PHOTOMETRIC_MINISBLACK, std::vector<uint8_t>(5000, 0));
  turned.orientation = 6;
  turned.pixels[0] = 200;  // first row, first pixel: the top right corner once upright
  WriteTiffFixture(dir / "turned.tif", turned);
  const ReadResult t = ReadTiffImage(dir / "turned.tif");
  ASSERT_TRUE(t.dib);
  EXPECT_EQ(t.dib.Width(), 50);
  EXPECT_EQ(t.dib.Height(), 100);
  EXPECT_EQ(t.dib.Row(99)[49], 200);

  WriteBytes(dir / "junk.tif", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_FALSE(ReadTiffImage(dir / "junk.tif").dib);
}

TEST(TiffFile, WriterLayoutTagsAndTileSizes) {
  TempDir dir;
  const auto write = [&](const PackedDib& dib, int compression, bool tiles) {
    const auto file = dir / "out.tif";
    EXPECT_TRUE(WriteTiffImage(file, compression, tiles, dib));
    return file;
  };
  auto file = write(DrawDib(9, 4, 1, Palette::WhiteBlack), 4, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_PHOTOMETRIC), 0u);
  EXPECT_EQ(TiffTag(file, TIFFTAG_BITSPERSAMPLE), 1u);

  PackedDib redBlue = DrawDib(9, 4, 1);
  redBlue.Colors()[0] = {0, 0, 255, 0};
  redBlue.Colors()[1] = {255, 0, 0, 0};
  file = write(redBlue, 1, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_PHOTOMETRIC), 3u);
  EXPECT_EQ(TiffTag(file, TIFFTAG_BITSPERSAMPLE), 4u);
  EXPECT_EQ(DibToRgb(ReadTiffImage(file).dib), DibToRgb(redBlue));

  PackedDib levels = DrawDib(9, 4, 4, Palette::Gray);
  for (std::size_t i = 0; i < 16; ++i) {
    const auto v = static_cast<uint8_t>(16 * i + 8);
    levels.Colors()[i] = {v, v, v, 0};
  }
  file = write(levels, 1, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_PHOTOMETRIC), 1u);
  EXPECT_EQ(DibToRgb(ReadTiffImage(file).dib), DibToRgb(levels));
  file = write(DrawDib(9, 4, 4, Palette::Gray), 1, false);  // 0, 17, ... 255: a palette
  EXPECT_EQ(TiffTag(file, TIFFTAG_PHOTOMETRIC), 3u);

  file = write(DrawDib(9, 4, 8, Palette::Gray), 5, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_PHOTOMETRIC), 1u);
  EXPECT_FALSE(TiffTag(file, TIFFTAG_PREDICTOR).has_value());
  file = write(DrawDib(9, 4, 24), 32946, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_PREDICTOR), 2u);
  file = write(DrawDib(9, 4, 16), 1, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_SAMPLESPERPIXEL), 3u);
  EXPECT_EQ(TiffTag(file, TIFFTAG_BITSPERSAMPLE), 8u);
  file = write(DrawDib(9, 4, 1, Palette::BlackWhite), 7, false);
  EXPECT_EQ(TiffTag(file, TIFFTAG_PHOTOMETRIC), 6u);
  EXPECT_EQ(TiffTag(file, TIFFTAG_SAMPLESPERPIXEL), 3u);

  for (const auto& [width, tile] : {std::pair{100, 112u}, std::pair{10, 32u}, std::pair{1000, 256u}}) {
    file = write(DrawDib(width, 3, 8), 1, true);
    EXPECT_EQ(TiffTag(file, TIFFTAG_TILEWIDTH), tile) << width;
    EXPECT_EQ(TiffTag(file, TIFFTAG_TILELENGTH), 32u);
  }

  // The fax compressions take only black-and-white images; a refused write leaves no file.
  EXPECT_FALSE(WriteTiffImage(dir / "g4.tif", 4, false, DrawDib(9, 4, 24)));
  EXPECT_FALSE(std::filesystem::exists(dir / "g4.tif"));
}

TEST(TiffFile, EveryCompressionAndDepthRoundTripsInStripsAndTiles) {
  TempDir dir;
  const struct {
    int bits;
    Palette palette;
  } depths[] = {{1, Palette::BlackWhite}, {1, Palette::WhiteBlack}, {1, Palette::Colour}, {4, Palette::Colour},
                {4, Palette::Gray},       {8, Palette::Colour},     {8, Palette::Gray},   {16, Palette::Colour},
                {24, Palette::Colour},    {32, Palette::Colour}};
  for (const int compression : {1, 2, 3, 4, 5, 7, 32773, 32946}) {
    const bool fax = compression >= 2 && compression <= 4;
    for (const auto& d : depths) {
      const bool blackWhite = d.bits == 1 && d.palette != Palette::Colour;
      if (fax && !blackWhite) continue;
      for (const bool tiles : {false, true}) {
        const PackedDib source = DrawDib(45, 37, d.bits, d.palette);
        const auto file = dir / "out.tif";
        ASSERT_TRUE(WriteTiffImage(file, compression, tiles, source)) << compression << " " << d.bits;
        RgbImage expected = DibToRgb(source);
        if (d.bits == 16) {
          for (uint8_t& v : expected.rgb) v = static_cast<uint8_t>(v & 0xF8);
        }
        const ReadResult read = ReadTiffImage(file);
        ASSERT_TRUE(read.dib) << compression << " " << d.bits;
        const auto other = DecodeWithTiff2Rgba(file);
        const std::string what = std::to_string(compression) + " bits " + std::to_string(d.bits) + (tiles ? " tiles" : "");
        if (compression == 7) {
          EXPECT_LT(MeanDifference(DibToRgb(read.dib), expected), 10.0) << what;
          if (other) {
            EXPECT_LE(MaxDifference(*other, DibToRgb(read.dib)), 2) << what;
          }
        } else {
          EXPECT_EQ(DibToRgb(read.dib), expected) << what;
          if (other) {
            EXPECT_EQ(*other, expected) << what;
          }
        }
      }
    }
  }
}

TEST(TiffFile, MacBinaryTiffIsReadThroughATemporaryCopy) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffImage(dir / "plain.tif", 5, false, DrawDib(12, 7, 24)));
  std::vector<uint8_t> bytes(128, 0);
  const auto tiff = ReadBytes(dir / "plain.tif");
  bytes.insert(bytes.end(), tiff.begin(), tiff.end());
  WriteBytes(dir / "mac.bin", bytes);
  EXPECT_EQ(DecideFileType(bytes, "bin").type, FileType::MacBinaryTiff);
  const ReadResult read =
      ReadWithoutMacBinaryHeader(dir / "mac.bin", [](const std::filesystem::path& copy) { return ReadTiffImage(copy); });
  ASSERT_TRUE(read.dib);
  EXPECT_EQ(DibToRgb(read.dib), DibToRgb(DrawDib(12, 7, 24)));
}

std::optional<RgbImage> DecodeUpright(const std::filesystem::path& file) {
  if (!HaveProgram("/usr/bin/convert")) return std::nullopt;
  return ParsePpm(RunCommand("/usr/bin/convert " + Quote(file.string() + "[0]") + " -auto-orient -depth 8 ppm:- 2>/dev/null").out);
}

// Valid corpus files are read; where their layout is one the reader converts itself, or the
// general reader takes, the pixels are those of tiff2rgba (or ImageMagick for turned images).
TEST(TiffFile, CorpusConformance) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "TIFF") continue;
    const auto file = CorpusDir() / entry.path;
    const ReadResult read = ReadTiffImage(file);
    if (entry.expected != "valid") continue;
    const auto other = DecodeWithTiff2Rgba(file);
    if (!read.dib) {
      // Only what libtiff itself cannot turn into pixels (12-bit, floating point, a missing
      // codec) may give no image.
      EXPECT_FALSE(other.has_value() && other->width > 0) << entry.path;
      continue;
    }
    const auto orientation = TiffTag(file, TIFFTAG_ORIENTATION).value_or(1);
    const auto reference = orientation == 1 ? other : DecodeUpright(file);
    if (!reference || entry.variant.find("CMYK") != std::string::npos) continue;
    const auto alpha = TiffTag(file, TIFFTAG_EXTRASAMPLES);
    if (alpha) continue;  // the general reader premultiplies what the direct path keeps apart
    RgbImage expected = *reference;
    const auto photometric = TiffTag(file, TIFFTAG_PHOTOMETRIC).value_or(1);
    const auto bits = TiffTag(file, TIFFTAG_BITSPERSAMPLE).value_or(1);
    // 4-bit gray levels sit in the middle of their steps here (8, 24, ... 248).
    if (photometric <= 1 && bits == 4) {
      for (uint8_t& v : expected.rgb) v = static_cast<uint8_t>(16 * (v / 17) + 8);
    }
    // Colour maps are scaled by v × 255 / 65535 (truncating) where libtiff rounds.
    const int tolerance = TiffTag(file, TIFFTAG_COMPRESSION).value_or(1) == 7 ? 2 : photometric == 3 ? 1 : 0;
    const int off = MaxDifference(DibToRgb(read.dib), expected);
    EXPECT_TRUE(off >= 0 && off <= tolerance) << entry.path << " differs by " << off;
    ++compared;
  }
  EXPECT_GT(compared, 60);
}

}  // namespace
}  // namespace ravelle::test
