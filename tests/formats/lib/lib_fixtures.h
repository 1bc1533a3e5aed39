// Fixtures for the JPEG, PNG and TIFF tests: bitmaps of every depth drawn here, and small PNG
// and TIFF files written through the libraries with exactly the chunks and tags a case needs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/packed_dib.h"
#include "support/test_support.h"

namespace ravelle::test {

// The colour table a drawn bitmap gets.
enum class Palette {
  Colour,      // distinct colours
  Gray,        // an even gray ramp over the table's entries
  BlackWhite,  // 1 bit: black then white
  WhiteBlack,  // 1 bit: white then black
};

// A bitmap of the given depth with blocks of colour (so that JPEG keeps them nearly exact);
// `colours` is biClrUsed (0 for the depth's full table).
PackedDib DrawDib(int width, int height, int bits, Palette palette = Palette::Colour, uint32_t colours = 0);

// A PNG written with libpng from raw rows (top row first, samples as the file holds them).
struct PngFixture {
  uint32_t width = 1;
  uint32_t height = 1;
  int bitDepth = 8;
  int colorType = 0;
  bool adam7 = false;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> palette;  // red, green, blue per entry
  std::optional<double> gamma;
  std::optional<int> srgbIntent;
  bool background = false;  // a bKGD chunk (black)
};
void WritePngFixture(const std::filesystem::path& file, const PngFixture& png);

// A TIFF written with libtiff from raw contiguous rows (top row first) or, for separate
// planes, one plane after the other.
struct TiffFixture {
  uint32_t width = 1;
  uint32_t height = 1;
  uint16_t bits = 8;
  uint16_t samples = 1;
  uint16_t photometric = 1;
  uint16_t planar = 1;
  uint16_t compression = 1;
  uint16_t orientation = 1;
  uint16_t predictor = 1;
  uint32_t tileWidth = 0;  // 0: strips
  uint32_t tileLength = 0;
  std::vector<uint16_t> colormap;  // red, then green, then blue entries
  std::vector<uint8_t> pixels;     // height rows of width × samples samples (per plane when planar)
  uint16_t extraSamples = 0;       // the ExtraSamples value for a sample beyond the colour ones
};
void WriteTiffFixture(const std::filesystem::path& file, const TiffFixture& tiff);

// A tag of a TIFF file as libtiff reads it (integers only; for ExtraSamples the count), or
// nothing when absent.
std::optional<uint32_t> TiffTag(const std::filesystem::path& file, uint32_t tag);

// An image through djpeg at its defaults, or through tiff2rgba (orientation as libtiff gives it).
std::optional<RgbImage> DecodeWithDjpeg(const std::filesystem::path& file);
std::optional<RgbImage> DecodeWithTiff2Rgba(const std::filesystem::path& file);

// The largest difference between two images of the same size, over all samples; -1 when the
// sizes differ.
int MaxDifference(const RgbImage& a, const RgbImage& b);
double MeanDifference(const RgbImage& a, const RgbImage& b);

// The number of open file descriptors of this process.
int OpenDescriptors();

}  // namespace ravelle::test
