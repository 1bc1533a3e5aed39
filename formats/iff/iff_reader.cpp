#include "formats/iff/iff.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <string>

#include "formats/iff/iff_coding.h"
#include "image/byte_reader.h"
#include "image/byte_source.h"
#include "image/dib_pixels.h"
#include "image/format.h"

namespace ravelle {

using namespace iff;

namespace {

bool IdIs(std::span<const uint8_t, 4> id, const char* name) {
  return std::memcmp(id.data(), name, 4) == 0;
}

// The chunks of a file read by offset, from just past the form type.
class ChunkWalk {
 public:
  explicit ChunkWalk(const ByteSource& file) : file_(file), pos_(std::min<uint64_t>(12, file.Size())) {}

  uint64_t Remaining() const { return file_.Size() - pos_; }
  uint64_t Position() const { return pos_; }
  // Whether the file ended inside a chunk or its header (or before the form type): the file is
  // cut short, rather than without the chunks looked for.
  bool Cut() const { return cut_; }

  // The next chunk's header; false when fewer than eight bytes are left.
  bool Next(std::array<uint8_t, 4>& id, uint32_t& size) {
    if (Remaining() < 8) {
      cut_ = cut_ || Remaining() > 0;
      return false;
    }
    std::array<uint8_t, 8> header{};
    file_.ReadAt(pos_, header);
    pos_ += 8;
    std::memcpy(id.data(), header.data(), 4);
    size = ByteReader(std::span(header).subspan(4)).U32be();
    return true;
  }

  // The first `wanted` of the next `length` bytes (fewer at the end of the file), moving past all
  // `length` of them.
  ByteReader Data(std::size_t wanted, uint64_t length, std::vector<uint8_t>& buffer) {
    buffer.resize(static_cast<std::size_t>(std::min<uint64_t>({wanted, length, Remaining()})));
    buffer.resize(file_.ReadAt(pos_, buffer));
    Skip(length);
    return ByteReader(buffer);
  }

  // A chunk's pad byte may be missing at the end of the file without it being cut.
  void Skip(uint64_t n) {
    cut_ = cut_ || n > Remaining() + 1;
    pos_ += std::min(n, Remaining());
  }

  // Moves past chunks up to the one named `name` and gives its size; false at the end of the file.
  bool Find(const char* name, uint32_t& size) {
    std::array<uint8_t, 4> id{};
    while (Next(id, size)) {
      if (IdIs(id, name)) return true;
      Skip(Even(size));
    }
    return false;
  }

 private:
  const ByteSource& file_;
  uint64_t pos_;
  bool cut_ = file_.Size() < 12;
};

// The bytes of BODY, from `offset` to the end of the file: raw, or expanded from ByteRun1
// packets. A packet carries over from one line to the next. Raw bytes are read straight into the
// caller's memory; packed ones through a window.
class BodySource {
 public:
  BodySource(const ByteSource& file, uint64_t offset, bool packed) : file_(file), pos_(offset), packed_(packed) {
    if (packed_) window_.resize(64 << 10);
  }

  // Fills `out`; returns how many bytes there were (fewer only at the end of the data).
  std::size_t Read(std::span<uint8_t> out) {
    if (!packed_) {
      const std::size_t n = file_.ReadAt(pos_, out);
      pos_ += n;
      return n;
    }
    uint8_t* o = out.data();
    uint8_t* const oEnd = o + out.size();
    while (o < oEnd) {
      if (run_ > 0) {
        const std::size_t take = std::min<std::size_t>(run_, oEnd - o);
        std::memset(o, runValue_, take);
        run_ -= take;
        o += take;
      } else if (literal_ > 0) {
        if (!Fill()) break;
        const std::size_t take = std::min({literal_, static_cast<std::size_t>(oEnd - o), static_cast<std::size_t>(end_ - p_)});
        std::memcpy(o, p_, take);
        p_ += take;
        o += take;
        literal_ -= take;
      } else {
        if (!Fill()) break;
        const auto n = static_cast<int8_t>(*p_++);
        if (n >= 0) {
          literal_ = static_cast<std::size_t>(n) + 1;
        } else if (n != -128) {
          if (!Fill()) break;
          runValue_ = *p_++;
          run_ = static_cast<std::size_t>(1 - n);
        }
      }
    }
    return static_cast<std::size_t>(o - out.data());
  }

 private:
  // Makes sure the window holds a byte; false at the end of the data.
  bool Fill() {
    if (p_ < end_) return true;
    const std::size_t n = file_.ReadAt(pos_, window_);
    pos_ += n;
    p_ = window_.data();
    end_ = p_ + n;
    return n > 0;
  }

