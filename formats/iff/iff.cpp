#include "formats/iff/iff.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <string>

#include "image/byte_reader.h"
#include "image/byte_source.h"
#include "image/dib_pixels.h"
#include "image/format.h"
#include "image/output_file.h"

namespace ravelle {
namespace {

constexpr std::size_t Even(std::size_t n) { return n + (n & 1); }

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

// An 8 x 8 bit matrix transposed: bit 8 * r + c of the result is bit 8 * c + r of `x`.
constexpr uint64_t Transpose8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAu;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCu;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0u;
  x ^= t ^ (t << 28);
  return x;
}

// Eight pixels and the bytes of eight plane lines that hold them: byte k of `planes` is plane k's
// byte (the first pixel in its most significant bit), byte j of `pixels` is pixel j's value.
constexpr uint64_t PlanesToPixels(uint64_t planes) { return __builtin_bswap64(Transpose8x8(planes)); }
constexpr uint64_t PixelsToPlanes(uint64_t pixels) { return Transpose8x8(__builtin_bswap64(pixels)); }

// Eight bytes as a number, the first in the lowest bits, and back.
inline uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}
inline void Store8(uint8_t* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

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
  if (h.planes != 6 && h.planes != 8) return dib.Height();
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

// ---- Writing

namespace {

enum class PackState { Start, InLiteral, AfterRun, RunAfterLiteral };

// Packs `n` bytes into `out`, which has room for 2 n bytes (no packet is more than twice the
// bytes it stands for); returns the packed length.
std::size_t PackLine(const uint8_t* line, std::size_t n, uint8_t* out) {
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

}  // namespace

std::size_t PackByteRun1Line(std::span<const uint8_t> line, std::vector<uint8_t>* out) {
  std::vector<uint8_t> local;
  std::vector<uint8_t>& o = out != nullptr ? *out : local;
  const std::size_t base = o.size();
  o.resize(base + 2 * line.size());
  const std::size_t length = PackLine(line.data(), line.size(), o.data() + base);
  o.resize(base + length);
  return length;
}

namespace {

// The gray level (0 to 15) a hold-and-modify coder gives a colour: its luminance, truncated, in
// sixteenths. The products are tabled; the sum is taken in the same order for every caller.
struct LuminanceTable {
  std::array<double, 256> red, green, blue;
  LuminanceTable() {
    for (int i = 0; i < 256; ++i) {
      red[i] = 0.299 * i;
      green[i] = 0.587 * i;
      blue[i] = 0.114 * i;
    }
  }
};
inline int HamGray(const LuminanceTable& t, int red, int green, int blue) {
  return static_cast<int>(static_cast<unsigned>(t.red[red] + t.green[green] + t.blue[blue]) >> 4);
}
const LuminanceTable& Luminance() {
  static const LuminanceTable table;
  return table;
}

}  // namespace

void EncodeHamRow(std::span<const uint8_t> rgb, std::span<uint8_t> codes) {
  const LuminanceTable& lum = Luminance();
  int runR = 0, runG = 0, runB = 0;
  for (std::size_t x = 0; x < codes.size(); ++x) {
    const int red = rgb[3 * x], green = rgb[3 * x + 1], blue = rgb[3 * x + 2];
    const int l = HamGray(lum, red, green, blue);
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

// Sixteen small values, one for each of sixteen rows at the same x. The comparisons give lanes
// of all ones (true) or zeros.
typedef int8_t Lanes __attribute__((vector_size(16)));
typedef uint8_t UnsignedLanes __attribute__((vector_size(16)));
constexpr int kLanes = 16;

inline Lanes AbsDiff(Lanes a, Lanes b) {
  const Lanes d = a - b;
  const Lanes negative = d < 0;
  return (d ^ negative) - negative;
}
inline Lanes Select(Lanes mask, Lanes a, Lanes b) { return (a & mask) | (b & ~mask); }
inline Lanes Max(Lanes a, Lanes b) { return Select(a > b, a, b); }
inline Lanes HighNibbles(Lanes v) { return reinterpret_cast<Lanes>(reinterpret_cast<UnsignedLanes>(v) >> 4); }
inline Lanes LoadLanes(const int8_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// EncodeHamRow for up to sixteen rows at once, a row a lane: a row's choices hang on each other
// from left to right, the rows' do not. The same codes as EncodeHamRow, in the form that
// needs no branches: modifying costs the two smaller of the three differences, so the
// component that differs most is modified (blue only when it differs strictly most, green
// before red on a tie), unless the gray level costs less still.
void EncodeHamRows(std::span<const uint8_t* const> rgbRows, std::span<uint8_t* const> codeRows, std::size_t width) {
  constexpr std::size_t kBlock = 64;
  const LuminanceTable& lum = Luminance();
  const std::size_t rows = std::min<std::size_t>(rgbRows.size(), kLanes);
  Lanes runR{}, runG{}, runB{};
  for (std::size_t start = 0; start < width; start += kBlock) {
    const std::size_t n = std::min(kBlock, width - start);
    alignas(16) int8_t red[kBlock][kLanes] = {}, green[kBlock][kLanes] = {}, blue[kBlock][kLanes] = {},
                       gray[kBlock][kLanes] = {}, codes[kBlock][kLanes];
    for (std::size_t k = 0; k < rows; ++k) {
      const uint8_t* p = rgbRows[k] + 3 * start;
      for (std::size_t x = 0; x < n; ++x, p += 3) {
        red[x][k] = static_cast<int8_t>(p[0]);
        green[x][k] = static_cast<int8_t>(p[1]);
        blue[x][k] = static_cast<int8_t>(p[2]);
        gray[x][k] = static_cast<int8_t>(HamGray(lum, p[0], p[1], p[2]));
      }
    }
    for (std::size_t x = 0; x < n; ++x) {
      const Lanes r = HighNibbles(LoadLanes(red[x])), g = HighNibbles(LoadLanes(green[x]));
      const Lanes b = HighNibbles(LoadLanes(blue[x])), l = LoadLanes(gray[x]);
      Lanes code;
      if (start + x == 0) {
        code = runR = runG = runB = l;
      } else {
        const Lanes dR = AbsDiff(r, runR), dG = AbsDiff(g, runG), dB = AbsDiff(b, runB);
        const Lanes redOrGreen = Max(dR, dG);
        const Lanes useGray = AbsDiff(r, l) + AbsDiff(g, l) + AbsDiff(b, l) < dR + dG + dB - Max(redOrGreen, dB);
        const Lanes useBlue = dB > redOrGreen;
        const Lanes useGreen = ~useBlue & ~(dR > dG);
        const Lanes useRed = ~useBlue & ~useGreen;
        code = Select(useGray, l, (useBlue & (b | 0x10)) | (useGreen & (g | 0x30)) | (useRed & (r | 0x20)));
        runR = Select(useGray, l, Select(useRed, r, runR));
        runG = Select(useGray, l, Select(useGreen, g, runG));
        runB = Select(useGray, l, Select(useBlue, b, runB));
      }
      std::memcpy(codes[x], &code, sizeof code);
    }
    for (std::size_t k = 0; k < rows; ++k) {
      uint8_t* out = codeRows[k] + start;
      for (std::size_t x = 0; x < n; ++x) out[x] = static_cast<uint8_t>(codes[x][k]);
    }
  }
}

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
    values.resize(valuesLength * (ham ? kLanes : 1));
    rgb.resize(rgbLength * (ham ? kLanes : 1));
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
      const int lane = (height - 1 - y) % kLanes;
      if (lane == 0) {
        const int rows = std::min(kLanes, y + 1);
        std::array<const uint8_t*, kLanes> rgbRows{};
        std::array<uint8_t*, kLanes> codeRows{};
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
      for (int k = 0; k < planes; ++k) length += PackLine(lines.data() + k * lineLength, lineLength, packed.data() + length);
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
