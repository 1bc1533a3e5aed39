#include "tools/transform.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "image/dib_pixels.h"

namespace ravelle {
namespace {

// Where the pixels of an image are, once its header has been checked against its block.
struct Geometry : DibGeometry {
  uint8_t* pixels = nullptr;
};

bool GeometryOf(PackedDib& dib, Geometry* g) {
  const auto geometry = CompleteGeometry(dib);
  if (!geometry) return false;
  *g = {*geometry, dib.Pixels().data()};
  return true;
}

// A zeroed scratch buffer; empty when the memory is not there.
std::unique_ptr<uint8_t[]> Scratch(std::size_t bytes) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[std::max<std::size_t>(bytes, 1)]());
}

// Quarter turns of whole-byte pixels, in tiles so that both images are walked through the cache.
// Rotate90:  destination row k, column r = source row r, column w - 1 - k
// Rotate270: destination row k, column c = source row h - 1 - c, column k
// (rows counted from the bottom row as stored, columns from the left).
template <int kBytes>
void QuarterTurnBytes(const Geometry& src, uint8_t* dst, std::size_t dstStride, bool clockwise) {
  constexpr int kTile = 64;
  const int w = src.width;
  const int h = src.height;
  for (int k0 = 0; k0 < w; k0 += kTile) {
    const int k1 = std::min(w, k0 + kTile);
    for (int c0 = 0; c0 < h; c0 += kTile) {
      const int c1 = std::min(h, c0 + kTile);
      for (int k = k0; k < k1; ++k) {
        uint8_t* out = dst + static_cast<std::size_t>(k) * dstStride + static_cast<std::size_t>(c0) * kBytes;
        if (clockwise) {
          const std::size_t column = static_cast<std::size_t>(w - 1 - k) * kBytes;
          for (int c = c0; c < c1; ++c, out += kBytes) {
            std::memcpy(out, src.pixels + static_cast<std::size_t>(c) * src.stride + column, kBytes);
          }
        } else {
          const std::size_t column = static_cast<std::size_t>(k) * kBytes;
          for (int c = c0; c < c1; ++c, out += kBytes) {
            std::memcpy(out, src.pixels + static_cast<std::size_t>(h - 1 - c) * src.stride + column, kBytes);
          }
        }
      }
    }
  }
}

// Quarter turns of 1- and 4-bit pixels: each source row is unpacked to one byte a pixel, and
// each pixel is added into its place in the zeroed destination, so unused bits stay 0.
void QuarterTurnPacked(const Geometry& src, uint8_t* dst, std::size_t dstStride, bool clockwise, uint8_t* scratch) {
  const int w = src.width;
  const int h = src.height;
  for (int r = 0; r < h; ++r) {
    UnpackRow(src.pixels + static_cast<std::size_t>(r) * src.stride, src.bits, w, scratch);
    for (int k = 0; k < w; ++k) {
      const uint8_t value = scratch[w - 1 - k];
      if (clockwise) {
        AddPackedPixel(dst + static_cast<std::size_t>(k) * dstStride, src.bits, r, value);
      } else {
        AddPackedPixel(dst + static_cast<std::size_t>(w - 1 - k) * dstStride, src.bits, h - 1 - r, value);
      }
    }
  }
}

TransformStatus QuarterTurn(PackedDib& dib, const Geometry& src, bool clockwise) {
  const auto newStride = DibStride(src.height, src.bits);
  const std::size_t tableEnd = dib.PixelOffset();
  if (!newStride) return TransformStatus::NoMemory;
  const uint64_t rows = uint64_t{*newStride} * static_cast<uint64_t>(src.width);
  if (rows > kMaxDibBytes) return TransformStatus::NoMemory;
  PackedDib turned = AllocateDib(tableEnd + static_cast<std::size_t>(rows));
  if (!turned) return TransformStatus::NoMemory;
  std::unique_ptr<uint8_t[]> scratch;
  if (src.bits < 8) {
    scratch = Scratch(static_cast<std::size_t>(src.width));
    if (!scratch) return TransformStatus::NoMemory;
  }

  std::memcpy(turned.Bytes().data(), dib.Bytes().data(), tableEnd);
  BitmapInfoHeader& header = turned.Header();
  header.biWidth = src.height;
  header.biHeight = src.width;
  // A size field that was given stays true to the new rows, so that a file written from the
  // turned image describes it correctly.
  if (header.biSizeImage != 0) header.biSizeImage = static_cast<uint32_t>(rows);

  uint8_t* dst = turned.Bytes().data() + tableEnd;
  switch (src.bits) {
    case 1: case 4: QuarterTurnPacked(src, dst, *newStride, clockwise, scratch.get()); break;
    case 8: QuarterTurnBytes<1>(src, dst, *newStride, clockwise); break;
    case 16: QuarterTurnBytes<2>(src, dst, *newStride, clockwise); break;
    case 24: QuarterTurnBytes<3>(src, dst, *newStride, clockwise); break;
    case 32: QuarterTurnBytes<4>(src, dst, *newStride, clockwise); break;
  }
  dib = std::move(turned);
  return TransformStatus::Done;
}

