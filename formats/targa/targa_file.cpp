#include "formats/targa/targa_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/byte_reader.h"
#include "image/byte_stream.h"
#include "image/dib_pixels.h"
#include "image/format.h"
#include "image/output_file.h"

namespace ravelle {
namespace {

constexpr std::size_t kHeaderBytes = 18;
constexpr uint8_t kTopOrigin = 0x20;
constexpr uint8_t kRightToLeft = 0x10;

struct TargaHeader {
  uint8_t idLength = 0;
  uint8_t mapType = 0;
  uint8_t imageType = 0;
  int firstEntry = 0;
  int mapLength = 0;
  int entryBits = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  uint8_t descriptor = 0;
};

TargaHeader ReadHeader(ByteReader& in) {
  TargaHeader h;
  h.idLength = in.U8();
  h.mapType = in.U8();
  h.imageType = in.U8();
  h.firstEntry = in.U16le();
  h.mapLength = in.U16le();
  h.entryBits = in.U8();
  in.Skip(4);  // the origin on the screen
  h.width = in.U16le();
  h.height = in.U16le();
  h.depth = in.U8();
  h.descriptor = in.U8();
  return h;
}

const char* TypeName(int type) {
  switch (type) {
    case 1: return "colormapped \nuncompressed data";
    case 2: return "truecolor \nuncompressed data";
    case 3: return "monochrome \nuncompressed data";
    case 9: return "colormapped \ncompressed data";
    case 10: return "truecolor \ncompressed data";
    case 11: return "monochrome \ncompressed data";
    default: return nullptr;
  }
}

RgbQuad Color555(unsigned v) {
  return {static_cast<uint8_t>((v & 31) << 3), static_cast<uint8_t>(((v >> 5) & 31) << 3),
          static_cast<uint8_t>(((v >> 10) & 31) << 3), 0};
}

// The map holds `mapLength` entries for the pixel values from the first entry index on; values
// up to 255 get their colours. Entries of 15 and 16 bits are 5-5-5, of 24 and 32 bits blue,
// green, red (the fourth byte dropped); maps of other entry sizes are not read. Either way the
// pixels start behind the whole map.
// Returns where the pixels start.
uint64_t ReadColorMap(const ByteSource& file, uint64_t offset, const TargaHeader& h, std::span<RgbQuad> palette) {
  const std::size_t entryBytes = static_cast<std::size_t>(h.entryBits + 7) / 8;
  ByteStream in(file, offset);
  for (int slot = h.firstEntry; slot < h.firstEntry + h.mapLength && slot < 256; ++slot) {
    if (h.entryBits == 15 || h.entryBits == 16) {
      // A word cut by the end of the file has zeros for its missing bytes.
      const auto word = in.Bytes(2);
      palette[slot] = Color555((word.empty() ? 0u : word[0]) | (word.size() < 2 ? 0u : word[1] << 8));
    } else if (h.entryBits == 24 || h.entryBits == 32) {
      const auto bytes = in.Bytes(entryBytes);
      if (bytes.size() == entryBytes) palette[slot] = {bytes[0], bytes[1], bytes[2], 0};
    }
  }
  return offset + static_cast<uint64_t>(h.mapLength) * entryBytes;
}

// Where the stored pixels go: rows from the bottom or the top, each from its left or right end.
// `bytes` is the size of a stored pixel, which need not be the bitmap's.
struct PixelCursor {
  PackedDib& dib;
  int bytes;
  bool top;
  bool right;
  int row = 0;  // stored rows done
  int x = 0;
  uint8_t* pixels = dib.Pixels().data();
  std::size_t stride = dib.Stride();

