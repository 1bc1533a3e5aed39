#include "formats/pcx/pcx_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "image/byte_reader.h"
#include "image/byte_stream.h"
#include "image/dib_pixels.h"
#include "image/format.h"
#include "image/output_file.h"

namespace ravelle {
namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kTrailerBytes = 769;
constexpr uint8_t kTrailerKey = 12;
const Message kUnrecognized{"Unrecognized File Structure", "", kMbIconHand};

// The colours a file gets when its header palette is all black.
constexpr uint8_t kDefaultColors[16][3] = {
    {0, 0, 0},     {0, 0, 128},   {0, 128, 0},   {0, 128, 128}, {128, 0, 0},   {128, 0, 128},
    {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255}, {0, 255, 0},   {0, 255, 255},
    {255, 0, 0},   {255, 0, 255}, {255, 255, 0}, {255, 255, 255},
};

struct PcxHeader {
  uint8_t manufacturer = 0;
  uint8_t version = 0;
  int bitsPerPixel = 0;
  int64_t width = 0;
  int64_t height = 0;
  uint8_t palette[48] = {};
  int planes = 0;
  int bytesPerLine = 0;
};

PcxHeader ReadHeader(ByteReader& in) {
  PcxHeader h;
  h.manufacturer = in.U8();
  h.version = in.U8();
  in.U8();  // encoding: every file is read as coded
  h.bitsPerPixel = in.U8();
  const int xmin = in.I16le();
  const int ymin = in.I16le();
  const int xmax = in.I16le();
  const int ymax = in.I16le();
  h.width = int64_t{xmax} - xmin + 1;
  h.height = int64_t{ymax} - ymin + 1;
  in.Skip(4);
  in.Read(h.palette);
  in.U8();
  h.planes = in.U8();
  h.bytesPerLine = in.I16le();
  in.Seek(kHeaderBytes);
  return h;
}

enum class Layout { Mono, Planar4, Gathered8, Indexed8, Direct16, Direct24 };

// The layout of the image a file gives, from its bits per pixel and planes.
Layout ChooseLayout(int bits, int planes) {
  if (bits * planes == 1) return Layout::Mono;
  if (bits == 8 && planes == 1) return Layout::Indexed8;
  if (bits == 8 && planes >= 3) return Layout::Direct24;
  if (bits == 16 && planes == 1) return Layout::Direct16;
  // Several planes whose bits add up to 8 (8 planes of 1 bit, 4 of 2, 2 of 4) give 256 colours,
  // which a 16-entry table could not index.
  if (bits * planes == 8) return Layout::Gathered8;
  return Layout::Planar4;
}

// One row's plane lines, one after another, from the run-length codes: a byte of 0xC0 or above
// repeats the next byte (its low six bits) times, any other stands for itself. A run that ends
// one plane's line goes on in the next plane's; what runs past the row is dropped. Returns how
// many bytes were filled: fewer than the row's when the data ended.
std::size_t DecodeRow(ByteStream& in, std::span<uint8_t> out) {
  uint8_t* const line = out.data();
  const std::size_t length = out.size();
  std::size_t at = 0;
  uint8_t code = 0, value = 0;
  while (at < length && in.Byte(code)) {
    if (code < 0xC0) {
      line[at++] = code;
      continue;
    }
    if (!in.Byte(value)) break;
    const std::size_t count = std::min<std::size_t>(code & 0x3F, length - at);
    std::memset(line + at, value, count);
    at += count;
  }
  return at;
}

// How far the decoding of the rows went: the rows whose pixels all came from the data, and
// whether the data ended before the last row was whole.
struct RowsDecoded {
  int rows = 0;
  bool ended = false;
};

// The bytes of a row's plane lines that hold pixels: all lines but the last whole, and of the
// last what the width takes. A row whose data ends in the line's padding has all its pixels.
std::size_t PixelBytes(std::size_t planes, std::size_t bytesPerLine, std::size_t lastLineBytes) {
  return planes == 0 ? 0 : (planes - 1) * bytesPerLine + std::min(lastLineBytes, bytesPerLine);
}

// Each decoder below stops at the end of the data: the rows below stay as they were allocated.
RowsDecoded Ended(int rowsBefore, std::size_t filled, std::size_t needed) {
  return {rowsBefore + (filled >= needed ? 1 : 0), true};
}

// 8 bits in 3 or 4 planes: red, green, blue (and a fourth) planes into B, G, R, fourth bytes.
RowsDecoded DecodeDirect24(PackedDib& dib, ByteStream& in, std::span<uint8_t> line, std::size_t bytesPerLine) {
  constexpr int kStart[4] = {2, 1, 0, 3};
  const std::size_t planes = line.size() / bytesPerLine;
  const std::size_t width = std::min(static_cast<std::size_t>(dib.Width()), bytesPerLine);
  const std::size_t needed = PixelBytes(planes, bytesPerLine, width);
  for (int y = dib.Height() - 1; y >= 0; --y) {
    std::fill(line.begin(), line.end(), uint8_t{0});
    const std::size_t filled = DecodeRow(in, line);
    uint8_t* row = dib.Row(y).data();
    for (std::size_t k = 0; k < planes; ++k) {
      const uint8_t* plane = line.data() + k * bytesPerLine;
      uint8_t* out = row + kStart[k];
      for (std::size_t x = 0; x < width; ++x, out += planes) *out = plane[x];
    }
    if (filled < line.size()) return Ended(dib.Height() - 1 - y, filled, needed);
  }
  return {dib.Height(), false};
}

// 16 bits in one plane: a code's value is two bytes, low byte first.
RowsDecoded Decode16(PackedDib& dib, ByteStream& in, const PcxHeader& h) {
  const int64_t rowBytes = 2 * h.width;
  const auto needed = static_cast<std::size_t>(std::min<int64_t>(rowBytes, h.bytesPerLine));
  for (int y = dib.Height() - 1; y >= 0; --y) {
    uint8_t* row = dib.Row(y).data();
    int offset = 0;
    const auto ended = [&] { return Ended(dib.Height() - 1 - y, static_cast<std::size_t>(offset), needed); };
    while (offset < h.bytesPerLine) {
      uint8_t low = 0, high = 0;
      int count = 1;
      if (!in.Byte(low)) return ended();
      if (low >= 0xC0) {
        count = low & 0x3F;
        if (!in.Byte(low)) return ended();
      }
      if (!in.Byte(high)) return ended();
      for (; count > 0 && offset < h.bytesPerLine; --count, offset += 2) {
        if (offset < rowBytes) {
          row[offset] = low;
          row[offset + 1] = high & 0x7F;  // the image is 5-5-5
        }
      }
    }
  }
  return {dib.Height(), false};
}

RowsDecoded DecodeIndexed8(PackedDib& dib, ByteStream& in, std::span<uint8_t> line) {
  const std::size_t width = std::min(static_cast<std::size_t>(dib.Width()), line.size());
  for (int y = dib.Height() - 1; y >= 0; --y) {
    std::fill(line.begin(), line.end(), uint8_t{0});
    const std::size_t filled = DecodeRow(in, line);
    std::memcpy(dib.Row(y).data(), line.data(), width);
    if (filled < line.size()) return Ended(dib.Height() - 1 - y, filled, width);
  }
  return {dib.Height(), false};
}

// The pixels of one plane byte of 1, 2, 4 or 8 bits, pixel j (from the byte's high bits) in
// byte j: the lanes that plane values are added up in.
constexpr std::array<uint64_t, 256> SpreadPlaneByte(int bits) {
  std::array<uint64_t, 256> table{};
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (unsigned b = 0; b < 256; ++b) {
    for (int j = 0; j < perByte; ++j) table[b] |= uint64_t{(b >> (8 - bits - j * bits)) & mask} << (8 * j);
  }
  return table;
}
constexpr std::array<std::array<uint64_t, 256>, 4> kSpread = {SpreadPlaneByte(1), SpreadPlaneByte(2),
                                                              SpreadPlaneByte(4), SpreadPlaneByte(8)};

// A 1-bit plane byte as the bit it gives each of the eight 4-bit pixels, the first in the high
// nibble of the first byte (the lowest in memory).
constexpr std::array<uint32_t, 256> SpreadToNibbles() {
  std::array<uint32_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    for (int j = 0; j < 8; ++j) {
      if ((b >> (7 - j)) & 1) table[b] |= uint32_t{1} << (8 * (j / 2) + (j % 2 == 0 ? 4 : 0));
    }
  }
  return table;
}
constexpr std::array<uint32_t, 256> kNibbles = SpreadToNibbles();

