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

TEST(TiffFile, GrayPaletteCmykAndYccLayoutsReadAsTheirColours) {
  TempDir dir;
  std::vector<std::pair<TiffFixture, std::vector<uint8_t>>> cases = {
      // Min-is-white gray is inverted; 4-bit levels sit in the middle of their steps.
      {Gray(2, 1, 8, PHOTOMETRIC_MINISWHITE, {10, 200}), {245, 245, 245, 55, 55, 55}},
      {Gray(2, 1, 4, PHOTOMETRIC_MINISWHITE, {0x0F}), {248, 248, 248, 8, 8, 8}},
      // Gray with an alpha sample shows its first sample (the corpus skips alpha files).
      {{.width = 2, .bits = 8, .samples = 2, .photometric = PHOTOMETRIC_MINISBLACK, .pixels = {50, 255, 60, 0},
        .extraSamples = EXTRASAMPLE_UNASSALPHA}, {50, 50, 50, 60, 60, 60}},
      // CIE L*a*b* from the D50 white to sRGB: L* 100 white, the L*a*b* of sRGB red, L* 0 black.
      {{.width = 3, .bits = 8, .samples = 3, .photometric = PHOTOMETRIC_CIELAB, .pixels = {255, 0, 0, 138, 81, 70, 0, 0, 0}},
       {255, 255, 255, 255, 0, 0, 0, 0, 0}},
  };
  // A colour map whose values all stay below 256 is taken as 8-bit: entry 0 red, entry 1 green.
  TiffFixture palette = Gray(2, 1, 1, PHOTOMETRIC_PALETTE, {0x40});
  palette.colormap = {255, 0, 0, 255, 0, 0};
  cases.push_back({palette, {255, 0, 0, 0, 255, 0}});
  // CMYK, which the corpus comparison skips, in strips and tiles, contiguous and planar: no ink,
  // full black, full cyan.
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

// Orientation 6 turns the picture and its preview frame: 3 x 2 as stored, 2 x 3 as shown (the
// corpus comparison checks the pixels of every orientation).
TEST(TiffFile, OrientationTurnsThePreviewFrameToo) {
  TempDir dir;
  TiffFixture turned = Gray(3, 2, 8, PHOTOMETRIC_MINISBLACK, std::vector<uint8_t>(6, 0));
  turned.orientation = 6;
  WriteTiffFixture(dir / "turned.tif", turned);
  const ReadResult t = ReadTiffImage(dir / "turned.tif");
  ASSERT_TRUE(t.dib && t.frame);
  EXPECT_EQ(t.dib.Width(), 2);
  EXPECT_EQ(t.frame->width, 2);
  EXPECT_EQ(t.frame->height, 3);
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

// The tags the writer chooses (its pixels are compared in the writer round trip).
TEST(TiffFile, WriterChoosesPhotometricAndPredictor) {
  TempDir dir;
  PackedDib redBlue = DrawDib(9, 4, 1);
  redBlue.Colors()[0] = {0, 0, 255, 0};
  redBlue.Colors()[1] = {255, 0, 0, 0};
  const struct {
    PackedDib dib;
    int compression;
    std::vector<std::pair<uint32_t, uint32_t>> tags;
  } cases[] = {
      {DrawDib(9, 4, 1, Palette::WhiteBlack), 4, {{TIFFTAG_PHOTOMETRIC, 0}, {TIFFTAG_BITSPERSAMPLE, 1}}},
      {redBlue.Clone(), 1, {{TIFFTAG_PHOTOMETRIC, 3}, {TIFFTAG_BITSPERSAMPLE, 4}}},
      {ReaderGrays(9, 4, 16), 1, {{TIFFTAG_PHOTOMETRIC, 1}}},
      {DrawDib(9, 4, 4, Palette::Gray), 1, {{TIFFTAG_PHOTOMETRIC, 3}}},  // 0, 17, ... 255: a palette
      {DrawDib(9, 4, 8, Palette::Gray), 5, {{TIFFTAG_PHOTOMETRIC, 1}}},
      {DrawDib(9, 4, 24), 32946, {{TIFFTAG_PREDICTOR, 2}}},
      {DrawDib(9, 4, 16), 1, {{TIFFTAG_SAMPLESPERPIXEL, 3}, {TIFFTAG_BITSPERSAMPLE, 8}}},
      {DrawDib(9, 4, 1, Palette::BlackWhite), 7, {{TIFFTAG_PHOTOMETRIC, 6}, {TIFFTAG_SAMPLESPERPIXEL, 3}}},
  };
  const auto file = dir / "out.tif";
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteTiffImage(file, c.compression, false, c.dib));
    for (const auto& [tag, value] : c.tags) EXPECT_EQ(TiffTag(file, tag), value) << "tag " << tag << " compression " << c.compression;
  }
  ASSERT_TRUE(WriteTiffImage(file, 5, false, DrawDib(9, 4, 8, Palette::Gray)));
  EXPECT_FALSE(TiffTag(file, TIFFTAG_PREDICTOR).has_value());
}

// Several tiles across and down (the round trip's images are one tile high), at 1 bit too:
// every tile lands in its own place.
TEST(TiffFile, TilesAcrossAndDownRoundTrip) {
  TempDir dir;
  for (const int bits : {1, 8, 24}) {
    const PackedDib source = DrawDib(600, 300, bits, bits == 1 ? Palette::BlackWhite : Palette::Colour);
    ASSERT_TRUE(WriteTiffImage(dir / "tiles.tif", 5, true, source));
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

}  // namespace
}  // namespace ravelle::test