  uint8_t* RowOf(int storedRow) const {
    return pixels + static_cast<std::size_t>(top ? dib.Height() - 1 - storedRow : storedRow) * stride;
  }
  uint8_t* At(int storedRow, int column) const {
    return RowOf(storedRow) + static_cast<std::size_t>(right ? dib.Width() - 1 - column : column) * bytes;
  }
};

// How far decoding got: the stored rows that received pixels, the last perhaps in part, and the
// rows that were filled.
struct Decoded {
  int rows = 0;
  int whole = 0;
};

// Rows stored left to right are read straight into the picture.
Decoded DecodePlain(ByteStream& in, PixelCursor& cursor) {
  const std::size_t rowBytes = static_cast<std::size_t>(cursor.dib.Width()) * cursor.bytes;
  std::vector<uint8_t> stored(cursor.right ? rowBytes : 0);
  for (int y = 0; y < cursor.dib.Height(); ++y) {
    const std::size_t got = in.Read(cursor.right ? std::span(stored) : std::span(cursor.At(y, 0), rowBytes));
    if (got == 0) return {y, y};
    for (std::size_t i = 0; cursor.right && i < got; ++i) {
      cursor.At(y, static_cast<int>(i / cursor.bytes))[i % cursor.bytes] = stored[i];
    }
    if (got < rowBytes) return {y + 1, y};
  }
  return {cursor.dib.Height(), cursor.dib.Height()};
}

// One pixel count runs over the whole image, so packets go on across row ends; the end of the
// image ends decoding.
Decoded DecodeRunLength(ByteStream& in, PixelCursor& cursor) {
  const std::size_t bytes = static_cast<std::size_t>(cursor.bytes);
  const int width = cursor.dib.Width();
  const auto ended = [&cursor] { return Decoded{cursor.row + (cursor.x > 0 ? 1 : 0), cursor.row}; };
  for (;;) {
    uint8_t packet = 0;
    if (!in.Byte(packet)) return ended();
    int count = (packet & 0x7F) + 1;
    const bool run = (packet & 0x80) != 0;
    // A raw packet's pixels as far as the data has them, or a run's one pixel.
    const auto data = in.Bytes(run ? bytes : count * bytes);
    const bool whole = data.size() == (run ? bytes : count * bytes);
    if (!run) count = static_cast<int>(data.size() / bytes);
    if (run && !whole) return ended();
    const uint8_t* pixel = data.data();
    while (count > 0) {
      // The pixels of this packet that fall in the current row.
      const int n = std::min(count, width - cursor.x);
      if (!run && !cursor.right) {
        std::memcpy(cursor.At(cursor.row, cursor.x), pixel, n * bytes);
        pixel += n * bytes;
      } else if (!cursor.right) {
        // A run from left to right: its pixel copied over and over, doubling what is there.
        uint8_t* out = cursor.At(cursor.row, cursor.x);
        const std::size_t total = n * bytes;
        std::memcpy(out, pixel, bytes);
        for (std::size_t done = bytes; done < total; done *= 2) std::memcpy(out + done, out, std::min(done, total - done));
      } else {
        for (int i = 0; i < n; ++i) {
          std::memcpy(cursor.At(cursor.row, cursor.x + i), pixel, bytes);
          if (!run) pixel += bytes;
        }
      }
      count -= n;
      cursor.x += n;
      if (cursor.x == width) {
        cursor.x = 0;
        if (++cursor.row == cursor.dib.Height()) return {cursor.row, cursor.row};
      }
    }
    if (!whole) return ended();
  }
}

// 16-bit pixels are 5-5-5 words with an attribute bit on top, which is not part of the colour.
void DropAttributeBits(const PixelCursor& cursor, int rows) {
  for (int k = 0; k < rows; ++k) {
    uint8_t* row = cursor.RowOf(k);
    for (int x = 0; x < cursor.dib.Width(); ++x) row[2 * x + 1] &= 0x7F;
  }
}

// 16-bit monochrome pixels are a gray byte and an alpha byte, stored at the start of each row;
// they are spread in place, from the right, into gray, gray, gray, alpha.
void SpreadGrayAlpha(const PixelCursor& cursor, int rows) {
  for (int k = 0; k < rows; ++k) {
    uint8_t* row = cursor.RowOf(k);
    for (int x = cursor.dib.Width() - 1; x >= 0; --x) {
      const uint8_t gray = row[2 * x];
      const uint8_t alpha = row[2 * x + 1];
      uint8_t* out = row + 4 * static_cast<std::size_t>(x);
      out[0] = out[1] = out[2] = gray;
      out[3] = alpha;
    }
  }
}

// Stored row k (from the top) of an interleaved file is image row p + j × factor, its rows
// taken pass by pass. Only the `rows` stored rows that were decoded are moved.
PackedDib Deinterleave(const PackedDib& stored, int factor, int rows) {
  PackedDib out = CreateDib(stored.Width(), stored.Height(), stored.BitCount(), stored.Header().biClrUsed);
  if (!out) return out;
  std::ranges::copy(stored.Colors(), out.Colors().begin());
  const int height = stored.Height();
  const std::size_t stride = stored.Stride();
  int k = 0;
  for (int pass = 0; pass < factor; ++pass) {
    for (int row = pass; row < height && k < rows; row += factor, ++k) {
      std::memcpy(out.Row(height - 1 - row).data(), stored.Row(height - 1 - k).data(), stride);
    }
  }
  return out;
}

}  // namespace

ReadResult ReadTargaImage(const ByteSource& file) {
  ReadResult result;
  const Message readError{"Targa File Read Error", "", kMbIconHand};
  if (file.Size() < kHeaderBytes) {
    result.Fail(ReadStatus::Damaged, readError);
    return result;
  }
  uint8_t head[kHeaderBytes];
  ByteReader in({head, file.ReadAt(0, head)});
  const TargaHeader h = ReadHeader(in);
  result.frame = FrameSize{h.width, h.height};
  const char* name = TypeName(h.imageType);
  // Depths of 8 bits or less are read a byte a pixel; 15 bits are 5-5-5 like 16. Monochrome
  // 16-bit pixels are a gray byte and an alpha byte, shown like 32-bit ones.
  const int depth = h.depth == 15 ? 16 : h.depth;
  const bool grayAlpha = depth == 16 && (h.imageType == 3 || h.imageType == 11);
  const int bits = depth <= 8 ? 8 : grayAlpha ? 32 : depth;
  if (name == nullptr || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
    result.Fail(name == nullptr ? ReadStatus::BadHeader : ReadStatus::Unsupported, readError);
    return result;
  }
  // Pixel values count from entry 0 even when the map starts further on: the table reaches up to
  // the map's last entry.
  const uint32_t clrUsed =
      h.mapType == 0 || bits > 8 ? 0 : static_cast<uint32_t>(std::min(h.firstEntry + h.mapLength, 256));
  result.infoText = Format(
      "file type: Targa \nwidth: %d \nheight: %d \nimage type: %s \ncolor map type: %d \nbits per pixel: %d \n"
      "palette size: %d \npalette depth (bits): %d",
      h.width, h.height, name, h.mapType, depth, h.mapLength, h.entryBits);
  if (h.width == 0 || h.height == 0) {
    // An empty picture: nothing to read and nothing to show.
    result.status = ReadStatus::BadHeader;
    return result;
  }
  PackedDib dib = CreateDib(h.width, h.height, bits, clrUsed);
  if (!dib) {
    result.Fail(NoBlockStatus(h.width, h.height, bits, clrUsed), kMemoryAllocationError);
    return result;
  }

  uint64_t pixelsAt = kHeaderBytes + h.idLength;
  RgbQuad palette[256] = {};
  if (h.mapType != 0) {
    pixelsAt = ReadColorMap(file, pixelsAt, h, palette);
  } else if (bits == 8) {
    for (int i = 0; i < 256; ++i) palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
  }
  auto table = dib.Colors();
  std::copy_n(palette, table.size(), table.begin());

  const bool top = (h.descriptor & kTopOrigin) != 0;
  const bool right = (h.descriptor & kRightToLeft) != 0;
  result.infoText += top ? "\nfirst pixel: top " : "\nfirst pixel: bottom ";
  result.infoText += right ? "right" : "left";

  // Decoding ends with the data: the rows it did not reach stay as allocated.
  PixelCursor cursor{dib, grayAlpha ? 2 : bits / 8, top, right};
  ByteStream data(file, pixelsAt);
  const Decoded decoded = h.imageType < 9 ? DecodePlain(data, cursor) : DecodeRunLength(data, cursor);
  if (decoded.whole == 0) {
    result.Fail(ReadStatus::Damaged, readError);
    return result;
  }
  if (decoded.whole < cursor.dib.Height()) result.status = ReadStatus::Truncated;
  if (grayAlpha) {
    SpreadGrayAlpha(cursor, decoded.rows);
  } else if (bits == 16) {
    DropAttributeBits(cursor, decoded.rows);
  }

  if (h.descriptor >= 64) {
    const int factor = (h.descriptor & 0x40) != 0 ? 2 : 4;
    result.infoText += factor == 2 ? "\ntwo way interleave" : "\nfour way interleave";
    PackedDib ordered = Deinterleave(dib, factor, decoded.rows);
    if (ordered) {
      dib = std::move(ordered);
    } else {
      result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    }
  }
  result.dib = std::move(dib);
  return result;
}

// ---- Writing

namespace {

// Pixels of `Size` bytes compared whole, as one number, rather than byte by byte.
template <std::size_t Size>
std::size_t EncodeRunLine(const uint8_t* pixels, uint8_t* out, int count) {
  constexpr std::size_t size = Size;
  const auto value = [pixels](int at) {
    uint32_t v = 0;
    std::memcpy(&v, pixels + at * size, size);
    return v;
  };
  const auto same = [&value](int a, int b) { return value(a) == value(b); };
  std::size_t written = 0;
  int at = 0;
  while (at < count) {
    // Raw: leading pixels that each differ from the next (a lone last pixel counts as one).
    int raw = 0;
    if (at + 1 == count) {
      raw = 1;
    } else {
      while (raw < 128 && at + raw + 1 < count && !same(at + raw, at + raw + 1)) ++raw;
    }
    int run = 1;
    while (run < 128 && at + run < count && same(at, at + run)) ++run;
    if (raw > 0) {
      out[written++] = static_cast<uint8_t>(raw - 1);
      std::memcpy(out + written, pixels + at * size, raw * size);
      written += raw * size;
      at += raw;
    } else {
      out[written++] = static_cast<uint8_t>((run - 1) | 0x80);
      std::memcpy(out + written, pixels + at * size, size);
      written += size;
      at += run;
    }
  }
  return written;
}

}  // namespace

std::size_t EncodeTargaRunLine(const uint8_t* pixels, uint8_t* out, int count, int bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1: return EncodeRunLine<1>(pixels, out, count);
    case 2: return EncodeRunLine<2>(pixels, out, count);
    case 3: return EncodeRunLine<3>(pixels, out, count);
    default: return EncodeRunLine<4>(pixels, out, count);
  }
}