// Plane lines of 1, 2, 4 or 8 bits: each pixel's value is the sum of its bits in plane k shifted
// left by k (8-bit planes after the first only take their place in the stream), then packed
// into a row of the image's depth. Worked a plane byte at a time rather than a pixel at a time.
RowsDecoded DecodePlanar(PackedDib& dib, ByteStream& in, std::span<uint8_t> line, const PcxHeader& h) {
  static_assert(std::endian::native == std::endian::little, "plane lanes are stored low byte first");
  const int bits = h.bitsPerPixel;
  const std::size_t bytesPerLine = static_cast<std::size_t>(h.bytesPerLine);
  const std::size_t perByte = static_cast<std::size_t>(8 / bits);
  const std::size_t width = std::min<std::size_t>(static_cast<std::size_t>(dib.Width()), bytesPerLine * perByte);
  const std::size_t usedBytes = (width + perByte - 1) / perByte;
  const int depth = dib.BitCount();
  // Only a value's low 8 bits (256 colours) or 4 bits (16) reach the image, and planes past the
  // eighth or the fourth only add to the bits above them.
  const int planes = bits == 8 ? 1 : std::min(h.planes, depth == 8 ? 8 : 4);
  const uint64_t* spread = kSpread[bits == 1 ? 0 : bits == 2 ? 1 : bits == 4 ? 2 : 3].data();
  const uint32_t* nibbles = kNibbles.data();
  std::vector<uint8_t> buffer(depth == 1 ? 0 : usedBytes * perByte + 8);
  // Plain pointers in the loops below: they run for every byte of every plane.
  uint8_t* const values = buffer.data();
  const uint8_t* const planeLines = line.data();
  const std::size_t needed = PixelBytes(static_cast<std::size_t>(std::max(h.planes, 0)), bytesPerLine, usedBytes);
  for (int y = dib.Height() - 1; y >= 0; --y) {
    std::fill(line.begin(), line.end(), uint8_t{0});
    const std::size_t filled = DecodeRow(in, line);
    uint8_t* row = dib.Row(y).data();
    if (depth == 1) {
      // One plane of 1 bit is the row itself.
      std::memcpy(row, planeLines, width / 8);
      if (width % 8 != 0) row[width / 8] = static_cast<uint8_t>(planeLines[width / 8] & (0xFF00u >> (width % 8)));
    } else if (depth == 4 && bits == 1) {
      for (std::size_t i = 0; i < usedBytes; ++i) {
        uint32_t v = 0;
        const uint8_t* b = planeLines + i;
        for (int k = 0; k < planes; ++k, b += bytesPerLine) v |= nibbles[*b] << k;
        std::memcpy(values + 4 * i, &v, 4);
      }
      std::memcpy(row, values, width / 2);
      if (width % 2 != 0) row[width / 2] = static_cast<uint8_t>(values[width / 2] & 0xF0);
    } else {
      for (std::size_t i = 0; i < usedBytes; ++i) {
        uint64_t v = 0;
        const uint8_t* b = planeLines + i;
        for (int k = 0; k < planes; ++k, b += bytesPerLine) v += spread[*b] << k;
        std::memcpy(values + perByte * i, &v, 8);
      }
      if (depth == 8) {
        std::memcpy(row, values, width);
      } else {
        for (std::size_t x = 0; x + 1 < width; x += 2) row[x / 2] = static_cast<uint8_t>((values[x] & 0x0F) << 4 | (values[x + 1] & 0x0F));
        if (width % 2 != 0) row[width / 2] = static_cast<uint8_t>((values[width - 1] & 0x0F) << 4);
      }
    }
    if (filled < line.size()) return Ended(dib.Height() - 1 - y, filled, needed);
  }
  return {dib.Height(), false};
}

