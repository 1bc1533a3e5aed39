// libFuzzer target for the GIF reader: the first image, then every frame composed once (up to 8)
// and the step back to the first, on screens of at most 96 pixels a side.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/gif/gif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> file(data, size);
  const ravelle::ReadResult result = ravelle::ReadGifImage(file);
  if (result.dib && result.dib.Pixels().size() != result.dib.Stride() * static_cast<std::size_t>(result.dib.Height())) {
    __builtin_trap();
  }
  // Screens are legal up to the size limit, but every step composes a whole screen, row by row:
  // larger ones are left to the first image (and the limit to the unit tests), so that runs stay
  // fast.
  // Frames larger than their screen are decoded only where they are on it.
  constexpr int kMaxFuzzScreenSide = 96;
  if (size < 10 || (data[6] | data[7] << 8) > kMaxFuzzScreenSide || (data[8] | data[9] << 8) > kMaxFuzzScreenSide) return 0;
  auto animation = ravelle::GifAnimation::Open(file);
  if (!animation) return 0;
  // Stepping on past that repeats frames already composed: each step costs a whole screen.
  const int steps = std::min(animation->FrameCount() + 1, 8);
  unsigned sum = 0;
  for (int i = 0; i < steps && animation->Step(); ++i) {
    for (uint8_t byte : animation->Frame().Row(0)) sum += byte;
    sum += static_cast<unsigned>(animation->Delay());
  }
  return static_cast<int>(sum & 0);
}
