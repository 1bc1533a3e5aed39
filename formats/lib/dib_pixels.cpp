#include "formats/lib/dib_pixels.h"

namespace ravelle {

bool IsGrayTable(std::span<const RgbQuad> table) {
  if (table.empty()) return false;
  for (const RgbQuad& c : table) {
    if (c.rgbRed != c.rgbGreen || c.rgbRed != c.rgbBlue) return false;
  }
  return true;
}

void RowToRgb(const PackedDib& dib, std::span<const uint8_t> row, uint8_t* out) {
  const int width = dib.Width();
  const int bits = dib.BitCount();
  switch (bits) {
    case 1: case 4: case 8: {
      const auto table = dib.Colors();
      for (int x = 0; x < width; ++x, out += 3) {
        const RgbQuad c = TableColor(table, PixelIndex(row, bits, x));
        out[0] = c.rgbRed;
        out[1] = c.rgbGreen;
        out[2] = c.rgbBlue;
      }
      break;
    }
    case 16:
      for (int x = 0; x < width; ++x, out += 3) {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        out[0] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
        out[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
        out[2] = static_cast<uint8_t>((v & 31) << 3);
      }
      break;
    case 24: case 32: {
      const int step = bits / 8;
      const uint8_t* in = row.data();
      for (int x = 0; x < width; ++x, out += 3, in += step) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
      break;
    }
    default:
      break;
  }
}

void RowToGray(const PackedDib& dib, std::span<const uint8_t> row, uint8_t* out) {
  const auto table = dib.Colors();
  const int bits = dib.BitCount();
  for (int x = 0; x < dib.Width(); ++x) out[x] = TableColor(table, PixelIndex(row, bits, x)).rgbRed;
}

}  // namespace ravelle
