// AVIF files written through libavif and its AV1 encoder: 8-bit 4:2:0 at quality 80 (quantizer
// 13 of 63), at a speed that keeps a large photograph to a few seconds on two cores.
#pragma once

#include <cstdio>

#include "image/packed_dib.h"

namespace ravelle {

// False when the library fails; what was written is then incomplete and the caller discards it.
bool WriteAvifImage(const PackedDib& dib, std::FILE* out);

}  // namespace ravelle
