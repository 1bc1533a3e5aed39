// libFuzzer target for the Targa reader; every image it returns is also run-length coded again.
#include <algorithm>

#include "dib_fuzz_common.h"
#include "pcx_targa_fuzz_limit.h"
#include "formats/targa/targa_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ravelle;
  const int64_t width = fuzz::Le(data, size, 12, 2);
  const int64_t height = fuzz::Le(data, size, 14, 2);
  if (fuzz::TooLargeForFuzzing(width, height, 32) || width * height > fuzz::kMaxPcxTargaPixels) return 0;
  ReadResult result = ReadTargaImage({data, size});
  if (PackedDib& dib = result.dib; dib && dib.BitCount() >= 8) {
    const int bytes = dib.BitCount() / 8;
    std::vector<uint8_t> coded(static_cast<std::size_t>(dib.Width()) * (bytes + 1));
    // Enough rows to reach the coder's corner cases, not so many that a wide image slows each run.
    const int rows = std::max(1, std::min({dib.Height(), 64, (1 << 14) / dib.Width()}));
    for (int y = 0; y < rows; ++y) EncodeTargaRunLine(dib.Row(y).data(), coded.data(), dib.Width(), bytes);
  }
  fuzz::Exercise(result);
  return 0;
}
