// Images and their pixels, addressed top row first: seeded random images of every depth whose
// unused bits and padding stay 0, images of given pixels, and their bytes.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "image/packed_dib.h"

namespace ravelle::test {

inline constexpr int kAllDepths[] = {1, 4, 8, 16, 24, 32};

// Pixel (x, y), y from the top: an index, the 16-bit word, or B | G << 8 | R << 16 (| x << 24).
inline uint32_t PixelAt(const PackedDib& dib, int x, int y) {
  const auto row = dib.Row(dib.Height() - 1 - y);
  const int bits = dib.BitCount();
  if (bits < 8) return (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1);
  uint32_t v = 0;
  for (int i = bits / 8 - 1; i >= 0; --i) v = v << 8 | row[static_cast<std::size_t>(bits / 8 * x + i)];
  return v;
}

inline void SetPixel(PackedDib& dib, int x, int y, uint32_t v) {
  auto row = dib.Row(dib.Height() - 1 - y);
  const int bits = dib.BitCount();
  if (bits < 8) {
    const int shift = 8 - bits - x * bits % 8;
    uint8_t& byte = row[x * bits / 8];
    byte = static_cast<uint8_t>((byte & ~(((1u << bits) - 1) << shift)) | (v << shift));
    return;
  }
  for (int i = 0; i < bits / 8; ++i) row[static_cast<std::size_t>(bits / 8 * x + i)] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return b | (g << 8) | (uint32_t{r} << 16); }

// Distinct colours in the table of indexed depths; 16-bit pixels keep bit 15 clear, as every
// reader leaves them.
inline PackedDib RandomImage(int width, int height, int bits, uint32_t seed) {
  PackedDib dib = CreateDib(width, height, bits);
  std::mt19937 random(seed);
  int i = 0;
  for (RgbQuad& c : dib.Colors()) {
    c = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 13 + 1), 0};
    ++i;
  }
  const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : bits == 16 ? 0x7FFFu : (1u << bits) - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) SetPixel(dib, x, y, random() & mask);
  }
  return dib;
}

// An image whose pixels, top row first, are `values`.
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

// The header, colour table and rows; not the slack a block may keep after its image was
// repacked into fewer bits.
inline std::vector<uint8_t> BytesOf(const PackedDib& dib) {
  const auto bytes = dib.Bytes().first(dib.PixelOffset() + dib.Pixels().size());
  return {bytes.begin(), bytes.end()};
}

}  // namespace ravelle::test
