#include "formats/lib/png_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "formats/lib/lib_fixtures.h"

namespace ravelle::test {
namespace {

std::vector<uint8_t> Row(std::initializer_list<int> bytes) { return {bytes.begin(), bytes.end()}; }

// The bit depth and colour type lines of a file's information text.
std::string Kind(const std::filesystem::path& file) {
  const std::string text = ReadPngImage(file, 24).infoText;
  const auto start = text.find("bit depth: ");
  const auto end = text.find("interlace type: ");
  return start == std::string::npos || end == std::string::npos ? text : text.substr(start, end - start);
}

TEST(PngFile, TwoAndFourBitGrayReadWithTheirLevelsAndAreWrittenBackAsGray) {
  TempDir dir;
  // Samples 0, 1, 2, 3 in a 5-pixel row (2-bit: 00 01 10 11 | 00).
  WritePngFixture(dir / "g2.png", {5, 1, 2, PNG_COLOR_TYPE_GRAY, false, {Row({0x1B, 0x00})}});
  const ReadResult g2 = ReadPngImage(dir / "g2.png", 24);
  ASSERT_TRUE(g2.dib);
  EXPECT_EQ(g2.dib.BitCount(), 4);
  ASSERT_EQ(g2.dib.Colors().size(), 4u);
  EXPECT_EQ(g2.dib.Colors()[1], (RgbQuad{72, 72, 72, 0}));
  EXPECT_EQ(g2.dib.Colors()[3], (RgbQuad{200, 200, 200, 0}));
  EXPECT_EQ(g2.dib.Row(0)[0], 0x01);
  EXPECT_EQ(g2.dib.Row(0)[1], 0x23);
  EXPECT_EQ(g2.dib.Row(0)[2], 0x00);
  ASSERT_TRUE(WritePngImage(dir / "g2-out.png", g2.dib, false));
  EXPECT_EQ(Kind(dir / "g2-out.png"), "bit depth: 2 \ncolor type: grayscale \n");
  EXPECT_EQ(DibToRgb(ReadPngImage(dir / "g2-out.png", 24).dib), DibToRgb(g2.dib));

  WritePngFixture(dir / "g4.png", {2, 1, 4, PNG_COLOR_TYPE_GRAY, false, {Row({0x0F})}});
  const ReadResult g4 = ReadPngImage(dir / "g4.png", 24);
  ASSERT_TRUE(g4.dib);
  EXPECT_EQ(g4.dib.Colors()[0].rgbRed, 8);
  EXPECT_EQ(g4.dib.Colors()[15].rgbRed, 248);
  ASSERT_TRUE(WritePngImage(dir / "g4-out.png", g4.dib, false));
  EXPECT_EQ(Kind(dir / "g4-out.png"), "bit depth: 4 \ncolor type: grayscale \n");

  // The even ramp 0, 17, ... 255 steps by 17, so it is kept as a palette.
  ASSERT_TRUE(WritePngImage(dir / "ramp.png", DrawDib(8, 8, 4, Palette::Gray), false));
  EXPECT_EQ(Kind(dir / "ramp.png"), "bit depth: 4 \ncolor type: RGB palette \n");
}

TEST(PngFile, AlphaIsLaidOverWhiteAndSixteenBitsAreStripped) {
  TempDir dir;
  // Half-transparent red, then opaque blue; 8-bit, then 16-bit with a bKGD chunk.
  WritePngFixture(dir / "a8.png", {2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, {Row({255, 0, 0, 128, 0, 0, 255, 255})}});
  WritePngFixture(dir / "a16.png", {2, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, false,
                                    {Row({255, 255, 0, 0, 0, 0, 128, 0, 0, 0, 0, 0, 255, 255, 255, 255})},
                                    {}, {}, {}, true});
  for (const char* name : {"a8.png", "a16.png"}) {
    const ReadResult read = ReadPngImage(dir / name, 24);
    ASSERT_TRUE(read.dib) << name;
    EXPECT_EQ(read.dib.BitCount(), 24);
    const auto row = read.dib.Row(0);
    EXPECT_EQ(row[2], 255) << name;  // red stays
    // Green and blue come half from white, mixed in linear light: 255 × 0.5^(1 / 2.2).
    EXPECT_NEAR(row[1], 186, 1) << name;
    EXPECT_NEAR(row[0], 186, 1) << name;
    EXPECT_EQ(row[3], 255) << name;  // opaque blue: blue, green, red
    EXPECT_EQ(row[4], 0) << name;
  }
  WritePngFixture(dir / "rgb16.png", {1, 1, 16, PNG_COLOR_TYPE_RGB, false, {Row({0x12, 0xFF, 0xAB, 0x01, 0x00, 0x80})}});
  const ReadResult rgb16 = ReadPngImage(dir / "rgb16.png", 24);
  ASSERT_TRUE(rgb16.dib);
  EXPECT_EQ(rgb16.dib.Row(0)[0], 0x00);
  EXPECT_EQ(rgb16.dib.Row(0)[1], 0xAB);
  EXPECT_EQ(rgb16.dib.Row(0)[2], 0x12);
}

TEST(PngFile, GammaLineAndInformationText) {
  TempDir dir;
  WritePngFixture(dir / "srgb.png", {1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {Row({9})}, {}, {}, 0});
  EXPECT_EQ(ReadPngImage(dir / "srgb.png", 24).infoText,
            "image type: PNG \nwidth: 1 \nheight: 1 \nbit depth: 8 \ncolor type: grayscale \ninterlace type: none \n");
  WritePngFixture(dir / "gama.png", {3, 2, 8, PNG_COLOR_TYPE_PALETTE, true, {Row({0, 1, 0}), Row({1, 0, 1})},
                                     {10, 20, 30, 40, 50, 60}, 0.45455});
  const ReadResult gama = ReadPngImage(dir / "gama.png", 24);
  EXPECT_EQ(gama.infoText,
            "image type: PNG \nwidth: 3 \nheight: 2 \nbit depth: 8 \ncolor type: RGB palette \n"
            "interlace type: adam7 \nimage gamma: 0.45 ");
  ASSERT_TRUE(gama.dib);
  EXPECT_EQ(gama.dib.Header().biClrUsed, 2u);
  EXPECT_EQ(gama.dib.Colors()[1], (RgbQuad{60, 50, 40, 0}));
  EXPECT_EQ(gama.dib.Row(1)[1], 1);  // top row, middle pixel

  // A file gamma of 1.0 is corrected for the 2.2 screen: 64 of 255 becomes about 136.
  WritePngFixture(dir / "linear.png", {1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {Row({64})}, {}, 1.0});
  const ReadResult linear = ReadPngImage(dir / "linear.png", 24);
  ASSERT_TRUE(linear.dib);
  EXPECT_NEAR(linear.dib.Row(0)[0], std::lround(255 * std::pow(64 / 255.0, 1 / 2.2)), 1);
}

TEST(PngFile, WriterChoosesDepthAndColourTypeFromTheTable) {
  TempDir dir;
  const struct {
    PackedDib dib;
    const char* kind;
  } cases[] = {
      {DrawDib(9, 4, 4, Palette::Colour, 3), "bit depth: 2 \ncolor type: RGB palette \n"},
      {DrawDib(9, 4, 4, Palette::Colour, 5), "bit depth: 4 \ncolor type: RGB palette \n"},
      {DrawDib(9, 4, 1, Palette::WhiteBlack), "bit depth: 1 \ncolor type: grayscale \n"},
      {DrawDib(9, 4, 8, Palette::Gray), "bit depth: 8 \ncolor type: grayscale \n"},
      {DrawDib(9, 4, 16), "bit depth: 8 \ncolor type: RGB truecolor \n"},
      // Depths the table does not match: indices are read at the bitmap's own depth.
      {DrawDib(9, 4, 1, Palette::Colour, 3), "bit depth: 2 \ncolor type: RGB palette \n"},
      {DrawDib(9, 4, 8, Palette::Colour, 4), "bit depth: 2 \ncolor type: RGB palette \n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WritePngImage(dir / "out.png", c.dib, false));
    EXPECT_EQ(Kind(dir / "out.png"), c.kind);
    EXPECT_EQ(DibToRgb(ReadPngImage(dir / "out.png", 24).dib).rgb, DibToRgb(c.dib).rgb) << c.kind;
  }
  // 1-bit white then black: white pixels (index 0) are written as 1, so they read back as
  // index 1 of the black-then-white gray table.
  const PackedDib wb = DrawDib(9, 4, 1, Palette::WhiteBlack);
  ASSERT_TRUE(WritePngImage(dir / "wb.png", wb, false));
  const ReadResult back = ReadPngImage(dir / "wb.png", 24);
  ASSERT_TRUE(back.dib);
  EXPECT_EQ(back.dib.Colors()[1], (RgbQuad{255, 255, 255, 0}));
  EXPECT_EQ(back.dib.Row(3)[0] >> 7, 1);  // top-left pixel: index 0 (white) in the source

  // A 32-bit bitmap with no alpha in its fourth bytes is written opaque; with alpha it keeps it.
  PackedDib rgbx = DrawDib(9, 4, 32);
  ASSERT_TRUE(WritePngImage(dir / "x.png", rgbx, false));
  EXPECT_EQ(Kind(dir / "x.png"), "bit depth: 8 \ncolor type: RGB truecolor \n");
  rgbx.Row(0)[3] = 128;
  ASSERT_TRUE(WritePngImage(dir / "a.png", rgbx, false));
  EXPECT_EQ(Kind(dir / "a.png"), "bit depth: 8 \ncolor type: RGB; alpha channel \n");
}

TEST(PngFile, EveryDepthRoundTripsPlainAndInterlaced) {
  TempDir dir;
  const struct {
    int bits;
    Palette palette;
    uint32_t colours;
  } cases[] = {{1, Palette::BlackWhite, 0}, {1, Palette::Colour, 0}, {4, Palette::Colour, 0}, {4, Palette::Colour, 3},
               {4, Palette::Gray, 4},       {4, Palette::Gray, 0},   {8, Palette::Colour, 0}, {8, Palette::Gray, 0},
               {16, Palette::Colour, 0},    {24, Palette::Colour, 0}, {32, Palette::Colour, 0}};
  for (const auto& c : cases) {
    PackedDib source = DrawDib(37, 19, c.bits, c.palette, c.colours);
    // Levels as the PNG reader makes them, so that the 2-bit gray form is chosen.
    if (c.bits == 4 && c.palette == Palette::Gray && c.colours == 4) {
      for (std::size_t i = 0; i < 4; ++i) source.Colors()[i] = {static_cast<uint8_t>(64 * i + 8), static_cast<uint8_t>(64 * i + 8), static_cast<uint8_t>(64 * i + 8), 0};
    }
    RgbImage expected = DibToRgb(source);
    if (c.bits == 16) {
      for (uint8_t& v : expected.rgb) v = static_cast<uint8_t>(v & 0xF8);
    }
    for (const bool adam7 : {false, true}) {
      const auto file = dir / "out.png";
      ASSERT_TRUE(WritePngImage(file, source, adam7)) << c.bits;
      const ReadResult read = ReadPngImage(file, 24);
      ASSERT_TRUE(read.dib) << c.bits;
      EXPECT_EQ(DibToRgb(read.dib), expected) << c.bits << " colours " << c.colours << " adam7 " << adam7;
      if (auto magick = DecodeWithImageMagick(file)) {
        // Other decoders spread 2-bit gray samples over 0, 85, 170, 255.
        RgbImage shown = expected;
        if (c.palette == Palette::Gray && c.colours == 4) {
          for (uint8_t& v : shown.rgb) v = static_cast<uint8_t>((v >> 6) * 85);
        }
        EXPECT_EQ(*magick, shown) << c.bits << " colours " << c.colours << " adam7 " << adam7;
      }
    }
  }
  EXPECT_FALSE(WritePngImage(dir / "no-folder" / "x.png", DrawDib(8, 8, 24), false));
  EXPECT_FALSE(std::filesystem::exists(dir / "no-folder"));
}

// --- Conformance ---------------------------------------------------------------------------

// An image as red, green, blue and alpha, from ImageMagick's PAM output.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<double> rgba;  // 0 to 1
};

std::optional<RgbaImage> DecodeRgbaWithImageMagick(const std::filesystem::path& file) {
  if (!HaveProgram("/usr/bin/convert")) return std::nullopt;
  const auto result = RunCommand("/usr/bin/convert " + Quote(file.string() + "[0]") + " -depth 16 pam:- 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  std::istringstream in(result.out);
  std::string word;
  RgbaImage image;
  int depth = 0;
  while (in >> word && word != "ENDHDR") {
    if (word == "WIDTH") in >> image.width;
    if (word == "HEIGHT") in >> image.height;
    if (word == "DEPTH") in >> depth;
  }
  in.get();
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  const std::size_t start = static_cast<std::size_t>(in.tellg());
  if (depth < 1 || depth > 4 || result.out.size() < start + pixels * depth * 2) return std::nullopt;
  const auto* bytes = reinterpret_cast<const uint8_t*>(result.out.data() + start);
  const auto sample = [&](std::size_t i, int c) { return ((bytes[2 * (i * depth + c)] << 8) | bytes[2 * (i * depth + c) + 1]) / 65535.0; };
  for (std::size_t i = 0; i < pixels; ++i) {
    const bool gray = depth <= 2;
    const bool alpha = depth == 2 || depth == 4;
    image.rgba.insert(image.rgba.end(), {sample(i, 0), sample(i, gray ? 0 : 1), sample(i, gray ? 0 : 2),
                                         alpha ? sample(i, depth - 1) : 1.0});
  }
  return image;
}

struct PngFacts {
  int colorType = 0;
  int bitDepth = 0;
  bool srgb = false;
  std::optional<double> gamma;
};

std::optional<PngFacts> ReadFacts(const std::filesystem::path& file) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) {
    png_longjmp(p, 1);
  }, [](png_structp, png_const_charp) {});
  png_infop info = png_create_info_struct(png);
  std::optional<PngFacts> facts;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, in);
    png_read_info(png, info);
    PngFacts f;
    f.colorType = png_get_color_type(png, info);
    f.bitDepth = png_get_bit_depth(png, info);
    int intent = 0;
    double gamma = 0;
    f.srgb = png_get_sRGB(png, info, &intent) != 0;
    if (!f.srgb && png_get_gAMA(png, info, &gamma) != 0) f.gamma = gamma;
    facts = f;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(in);
  return facts;
}

