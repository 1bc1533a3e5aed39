// Best-colour quantiser: chooses up to N colours of an image by median cut over a colour
// histogram, and maps rows of 24-bit colour to a palette (the chosen one or a fixed one) with
// Floyd-Steinberg error diffusion through a lazily filled nearest-colour cache.
//
// It sees rows of red, green, blue bytes (or a 24- or 32-bit bitmap's blue-first pixels) and
// writes one palette index a pixel; it knows nothing else of bitmaps. Everything is integer arithmetic, so the result is the same on every run and build.
//
// Use: Start; for best colours AccumulateRow over every row, then SelectColors; for a fixed
// palette SetColorMap instead; then MapRow over every row (serpentine: the caller alternates
// the direction); the destructor frees everything.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "colour/palettes.h"

namespace ravelle {

class MedianCutQuantizer {
 public:
  // How a row's pixels are laid out: 3 bytes red first (as RgbRowFeed gives them), or a 24- or
  // 32-bit bitmap's own pixels, blue first.
  enum class Layout { Rgb, Bgr, Bgrx };

  // Colour components are numbered 0 red, 1 green, 2 blue. The histogram keeps 5, 6 and 5 bits
  // of them (32 x 64 x 32 cells); distances weigh them 2, 3 and 1.
  static constexpr int kRedCells = 32;
  static constexpr int kGreenCells = 64;
  static constexpr int kBlueCells = 32;
  static constexpr int kCells = kRedCells * kGreenCells * kBlueCells;

  // An inclusive range of histogram cells on each axis, its weighted volume and the number of
  // non-empty cells inside it.
  struct ColorBox {
    int32_t c0min, c0max, c1min, c1max, c2min, c2max;
    int32_t volume;
    int32_t colorcount;
  };

  // Allocates the histogram, the error row for `width` pixels and the tables, for a colour map
  // of up to `colors` entries (1 to 256). False when the memory is not there.
  bool Start(int width, int colors);

  // First pass: counts every pixel of one row. Counters stop at 65535.
  void AccumulateRow(std::span<const uint8_t> pixels, Layout layout = Layout::Rgb);
  // Adds the counts of another quantizer's first pass (over other rows), stopping at 65535 as
  // counting the rows here would.
  void AddCounts(const MedianCutQuantizer& other);

  // Median cut for at most the colour map's size; fills the colour map and returns the number
  // of colours chosen, and empties the nearest-colour cache.
  std::optional<int> SelectColors();

  // Uses a given palette instead of choosing one (at most the colour map's size), and empties
  // the nearest-colour cache.
  void SetColorMap(std::span<const PaletteColor> palette);

  // Second pass: one palette index per pixel of `rgb` into `out`, scanning right to left when
  // asked (the first index written is then the row's last). The error carries to the next row.
  void MapRow(std::span<const uint8_t> pixels, std::span<uint8_t> out, bool rightToLeft, Layout layout = Layout::Rgb);

  int ColorCount() const { return colorCount_; }
  PaletteColor MapColor(int index) const { return {map_[0][index], map_[1][index], map_[2][index]}; }

  // The palette index the cache gives the cell of a colour, filling the cell's block when it is
  // still empty (for tests of the nearest-colour search).
  int NearestIndex(uint8_t red, uint8_t green, uint8_t blue);

  // The limited error added to a pixel, for an error of e sixteenths already divided down.
  static constexpr int LimitError(int e) {
    const int magnitude = e < 0 ? -e : e;
    const int limited = magnitude < 16 ? magnitude : magnitude < 48 ? 16 + (magnitude - 16) / 2 : 32;
    return e < 0 ? -limited : limited;
  }

 private:
  static int CellIndex(int c0, int c1, int c2) { return (c0 * kGreenCells + c1) * kBlueCells + c2; }
  void ShrinkBox(ColorBox& box) const;
  void ComputeColor(const ColorBox& box, int index);
  void EmptyCache();
  void FillCacheBlock(int c0, int c1, int c2);
  template <int kStep, int kRed, int kGreen, int kBlue>
  void Accumulate(const uint8_t* pixels, std::size_t count);
  struct Scan;
  template <int kStep, int kRed, int kGreen, int kBlue, bool kBackwards>
  void MapPixels(Scan& scan) const;
  template <int kStep, int kRed, int kGreen, int kBlue>
  void MapPixelRow(const uint8_t* pixels, uint8_t* out, int width, bool rightToLeft);

  std::vector<uint16_t> histogram_;  // [red cell][green cell][blue cell]
  // The nearest-colour cache, laid out as the histogram: the entry's index in bits 0-7 and its
  // red, green and blue above them; emptyEntry_ (index 0 with another colour) while unknown.
  std::vector<uint32_t> cache_;
  uint32_t emptyEntry_ = 0;
  std::vector<uint8_t> map_[3];
  int mapSize_ = 0;
  int colorCount_ = 0;
  int width_ = 0;
  std::vector<int16_t> errors_;      // (width + 2) entries of 3 components, sixteenths
};

}  // namespace ravelle
