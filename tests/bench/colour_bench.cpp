// Benchmarks of the colour reductions and the turns and mirrors on a large 24-bit image.
//
//   bench_colour [benchmark flags]          the image of $RAVELLE_BENCH_IMAGE (a BMP), or a
//                                           synthetic 6000 x 4000 picture when it is not set
//   bench_colour --write-palettes DIR       writes the fixed palettes as PPM files (for
//                                           ImageMagick's -remap in colour_vs_imagemagick.sh)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "colour/median_cut.h"
#include "colour/palettes.h"
#include "colour/reduce_colors.h"
#include "formats/dib/dib_reader.h"
#include "shell/current_image.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

// Smooth gradients with a little structure, so that the reductions meet many colours.
PackedDib SyntheticPicture(int width, int height) {
  PackedDib dib = CreateDib(width, height, 24);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib.Row(y).data();
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int n = static_cast<int>((noise >> 16) & 15);
      row[3 * x] = static_cast<uint8_t>((x * 255 / width + n) & 255);
      row[3 * x + 1] = static_cast<uint8_t>((y * 255 / height + ((x / 97) % 7) * 9) & 255);
      row[3 * x + 2] = static_cast<uint8_t>(((x + y) * 255 / (width + height) + n) & 255);
    }
  }
  return dib;
}

const PackedDib& Picture() {
  static const PackedDib picture = [] {
    if (const char* path = std::getenv("RAVELLE_BENCH_IMAGE")) {
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      ReadResult result = ReadWindowsDib(bytes, 0);
      if (result.dib && result.dib.BitCount() == 24) return std::move(result.dib);
      std::fprintf(stderr, "bench_colour: %s is not a 24-bit BMP; using the synthetic picture\n", path);
    }
    return SyntheticPicture(6000, 4000);
  }();
  return picture;
}

void Reduce(benchmark::State& state, int choice) {
  const PackedDib& source = Picture();
  for (auto _ : state) {
    ColorResult result = QuantizeImage(source, choice);
    CompactDibDepth(result.image);
    benchmark::DoNotOptimize(result.image.Bytes().data());
  }
  state.SetItemsProcessed(state.iterations() * source.Width() * source.Height());
}

// 256 best colours counted and mapped on one thread, as QuantizeImage did before it counted on
// two: the reference for Reduce/best256 in the same run.
void BestOneThread(benchmark::State& state) {
  const PackedDib& source = Picture();
  const auto geometry = CompleteGeometry(source);
  const RgbRowFeed feed(source, *geometry);
  for (auto _ : state) {
    PackedDib reduced = CreateDib(source.Width(), source.Height(), 8, 256);
    MedianCutQuantizer quantizer;
    std::vector<uint8_t> rgb(3 * static_cast<std::size_t>(source.Width()));
    quantizer.Start(source.Width(), 256);
    for (int y = 0; y < source.Height(); ++y) {
      feed.Feed(y, rgb);
      quantizer.AccumulateRow(rgb);
    }
    quantizer.SelectColors();
    for (int y = 0; y < source.Height(); ++y) {
      feed.Feed(y, rgb);
      quantizer.MapRow(rgb, reduced.Row(y), (y & 1) != 0);
    }
    CompactDibDepth(reduced);
    benchmark::DoNotOptimize(reduced.Bytes().data());
  }
}
BENCHMARK(BestOneThread)->Name("Reduce/best256-one-thread")->Unit(benchmark::kMillisecond)->Iterations(3);

void Grayscale(benchmark::State& state) {
  const PackedDib& source = Picture();
  for (auto _ : state) {
    ColorResult result = GrayscaleImage(source);
    benchmark::DoNotOptimize(result.image.Bytes().data());
  }
}

void Transform(benchmark::State& state, TransformCode code) {
  PackedDib image = Picture().Clone();
  int orientation = 0;
  for (auto _ : state) {
    TransformImage(image, code, orientation);
    benchmark::DoNotOptimize(image.Bytes().data());
  }
}

BENCHMARK_CAPTURE(Reduce, best256, -256)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Reduce, best32, -32)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Reduce, best16, -16)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Reduce, std256, 256)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Reduce, web216, 216)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Reduce, std16, 16)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Reduce, mono, 2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Grayscale)->Name("Grayscale/gray")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(Transform, rotate90, TransformCode::Rotate90)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(Transform, fliplr, TransformCode::FlipLeftRight)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(Transform, fliptb, TransformCode::FlipTopBottom)->Unit(benchmark::kMillisecond)->Iterations(5);

// One row of N pixels per palette, as plain PPM.
int WritePalettes(const std::string& folder) {
  const std::pair<const char*, int> palettes[] = {{"std256", 256}, {"web216", 216}, {"std16", 16}, {"mono", 2}};
  for (const auto& [name, choice] : palettes) {
    const auto palette = FixedPalette(choice);
    std::ofstream out(folder + "/" + name + ".ppm");
    out << "P3\n" << palette.size() << " 1\n255\n";
    for (const PaletteColor& c : palette) out << int{c.red} << ' ' << int{c.green} << ' ' << int{c.blue} << '\n';
    if (!out) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-palettes") == 0) return ravelle::WritePalettes(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