  const ByteSource& file_;
  uint64_t pos_;
  bool packed_;
  std::vector<uint8_t> window_;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  std::size_t run_ = 0;
  std::size_t literal_ = 0;
  uint8_t runValue_ = 0;
};


struct Bmhd {
  int width = 0, height = 0, planes = 0, masking = 0, compression = 0, transparent = 0;
};

// Reads BODY line by line or a whole row of plane lines at a time, and turns plane lines into
// pixel values.
class BodyDecoder {
 public:
  BodyDecoder(BodySource& source, const Bmhd& h, std::size_t lineLength)
      : source_(source), lineLength_(lineLength), stride_(Even(lineLength)),
        planes_(h.planes), masking_(h.masking), lines_(h.planes + (h.masking == 1 ? 1 : 0)),
        row_(stride_ * lines_ + 8), zero_(stride_ + 8) {}

  // Reads `n` bytes (and a pad byte when n is odd) into `out`, or into a buffer of its own when
  // `out` is shorter; bytes past the data are zero. False at the end of the data.
  bool Take(std::size_t n, std::span<uint8_t> out) {
    const std::size_t padded = Even(n);
    if (out.size() < padded) {
      scratch_.resize(padded);
      out = scratch_;
    }
    const std::size_t got = source_.Read(out.first(padded));
    if (got < n) std::memset(out.data() + got, 0, n - got);
    last_ = out.data();
    whole_ = got >= n;
    if (got < padded) ended_ = true;
    return !ended_;
  }
  const uint8_t* Last() const { return last_; }
  // Whether the last Take had all its bytes (its pad byte aside).
  bool Whole() const { return whole_; }

  // Reads one row: its plane lines, then the mask line when there is one. Bytes past the data
  // are zero; false when the data ended before the last plane line was whole.
  bool TakeRow() {
    const std::size_t wanted = stride_ * lines_;
    const std::size_t got = source_.Read(std::span(row_).first(wanted));
    if (got < wanted) {
      std::memset(row_.data() + got, 0, wanted - got);
      ended_ = true;
    }
    return got >= stride_ * planes_;
  }

  bool SkipMask() { return masking_ != 1 || Take(lineLength_, {}); }

  // Eight pixels at a time: byte column i of the plane lines turned into the values of pixels
  // 8 i to 8 i + 7, one number for each group of eight planes (planes past the row's last count
  // as zero), handed to `sink` with the first pixel's x and how many of the eight are inside
  // the width: a constant 8 but for the last column, so that the sink's loop can be unrolled.
  template <int Groups, typename Sink>
  void ForEachColumn(std::size_t width, Sink&& sink) {
    const uint8_t* line[8 * Groups];
    for (int k = 0; k < 8 * Groups; ++k) line[k] = k < planes_ ? row_.data() + k * stride_ : zero_.data();
    const auto column = [&](std::size_t i) {
      std::array<uint64_t, Groups> values;
      for (int g = 0; g < Groups; ++g) {
        const uint8_t* const* l = line + 8 * g;
        const uint64_t planes = uint64_t{l[0][i]} | uint64_t{l[1][i]} << 8 | uint64_t{l[2][i]} << 16 |
                                uint64_t{l[3][i]} << 24 | uint64_t{l[4][i]} << 32 | uint64_t{l[5][i]} << 40 |
                                uint64_t{l[6][i]} << 48 | uint64_t{l[7][i]} << 56;
        values[g] = PlanesToPixels(planes);
      }
      return values;
    };
    const std::size_t whole = width / 8;
    for (std::size_t i = 0; i < whole; ++i) sink(8 * i, column(i), std::integral_constant<std::size_t, 8>{});
    if (whole < lineLength_) sink(8 * whole, column(whole), width - 8 * whole);
  }

  bool Ended() const { return ended_; }

