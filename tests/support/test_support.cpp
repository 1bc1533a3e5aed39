#include "support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ravelle::test {

std::filesystem::path CorpusDir() {
  if (const char* env = std::getenv("RAVELLE_CORPUS")) return env;
  return std::filesystem::path(RAVELLE_SOURCE_DIR) / ".." / "shared" / "corpus";
}

bool HaveCorpus() { return std::filesystem::exists(CorpusDir() / "MANIFEST.tsv"); }

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

namespace {

// Skips blanks and comments between the fields of a PPM header.
bool NextNumber(std::istringstream& in, int& value) {
  for (;;) {
    const int c = in.peek();
    if (c == '#') {
      std::string comment;
      std::getline(in, comment);
    } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      in.get();
    } else {
      break;
    }
  }
  return static_cast<bool>(in >> value);
}

}  // namespace

std::optional<RgbImage> ParsePpm(const std::string& bytes) {
  std::istringstream in(bytes);
  std::string magic;
  in >> magic;
  RgbImage image;
  int maxval = 0;
  if (magic != "P6" || !NextNumber(in, image.width) || !NextNumber(in, image.height) || !NextNumber(in, maxval) ||
      maxval != 255) {
    return std::nullopt;
  }
  in.get();  // the single blank after maxval
  const std::size_t size = static_cast<std::size_t>(image.width) * image.height * 3;
  const std::size_t start = static_cast<std::size_t>(in.tellg());
  if (bytes.size() < start + size) return std::nullopt;
  image.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                   bytes.begin() + static_cast<std::ptrdiff_t>(start + size));
  return image;
}

RgbImage DibToRgb(const PackedDib& dib) {
  RgbImage image{dib.Width(), dib.Height(), {}};
  image.rgb.reserve(static_cast<std::size_t>(image.width) * image.height * 3);
  const auto colours = dib.Colors();
  const int bits = dib.BitCount();
  for (int y = image.height - 1; y >= 0; --y) {
    const auto row = dib.Row(y);
    for (int x = 0; x < image.width; ++x) {
      uint8_t r = 0, g = 0, b = 0;
      if (bits <= 8) {
        const int perByte = 8 / bits;
        const int shift = 8 - bits * (x % perByte + 1);
        const std::size_t index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
        if (index < colours.size()) {
          r = colours[index].rgbRed;
          g = colours[index].rgbGreen;
          b = colours[index].rgbBlue;
        }
      } else if (bits == 16) {
        const unsigned p = row[2 * x] | (row[2 * x + 1] << 8);
        const auto expand = [](unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
        r = expand((p >> 10) & 31);
        g = expand((p >> 5) & 31);
        b = expand(p & 31);
      } else {
        const int step = bits / 8;
        b = row[step * x];
        g = row[step * x + 1];
        r = row[step * x + 2];
      }
      image.rgb.insert(image.rgb.end(), {r, g, b});
    }
  }
  return image;
}

std::optional<RgbImage> DecodeWithImageMagick(const std::filesystem::path& file) {
  if (!HaveProgram("/usr/bin/convert")) return std::nullopt;
  // ImageMagick exits with 1 after a warning (such as a file size that disagrees with the header)
  // even when it wrote the whole image; the image is what counts.
  const auto result = RunCommand("/usr/bin/convert " + Quote(file.string()) + " -depth 8 ppm:- 2>/dev/null");
  return ParsePpm(result.out);
}

std::optional<RgbImage> DecodeWithNetpbm(const std::filesystem::path& file) {
  if (!HaveProgram("/usr/bin/bmptopnm")) return std::nullopt;
  // ppmtoppm turns the PBM or PGM that bmptopnm gives for some files into a PPM.
  const auto ppm = RunCommand("/usr/bin/bmptopnm " + Quote(file.string()) + " 2>/dev/null | /usr/bin/ppmtoppm 2>/dev/null");
  if (ppm.status != 0) return std::nullopt;
  return ParsePpm(ppm.out);
}

}  // namespace ravelle::test
