// libFuzzer target for the enhanced metafile reader (and WMFs named .emf) and player.
#include "metafile_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ravelle::fuzz::Play(ravelle::ReadEnhancedMetafileBytes(std::span<const uint8_t>(data, size), "fuzz.emf"));
  return 0;
}
