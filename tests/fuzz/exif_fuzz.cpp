// libFuzzer target for the Exif orientation parser: the input is the block, exactly as long as
// it is, so that any read past its end shows up under ASan.
#include <cstddef>
#include <cstdint>

#include "formats/common/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const int orientation = ravelle::ExifOrientation({data, size});
  if (orientation < 0 || orientation > 8) __builtin_trap();
  return 0;
}
