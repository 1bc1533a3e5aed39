#include "tools/scale.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/dib_pixels.h"

namespace ravelle {
namespace {

// The source pixels under each result pixel along one side, with their shares.
// Positions are in units of 1 / `to` source pixels, so that every result pixel
// covers exactly `from` units.
struct Span {
  std::vector<uint32_t> first;   // per result pixel, its first index in `pixels`
  std::vector<uint32_t> pixels;  // source pixel
  std::vector<uint32_t> shares;  // its share, in units
};

Span Spans(int from, int to) {
  Span span;
  span.first.reserve(static_cast<std::size_t>(to) + 1);
  for (int64_t out = 0; out < to; ++out) {
    span.first.push_back(static_cast<uint32_t>(span.pixels.size()));
    const int64_t start = out * from;
    const int64_t end = start + from;
    for (int64_t s = start / to; s * to < end; ++s) {
      span.pixels.push_back(static_cast<uint32_t>(s));
      span.shares.push_back(static_cast<uint32_t>(std::min(end, (s + 1) * to) - std::max(start, s * to)));
    }
  }
  span.first.push_back(static_cast<uint32_t>(span.pixels.size()));
  return span;
}

}  // namespace

FitSize FitWithin(int width, int height, int side) {
  if (width <= side && height <= side) return {width, height};
  const int64_t longer = std::max(width, height);
  const auto scaled = [&](int64_t length) {
    return static_cast<int>(std::max<int64_t>(1, (length * side + longer / 2) / longer));
  };
  return {scaled(width), scaled(height)};
}

PackedDib ShrinkByArea(const PackedDib &dib, int width, int height) {
  if (!dib || width < 1 || height < 1 || width > dib.Width() || height > dib.Height()) return {};
  PackedDib out = CreateDib(width, height, 24);
  if (!out) return {};
  const Span across = Spans(dib.Width(), width);
  const Span down = Spans(dib.Height(), height);
  std::vector<uint8_t> rgb(static_cast<std::size_t>(dib.Width()) * 3);
  std::vector<uint32_t> row(static_cast<std::size_t>(width) * 3);   // one source row, shrunk across
  std::vector<uint64_t> sums(static_cast<std::size_t>(width) * 3);  // the result row's weighted rows
  const uint64_t whole = static_cast<uint64_t>(dib.Width()) * static_cast<uint64_t>(dib.Height());
  int shrunk = -1;  // the source row in `row`: a row under two result rows is shrunk once
  for (int y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    for (uint32_t k = down.first[y]; k < down.first[y + 1]; ++k) {
      const int sourceY = static_cast<int>(down.pixels[k]);
      if (sourceY != shrunk) {
        shrunk = sourceY;
        RowToRgb(dib, dib.Row(dib.Height() - 1 - sourceY), rgb.data());  // rows counted from the top
        for (int x = 0; x < width; ++x) {
          uint32_t r = 0, g = 0, b = 0;
          for (uint32_t j = across.first[x]; j < across.first[x + 1]; ++j) {
            const uint8_t* p = &rgb[across.pixels[j] * 3];
            r += p[0] * across.shares[j];
            g += p[1] * across.shares[j];
            b += p[2] * across.shares[j];
          }
          row[x * 3] = r, row[x * 3 + 1] = g, row[x * 3 + 2] = b;
        }
      }
      for (std::size_t i = 0; i < sums.size(); ++i) sums[i] += uint64_t{row[i]} * down.shares[k];
    }
    uint8_t* target = out.Row(height - 1 - y).data();
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) target[x * 3 + 2 - c] = static_cast<uint8_t>((sums[x * 3 + c] + whole / 2) / whole);
    }
  }
  return out;
}

}  // namespace ravelle
