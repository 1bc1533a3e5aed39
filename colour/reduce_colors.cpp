#include "colour/reduce_colors.h"

#include <functional>
#include <system_error>
#include <thread>

#include <algorithm>
#include <new>
#include <vector>

#include "colour/median_cut.h"

namespace ravelle {

RgbRowFeed::RgbRowFeed(const PackedDib& source, const DibGeometry& geometry)
    : pixels_(source.Pixels().data()), geometry_(geometry), table_(source.Colors()) {}

void RgbRowFeed::Feed(int y, std::span<uint8_t> rgb) const {
  const uint8_t* row = pixels_ + static_cast<std::size_t>(y) * geometry_.stride;
  const int width = std::min(geometry_.width, static_cast<int>(rgb.size() / 3));
  RowToRgb(table_, geometry_.bits, width, row, rgb.data());
}

namespace {

bool IsValidChoice(int choice) {
  if (choice < 0) return choice >= -256;
  return !FixedPalette(choice).empty();
}

// A new 8-bit image with the source's header and room for `entries` colours; empty when the
// memory is not there.
PackedDib EightBitLike(const PackedDib& source, const DibGeometry& g, uint32_t entries, uint32_t clrUsed) {
  const std::size_t stride = *DibStride(g.width, 8);
  const uint64_t rows = uint64_t{stride} * static_cast<uint64_t>(g.height);
  if (rows > kMaxDibBytes) return {};
  PackedDib dib = AllocateDib(40 + 4 * std::size_t{entries} + static_cast<std::size_t>(rows));
  if (!dib) return dib;
  BitmapInfoHeader header = source.Header();
  header.biBitCount = 8;
  header.biCompression = 0;
  header.biClrUsed = clrUsed;
  // A size that was given is kept true to the new rows.
  if (header.biSizeImage != 0) header.biSizeImage = static_cast<uint32_t>(rows);
  dib.Header() = header;
  return dib;
}

std::vector<uint8_t> RowBuffer(std::size_t bytes, bool* ok) {
  try {
    *ok = true;
    return std::vector<uint8_t>(bytes);
  } catch (const std::bad_alloc&) {
    *ok = false;
    return {};
  }
}

}  // namespace

ColorResult QuantizeImage(const PackedDib& source, int choice) {
  if (!source) return {TransformStatus::NoImage, {}};
  const auto geometry = CompleteGeometry(source);
  if (!geometry || !IsValidChoice(choice)) return {TransformStatus::UnsupportedDepth, {}};
  const DibGeometry& g = *geometry;
  const int size = choice < 0 ? -choice : choice;

  // Room for the largest table the choice can give; best colours may use fewer entries.
  PackedDib reduced = EightBitLike(source, g, static_cast<uint32_t>(size), static_cast<uint32_t>(size));
  MedianCutQuantizer quantizer;
  bool haveRow = false;
  std::vector<uint8_t> rgb = RowBuffer(3 * static_cast<std::size_t>(g.width), &haveRow);
  if (!reduced || !haveRow || !quantizer.Start(g.width, size)) return {TransformStatus::NoMemory, {}};

  const RgbRowFeed feed(source, g);
  if (choice < 0) {
    // The upper rows are counted on a second thread when there is one; the counts are the same.
    const auto count = [&](MedianCutQuantizer& into, std::vector<uint8_t>& buffer, int from, int to) {
      for (int y = from; y < to; ++y) {
        feed.Feed(y, buffer);
        into.AccumulateRow(buffer);
      }
    };
    int split = g.height;
    MedianCutQuantizer upper;
    std::vector<uint8_t> upperRgb;
    std::thread helper;
    if (g.height >= 64 && std::thread::hardware_concurrency() > 1) {
      bool haveUpperRow = false;
      upperRgb = RowBuffer(3 * static_cast<std::size_t>(g.width), &haveUpperRow);
      if (haveUpperRow && upper.Start(g.width, size)) {
        try {
          helper = std::thread(count, std::ref(upper), std::ref(upperRgb), g.height / 2, g.height);
          split = g.height / 2;
        } catch (const std::system_error&) {
        }
      }
    }
    count(quantizer, rgb, 0, split);
    if (helper.joinable()) {
      helper.join();
      quantizer.AddCounts(upper);
    }
    if (!quantizer.SelectColors()) return {TransformStatus::NoMemory, {}};
  } else {
    quantizer.SetColorMap(FixedPalette(choice));
  }
  const int colors = quantizer.ColorCount();
  reduced.Header().biClrUsed = static_cast<uint32_t>(colors);
  const std::span<RgbQuad> table = reduced.Colors();
  for (int i = 0; i < colors; ++i) {
    const PaletteColor c = quantizer.MapColor(i);
    table[static_cast<std::size_t>(i)] = {c.blue, c.green, c.red, 0};
  }
  // Even rows (the bottom row is 0) left to right, odd rows right to left.
  for (int y = 0; y < g.height; ++y) {
    feed.Feed(y, rgb);
    quantizer.MapRow(rgb, reduced.Row(y), (y & 1) != 0);
  }
  return {TransformStatus::Done, std::move(reduced)};
}

ColorResult GrayscaleImage(const PackedDib& source) {
  if (!source) return {TransformStatus::NoImage, {}};
  const auto geometry = CompleteGeometry(source);
  if (!geometry) return {TransformStatus::UnsupportedDepth, {}};
  const DibGeometry& g = *geometry;

  if (g.bits <= 8) {
    PackedDib gray = source.Clone();
    if (!gray) return {TransformStatus::NoMemory, {}};
    for (RgbQuad& c : gray.Colors()) {
      const uint8_t v = GrayOf(c.rgbRed, c.rgbGreen, c.rgbBlue);
      c = {v, v, v, 0};
    }
    return {TransformStatus::Done, std::move(gray)};
  }

  PackedDib gray = EightBitLike(source, g, 256, 0);
  if (!gray) return {TransformStatus::NoMemory, {}};
  int i = 0;
  for (RgbQuad& c : gray.Colors()) {
    const auto v = static_cast<uint8_t>(i++);
    c = {v, v, v, 0};
  }
  const uint8_t* pixels = source.Pixels().data();
  for (int y = 0; y < g.height; ++y) {
    const uint8_t* row = pixels + static_cast<std::size_t>(y) * g.stride;
    uint8_t* out = gray.Row(y).data();
    if (g.bits == 16) {
      for (int x = 0; x < g.width; ++x) {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        out[x] = GrayOf(static_cast<int>(((v >> 10) & 31) << 3), static_cast<int>(((v >> 5) & 31) << 3),
                        static_cast<int>((v & 31) << 3));
      }
    } else {
      const int step = g.bits / 8;
      for (int x = 0; x < g.width; ++x, row += step) out[x] = GrayOf(row[2], row[1], row[0]);
    }
  }
  return {TransformStatus::Done, std::move(gray)};
}

}  // namespace ravelle
