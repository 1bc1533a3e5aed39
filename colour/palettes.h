// The fixed palettes of the colour commands, as red, green, blue.
#pragma once

#include <cstdint>
#include <span>

namespace ravelle {

struct PaletteColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const PaletteColor&, const PaletteColor&) = default;
};

// Index 0 white, index 1 black.
std::span<const PaletteColor> MonochromePalette();
// The 16 standard Windows colours.
std::span<const PaletteColor> StandardPalette16();
// The 216-colour web cube: entry 36 r + 6 g + b is (L[r], L[g], L[b]), L = 0, 51, ... 255.
std::span<const PaletteColor> WebPalette216();
// The 256 standard Windows colours: a fixed table, not built by a rule.
std::span<const PaletteColor> StandardPalette256();

// The palette a positive colour choice asks for (2, 16, 216 or 256); empty for any other.
std::span<const PaletteColor> FixedPalette(int choice);

}  // namespace ravelle
