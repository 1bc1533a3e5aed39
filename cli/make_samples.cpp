// ravelle-make-samples FOLDER: draws the bundled sample images and writes them with the
// project's own writers: each form a bitmap file can take, and JPEG, PNG and TIFF files.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "image/output_file.h"
#include "formats/dib/bmp_writer.h"
#include "shell/convert.h"
#include "image/packed_dib.h"

namespace ravelle {
namespace {

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); }

// A sunset over the sea: a sky gradient, a sun, and the sun's stripes on the water.
Rgb Sunset(double x, double y) {
  const double horizon = 0.62;
  if (y < horizon) {
    Rgb sky = Mix({40, 30, 110}, {250, 140, 60}, y / horizon);
    const double d = std::hypot(x - 0.5, (y - 0.5) * 0.75);
    if (d < 0.12) return {255, 225, 120};
    if (d < 0.2) sky = Mix({255, 200, 110}, sky, (d - 0.12) / 0.08);
    return sky;
  }
  const double depth = (y - horizon) / (1 - horizon);
  Rgb sea = Mix({60, 50, 120}, {10, 20, 60}, depth);
  const bool glint = std::fabs(x - 0.5) < 0.12 * (1 - depth) + 0.02 && std::sin(depth * 90) > 0.3;
  return glint ? Mix(sea, {255, 190, 100}, 0.8) : sea;
}

bool WritePlain(const std::filesystem::path& file, const PackedDib& dib) {
  auto out = OutputFile::Create(file);
  return out && WriteBmp(dib, out->Stream()) && out->Commit();
}

PackedDib SunsetImage(int width, int height) {
  PackedDib dib = CreateDib(width, height, 24);
  for (int y = 0; y < height; ++y) {
    auto row = dib.Row(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = Sunset(static_cast<double>(x) / width, static_cast<double>(y) / height);
      row[3 * x] = Clamp(c.b);
      row[3 * x + 1] = Clamp(c.g);
      row[3 * x + 2] = Clamp(c.r);
    }
  }
  return dib;
}

// Concentric rings in a 256-colour rainbow palette: long runs for RLE8.
PackedDib RingsImage(int size) {
  PackedDib dib = CreateDib(size, size, 8, 256);
  auto colours = dib.Colors();
  for (int i = 0; i < 256; ++i) {
    const double a = i / 256.0 * 2 * M_PI;
    colours[i] = {Clamp(128 + 127 * std::sin(a + 4.2)), Clamp(128 + 127 * std::sin(a + 2.1)),
                  Clamp(128 + 127 * std::sin(a)), 0};
  }
  for (int y = 0; y < size; ++y) {
    auto row = dib.Row(y);
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x - size / 2.0, y - size / 2.0);
      row[x] = static_cast<uint8_t>(static_cast<int>(d / 6) * 24 % 256);
    }
  }
  return dib;
}

// A 16-colour quilt of odd width, so that RLE4 rows end in every possible tail.
PackedDib QuiltImage(int width, int height) {
  static constexpr RgbQuad kColours[16] = {
      {0, 0, 0, 0}, {0, 0, 128, 0}, {0, 128, 0, 0}, {0, 128, 128, 0}, {128, 0, 0, 0}, {128, 0, 128, 0},
      {128, 128, 0, 0}, {192, 192, 192, 0}, {128, 128, 128, 0}, {0, 0, 255, 0}, {0, 255, 0, 0},
      {0, 255, 255, 0}, {255, 0, 0, 0}, {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0}};
  PackedDib dib = CreateDib(width, height, 4, 16);
  auto colours = dib.Colors();
  for (int i = 0; i < 16; ++i) colours[i] = kColours[i];
  for (int y = 0; y < height; ++y) {
    auto row = dib.Row(y);
    for (int x = 0; x < width; ++x) {
      const int index = ((x / 23) + (y / 17) * 3 + ((x + y) / 41)) % 16;
      row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
  }
  return dib;
}

// Black and white: a target of rings with a diagonal band.
PackedDib TargetImage(int width, int height) {
  PackedDib dib = CreateDib(width, height, 1, 2);
  dib.Colors()[1] = {255, 255, 255, 0};
  for (int y = 0; y < height; ++y) {
    auto row = dib.Row(y);
    for (int x = 0; x < width; ++x) {
      const double d = std::hypot(x - width / 2.0, y - height / 2.0);
      const bool white = (static_cast<int>(d / 12) % 2 == 0) != (std::abs(x - y) < 20);
      if (white) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
  return dib;
}

PackedDib GradientImage(int width, int height, int bits) {
  PackedDib dib = CreateDib(width, height, bits);
  for (int y = 0; y < height; ++y) {
    auto row = dib.Row(y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = Sunset(static_cast<double>(x) / width, 1.0 - static_cast<double>(y) / height);
      if (bits == 16) {
        const unsigned p = (Clamp(c.r) >> 3) << 10 | (Clamp(c.g) >> 3) << 5 | Clamp(c.b) >> 3;
        row[2 * x] = static_cast<uint8_t>(p);
        row[2 * x + 1] = static_cast<uint8_t>(p >> 8);
      } else {
        row[4 * x] = Clamp(c.b);
        row[4 * x + 1] = Clamp(c.g);
        row[4 * x + 2] = Clamp(c.r);
      }
    }
  }
  return dib;
}

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  using namespace ravelle;
  const std::string_view arg = argc == 2 ? argv[1] : "";
  if (arg == "--help" || arg == "-h") {
    std::printf("usage: ravelle-make-samples FOLDER\nWrites the sample pictures into FOLDER, making it if needed.\n");
    return 0;
  }
  if (argc != 2 || arg.empty() || arg.front() == '-') {  // an option is never taken for a folder name
    std::fprintf(stderr, "usage: ravelle-make-samples FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const PackedDib sunset = SunsetImage(480, 320);
  const PackedDib rings = RingsImage(256);
  const PackedDib quilt = QuiltImage(203, 117);
  const PackedDib target = TargetImage(320, 240);
  const auto write = [&](const PackedDib& image, std::string_view format, const char* name) {
    const WriterVariant* writer = FindWriterByName(format);
    return writer != nullptr && WriteImageFile(image, *writer, folder / name) == WriteOutcome::Written;
  };
  const bool ok = WritePlain(folder / "sunset.bmp", sunset) && WriteBmpRle(folder / "rings-rle8.bmp", rings) &&
                  WriteBmpRle(folder / "quilt-rle4.bmp", quilt) && WritePlain(folder / "target-mono.bmp", target) &&
                  WriteBmpBitfields(folder / "dusk-565.bmp", GradientImage(300, 200, 16), 1) &&
                  WriteBmpBitfields(folder / "dusk-101010.bmp", GradientImage(300, 200, 32), 1) &&
                  write(sunset, "jpeg-progressive", "sunset-progressive.jpg") &&
                  write(rings, "png-adam7", "rings-adam7.png") &&
                  write(quilt, "tiff-lzw-tiles", "quilt-lzw-tiles.tif") &&
                  write(target, "tiff-g4", "target-g4.tif");
  if (!ok) {
    std::fprintf(stderr, "ravelle-make-samples: could not write the samples into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
