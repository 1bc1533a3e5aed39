// WebP files written through libwebp: lossy at quality 90, or lossless. Every depth is written
// as its colours (no alpha); a picture wider or taller than 16383 pixels has no WebP form.
#pragma once

#include <cstdio>

#include "image/packed_dib.h"

namespace ravelle {

// False when the picture has no WebP form or the library fails; what was written is then
// incomplete and the caller discards it.
bool WriteWebpImage(const PackedDib& dib, std::FILE* out, bool lossless);

}  // namespace ravelle
