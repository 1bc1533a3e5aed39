// libFuzzer target for the JPEG reader: at its own size, or (the last byte odd) reduced for a
// preview, which decodes with the library's DCT scaling.
#include "formats/lib/jpeg_file.h"
#include "lib_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const int fitSide = size > 0 && (data[size - 1] & 1) != 0 ? 64 : 0;
  return ravelle::fuzz::FuzzFileReader(data, size, [&](const std::string& path) {
    return ravelle::ReadJpegImage(path, 24, fitSide);
  });
}
