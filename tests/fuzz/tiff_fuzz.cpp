// libFuzzer target for the TIFF reader.
#include "formats/lib/tiff_file.h"
#include "lib_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return ravelle::fuzz::FuzzFileReader(data, size, [](const std::string& path) { return ravelle::ReadTiffImage(path); });
}
