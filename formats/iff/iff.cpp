#include "formats/iff/iff.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>

#include "image/byte_reader.h"
#include "image/dib_pixels.h"
#include "image/format.h"
#include "image/output_file.h"

namespace ravelle {
namespace {

constexpr std::size_t Even(std::size_t n) { return n + (n & 1); }

bool IdIs(std::span<const uint8_t> id, const char* name) {
  return id.size() == 4 && std::memcmp(id.data(), name, 4) == 0;
}

// Moves past chunks up to the one named `name` and returns its size; false at the end of the file.
bool FindChunk(ByteReader& in, const char* name, uint32_t& size) {
  while (in.Remaining() >= 8) {
    const auto id = in.Bytes(4);
    size = in.U32be();
    if (IdIs(id, name)) return true;
    in.Skip(std::min(Even(size), in.Remaining()));
  }
  return false;
}

// The bytes of BODY: raw, or expanded from ByteRun1 packets. A packet carries over from one
// line to the next; the end of the file ends the stream.
class BodySource {
 public:
  BodySource(ByteReader& in, bool packed) : in_(in), packed_(packed) {}

  // Fills `out`; returns how many bytes there were (fewer only at the end of the data).
  std::size_t Read(std::span<uint8_t> out) {
    if (!packed_) return in_.Read(out);
    std::size_t got = 0;
    while (got < out.size()) {
      if (run_ > 0) {
        const std::size_t take = std::min(run_, out.size() - got);
        std::memset(out.data() + got, runValue_, take);
        run_ -= take;
        got += take;
      } else if (literal_ > 0) {
        const std::size_t take = std::min(literal_, out.size() - got);
        const std::size_t copied = in_.Read(out.subspan(got, take));
        got += copied;
        literal_ -= take;
        if (copied < take) return got;
      } else {
        if (in_.AtEnd()) return got;
        const auto n = static_cast<int8_t>(in_.U8());
        if (n >= 0) {
          literal_ = static_cast<std::size_t>(n) + 1;
        } else if (n != -128) {
          if (in_.AtEnd()) return got;
          runValue_ = in_.U8();
          run_ = static_cast<std::size_t>(1 - n);
        }
      }
    }
    return got;
  }

 private:
  ByteReader& in_;
  bool packed_;
  std::size_t run_ = 0;
  std::size_t literal_ = 0;
  uint8_t runValue_ = 0;
};

// Each byte spread to eight bytes of 0 or 1, the most significant bit first.
const std::array<uint64_t, 256>& BitSpread() {
  static const std::array<uint64_t, 256> table = [] {
    std::array<uint64_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
      uint8_t bytes[8];
      for (int j = 0; j < 8; ++j) bytes[j] = (b >> (7 - j)) & 1;
      std::memcpy(&t[b], bytes, 8);
    }
    return t;
  }();
  return table;
}

// Adds bit `plane` of every pixel from one plane line into `values` (a multiple of 8 long).
void AddPlane(std::span<const uint8_t> line, int plane, uint8_t* values) {
  const auto& spread = BitSpread();
  for (std::size_t i = 0; i < line.size(); ++i) {
    uint64_t v;
    std::memcpy(&v, values + 8 * i, 8);
    v |= spread[line[i]] << plane;
    std::memcpy(values + 8 * i, &v, 8);
  }
}

struct Bmhd {
  int width = 0, height = 0, planes = 0, masking = 0, compression = 0, transparent = 0;
};

// Decodes the rows; false once the data has ended.
class BodyDecoder {
 public:
  BodyDecoder(BodySource& source, const Bmhd& h, std::size_t lineLength)
      : source_(source), h_(h), line_(Even(lineLength)), lineLength_(lineLength),
        values_(8 * lineLength + 8) {}

  // Reads `n` bytes (and a pad byte when n is odd) into a buffer; false at the end of the data.
  bool Take(std::size_t n, std::span<uint8_t> out) {
    const std::size_t padded = Even(n);
    if (out.size() < padded) {
      scratch_.resize(padded);
      out = scratch_;
    }
    const std::size_t got = source_.Read(out.first(padded));
    if (got < n) std::memset(out.data() + got, 0, n - got);
    last_ = out.data();
    if (got < padded) ended_ = true;
    return !ended_;
  }
  const uint8_t* Last() const { return last_; }

