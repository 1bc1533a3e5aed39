// Brightening and darkening: a gamma correction of the colour table of an indexed image,
// always computed from the colours the image had before the first step, so that any number of
// steps can be undone exactly. The pixels never change.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "image/packed_dib.h"

namespace ravelle {

// The value each colour component takes at a brightness level: 0.5 + 255 x (i / 255) to the
// power 2^(-level / 2), truncated. Level 0 is the identity.
std::array<uint8_t, 256> BrightnessTable(int level);

// step +1 brightens, -1 darkens, 0 puts back the colours kept in `savedColors` and sets `level`
// to 0. The first step from level 0 keeps the image's colours in `savedColors` (one entry per
// colour-table entry, up to its size). Images of more than 8 bits are left alone.
void AdjustBrightness(PackedDib& dib, std::span<RgbQuad> savedColors, int& level, int step);

}  // namespace ravelle
