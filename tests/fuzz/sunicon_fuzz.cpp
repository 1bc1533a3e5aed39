// libFuzzer target for the SunIcon reader.
#include "dib_fuzz_common.h"
#include "formats/sunicon/sunicon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ravelle::ReadResult result = ravelle::ReadSunIcon(std::span<const uint8_t>(data, size));
  ravelle::fuzz::Exercise(result);
  return 0;
}
