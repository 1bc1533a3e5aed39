// Decoding and encoding a 6000 x 4000 image as PCX (24-bit and 8-bit) and Targa (plain and
// run-length), in process: the readers on the file's bytes in memory, the writers to a file.
// tests/bench/pcx_targa_compare.sh times the other programs on the same kind of files.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/pcx/pcx_file.h"
#include "formats/targa/targa_file.h"

namespace ravelle {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth shading with grain, as a photograph has.
const PackedDib& Photo24() {
  static const PackedDib dib = [] {
    PackedDib d = CreateDib(kWidth, kHeight, 24);
    uint32_t seed = 1;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = d.Row(y).data();
      for (int x = 0; x < kWidth; ++x, row += 3) {
        seed = seed * 1664525 + 1013904223;
        const int grain = static_cast<int>(seed >> 30);
        row[0] = static_cast<uint8_t>(y * 255 / kHeight + grain);
        row[1] = static_cast<uint8_t>((x + y) / 40 + grain);
        row[2] = static_cast<uint8_t>(x * 255 / kWidth);
      }
    }
    return d;
  }();
  return dib;
}

// Bands of one colour with stretches of dither, as 8-bit posters have.
const PackedDib& Poster8() {
  static const PackedDib dib = [] {
    PackedDib d = CreateDib(kWidth, kHeight, 8, 256);
    for (int i = 0; i < 256; ++i) d.Colors()[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
    for (int y = 0; y < kHeight; ++y) {
      auto row = d.Row(y);
      for (int x = 0; x < kWidth; ++x) {
        const int band = (x / 97 + y / 53) % 16;
        row[x] = static_cast<uint8_t>(band % 5 == 0 ? (x * 7 + y * 13) % 256 : band * 16);
      }
    }
    return d;
  }();
  return dib;
}

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "ravelle-bench-XXXXXX").string();
    return std::filesystem::path(::mkdtemp(pattern.data()));
  }();
  return folder;
}

std::vector<uint8_t> Bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename Write, typename Read>
void Decode(benchmark::State& state, const std::string& name, Write write, Read read) {
  const auto file = Folder() / name;
  if (!write(file)) state.SkipWithError("not written");
  const std::vector<uint8_t> bytes = Bytes(file);
  for (auto _ : state) {
    ReadResult result = read(bytes);
    benchmark::DoNotOptimize(result.dib.Bytes().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

template <typename Write>
void Encode(benchmark::State& state, const std::string& name, Write write) {
  const auto file = Folder() / name;
  for (auto _ : state) benchmark::DoNotOptimize(write(file));
}

bool Pcx24(const std::filesystem::path& f) { return WritePcxImage(f, Photo24()); }
bool Pcx8(const std::filesystem::path& f) { return WritePcxImage(f, Poster8()); }
bool Tga(const std::filesystem::path& f) { return WriteTargaImage(f, Photo24(), false); }
bool TgaRle(const std::filesystem::path& f) { return WriteTargaImage(f, Photo24(), true); }
ReadResult ReadPcx(const std::vector<uint8_t>& b) { return ReadPcxImage(b); }
ReadResult ReadTga(const std::vector<uint8_t>& b) { return ReadTargaImage(b); }

// The floor for the uncompressed forms: copying the file's bytes once.
void BM_CopyFileBytes(benchmark::State& state) {
  Tga(Folder() / "copy.tga");
  const std::vector<uint8_t> bytes = Bytes(Folder() / "copy.tga");
  for (auto _ : state) {
    std::vector<uint8_t> copy(bytes);
    benchmark::DoNotOptimize(copy.data());
  }
}

void BM_DecodePcx24(benchmark::State& s) { Decode(s, "d24.pcx", Pcx24, ReadPcx); }
void BM_DecodePcx8(benchmark::State& s) { Decode(s, "d8.pcx", Pcx8, ReadPcx); }
void BM_DecodeTarga(benchmark::State& s) { Decode(s, "d.tga", Tga, ReadTga); }
void BM_DecodeTargaRle(benchmark::State& s) { Decode(s, "drle.tga", TgaRle, ReadTga); }
void BM_EncodePcx24(benchmark::State& s) { Encode(s, "e24.pcx", Pcx24); }
void BM_EncodePcx8(benchmark::State& s) { Encode(s, "e8.pcx", Pcx8); }
void BM_EncodeTarga(benchmark::State& s) { Encode(s, "e.tga", Tga); }
void BM_EncodeTargaRle(benchmark::State& s) { Encode(s, "erle.tga", TgaRle); }
BENCHMARK(BM_CopyFileBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodePcx24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodePcx8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeTarga)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeTargaRle)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodePcx24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodePcx8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeTarga)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeTargaRle)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(ravelle::Folder());
  return 0;
}
