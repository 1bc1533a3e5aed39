// JPEG XL files written through libjxl on two threads: lossy at distance 1 (visually lossless),
// or lossless; 8-bit sRGB colour, no alpha.
#pragma once

#include <cstdio>

#include "image/packed_dib.h"

namespace ravelle {

// False when the library fails; what was written is then incomplete and the caller discards it.
bool WriteJxlImage(const PackedDib& dib, std::FILE* out, bool lossless);

}  // namespace ravelle
