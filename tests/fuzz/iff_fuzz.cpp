// libFuzzer target for the IFF reader.
#include "dib_fuzz_common.h"
#include "formats/iff/iff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ravelle::ReadResult result = ravelle::ReadIffImage(std::span<const uint8_t>(data, size));
  ravelle::fuzz::Exercise(result);
  return 0;
}
