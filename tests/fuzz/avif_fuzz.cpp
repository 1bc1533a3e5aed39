// libFuzzer target for the AVIF reader: the primary image (a sequence's first frame) from memory;
// then, for pictures of at most 96 pixels a side, up to 8 steps of a sequence, which come back to
// the first frame after the last. The image must be as large as its header says; its first and
// last bytes are read so that a block shorter than its size shows up under ASan.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/avif/avif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> file(data, size);
  const ravelle::ReadResult result = ravelle::ReadAvifImage(file);
  if (!result.dib) return 0;
  const ravelle::PackedDib& dib = result.dib;
  if ((dib.BitCount() != 24 && dib.BitCount() != 8) || dib.Pixels().size() != dib.Stride() * static_cast<std::size_t>(dib.Height())) {
    __builtin_trap();
  }
  const std::span<const uint8_t> bytes = dib.Bytes();
  unsigned sum = bytes.front() ^ bytes.back();
  constexpr int kMaxFuzzSide = 96;
  if (dib.Width() > kMaxFuzzSide || dib.Height() > kMaxFuzzSide) return 0;
  auto animation = ravelle::AvifAnimation::Open(file);
  if (!animation) return 0;
  const int steps = std::min(animation->FrameCount() + 1, 8);
  for (int i = 0; i < steps && animation->Step(); ++i) {
    for (uint8_t byte : animation->Frame().Row(0)) sum += byte;
    sum += static_cast<unsigned>(animation->Delay());
  }
  const volatile unsigned kept = sum;
  return static_cast<int>(kept & 0);
}
