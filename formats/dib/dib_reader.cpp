#include "formats/dib/dib_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "formats/dib/fax_codes.h"

namespace ravelle {
namespace {

constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
// Windows CE's bit fields with an alpha mask; read like BI_BITFIELDS.
constexpr uint32_t kBiAlphaBitfields = 6;

bool IsDibDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

uint32_t DefaultEntries(int bits) { return bits <= 8 ? 1u << bits : 0; }

// Bottom-up is how a PackedDib stores rows; a top-down file is turned over after reading. Only
// rows 0 to `reached` - 1 hold data: the pairs of rows beyond them are both zero.
void FlipRows(PackedDib& dib, int reached) {
  const std::size_t stride = dib.Stride();
  std::vector<uint8_t> temp(stride);
  for (int top = 0, bottom = dib.Height() - 1; top < bottom && top < reached; ++top, --bottom) {
    auto a = dib.Row(top);
    auto b = dib.Row(bottom);
    if (a.empty() || b.empty()) return;
    std::memcpy(temp.data(), a.data(), stride);
    std::memcpy(a.data(), b.data(), stride);
    std::memcpy(b.data(), temp.data(), stride);
  }
}

void ReadColorTable(ByteReader& in, std::span<RgbQuad> table, int bytesPerEntry) {
  for (RgbQuad& entry : table) {
    entry.rgbBlue = in.U8();
    entry.rgbGreen = in.U8();
    entry.rgbRed = in.U8();
    entry.rgbReserved = 0;
    if (bytesPerEntry == 4) in.U8();
  }
}

// --- Bit-field masks -----------------------------------------------------------------------

struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

Channel MakeChannel(uint32_t mask) {
  if (mask == 0) return {};
  const int shift = std::countr_zero(mask);
  return {mask, shift, static_cast<int>(std::bit_width(mask >> shift))};
}

// A field value of `bits` bits scaled to `to` bits: truncated when wider, bits repeated when
// narrower (so that the largest value stays the largest).
uint32_t ScaleField(uint32_t value, int bits, int to) {
  if (bits == 0) return 0;
  if (bits >= to) return value >> (bits - to);
  uint32_t result = value << (to - bits);
  for (int filled = bits; filled < to; filled += bits) result |= result >> bits;
  return result & ((1u << to) - 1);
}

uint32_t Field(uint32_t pixel, const Channel& c) { return (pixel & c.mask) >> c.shift; }

enum class MaskLayout { Rgb555, Rgb565, Rgb888, Rgb101010, Other };

MaskLayout ClassifyMasks(int bits, uint32_t red, uint32_t green, uint32_t blue) {
  if (bits == 16 && red == 0x7C00 && green == 0x03E0 && blue == 0x001F) return MaskLayout::Rgb555;
  if (bits == 16 && red == 0xF800 && green == 0x07E0 && blue == 0x001F) return MaskLayout::Rgb565;
  if (bits == 32 && red == 0xFF0000 && green == 0x00FF00 && blue == 0x0000FF) return MaskLayout::Rgb888;
  if (bits == 32 && red == 0xFFC00000 && green == 0x003FF000 && blue == 0x00000FFC) return MaskLayout::Rgb101010;
  return MaskLayout::Other;
}

uint32_t LoadLe(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void StoreLe(uint8_t* p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Turns 16-bit pixels into 5-5-5 and 32-bit pixels into 8-8-8, in place. Fields of 10 bits hold
// the full 10-bit range (as every program writes them, ours included) and are scaled down.
// Only the first `rows` rows, which the data reached, are converted.
void ConvertBitfields(PackedDib& dib, int rows, MaskLayout layout, uint32_t red, uint32_t green, uint32_t blue) {
  const int width = dib.Width();
  const int bits = dib.BitCount();
  const int bytes = bits / 8;
  const Channel r = MakeChannel(red), g = MakeChannel(green), b = MakeChannel(blue);

  for (int y = 0; y < rows; ++y) {
    uint8_t* row = dib.Row(y).data();
    for (int x = 0; x < width; ++x) {
      const uint32_t p = LoadLe(row + bytes * x, bytes);
      uint32_t out = 0;
      if (layout == MaskLayout::Rgb565) {
        out = ((p >> 1) & 0x7FE0) | (p & 0x1F);
      } else if (bits == 16) {
        out = (ScaleField(Field(p, r), r.bits, 5) << 10) | (ScaleField(Field(p, g), g.bits, 5) << 5) |
              ScaleField(Field(p, b), b.bits, 5);
      } else {
        out = (ScaleField(Field(p, r), r.bits, 8) << 16) | (ScaleField(Field(p, g), g.bits, 8) << 8) |
              ScaleField(Field(p, b), b.bits, 8);
      }
      StoreLe(row + bytes * x, out, bytes);
    }
  }
}

// --- Huffman decoding tables ---------------------------------------------------------------

constexpr int kNoCode = -1;
constexpr int kEndOfLine = -2;
constexpr int kInvalid = -3;
constexpr int kEndOfData = -4;
constexpr int kMaxCodeBits = 13;

// Indexed by (1 << length) | code, for codes of up to 13 bits.
using CodeTable = std::array<int16_t, 2 << kMaxCodeBits>;

void AddCode(CodeTable& table, const char* bits, int value) {
  uint32_t code = 0;
  int length = 0;
  for (; bits[length] != '\0'; ++length) code = (code << 1) | static_cast<uint32_t>(bits[length] - '0');
  table[(1u << length) | code] = static_cast<int16_t>(value);
}

CodeTable BuildTable(std::span<const fax::Code> codes) {
  CodeTable table;
  table.fill(kNoCode);
  for (const fax::Code& c : codes) AddCode(table, c.bits, c.run);
  for (const fax::Code& c : fax::kExtended) AddCode(table, c.bits, c.run);
  AddCode(table, fax::kEndOfLine, kEndOfLine);
  return table;
}

const CodeTable& WhiteTable() {
  static const CodeTable table = BuildTable(fax::kWhite);
  return table;
}

const CodeTable& BlackTable() {
  static const CodeTable table = BuildTable(fax::kBlack);
  return table;
}

int DecodeCode(BitReader& bits, const CodeTable& table) {
  uint32_t code = 0;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    code = (code << 1) | static_cast<uint32_t>(ReadBit(bits));
    if (bits.exhausted) return kEndOfData;
    const int value = table[(1u << length) | code];
    if (value != kNoCode) return value;
  }
  return kInvalid;
}

// One run: make-up codes add up until a terminating code (below 64) ends it.
int DecodeRun(BitReader& bits, const CodeTable& table) {
  int total = 0;
  for (;;) {
    const int value = DecodeCode(bits, table);
    if (value < 0) return value;
    total += value;
    if (value < 64) return total;
    if (total > (1 << 30)) return kInvalid;
  }
}

void SetBlackBits(uint8_t* row, int from, int to) {
  for (int x = from; x < to; ++x) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

// --- Shared header pieces ------------------------------------------------------------------

struct FileHeader {
  uint32_t offBits = 0;
  uint32_t headerSize = 0;
};

FileHeader ReadFileHeader(ByteReader& in, std::size_t start) {
  FileHeader h;
  in.Seek(start + 10);
  h.offBits = in.U32le();
  h.headerSize = in.U32le();
  return h;
}

Message MemoryMessage(const char* text) { return {text, "", kMbIconHand}; }
ReadStatus NoBlock(const BitmapInfoHeader& h) { return NoBlockStatus(h.biWidth, h.biHeight, h.biBitCount, h.biClrUsed); }

// Uncompressed rows read from `offset` straight into the image, in the file's order (the bottom
// row first, or the top row of a top-down file). Only the rows the data reached are touched,
// and they get clear padding; a row counts as decoded when its pixels are all there.
DecodedRows ReadPlainRows(const ByteSource& file, uint64_t offset, PackedDib& dib) {
  const std::size_t got = file.ReadAt(offset, dib.Pixels());
  const uint64_t stride = dib.Stride();
  const uint64_t used = (static_cast<uint64_t>(dib.Width()) * dib.BitCount() + 7) / 8;
  const uint64_t height = static_cast<uint64_t>(dib.Height());
  const auto reached = static_cast<int>(std::min((got + stride - 1) / stride, height));
  const uint64_t whole = got < used ? 0 : std::min((got - used) / stride + 1, height);
  ClearRowPadding(dib, 0, reached);
  return {whole >= height ? ReadStatus::Ok : whole > 0 ? ReadStatus::Truncated : ReadStatus::Damaged, reached};
}

// A file that ends inside its header, or before its first row, gives no image.
ReadResult Damaged(ReadResult result) {
  result.status = ReadStatus::Damaged;
  result.dib = PackedDib();
  return result;
}

}  // namespace

bool ReadRleByte(ByteReader& in, uint8_t& out) {
  if (in.AtEnd()) return false;
  out = in.U8();
  return true;
}

int ReadBit(BitReader& bits) {
  if (bits.left == 0) {
    if (!ReadRleByte(bits.in, bits.byte)) {
      bits.exhausted = true;
      return 1;
    }
    bits.left = 8;
  }
  --bits.left;
  return (bits.byte >> bits.left) & 1;
}

namespace {

// The run-length decoders keep the column x and the row y; a pixel is written only when it lies
// inside the image, so runs, deltas and absolute stretches that run past a row end are cut there.
// The escapes after a zero count are the same for every depth: 0 ends the line, 1 the bitmap,
// 2 moves by (dx, dy), and 3 to 255 start an absolute stretch of that many pixels.
struct RleCursor {
  std::span<uint8_t> rows;
  std::size_t stride;
  int width;
  int height;
  int64_t x = 0;
  int y = 0;

  // The start of the current pixel's bytes when it lies inside the image, else null.
  uint8_t* At(int bytesPerPixel) {
    if (x >= width || y >= height) return nullptr;
    return &rows[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * bytesPerPixel];
  }
};

// How a stream that stopped at the end of its data went: the rows passed over (and the one it
// stopped in, when that was filled to its end) were decoded.
DecodedRows EndedAt(int rowsDone, bool rowFilled, int height) {
  const int rows = rowsDone + (rowFilled ? 1 : 0);
  const ReadStatus status = rows >= height ? ReadStatus::Ok : rows > 0 ? ReadStatus::Truncated : ReadStatus::Damaged;
  return {status, std::min(rowsDone + 1, height)};
}

// `run(count)` writes an encoded run, `absolute(n)` an absolute stretch with its padding; each
// returns false when the data ended.
template <typename Run, typename Absolute>
DecodedRows DecodeRle(RleCursor& c, ByteReader& in, Run run, Absolute absolute) {
  const auto ended = [&] { return EndedAt(c.y, c.x >= c.width, c.height); };
  const auto finished = [&] { return DecodedRows{ReadStatus::Ok, std::min(c.y + 1, c.height)}; };
  uint8_t count = 0, escape = 0;
  while (ReadRleByte(in, count)) {
    if (count != 0) {
      if (!run(count)) return ended();
      continue;
    }
    if (!ReadRleByte(in, escape)) return ended();
    if (escape == 0) {
      if (++c.y >= c.height) return finished();
      c.x = 0;
    } else if (escape == 1) {
      return finished();
    } else if (escape == 2) {
      uint8_t dx = 0, dy = 0;
      if (!ReadRleByte(in, dx) || !ReadRleByte(in, dy)) return ended();
      c.y += dy;
      if (c.y >= c.height) return finished();
      c.x += dx;
    } else if (!absolute(escape)) {
      return ended();
    }
  }
  return ended();
}

}  // namespace

DecodedRows DecodeRle8(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in) {
  RleCursor c{rows, stride, width, height};
  const auto put = [&](uint8_t value) {
    if (uint8_t* p = c.At(1)) *p = value;
    ++c.x;
  };
  uint8_t value = 0;
  return DecodeRle(
      c, in,
      [&](int count) {
        if (!ReadRleByte(in, value)) return false;
        for (int i = 0; i < count; ++i) put(value);
        return true;
      },
      [&](int n) {
        for (int i = 0; i < n; ++i) {
          if (!ReadRleByte(in, value)) return false;
          put(value);
        }
        return n % 2 == 0 || ReadRleByte(in, value);  // padded to a 16-bit boundary
      });
}

DecodedRows DecodeRle4(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in) {
  RleCursor c{rows, stride, width, height};
  // An even column fills the high nibble of byte x / 2, an odd one its low nibble.
  const auto put = [&](uint8_t nibble) {
    if (c.x < width && c.y < height) {
      uint8_t& byte = rows[static_cast<std::size_t>(c.y) * stride + static_cast<std::size_t>(c.x / 2)];
      byte = c.x % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | (nibble << 4)) : static_cast<uint8_t>((byte & 0xF0) | nibble);
    }
    ++c.x;
  };
  uint8_t value = 0;
  return DecodeRle(
      c, in,
      [&](int count) {
        if (!ReadRleByte(in, value)) return false;
        for (int i = 0; i < count; ++i) put(i % 2 == 0 ? value >> 4 : value & 0x0F);
        return true;
      },
      [&](int n) {
        // n pixels in (n + 1) / 2 bytes, padded to a 16-bit boundary.
        for (int i = 0; i < n; i += 2) {
          if (!ReadRleByte(in, value)) return false;
          put(value >> 4);
          if (i + 1 < n) put(value & 0x0F);
        }
        return !(n % 4 == 1 || n % 4 == 2) || ReadRleByte(in, value);
      });
}

DecodedRows DecodeRle24(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in) {
  RleCursor c{rows, stride, width, height};
  uint8_t bgr[3] = {0, 0, 0};
  const auto read = [&] { return ReadRleByte(in, bgr[0]) && ReadRleByte(in, bgr[1]) && ReadRleByte(in, bgr[2]); };
  const auto put = [&] {
    if (uint8_t* p = c.At(3)) std::memcpy(p, bgr, 3);
    ++c.x;
  };
  return DecodeRle(
      c, in,
      [&](int count) {
        if (!read()) return false;
        for (int i = 0; i < count; ++i) put();
        return true;
      },
      [&](int n) {
        for (int i = 0; i < n; ++i) {
          if (!read()) return false;
          put();
        }
        uint8_t pad = 0;
        return n % 2 == 0 || ReadRleByte(in, pad);
      });
}

DecodedRows DecodeModifiedHuffman(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in) {
  BitReader bits{in};
  const CodeTable& white = WhiteTable();
  const CodeTable& black = BlackTable();
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rows.data() + static_cast<std::size_t>(y) * stride;
    int x = 0;
    bool atRowStart = true;
    // The end of the data or an invalid code ends decoding with the rows so far.
    const auto stopped = [&] { return EndedAt(y, false, height); };
    for (;;) {
      const int whiteRun = DecodeRun(bits, white);
      if (whiteRun == kEndOfData) return stopped();
      if (whiteRun == kEndOfLine && atRowStart) continue;
      // An end-of-line code in place of a later white run ends the row.
      if (whiteRun == kEndOfLine) break;
      if (whiteRun < 0) return stopped();
      atRowStart = false;
      x += whiteRun;
      if (x == width) break;
      if (x > width) return stopped();
      const int blackRun = DecodeRun(bits, black);
      if (blackRun == kEndOfLine) break;
      if (blackRun < 0) return stopped();
      if (blackRun > width - x) return stopped();
      SetBlackBits(row, x, x + blackRun);
      x += blackRun;
      if (x == width) break;
    }
  }
  return {ReadStatus::Ok, height};
}

// --- Windows bitmaps -----------------------------------------------------------------------

ReadResult ReadWindowsDib(const ByteSource& file, std::size_t start) {
  ReadResult result;
  ByteReader in(file.Head());
  const FileHeader fh = ReadFileHeader(in, start);
  const uint32_t headerSize = fh.headerSize;
  const int32_t width = in.I32le();
  const int32_t fileHeight = in.I32le();
  const uint16_t planes = in.U16le();
  const uint16_t bits = in.U16le();
  const uint32_t compression = in.U32le();
  const uint32_t sizeImage = in.U32le();
  const int32_t xPels = in.I32le();
  const int32_t yPels = in.I32le();
  const uint32_t clrUsed = in.U32le();
  const uint32_t clrImportant = in.U32le();
  if (in.Truncated()) return Damaged(std::move(result));

  // Top-down files (negative height) are stored bottom-up like every other image.
  const bool topDown = fileHeight < 0;
  const int64_t height = topDown ? -static_cast<int64_t>(fileHeight) : fileHeight;
  result.infoText = Format("image type: Windows DIB \nwidth: %lu \nheight: %lu \nplanes: %d \nbit count: %d \n",
                           static_cast<unsigned long>(static_cast<uint32_t>(width)),
                           static_cast<unsigned long>(height), planes, bits);
  result.frame = FrameSize{width, height};
  static const char* const kCompressionLines[] = {"compression: BI_RGB \n", "compression: BI_RLE8 \n",
                                                  "compression: BI_RLE4 \n", "compression: BI_BITFIELDS \n"};
  if (compression <= kBiBitfields) result.infoText += kCompressionLines[compression];

  const bool known = headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124;
  if (!known || width <= 0 || height <= 0 || height > INT32_MAX || !IsDibDepth(bits)) return result;
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (rle && !((compression == kBiRle8 && bits == 8) || (compression == kBiRle4 && bits == 4))) return result;
  const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;

  // Masks follow a 40-byte header; the longer headers carry them in their own fields.
  std::size_t tableStart = start + 14 + headerSize;
  uint32_t masks[3] = {0, 0, 0};
  if (bitfields) {
    in.Seek(start + 14 + 40);
    for (uint32_t& mask : masks) mask = in.U32le();
    if (headerSize == 40) tableStart += compression == kBiAlphaBitfields ? 16 : 12;
  }

  // Colour tables larger than the depth can index are cut to what it can; tables that come with
  // deeper images are skipped.
  const uint64_t fileEntries = clrUsed != 0 ? clrUsed : DefaultEntries(bits);
  const uint32_t entries = bits <= 8 ? static_cast<uint32_t>(std::min<uint64_t>(fileEntries, DefaultEntries(bits))) : 0;

  // The rows start where bfOffBits says when it points behind the colour table and into the
  // file; otherwise right behind the table.
  uint64_t pixelStart = tableStart + 4 * fileEntries;
  if (fh.offBits >= tableStart + 4 * uint64_t{entries} && fh.offBits < file.Size()) pixelStart = fh.offBits;

  BitmapInfoHeader header;
  header.biWidth = width;
  header.biHeight = static_cast<int32_t>(height);
  header.biBitCount = bits;
  header.biXPelsPerMeter = xPels;
  header.biYPelsPerMeter = yPels;
  header.biClrUsed = clrUsed != 0 ? entries : 0;
  header.biClrImportant = std::min(clrImportant, entries);
  const auto blockSize = DibBlockSize(header);
  PackedDib dib = blockSize ? AllocateDib(*blockSize) : PackedDib();
  if (!dib) {
    result.Fail(NoBlock(header), rle ? kMemoryAllocationError : MemoryMessage("Memory allocation error"));
    return result;
  }
  const std::size_t stride = *DibStride(width, bits);
  header.biSizeImage = rle ? 0 : (sizeImage != 0 ? sizeImage : static_cast<uint32_t>(stride * height));
  dib.Header() = header;

  in.Seek(tableStart);
  ReadColorTable(in, dib.Colors(), 4);

  DecodedRows decoded;
  if (rle) {
    BlockPtr buffer;
    ByteReader data(file.From(pixelStart, buffer));
    decoded = (compression == kBiRle8 ? DecodeRle8 : DecodeRle4)(dib.Pixels(), stride, width, static_cast<int>(height), data);
  } else {
    decoded = ReadPlainRows(file, pixelStart, dib);
    if (bitfields && (bits == 16 || bits == 32)) {
      const MaskLayout layout = ClassifyMasks(bits, masks[0], masks[1], masks[2]);
      switch (layout) {
        case MaskLayout::Rgb555: result.infoText += "bitfields: 5 5 5 \n"; break;
        case MaskLayout::Rgb565: result.infoText += "bitfields: 5 6 5 \n"; break;
        case MaskLayout::Rgb888: result.infoText += "bitfields: 8 8 8 \n"; break;
        case MaskLayout::Rgb101010: result.infoText += "bitfields: 10 10 10 \n"; break;
        case MaskLayout::Other:
          result.infoText += Format("bitfields: %d %d %d \n", MakeChannel(masks[0]).bits, MakeChannel(masks[1]).bits,
                                    MakeChannel(masks[2]).bits);
          break;
      }
      if (layout != MaskLayout::Rgb555 && layout != MaskLayout::Rgb888) {
        ConvertBitfields(dib, decoded.reached, layout, masks[0], masks[1], masks[2]);
      }
    }
  }
  if (decoded.status == ReadStatus::Damaged) return Damaged(std::move(result));
  if (topDown) FlipRows(dib, decoded.reached);
  result.status = decoded.status;
  result.dib = std::move(dib);
  return result;
}

// --- OS/2 1.x bitmaps ----------------------------------------------------------------------

ReadResult ReadOs2Dib(const ByteSource& file, std::size_t start) {
  ReadResult result;
  ByteReader in(file.Head());
  const FileHeader fh = ReadFileHeader(in, start);
  const uint16_t width = in.U16le();
  const uint16_t height = in.U16le();
  const uint16_t planes = in.U16le();
  const uint16_t bits = in.U16le();
  if (fh.headerSize != 12) return result;
  if (in.Truncated()) return Damaged(std::move(result));

  result.frame = FrameSize{width, height};
  const char* colours = bits == 1 ? "colors: 2" : bits == 4 ? "colors: 16" : bits == 8 ? "colors: 256" : "colors: 16.7 million";
  result.infoText = Format("image type: OS/2 DIB \nwidth: %lu \nheight: %lu \nplanes: %d \nbit count: %d \ncompression: none \n%s",
                           static_cast<unsigned long>(width), static_cast<unsigned long>(height), planes, bits, colours);
  if (width == 0 || height == 0 || !IsDibDepth(bits)) return result;

  BitmapInfoHeader header;
  header.biWidth = width;
  header.biHeight = height;
  header.biBitCount = bits;
  const auto blockSize = DibBlockSize(header);
  PackedDib dib = blockSize ? AllocateDib(*blockSize) : PackedDib();
  if (!dib) {
    result.Fail(NoBlock(header), MemoryMessage("Memory allocation error"));
    return result;
  }
  header.biSizeImage = 0;
  dib.Header() = header;

  in.Seek(start + 14 + 12);
  ReadColorTable(in, dib.Colors(), 3);
  const DecodedRows decoded = ReadPlainRows(file, fh.offBits != 0 ? fh.offBits : start + 14 + 12 + 3 * dib.Colors().size(), dib);
  if (decoded.status == ReadStatus::Damaged) return Damaged(std::move(result));
  result.status = decoded.status;
  result.dib = std::move(dib);
  return result;
}

// --- OS/2 2.0 bitmaps ----------------------------------------------------------------------

ReadResult ReadOs2v2Dib(const ByteSource& file, std::size_t start) {
  ReadResult result;
  ByteReader in(file.Head());
  const FileHeader fh = ReadFileHeader(in, start);
  const int32_t width = in.I32le();
  const int32_t height = in.I32le();
  const uint16_t planes = in.U16le();
  const uint16_t bits = in.U16le();
  const uint32_t compression = in.U32le();
  in.Skip(12);  // image size and resolution are not kept
  const uint32_t clrUsed = in.U32le();
  const uint32_t clrImportant = in.U32le();
  if (fh.headerSize != 64) return result;
  if (in.Truncated()) return Damaged(std::move(result));

  result.frame = FrameSize{width, height};
  static const char* const kNames[] = {"none \n", "RLE 8 \n", "RLE 4 \n", "Huffman 1D \n", "RLE 24 \n"};
  result.infoText = Format("image type: OS/2 2.0 DIB \nwidth: %lu \nheight: %lu \nplanes: %d \nbit count: %d \ncompression: %s",
                           static_cast<unsigned long>(static_cast<uint32_t>(width)),
                           static_cast<unsigned long>(static_cast<uint32_t>(height)), planes, bits,
                           compression <= 4 ? kNames[compression] : "unknown \n");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return result;
  if (width <= 0 || height <= 0) return result;

  const uint64_t fileEntries = clrUsed != 0 ? clrUsed : DefaultEntries(bits);
  const uint32_t entries = static_cast<uint32_t>(std::min<uint64_t>(fileEntries, DefaultEntries(bits)));
  BitmapInfoHeader header;
  header.biWidth = width;
  header.biHeight = height;
  header.biBitCount = bits;
  header.biClrUsed = clrUsed != 0 ? entries : 0;
  header.biClrImportant = std::min(clrImportant, entries);
  const auto blockSize = DibBlockSize(header);
  PackedDib dib = blockSize ? AllocateDib(*blockSize) : PackedDib();
  if (!dib) {
    result.Fail(NoBlock(header), kMemoryAllocationError);
    return result;
  }
  header.biSizeImage = 0;
  dib.Header() = header;

  in.Seek(start + 14 + 64);
  ReadColorTable(in, dib.Colors(), 4);
  const uint64_t pixelStart = fh.offBits != 0 ? fh.offBits : start + 14 + 64 + 4 * fileEntries;

  const std::size_t stride = dib.Stride();
  DecodedRows decoded;
  if (compression == 0) decoded = ReadPlainRows(file, pixelStart, dib);
  BlockPtr buffer;
  ByteReader data(compression == 0 ? std::span<const uint8_t>() : file.From(pixelStart, buffer));
  // A decoder runs only on the depth it produces; any other pairing leaves the rows zero.
  switch (compression) {
    case 1: if (bits == 8) decoded = DecodeRle8(dib.Pixels(), stride, width, height, data); break;
    case 2: if (bits == 4) decoded = DecodeRle4(dib.Pixels(), stride, width, height, data); break;
    case 3:
      if (bits == 1) {
        // Fax data: 0 is white, 1 is black.
        auto colours = dib.Colors();
        if (colours.size() >= 2) {
          colours[0] = {0xFF, 0xFF, 0xFF, 0xFF};
          colours[1] = {0, 0, 0, 0};
        }
        decoded = DecodeModifiedHuffman(dib.Pixels(), stride, width, height, data);
      }
      break;
    case 4: if (bits == 24) decoded = DecodeRle24(dib.Pixels(), stride, width, height, data); break;
    default: break;
  }
  if (decoded.status == ReadStatus::Damaged) return Damaged(std::move(result));
  result.status = decoded.status;
  result.dib = std::move(dib);
  return result;
}

ReadResult ReadWindowsDib(std::span<const uint8_t> file, std::size_t start) { return ReadWindowsDib(ByteSource(file), start); }
ReadResult ReadOs2Dib(std::span<const uint8_t> file, std::size_t start) { return ReadOs2Dib(ByteSource(file), start); }
ReadResult ReadOs2v2Dib(std::span<const uint8_t> file, std::size_t start) { return ReadOs2v2Dib(ByteSource(file), start); }

}  // namespace ravelle
