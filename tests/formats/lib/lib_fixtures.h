// Fixtures for the JPEG, PNG and TIFF tests: small PNG and TIFF files written through the
// libraries with exactly the layout a case needs, and the libraries' own decoders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/packed_dib.h"
#include "support/test_support.h"

namespace ravelle::test {

// What a writer stores of a drawn bitmap: 16-bit samples as v << 3, the others as they are.
RgbImage AsWritten(const PackedDib& source);

// A drawn 4-bit bitmap with the gray levels the readers give 2-bit (`levels` 4) or 4-bit (16)
// gray files: 8, 8 + 256 / levels, ...
PackedDib ReaderGrays(int width, int height, int levels);

// A PNG written with libpng from raw rows (top row first, samples as the file holds them).
struct PngFixture {
  uint32_t width = 1;
  uint32_t height = 1;
  int bitDepth = 8;
  int colorType = 0;
  std::vector<std::vector<uint8_t>> rows;
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
  uint16_t orientation = 1;
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

// An image through tiff2rgba (orientation as libtiff gives it), read back by tifftopnm.
std::optional<RgbImage> DecodeWithTiff2Rgba(const std::filesystem::path& file);

// The number of open file descriptors of this process.
int OpenDescriptors();

}  // namespace ravelle::test