void SetColor(RgbQuad& entry, const uint8_t* rgb) { entry = {rgb[2], rgb[1], rgb[0], 0}; }

// The colour table of the indexed layouts: the trailer's 256 colours, or the header's.
void ReadColors(PackedDib& dib, const ByteSource& file, const PcxHeader& h, Layout layout, std::string& info) {
  auto table = dib.Colors();
  const int used = h.bitsPerPixel * h.planes;
  uint8_t trailer[kTrailerBytes];
  if (h.version == 5 && used == 8 && file.Size() >= kTrailerBytes &&
      file.ReadAt(file.Size() - kTrailerBytes, trailer) == kTrailerBytes && trailer[0] == kTrailerKey) {
    info += "colors: 256";
    for (std::size_t i = 0; i < 256 && i < table.size(); ++i) SetColor(table[i], &trailer[1 + 3 * i]);
    return;
  }
  if (layout == Layout::Gathered8) {
    // Without its trailer an 8-bit planar file is shown in gray levels.
    info += "colors: 256";
    for (std::size_t i = 0; i < table.size(); ++i) {
      const auto v = static_cast<uint8_t>(i);
      table[i] = {v, v, v, 0};
    }
    return;
  }
  const std::size_t n = used == 1 ? 2 : used == 2 ? 4 : used == 3 ? 8 : 16;
  info += Format("colors: %zu", n);
  const bool black = std::all_of(h.palette, h.palette + 3 * n, [](uint8_t v) { return v == 0; });
  for (std::size_t i = 0; i < n && i < table.size(); ++i) SetColor(table[i], black ? kDefaultColors[i] : &h.palette[3 * i]);
}

}  // namespace

