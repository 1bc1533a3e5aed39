// libFuzzer target for the JPEG reader.
#include "formats/lib/jpeg_file.h"
#include "lib_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return ravelle::fuzz::FuzzFileReader(data, size, [](const std::string& path) { return ravelle::ReadJpegImage(path, 24); });
}