bool WriteTargaImage(const std::filesystem::path& path, const PackedDib& dib, bool compress) {
  const auto geometry = CompleteGeometry(dib);
  if (!geometry || geometry->width > 65535 || geometry->height > 65535) return false;
  const int width = geometry->width;
  const int bits = geometry->bits;
  const auto table = dib.Colors();
  const std::size_t colors = bits <= 8 ? std::min<std::size_t>(table.size(), 65535) : 0;
  const bool gray = colors > 16 && IsGrayTable(table);
  const bool mapped = bits <= 8 && !gray;
  const int bytes = bits <= 8 ? 1 : bits / 8;

  auto output = OutputFile::Create(path);
  if (!output) return false;
  std::vector<uint8_t> out;
  AppendU8(out, 0);
  AppendU8(out, mapped ? 1 : 0);
  AppendU8(out, static_cast<uint8_t>((gray ? 3 : mapped ? 1 : 2) + (compress ? 8 : 0)));
  AppendU16le(out, 0);
  AppendU16le(out, static_cast<uint16_t>(mapped ? colors : 0));
  AppendU8(out, mapped ? 24 : 0);
  AppendU16le(out, 0);
  AppendU16le(out, 0);
  AppendU16le(out, static_cast<uint16_t>(width));
  AppendU16le(out, static_cast<uint16_t>(geometry->height));
  AppendU8(out, static_cast<uint8_t>(bytes * 8));
  AppendU8(out, 0);
  if (mapped) {
    for (std::size_t i = 0; i < colors; ++i) {
      AppendU8(out, table[i].rgbBlue);
      AppendU8(out, table[i].rgbGreen);
      AppendU8(out, table[i].rgbRed);
    }
  }

  const std::size_t rowBytes = static_cast<std::size_t>(width) * bytes;
  std::vector<uint8_t> unpacked(bits < 8 ? rowBytes : 0);
  std::vector<uint8_t> coded(compress ? rowBytes + static_cast<std::size_t>(width) : 0);
  for (int y = 0; y < geometry->height; ++y) {
    const auto row = dib.Row(y);
    const uint8_t* pixels = row.data();
    if (gray) {
      unpacked.resize(rowBytes);
      RowToGray(dib, row, unpacked.data());
      pixels = unpacked.data();
    } else if (bits < 8) {
      UnpackRow(row.data(), bits, width, unpacked.data());
      pixels = unpacked.data();
    }
    if (compress) {
      const std::size_t n = EncodeTargaRunLine(pixels, coded.data(), width, bytes);
      out.insert(out.end(), coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(n));
    } else {
      out.insert(out.end(), pixels, pixels + rowBytes);
    }
    if (out.size() >= (std::size_t{1} << 20)) {
      output->Write(out);
      out.clear();
    }
  }
  output->Write(out);
  return output->Commit();
}

}  // namespace ravelle
