#include "support/test_support.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include <gtest/gtest.h>

#include "formats/dib/bmp_writer.h"
#include "formats/registry.h"
#include "support/test_images.h"

namespace ravelle::test {

std::filesystem::path CorpusDir() {
  if (const char* env = std::getenv("RAVELLE_CORPUS")) return env;
  return std::filesystem::path(RAVELLE_SOURCE_DIR) / ".." / "shared" / "corpus";
}

bool HaveCorpus() {
  if (std::filesystem::exists(CorpusDir() / "MANIFEST.tsv")) return true;
  // On CI the corpus must be there: a test that would skip fails instead.
  const char* ci = std::getenv("CI");
  if (ci != nullptr && std::string_view(ci) == "true") ADD_FAILURE() << "CI=true and no corpus at " << CorpusDir();
  return false;
}

std::vector<CorpusEntry> CorpusManifest() {
  std::vector<CorpusEntry> entries;
  std::ifstream in(CorpusDir() / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() >= 7) entries.push_back({fields[0], fields[1], fields[2], fields[6]});
  }
  return entries;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ravelle-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool HaveProgram(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

PackedDib DrawDib(int width, int height, int bits, Palette palette, uint32_t colours) {
  PackedDib dib = CreateDib(width, height, bits, colours);
  auto table = dib.Colors();
  const std::size_t n = table.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto level = static_cast<uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
    switch (palette) {
      case Palette::Colour:
        table[i] = {static_cast<uint8_t>(i * 37 + 20), static_cast<uint8_t>(255 - i * 53), static_cast<uint8_t>(i * 91 + 5), 0};
        break;
      case Palette::Gray: table[i] = {level, level, level, 0}; break;
      case Palette::BlackWhite: table[i] = i == 0 ? RgbQuad{0, 0, 0, 0} : RgbQuad{255, 255, 255, 0}; break;
      case Palette::WhiteBlack: table[i] = i == 0 ? RgbQuad{255, 255, 255, 0} : RgbQuad{0, 0, 0, 0}; break;
    }
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto block = static_cast<uint32_t>(x / 16 + 3 * (y / 16));
      uint32_t value = bits <= 8 ? static_cast<uint32_t>(block % std::max<std::size_t>(n, 1)) & ((1u << bits) - 1) : 0;
      if (bits == 16) value = ((block * 7) % 32 << 10) | ((block * 13) % 32 << 5) | ((block * 5 + 3) % 32);
      if (bits > 16) value = Rgb(static_cast<uint8_t>(block * 70 + 9), static_cast<uint8_t>(255 - block * 25), static_cast<uint8_t>(block * 40));
      SetPixel(dib, x, height - 1 - y, value);  // the blocks start at the bottom row
    }
  }
  return dib;
}

void WriteBitmapFile(const std::filesystem::path& file, const PackedDib& dib) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(WriteBmp(dib, out));
  std::fclose(out);
}

std::optional<RgbImage> ParsePpm(const std::string& bytes) {
  std::istringstream in(bytes);
  std::string magic;
  int fields[3] = {};  // width, height, maxval, each after blanks and comments
  in >> magic;
  for (int& field : fields) {
    while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');
    if (!(in >> field)) return std::nullopt;
  }
  in.get();  // the single blank after maxval
  const std::size_t size = static_cast<std::size_t>(fields[0]) * fields[1] * 3;
  const auto start = static_cast<std::ptrdiff_t>(in.tellg());
  if (magic != "P6" || fields[2] != 255 || bytes.size() < start + size) return std::nullopt;
  return RgbImage{fields[0], fields[1], {bytes.begin() + start, bytes.begin() + start + static_cast<std::ptrdiff_t>(size)}};
}

RgbImage DibToRgb(const PackedDib& dib) {
  RgbImage image{dib.Width(), dib.Height(), {}};
  const auto colours = dib.Colors();
  const auto expand = [](uint32_t v) { return static_cast<uint8_t>(((v & 31) << 3) | ((v & 31) >> 2)); };
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint32_t v = PixelAt(dib, x, y);
      RgbQuad q{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16), 0};
      if (dib.BitCount() <= 8) q = v < colours.size() ? colours[v] : RgbQuad{};
      if (dib.BitCount() == 16) q = {expand(v), expand(v >> 5), expand(v >> 10), 0};
      image.rgb.insert(image.rgb.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
    }
  }
  return image;
}

testing::AssertionResult SameImage(const RgbImage& ours, const RgbImage& reference, int tolerance, int bits) {
  if (ours.width != reference.width || ours.height != reference.height || ours.rgb.size() != reference.rgb.size()) {
    return testing::AssertionFailure() << "size " << ours.width << "x" << ours.height << " vs " << reference.width << "x"
                                       << reference.height;
  }
  for (std::size_t i = 0; i < ours.rgb.size(); ++i) {
    if (std::abs((ours.rgb[i] >> (8 - bits)) - (reference.rgb[i] >> (8 - bits))) > tolerance) {
      return testing::AssertionFailure() << "pixel (" << i / 3 % ours.width << ", " << i / 3 / ours.width << ") sample "
                                         << i % 3 << ": " << int{ours.rgb[i]} << " vs " << int{reference.rgb[i]};
    }
  }
  return testing::AssertionSuccess();
}

double MeanDifference(const RgbImage& a, const RgbImage& b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1e9;
  double sum = 0;
  for (std::size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(a.rgb[i] - b.rgb[i]);
  return sum / static_cast<double>(a.rgb.size());
}

std::optional<RgbImage> DecodeWithImageMagick(const std::filesystem::path& file, const std::string& options) {
  if (!HaveProgram("/usr/bin/convert")) return std::nullopt;
  // ImageMagick exits with 1 after a warning (such as a file size that disagrees with the header)
  // even when it wrote the whole image; the image is what counts.
  return ParsePpm(RunCommand("/usr/bin/convert " + Quote(file.string()) + " " + options + " -depth 8 ppm:- 2>/dev/null").out);
}

std::optional<RgbImage> DecodeWithNetpbm(const std::filesystem::path& file, const std::string& decoder, const std::string& then) {
  if (!HaveProgram("/usr/bin/" + decoder.substr(0, decoder.find(' ')))) return std::nullopt;
  // ppmtoppm turns the PBM or PGM that some decoders give for some files into a PPM.
  const auto ppm = RunCommand("/usr/bin/" + decoder + " " + Quote(file.string()) + " 2>/dev/null | /usr/bin/" + then + " 2>/dev/null");
  if (ppm.status != 0) return std::nullopt;
  return ParsePpm(ppm.out);
}

double TouchedShare(const PackedDib& dib) {
  const auto pixels = dib.Pixels();
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(pixels.data()) / page * page;
  const std::size_t pages = (reinterpret_cast<uintptr_t>(pixels.data()) + pixels.size() - start + page - 1) / page;
  if (pages == 0) return 0;
  std::vector<unsigned char> resident(pages);
  if (::mincore(reinterpret_cast<void*>(start), pages * page, resident.data()) != 0) return 1;
  const auto touched = std::ranges::count_if(resident, [](unsigned char r) { return (r & 1) != 0; });
  return static_cast<double>(touched) / static_cast<double>(pages);
}

}  // namespace ravelle::test
