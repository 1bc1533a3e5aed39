#include "formats/dib/bmp_writer.h"

#include <algorithm>
#include <cstring>

#include "image/output_file.h"

namespace ravelle {
namespace {

constexpr uint32_t kFileHeaderSize = 14;

void AppendFileHeader(std::vector<uint8_t>& out, uint32_t fileSize, uint32_t offBits) {
  out.push_back('B');
  out.push_back('M');
  AppendU32le(out, fileSize);
  AppendU16le(out, 0);
  AppendU16le(out, 0);
  AppendU32le(out, offBits);
}

void AppendInfoHeader(std::vector<uint8_t>& out, const BitmapInfoHeader& h, uint32_t compression, uint32_t sizeImage) {
  AppendU32le(out, 40);
  AppendU32le(out, static_cast<uint32_t>(h.biWidth));
  AppendU32le(out, static_cast<uint32_t>(h.biHeight));
  AppendU16le(out, h.biPlanes);
  AppendU16le(out, h.biBitCount);
  AppendU32le(out, compression);
  AppendU32le(out, sizeImage);
  AppendU32le(out, static_cast<uint32_t>(h.biXPelsPerMeter));
  AppendU32le(out, static_cast<uint32_t>(h.biYPelsPerMeter));
  AppendU32le(out, h.biClrUsed);
  AppendU32le(out, h.biClrImportant);
}

void AppendColorTable(std::vector<uint8_t>& out, const PackedDib& dib) {
  for (const RgbQuad& c : dib.Colors()) {
    out.push_back(c.rgbBlue);
    out.push_back(c.rgbGreen);
    out.push_back(c.rgbRed);
    out.push_back(c.rgbReserved);
  }
}

bool Put(std::FILE* out, std::span<const uint8_t> bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

// Pending state of the row encoder: a run of equal byte pairs and a literal stretch.
struct RleState {
  std::span<const uint8_t> row;
  int u;                          // pixels per byte
  std::vector<uint8_t>* out;
  std::size_t length = 0;
  uint8_t runValue = 0;
  std::size_t runBytes = 0;
  std::size_t literalStart = 0;
  std::size_t literalBytes = 0;

  void Emit(uint8_t a, uint8_t b) {
    length += 2;
    if (out != nullptr) {
      out->push_back(a);
      out->push_back(b);
    }
  }
  void EmitRun(std::size_t pixels, uint8_t value) { Emit(static_cast<uint8_t>(pixels), value); }
  void EmitAbsolute(std::size_t start, std::size_t bytes) {
    Emit(0, static_cast<uint8_t>(u * bytes));
    length += bytes;
    if (out != nullptr) out->insert(out->end(), row.begin() + start, row.begin() + start + bytes);
  }
  void FlushRun() {
    if (runBytes != 0) EmitRun(u * runBytes, runValue);
    runBytes = 0;
  }
  void FlushLiteral() {
    if (literalBytes != 0) EmitAbsolute(literalStart, literalBytes);
    literalBytes = 0;
  }
};

}  // namespace

std::size_t EncodeRleRow(std::span<const uint8_t> row, int width, int mode, std::vector<uint8_t>* out) {
  RleState s{row, mode == 1 ? 1 : 2, out};
  const std::size_t n = static_cast<std::size_t>(width / s.u);
  const std::size_t paired = n & ~std::size_t{1};

  for (std::size_t i = 0; i < paired; i += 2) {
    const uint8_t a = row[i];
    const uint8_t b = row[i + 1];
    // In RLE8 a pending 2-byte literal takes an equal pair too, so that it can be written in
    // absolute mode (which needs at least three pixels).
    const bool equal = a == b && !(mode == 1 && s.literalBytes == 2);
    if (equal) {
      if (i == 0) {
        s.runValue = a;
        s.runBytes = 2;
        continue;
      }
      s.FlushLiteral();
      if (s.runBytes != 0 && a == s.runValue) {
        s.runBytes += 2;
        if (s.u * s.runBytes >= 256) {
          s.EmitRun(s.u * (s.runBytes - 2), s.runValue);
          s.runBytes = 2;
        }
      } else {
        s.FlushRun();
        s.runValue = a;
        s.runBytes = 2;
      }
    } else {
      s.FlushRun();
      if (s.literalBytes == 0) s.literalStart = i;
      s.literalBytes += 2;
      if (s.u * s.literalBytes >= 256) {
        s.EmitAbsolute(s.literalStart, s.literalBytes - 2);
        s.literalStart = i;
        s.literalBytes = 2;
      }
    }
  }
  s.FlushRun();
  if (mode == 1 && s.literalBytes == 2) {
    s.EmitRun(1, row[s.literalStart]);
    s.EmitRun(1, row[s.literalStart + 1]);
    s.literalBytes = 0;
  }
  s.FlushLiteral();

  // The pixels that did not make a whole pair of bytes.
  if (mode == 1) {
    if (width % 2 == 1) s.EmitRun(1, row[width - 1]);
  } else {
    const std::size_t last = static_cast<std::size_t>((width - 1) / 2);
    switch (width % 4) {
      case 1: s.EmitRun(1, row[last] & 0xF0); break;
      case 2: s.EmitRun(2, row[last]); break;
      case 3: {
        // Three pixels in absolute mode: two bytes, the second's low nibble outside the image.
        s.Emit(0, 3);
        s.Emit(row[last - 1], row[last] & 0xF0);
        break;
      }
      default: break;
    }
  }
  s.Emit(0, 0);
  return s.length;
}

bool WriteBmp(const PackedDib& dib, std::FILE* out) {
  if (!dib || out == nullptr) return false;
  const BitmapInfoHeader& h = dib.Header();
  const auto stride = DibStride(h.biWidth, h.biBitCount);
  if (!stride || h.biHeight <= 0) return false;
  const uint32_t tableBytes = static_cast<uint32_t>(4 * dib.Colors().size());
  const uint32_t offBits = kFileHeaderSize + 40 + tableBytes;
  const std::span<const uint8_t> pixels = dib.Pixels();

  std::vector<uint8_t> head;
  AppendFileHeader(head, static_cast<uint32_t>(offBits + pixels.size()), offBits);
  AppendInfoHeader(head, h, 0, h.biSizeImage);
  AppendColorTable(head, dib);
  return Put(out, head) && Put(out, pixels);
}

bool WriteBmpRle(const std::filesystem::path& file, const PackedDib& dib) {
  if (!dib) return false;
  const BitmapInfoHeader& h = dib.Header();
  const int mode = h.biBitCount == 8 ? 1 : h.biBitCount == 4 ? 2 : 0;
  if (mode == 0 || h.biWidth <= 0 || h.biHeight <= 0) return false;

  std::vector<uint8_t> data;
  for (int y = 0; y < h.biHeight; ++y) EncodeRleRow(dib.Row(y), h.biWidth, mode, &data);
  const uint32_t encoded = static_cast<uint32_t>(data.size());
  data.push_back(0);  // end of bitmap
  data.push_back(1);

  const uint32_t offBits = kFileHeaderSize + 40 + static_cast<uint32_t>(4 * dib.Colors().size());
  std::vector<uint8_t> head;
  AppendFileHeader(head, offBits + encoded + 2, offBits);
  AppendInfoHeader(head, h, mode, encoded);
  AppendColorTable(head, dib);

  auto output = OutputFile::Create(file);
  if (!output) return false;
  output->Write(head);
  output->Write(data);
  return output->Commit();
}

bool WriteBmpBitfields(const std::filesystem::path& file, const PackedDib& dib, int variant) {
  if (!dib) return false;
  const BitmapInfoHeader& h = dib.Header();
  if ((h.biBitCount != 16 && h.biBitCount != 32) || h.biWidth <= 0 || h.biHeight <= 0) return false;
  const std::size_t stride = dib.Stride();
  const uint32_t sizeImage = static_cast<uint32_t>(stride * h.biHeight);

  static constexpr uint32_t kMasks[2][2][3] = {
      {{0x7C00, 0x03E0, 0x001F}, {0xF800, 0x07E0, 0x001F}},
      {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFC00000, 0x003FF000, 0x00000FFC}},
  };
  const auto& masks = kMasks[h.biBitCount == 32 ? 1 : 0][variant == 1 ? 1 : 0];
  std::vector<uint8_t> head;
  AppendFileHeader(head, 66 + sizeImage, 66);
  AppendInfoHeader(head, h, 3, sizeImage);
  for (uint32_t mask : masks) AppendU32le(head, mask);

