#include "colour/median_cut.h"

#include <algorithm>
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

int MedianCutQuantizer::LimitError(int e) {
  const int magnitude = e < 0 ? -e : e;
  int limited = 32;
  if (magnitude < 16) {
    limited = magnitude;
  } else if (magnitude < 48) {
    limited = 16 + (magnitude - 16) / 2;
  }
  return e < 0 ? -limited : limited;
}

bool MedianCutQuantizer::Start(int width, int colors) {
  if (width <= 0 || colors <= 0 || colors > 256) return false;
  try {
    histogram_.assign(kCells, 0);
    for (auto& component : map_) component.assign(static_cast<std::size_t>(colors), 0);
    errors_.assign((static_cast<std::size_t>(width) + 2) * 3, 0);
    errorLimit_.resize(511);
  } catch (const std::bad_alloc&) {
    histogram_ = {};
    for (auto& component : map_) component = {};
    errors_ = {};
    errorLimit_ = {};
    return false;
  }
  for (int e = -255; e <= 255; ++e) errorLimit_[static_cast<std::size_t>(e + 255)] = LimitError(e);
  width_ = width;
  mapSize_ = colors;
  colorCount_ = 0;
  return true;
}

void MedianCutQuantizer::AccumulateRow(std::span<const uint8_t> rgb) {
  const std::size_t pixels = std::min<std::size_t>(rgb.size() / 3, static_cast<std::size_t>(width_));
  const uint8_t* p = rgb.data();
  uint16_t* histogram = histogram_.data();
  for (std::size_t i = 0; i < pixels; ++i, p += 3) {
    uint16_t& cell = histogram[CellIndex(p[0] >> kShift0, p[1] >> kShift1, p[2] >> kShift2)];
    if (cell != 0xFFFF) ++cell;
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
  std::fill(histogram_.begin(), histogram_.end(), 0);
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
      uint16_t* out = &histogram_[static_cast<std::size_t>(CellIndex(base0 + i0, base1 + i1, base2))];
      for (int i2 = 0; i2 < kBlock2; ++i2, ++cell) out[i2] = static_cast<uint16_t>(bestIndex[cell] + 1);
    }
  }
}

int MedianCutQuantizer::NearestIndex(uint8_t red, uint8_t green, uint8_t blue) {
  const int c0 = red >> kShift0;
  const int c1 = green >> kShift1;
  const int c2 = blue >> kShift2;
  uint16_t& cell = histogram_[static_cast<std::size_t>(CellIndex(c0, c1, c2))];
  if (cell == 0) FillCacheBlock(c0, c1, c2);
  return cell - 1;
}

void MedianCutQuantizer::MapRow(std::span<const uint8_t> rgb, std::span<uint8_t> out, bool rightToLeft) {
  const int width = static_cast<int>(std::min<std::size_t>({rgb.size() / 3, out.size(), static_cast<std::size_t>(width_)}));
  if (width <= 0 || colorCount_ == 0) return;
  const int* limit = errorLimit_.data() + 255;
  const uint8_t* map0 = map_[0].data();
  const uint8_t* map1 = map_[1].data();
  const uint8_t* map2 = map_[2].data();

  // Entry x + 1 of the error row belongs to column x; entries 0 and width + 1 are borders. The
  // position p starts on the border before the first pixel scanned; the pixel's own entry is
  // p + dir.
  const int dir = rightToLeft ? -1 : 1;
  int16_t* errors = errors_.data();
  std::ptrdiff_t p = rightToLeft ? 3 * (static_cast<std::ptrdiff_t>(width) + 1) : 0;
  const std::ptrdiff_t next = 3 * dir;
  const uint8_t* in = rgb.data();
  uint8_t* o = out.data();

  int cur0 = 0, cur1 = 0, cur2 = 0;                    // the error carried into the next pixel
  int belowPrev0 = 0, belowPrev1 = 0, belowPrev2 = 0;  // the sum for the entry behind
  int below0 = 0, below1 = 0, below2 = 0;              // the previous pixel's error
  for (int i = 0; i < width; ++i) {
    const std::size_t x = rightToLeft ? static_cast<std::size_t>(width - 1 - i) : static_cast<std::size_t>(i);
    const int16_t* own = errors + p + next;
    cur0 = limit[(cur0 + own[0] + 8) >> 4];
    cur1 = limit[(cur1 + own[1] + 8) >> 4];
    cur2 = limit[(cur2 + own[2] + 8) >> 4];
    cur0 = std::clamp(cur0 + in[3 * x], 0, 255);
    cur1 = std::clamp(cur1 + in[3 * x + 1], 0, 255);
    cur2 = std::clamp(cur2 + in[3 * x + 2], 0, 255);

    uint16_t* cell = &histogram_[static_cast<std::size_t>(CellIndex(cur0 >> kShift0, cur1 >> kShift1, cur2 >> kShift2))];
    if (*cell == 0) FillCacheBlock(cur0 >> kShift0, cur1 >> kShift1, cur2 >> kShift2);
    const int index = *cell - 1;
    o[x] = static_cast<uint8_t>(index);
    cur0 -= map0[index];
    cur1 -= map1[index];
    cur2 -= map2[index];

    int16_t* here = errors + p;
    here[0] = static_cast<int16_t>(belowPrev0 + cur0 * 3);
    belowPrev0 = below0 + cur0 * 5;
    below0 = cur0;
    cur0 *= 7;
    here[1] = static_cast<int16_t>(belowPrev1 + cur1 * 3);
    belowPrev1 = below1 + cur1 * 5;
    below1 = cur1;
    cur1 *= 7;
    here[2] = static_cast<int16_t>(belowPrev2 + cur2 * 3);
    belowPrev2 = below2 + cur2 * 5;
    below2 = cur2;
    cur2 *= 7;
    p += next;
  }
  int16_t* last = errors + p;
  last[0] = static_cast<int16_t>(belowPrev0);
  last[1] = static_cast<int16_t>(belowPrev1);
  last[2] = static_cast<int16_t>(belowPrev2);
}

}  // namespace ravelle
