// Row geometry of a PackedDib, checked against its block, and the 1- and 4-bit pixel packing,
// shared by the tools and the colour reductions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "shell/packed_dib.h"

namespace ravelle {

struct DibGeometry {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::size_t stride = 0;
};

// The geometry of an image of 1, 4, 8, 16, 24 or 32 bits whose block holds every row its
// header promises; nothing otherwise.
inline std::optional<DibGeometry> CompleteGeometry(const PackedDib& dib) {
  if (!dib) return std::nullopt;
  const BitmapInfoHeader& h = dib.Header();
  const auto stride = DibStride(h.biWidth, h.biBitCount);
  if (!stride || h.biHeight <= 0) return std::nullopt;
  if (dib.Pixels().size() / *stride < static_cast<std::size_t>(h.biHeight)) return std::nullopt;
  return DibGeometry{h.biWidth, h.biHeight, h.biBitCount, *stride};
}

// Pixel x of a 1-bit row (bit 7 is the first pixel) or a 4-bit row (the high nibble first).
inline uint8_t PackedPixel(const uint8_t* row, int bits, int x) {
  if (bits == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return (x & 1) == 0 ? row[x >> 1] >> 4 : row[x >> 1] & 0x0F;
}

// Adds pixel x into a zeroed 1- or 4-bit row.
inline void AddPackedPixel(uint8_t* row, int bits, int x, uint8_t value) {
  if (bits == 1) {
    if (value != 0) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
  } else {
    row[x >> 1] |= (x & 1) == 0 ? static_cast<uint8_t>(value << 4) : value;
  }
}

// One byte a pixel from a 1- or 4-bit row.
inline void UnpackRow(const uint8_t* row, int bits, int width, uint8_t* out) {
  for (int x = 0; x < width; ++x) out[x] = PackedPixel(row, bits, x);
}

}  // namespace ravelle