  auto output = OutputFile::Create(file);
  if (!output) return false;
  output->Write(head);
  if (variant != 1) {
    output->Write(dib.Pixels());
    return output->Commit();
  }
  std::vector<uint8_t> row(stride);
  for (int y = 0; y < h.biHeight; ++y) {
    const std::span<const uint8_t> in = dib.Row(y);
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < h.biWidth; ++x) {
      if (h.biBitCount == 16) {
        const uint32_t p = in[2 * x] | (in[2 * x + 1] << 8);
        const uint32_t q = (p & 0x1F) + ((p & 0x7FE0) * 2);
        row[2 * x] = static_cast<uint8_t>(q);
        row[2 * x + 1] = static_cast<uint8_t>(q >> 8);
      } else {
        // Each 8-bit component scaled to the full 10-bit range (its bits repeated, so 255 becomes
        // 1023): blue in bits 2-11, green 12-21, red 22-31.
        const auto ten = [](uint32_t v) { return (v << 2) | (v >> 6); };
        const uint32_t q = (ten(in[4 * x]) << 2) | (ten(in[4 * x + 1]) << 12) | (ten(in[4 * x + 2]) << 22);
        for (int i = 0; i < 4; ++i) row[4 * x + i] = static_cast<uint8_t>(q >> (8 * i));
      }
    }
    output->Write(row);
  }
  return output->Commit();
}

}  // namespace ravelle
