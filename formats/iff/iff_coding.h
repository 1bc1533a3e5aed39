// What the IFF reader and writer share: plane lines turned into pixel values and back, eight
// at a time, and the coders the writer uses.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace ravelle::iff {

constexpr std::size_t Even(std::size_t n) { return n + (n & 1); }

// An 8 x 8 bit matrix transposed: bit 8 * r + c of the result is bit 8 * c + r of `x`.
constexpr uint64_t Transpose8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAu;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCu;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0u;
  x ^= t ^ (t << 28);
  return x;
}

// Eight pixels and the bytes of eight plane lines that hold them: byte k of `planes` is plane k's
// byte (the first pixel in its most significant bit), byte j of `pixels` is pixel j's value.
constexpr uint64_t PlanesToPixels(uint64_t planes) { return __builtin_bswap64(Transpose8x8(planes)); }
constexpr uint64_t PixelsToPlanes(uint64_t pixels) { return Transpose8x8(__builtin_bswap64(pixels)); }

// Eight bytes as a number, the first in the lowest bits, and back.
inline uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}
inline void Store8(uint8_t* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// Packs `n` bytes with ByteRun1 into `out`, which has room for 2 n bytes (no packet is more than
// twice the bytes it stands for); returns the packed length.
std::size_t PackByteRun1(const uint8_t* line, std::size_t n, uint8_t* out);

// The 6-bit hold-and-modify codes of up to sixteen rows of red, green, blue triplets (`width`
// pixels each) into the rows of `codeRows`. Each pixel takes the gray level of its luminance, or
// modifies the component that differs most from the pixel before it, whichever strays less.
inline constexpr int kHamRowsAtOnce = 16;
void EncodeHamRows(std::span<const uint8_t* const> rgbRows, std::span<uint8_t* const> codeRows, std::size_t width);

}  // namespace ravelle::iff