ReadResult ReadPcxImage(const ByteSource& file) {
  ReadResult result;
  if (file.Size() == 0) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  uint8_t head[kHeaderBytes];
  ByteReader header({head, file.ReadAt(0, head)});
  const PcxHeader h = ReadHeader(header);
  if (h.manufacturer != 10) {
    result.Fail(ReadStatus::BadHeader, kUnrecognized);
    return result;
  }
  if (file.Size() < kHeaderBytes) {
    result.Fail(ReadStatus::Damaged, kUnrecognized);
    return result;
  }
  result.frame = FrameSize{h.width, h.height};

  const Layout layout = ChooseLayout(h.bitsPerPixel, h.planes);
  int depth = 4;
  uint32_t colors = 16;
  switch (layout) {
    case Layout::Mono: depth = 1; colors = 2; break;
    case Layout::Indexed8: case Layout::Gathered8: depth = 8; colors = 256; break;
    case Layout::Direct24: depth = 8 * h.planes; colors = 0; break;
    case Layout::Direct16: depth = 16; colors = 0; break;
    case Layout::Planar4:
      colors = h.planes == 1 && h.bitsPerPixel == 2 ? 4 : h.planes == 1 && h.bitsPerPixel == 3 ? 8 : 16;
      break;
  }
  result.infoText = Format(
      "image type: PCX \nwidth: %ld \nheight: %ld \nversion: %d \nplanes: %d \nbits per pixel: %d \nbytes per line: %d \n",
      static_cast<long>(h.width), static_cast<long>(h.height), h.version, h.planes, h.bitsPerPixel, h.bytesPerLine);
  // An empty picture (or empty lines) has nothing to show; more than four 8-bit planes is no
  // image depth.
  if (h.width <= 0 || h.height <= 0 || h.bytesPerLine <= 0 || depth > 32) {
    result.status = depth > 32 ? ReadStatus::Unsupported : ReadStatus::BadHeader;
    if (depth > 32) result.messages.push_back(kUnrecognized);
    return result;
  }
  PackedDib dib = h.width <= INT32_MAX && h.height <= INT32_MAX
                      ? CreateDib(static_cast<int>(h.width), static_cast<int>(h.height), depth, colors)
                      : PackedDib();
  if (!dib) {
    result.Fail(NoBlockStatus(h.width, h.height, depth, colors), kMemoryAllocationError);
    return result;
  }

  // Every layout but 16 bits decodes a row's plane lines into one buffer.
  const std::size_t bytesPerLine = static_cast<std::size_t>(std::max(h.bytesPerLine, 0));
  std::vector<uint8_t> line;
  ByteStream in(file, kHeaderBytes);
  RowsDecoded decoded{dib.Height(), false};
  if (layout == Layout::Direct16) {
    result.infoText += "colors: 65,536";
    if (bytesPerLine > 0) decoded = Decode16(dib, in, h);
  } else {
    const int bits = h.bitsPerPixel;
    if (layout != Layout::Direct24 && layout != Layout::Indexed8 && bits != 1 && bits != 2 && bits != 4 && bits != 8) {
      result.Fail(ReadStatus::Unsupported, kUnrecognized);
      result.dib = std::move(dib);
      return result;
    }
    line.resize(bytesPerLine * static_cast<std::size_t>(h.planes));
    if (layout == Layout::Direct24) result.infoText += "colors: 16.7 million";
    if (!line.empty()) {
      switch (layout) {
        case Layout::Direct24: decoded = DecodeDirect24(dib, in, line, bytesPerLine); break;
        case Layout::Indexed8: decoded = DecodeIndexed8(dib, in, line); break;
        default: decoded = DecodePlanar(dib, in, line, h); break;
      }
    }
  }
  // A file that ends before its first row is whole has no picture to show.
  if (decoded.rows == 0 && decoded.ended) {
    result.Fail(ReadStatus::Damaged, kUnrecognized);
    return result;
  }
  if (decoded.ended) result.status = ReadStatus::Truncated;
  // A file cut short still gets its colours, so that the part decoded shows as it should.
  if (layout != Layout::Direct24 && layout != Layout::Direct16) ReadColors(dib, file, h, layout, result.infoText);
  result.dib = std::move(dib);
  return result;
}

