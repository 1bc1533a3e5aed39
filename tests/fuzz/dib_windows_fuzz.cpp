// libFuzzer target for the Windows bitmap reader (any header size).
#include "dib_fuzz_common.h"
#include "formats/dib/dib_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ravelle::fuzz::FuzzLongHeaderReader(data, size, ravelle::ReadWindowsDib);
  return 0;
}
