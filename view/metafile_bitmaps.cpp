#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "image/dib_pixels.h"
#include "view/metafile_dc.h"

namespace ravelle::playback {
namespace {

// A row of 16 or 32-bit pixels with bit-field masks as red, green, blue triplets, each field
// scaled to the range of a byte.
void FieldsToRgb(const uint8_t* row, int bits, int width, const uint32_t (&masks)[3], uint8_t* out) {
  const auto channel = [](uint32_t value, uint32_t mask) -> uint8_t {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const uint32_t top = mask >> shift;
    return static_cast<uint8_t>(((value & mask) >> shift) * 255 / top);
  };
  for (int x = 0; x < width; ++x, out += 3) {
    const uint32_t v = bits == 16 ? row[2 * x] | (row[2 * x + 1] << 8)
                                  : row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) |
                                        (static_cast<uint32_t>(row[4 * x + 3]) << 24);
    out[0] = channel(v, masks[0]);
    out[1] = channel(v, masks[1]);
    out[2] = channel(v, masks[2]);
  }
}

}  // namespace

// The bitmap of a BITMAPINFO and its bits as a 24-bit image; empty when it cannot be read.
// Indices in `palette` mode (DIB_PAL_COLORS) are looked up in the selected palette. Rows the
// data does not hold are left black; the image is never larger than its data can fill.
PackedDib DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, bool paletteIndices,
                    const Palette& palette) {
  ByteReader r(info);
  const uint32_t headerSize = r.U32le();
  int64_t width, height;
  int bitCount;
  uint32_t compression = 0, colorsUsed = 0;
  if (headerSize == 12) {
    width = r.U16le();
    height = r.I16le();
    r.Skip(2);
    bitCount = r.U16le();
  } else if (headerSize >= 40) {
    width = r.I32le();
    height = r.I32le();
    r.Skip(2);
    bitCount = r.U16le();
    compression = r.U32le();
    r.Skip(12);
    colorsUsed = r.U32le();
  } else {
    return {};
  }
  const bool topDown = height < 0;
  height = std::abs(height);
  if (width <= 0 || height <= 0 || width > 1 << 20 || height > 1 << 20) return {};
  if (compression != 0 && compression != 3) return {};
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return {};
  const uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  const int64_t rows = std::min<int64_t>(height, static_cast<int64_t>(bits.size() / stride));
  if (rows <= 0) return {};

  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (compression == 3) {
    ByteReader m(info.subspan(std::min<std::size_t>(info.size(), 40)));
    for (uint32_t& mask : masks) mask = m.U32le();
  }
  std::vector<RgbQuad> table;
  if (bitCount <= 8) {
    const std::size_t entries = colorsUsed != 0 && colorsUsed < (1u << bitCount) ? colorsUsed : 1u << bitCount;
    ByteReader t(info.subspan(std::min<std::size_t>(info.size(), headerSize)));
    for (std::size_t i = 0; i < entries; ++i) {
      RgbQuad c;
      if (paletteIndices) {
        const uint16_t index = t.U16le();
        if (index < palette.size()) {
          c = {palette[index].blue, palette[index].green, palette[index].red, 0};
        } else if (index != 0) {
          c = {255, 255, 255, 0};
        }
      } else {
        c.rgbBlue = t.U8(), c.rgbGreen = t.U8(), c.rgbRed = t.U8();
        if (headerSize != 12) t.Skip(1);
      }
      table.push_back(c);
    }
  }
  // 32-bit pixels of 8-8-8 are read as they are. 16-bit pixels and other bit fields are scaled to
  // the full range of a byte (5-5-5's 31 is 255, where RowToRgb's shift makes it 248).
  const bool fields = bitCount == 16 || (bitCount == 32 && (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF));

  PackedDib out = CreateDib(static_cast<int>(width), static_cast<int>(rows), 24);
  if (!out) return out;
  for (int64_t y = 0; y < rows; ++y) {
    // Source row y counted from the top of the picture.
    const int64_t stored = topDown ? y : height - 1 - y;
    if (static_cast<uint64_t>(stored + 1) * stride > bits.size()) continue;
    const uint8_t* from = bits.data() + static_cast<std::size_t>(stored) * stride;
    uint8_t* to = out.Row(static_cast<int>(rows - 1 - y)).data();
    if (fields) {
      FieldsToRgb(from, bitCount, static_cast<int>(width), masks, to);
    } else {
      RowToRgb(table, bitCount, static_cast<int>(width), from, to);
    }
    // Red first, as the row helpers give it: turned round to blue, green, red.
    for (int64_t x = 0; x < width; ++x) std::swap(to[3 * x], to[3 * x + 2]);
  }
  return out;
}