 private:
  BodySource& source_;
  std::size_t lineLength_;
  std::size_t stride_;  // plane lines are padded to an even length
  int planes_;
  int masking_;
  int lines_;
  std::vector<uint8_t> row_;
  std::vector<uint8_t> zero_;
  std::vector<uint8_t> scratch_;
  const uint8_t* last_ = nullptr;
  bool whole_ = false;
  bool ended_ = false;
};

// Each decoder below stops at the end of the data, leaving the rows below as they were
// allocated, and returns how many rows had all their bytes.
int DecodeIndexed(BodyDecoder& d, const Bmhd& h, bool pbm, std::size_t lineLength, PackedDib& dib) {
  const auto width = static_cast<std::size_t>(h.width);
  int rows = 0;
  for (int y = dib.Height() - 1; y >= 0; --y, ++rows) {
    auto row = dib.Row(y);
    if (pbm && h.planes == 8) {
      const bool more = d.Take(width, row);
      if (d.Last() != row.data()) std::memcpy(row.data(), d.Last(), width);
      if (!more) return rows + (d.Whole() ? 1 : 0);
    } else if (h.planes == 1) {
      const bool more = d.Take(lineLength, row);
      if (d.Last() != row.data()) std::memcpy(row.data(), d.Last(), lineLength);
      if (!more) return rows + (d.Whole() ? 1 : 0);
      if (!d.SkipMask()) return rows + 1;
    } else {
      const bool whole = d.TakeRow();
      uint8_t* out = row.data();
      // A plane above the eighth adds a bit the index byte does not have.
      d.ForEachColumn<1>(width, [&](std::size_t x, const auto& v, auto n) {
        if (n == 8) Store8(out + x, v[0]);
        else for (std::size_t j = 0; j < n; ++j) out[x + j] = static_cast<uint8_t>(v[0] >> (8 * j));
      });
      if (!whole || d.Ended()) return rows + (whole ? 1 : 0);
    }
  }
  return rows;
}

int DecodeTrueColor(BodyDecoder& d, const Bmhd& h, bool pbm, PackedDib& dib) {
  const auto width = static_cast<std::size_t>(h.width);
  std::vector<uint8_t> rgb(3 * width + 1);
  int rows = 0;
  for (int y = dib.Height() - 1; y >= 0; --y, ++rows) {
    uint8_t* row = dib.Row(y).data();
    if (pbm) {
      const bool more = d.Take(3 * width, rgb);
      const uint8_t* p = d.Last();
      for (std::size_t x = 0; x < width; ++x) {
        row[3 * x] = p[3 * x + 2];
        row[3 * x + 1] = p[3 * x + 1];
        row[3 * x + 2] = p[3 * x];
      }
      if (!more) return rows + (d.Whole() ? 1 : 0);
      continue;
    }
    const bool whole = d.TakeRow();
    // Red planes first, then green and blue, each lowest bit first.
    d.ForEachColumn<3>(width, [&](std::size_t x, const auto& v, auto n) {
      uint8_t* out = row + 3 * x;
      for (std::size_t j = 0; j < n; ++j, out += 3) {
        out[0] = static_cast<uint8_t>(v[2] >> (8 * j));
        out[1] = static_cast<uint8_t>(v[1] >> (8 * j));
        out[2] = static_cast<uint8_t>(v[0] >> (8 * j));
      }
    });
    if (d.Ended()) return rows + (whole ? 1 : 0);
  }
  return rows;
}

// What each hold-and-modify code does to the colour (blue, green, red from the lowest bits):
// the colour is kept where `keep` has bits and `set` is added.
struct HamStep {
  uint32_t keep, set;
};

int DecodeHam(BodyDecoder& d, const Bmhd& h, std::span<const RgbQuad> palette, PackedDib& dib) {
  const int dataBits = h.planes - 2;
  const unsigned mask = (1u << dataBits) - 1;
  const unsigned low = (1u << (8 - dataBits)) - 1;  // the bits a modify code keeps
  std::array<HamStep, 256> steps{};
  for (unsigned v = 0; v < (1u << h.planes); ++v) {
    const unsigned data = v & mask;
    const unsigned high = data << (8 - dataBits);
    switch (v >> dataBits) {
      case 0: {
        const RgbQuad c = palette[data];
        steps[v] = {0, c.rgbBlue | (c.rgbGreen << 8) | (static_cast<uint32_t>(c.rgbRed) << 16)};
        break;
      }
      case 1: steps[v] = {0xFFFF00u | low, high}; break;
      case 2: steps[v] = {0x00FFFFu | (low << 16), high << 16}; break;
      default: steps[v] = {0xFF00FFu | (low << 8), high << 8}; break;
    }
  }
  const auto width = static_cast<std::size_t>(h.width);
  const RgbQuad first = palette[0];
  const uint32_t start = first.rgbBlue | (first.rgbGreen << 8) | (static_cast<uint32_t>(first.rgbRed) << 16);
  int rows = 0;
  for (int y = dib.Height() - 1; y >= 0; --y, ++rows) {
    if (!d.TakeRow()) return rows;
    uint8_t* row = dib.Row(y).data();
    uint32_t c = start;
    d.ForEachColumn<1>(width, [&](std::size_t x, const auto& v, auto n) {
      uint64_t codes = v[0];
      uint8_t* out = row + 3 * x;
      for (std::size_t j = 0; j < n; ++j, codes >>= 8, out += 3) {
        const HamStep& s = steps[codes & 0xFF];
        c = (c & s.keep) | s.set;
        out[0] = static_cast<uint8_t>(c);
        out[1] = static_cast<uint8_t>(c >> 8);
        out[2] = static_cast<uint8_t>(c >> 16);
      }
    });
    if (d.Ended()) return rows + 1;
  }
  return rows;
}

}  // namespace

ReadResult ReadIffImage(std::span<const uint8_t> file) { return ReadIffImage(ByteSource(file)); }

ReadResult ReadIffImage(const ByteSource& file) {
  ReadResult result;
  std::array<uint8_t, 4> type{};
  if (file.Size() >= 12) file.ReadAt(8, type);
  std::string formType(type.begin(), type.end());
  formType = formType.substr(0, formType.find('\0'));
  const bool pbm = formType == "PBM ";

  ChunkWalk in(file);
  std::vector<uint8_t> buffer;
  uint32_t size = 0;
  // A file that ends before its header chunks or inside them is damaged, not another kind.
  const auto noHeader = [&] {
    result.status = in.Cut() ? ReadStatus::Damaged : ReadStatus::BadHeader;
    return std::move(result);
  };
  if (!in.Find("BMHD", size)) return noHeader();
  ByteReader bmhd = in.Data(14, Even(size), buffer);
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
    result.status = in.Cut() ? ReadStatus::Damaged : ReadStatus::BadHeader;
    return result;
  }
  result.frame = FrameSize{h.width, h.height};
  const std::size_t lineLength = (static_cast<std::size_t>(h.width) + 7) / 8;
  result.infoText = Format("image type: %s \nwidth: %d \nheight: %d \nplanes: %d \ncompression: %d \nmasking: %d",
                           formType.c_str(), h.width, h.height, h.planes, h.compression, h.masking);
  if (h.masking == 2) result.infoText += Format("\ntransparent color: %d", h.transparent);