  // The plane lines of one row gathered into one value per pixel (`planes` of them, then the
  // mask line, skipped); false at the end of the data (the values are then incomplete).
  bool GatherRow(int planes, int firstBit, uint8_t* values) {
    std::memset(values, 0, 8 * lineLength_ + 8);
    for (int k = 0; k < planes; ++k) {
      const bool more = Take(lineLength_, line_);
      // A plane above the eighth adds a bit the index byte does not have.
      if (k - firstBit >= 0 && k - firstBit < 8) AddPlane(std::span(line_).first(lineLength_), k - firstBit, values);
      if (!more) return false;
    }
    return true;
  }
  bool SkipMask() { return h_.masking != 1 || Take(lineLength_, line_); }
  bool Ended() const { return ended_; }

  std::vector<uint8_t>& Values() { return values_; }

 private:
  BodySource& source_;
  const Bmhd& h_;
  std::vector<uint8_t> line_;
  std::size_t lineLength_;
  std::vector<uint8_t> values_;
  std::vector<uint8_t> scratch_;
  const uint8_t* last_ = nullptr;
  bool ended_ = false;
};

void DecodeIndexed(BodyDecoder& d, const Bmhd& h, bool pbm, std::size_t lineLength, PackedDib& dib) {
  for (int y = dib.Height() - 1; y >= 0; --y) {
    auto row = dib.Row(y);
    if (pbm && h.planes == 8) {
      const bool more = d.Take(h.width, row);
      if (d.Last() != row.data()) std::memcpy(row.data(), d.Last(), h.width);
      if (!more) return;
    } else if (h.planes == 1) {
      const bool more = d.Take(lineLength, row);
      if (d.Last() != row.data()) std::memcpy(row.data(), d.Last(), lineLength);
      if (!more || !d.SkipMask()) return;
    } else {
      uint8_t* values = d.Values().data();
      const bool more = d.GatherRow(h.planes, 0, values);
      std::memcpy(row.data(), values, h.width);
      if (!more || !d.SkipMask()) return;
    }
  }
}

void DecodeTrueColor(BodyDecoder& d, const Bmhd& h, bool pbm, PackedDib& dib) {
  std::vector<uint8_t> rgb(3 * static_cast<std::size_t>(h.width) + 1);
  for (int y = dib.Height() - 1; y >= 0; --y) {
    uint8_t* row = dib.Row(y).data();
    if (pbm) {
      const bool more = d.Take(3 * static_cast<std::size_t>(h.width), rgb);
      const uint8_t* p = d.Last();
      for (int x = 0; x < h.width; ++x) {
        row[3 * x] = p[3 * x + 2];
        row[3 * x + 1] = p[3 * x + 1];
        row[3 * x + 2] = p[3 * x];
      }
      if (!more) return;
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      uint8_t* values = d.Values().data();
      const bool more = d.GatherRow(8, 0, values);
      for (int x = 0; x < h.width; ++x) row[3 * x + 2 - c] = values[x];
      if (!more) return;
    }
    if (!d.SkipMask()) return;
  }
}

void DecodeHam(BodyDecoder& d, const Bmhd& h, std::span<const RgbQuad> palette, PackedDib& dib) {
  if (h.planes != 6 && h.planes != 8) return;
  const int dataBits = h.planes - 2;
  const unsigned mask = (1u << dataBits) - 1;
  for (int y = dib.Height() - 1; y >= 0; --y) {
    uint8_t* values = d.Values().data();
    if (!d.GatherRow(h.planes, 0, values)) return;
    uint8_t* row = dib.Row(y).data();
    RgbQuad c = palette[0];
    for (int x = 0; x < h.width; ++x) {
      const unsigned v = values[x];
      const unsigned data = v & mask;
      const auto modify = [&](uint8_t& old) {
        old = static_cast<uint8_t>((data << (8 - dataBits)) | (old & ((1u << (8 - dataBits)) - 1)));
      };
      switch (v >> dataBits) {
        case 0: c = palette[data]; break;
        case 1: modify(c.rgbBlue); break;
        case 2: modify(c.rgbRed); break;
        default: modify(c.rgbGreen); break;
      }
      row[3 * x] = c.rgbBlue;
      row[3 * x + 1] = c.rgbGreen;
      row[3 * x + 2] = c.rgbRed;
    }
    if (!d.SkipMask()) return;
  }
}

}  // namespace