// A packed DIB (BITMAPINFO, then its bits) as a 24-bit image.
PackedDib DecodePackedDib(std::span<const uint8_t> packed, bool paletteIndices, const Palette& palette) {
  ByteReader info(packed);
  const uint32_t headerSize = info.U32le();
  info.Skip(10);
  const int bitCount = headerSize == 12 ? 24 : info.U16le();
  const uint32_t compression = info.U32le();
  info.Skip(12);
  const uint32_t used = info.U32le();
  std::size_t entries = 0;
  if (bitCount <= 8) entries = used != 0 && used < (1u << bitCount) ? used : 1u << bitCount;
  std::size_t tableBytes = entries * (paletteIndices ? 2 : 4);
  if (compression == 3 && headerSize == 40) tableBytes = 12;
  const std::size_t bitsAt = std::min<std::size_t>(packed.size(), std::size_t{headerSize} + tableBytes);
  return DecodeDib(packed, packed.subspan(bitsAt), paletteIndices, palette);
}

// Where a DIB's source rectangle starts from the top: a bottom-up bitmap measures it from its
// lower-left corner.
int FromTop(std::span<const uint8_t> info, const PackedDib& dib, int y, int height) {
  ByteReader r(info);
  const uint32_t headerSize = r.U32le();
  r.Skip(4);
  const int32_t stored = headerSize == 12 ? 1 : r.I32le();
  return stored > 0 && dib ? static_cast<int>(std::clamp<int64_t>(int64_t{stored} - y - height, INT32_MIN, INT32_MAX)) : y;
}

// A device-dependent bitmap of a WMF (BITMAP16 with its bits) as a 24-bit image: one plane of
// 1, 4, 8 or 24 bits, the 1-bit one in black and white.
PackedDib DecodeBitmap16(ByteReader r) {
  r.Skip(2);
  const int width = r.I16le(), height = r.I16le(), widthBytes = r.I16le();
  const int planes = r.U8(), bitsPixel = r.U8();
  if (planes != 1 || widthBytes <= 0 || height <= 0) return {};
  const auto bits = r.Bytes(r.Remaining());
  std::vector<uint8_t> info(40 + 8, 0);
  const int32_t negative = -height;
  std::memcpy(&info[0], "\x28\0\0\0", 4);
  std::memcpy(&info[4], &width, 4);
  std::memcpy(&info[8], &negative, 4);
  info[12] = 1;
  info[14] = static_cast<uint8_t>(bitsPixel);
  std::memset(&info[44], 0xFF, 3);
  // BITMAP16 rows are padded to two bytes, DIB rows to four: repack.
  const uint64_t dibStride = (static_cast<uint64_t>(std::max(width, 0)) * bitsPixel + 31) / 32 * 4;
  const int rows = static_cast<int>(std::min<uint64_t>(height, bits.size() / static_cast<uint64_t>(widthBytes)));
  if (rows <= 0 || dibStride == 0 || dibStride > (1u << 24)) return {};
  std::vector<uint8_t> repacked(dibStride * static_cast<uint64_t>(rows));
  for (int y = 0; y < rows; ++y) {
    std::memcpy(&repacked[y * dibStride], &bits[static_cast<std::size_t>(y) * widthBytes],
                std::min<uint64_t>(dibStride, static_cast<uint64_t>(widthBytes)));
  }
  const int32_t shown = -rows;
  std::memcpy(&info[8], &shown, 4);
  return DecodeDib(info, repacked, false, {});
}

}  // namespace ravelle::playback
