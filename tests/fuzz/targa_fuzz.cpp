// libFuzzer target for the Targa reader; every image it returns is also run-length coded again.
#include "dib_fuzz_common.h"
#include "formats/targa/targa_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ravelle;
  if (fuzz::TooLargeForFuzzing(fuzz::Le(data, size, 12, 2), fuzz::Le(data, size, 14, 2), 32)) return 0;
  ReadResult result = ReadTargaImage({data, size});
  if (PackedDib& dib = result.dib; dib && dib.BitCount() >= 8) {
    const int bytes = dib.BitCount() / 8;
    std::vector<uint8_t> coded(static_cast<std::size_t>(dib.Width()) * (bytes + 1));
    for (int y = 0; y < dib.Height() && y < 64; ++y) EncodeTargaRunLine(dib.Row(y).data(), coded.data(), dib.Width(), bytes);
  }
  fuzz::Exercise(result);
  return 0;
}
