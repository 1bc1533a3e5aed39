// libFuzzer target for the PCX reader; every image it returns is also run-length coded again.
#include "dib_fuzz_common.h"
#include "formats/pcx/pcx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ravelle;
  using fuzz::Le;
  const int64_t width = static_cast<int16_t>(Le(data, size, 8, 2)) - static_cast<int64_t>(static_cast<int16_t>(Le(data, size, 4, 2))) + 1;
  const int64_t height = static_cast<int16_t>(Le(data, size, 10, 2)) - static_cast<int64_t>(static_cast<int16_t>(Le(data, size, 6, 2))) + 1;
  if (fuzz::TooLargeForFuzzing(width, height, 32)) return 0;
  ReadResult result = ReadPcxImage({data, size});
  if (result.dib) {
    std::vector<uint8_t> coded;
    for (int y = 0; y < result.dib.Height() && y < 64; ++y) WritePcxRunLine(coded, result.dib.Row(y));
  }
  fuzz::Exercise(result);
  return 0;
}