// ---- Writing

void WritePcxRunLine(std::vector<uint8_t>& out, std::span<const uint8_t> line) {
  if (line.empty()) return;
  // At most two bytes for each byte of the line.
  const std::size_t start = out.size();
  out.resize(start + 2 * line.size());
  uint8_t* p = out.data() + start;
  const auto emit = [&p](uint8_t value, int count) {
    if (count > 1 || value >= 0xC0) *p++ = static_cast<uint8_t>(0xC0 | count);
    *p++ = value;
  };
  uint8_t value = line[0];
  int count = 1;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == value && count < 63) {
      ++count;
    } else {
      emit(value, count);
      value = line[i];
      count = 1;
    }
  }
  emit(value, count);
  out.resize(static_cast<std::size_t>(p - out.data()));
}

bool WritePcxImage(const std::filesystem::path& path, const PackedDib& dib) {
  const auto geometry = CompleteGeometry(dib);
  if (!geometry) return false;
  const int width = geometry->width;
  const int bits = geometry->bits;
  const auto table = dib.Colors();
  const std::size_t colors = bits <= 8 ? table.size() : 0;

  int bitsPerPixel = 8;
  int planes = 1;
  switch (bits) {
    case 1: bitsPerPixel = 1; break;
    case 4: {
      // Enough planes for every index the pixels use; the colours past the table are black.
      const std::size_t indices = EntriesForIndices(dib);
      bitsPerPixel = 1;
      planes = indices <= 4 ? 2 : indices <= 8 ? 3 : 4;
      break;
    }
    case 8: break;
    default: planes = 3; break;
  }
  const int bytesPerLine = (width * bitsPerPixel + 7) / 8;
  // The header's corners and line length are signed 16-bit numbers.
  if (width > 32768 || geometry->height > 32768 || bytesPerLine > 32767) return false;

  auto output = OutputFile::Create(path);
  if (!output) return false;
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes + 2 * static_cast<std::size_t>(planes * bytesPerLine + 2));
  AppendU8(out, 10);
  AppendU8(out, 5);
  AppendU8(out, 1);
  AppendU8(out, static_cast<uint8_t>(bitsPerPixel));
  AppendU16le(out, 0);
  AppendU16le(out, 0);
  AppendU16le(out, static_cast<uint16_t>(width - 1));
  AppendU16le(out, static_cast<uint16_t>(geometry->height - 1));
  AppendU16le(out, 320);
  AppendU16le(out, 200);
  for (std::size_t i = 0; i < 16; ++i) {
    const RgbQuad c = colors <= 16 && i < colors ? table[i] : RgbQuad{};
    AppendU8(out, c.rgbRed);
    AppendU8(out, c.rgbGreen);
    AppendU8(out, c.rgbBlue);
  }
  AppendU8(out, 0);
  AppendU8(out, static_cast<uint8_t>(planes));
  AppendU16le(out, static_cast<uint16_t>(bytesPerLine));
  AppendU16le(out, 1);
  AppendU16le(out, 640);
  AppendU16le(out, 480);
  out.resize(kHeaderBytes, 0);

  std::vector<uint8_t> lines(static_cast<std::size_t>(planes) * static_cast<std::size_t>(bytesPerLine));
  const std::size_t bpl = static_cast<std::size_t>(bytesPerLine);
  for (int y = geometry->height - 1; y >= 0; --y) {
    const uint8_t* row = dib.Row(y).data();
    if (planes == 1) {
      std::memcpy(lines.data(), row, bpl);
    } else if (bits == 4) {
      std::fill(lines.begin(), lines.end(), uint8_t{0});
      for (int x = 0; x < width; ++x) {
        const unsigned index = PixelIndex(row, 4, x);
        for (int k = 0; k < planes; ++k) {
          if ((index >> k) & 1) lines[k * bpl + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
      }
    } else if (bits == 16) {
      for (int x = 0; x < width; ++x) {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        lines[x] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
        lines[bpl + x] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
        lines[2 * bpl + x] = static_cast<uint8_t>((v & 31) << 3);
      }
    } else {
      const int step = bits / 8;
      for (int x = 0; x < width; ++x, row += step) {
        lines[x] = row[2];
        lines[bpl + x] = row[1];
        lines[2 * bpl + x] = row[0];
      }
    }
    for (int k = 0; k < planes; ++k) WritePcxRunLine(out, std::span(lines).subspan(k * bpl, bpl));
    if (out.size() >= (std::size_t{1} << 20)) {
      output->Write(out);
      out.clear();
    }
  }
  if (bitsPerPixel * planes == 8) {
    AppendU8(out, kTrailerKey);
    for (std::size_t i = 0; i < 256; ++i) {
      const RgbQuad c = i < colors ? table[i] : RgbQuad{};
      AppendU8(out, c.rgbRed);
      AppendU8(out, c.rgbGreen);
      AppendU8(out, c.rgbBlue);
    }
  }
  output->Write(out);
  return output->Commit();
}

}  // namespace ravelle