template <int kBytes>
void MirrorRowBytes(uint8_t* row, int width) {
  uint8_t* left = row;
  uint8_t* right = row + static_cast<std::size_t>(width - 1) * kBytes;
  uint8_t held[kBytes];
  for (int i = 0; i < width / 2; ++i, left += kBytes, right -= kBytes) {
    std::memcpy(held, left, kBytes);
    std::memcpy(left, right, kBytes);
    std::memcpy(right, held, kBytes);
  }
}

// Rewrites a 1- or 4-bit row in reverse order; bits and nibbles after the last pixel become 0.
void MirrorRowPacked(uint8_t* row, int bits, int width, uint8_t* scratch) {
  UnpackRow(row, bits, width, scratch);
  std::memset(row, 0, bits == 1 ? (static_cast<std::size_t>(width) + 7) / 8 : (static_cast<std::size_t>(width) + 1) / 2);
  for (int x = 0; x < width; ++x) AddPackedPixel(row, bits, x, scratch[width - 1 - x]);
}

TransformStatus HalfTurnOrFlip(const Geometry& g, TransformCode code) {
  const std::unique_ptr<uint8_t[]> scratch = Scratch(std::max(g.stride, static_cast<std::size_t>(g.width)));
  if (!scratch) return TransformStatus::NoMemory;
  if (code != TransformCode::FlipLeftRight) {
    for (int i = 0; i < g.height / 2; ++i) {
      uint8_t* a = g.pixels + static_cast<std::size_t>(i) * g.stride;
      uint8_t* b = g.pixels + static_cast<std::size_t>(g.height - 1 - i) * g.stride;
      std::memcpy(scratch.get(), a, g.stride);
      std::memcpy(a, b, g.stride);
      std::memcpy(b, scratch.get(), g.stride);
    }
  }
  if (code != TransformCode::FlipTopBottom) {
    for (int y = 0; y < g.height; ++y) {
      uint8_t* row = g.pixels + static_cast<std::size_t>(y) * g.stride;
      switch (g.bits) {
        case 1: case 4: MirrorRowPacked(row, g.bits, g.width, scratch.get()); break;
        case 8: MirrorRowBytes<1>(row, g.width); break;
        case 16: MirrorRowBytes<2>(row, g.width); break;
        case 24: MirrorRowBytes<3>(row, g.width); break;
        case 32: MirrorRowBytes<4>(row, g.width); break;
      }
    }
  }
  return TransformStatus::Done;
}

// Indexed images invert their colour table (the reserved bytes stay); deeper images invert
// their pixels, never the row padding or the fourth byte of a 32-bit pixel.
void Invert(PackedDib& dib, const Geometry& g) {
  if (g.bits <= 8) {
    for (RgbQuad& c : dib.Colors()) {
      c.rgbBlue = static_cast<uint8_t>(255 - c.rgbBlue);
      c.rgbGreen = static_cast<uint8_t>(255 - c.rgbGreen);
      c.rgbRed = static_cast<uint8_t>(255 - c.rgbRed);
    }
    return;
  }
  for (int y = 0; y < g.height; ++y) {
    uint8_t* row = g.pixels + static_cast<std::size_t>(y) * g.stride;
    if (g.bits == 16) {
      // 5-5-5: each field becomes 31 minus itself and bit 15 is cleared.
      for (int x = 0; x < g.width; ++x) {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        const unsigned inverted = ~v & 0x7FFF;
        row[2 * x] = static_cast<uint8_t>(inverted);
        row[2 * x + 1] = static_cast<uint8_t>(inverted >> 8);
      }
    } else if (g.bits == 24) {
      const std::size_t bytes = static_cast<std::size_t>(g.width) * 3;
      for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    } else {
      for (int x = 0; x < g.width; ++x) {
        uint8_t* p = row + 4 * static_cast<std::size_t>(x);
        p[0] = static_cast<uint8_t>(~p[0]);
        p[1] = static_cast<uint8_t>(~p[1]);
        p[2] = static_cast<uint8_t>(~p[2]);
      }
    }
  }
}

