// The turns and mirrors of pictures that the orientation tests need, and the reference decoders
// leave undone.
#pragma once

#include <vector>

#include "support/test_support.h"

namespace ravelle::test {

// A quarter turn anticlockwise, and the mirrors: `leftRight` exchanges left and right.
inline RgbImage QuarterTurnAnticlockwise(const RgbImage& in) {
  RgbImage out{in.height, in.width, std::vector<uint8_t>(in.rgb.size())};
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      const std::size_t to = 3 * (std::size_t(in.width - 1 - x) * out.width + y);
      for (int c = 0; c < 3; ++c) out.rgb[to + c] = in.rgb[3 * (std::size_t(y) * in.width + x) + c];
    }
  }
  return out;
}
inline RgbImage Mirrored(const RgbImage& in, bool leftRight) {
  RgbImage out = in;
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      const int fx = leftRight ? in.width - 1 - x : x, fy = leftRight ? y : in.height - 1 - y;
      for (int c = 0; c < 3; ++c) out.rgb[3 * (std::size_t(y) * in.width + x) + c] = in.rgb[3 * (std::size_t(fy) * in.width + fx) + c];
    }
  }
  return out;
}

}  // namespace ravelle::test
