// The GIF coder over a whole buffer, and the one-row hold-and-modify coder the IFF writer's
// vector coder is checked against.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/gif/gif_lzw.h"

namespace ravelle::test {

// The GIF image data of `indices` (each below 2^minCodeSize), appended to `out`.
inline void EncodeGifLzw(std::span<const uint8_t> indices, int minCodeSize, std::vector<uint8_t>& out) {
  GifLzwEncoder encoder(minCodeSize, out);
  encoder.Add(indices);
  encoder.Finish();
}

// The 6-bit hold-and-modify codes of one row of red, green, blue triplets, a pixel at a time:
// the gray level of its luminance (truncated, in sixteenths) or the modified component, whichever
// strays less from the pixel.
inline void EncodeHamRow(std::span<const uint8_t> rgb, std::span<uint8_t> codes) {
  const auto grayOf = [](int red, int green, int blue) {
    return static_cast<int>(static_cast<unsigned>(0.299 * red + 0.587 * green + 0.114 * blue) >> 4);
  };
  int runR = 0, runG = 0, runB = 0;
  for (std::size_t x = 0; x < codes.size(); ++x) {
    const int red = rgb[3 * x], green = rgb[3 * x + 1], blue = rgb[3 * x + 2];
    const int l = grayOf(red, green, blue);
    const int r = red / 16, g = green / 16, b = blue / 16;
    if (x == 0) {
      codes[x] = static_cast<uint8_t>(l);
      runR = runG = runB = l;
      continue;
    }
    const int dR = std::abs(r - runR), dG = std::abs(g - runG), dB = std::abs(b - runB);
    const int gray = std::abs(r - l) + std::abs(g - l) + std::abs(b - l);
    const int costR = dG + dB, costG = dR + dB, costB = dR + dG;
    if (gray < costR && gray < costG && gray < costB) {
      codes[x] = static_cast<uint8_t>(l);
      runR = runG = runB = l;
    } else if (costB < costR && costB < costG) {
      codes[x] = static_cast<uint8_t>(0x10 | b);
      runB = b;
    } else if (costR >= costG) {
      codes[x] = static_cast<uint8_t>(0x30 | g);
      runG = g;
    } else {
      codes[x] = static_cast<uint8_t>(0x20 | r);
      runR = r;
    }
  }
}

}  // namespace ravelle::test