ReadResult ReadIffImage(std::span<const uint8_t> file) {
  ReadResult result;
  ByteReader in(file);
  in.Skip(8);
  const auto type = in.Bytes(4);
  std::string formType(type.begin(), type.end());
  formType = formType.substr(0, formType.find('\0'));
  const bool pbm = formType == "PBM ";

  uint32_t size = 0;
  if (!FindChunk(in, "BMHD", size)) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  ByteReader bmhd = in.Sub(Even(size));
  Bmhd h;
  h.width = bmhd.U16be();
  h.height = bmhd.U16be();
  bmhd.Skip(4);
  h.planes = bmhd.U8();
  h.masking = bmhd.U8();
  h.compression = bmhd.U8();
  bmhd.U8();
  h.transparent = bmhd.U16be();
  if (bmhd.Truncated()) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  result.frame = FrameSize{h.width, h.height};
  const std::size_t lineLength = (static_cast<std::size_t>(h.width) + 7) / 8;
  result.infoText = Format("image type: %s \nwidth: %d \nheight: %d \nplanes: %d \ncompression: %d \nmasking: %d",
                           formType.c_str(), h.width, h.height, h.planes, h.compression, h.masking);
  if (h.masking == 2) result.infoText += Format("\ntransparent color: %d", h.transparent);

  const auto noMemory = [&](const Message& message) {
    result.Fail(ReadStatus::NoMemory, message);
    return std::move(result);
  };
  if (h.width == 0 || h.height == 0) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  PackedDib dib;
  if (h.planes == 24) {
    dib = CreateDib(h.width, h.height, 24);
    if (!dib) return noMemory({"Global Allocation Error", "", kMbIconHand});
  }

  std::array<RgbQuad, 256> palette{};
  int colours = -1;  // no CMAP yet
  bool ham = false, halfBrite = false;
  bool body = false;
  while (!body && in.Remaining() >= 8) {
    const auto id = in.Bytes(4);
    size = in.U32be();
    if (IdIs(id, "BODY")) {
      body = true;
    } else if (IdIs(id, "CMAP")) {
      ByteReader cmap = in.Sub(Even(size));
      const int n = static_cast<int>(Even(size) / 3);
      result.infoText += Format(" \n# of colors: %d", n);
      colours = std::min(n, 256);
      for (int i = 0; i < colours; ++i) {
        palette[i].rgbRed = cmap.U8();
        palette[i].rgbGreen = cmap.U8();
        palette[i].rgbBlue = cmap.U8();
      }
      if (h.planes == 6 && n == 32) {
        for (int i = 0; i < 32; ++i) {
          palette[32 + i] = {static_cast<uint8_t>(palette[i].rgbBlue >> 1), static_cast<uint8_t>(palette[i].rgbGreen >> 1),
                             static_cast<uint8_t>(palette[i].rgbRed >> 1), 0};
        }
        colours = 64;
      }
    } else if (IdIs(id, "CAMG") && size == 4) {
      const uint32_t mode = in.U32be();
      ham = (mode & 0x800) != 0;
      halfBrite = (mode & 0x80) != 0;
    } else {
      in.Skip(std::min(Even(size), in.Remaining()));
    }
  }
  if (!body || (h.planes != 24 && colours < 0)) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  if (halfBrite) {
    for (int i = 0; i < 32; ++i) {
      palette[32 + i] = {static_cast<uint8_t>(palette[i].rgbBlue >> 1), static_cast<uint8_t>(palette[i].rgbGreen >> 1),
                         static_cast<uint8_t>(palette[i].rgbRed >> 1), 0};
    }
    if (colours >= 0) colours = 64;
    result.infoText += "\ncamg: extra-halfbrite";
  }
  if (ham) {
    result.infoText += "\ncamg: hold and modify";
    dib = CreateDib(h.width, h.height, 24);
    if (!dib) return noMemory(kMemoryAllocationError);
  } else if (h.planes != 24) {
    // A 1-bit image cannot reach more than two entries of its table.
    const int bits = h.planes == 1 ? 1 : 8;
    const int entries = bits == 1 ? std::min(colours, 2) : colours;
    dib = CreateDib(h.width, h.height, bits, static_cast<uint32_t>(entries));
    if (!dib) return noMemory(kMemoryAllocationError);
    auto table = dib.Colors();
    std::copy_n(palette.begin(), std::min(table.size(), palette.size()), table.begin());
  }
  dib.Header().biSizeImage = 0;

  BodySource source(in, h.compression != 0);
  BodyDecoder decoder(source, h, lineLength);
  if (ham) {
    DecodeHam(decoder, h, palette, dib);
  } else if (h.planes == 24) {
    DecodeTrueColor(decoder, h, pbm, dib);
  } else {
    DecodeIndexed(decoder, h, pbm, lineLength, dib);
  }
  if (decoder.Ended()) result.status = ReadStatus::Truncated;
  result.dib = std::move(dib);
  return result;
}

