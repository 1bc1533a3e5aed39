#include "tools/brightness.h"

#include <algorithm>
#include <cmath>

namespace ravelle {

std::array<uint8_t, 256> BrightnessTable(int level) {
  const double gamma = std::pow(2.0, -static_cast<double>(level) * 0.5);
  std::array<uint8_t, 256> table{};
  // table[0] stays 0: a base of 0 gives 0 whatever the power.
  for (int i = 1; i < 256; ++i) {
    const double value = 0.5 + 255.0 * std::pow(i * 0.00392156862745098, gamma);
    table[static_cast<std::size_t>(i)] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
  }
  return table;
}

void AdjustBrightness(PackedDib& dib, std::span<RgbQuad> savedColors, int& level, int step) {
  if (!dib) return;
  const int bits = dib.BitCount();
  if (bits != 1 && bits != 4 && bits != 8) return;
  const std::span<RgbQuad> colors = dib.Colors();
  const std::size_t n = std::min(colors.size(), savedColors.size());

  if (step == 0) {
    std::copy_n(savedColors.begin(), n, colors.begin());
    level = 0;
    return;
  }
  if (level == 0) std::copy_n(colors.begin(), n, savedColors.begin());
  level += step;
  const std::array<uint8_t, 256> table = BrightnessTable(level);
  for (std::size_t j = 0; j < n; ++j) {
    colors[j].rgbBlue = table[savedColors[j].rgbBlue];
    colors[j].rgbGreen = table[savedColors[j].rgbGreen];
    colors[j].rgbRed = table[savedColors[j].rgbRed];
  }
}

}  // namespace ravelle
