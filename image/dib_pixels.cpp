#include "image/dib_pixels.h"

#include <algorithm>
#include <cstdlib>

namespace ravelle {

std::optional<DibGeometry> CompleteGeometry(const PackedDib& dib) {
  if (!dib) return std::nullopt;
  const BitmapInfoHeader& h = dib.Header();
  const auto stride = DibStride(h.biWidth, h.biBitCount);
  if (!stride || h.biHeight <= 0) return std::nullopt;
  if (dib.Pixels().size() / *stride < static_cast<std::size_t>(h.biHeight)) return std::nullopt;
  return DibGeometry{h.biWidth, h.biHeight, h.biBitCount, *stride};
}

std::size_t EntriesForIndices(const PackedDib& dib) {
  const int bits = dib.BitCount();
  if (bits != 1 && bits != 4 && bits != 8) return 0;
  const std::size_t entries = dib.Colors().size();
  if (entries >= std::size_t{1} << bits) return entries;
  unsigned highest = 0;
  for (int y = 0; y < dib.Height(); ++y) {
    const auto row = dib.Row(y);
    if (row.empty()) break;
    for (int x = 0; x < dib.Width(); ++x) highest = std::max(highest, PixelIndex(row, bits, x));
  }
  return std::max<std::size_t>(entries, highest + 1);
}

bool IsGrayTable(std::span<const RgbQuad> table) {
  if (table.empty()) return false;
  for (const RgbQuad& c : table) {
    if (c.rgbRed != c.rgbGreen || c.rgbRed != c.rgbBlue) return false;
  }
  return true;
}

bool GrayStepsBy(std::span<const RgbQuad> table, std::size_t pairs, int step) {
  if (table.size() <= pairs) return false;
  for (std::size_t i = 0; i < pairs; ++i) {
    if (std::abs(table[i].rgbRed - table[i + 1].rgbRed) != step) return false;
  }
  return true;
}

void RowToRgb(std::span<const RgbQuad> table, int bits, int width, const uint8_t* row, uint8_t* out) {
  switch (bits) {
    case 1: case 4: case 8:
      for (int x = 0; x < width; ++x, out += 3) {
        const RgbQuad c = TableColor(table, PixelIndex(row, bits, x));
        out[0] = c.rgbRed;
        out[1] = c.rgbGreen;
        out[2] = c.rgbBlue;
      }
      break;
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
      for (int x = 0; x < width; ++x, out += 3, row += step) {
        out[0] = row[2];
        out[1] = row[1];
        out[2] = row[0];
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