// ---- Writing

namespace {

enum class PackState { Start, InLiteral, AfterRun, RunAfterLiteral };

}  // namespace

std::size_t PackByteRun1Line(std::span<const uint8_t> line, std::vector<uint8_t>* out) {
  std::vector<uint8_t> local;
  std::vector<uint8_t>& o = out != nullptr ? *out : local;
  const std::size_t base = o.size();
  PackState state = PackState::Start;
  std::size_t literal = 0;  // where the open literal's header is
  std::size_t lastRun = 0;  // where the last run's header is
  const auto emitRun = [&](std::size_t& k, uint8_t v) {
    while (k >= 129) {
      o.push_back(0x81);
      o.push_back(v);
      k -= 128;
    }
    if (k == 1) return false;  // the single byte left is handled as a group of its own
    lastRun = o.size();
    o.push_back(static_cast<uint8_t>(257 - k));
    o.push_back(v);
    k = 0;
    return true;
  };
  const auto openLiteral = [&](uint8_t v) {
    literal = o.size();
    o.push_back(0);
    o.push_back(v);
    state = PackState::InLiteral;
  };
  for (std::size_t i = 0; i < line.size();) {
    const uint8_t v = line[i];
    std::size_t k = 1;
    while (i + k < line.size() && line[i + k] == v) ++k;
    i += k;
    while (k > 0) {
      switch (state) {
        case PackState::Start:
        case PackState::AfterRun:
          if (k >= 2) {
            emitRun(k, v);
            state = PackState::AfterRun;
          } else {
            openLiteral(v);
            k = 0;
          }
          break;
        case PackState::InLiteral:
          if (k == 1) {
            o.push_back(v);
            if (++o[literal] == 127) state = PackState::Start;
            k = 0;
          } else {
            // A byte left over from a long run opens a literal of its own behind the run.
            state = emitRun(k, v) ? PackState::RunAfterLiteral : PackState::AfterRun;
          }
          break;
        case PackState::RunAfterLiteral:
          // Only a run right behind the literal can join it.
          if (k == 1 && o[lastRun] == 0xFF && o[literal] < 126 && lastRun == literal + o[literal] + 2) {
            o[lastRun] = o[lastRun + 1];
            o[literal] = static_cast<uint8_t>(o[literal] + 2);
            state = o[literal] == 127 ? PackState::Start : PackState::InLiteral;
          } else {
            state = PackState::AfterRun;
          }
          break;
      }
    }
  }
  const std::size_t length = o.size() - base;
  if (out == nullptr) local.clear();
  return length;
}

void EncodeHamRow(std::span<const uint8_t> rgb, std::span<uint8_t> codes) {
  int runR = 0, runG = 0, runB = 0;
  for (std::size_t x = 0; x < codes.size(); ++x) {
    const int red = rgb[3 * x], green = rgb[3 * x + 1], blue = rgb[3 * x + 2];
    const int l = static_cast<int>(0.299 * red + 0.587 * green + 0.114 * blue) / 16;
    const int r = red / 16, g = green / 16, b = blue / 16;
    if (x == 0) {
      codes[x] = static_cast<uint8_t>(l);
      runR = runG = runB = l;
      continue;
    }
    const int dR = std::abs(r - runR), dG = std::abs(g - runG), dB = std::abs(b - runB);
    const int gray = std::abs(r - l) + std::abs(g - l) + std::abs(b - l);
    const int costR = dG + dB, costG = dR + dB, costB = dR + dG;
    if (gray < costR && gray < costG && gray < costB) {
      codes[x] = static_cast<uint8_t>(l);
      runR = runG = runB = l;
    } else if (costB < costR && costB < costG) {
      codes[x] = static_cast<uint8_t>(0x10 | b);
      runB = b;
    } else if (costR >= costG) {
      codes[x] = static_cast<uint8_t>(0x30 | g);
      runG = g;
    } else {
      codes[x] = static_cast<uint8_t>(0x20 | r);
      runR = r;
    }
  }
}

