// libFuzzer target for the OS/2 1.x bitmap reader.
#include "dib_fuzz_common.h"
#include "formats/dib/dib_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ravelle;
  // The 16-bit sizes of this header cannot ask for more than the fuzzing limit allows anyway.
  ReadResult result = ReadOs2Dib({data, size});
  fuzz::Exercise(result);
  return 0;
}
