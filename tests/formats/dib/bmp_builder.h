// Builds bitmap files byte by byte for the reader tests, so that each case states its header
// fields instead of hiding them in a binary fixture.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace ravelle::test {

struct BmpFields {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t planes = 1;
  uint16_t bits = 8;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  uint32_t clrUsed = 0;
  int64_t offBits = -1;  // -1: right behind everything before the pixels
};

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// Little-endian words, one after the other.
inline std::vector<uint8_t> Le16(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> b;
  for (uint32_t v : values) Put16(b, v);
  return b;
}

// A Windows bitmap (header size 40, 52, 56, 108 or 124): header, `extra` (masks after a 40-byte
// header, or the colour table), then `pixels`. Masks of longer headers go in `headerMasks`.
inline std::vector<uint8_t> WindowsBmp(const BmpFields& f, const std::vector<uint8_t>& extra,
                                       const std::vector<uint8_t>& pixels,
                                       const std::vector<uint32_t>& headerMasks = {}) {
  std::vector<uint8_t> b{'B', 'M'};
  const uint32_t before = 14 + f.headerSize + static_cast<uint32_t>(extra.size());
  Put32(b, before + static_cast<uint32_t>(pixels.size()));
  Put32(b, 0);
  Put32(b, f.offBits >= 0 ? static_cast<uint32_t>(f.offBits) : before);
  Put32(b, f.headerSize);
  Put32(b, static_cast<uint32_t>(f.width));
  Put32(b, static_cast<uint32_t>(f.height));
  Put16(b, f.planes);
  Put16(b, f.bits);
  Put32(b, f.compression);
  Put32(b, f.sizeImage);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, f.clrUsed);
  Put32(b, 0);
  for (uint32_t mask : headerMasks) Put32(b, mask);
  b.resize(14 + f.headerSize, 0);
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// An OS/2 1.x bitmap: 12-byte core header, 3-byte colour entries, then `pixels`.
inline std::vector<uint8_t> Os2Bmp(uint16_t width, uint16_t height, uint16_t bits, const std::vector<uint8_t>& table,
                                   const std::vector<uint8_t>& pixels, int64_t offBits = -1) {
  std::vector<uint8_t> b{'B', 'M'};
  const uint32_t before = 26 + static_cast<uint32_t>(table.size());
  Put32(b, before + static_cast<uint32_t>(pixels.size()));
  Put32(b, 0);
  Put32(b, offBits >= 0 ? static_cast<uint32_t>(offBits) : before);
  Put32(b, 12);
  Put16(b, width);
  Put16(b, height);
  Put16(b, 1);
  Put16(b, bits);
  b.insert(b.end(), table.begin(), table.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// An OS/2 2.0 bitmap: 64-byte header, 4-byte colour entries, then `data`.
inline std::vector<uint8_t> Os2v2Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                                     const std::vector<uint8_t>& table, const std::vector<uint8_t>& data) {
  return WindowsBmp({.headerSize = 64, .width = width, .height = height, .bits = bits, .compression = compression}, table, data);
}

}  // namespace ravelle::test
