#include "formats/iff/iff.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "formats/iff/iff_coding.h"
#include "image/dib_pixels.h"
#include "image/output_file.h"

namespace ravelle::iff {
namespace {

enum class PackState { Start, InLiteral, AfterRun, RunAfterLiteral };

}  // namespace

std::size_t PackByteRun1(const uint8_t* line, std::size_t n, uint8_t* out) {
  uint8_t* o = out;
  PackState state = PackState::Start;
  uint8_t* literal = nullptr;  // the open literal's header
  uint8_t* lastRun = nullptr;  // the last run's header
  const auto emitRun = [&](std::size_t& k, uint8_t v) {
    while (k >= 129) {
      *o++ = 0x81;
      *o++ = v;
      k -= 128;
    }
    if (k == 1) return false;  // the single byte left is handled as a group of its own
    lastRun = o;
    *o++ = static_cast<uint8_t>(257 - k);
    *o++ = v;
    k = 0;
    return true;
  };
  for (std::size_t i = 0; i < n;) {
    if (state == PackState::InLiteral) {
      // Bytes that differ from the next one join the open literal, as many as it takes.
      const std::size_t room = 127 - *literal;
      std::size_t j = i;
      while (j < n && j - i < room && (j + 1 == n || line[j + 1] != line[j])) ++j;
      if (j > i) {
        std::memcpy(o, line + i, j - i);
        o += j - i;
        *literal = static_cast<uint8_t>(*literal + (j - i));
        if (*literal == 127) state = PackState::Start;
        i = j;
        continue;
      }
    }
    const uint8_t v = line[i];
    std::size_t k = 1;
    while (i + k < n && line[i + k] == v) ++k;
    i += k;
    while (k > 0) {
      switch (state) {
        case PackState::Start:
        case PackState::AfterRun:
          if (k >= 2) {
            emitRun(k, v);
            state = PackState::AfterRun;
          } else {
            literal = o;
            *o++ = 0;
            *o++ = v;
            state = PackState::InLiteral;
            k = 0;
          }
          break;
        case PackState::InLiteral:
          if (k == 1) {
            *o++ = v;
            if (++*literal == 127) state = PackState::Start;
            k = 0;
          } else {
            // A byte left over from a long run opens a literal of its own behind the run.
            state = emitRun(k, v) ? PackState::RunAfterLiteral : PackState::AfterRun;
          }
          break;
        case PackState::RunAfterLiteral:
          // Only a run of two right behind the literal can join it.
          if (k == 1 && *lastRun == 0xFF && *literal < 126 && lastRun == literal + *literal + 2) {
            lastRun[0] = lastRun[1];
            *literal = static_cast<uint8_t>(*literal + 2);
            state = *literal == 127 ? PackState::Start : PackState::InLiteral;
          } else {
            state = PackState::AfterRun;
          }
          break;
      }
    }
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace ravelle::iff

namespace ravelle {

using namespace iff;

namespace {

int PlanesFor(std::size_t colours) {
  int planes = 1;
  while ((std::size_t{1} << planes) < colours && planes < 8) ++planes;
  return planes;
}

void AppendId(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

// Splits one row of per-pixel values (`bits` wide, zero past the width and readable to a
// multiple of 8) into plane lines `lineLength` apart, plane 0 first.
void SplitPlanes(const uint8_t* values, std::size_t width, int bits, std::size_t lineLength, uint8_t* lines) {
  for (std::size_t x = 0; x < width; x += 8) {
    uint64_t planes = PixelsToPlanes(Load8(values + x));
    for (int k = 0; k < bits; ++k, planes >>= 8) lines[k * lineLength + x / 8] = static_cast<uint8_t>(planes);
  }
}

// The 24 plane lines of one row of blue, green, red triplets (`step` bytes apart): red first,
// lowest bit first, then green and blue.
void SplitTrueColor(const uint8_t* row, int step, std::size_t width, std::size_t lineLength, uint8_t* lines) {
  std::array<uint8_t, 32> tail{};
  for (std::size_t x = 0; x < width; x += 8) {
    const uint8_t* p = row + step * x;
    if (width - x < 8) {
      // The pixels past the width are zero.
      for (std::size_t j = 0; j < width - x; ++j) std::memcpy(&tail[3 * j], p + step * j, 3);
      p = tail.data();
      step = 3;
    }
    std::array<uint64_t, 3> bgr{};
    for (int j = 0; j < 8; ++j, p += step) {
      for (int c = 0; c < 3; ++c) bgr[c] |= uint64_t{p[c]} << (8 * j);
    }
    for (int c = 0; c < 3; ++c) {
      uint64_t planes = PixelsToPlanes(bgr[2 - c]);
      uint8_t* out = lines + 8 * c * lineLength + x / 8;
      for (int k = 0; k < 8; ++k, planes >>= 8) out[k * lineLength] = static_cast<uint8_t>(planes);
    }
  }
}

}  // namespace

bool WriteIffImage(const std::filesystem::path& path, bool pack, bool ham, const PackedDib& dib) {
  const auto geometry = CompleteGeometry(dib);
  if (!geometry) return false;
  const int width = geometry->width, height = geometry->height, bits = geometry->bits;
  if (width > 0xFFFF || height > 0xFFFF) return false;
  const std::size_t colours = bits <= 8 ? ColorTableEntries(dib.Header()) : 0;
  // Enough planes for every index the pixels use; the CMAP entries past the table are black.
  const int planes = ham ? 6 : bits > 8 ? 24 : PlanesFor(EntriesForIndices(dib));
  const std::size_t lineLength = Even((static_cast<std::size_t>(width) + 7) / 8);

  std::vector<uint8_t> head;
  AppendId(head, "FORM");
  AppendU32be(head, 0);  // filled in at the end
  AppendId(head, "ILBM");
  AppendId(head, "BMHD");
  AppendU32be(head, 20);
  AppendU16be(head, static_cast<uint16_t>(width));
  AppendU16be(head, static_cast<uint16_t>(height));
  AppendU32be(head, 0);
  head.push_back(static_cast<uint8_t>(planes));
  head.push_back(0);
  head.push_back(pack ? 1 : 0);
  head.push_back(0);
  AppendU16be(head, 0);
  head.push_back(10);
  head.push_back(10);
  AppendU16be(head, static_cast<uint16_t>(width));
  AppendU16be(head, static_cast<uint16_t>(height));
  if (planes < 24) {
    const std::size_t entries = ham ? 16 : std::size_t{1} << planes;
    AppendId(head, "CMAP");
    AppendU32be(head, static_cast<uint32_t>(3 * entries));
    const auto table = dib.Colors();
    for (std::size_t i = 0; i < entries; ++i) {
      RgbQuad c{};
      if (ham) c = {static_cast<uint8_t>(16 * i), static_cast<uint8_t>(16 * i), static_cast<uint8_t>(16 * i), 0};
      else if (i < colours) c = TableColor(table, static_cast<unsigned>(i));
      head.push_back(c.rgbRed);
      head.push_back(c.rgbGreen);
      head.push_back(c.rgbBlue);
    }
  }
  AppendId(head, "CAMG");
  AppendU32be(head, 4);
  AppendU32be(head, ham ? 0x800 : 0);
  AppendId(head, "BODY");
  AppendU32be(head, 0);  // filled in at the end

  // The body, row by row: plane lines from the pixels, then raw or packed, straight to the file.
  // HAM rows are coded sixteen at a time, each with its own buffers.
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t rgbLength = 3 * w + 3, valuesLength = 8 * lineLength + 8;  // values are zero past the width
  std::vector<uint8_t> lines, values, rgb, packed;
  try {
    lines.resize(lineLength * planes);
    values.resize(valuesLength * (ham ? kHamRowsAtOnce : 1));
    rgb.resize(rgbLength * (ham ? kHamRowsAtOnce : 1));
    if (pack) packed.resize(2 * lines.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto output = OutputFile::Create(path);
  if (!output) return false;
  output->Write(head);
  uint64_t bodyLength = 0;
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* row = dib.Row(y).data();
    if (ham) {
      const int lane = (height - 1 - y) % kHamRowsAtOnce;
      if (lane == 0) {
        const int rows = std::min(kHamRowsAtOnce, y + 1);
        std::array<const uint8_t*, kHamRowsAtOnce> rgbRows{};
        std::array<uint8_t*, kHamRowsAtOnce> codeRows{};
        for (int k = 0; k < rows; ++k) {
          uint8_t* out = rgb.data() + k * rgbLength;
          RowToRgb(dib.Colors(), bits, width, dib.Row(y - k).data(), out);
          rgbRows[k] = out;
          codeRows[k] = values.data() + k * valuesLength;
        }
        EncodeHamRows(std::span(rgbRows).first(rows), std::span(codeRows).first(rows), w);
      }
      SplitPlanes(values.data() + lane * valuesLength, w, 6, lineLength, lines.data());
    } else if (planes == 24) {
      if (bits == 24 || bits == 32) {
        SplitTrueColor(row, bits / 8, w, lineLength, lines.data());
      } else {
        RowToRgb(dib.Colors(), bits, width, row, rgb.data());
        // RowToRgb gives red first: as blue, green, red with the order turned round.
        for (std::size_t x = 0; x < w; ++x) std::swap(rgb[3 * x], rgb[3 * x + 2]);
        SplitTrueColor(rgb.data(), 3, w, lineLength, lines.data());
      }
    } else if (bits == 1) {
      std::memset(lines.data(), 0, lineLength);
      std::memcpy(lines.data(), row, (w + 7) / 8);
      if (w % 8 != 0) lines[w / 8] &= static_cast<uint8_t>(0xFF00 >> (w % 8));
    } else {
      if (bits == 8) std::memcpy(values.data(), row, w);
      else UnpackRow(row, bits, width, values.data());
      SplitPlanes(values.data(), w, planes, lineLength, lines.data());
    }
    if (pack) {
      std::size_t length = 0;
      for (int k = 0; k < planes; ++k) length += PackByteRun1(lines.data() + k * lineLength, lineLength, packed.data() + length);
      output->Write(std::span<const uint8_t>(packed).first(length));
      bodyLength += length;
    } else {
      output->Write(lines);
      bodyLength += lines.size();
    }
  }
  if (bodyLength & 1) {
    output->Write(std::vector<uint8_t>{0});
    ++bodyLength;
  }
  const uint64_t formSize = head.size() - 8 + bodyLength;
  if (formSize > 0xFFFFFFFFu) return false;
  // The two sizes, now that they are known.
  std::FILE* stream = output->Stream();
  const auto putSize = [&](long at, uint64_t size) {
    std::vector<uint8_t> bytes;
    AppendU32be(bytes, static_cast<uint32_t>(size));
    if (std::fseek(stream, at, SEEK_SET) != 0) return false;
    output->Write(bytes);
    return true;
  };
  if (!putSize(4, formSize) || !putSize(static_cast<long>(head.size() - 4), bodyLength)) return false;
  return output->Commit();
}

}  // namespace ravelle
