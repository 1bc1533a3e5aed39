// libFuzzer target for the PCX reader; every image it returns is also run-length coded again.
#include <cstdlib>

#include "dib_fuzz_common.h"
#include "pcx_targa_fuzz_limit.h"
#include "formats/pcx/pcx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ravelle;
  using fuzz::Le;
  const int64_t width = static_cast<int16_t>(Le(data, size, 8, 2)) - static_cast<int64_t>(static_cast<int16_t>(Le(data, size, 4, 2))) + 1;
  const int64_t height = static_cast<int16_t>(Le(data, size, 10, 2)) - static_cast<int64_t>(static_cast<int16_t>(Le(data, size, 6, 2))) + 1;
  if (fuzz::TooLargeForFuzzing(width, height, 32) || std::abs(width * height) > fuzz::kMaxPcxTargaPixels) return 0;
  ReadResult result = ReadPcxImage({data, size});
  if (result.dib) {
    std::vector<uint8_t> coded;
    // Enough rows to reach the coder's corner cases, not so many that a wide image slows each run.
    for (int y = 0; y < result.dib.Height() && y < 64 && coded.size() < (std::size_t{1} << 14); ++y) {
      WritePcxRunLine(coded, result.dib.Row(y));
    }
  }
  fuzz::Exercise(result);
  return 0;
}
