#include "formats/lib/tiff_file.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include "formats/lib/lib_fixtures.h"
#include "image/output_file.h"
#include "shell/load.h"

namespace ravelle::test {
namespace {

TiffFixture Gray(uint32_t width, uint32_t height, uint16_t bits, uint16_t photometric, std::vector<uint8_t> pixels) {
  return {.width = width, .height = height, .bits = bits, .photometric = photometric, .pixels = std::move(pixels)};
}

// A little-endian file of one gray strip without RowsPerStrip, its directory first: the strip
// may be said to hold more bytes than follow it.
std::vector<uint8_t> BareTiff(uint16_t width, uint16_t height, uint16_t bits, uint32_t stripBytes,
                              const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0, 6, 0};  // header, directory at 8 with 6 entries
  const auto entry = [&b](uint16_t tag, uint16_t type, uint32_t value) {
    AppendU16le(b, tag), AppendU16le(b, type), AppendU32le(b, 1), AppendU32le(b, value);
  };
  entry(256, 3, width), entry(257, 3, height), entry(258, 3, bits), entry(262, 3, PHOTOMETRIC_MINISBLACK);
  entry(273, 4, 86), entry(279, 4, stripBytes);  // the strip's offset and size
  AppendU32le(b, 0);                             // no next directory
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(TiffFile, ExactInformationText) {
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
  ASSERT_TRUE(WriteTiffImage(dir / "tiles.tif", 5, true, DrawDib(20, 10, 24)));
  EXPECT_EQ(ReadTiffImage(dir / "tiles.tif").infoText,
            "file type: TIFF \nwidth: 20 \nheight: 10 \nphotometric interpretation: \n     RGB color model \n"
            "compression: \n     Lempel-Ziv  & Welch \nbits per sample: 8 \nsamples per pixel: 3 \norientation: 1 \n"
            "differencing predictor: 2 \nplanar configuration: 1 \ntile width: 32 \ntile height: 32");
  // A hand-made file without RowsPerStrip: 2 x 2 gray, one strip.
  WriteBytes(dir / "bare.tif", BareTiff(2, 2, 8, 4, {1, 2, 3, 4}));
  const ReadResult b = ReadTiffImage(dir / "bare.tif");
  ASSERT_TRUE(b.dib);
  EXPECT_TRUE(b.infoText.ends_with(" \nnumber of strips: 1")) << b.infoText;
  EXPECT_EQ(DibToRgb(b.dib).rgb[9], 4);
}

TEST(TiffFile, GrayPaletteCmykAndYccLayoutsReadAsTheirColours) {
  TempDir dir;
  std::vector<std::pair<TiffFixture, std::vector<uint8_t>>> cases = {
      // Min-is-white gray is inverted; 4-bit levels sit in the middle of their steps.
      {Gray(2, 1, 8, PHOTOMETRIC_MINISWHITE, {10, 200}), {245, 245, 245, 55, 55, 55}},
      {Gray(2, 1, 4, PHOTOMETRIC_MINISWHITE, {0x0F}), {248, 248, 248, 8, 8, 8}},
      // 16-bit gray shows its high byte; gray with an alpha sample its first sample.
      {Gray(1, 1, 16, PHOTOMETRIC_MINISBLACK, {0x34, 0x12}), {0x12, 0x12, 0x12}},
      {{.width = 2, .bits = 8, .samples = 2, .photometric = PHOTOMETRIC_MINISBLACK, .pixels = {50, 255, 60, 0},
        .extraSamples = EXTRASAMPLE_UNASSALPHA}, {50, 50, 50, 60, 60, 60}},
      // CIE L*a*b* from the D50 white to sRGB: L* 100 white, the L*a*b* of sRGB red, L* 0 black.
      {{.width = 3, .bits = 8, .samples = 3, .photometric = PHOTOMETRIC_CIELAB, .pixels = {255, 0, 0, 138, 81, 70, 0, 0, 0}},
       {255, 255, 255, 255, 0, 0, 0, 0, 0}},
      // 12-bit gray (0xFFF, 0x800): the high 8 bits.
      {Gray(2, 1, 12, PHOTOMETRIC_MINISBLACK, {0xFF, 0xF8, 0x00}), {255, 255, 255, 128, 128, 128}},
      // Y/Cb/Cr without JPEG compression goes through the general reader: white, black.
      {{.width = 2, .bits = 8, .samples = 3, .photometric = PHOTOMETRIC_YCBCR, .pixels = {255, 128, 128, 0, 128, 128}},
       {255, 255, 255, 0, 0, 0}},
  };
  // Colour maps: 16-bit values are scaled, maps whose values all stay below 256 taken as 8-bit.
  for (const uint16_t top : {uint16_t{65535}, uint16_t{255}}) {
    TiffFixture palette = Gray(2, 1, 1, PHOTOMETRIC_PALETTE, {0x40});
    palette.colormap = {top, 0, 0, top, 0, 0};  // entry 0 red, entry 1 green
    cases.push_back({palette, {255, 0, 0, 0, 255, 0}});
  }
  // CMYK in strips and tiles, contiguous and planar: no ink, full black, full cyan.
  const std::vector<uint8_t> shown = {255, 255, 255, 0, 0, 0, 0, 255, 255};
  for (const uint32_t tile : {0u, 16u}) {
    // 16-bit samples (in the file's byte order, here little-endian) by their high bytes.
    TiffFixture wide{.width = 3, .bits = 16, .samples = 4, .photometric = PHOTOMETRIC_SEPARATED, .tileWidth = tile,
                     .tileLength = tile, .pixels = std::vector<uint8_t>(24, 0)};
    wide.pixels[15] = wide.pixels[17] = 0xFF;
    cases.push_back({wide, shown});
    TiffFixture cmyk{.width = 3, .bits = 8, .samples = 4, .photometric = PHOTOMETRIC_SEPARATED, .tileWidth = tile,
                     .tileLength = tile, .pixels = {0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0}};
    cases.push_back({cmyk, shown});
    cmyk.planar = PLANARCONFIG_SEPARATE;
    cmyk.pixels = {0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0};  // plane by plane
    cases.push_back({cmyk, shown});
  }
  for (const auto& [fixture, rgb] : cases) {
    WriteTiffFixture(dir / "in.tif", fixture);
    const ReadResult read = ReadTiffImage(dir / "in.tif");
    ASSERT_TRUE(read.dib) << fixture.photometric;
    EXPECT_EQ(DibToRgb(read.dib).rgb, rgb) << "photometric " << fixture.photometric << " planar " << fixture.planar;
    EXPECT_TRUE(fixture.samples < 3 || read.dib.BitCount() == 24) << fixture.photometric;  // colour stays colour
  }
}

TEST(TiffFile, OrientationIsTurnedUprightAndJunkGivesNoImage) {
  TempDir dir;
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
  ASSERT_TRUE(t.frame);
  EXPECT_EQ(t.frame->width, 50);  // the preview frame is the picture's as shown

  WriteBytes(dir / "junk.tif", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_FALSE(ReadTiffImage(dir / "junk.tif").dib);

  // Layouts that nothing reads are named, for ravelle-cli.
  const std::pair<TiffFixture, const char*> refused[] = {
      {{.bits = 32, .pixels = std::vector<uint8_t>(4), .sampleFormat = SAMPLEFORMAT_IEEEFP}, "32-bit floating-point samples"},
      {{.bits = 16, .samples = 3, .photometric = PHOTOMETRIC_RGB, .pixels = std::vector<uint8_t>(6),
        .sampleFormat = SAMPLEFORMAT_IEEEFP}, "16-bit floating-point samples"},
      {{.bits = 32, .pixels = std::vector<uint8_t>(4), .sampleFormat = SAMPLEFORMAT_INT}, "32-bit signed integer samples"},
  };
  for (const auto& [fixture, reason] : refused) {
    WriteTiffFixture(dir / "refused.tif", fixture);
    const ReadResult r = ReadTiffImage(dir / "refused.tif");
    EXPECT_FALSE(r.dib) << reason;
    EXPECT_EQ(r.status, ReadStatus::Unsupported) << reason;
    EXPECT_TRUE(!r.diagnostics.empty() && r.diagnostics.back() == std::string("unsupported TIFF: ") + reason) << reason;
  }
}

// A large header with one row of data, read directly (8 bits) and through the general reader
// (2 bits): reading stops with the data and leaves the rest of the image's block untouched.
TEST(TiffFile, RowsTheDataDoesNotReachAreLeftAsAllocated) {
  TempDir dir;
  for (const uint16_t bits : {8, 2}) {
    const uint16_t width = 8192 * 8 / bits > 65535 ? 32768 : static_cast<uint16_t>(8192 * 8 / bits);
    const uint32_t rowBytes = uint32_t{width} * bits / 8;
    WriteBytes(dir / "short.tif", BareTiff(width, 8192, bits, rowBytes * 8192, std::vector<uint8_t>(rowBytes, 0x55)));
    const ReadResult read = ReadTiffImage(dir / "short.tif");
    ASSERT_TRUE(read.dib) << bits;
    EXPECT_LT(TouchedShare(read.dib), 0.25) << bits;
    EXPECT_LT(read.diagnostics.size(), 10u) << bits;
  }
}

TEST(TiffFile, WriterChoosesPhotometricPredictorAndTileSize) {
  TempDir dir;
  PackedDib redBlue = DrawDib(9, 4, 1);
  redBlue.Colors()[0] = {0, 0, 255, 0};
  redBlue.Colors()[1] = {255, 0, 0, 0};
  const struct {
    PackedDib dib;
    int compression;
    uint32_t tag, value;
  } cases[] = {
      {DrawDib(9, 4, 1, Palette::WhiteBlack), 4, TIFFTAG_PHOTOMETRIC, 0},
      {DrawDib(9, 4, 1, Palette::WhiteBlack), 4, TIFFTAG_BITSPERSAMPLE, 1},
      {redBlue.Clone(), 1, TIFFTAG_PHOTOMETRIC, 3},
      {redBlue.Clone(), 1, TIFFTAG_BITSPERSAMPLE, 4},
      {ReaderGrays(9, 4, 16), 1, TIFFTAG_PHOTOMETRIC, 1},
      {DrawDib(9, 4, 4, Palette::Gray), 1, TIFFTAG_PHOTOMETRIC, 3},  // 0, 17, ... 255: a palette
      {DrawDib(9, 4, 8, Palette::Gray), 5, TIFFTAG_PHOTOMETRIC, 1},
      {DrawDib(9, 4, 24), 32946, TIFFTAG_PREDICTOR, 2},
      {DrawDib(9, 4, 16), 1, TIFFTAG_SAMPLESPERPIXEL, 3},
      {DrawDib(9, 4, 16), 1, TIFFTAG_BITSPERSAMPLE, 8},
      {DrawDib(9, 4, 1, Palette::BlackWhite), 7, TIFFTAG_PHOTOMETRIC, 6},
      {DrawDib(9, 4, 1, Palette::BlackWhite), 7, TIFFTAG_SAMPLESPERPIXEL, 3},
  };
  const auto file = dir / "out.tif";
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteTiffImage(file, c.compression, false, c.dib));
    EXPECT_EQ(TiffTag(file, c.tag), c.value) << "tag " << c.tag << " compression " << c.compression;
    EXPECT_TRUE(c.compression == 7 || DibToRgb(ReadTiffImage(file).dib) == AsWritten(c.dib)) << c.compression;
  }
  ASSERT_TRUE(WriteTiffImage(file, 5, false, DrawDib(9, 4, 8, Palette::Gray)));
  EXPECT_FALSE(TiffTag(file, TIFFTAG_PREDICTOR).has_value());
  for (const auto& [width, tile] : {std::pair{100, 112u}, std::pair{10, 32u}, std::pair{1000, 256u}}) {
    ASSERT_TRUE(WriteTiffImage(file, 1, true, DrawDib(width, 3, 8)));
    EXPECT_EQ(TiffTag(file, TIFFTAG_TILEWIDTH), tile) << width;
    EXPECT_EQ(TiffTag(file, TIFFTAG_TILELENGTH), 32u);
  }
  // The fax compressions take only black-and-white images; a refused write leaves no file.
  EXPECT_FALSE(WriteTiffImage(dir / "g4.tif", 4, false, DrawDib(9, 4, 24)));
  EXPECT_FALSE(std::filesystem::exists(dir / "g4.tif"));
}

// Images of several tiles across and down: every tile lands in its own place.
TEST(TiffFile, TilesAcrossAndDownRoundTrip) {
  TempDir dir;
  for (const int bits : {1, 8, 24}) {
    const PackedDib source = DrawDib(600, 300, bits, bits == 1 ? Palette::BlackWhite : Palette::Colour);
    ASSERT_TRUE(WriteTiffImage(dir / "tiles.tif", 5, true, source));
    EXPECT_LT(TiffTag(dir / "tiles.tif", TIFFTAG_TILEWIDTH).value_or(600), 300u);
    const ReadResult read = ReadTiffImage(dir / "tiles.tif");
    ASSERT_TRUE(read.dib);
    EXPECT_EQ(DibToRgb(read.dib), AsWritten(source)) << bits;
    EXPECT_TRUE(read.diagnostics.empty());
  }
}

TEST(TiffFile, MacBinaryTiffIsReadThroughATemporaryCopyThatIsThenRemoved) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffImage(dir / "plain.tif", 5, false, DrawDib(12, 7, 24)));
  std::vector<uint8_t> bytes(128, 0xEE);
  const auto tiff = ReadBytes(dir / "plain.tif");
  bytes.insert(bytes.end(), tiff.begin(), tiff.end());
  WriteBytes(dir / "mac.bin", bytes);
  std::filesystem::path copy;
  const ReadResult read = ReadWithoutMacBinaryHeader(dir / "mac.bin", [&](const std::filesystem::path& path) {
    copy = path;
    EXPECT_EQ(ReadBytes(path), tiff);
    return ReadTiffImage(path);
  });
  ASSERT_TRUE(read.dib);
  EXPECT_EQ(DibToRgb(read.dib), DibToRgb(DrawDib(12, 7, 24)));
  EXPECT_FALSE(copy.empty());
  EXPECT_FALSE(std::filesystem::exists(copy));
}

