#include "formats/gif/gif_writer.h"

#include <algorithm>
#include <vector>

#include "colour/reduce_colors.h"
#include "formats/gif/gif_lzw.h"
#include "image/dib_pixels.h"
#include "image/output_file.h"

namespace ravelle {
namespace {

// The index of pixel x of a stored row of a 1-, 4- or 8-bit image.
uint8_t IndexAt(std::span<const uint8_t> row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default: return row[x];
  }
}

}  // namespace

bool WriteGifImage(const PackedDib& source, std::FILE* out, bool interlaced) {
  if (!source || out == nullptr) return false;
  PackedDib reduced;
  const PackedDib* dib = &source;
  if (source.BitCount() > 8) {
    reduced = QuantizeImage(source, -256).image;
    if (!reduced) return false;
    dib = &reduced;
  }
  const int bits = dib->BitCount();
  if (bits != 1 && bits != 4 && bits != 8) return false;
  const int width = dib->Width();
  const int height = dib->Height();
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;
  const auto colors = dib->Colors();
  // A table for every index the pixels use: codes past it would break the LZW stream. The
  // entries past the image's table are black, as such pixels are shown.
  const std::size_t entries = EntriesForIndices(*dib);
  int tableBits = 1;
  while (tableBits < bits && (1u << tableBits) < entries) ++tableBits;

  std::vector<uint8_t> file;
  const uint8_t header[] = {'G', 'I', 'F', '8', '9', 'a'};
  file.insert(file.end(), std::begin(header), std::end(header));
  AppendU16le(file, static_cast<uint16_t>(width));
  AppendU16le(file, static_cast<uint16_t>(height));
  AppendU8(file, static_cast<uint8_t>(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)));
  AppendU8(file, 0);
  AppendU8(file, 0);
  for (int i = 0; i < (1 << tableBits); ++i) {
    const RgbQuad c = static_cast<std::size_t>(i) < colors.size() ? colors[i] : RgbQuad{};
    file.insert(file.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
  }
  AppendU8(file, 0x2C);
  AppendU16le(file, 0);
  AppendU16le(file, 0);
  AppendU16le(file, static_cast<uint16_t>(width));
  AppendU16le(file, static_cast<uint16_t>(height));
  AppendU8(file, interlaced ? 0x40 : 0);

  // The rows go to the encoder as stored; 1- and 4-bit rows are spread to a byte a pixel first.
  GifLzwEncoder encoder(std::max(tableBits, 2), file);
  std::vector<uint8_t> spread(static_cast<std::size_t>(width));
  const auto putRow = [&](int y) {
    const auto row = dib->Row(height - 1 - y);
    if (bits == 8 && !row.empty()) {
      encoder.Add(row.first(static_cast<std::size_t>(width)));
      return;
    }
    for (int x = 0; x < width; ++x) spread[static_cast<std::size_t>(x)] = row.empty() ? 0 : IndexAt(row, x, bits);
    encoder.Add(spread);
  };
  if (interlaced) {
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < height; y += kStep[pass]) putRow(y);
  } else {
    for (int y = 0; y < height; ++y) putRow(y);
  }
  encoder.Finish();
  AppendU8(file, 0x3B);
  return std::fwrite(file.data(), 1, file.size(), out) == file.size();
}

}  // namespace ravelle
