// Shrinking a picture by area averaging: each pixel of the result is the mean of the part of the
// picture it covers, partly covered pixels counted by the share they lie under it.
#pragma once

#include "image/packed_dib.h"

namespace ravelle {

// The width and height that fit `picture` into a square of `side` pixels, aspect kept (each at
// least 1); the picture's own size when it fits already.
struct FitSize {
  int width = 0;
  int height = 0;
};
FitSize FitWithin(int width, int height, int side);

// `dib` (any depth) as a 24-bit picture of `width` x `height`, no larger than it on either side.
// Empty when there is no memory, or for an empty picture or size.
PackedDib ShrinkByArea(const PackedDib& dib, int width, int height);

}  // namespace ravelle
