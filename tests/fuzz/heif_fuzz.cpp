// libFuzzer target for the HEIF reader: the primary image from memory, and the box walk that
// finds its rotation and mirror. The image must be as large as its header says; its first and
// last bytes are read so that a block shorter than its size shows up under ASan.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/heif/heif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> file(data, size);
  const ravelle::HeifPrimaryTraits traits = ravelle::ReadHeifPrimaryTraits(file);
  if (traits.orientation < 1 || traits.orientation > 8) __builtin_trap();
  const ravelle::ReadResult result = ravelle::ReadHeifImage(file);
  if (!result.dib) return 0;
  const ravelle::PackedDib& dib = result.dib;
  if ((dib.BitCount() != 24 && dib.BitCount() != 8) || dib.Pixels().size() != dib.Stride() * static_cast<std::size_t>(dib.Height())) {
    __builtin_trap();
  }
  const std::span<const uint8_t> bytes = dib.Bytes();
  const volatile unsigned kept = bytes.front() ^ bytes.back();
  return static_cast<int>(kept & 0);
}
