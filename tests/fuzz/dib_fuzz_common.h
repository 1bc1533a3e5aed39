// Shared by the bitmap fuzz targets: what is done with every image a reader returns, so that
// the code behind the readers (repacking, RLE encoding) is exercised on hostile images too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/common/read_result.h"
#include "formats/dib/bmp_writer.h"
#include "shell/current_image.h"

namespace ravelle::fuzz {

// Images over this size are legal but make each run slow; the size limit itself is tested
// in the unit tests.
inline constexpr uint64_t kMaxFuzzPixelsBytes = uint64_t{2} << 20;

inline uint32_t Le(const uint8_t* data, std::size_t size, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | (at + i < size ? data[at + i] : 0);
  return v;
}

inline bool TooLargeForFuzzing(int64_t width, int64_t height, int64_t bits) {
  if (width < 0) width = -width;
  if (height < 0) height = -height;
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bits > 0 ? bits : 1) / 8 >
         kMaxFuzzPixelsBytes;
}

inline void Exercise(ReadResult& result) {
  PackedDib& dib = result.dib;
  // A damaged file gives no picture; a cut one gives the part it holds.
  if (result.status == ReadStatus::Damaged && dib) __builtin_trap();
  if (!dib) return;
  if (dib.Pixels().size() != dib.Stride() * static_cast<std::size_t>(dib.Height())) __builtin_trap();
  CompactDibDepth(dib);
  const int bits = dib.BitCount();
  if (bits == 4 || bits == 8) {
    std::vector<uint8_t> encoded;
    for (int y = 0; y < dib.Height() && y < 64; ++y) {
      encoded.clear();
      EncodeRleRow(dib.Row(y), dib.Width(), bits == 8 ? 1 : 2, &encoded);
    }
  }
}

// Runs a reader of a header with 32-bit width, height and 16-bit depth at offsets 18, 22 and 28
// (the Windows and the OS/2 2.0 headers) on one input.
inline void FuzzLongHeaderReader(const uint8_t* data, std::size_t size,
                                 ReadResult (*read)(std::span<const uint8_t>, std::size_t)) {
  const auto width = static_cast<int32_t>(Le(data, size, 18, 4));
  const auto height = static_cast<int32_t>(Le(data, size, 22, 4));
  if (TooLargeForFuzzing(width, height, Le(data, size, 28, 2))) return;
  ReadResult result = read(std::span<const uint8_t>(data, size), 0);
  Exercise(result);
}

}  // namespace ravelle::fuzz