namespace {

int PlanesFor(std::size_t colours) {
  int planes = 1;
  while ((std::size_t{1} << planes) < colours && planes < 8) ++planes;
  return planes;
}

void AppendId(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

// Splits one row of per-pixel values (`bits` wide) into plane lines, plane 0 first.
void SplitPlanes(const uint8_t* values, int width, int bits, std::size_t lineLength, uint8_t* lines) {
  // Eight pixels at a time: bit k of each of the eight bytes, gathered into one byte with the
  // first pixel in its most significant bit. `values` is zero past the width.
  std::memset(lines, 0, lineLength * bits);
  for (int x = 0; x < width; x += 8) {
    uint64_t v;
    std::memcpy(&v, values + x, 8);
    for (int k = 0; k < bits; ++k) {
      const uint64_t plane = (v >> k) & 0x0101010101010101u;
      lines[k * lineLength + (x >> 3)] = static_cast<uint8_t>((plane * 0x8040201008040201u) >> 56);
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
  const int planes = ham ? 6 : bits > 8 ? 24 : PlanesFor(colours);
  const std::size_t lineLength = Even((static_cast<std::size_t>(width) + 7) / 8);

  std::vector<uint8_t> head;
  AppendId(head, "FORM");
  AppendU32be(head, 0);  // filled in below
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

  // The body, row by row: plane lines from the pixels, then raw or packed.
  std::vector<uint8_t> body;
  try {
    const std::size_t rawSize = static_cast<std::size_t>(planes) * lineLength * static_cast<std::size_t>(height);
    body.reserve(pack ? rawSize / 2 : rawSize);
    std::vector<uint8_t> lines(lineLength * planes);
    std::vector<uint8_t> values(8 * lineLength + 8);  // zero past the width
    std::vector<uint8_t> rgb(3 * static_cast<std::size_t>(width) + 3);
    for (int y = height - 1; y >= 0; --y) {
      const uint8_t* row = dib.Row(y).data();
      if (ham) {
        RowToRgb(dib.Colors(), bits, width, row, rgb.data());
        EncodeHamRow(rgb, std::span(values).first(width));
        SplitPlanes(values.data(), width, 6, lineLength, lines.data());
      } else if (planes == 24) {
        RowToRgb(dib.Colors(), bits, width, row, rgb.data());
        for (int c = 0; c < 3; ++c) {
          for (int x = 0; x < width; ++x) values[x] = rgb[3 * x + c];
          SplitPlanes(values.data(), width, 8, lineLength, lines.data() + 8 * c * lineLength);
        }
      } else if (bits == 1) {
        std::memset(lines.data(), 0, lineLength);
        std::memcpy(lines.data(), row, (width + 7) / 8);
        if (width % 8 != 0) lines[width / 8] &= static_cast<uint8_t>(0xFF00 >> (width % 8));
      } else {
        UnpackRow(row, bits, width, values.data());
        SplitPlanes(values.data(), width, planes, lineLength, lines.data());
      }
      for (int k = 0; k < planes; ++k) {
        const auto line = std::span<const uint8_t>(lines).subspan(k * lineLength, lineLength);
        if (pack) PackByteRun1Line(line, &body);
        else body.insert(body.end(), line.begin(), line.end());
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::size_t bodyLength = body.size();
  if (bodyLength & 1) body.push_back(0);
  if (head.size() + 8 + body.size() - 8 > 0xFFFFFFFFu) return false;
  AppendId(head, "BODY");
  AppendU32be(head, static_cast<uint32_t>(body.size()));
  const uint32_t formSize = static_cast<uint32_t>(head.size() - 8 + body.size());
  for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(formSize >> (24 - 8 * i));

  auto output = OutputFile::Create(path);
  if (!output) return false;
  output->Write(head);
  output->Write(body);
  return output->Commit();
}

}  // namespace ravelle
