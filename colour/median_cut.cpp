#include "colour/median_cut.h"

#include <algorithm>
#include <array>
#include <new>

namespace ravelle {
namespace {

// Bits dropped from an 8-bit component to find its histogram cell, and the distance weights.
constexpr int kShift0 = 3;
constexpr int kShift1 = 2;
constexpr int kShift2 = 3;
constexpr int kScale0 = 2;
constexpr int kScale1 = 3;
constexpr int kScale2 = 1;

// A cache block is 4 red x 8 green x 4 blue cells: 32 x 32 x 32 colour values.
constexpr int kBlockLog0 = 2;
constexpr int kBlockLog1 = 3;
constexpr int kBlockLog2 = 2;
constexpr int kBlock0 = 1 << kBlockLog0;
constexpr int kBlock1 = 1 << kBlockLog1;
constexpr int kBlock2 = 1 << kBlockLog2;

// Weighted distance of one cell step on each axis.
constexpr int kStep0 = (1 << kShift0) * kScale0;
constexpr int kStep1 = (1 << kShift1) * kScale1;
constexpr int kStep2 = (1 << kShift2) * kScale2;

int Square(int v) { return v * v; }

// The limited error for a sum of sixteenths s from -kErrorRange to kErrorRange (stored from 0),
// rounded to whole steps first. Errors stay within 255 a pixel, so the sums of the seven and
// the nine sixteenths that reach a pixel stay within 16 x 255.
constexpr int kErrorRange = 16 * 256;
constexpr auto kErrorLimit = [] {
  std::array<int8_t, 2 * kErrorRange + 1> table{};
  for (int s = -kErrorRange; s <= kErrorRange; ++s) {
    table[static_cast<std::size_t>(s + kErrorRange)] = static_cast<int8_t>(MedianCutQuantizer::LimitError((s + 8) >> 4));
  }
  return table;
}();

// The least and greatest weighted squared distance from value x to a range [lo, hi] whose
// middle is `centre`.
void RangeDistances(int x, int lo, int hi, int centre, int weight, int* least, int* greatest) {
  if (x < lo) {
    *least += Square((x - lo) * weight);
    *greatest += Square((x - hi) * weight);
  } else if (x > hi) {
    *least += Square((x - hi) * weight);
    *greatest += Square((x - lo) * weight);
  } else {
    *greatest += x <= centre ? Square((x - hi) * weight) : Square((x - lo) * weight);
  }
}

}  // namespace

bool MedianCutQuantizer::Start(int width, int colors) {
  if (width <= 0 || colors <= 0 || colors > 256) return false;
  try {
    histogram_.assign(kCells, 0);
    cache_.resize(kCells);
    for (auto& component : map_) component.assign(static_cast<std::size_t>(colors), 0);
    errors_.assign((static_cast<std::size_t>(width) + 2) * 3, 0);
  } catch (const std::bad_alloc&) {
    histogram_ = {};
    cache_ = {};
    for (auto& component : map_) component = {};
    errors_ = {};
    return false;
  }
  width_ = width;
  mapSize_ = colors;
  colorCount_ = 0;
  return true;
}

template <int kStep, int kRed, int kGreen, int kBlue>
void MedianCutQuantizer::Accumulate(const uint8_t* p, std::size_t count) {
  uint16_t* histogram = histogram_.data();
  for (const uint8_t* end = p + count * kStep; p != end; p += kStep) {
    uint16_t& cell = histogram[CellIndex(p[kRed] >> kShift0, p[kGreen] >> kShift1, p[kBlue] >> kShift2)];
    if (cell != 0xFFFF) ++cell;
  }
}

void MedianCutQuantizer::AccumulateRow(std::span<const uint8_t> pixels, Layout layout) {
  const std::size_t step = layout == Layout::Bgrx ? 4 : 3;
  const std::size_t count = std::min<std::size_t>(pixels.size() / step, static_cast<std::size_t>(width_));
  switch (layout) {
    case Layout::Rgb: Accumulate<3, 0, 1, 2>(pixels.data(), count); break;
    case Layout::Bgr: Accumulate<3, 2, 1, 0>(pixels.data(), count); break;
    case Layout::Bgrx: Accumulate<4, 2, 1, 0>(pixels.data(), count); break;
  }
}

void MedianCutQuantizer::AddCounts(const MedianCutQuantizer& other) {
  const std::size_t n = std::min(histogram_.size(), other.histogram_.size());
  for (std::size_t i = 0; i < n; ++i) {
    histogram_[i] = static_cast<uint16_t>(std::min(0xFFFF, histogram_[i] + other.histogram_[i]));
  }
}

void MedianCutQuantizer::ShrinkBox(ColorBox& box) const {
  const auto filled = [&](int c0, int c1, int c2) { return histogram_[static_cast<std::size_t>(CellIndex(c0, c1, c2))] != 0; };
  // Whether any cell of the box lies in red plane c0, green row c1 or blue column c2.
  const auto redPlane = [&](int c0) {
    for (int c1 = box.c1min; c1 <= box.c1max; ++c1)
      for (int c2 = box.c2min; c2 <= box.c2max; ++c2)
        if (filled(c0, c1, c2)) return true;
    return false;
  };
  const auto greenRow = [&](int c1) {
    for (int c0 = box.c0min; c0 <= box.c0max; ++c0)
      for (int c2 = box.c2min; c2 <= box.c2max; ++c2)
        if (filled(c0, c1, c2)) return true;
    return false;
  };
  const auto blueColumn = [&](int c2) {
    for (int c0 = box.c0min; c0 <= box.c0max; ++c0)
      for (int c1 = box.c1min; c1 <= box.c1max; ++c1)
        if (filled(c0, c1, c2)) return true;
    return false;
  };
  const auto shrink = [](int32_t& lo, int32_t& hi, const auto& holds) {
    if (hi > lo) {
      for (int c = lo; c <= hi; ++c) {
        if (holds(c)) {
          lo = c;
          break;
        }
      }
    }
    if (hi > lo) {
      for (int c = hi; c >= lo; --c) {
        if (holds(c)) {
          hi = c;
          break;
        }
      }
    }
  };
  shrink(box.c0min, box.c0max, redPlane);
  shrink(box.c1min, box.c1max, greenRow);
  shrink(box.c2min, box.c2max, blueColumn);

  const int d0 = (box.c0max - box.c0min) * (1 << kShift0) * kScale0;
  const int d1 = (box.c1max - box.c1min) * (1 << kShift1) * kScale1;
  const int d2 = (box.c2max - box.c2min) * (1 << kShift2) * kScale2;
  box.volume = d0 * d0 + d1 * d1 + d2 * d2;
  int count = 0;
  for (int c0 = box.c0min; c0 <= box.c0max; ++c0)
    for (int c1 = box.c1min; c1 <= box.c1max; ++c1)
      for (int c2 = box.c2min; c2 <= box.c2max; ++c2)
        if (filled(c0, c1, c2)) ++count;
  box.colorcount = count;
}

void MedianCutQuantizer::ComputeColor(const ColorBox& box, int index) {
  // Sums of 16-bit counts over up to 64K cells: 64 bits, so large images cannot overflow them.
  uint64_t total = 0;
  uint64_t sums[3] = {0, 0, 0};
  for (int c0 = box.c0min; c0 <= box.c0max; ++c0) {
    for (int c1 = box.c1min; c1 <= box.c1max; ++c1) {
      for (int c2 = box.c2min; c2 <= box.c2max; ++c2) {
        const uint64_t count = histogram_[static_cast<std::size_t>(CellIndex(c0, c1, c2))];
        if (count == 0) continue;
        total += count;
        sums[0] += count * static_cast<uint64_t>((c0 << kShift0) + ((1 << kShift0) >> 1));
        sums[1] += count * static_cast<uint64_t>((c1 << kShift1) + ((1 << kShift1) >> 1));
        sums[2] += count * static_cast<uint64_t>((c2 << kShift2) + ((1 << kShift2) >> 1));
      }
    }
  }
  for (int k = 0; k < 3; ++k) {
    map_[k][static_cast<std::size_t>(index)] = total == 0 ? 0 : static_cast<uint8_t>((sums[k] + total / 2) / total);
  }
}

std::optional<int> MedianCutQuantizer::SelectColors() {
  std::vector<ColorBox> boxes;
  try {
    boxes.resize(static_cast<std::size_t>(mapSize_));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  boxes[0] = {0, kRedCells - 1, 0, kGreenCells - 1, 0, kBlueCells - 1, 0, 0};
  ShrinkBox(boxes[0]);
  int count = 1;
  while (count < mapSize_) {
    // While at most half the boxes exist, split the most populated box; then the largest.
    // Strict comparisons: of equal boxes the earliest wins; empty or flat boxes never do.
    ColorBox* pick = nullptr;
    const bool byPopulation = count * 2 <= mapSize_;
    int32_t best = 0;
    for (int i = 0; i < count; ++i) {
      ColorBox& box = boxes[static_cast<std::size_t>(i)];
      if (byPopulation ? (box.colorcount > best && box.volume > 0) : box.volume > best) {
        best = byPopulation ? box.colorcount : box.volume;
        pick = &box;
      }
    }
    if (pick == nullptr) break;

    // Split along the longest weighted axis; ties go to green, then red, then blue.
    const int len0 = (pick->c0max - pick->c0min) * (1 << kShift0) * kScale0;
    const int len1 = (pick->c1max - pick->c1min) * (1 << kShift1) * kScale1;
    const int len2 = (pick->c2max - pick->c2min) * (1 << kShift2) * kScale2;
    int axis = 1;
    int longest = len1;
    if (len0 > longest) {
      longest = len0;
      axis = 0;
    }
    if (len2 > longest) axis = 2;

    ColorBox& added = boxes[static_cast<std::size_t>(count)];
    added = *pick;
    switch (axis) {
      case 0: {
        const int middle = (pick->c0min + pick->c0max) / 2;
        pick->c0max = middle;
        added.c0min = middle + 1;
        break;
      }
      case 1: {
        const int middle = (pick->c1min + pick->c1max) / 2;
        pick->c1max = middle;
        added.c1min = middle + 1;
        break;
      }
      default: {
        const int middle = (pick->c2min + pick->c2max) / 2;
        pick->c2max = middle;
        added.c2min = middle + 1;
        break;
      }
    }
    ShrinkBox(*pick);
    ShrinkBox(added);
    ++count;
  }
  for (int i = 0; i < count; ++i) ComputeColor(boxes[static_cast<std::size_t>(i)], i);
  colorCount_ = count;
  EmptyCache();
  return count;
}

void MedianCutQuantizer::SetColorMap(std::span<const PaletteColor> palette) {
  const std::size_t n = std::min<std::size_t>(palette.size(), static_cast<std::size_t>(mapSize_));
  for (std::size_t i = 0; i < n; ++i) {
    map_[0][i] = palette[i].red;
    map_[1][i] = palette[i].green;
    map_[2][i] = palette[i].blue;
  }
  colorCount_ = static_cast<int>(n);
  EmptyCache();
}

void MedianCutQuantizer::EmptyCache() {
  const uint32_t first = map_[0].empty() ? 0 : map_[0][0] << 8 | map_[1][0] << 16 | uint32_t{map_[2][0]} << 24;
  emptyEntry_ = first ^ (1u << 8);
  std::fill(cache_.begin(), cache_.end(), emptyEntry_);
}

void MedianCutQuantizer::FillCacheBlock(int c0, int c1, int c2) {
  const int base0 = (c0 >> kBlockLog0) << kBlockLog0;
  const int base1 = (c1 >> kBlockLog1) << kBlockLog1;
  const int base2 = (c2 >> kBlockLog2) << kBlockLog2;
  // The centres of the block's first and last cells on each axis.
  const int min0 = (base0 << kShift0) + ((1 << kShift0) >> 1);
  const int max0 = min0 + ((kBlock0 - 1) << kShift0);
  const int min1 = (base1 << kShift1) + ((1 << kShift1) >> 1);
  const int max1 = min1 + ((kBlock1 - 1) << kShift1);
  const int min2 = (base2 << kShift2) + ((1 << kShift2) >> 1);
  const int max2 = min2 + ((kBlock2 - 1) << kShift2);
  const int centre0 = (min0 + max0) >> 1;
  const int centre1 = (min1 + max1) >> 1;
  const int centre2 = (min2 + max2) >> 1;

  // Only entries that could be nearest to some cell of the block are candidates: those whose
  // least distance to the block is within the smallest greatest distance of any entry.
  int least[256];
  int bound = 0x7FFFFFFF;
  for (int i = 0; i < colorCount_; ++i) {
    int lo = 0;
    int hi = 0;
    RangeDistances(map_[0][static_cast<std::size_t>(i)], min0, max0, centre0, kScale0, &lo, &hi);
    RangeDistances(map_[1][static_cast<std::size_t>(i)], min1, max1, centre1, kScale1, &lo, &hi);
    RangeDistances(map_[2][static_cast<std::size_t>(i)], min2, max2, centre2, kScale2, &lo, &hi);
    least[i] = lo;
    bound = std::min(bound, hi);
  }
  uint8_t candidates[256];
  int candidateCount = 0;
  for (int i = 0; i < colorCount_; ++i) {
    if (least[i] <= bound) candidates[candidateCount++] = static_cast<uint8_t>(i);
  }

  // The nearest candidate of each cell, stepping the distances from the first cell centre.
  int bestDistance[kBlock0 * kBlock1 * kBlock2];
  uint8_t bestIndex[kBlock0 * kBlock1 * kBlock2] = {};
  std::fill(std::begin(bestDistance), std::end(bestDistance), 0x7FFFFFFF);
  for (int n = 0; n < candidateCount; ++n) {
    const int index = candidates[n];
    int inc0 = (min0 - map_[0][static_cast<std::size_t>(index)]) * kScale0;
    int dist0 = inc0 * inc0;
    int inc1 = (min1 - map_[1][static_cast<std::size_t>(index)]) * kScale1;
    dist0 += inc1 * inc1;
    int inc2 = (min2 - map_[2][static_cast<std::size_t>(index)]) * kScale2;
    dist0 += inc2 * inc2;
    inc0 = inc0 * (2 * kStep0) + kStep0 * kStep0;
    inc1 = inc1 * (2 * kStep1) + kStep1 * kStep1;
    inc2 = inc2 * (2 * kStep2) + kStep2 * kStep2;
    int cell = 0;
    int xx0 = inc0;
    for (int i0 = 0; i0 < kBlock0; ++i0) {
      int dist1 = dist0;
      int xx1 = inc1;
      for (int i1 = 0; i1 < kBlock1; ++i1) {
        int dist2 = dist1;
        int xx2 = inc2;
        for (int i2 = 0; i2 < kBlock2; ++i2, ++cell) {
          if (dist2 < bestDistance[cell]) {
            bestDistance[cell] = dist2;
            bestIndex[cell] = static_cast<uint8_t>(index);
          }
          dist2 += xx2;
          xx2 += 2 * kStep2 * kStep2;
        }
        dist1 += xx1;
        xx1 += 2 * kStep1 * kStep1;
      }
      dist0 += xx0;
      xx0 += 2 * kStep0 * kStep0;
    }
  }

  int cell = 0;
  for (int i0 = 0; i0 < kBlock0; ++i0) {
    for (int i1 = 0; i1 < kBlock1; ++i1) {
      uint32_t* out = &cache_[static_cast<std::size_t>(CellIndex(base0 + i0, base1 + i1, base2))];
      for (int i2 = 0; i2 < kBlock2; ++i2, ++cell) {
        const std::size_t index = bestIndex[cell];
        out[i2] = static_cast<uint32_t>(index | map_[0][index] << 8 | map_[1][index] << 16 | uint32_t{map_[2][index]} << 24);
      }
    }
  }
}

int MedianCutQuantizer::NearestIndex(uint8_t red, uint8_t green, uint8_t blue) {
  const int c0 = red >> kShift0;
  const int c1 = green >> kShift1;
  const int c2 = blue >> kShift2;
  const uint32_t& cell = cache_[static_cast<std::size_t>(CellIndex(c0, c1, c2))];
  if (cell == emptyEntry_) FillCacheBlock(c0, c1, c2);
  return static_cast<int>(cell & 0xFF);
}

// Entry x + 1 of the error row belongs to column x; entries 0 and width + 1 are borders. The
// scan starts on the border before its first pixel; a pixel's own entry is the next one. Every
// pixel's error carries on in sixteenths: 7 to the next pixel, 3, 5 and 1 to the entries
// behind, under and ahead of it.
struct MedianCutQuantizer::Scan {
  const uint8_t* in;
  uint8_t* out;
  int16_t* errors;   // the entry behind the next pixel
  int left;          // pixels still to map
  std::ptrdiff_t cur[3];        // the error carried into the next pixel
  std::ptrdiff_t belowPrev[3];  // the sum for the entry behind
  std::ptrdiff_t below[3];      // the previous pixel's error
  int missing = -1;             // the cell whose cache block the scan stopped for
};

// Maps pixels until the row ends or a pixel's cell is not in the cache yet; the scan then
// stands before that pixel. No calls here, so that the state stays in registers.
template <int kStep, int kRed, int kGreen, int kBlue, bool kBackwards>
void MedianCutQuantizer::MapPixels(Scan& scan) const {
  constexpr std::ptrdiff_t kNext = kBackwards ? -1 : 1;
  const int8_t* limit = kErrorLimit.data() + kErrorRange;
  const uint32_t* cache = cache_.data();
  const uint32_t empty = emptyEntry_;
  const uint8_t* in = scan.in;
  uint8_t* out = scan.out;
  int16_t* e = scan.errors;
  std::ptrdiff_t cur0 = scan.cur[0], cur1 = scan.cur[1], cur2 = scan.cur[2];
  std::ptrdiff_t belowPrev0 = scan.belowPrev[0], belowPrev1 = scan.belowPrev[1], belowPrev2 = scan.belowPrev[2];
  std::ptrdiff_t below0 = scan.below[0], below1 = scan.below[1], below2 = scan.below[2];
  int left = scan.left;
  scan.missing = -1;
  for (; left > 0; --left) {
    const int16_t* own = e + 3 * kNext;
    // The sum of sixteenths is cur * 7 + own: written so that cur * 8 goes into the address.
    const std::ptrdiff_t v0 = std::clamp<std::ptrdiff_t>((limit + (own[0] - cur0))[cur0 * 8] + in[kRed], 0, 255);
    const std::ptrdiff_t v1 = std::clamp<std::ptrdiff_t>((limit + (own[1] - cur1))[cur1 * 8] + in[kGreen], 0, 255);
    const std::ptrdiff_t v2 = std::clamp<std::ptrdiff_t>((limit + (own[2] - cur2))[cur2 * 8] + in[kBlue], 0, 255);
    const std::size_t cell = static_cast<std::size_t>((v0 >> kShift0) << 11 | (v1 >> kShift1) << 5 | (v2 >> kShift2));
    const uint32_t entry = cache[cell];
    if (entry == empty) [[unlikely]] {
      scan.missing = static_cast<int>(cell);
      break;
    }
    *out = static_cast<uint8_t>(entry);
    cur0 = v0 - ((entry >> 8) & 0xFF);
    cur1 = v1 - ((entry >> 16) & 0xFF);
    cur2 = v2 - (entry >> 24);
    e[0] = static_cast<int16_t>(belowPrev0 + cur0 * 3);
    belowPrev0 = below0 + cur0 * 5;
    below0 = cur0;
    e[1] = static_cast<int16_t>(belowPrev1 + cur1 * 3);
    belowPrev1 = below1 + cur1 * 5;
    below1 = cur1;
    e[2] = static_cast<int16_t>(belowPrev2 + cur2 * 3);
    belowPrev2 = below2 + cur2 * 5;
    below2 = cur2;
    e += 3 * kNext;
    in += kNext * kStep;
    out += kNext;
  }
  scan = {in, out, e, left, {cur0, cur1, cur2}, {belowPrev0, belowPrev1, belowPrev2}, {below0, below1, below2}, scan.missing};
}

template <int kStep, int kRed, int kGreen, int kBlue>
void MedianCutQuantizer::MapPixelRow(const uint8_t* in, uint8_t* out, int width, bool rightToLeft) {
  Scan scan{in, out, errors_.data(), width, {}, {}, {}};
  if (rightToLeft) {
    scan.in += static_cast<std::ptrdiff_t>(width - 1) * kStep;
    scan.out += width - 1;
    scan.errors += 3 * (static_cast<std::ptrdiff_t>(width) + 1);
  }
  for (;;) {
    rightToLeft ? MapPixels<kStep, kRed, kGreen, kBlue, true>(scan) : MapPixels<kStep, kRed, kGreen, kBlue, false>(scan);
    if (scan.missing < 0) break;
    FillCacheBlock(scan.missing >> 11, (scan.missing >> 5) & (kGreenCells - 1), scan.missing & (kBlueCells - 1));
  }
  scan.errors[0] = static_cast<int16_t>(scan.belowPrev[0]);
  scan.errors[1] = static_cast<int16_t>(scan.belowPrev[1]);
  scan.errors[2] = static_cast<int16_t>(scan.belowPrev[2]);
}

void MedianCutQuantizer::MapRow(std::span<const uint8_t> pixels, std::span<uint8_t> out, bool rightToLeft, Layout layout) {
  const std::size_t step = layout == Layout::Bgrx ? 4 : 3;
  const int width = static_cast<int>(std::min<std::size_t>({pixels.size() / step, out.size(), static_cast<std::size_t>(width_)}));
  if (width <= 0 || colorCount_ == 0) return;
  switch (layout) {
    case Layout::Rgb: MapPixelRow<3, 0, 1, 2>(pixels.data(), out.data(), width, rightToLeft); break;
    case Layout::Bgr: MapPixelRow<3, 2, 1, 0>(pixels.data(), out.data(), width, rightToLeft); break;
    case Layout::Bgrx: MapPixelRow<4, 2, 1, 0>(pixels.data(), out.data(), width, rightToLeft); break;
  }
}

}  // namespace ravelle