  const auto noBlock = [&](const Message& message, int bits, uint32_t entries = 0) {
    result.Fail(NoBlockStatus(h.width, h.height, bits, entries), message);
    return std::move(result);
  };
  if (h.width == 0 || h.height == 0) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  PackedDib dib;
  if (h.planes == 24) {
    dib = CreateDib(h.width, h.height, 24);
    if (!dib) return noBlock({"Global Allocation Error", "", kMbIconHand}, 24);
  }

  std::array<RgbQuad, 256> palette{};
  int colours = -1;  // no CMAP yet
  bool ham = false, halfBrite = false;
  bool body = false;
  std::array<uint8_t, 4> id{};
  while (!body && in.Next(id, size)) {
    if (IdIs(id, "BODY")) {
      body = true;
    } else if (IdIs(id, "CMAP")) {
      ByteReader cmap = in.Data(3 * 256, Even(size), buffer);
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
      const uint32_t mode = in.Data(4, 4, buffer).U32be();
      ham = (mode & 0x800) != 0;
      halfBrite = (mode & 0x80) != 0;
    } else {
      in.Skip(Even(size));
    }
  }
  if (!body) return noHeader();
  if (h.planes != 24 && colours < 0) {
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
    // Hold and modify is defined for 6 and 8 planes only.
    if (h.planes != 6 && h.planes != 8) {
      result.status = ReadStatus::Unsupported;
      return result;
    }
    dib = CreateDib(h.width, h.height, 24);
    if (!dib) return noBlock(kMemoryAllocationError, 24);
  } else if (h.planes != 24) {
    // A 1-bit image cannot reach more than two entries of its table.
    const int bits = h.planes == 1 ? 1 : 8;
    const int entries = bits == 1 ? std::min(colours, 2) : colours;
    dib = CreateDib(h.width, h.height, bits, static_cast<uint32_t>(entries));
    if (!dib) return noBlock(kMemoryAllocationError, bits, static_cast<uint32_t>(entries));
    auto table = dib.Colors();
    std::copy_n(palette.begin(), std::min(table.size(), palette.size()), table.begin());
  }
  dib.Header().biSizeImage = 0;

  BodySource source(file, in.Position(), h.compression != 0);
  BodyDecoder decoder(source, h, lineLength);
  int rows = 0;
  if (ham) {
    rows = DecodeHam(decoder, h, palette, dib);
  } else if (h.planes == 24) {
    rows = DecodeTrueColor(decoder, h, pbm, dib);
  } else {
    rows = DecodeIndexed(decoder, h, pbm, lineLength, dib);
  }
  // Not one row: nothing to show.
  if (rows == 0) {
    result.status = ReadStatus::Damaged;
    return result;
  }
  if (decoder.Ended()) result.status = ReadStatus::Truncated;
  result.dib = std::move(dib);
  return result;
}

}  // namespace ravelle
