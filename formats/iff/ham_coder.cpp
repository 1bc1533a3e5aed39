// The hold-and-modify coder of the IFF writer: sixteen rows at once in vector lanes.
#include <algorithm>
#include <array>
#include <cstring>

#include "formats/iff/iff_coding.h"

namespace ravelle::iff {
namespace {

// The gray level (0 to 15) a hold-and-modify coder gives a colour: its luminance, truncated, in
// sixteenths. The products are tabled; the sum is taken in the same order for every caller.
struct LuminanceTable {
  std::array<double, 256> red, green, blue;
  LuminanceTable() {
    for (int i = 0; i < 256; ++i) {
      red[i] = 0.299 * i;
      green[i] = 0.587 * i;
      blue[i] = 0.114 * i;
    }
  }
};
inline int HamGray(const LuminanceTable& t, int red, int green, int blue) {
  return static_cast<int>(static_cast<unsigned>(t.red[red] + t.green[green] + t.blue[blue]) >> 4);
}
const LuminanceTable& Luminance() {
  static const LuminanceTable table;
  return table;
}

// Sixteen small values, one for each of sixteen rows at the same x. The comparisons give lanes
// of all ones (true) or zeros.
typedef int8_t Lanes __attribute__((vector_size(16)));
typedef uint8_t UnsignedLanes __attribute__((vector_size(16)));
constexpr int kLanes = kHamRowsAtOnce;

inline Lanes AbsDiff(Lanes a, Lanes b) {
  const Lanes d = a - b;
  const Lanes negative = d < 0;
  return (d ^ negative) - negative;
}
inline Lanes Select(Lanes mask, Lanes a, Lanes b) { return (a & mask) | (b & ~mask); }
inline Lanes Max(Lanes a, Lanes b) { return Select(a > b, a, b); }
inline Lanes HighNibbles(Lanes v) { return reinterpret_cast<Lanes>(reinterpret_cast<UnsignedLanes>(v) >> 4); }
inline Lanes LoadLanes(const int8_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// A row a lane: a row's choices hang on each other from left to right, the rows' do not. In the
// form that needs no branches: modifying costs the two smaller of the three differences, so the
// component that differs most is modified (blue only when it differs strictly most, green before
// red on a tie), unless the gray level costs less still.
void EncodeHamRows(std::span<const uint8_t* const> rgbRows, std::span<uint8_t* const> codeRows, std::size_t width) {
  constexpr std::size_t kBlock = 64;
  const LuminanceTable& lum = Luminance();
  const std::size_t rows = std::min<std::size_t>(rgbRows.size(), kLanes);
  Lanes runR{}, runG{}, runB{};
  for (std::size_t start = 0; start < width; start += kBlock) {
    const std::size_t n = std::min(kBlock, width - start);
    alignas(16) int8_t red[kBlock][kLanes] = {}, green[kBlock][kLanes] = {}, blue[kBlock][kLanes] = {},
                       gray[kBlock][kLanes] = {}, codes[kBlock][kLanes];
    for (std::size_t k = 0; k < rows; ++k) {
      const uint8_t* p = rgbRows[k] + 3 * start;
      for (std::size_t x = 0; x < n; ++x, p += 3) {
        red[x][k] = static_cast<int8_t>(p[0]);
        green[x][k] = static_cast<int8_t>(p[1]);
        blue[x][k] = static_cast<int8_t>(p[2]);
        gray[x][k] = static_cast<int8_t>(HamGray(lum, p[0], p[1], p[2]));
      }
    }
    for (std::size_t x = 0; x < n; ++x) {
      const Lanes r = HighNibbles(LoadLanes(red[x])), g = HighNibbles(LoadLanes(green[x]));
      const Lanes b = HighNibbles(LoadLanes(blue[x])), l = LoadLanes(gray[x]);
      Lanes code;
      if (start + x == 0) {
        code = runR = runG = runB = l;
      } else {
        const Lanes dR = AbsDiff(r, runR), dG = AbsDiff(g, runG), dB = AbsDiff(b, runB);
        const Lanes redOrGreen = Max(dR, dG);
        const Lanes useGray = AbsDiff(r, l) + AbsDiff(g, l) + AbsDiff(b, l) < dR + dG + dB - Max(redOrGreen, dB);
        const Lanes useBlue = dB > redOrGreen;
        const Lanes useGreen = ~useBlue & ~(dR > dG);
        const Lanes useRed = ~useBlue & ~useGreen;
        code = Select(useGray, l, (useBlue & (b | 0x10)) | (useGreen & (g | 0x30)) | (useRed & (r | 0x20)));
        runR = Select(useGray, l, Select(useRed, r, runR));
        runG = Select(useGray, l, Select(useGreen, g, runG));
        runB = Select(useGray, l, Select(useBlue, b, runB));
      }
      std::memcpy(codes[x], &code, sizeof code);
    }
    for (std::size_t k = 0; k < rows; ++k) {
      uint8_t* out = codeRows[k] + start;
      for (std::size_t x = 0; x < n; ++x) out[x] = static_cast<uint8_t>(codes[x][k]);
    }
  }
}

}  // namespace ravelle::iff
