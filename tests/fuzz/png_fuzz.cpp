// libFuzzer target for the PNG reader.
#include "formats/lib/png_file.h"
#include "lib_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return ravelle::fuzz::FuzzFileReader(data, size, [](const std::string& path) { return ravelle::ReadPngImage(path, 24); });
}
