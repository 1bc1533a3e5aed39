// Helpers shared by the tests: files and folders, running commands, PPM images from the
// independent decoders, and a PackedDib expanded to RGB for comparing pixels.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/packed_dib.h"

namespace ravelle::test {

// The shared sample corpus (../shared/corpus beside the project, or $RAVELLE_CORPUS).
std::filesystem::path CorpusDir();
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

// A binary PPM (P6, maxval 255) or the RGB expansion of a PackedDib, top row first.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  friend bool operator==(const RgbImage&, const RgbImage&) = default;
};
std::optional<RgbImage> ParsePpm(const std::string& bytes);
RgbImage DibToRgb(const PackedDib& dib);

// Decodes a file with an independent decoder: ImageMagick, or netpbm's bmptopnm.
std::optional<RgbImage> DecodeWithImageMagick(const std::filesystem::path& file);
std::optional<RgbImage> DecodeWithNetpbm(const std::filesystem::path& file);

}  // namespace ravelle::test
