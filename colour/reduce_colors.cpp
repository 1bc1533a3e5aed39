#include "colour/reduce_colors.h"

#include <atomic>
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

// A second thread, when the machine has one and the image is tall enough to pay for it.
bool UseHelper(int height) { return height >= 64 && std::thread::hardware_concurrency() > 1; }

std::thread StartHelper(const std::function<void()>& job) {
  try {
    return std::thread(job);
  } catch (const std::system_error&) {
    return {};
  }
}

// The source's rows as the quantizer reads them: 24- and 32-bit rows as they are, other depths
// converted to red, green, blue bytes.
class QuantizerRows {
 public:
  QuantizerRows(const PackedDib& source, const DibGeometry& g) : source_(source), feed_(source, g), bits_(g.bits) {}
  bool Direct() const { return bits_ == 24 || bits_ == 32; }
  MedianCutQuantizer::Layout Layout() const {
    if (bits_ == 24) return MedianCutQuantizer::Layout::Bgr;
    return bits_ == 32 ? MedianCutQuantizer::Layout::Bgrx : MedianCutQuantizer::Layout::Rgb;
  }
  // Row y, converted into `rgb` when it has to be.
  std::span<const uint8_t> Row(int y, std::span<uint8_t> rgb) const {
    if (Direct()) return source_.Row(y);
    feed_.Feed(y, rgb);
    return rgb;
  }

 private:
  const PackedDib& source_;
  RgbRowFeed feed_;
  int bits_;
};

// Counts rows [from, to).
void CountRows(MedianCutQuantizer& into, const QuantizerRows& rows, std::span<uint8_t> rgb, int from, int to) {
  for (int y = from; y < to; ++y) into.AccumulateRow(rows.Row(y, rgb), rows.Layout());
}

// Maps every row, even rows (the bottom row is 0) left to right and odd rows right to left. A
// second thread goes ahead of the mapping when there is one: it touches each new row's memory
// (so that the mapping does not wait for the system to provide it) and converts the source
// rows that need it into a ring of buffers. The mapping waits for it row by row, so the
// result does not depend on the timing.
void MapRows(MedianCutQuantizer& quantizer, const QuantizerRows& rows, PackedDib& reduced, std::span<uint8_t> rgb,
             int height) {
  const auto layout = rows.Layout();
  constexpr int kAhead = 16;
  bool haveRing = rows.Direct();
  std::vector<uint8_t> ring;
  if (!rows.Direct() && UseHelper(height)) ring = RowBuffer(rgb.size() * kAhead, &haveRing);
  const auto slot = [&](int y) { return std::span<uint8_t>(ring).subspan(rgb.size() * static_cast<std::size_t>(y % kAhead), rgb.size()); };
  std::atomic<int> prepared{0};
  std::atomic<int> mapped{0};
  std::thread helper;
  if (haveRing && UseHelper(height)) {
    helper = StartHelper([&] {
      for (int y = 0; y < height; ++y) {
        if (!rows.Direct()) {
          while (y - mapped.load(std::memory_order_acquire) >= kAhead) std::this_thread::yield();
          rows.Row(y, slot(y));
        }
        const std::span<uint8_t> out = reduced.Row(y);
        std::fill(out.begin(), out.end(), uint8_t{0});
        prepared.store(y + 1, std::memory_order_release);
      }
    });
  }
  if (!helper.joinable()) {
    for (int y = 0; y < height; ++y) quantizer.MapRow(rows.Row(y, rgb), reduced.Row(y), (y & 1) != 0, layout);
    return;
  }
  for (int y = 0; y < height; ++y) {
    while (prepared.load(std::memory_order_acquire) <= y) std::this_thread::yield();
    const std::span<const uint8_t> in = rows.Direct() ? rows.Row(y, rgb) : slot(y);
    quantizer.MapRow(in, reduced.Row(y), (y & 1) != 0, layout);
    mapped.store(y + 1, std::memory_order_release);
  }
  helper.join();
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

  const QuantizerRows rows(source, g);
  if (choice < 0) {
    // The upper rows are counted on a second thread when there is one; the counts are the same.
    int split = g.height;
    MedianCutQuantizer upper;
    std::vector<uint8_t> upperRgb;
    std::thread helper;
    if (UseHelper(g.height)) {
      bool haveUpperRow = false;
      upperRgb = RowBuffer(3 * static_cast<std::size_t>(g.width), &haveUpperRow);
      if (haveUpperRow && upper.Start(g.width, size)) {
        helper = StartHelper([&] { CountRows(upper, rows, upperRgb, g.height / 2, g.height); });
        if (helper.joinable()) split = g.height / 2;
      }
    }
    CountRows(quantizer, rows, rgb, 0, split);
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
  MapRows(quantizer, rows, reduced, rgb, g.height);
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
