// Reading the pixels of a PackedDib for the writers that hand rows to an image library: the
// colour-table index of a pixel at 1, 4 and 8 bits, and a whole row as red, green, blue.
#pragma once

#include <cstdint>
#include <span>

#include "shell/packed_dib.h"

namespace ravelle {

// The index of pixel x in a row of 1, 4 or 8 bits per pixel (the first pixel in the most
// significant bits of its byte).
inline unsigned PixelIndex(std::span<const uint8_t> row, int bits, int x) {
  switch (bits) {
    case 1: return (row[static_cast<std::size_t>(x) / 8] >> (7 - x % 8)) & 1u;
    case 4: return (row[static_cast<std::size_t>(x) / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0Fu;
    default: return row[static_cast<std::size_t>(x)];
  }
}

// The colour-table entry an index selects; black for an index beyond the table.
inline RgbQuad TableColor(std::span<const RgbQuad> table, unsigned index) {
  return index < table.size() ? table[index] : RgbQuad{};
}

// True when the table has entries and every one of them has equal red, green and blue.
bool IsGrayTable(std::span<const RgbQuad> table);

// One row of the image as red, green, blue triplets (width × 3 bytes into `out`): indexed
// pixels through the colour table, 16-bit pixels read as 5-5-5 (each field shifted left by 3),
// 24-bit and 32-bit pixels reordered from blue, green, red (the fourth byte dropped).
void RowToRgb(const PackedDib& dib, std::span<const uint8_t> row, uint8_t* out);

// The red value of each pixel's colour-table entry (width bytes into `out`): the gray level of
// an image whose table is gray.
void RowToGray(const PackedDib& dib, std::span<const uint8_t> row, uint8_t* out);

}  // namespace ravelle
