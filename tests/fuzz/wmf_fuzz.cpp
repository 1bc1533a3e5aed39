// libFuzzer target for the Windows metafile reader and player, plain and placeable.
#include "metafile_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const bool placeable = size >= 2 && data[0] == 0xD7 && data[1] == 0xCD;
  ravelle::fuzz::Play(ravelle::ReadWindowsMetafile(bytes, placeable));
  return 0;
}