// What the reader is to show for an independent decode: samples corrected for a 2.2 screen
// when the file's gamma asks for it (by more than 5%), alpha laid over white in linear light,
// and 2- and 4-bit gray levels at the middle of their steps.
RgbImage ExpectedPng(const RgbaImage& decoded, const PngFacts& facts) {
  const bool fewGrays = (facts.colorType == 0 || facts.colorType == 4) && facts.bitDepth <= 4;
  const double fileGamma = facts.srgb ? 0.45455 : facts.gamma && !fewGrays ? *facts.gamma : 0.45;
  const double screenGamma = facts.srgb ? 1 / 0.45455 : 2.2;
  const bool corrected = std::abs(fileGamma * screenGamma - 1.0) >= 0.05;
  const bool composite = facts.colorType == 4 || facts.colorType == 6;
  RgbImage out{decoded.width, decoded.height, {}};
  for (std::size_t i = 0; i < decoded.rgba.size(); i += 4) {
    for (int c = 0; c < 3; ++c) {
      const double v = decoded.rgba[i + c];
      double shown = v;
      const double alpha = decoded.rgba[i + 3];
      if (composite && (alpha == 1.0 || alpha == 0.0)) {
        shown = alpha == 0.0 ? 1.0 : std::pow(v, 1 / (fileGamma * screenGamma));
      } else if (composite && facts.bitDepth == 8) {
        // libpng mixes 8-bit files in 8-bit linear samples, through its two tables.
        const long linear = std::lround(255 * std::pow(v, 1 / fileGamma));
        const long a = std::lround(255 * decoded.rgba[i + 3]);
        const long mixed = (linear * a + 255 * (255 - a) + 127) / 255;
        shown = std::pow(mixed / 255.0, 1 / screenGamma);
      } else if (composite) {
        const double a = decoded.rgba[i + 3];
        shown = std::pow(a * std::pow(v, 1 / fileGamma) + (1 - a), 1 / screenGamma);
      } else if (corrected) {
        shown = std::pow(v, 1 / (fileGamma * screenGamma));
      }
      long level = std::lround(255 * shown);
      if (facts.colorType == 0 && facts.bitDepth == 2) level = 64 * std::lround(v * 3) + 8;
      if (facts.colorType == 0 && facts.bitDepth == 4) level = 16 * std::lround(v * 15) + 8;
      out.rgb.push_back(static_cast<uint8_t>(level));
    }
  }
  return out;
}

TEST(PngFile, CorpusConformance) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "PNG") continue;
    const auto file = CorpusDir() / entry.path;
    const ReadResult read = ReadPngImage(file, 24);
    if (read.dib) {
      EXPECT_GE(read.dib.Size(), 40 + read.dib.Stride() * read.dib.Height());
    }
    if (entry.expected != "valid") continue;
    ASSERT_TRUE(read.dib) << entry.path;
    const auto decoded = DecodeRgbaWithImageMagick(file);
    const auto facts = ReadFacts(file);
    if (!decoded || !facts) continue;
    const RgbImage expected = ExpectedPng(*decoded, *facts);
    // libpng keeps the high byte of 16-bit samples where the model rounds, and its 16-bit gamma
    // tables are cut to fewer bits: ±1, and ±2 for 16-bit files it corrects.
    const bool corrected16 = facts->bitDepth == 16 && (facts->gamma || facts->colorType >= 4);
    const int off = MaxDifference(DibToRgb(read.dib), expected);
    EXPECT_TRUE(off >= 0 && off <= (corrected16 ? 2 : 1)) << entry.path << " differs by " << off;
    ++compared;
  }
  EXPECT_GT(compared, 100);
}

}  // namespace
}  // namespace ravelle::test
