// Writing a PackedDib as a GIF89a file with one image and its own colour table. 1-, 4- and
// 8-bit images keep their pixels; deeper images are first reduced to their 256 best colours.
#pragma once

#include <cstdio>

#include "image/packed_dib.h"

namespace ravelle {

// Writes into a stream the caller created and closes; rows in the four interlace passes when
// `interlaced`. False when the image cannot be written (no image, a depth without pixels).
bool WriteGifImage(const PackedDib& dib, std::FILE* out, bool interlaced);

}  // namespace ravelle
