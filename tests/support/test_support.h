// Helpers shared by the tests: files and folders, running commands, drawn bitmaps, and images as
// RGB (from a PackedDib or an independent decoder) compared sample by sample.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "formats/common/read_result.h"
#include "image/packed_dib.h"

namespace ravelle::test {

// The shared sample corpus (../shared/corpus beside the project, or $RAVELLE_CORPUS).
std::filesystem::path CorpusDir();
// Whether it is there; under CI=true its absence also fails the calling test.
bool HaveCorpus();

// Rows of the corpus manifest.
struct CorpusEntry {
  std::string path;  // relative to CorpusDir()
  std::string format;
  std::string variant;
  std::string expected;  // valid, questionable or malformed
};
std::vector<CorpusEntry> CorpusManifest();

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

struct CommandResult {
  int status = -1;
  std::string out;  // standard output (standard error is left to the terminal unless redirected)
};
CommandResult RunCommand(const std::string& command);
std::string Quote(const std::string& text);
bool HaveProgram(const std::string& path);

// The colour table a drawn bitmap gets.
enum class Palette {
  Colour,      // distinct colours
  Gray,        // an even gray ramp over the table's entries
  BlackWhite,  // 1 bit: black then white
  WhiteBlack,  // 1 bit: white then black
};

// A bitmap of the given depth with blocks of colour 16 pixels square (so that JPEG keeps them
// nearly exact); `colours` is biClrUsed (0 for the depth's full table).
PackedDib DrawDib(int width, int height, int bits, Palette palette = Palette::Colour, uint32_t colours = 0);

// Writes an uncompressed bitmap file.
void WriteBitmapFile(const std::filesystem::path& file, const PackedDib& dib);

// A binary PPM (P6, maxval 255) or the RGB expansion of a PackedDib, top row first.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  friend bool operator==(const RgbImage&, const RgbImage&) = default;
};
std::optional<RgbImage> ParsePpm(const std::string& bytes);
RgbImage DibToRgb(const PackedDib& dib);

// Same size, and every sample within `tolerance` once both are cut to their top `bits` bits; a
// failure names the first sample that is not.
testing::AssertionResult SameImage(const RgbImage& ours, const RgbImage& reference, int tolerance = 0, int bits = 8);
double MeanDifference(const RgbImage& a, const RgbImage& b);

// Decodes a file with an independent decoder: ImageMagick (with `options` before the output),
// or a netpbm `decoder` (with its options) whose output goes through `then`.
std::optional<RgbImage> DecodeWithImageMagick(const std::filesystem::path& file, const std::string& options = "");
std::optional<RgbImage> DecodeWithNetpbm(const std::filesystem::path& file, const std::string& decoder = "bmptopnm",
                                         const std::string& then = "ppmtoppm");

// The share of a bitmap's pixel pages that the process has touched (readers must leave the
// rows that their data did not reach as allocated). Meaningful for blocks of 8 MiB or more,
// which are mapped straight from the system.
double TouchedShare(const PackedDib& dib);

}  // namespace ravelle::test
