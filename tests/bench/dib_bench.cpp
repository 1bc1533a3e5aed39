// Decoding and encoding a 6000 x 4000 bitmap, 24-bit uncompressed and 8-bit RLE8.
//
//   bench_dib                       run the benchmarks (files in a temporary folder)
//   bench_dib --make-inputs FOLDER  write photo24.bmp and photo8-rle.bmp there and stop
//                                   (tests/bench/dib_compare.sh times other programs on them)

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image/output_file.h"
#include "formats/dib/bmp_writer.h"
#include "formats/dib/dib_reader.h"
#include "headless/headless_port.h"
#include "shell/load.h"

namespace ravelle {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth shapes with some grain, like a photograph.
PackedDib Photo24() {
  PackedDib dib = CreateDib(kWidth, kHeight, 24);
  uint32_t seed = 1;
  for (int y = 0; y < kHeight; ++y) {
    auto row = dib.Row(y);
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525 + 1013904223;
      const int grain = static_cast<int>(seed >> 29) - 4;
      const double fx = x / 6000.0, fy = y / 4000.0;
      row[3 * x] = static_cast<uint8_t>(std::clamp(static_cast<int>(200 * fy + 40 * std::sin(fx * 20)) + grain, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(static_cast<int>(120 + 100 * std::sin(fx * 7 + fy * 3)) + grain, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(static_cast<int>(255 * fx) + grain, 0, 255));
    }
  }
  return dib;
}

// A poster-like 8-bit image: bands of one colour with stretches of dither, as RLE8 files hold.
PackedDib Poster8() {
  PackedDib dib = CreateDib(kWidth, kHeight, 8, 256);
  for (int i = 0; i < 256; ++i) dib.Colors()[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
  for (int y = 0; y < kHeight; ++y) {
    auto row = dib.Row(y);
    for (int x = 0; x < kWidth; ++x) {
      const int band = (x / 97 + y / 53) % 16;
      row[x] = static_cast<uint8_t>(band % 5 == 0 ? (x * 7 + y * 13) % 256 : band * 16);
    }
  }
  return dib;
}

bool WritePlain(const std::filesystem::path& file, const PackedDib& dib) {
  auto out = OutputFile::Create(file);
  return out && WriteBmp(dib, out->Stream()) && out->Commit();
}

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "ravelle-bench-XXXXXX").string();
    return std::filesystem::path(::mkdtemp(pattern.data()));
  }();
  return folder;
}

const std::filesystem::path& Photo24File() {
  static const std::filesystem::path file = [] {
    const auto f = Folder() / "photo24.bmp";
    WritePlain(f, Photo24());
    return f;
  }();
  return file;
}

const std::filesystem::path& Poster8File() {
  static const std::filesystem::path file = [] {
    const auto f = Folder() / "photo8-rle.bmp";
    WriteBmpRle(f, Poster8());
    return f;
  }();
  return file;
}

// Loading a file as the dialog does: reading, the type rules, decoding, the after-load steps.
void Load(benchmark::State& state, const std::filesystem::path& file) {
  HeadlessPort port;
  for (auto _ : state) {
    CurrentImage image;
    ReadImageFile(image, port, file.string());
    benchmark::DoNotOptimize(image.Handle.Bytes().data());
  }
}

void BM_Decode24(benchmark::State& state) { Load(state, Photo24File()); }
BENCHMARK(BM_Decode24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Encode24(benchmark::State& state) {
  const PackedDib dib = Photo24();
  const auto file = Folder() / "out24.bmp";
  for (auto _ : state) benchmark::DoNotOptimize(WritePlain(file, dib));
}
BENCHMARK(BM_Encode24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeRle8(benchmark::State& state) { Load(state, Poster8File()); }
BENCHMARK(BM_DecodeRle8)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeRle8(benchmark::State& state) {
  const PackedDib dib = Poster8();
  const auto file = Folder() / "out8.bmp";
  for (auto _ : state) benchmark::DoNotOptimize(WriteBmpRle(file, dib));
}
BENCHMARK(BM_EncodeRle8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  using namespace ravelle;
  if (argc == 3 && std::strcmp(argv[1], "--make-inputs") == 0) {
    const std::filesystem::path folder = argv[2];
    std::filesystem::create_directories(folder);
    const bool ok = WritePlain(folder / "photo24.bmp", Photo24()) && WriteBmpRle(folder / "photo8-rle.bmp", Poster8());
    return ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(Folder());
  return 0;
}
