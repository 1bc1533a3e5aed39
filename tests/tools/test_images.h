// Small images for the tools and colour tests: pixels addressed top row first, as a person reads
// them, and seeded random images of every depth whose unused bits and padding stay 0.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "shell/packed_dib.h"

namespace ravelle::test {

inline constexpr int kAllDepths[] = {1, 4, 8, 16, 24, 32};

// The raw value of pixel (x, y), y counted from the top: an index for 1-8 bits, the 16-bit
// word, or B | G << 8 | R << 16 (| fourth byte << 24) for 24 and 32 bits.
inline uint32_t PixelAt(const PackedDib& dib, int x, int y) {
  const auto row = dib.Row(dib.Height() - 1 - y);
  switch (dib.BitCount()) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    case 8: return row[x];
    case 16: return row[2 * x] | (row[2 * x + 1] << 8);
    case 24: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    default: return row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) | (uint32_t{row[4 * x + 3]} << 24);
  }
}

inline void SetPixel(PackedDib& dib, int x, int y, uint32_t v) {
  auto row = dib.Row(dib.Height() - 1 - y);
  switch (dib.BitCount()) {
    case 1:
      row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(0x80 >> (x % 8))) | ((v & 1) << (7 - x % 8)));
      break;
    case 4:
      row[x / 2] = x % 2 == 0 ? static_cast<uint8_t>((row[x / 2] & 0x0F) | (v << 4))
                              : static_cast<uint8_t>((row[x / 2] & 0xF0) | (v & 0x0F));
      break;
    case 8: row[x] = static_cast<uint8_t>(v); break;
    case 16:
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    default:
      for (int i = 0; i < dib.BitCount() / 8; ++i) row[dib.BitCount() / 8 * x + i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

// A 24-bit pixel value from red, green and blue.
inline uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return b | (g << 8) | (uint32_t{r} << 16); }

// A full colour table of distinct colours for indexed depths, random pixels everywhere.
inline PackedDib RandomImage(int width, int height, int bits, uint32_t seed) {
  PackedDib dib = CreateDib(width, height, bits);
  std::mt19937 random(seed);
  int i = 0;
  for (RgbQuad& c : dib.Colors()) {
    c = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 13 + 1), 0};
    ++i;
  }
  // 16-bit pixels are 5-5-5 with bit 15 clear, as every reader leaves them.
  const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : bits == 16 ? 0x7FFFu : bits == 24 ? 0xFFFFFFu : (1u << bits) - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) SetPixel(dib, x, y, random() & mask);
  }
  return dib;
}

// An image of the given size and depth whose pixels, top row first, are `values`.
inline PackedDib ImageOf(int width, int height, int bits, const std::vector<uint32_t>& values) {
  PackedDib dib = CreateDib(width, height, bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) SetPixel(dib, x, y, values[static_cast<std::size_t>(y * width + x)]);
  }
  return dib;
}

inline std::vector<uint32_t> PixelsOf(const PackedDib& dib) {
  std::vector<uint32_t> values;
  for (int y = 0; y < dib.Height(); ++y) {
    for (int x = 0; x < dib.Width(); ++x) values.push_back(PixelAt(dib, x, y));
  }
  return values;
}

inline std::vector<uint8_t> BytesOf(const PackedDib& dib) {
  return {dib.Bytes().begin(), dib.Bytes().end()};
}

}  // namespace ravelle::test
