// Decoding and encoding a 6000 × 4000 photograph as JPEG, PNG and TIFF (none, LZW, Deflate,
// JPEG, tiled) through the readers and writers. Not a test: tests/bench/lib_bench.sh runs it
// beside the libraries' own tools and ImageMagick on the same files.
//
// The photograph is drawn here (smooth light, edges and grain, as a camera gives), and the
// files are left in $RAVELLE_BENCH_DIR (default /dev/shm/ravelle-bench) for the other tools.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "formats/lib/jpeg_file.h"
#include "formats/lib/png_file.h"
#include "formats/lib/tiff_file.h"

namespace ravelle {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::filesystem::path BenchDir() {
  const char* env = std::getenv("RAVELLE_BENCH_DIR");
  return env != nullptr ? env : "/dev/shm/ravelle-bench";
}

const PackedDib& Photograph() {
  static const PackedDib photo = [] {
    PackedDib dib = CreateDib(kWidth, kHeight, 24, 0);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = dib.Row(y).data();
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = static_cast<int>(seed >> 28) - 8;
        const double u = x / static_cast<double>(kWidth), v = y / static_cast<double>(kHeight);
        const double light = 0.5 + 0.35 * std::sin(6.0 * u + 2.0 * v) * std::cos(4.0 * v - u);
        const bool edge = std::fmod(std::hypot(x - 2600.0, y - 1900.0), 700.0) < 350.0;
        const auto clamp = [](double s) { return static_cast<uint8_t>(std::min(255.0, std::max(0.0, s))); };
        row[3 * x] = clamp(255 * light * (edge ? 0.6 : 0.9) + grain);
        row[3 * x + 1] = clamp(255 * (0.3 + 0.5 * v) * light + grain);
        row[3 * x + 2] = clamp(255 * (edge ? 0.8 : 0.4) * (1 - 0.5 * u) + grain);
      }
    }
    return dib;
  }();
  return photo;
}

struct Variant {
  const char* name;
  int kind;  // 0 JPEG, 1 PNG, 2 TIFF
  int compression;
  bool tiles;
};

constexpr Variant kVariants[] = {
    {"jpeg", 0, 0, false},        {"png", 1, 0, false},          {"tiff-none", 2, 1, false},
    {"tiff-lzw", 2, 5, false},    {"tiff-deflate", 2, 32946, false}, {"tiff-jpeg", 2, 7, false},
    {"tiff-lzw-tiles", 2, 5, true},
};

std::filesystem::path FileOf(const Variant& v) {
  return BenchDir() / (std::string("photo-") + v.name + (v.kind == 0 ? ".jpg" : v.kind == 1 ? ".png" : ".tif"));
}

bool Write(const Variant& v, const std::filesystem::path& file) {
  switch (v.kind) {
    case 0: return WriteJpegImage(file, kJpegQuality, Photograph(), false);
    case 1: return WritePngImage(file, Photograph(), false);
    default: return WriteTiffImage(file, v.compression, v.tiles, Photograph());
  }
}

void Encode(benchmark::State& state, const Variant& v) {
  const auto file = BenchDir() / (std::string("ours-") + v.name);
  Photograph();
  for (auto _ : state) {
    if (!Write(v, file)) state.SkipWithError("write failed");
  }
}

void Decode(benchmark::State& state, const Variant& v) {
  const std::string file = FileOf(v).string();
  for (auto _ : state) {
    ReadResult result = v.kind == 0 ? ReadJpegImage(file, 24) : v.kind == 1 ? ReadPngImage(file, 24) : ReadTiffImage(file);
    if (!result.dib) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(result.dib.Bytes().data());
  }
}

// The photograph as a binary PPM, for cjpeg and ImageMagick.
void WritePpm() {
  std::FILE* out = std::fopen((BenchDir() / "photo.ppm").c_str(), "wb");
  std::fprintf(out, "P6\n%d %d\n255\n", kWidth, kHeight);
  std::vector<uint8_t> rgb(3 * kWidth);
  for (int y = kHeight - 1; y >= 0; --y) {
    const uint8_t* row = Photograph().Row(y).data();
    for (int x = 0; x < kWidth; ++x) {
      rgb[3 * x] = row[3 * x + 2];
      rgb[3 * x + 1] = row[3 * x + 1];
      rgb[3 * x + 2] = row[3 * x];
    }
    std::fwrite(rgb.data(), 1, rgb.size(), out);
  }
  std::fclose(out);
}

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  using namespace ravelle;
  std::filesystem::create_directories(BenchDir());
  WritePpm();
  for (const Variant& v : kVariants) {
    if (!Write(v, FileOf(v))) return 1;
    benchmark::RegisterBenchmark((std::string("decode/") + v.name).c_str(), Decode, v)
        ->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark((std::string("encode/") + v.name).c_str(), Encode, v)
        ->Unit(benchmark::kMillisecond)->Iterations(3);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