// Whole strips give what row-by-row reading gives: the pixels, the text and the library's
// messages, for damaged files (cut in the middle of a strip) too, and for every corpus file.
TEST(TiffFile, WholeStripsReadAsRowByRow) {
  TempDir dir;
  std::vector<std::filesystem::path> files;
  for (const int compression : {1, 5, 7, 32773, 32946}) {
    for (const int bits : {1, 8, 24, 32}) {
      const auto file = dir / Format("c%d-%d.tif", compression, bits);
      ASSERT_TRUE(WriteTiffImage(file, compression, false, DrawDib(301, 203, bits)));
      std::vector<uint8_t> bytes = ReadBytes(file);
      files.push_back(file);
      // The strips lie before the directory: cutting a third out of the middle damages them.
      bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 3),
                  bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 2 / 3));
      files.push_back(dir / Format("cut%d-%d.tif", compression, bits));
      WriteBytes(files.back(), bytes);
    }
  }
  TiffFixture planes = {.width = 3, .height = 5, .samples = 3, .photometric = PHOTOMETRIC_RGB, .planar = 2};
  for (int i = 0; i < 45; ++i) planes.pixels.push_back(static_cast<uint8_t>(i * 5));
  files.push_back(dir / "planes.tif");
  WriteTiffFixture(files.back(), planes);
  if (HaveCorpus()) {
    for (const CorpusEntry& entry : CorpusManifest()) {
      if (entry.format == "TIFF") files.push_back(CorpusDir() / entry.path);
    }
  }
  for (const auto& file : files) {
    const ReadResult whole = ReadTiffImage(file);
    const ReadResult rows = ReadTiffImage(file, TiffStrips::RowByRow);
    EXPECT_EQ(whole.status, rows.status) << file;
    EXPECT_EQ(whole.infoText, rows.infoText) << file;
    EXPECT_EQ(whole.diagnostics, rows.diagnostics) << file;
    ASSERT_EQ(static_cast<bool>(whole.dib), static_cast<bool>(rows.dib)) << file;
    if (whole.dib) {
      EXPECT_TRUE(std::ranges::equal(whole.dib.Bytes(), rows.dib.Bytes())) << file;
    }
  }
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
      // Only what libtiff itself cannot turn into pixels (floating point, a missing codec) may
      // give no image, and the reason is named.
      EXPECT_FALSE(other.has_value() && other->width > 0) << entry.path;
      EXPECT_EQ(read.status, ReadStatus::Unsupported) << entry.path;
      EXPECT_TRUE(!read.diagnostics.empty() && read.diagnostics.back().starts_with("unsupported TIFF: ")) << entry.path;
      continue;
    }
    const auto orientation = TiffTag(file, TIFFTAG_ORIENTATION).value_or(1);
    const auto photometric = TiffTag(file, TIFFTAG_PHOTOMETRIC).value_or(1);
    const auto bits = TiffTag(file, TIFFTAG_BITSPERSAMPLE).value_or(1);
    // libtiff's general reader takes L*a*b* as relative to another white and cannot read 12-bit
    // samples: ImageMagick is the reference for those. It does not adapt the white either, so
    // L*a*b* pictures agree only on the whole (their white, black and primaries exactly).
    const bool lab = photometric == PHOTOMETRIC_CIELAB;
    const auto reference = orientation == 1 && other && !lab
                               ? other
                               : DecodeWithImageMagick(file.string() + "[0]", lab ? "-colorspace sRGB" : "-auto-orient");
    if (!reference || entry.variant.find("CMYK") != std::string::npos) continue;
    const auto alpha = TiffTag(file, TIFFTAG_EXTRASAMPLES);
    if (alpha) continue;  // the general reader premultiplies what the direct path keeps apart
    RgbImage expected = *reference;
    if (lab) {
      EXPECT_LT(MeanDifference(DibToRgb(read.dib), expected), 3.0) << entry.path;
      ++compared;
      continue;
    }
    // 4-bit gray levels sit in the middle of their steps here (8, 24, ... 248).
    if (photometric <= 1 && bits == 4) {
      for (uint8_t& v : expected.rgb) v = static_cast<uint8_t>(16 * (v / 17) + 8);
    }
    // Colour maps are scaled by v × 255 / 65535 (truncating) where libtiff rounds.
    // 12-bit samples keep their high bits where ImageMagick rounds.
    const int tolerance = TiffTag(file, TIFFTAG_COMPRESSION).value_or(1) == 7 ? 2 : photometric == 3 || bits == 12 ? 1 : 0;
    EXPECT_TRUE(SameImage(DibToRgb(read.dib), expected, tolerance)) << entry.path;
    ++compared;
  }
  EXPECT_GT(compared, 60);
}

}  // namespace
}  // namespace ravelle::test
