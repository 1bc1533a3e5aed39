#include "formats/lib/jpeg_file.h"
#include "formats/lib/png_file.h"
#include "formats/lib/tiff_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "formats/lib/lib_fixtures.h"

namespace ravelle::test {
namespace {

// A picture of a corpus file and its reference, compared sample by sample within `tolerance`
// or, `onTheWhole`, by their mean difference.
struct Compared {
  RgbImage ours, theirs;
  int tolerance = 0;
  bool onTheWhole = false;
};

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

// The reader's picture of a valid PNG: the model of it laid on ImageMagick's decode. libpng keeps
// the high byte of 16-bit samples where the model rounds, and its 16-bit gamma tables are cut to
// fewer bits: ±1, and ±2 for 16-bit files it corrects.
std::optional<Compared> PngPicture(const CorpusEntry& entry, const std::filesystem::path& file) {
  const ReadResult read = ReadPngImage(file, 24);
  if (read.dib) {
    EXPECT_GE(read.dib.Size(), 40 + read.dib.Stride() * read.dib.Height());
  }
  if (entry.expected != "valid") return {};
  EXPECT_TRUE(read.dib);
  const auto decoded = DecodeRgbaWithImageMagick(file);
  const auto facts = ReadFacts(file);
  if (!read.dib || !decoded || !facts) return {};
  const bool corrected16 = facts->bitDepth == 16 && (facts->gamma || facts->colorType >= 4);
  return Compared{DibToRgb(read.dib), ExpectedPng(*decoded, *facts), corrected16 ? 2 : 1};
}

// djpeg's pixels at its defaults.
std::optional<Compared> JpegPicture(const CorpusEntry& entry, const std::filesystem::path& file) {
  const ReadResult read = ReadJpegImage(file, 24);
  if (read.dib) {
    EXPECT_EQ(read.dib.Size(), 40 + 4 * read.dib.Colors().size() + read.dib.Stride() * read.dib.Height());
  }
  // Over the size limit, a precision the library lacks, or turned upright (orientation_test.cpp).
  const bool tooLarge = !read.messages.empty() && read.messages[0].text == "Memory Allocation Error";
  if (entry.expected != "valid" || tooLarge || entry.variant.find("12-bit") != std::string::npos ||
      read.infoText.find("(applied)") != std::string::npos) {
    return {};
  }
  const auto djpeg = DecodeWithNetpbm(file, "djpeg -pnm");
  // Only where the library itself cannot decode the file (a DNL marker) is there no image.
  EXPECT_TRUE(read.dib || !djpeg || djpeg->width == 0);
  if (!read.dib || !djpeg) return {};
  return Compared{DibToRgb(read.dib), *djpeg};
}

// tiff2rgba's pixels; ImageMagick's for turned pictures, 12-bit samples and L*a*b* (which libtiff
// takes as relative to another white: those agree on the whole). CMYK is compared in
// tiff_file_test.cpp; the general reader premultiplies alpha, which the direct path keeps apart.
std::optional<Compared> TiffPicture(const CorpusEntry& entry, const std::filesystem::path& file) {
  const ReadResult read = ReadTiffImage(file);
  if (entry.expected != "valid") return {};
  const auto other = DecodeWithTiff2Rgba(file);
  if (!read.dib) {  // only what libtiff cannot turn into pixels either, and the reason is named
    EXPECT_FALSE(other.has_value() && other->width > 0);
    EXPECT_EQ(read.status, ReadStatus::Unsupported);
    EXPECT_TRUE(!read.diagnostics.empty() && read.diagnostics.back().starts_with("unsupported TIFF: "));
    return {};
  }
  const auto tag = [&](uint32_t t) { return TiffTag(file, t).value_or(1); };
  const auto photometric = tag(TIFFTAG_PHOTOMETRIC), bits = tag(TIFFTAG_BITSPERSAMPLE);
  const bool lab = photometric == PHOTOMETRIC_CIELAB;
  const auto reference = tag(TIFFTAG_ORIENTATION) == 1 && other && !lab
                             ? other
                             : DecodeWithImageMagick(file.string() + "[0]", lab ? "-colorspace sRGB" : "-auto-orient");
  if (!reference || entry.variant.find("CMYK") != std::string::npos || TiffTag(file, TIFFTAG_EXTRASAMPLES)) return {};
  Compared c{DibToRgb(read.dib), *reference, 0, lab};
  // 4-bit gray levels sit in the middle of their steps here (8, 24, ... 248).
  if (photometric <= 1 && bits == 4) {
    for (uint8_t& v : c.theirs.rgb) v = static_cast<uint8_t>(16 * (v / 17) + 8);
  }
  // Colour maps scale by v × 255 / 65535 (truncating) where libtiff rounds; 12-bit samples keep
  // their high bits where ImageMagick rounds.
  c.tolerance = tag(TIFFTAG_COMPRESSION) == 7 ? 2 : photometric == 3 || bits == 12 ? 1 : 0;
  return c;
}

// Every corpus file of the format through its hook; at least `minimum` compared.
struct LibRow {
  const char* format;
  std::optional<Compared> (*picture)(const CorpusEntry&, const std::filesystem::path&);
  int minimum;
};
class LibCorpus : public testing::TestWithParam<LibRow> {};

TEST_P(LibCorpus, ValidFilesMatchTheReferenceDecoder) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != GetParam().format) continue;
    SCOPED_TRACE(entry.path);
    const auto c = GetParam().picture(entry, CorpusDir() / entry.path);
    if (!c) continue;
    ++compared;
    if (c->onTheWhole) {
      EXPECT_LT(MeanDifference(c->ours, c->theirs), 3.0);
    } else {
      EXPECT_TRUE(SameImage(c->ours, c->theirs, c->tolerance));
    }
  }
  EXPECT_GT(compared, GetParam().minimum);
}

INSTANTIATE_TEST_SUITE_P(Formats, LibCorpus,
                         testing::Values(LibRow{"JPEG", JpegPicture, 50}, LibRow{"PNG", PngPicture, 100},
                                         LibRow{"TIFF", TiffPicture, 60}),
                         [](const auto& info) { return std::string(info.param.format); });

// Found by fuzzing: a text chunk declaring two gigabytes in a file of a few hundred bytes made
// the library take the whole length in memory before reading; it is refused and skipped now.
TEST(PngFile, AChunkLongerThanTheImageLimitIsNotAllocated) {
  TempDir dir;
  WritePngFixture(dir / "small.png", {1, 1, 8, PNG_COLOR_TYPE_GRAY, {{9}}});
  std::vector<uint8_t> bytes = ReadBytes(dir / "small.png");
  const std::vector<uint8_t> chunk{0x77, 0xF3, 0x00, 0x1D, 'i', 'T', 'X', 't', 'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
  bytes.insert(bytes.begin() + 33, chunk.begin(), chunk.end());  // right behind IHDR
  WriteBytes(dir / "long.png", bytes);
  const ReadResult read = ReadPngImage((dir / "long.png").string(), 24);
  const auto refused = [](const std::string& text) { return text.find("insufficient memory") != std::string::npos; };
  EXPECT_TRUE(std::ranges::any_of(read.diagnostics, refused)) << ::testing::PrintToString(read.diagnostics);
}

}  // namespace
}  // namespace ravelle::test