bool IsKnownCode(TransformCode code) {
  switch (code) {
    case TransformCode::Rotate90: case TransformCode::Rotate180: case TransformCode::Rotate270:
    case TransformCode::FlipLeftRight: case TransformCode::FlipTopBottom: case TransformCode::InvertColors:
      return true;
  }
  return false;
}

}  // namespace

int NextOrientationState(int state, TransformCode code) {
  const int o = state & 7;
  const int rest = state & ~7;
  switch (code) {
    case TransformCode::Rotate90: return rest | ((o + 2) & 7);
    case TransformCode::Rotate180: return rest | ((o + 4) & 7);
    case TransformCode::Rotate270: return rest | ((o + 6) & 7);
    case TransformCode::FlipLeftRight: {
      static constexpr int kMirrored[8] = {1, 0, 7, 6, 5, 4, 3, 2};
      return rest | kMirrored[o];
    }
    case TransformCode::FlipTopBottom: {
      static constexpr int kMirrored[8] = {5, 4, 3, 2, 1, 0, 7, 6};
      return rest | kMirrored[o];
    }
    case TransformCode::InvertColors: return state ^ kOrientationInverted;
  }
  return state;
}

TransformStatus TransformImage(PackedDib& dib, TransformCode code, int& state) {
  if (!dib) return TransformStatus::NoImage;
  Geometry g;
  if (!IsKnownCode(code) || !GeometryOf(dib, &g)) return TransformStatus::UnsupportedDepth;
  TransformStatus status = TransformStatus::Done;
  switch (code) {
    case TransformCode::Rotate90: status = QuarterTurn(dib, g, true); break;
    case TransformCode::Rotate270: status = QuarterTurn(dib, g, false); break;
    case TransformCode::Rotate180: case TransformCode::FlipLeftRight: case TransformCode::FlipTopBottom:
      status = HalfTurnOrFlip(g, code);
      break;
    case TransformCode::InvertColors: Invert(dib, g); break;
  }
  if (status == TransformStatus::Done) state = NextOrientationState(state, code);
  return status;
}

namespace {

// The steps that bring an image in orientation o back to 0.
struct UndoSteps {
  TransformCode first;
  TransformCode second;
  int count;
};

constexpr UndoSteps kUndo[8] = {
    {TransformCode::Rotate90, TransformCode::Rotate90, 0},
    {TransformCode::FlipLeftRight, TransformCode::FlipLeftRight, 1},
    {TransformCode::Rotate270, TransformCode::Rotate270, 1},
    {TransformCode::FlipTopBottom, TransformCode::Rotate270, 2},
    {TransformCode::Rotate180, TransformCode::Rotate180, 1},
    {TransformCode::FlipTopBottom, TransformCode::FlipTopBottom, 1},
    {TransformCode::Rotate90, TransformCode::Rotate90, 1},
    {TransformCode::FlipTopBottom, TransformCode::Rotate90, 2},
};

template <typename Step>
TransformStatus Restore(int& state, Step step) {
  if ((state & kOrientationInverted) != 0) {
    const TransformStatus status = step(TransformCode::InvertColors);
    if (status != TransformStatus::Done) return status;
  }
  const UndoSteps& undo = kUndo[state & 7];
  for (int i = 0; i < undo.count; ++i) {
    const TransformStatus status = step(i == 0 ? undo.first : undo.second);
    if (status != TransformStatus::Done) return status;
  }
  state = 0;
  return TransformStatus::Done;
}

}  // namespace

TransformStatus RestoreOrientation(PackedDib& dib, int& state) {
  if (state == 0) return TransformStatus::Done;
  return Restore(state, [&](TransformCode code) { return TransformImage(dib, code, state); });
}

}  // namespace ravelle
