// libFuzzer target for the SunIcon reader.
//
// A header of a few bytes can ask for a picture of a million rows, which the reader allocates
// and leaves as it is past the last word it found; checking such a picture whole takes seconds a
// run under the sanitizers for no code a smaller one does not reach, so only pictures up to
// 512 x 512 are checked.
#include "dib_fuzz_common.h"
#include "formats/sunicon/sunicon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ravelle::ReadResult result = ravelle::ReadSunIcon(std::span<const uint8_t>(data, size));
  if (result.dib && int64_t{result.dib.Width()} * result.dib.Height() > (int64_t{1} << 18)) return 0;
  ravelle::fuzz::Exercise(result);
  return 0;
}
