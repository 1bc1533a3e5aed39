// Reading and packing the pixels of a PackedDib, shared by the tools, the colour reductions and
// the writers: the checked row geometry, the index of a pixel at 1, 4 and 8 bits, and rows as
// red, green, blue or gray bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "image/packed_dib.h"

namespace ravelle {

struct DibGeometry {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::size_t stride = 0;
};

// The geometry of an image of 1, 4, 8, 16, 24 or 32 bits whose block holds every row its
// header promises; nothing otherwise.
std::optional<DibGeometry> CompleteGeometry(const PackedDib& dib);

// The index of pixel x in a row of 1, 4 or 8 bits per pixel (the first pixel in the most
// significant bits of its byte).
inline unsigned PixelIndex(const uint8_t* row, int bits, int x) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) == 0 ? row[x >> 1] >> 4 : row[x >> 1] & 0x0Fu;
    default: return row[x];
  }
}
inline unsigned PixelIndex(std::span<const uint8_t> row, int bits, int x) { return PixelIndex(row.data(), bits, x); }

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
  for (int x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(PixelIndex(row, bits, x));
}

// The colour-table entry an index selects; black for an index beyond the table.
inline RgbQuad TableColor(std::span<const RgbQuad> table, unsigned index) {
  return index < table.size() ? table[index] : RgbQuad{};
}

// How many colour-table entries a writer gives an indexed image so that every pixel's index has
// one: the table's size, or one past the highest index when pixels index beyond the table (the
// entries added are black, as such pixels are shown). 0 above 8 bits.
std::size_t EntriesForIndices(const PackedDib& dib);

// True when the table has entries and every one of them has equal red, green and blue.
bool IsGrayTable(std::span<const RgbQuad> table);

// True when the first `pairs` + 1 entries of a gray table step by exactly `step` (up or down):
// the gray ramps that the writers store as 2- or 4-bit gray levels.
bool GrayStepsBy(std::span<const RgbQuad> table, std::size_t pairs, int step);

// One row as red, green, blue triplets (width × 3 bytes into `out`): indexed pixels through the
// colour table, 16-bit pixels read as 5-5-5 (each field shifted left by 3, bit 15 ignored),
// 24-bit and 32-bit pixels reordered from blue, green, red (the fourth byte dropped).
void RowToRgb(std::span<const RgbQuad> table, int bits, int width, const uint8_t* row, uint8_t* out);
inline void RowToRgb(const PackedDib& dib, std::span<const uint8_t> row, uint8_t* out) {
  RowToRgb(dib.Colors(), dib.BitCount(), dib.Width(), row.data(), out);
}

// The red value of each pixel's colour-table entry (width bytes into `out`): the gray level of
// an image whose table is gray.
void RowToGray(const PackedDib& dib, std::span<const uint8_t> row, uint8_t* out);

}  // namespace ravelle
