#include "view/metafile_player.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include "image/byte_reader.h"
#include "image/packed_dib.h"

namespace ravelle {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kMostSavedStates = 1024;
constexpr std::size_t kMostClipSteps = 1024;
constexpr std::size_t kMostPathPoints = 1'000'000;

// ---- Geometry

struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  PointF Apply(PointF p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
  bool AxisAligned() const { return m12 == 0 && m21 == 0; }
  double XScale() const { return std::hypot(m11, m12); }
  double YScale() const { return std::hypot(m21, m22); }
};

// `a` applied first, then `b`.
Xform Then(const Xform& a, const Xform& b) {
  return {a.m11 * b.m11 + a.m12 * b.m21, a.m11 * b.m12 + a.m12 * b.m22, a.m21 * b.m11 + a.m22 * b.m21,
          a.m21 * b.m12 + a.m22 * b.m22, a.dx * b.m11 + a.dy * b.m21 + b.dx, a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

bool Finite(const Xform& x) {
  return std::isfinite(x.m11) && std::isfinite(x.m12) && std::isfinite(x.m21) && std::isfinite(x.m22) &&
         std::isfinite(x.dx) && std::isfinite(x.dy);
}

// Device coordinates are whole pixels, as the system rounds them; far-off points are held
// where the surface can still take them.
PointF Round(PointF p) {
  const auto r = [](double v) { return std::isfinite(v) ? std::clamp(std::round(v), -1e7, 1e7) : 0.0; };
  return {r(p.x), r(p.y)};
}

// Points along the ellipse of centre (cx, cy) and radii (rx, ry) from parameter t0 over
// `sweep` radians; angles grow anticlockwise as the picture is seen, y growing downwards.
void AddArc(Contour& out, double cx, double cy, double rx, double ry, double t0, double sweep) {
  const double reach = (std::abs(rx) + std::abs(ry)) * std::abs(sweep);
  // At least 16 points a turn, so that a small circle is not drawn as a diamond.
  const double fewest = std::max(4.0, std::ceil(std::abs(sweep) * 16 / (2 * kPi)));
  const int steps = static_cast<int>(std::clamp(reach / 3, fewest, 720.0));
  for (int i = 0; i <= steps; ++i) {
    const double t = t0 + sweep * i / steps;
    out.push_back({cx + rx * std::cos(t), cy - ry * std::sin(t)});
  }
}

void AddBezier(Contour& out, PointF p0, PointF p1, PointF p2, PointF p3) {
  const double reach = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                       std::hypot(p3.x - p2.x, p3.y - p2.y);
  const int steps = static_cast<int>(std::clamp(std::isfinite(reach) ? reach / 4 : 1.0, 1.0, 64.0));
  for (int i = 1; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
  }
}

Contour RectContour(double l, double t, double r, double b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }

// ---- Objects and the device context

Colour ColourRef(uint32_t c) {
  return {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
}

struct Pen {
  int style = 0;  // PS_SOLID ... PS_NULL (5), PS_INSIDEFRAME (6)
  double width = 0;
  bool cosmetic = true;
  Colour colour = kBlack;
  int cap = 0, join = 0;
};

struct Brush {
  int style = 0;  // BS_SOLID, BS_NULL, BS_HATCHED, BS_PATTERN and the DIB patterns
  Colour colour = kWhite;
  int hatch = 0;
  std::shared_ptr<PackedDib> pattern;
};

struct Font {
  int height = 0, width = 0, escapement = 0, weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  int charset = 0;
  std::string face;
};

using Palette = std::vector<MetafilePaletteEntry>;

struct Object {
  enum class Kind { Empty, Pen, Brush, Font, Palette, Region } kind = Kind::Empty;
  Pen pen;
  Brush brush;
  Font font;
  Palette palette;
  std::vector<std::array<double, 4>> rects;  // a region: left, top, right, bottom
};

struct Dc {
  int mapMode = 1;
  PointF windowOrg, viewportOrg, windowExt{1, 1}, viewportExt{1, 1};
  Xform world;
  Pen pen;
  Brush brush;
  Font font;
  Palette palette;
  Colour text = kBlack, background = kWhite;
  int bkMode = 2;    // OPAQUE
  int fillMode = 1;  // ALTERNATE
  int rop2 = 13;     // R2_COPYPEN
  unsigned align = 0;
  int arcDirection = 1;  // AD_COUNTERCLOCKWISE
  double charExtra = 0;
  double miterLimit = 10;
  PointF position;  // logical
  std::vector<ClipStep> clip;
};

// The 8 x 8 hatches, top row first, bit 7 the left pixel.
constexpr uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

Object Made(Object::Kind kind) {
  Object o;
  o.kind = kind;
  return o;
}

std::optional<Object> StockObject(uint32_t index) {
  Object o;
  switch (index) {
    case 0: case 1: case 2: case 3: case 4: case 18: {
      static constexpr uint8_t kGreys[] = {255, 192, 128, 64, 0};
      const uint8_t g = index == 18 ? 255 : kGreys[index];
      o.kind = Object::Kind::Brush;
      o.brush.colour = {g, g, g};
      return o;
    }
    case 5:
      o.kind = Object::Kind::Brush;
      o.brush.style = 1;
      return o;
    case 6: case 7: case 8: case 19:
      o.kind = Object::Kind::Pen;
      o.pen.colour = index == 6 ? kWhite : kBlack;
      o.pen.style = index == 8 ? 5 : 0;
      return o;
    case 10: case 11: case 12: case 13: case 14: case 16: case 17:
      o.kind = Object::Kind::Font;
      o.font.height = index == 17 ? -11 : 16;
      o.font.face = index == 10 || index == 11 || index == 16 ? "monospace" : "sans-serif";
      o.font.weight = index == 13 ? 700 : 400;
      return o;
    case 15:
      o.kind = Object::Kind::Palette;
      return o;
    default:
      return std::nullopt;
  }
}

Mix MixOf(int rop2) { return rop2 >= 1 && rop2 <= 16 ? static_cast<Mix>(rop2) : Mix::CopyPen; }

// The binary operation that stands for a ternary raster operation with a source.
Mix SourceMix(uint32_t rop) {
  switch (rop) {
    case 0x8800C6: return Mix::MaskPen;      // SRCAND
    case 0xEE0086: return Mix::MergePen;     // SRCPAINT
    case 0x660046: return Mix::XorPen;       // SRCINVERT
    case 0x330008: return Mix::NotCopyPen;   // NOTSRCCOPY
    case 0x440328: return Mix::MaskPenNot;   // SRCERASE
    case 0x1100A6: return Mix::NotMergePen;  // NOTSRCERASE
    case 0xBB0226: return Mix::MergeNotPen;  // MERGEPAINT
    case 0x990066: return Mix::NotXorPen;
    case 0x220326: return Mix::MaskNotPen;
    default: return Mix::CopyPen;            // SRCCOPY and the rest
  }
}

bool UsesSource(uint32_t rop) {
  const unsigned index = (rop >> 16) & 0xFF;
  return ((index >> 2) & 0x33) != (index & 0x33);
}

std::u16string Latin1(std::span<const uint8_t> bytes) {
  static constexpr char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::u16string out;
  for (uint8_t b : bytes) out.push_back(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b});
  return out;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c == 0) break;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// ---- Device-independent bitmaps inside records

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
  std::vector<Colour> table;
  if (bitCount <= 8) {
    const std::size_t entries = colorsUsed != 0 && colorsUsed < (1u << bitCount) ? colorsUsed : 1u << bitCount;
    ByteReader t(info.subspan(std::min<std::size_t>(info.size(), headerSize)));
    for (std::size_t i = 0; i < entries; ++i) {
      if (paletteIndices) {
        const uint16_t index = t.U16le();
        if (index < palette.size()) {
          table.push_back({palette[index].red, palette[index].green, palette[index].blue});
        } else {
          table.push_back(index == 0 ? kBlack : kWhite);
        }
      } else {
        const uint8_t b = t.U8(), g = t.U8(), rr = t.U8();
        if (headerSize != 12) t.Skip(1);
        table.push_back({rr, g, b});
      }
    }
    table.resize(std::size_t{1} << bitCount, kBlack);
  }
  const auto channel = [](uint32_t value, uint32_t mask) -> uint8_t {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const uint32_t top = mask >> shift;
    return static_cast<uint8_t>(((value & mask) >> shift) * 255 / top);
  };

  PackedDib out = CreateDib(static_cast<int>(width), static_cast<int>(rows), 24);
  if (!out) return out;
  for (int64_t y = 0; y < rows; ++y) {
    // Source row y counted from the top of the picture.
    const int64_t stored = topDown ? y : height - 1 - y;
    if (static_cast<uint64_t>(stored + 1) * stride > bits.size()) continue;
    const uint8_t* from = bits.data() + static_cast<std::size_t>(stored) * stride;
    auto to = out.Row(static_cast<int>(rows - 1 - y));
    for (int64_t x = 0; x < width; ++x) {
      Colour c;
      switch (bitCount) {
        case 1: c = table[(from[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: c = table[(from[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF]; break;
        case 8: c = table[from[x]]; break;
        case 16: {
          const uint32_t v = from[2 * x] | (from[2 * x + 1] << 8);
          c = {channel(v, masks[0]), channel(v, masks[1]), channel(v, masks[2])};
          break;
        }
        case 24: c = {from[3 * x + 2], from[3 * x + 1], from[3 * x]}; break;
        default: {
          const uint32_t v = from[4 * x] | (from[4 * x + 1] << 8) | (from[4 * x + 2] << 16) |
                             (static_cast<uint32_t>(from[4 * x + 3]) << 24);
          c = {channel(v, masks[0]), channel(v, masks[1]), channel(v, masks[2])};
        }
      }
      to[3 * x] = c.blue;
      to[3 * x + 1] = c.green;
      to[3 * x + 2] = c.red;
    }
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

// ---- The player

class Player {
 public:
  Player(Surface& surface, Xform outer, double dpiX, double dpiY, std::size_t objects)
      : surface_(surface), outer_(outer), dpiX_(dpiX), dpiY_(dpiY) {
    objects_.resize(std::min(objects, kMaxMetafileObjects));
    dc_.font.height = 16;
  }

  void StartWindows(const WmfStart& start) {
    dc_.mapMode = start.mapMode;
    dc_.viewportOrg = {static_cast<double>(start.viewportOrigin.x), static_cast<double>(start.viewportOrigin.y)};
    dc_.viewportExt = {static_cast<double>(start.viewportExtent.width),
                       static_cast<double>(start.viewportExtent.height)};
  }

  void PlayWmf(uint32_t function, ByteReader r);
  // False at the end-of-file record.
  bool PlayEmf(uint32_t type, ByteReader r, std::span<const uint8_t> record);
  void Finish() { surface_.SetClip({}); }

 private:
  // -- Mapping
  Xform Page() const {
    double sx = 1, sy = 1;
    switch (dc_.mapMode) {
      case 2: sx = dpiX_ / 254, sy = -dpiY_ / 254; break;    // MM_LOMETRIC
      case 3: sx = dpiX_ / 2540, sy = -dpiY_ / 2540; break;  // MM_HIMETRIC
      case 4: sx = dpiX_ / 100, sy = -dpiY_ / 100; break;    // MM_LOENGLISH
      case 5: sx = dpiX_ / 1000, sy = -dpiY_ / 1000; break;  // MM_HIENGLISH
      case 6: sx = dpiX_ / 1440, sy = -dpiY_ / 1440; break;  // MM_TWIPS
      case 7: case 8: {
        sx = dc_.windowExt.x != 0 ? dc_.viewportExt.x / dc_.windowExt.x : 1;
        sy = dc_.windowExt.y != 0 ? dc_.viewportExt.y / dc_.windowExt.y : 1;
        if (dc_.mapMode == 7) {
          const double s = std::min(std::abs(sx), std::abs(sy));
          sx = std::copysign(s, sx);
          sy = std::copysign(s, sy);
        }
        break;
      }
      default: break;
    }
    return {sx, 0, 0, sy, dc_.viewportOrg.x - dc_.windowOrg.x * sx, dc_.viewportOrg.y - dc_.windowOrg.y * sy};
  }
  Xform Total() const {
    Xform t = Then(Then(dc_.world, Page()), outer_);
    return Finite(t) ? t : Xform{0, 0, 0, 0, 0, 0};
  }
  PointF Dev(PointF p) const { return Round(Total().Apply(p)); }
  Contour DevAll(const Contour& logical) const {
    const Xform t = Total();
    Contour out;
    out.reserve(logical.size());
    for (PointF p : logical) out.push_back(Round(t.Apply(p)));
    return out;
  }

  // -- Drawing
  bool MakePen(ShapePen& out) const {
    const Pen& p = dc_.pen;
    if (p.style == 5) return false;
    out.colour = p.colour;
    const double width = p.cosmetic ? 0 : p.width * Total().XScale();
    out.width = width <= 1.5 ? 0 : width;
    out.dash = p.style >= 1 && p.style <= 4 ? static_cast<ShapePen::Dash>(p.style) : ShapePen::Dash::Solid;
    out.cap = p.cap == 1 ? ShapePen::Cap::Square : p.cap == 2 ? ShapePen::Cap::Flat : ShapePen::Cap::Round;
    out.join = p.join == 1 ? ShapePen::Join::Bevel : p.join == 2 ? ShapePen::Join::Miter : ShapePen::Join::Round;
    out.miterLimit = dc_.miterLimit;
    return true;
  }
  bool MakeBrush(const Brush& b, ShapeBrush& out) const {
    out.colour = b.colour;
    switch (b.style) {
      case 1: return false;
      case 2:
        out.kind = ShapeBrush::Kind::Bits;
        std::memcpy(out.bits, kHatches[std::clamp(b.hatch, 0, 5)], 8);
        out.background = dc_.background;
        out.transparent = dc_.bkMode == 1;
        return true;
      case 3: case 5: case 6:
        if (b.pattern && *b.pattern) {
          out.kind = ShapeBrush::Kind::Image;
          out.image = b.pattern.get();
        }
        return true;
      default: return true;
    }
  }

  void Shape(std::vector<Contour> contours, bool closed, bool fill, bool stroke) {
    if (inPath_) {
      for (Contour& c : contours) {
        if (closed && !c.empty()) c.push_back(c.front());
        AddToPath(std::move(c));
      }
      figureOpen_ = false;
      return;
    }
    if (dc_.rop2 == 11) return;  // R2_NOP
    ShapeBrush brush;
    ShapePen pen;
    const bool hasBrush = fill && MakeBrush(dc_.brush, brush);
    const bool hasPen = stroke && MakePen(pen);
    if (!hasBrush && !hasPen) return;
    surface_.DrawShape(contours, closed, dc_.fillMode == 2, hasBrush ? &brush : nullptr, hasPen ? &pen : nullptr,
                       MixOf(dc_.rop2));
  }

  void AddToPath(Contour c) {
    if (pathPoints_ + c.size() > kMostPathPoints) return;
    pathPoints_ += c.size();
    path_.push_back(std::move(c));
  }

  void Polygon(const Contour& points) { Shape({DevAll(points)}, true, true, true); }
  void PolyPolygon(const std::vector<Contour>& polys) {
    std::vector<Contour> device;
    for (const Contour& p : polys) device.push_back(DevAll(p));
    Shape(std::move(device), true, true, true);
  }
  void Polyline(const Contour& points) {
    if (points.empty()) return;
    Shape({DevAll(points)}, false, false, true);
  }

  void MoveTo(PointF p) {
    dc_.position = p;
    if (inPath_) figureOpen_ = false;
  }
  // Lines (and flattened curves) on from the current position to each point in turn.
  void LinesTo(const Contour& points) {
    if (points.empty()) return;
    if (inPath_) {
      const Contour device = DevAll(points);
      if (!figureOpen_ || path_.empty()) {
        AddToPath({Dev(dc_.position)});
        figureOpen_ = true;
      }
      if (path_.empty()) return;
      if (pathPoints_ + device.size() <= kMostPathPoints) {
        pathPoints_ += device.size();
        path_.back().insert(path_.back().end(), device.begin(), device.end());
      }
    } else {
      Contour all{dc_.position};
      all.insert(all.end(), points.begin(), points.end());
      Shape({DevAll(all)}, false, false, true);
    }
    dc_.position = points.back();
  }

  // The box of a rectangle or ellipse in the space its outline is worked out in: device
  // pixels when the mapping keeps axes (with the right and bottom edges left out, as the
  // system draws them), else logical units turned by `after`.
  struct BoxSpace {
    double l, t, r, b;
    Xform after;
    bool device;
  };
  BoxSpace Box(double l, double t, double r, double b) const {
    const Xform x = Total();
    if (!x.AxisAligned()) return {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b), x, false};
    const PointF p = Round(x.Apply({l, t})), q = Round(x.Apply({r, b}));
    BoxSpace s{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y), {}, true};
    if (dc_.pen.style != 5) s.r -= 1, s.b -= 1;
    return s;
  }
  // The outline in whole device pixels: the surface would otherwise place a point on a pixel's
  // edge by its own rounding, one side of a small ellipse a pixel out from the other.
  Contour Out(const BoxSpace& s, Contour c) const {
    for (PointF& p : c) p = Round(s.device ? p : s.after.Apply(p));
    return c;
  }
  PointF In(const BoxSpace& s, PointF logical) const { return s.device ? Total().Apply(logical) : logical; }

  void Rectangle(double l, double t, double r, double b) {
    const BoxSpace s = Box(l, t, r, b);
    Shape({Out(s, RectContour(s.l, s.t, s.r, s.b))}, true, true, true);
  }
  void Ellipse(double l, double t, double r, double b) {
    const BoxSpace s = Box(l, t, r, b);
    Contour c;
    AddArc(c, (s.l + s.r) / 2, (s.t + s.b) / 2, (s.r - s.l) / 2, (s.b - s.t) / 2, 0, 2 * kPi);
    Shape({Out(s, std::move(c))}, true, true, true);
  }
  void RoundRect(double l, double t, double r, double b, double w, double h) {
    const BoxSpace s = Box(l, t, r, b);
    double rx = std::abs(w) / 2, ry = std::abs(h) / 2;
    if (s.device) rx *= Total().XScale(), ry *= Total().YScale();
    rx = std::min(rx, (s.r - s.l) / 2);
    ry = std::min(ry, (s.b - s.t) / 2);
    Contour c;
    AddArc(c, s.r - rx, s.t + ry, rx, ry, 0, kPi / 2);
    AddArc(c, s.l + rx, s.t + ry, rx, ry, kPi / 2, kPi / 2);
    AddArc(c, s.l + rx, s.b - ry, rx, ry, kPi, kPi / 2);
    AddArc(c, s.r - rx, s.b - ry, rx, ry, 3 * kPi / 2, kPi / 2);
    Shape({Out(s, std::move(c))}, true, true, true);
  }
  enum class ArcKind { Arc, ArcTo, Chord, Pie };
  void Arc(ArcKind kind, double l, double t, double r, double b, PointF start, PointF end) {
    const BoxSpace s = Box(l, t, r, b);
    const double cx = (s.l + s.r) / 2, cy = (s.t + s.b) / 2, rx = (s.r - s.l) / 2, ry = (s.b - s.t) / 2;
    const PointF p = In(s, start), q = In(s, end);
    const auto angle = [&](PointF v) {
      return std::atan2(-(v.y - cy) / (ry != 0 ? ry : 1), (v.x - cx) / (rx != 0 ? rx : 1));
    };
    const double a0 = angle(p), a1 = angle(q);
    double sweep = a1 - a0;
    if (dc_.arcDirection == 2) {
      if (sweep >= 0) sweep -= 2 * kPi;
    } else if (sweep <= 0) {
      sweep += 2 * kPi;
    }
    Contour c;
    if (kind == ArcKind::Pie) c.push_back({cx, cy});
    AddArc(c, cx, cy, rx, ry, a0, sweep);
    c = Out(s, std::move(c));
    if (kind == ArcKind::ArcTo) {
      // The line from the current position to the arc's start, then the arc.
      const Xform inverse = Inverse(Total());
      Contour logical;
      for (PointF d : c) logical.push_back(inverse.Apply(d));
      LinesTo(logical);
      return;
    }
    Shape({std::move(c)}, kind != ArcKind::Arc, kind != ArcKind::Arc, true);
  }

  static Xform Inverse(const Xform& x) {
    const double det = x.m11 * x.m22 - x.m12 * x.m21;
    if (det == 0 || !std::isfinite(det)) return {};
    Xform i{x.m22 / det, -x.m12 / det, -x.m21 / det, x.m11 / det, 0, 0};
    i.dx = -(x.dx * i.m11 + x.dy * i.m21);
    i.dy = -(x.dx * i.m12 + x.dy * i.m22);
    return i;
  }

  void Beziers(const Contour& points, bool fromCurrent) {
    if (points.empty()) return;
    Contour logicalStart;
    PointF at = fromCurrent ? dc_.position : points[0];
    const std::size_t first = fromCurrent ? 0 : 1;
    const Xform x = Total();
    Contour device{Round(x.Apply(at))};
    for (std::size_t i = first; i + 2 < points.size(); i += 3) {
      AddBezier(device, x.Apply(at), x.Apply(points[i]), x.Apply(points[i + 1]), x.Apply(points[i + 2]));
      at = points[i + 2];
    }
    if (fromCurrent) {
      const Xform inverse = Inverse(x);
      Contour logical;
      for (std::size_t i = 1; i < device.size(); ++i) logical.push_back(inverse.Apply(device[i]));
      LinesTo(logical);
      dc_.position = at;
    } else {
      Shape({std::move(device)}, false, false, true);
    }
  }

  // -- Paths and clipping
  void UpdateClip() { surface_.SetClip(dc_.clip); }
  void AddClip(ClipStep step) {
    if (step.op == ClipStep::Op::Replace) {
      dc_.clip.clear();
    } else if (dc_.clip.size() >= kMostClipSteps) {
      return;
    }
    dc_.clip.push_back(std::move(step));
    UpdateClip();
  }
  // The clip moved by a logical offset.
  void OffsetClip(double x, double y) {
    const Xform t = Total();
    const double dx = x * t.m11 + y * t.m21, dy = x * t.m12 + y * t.m22;
    for (ClipStep& s : dc_.clip) {
      for (Contour& c : s.contours) {
        for (PointF& p : c) p = Round({p.x + dx, p.y + dy});
      }
    }
    UpdateClip();
  }
  void ClipRect(double l, double t, double r, double b, ClipStep::Op op) {
    AddClip({op, {DevAll(RectContour(l, t, r, b))}, false});
  }
  static ClipStep::Op RegionOp(uint32_t mode) {
    switch (mode) {
      case 1: return ClipStep::Op::Intersect;  // RGN_AND
      case 2: case 3: return ClipStep::Op::Union;  // RGN_OR, RGN_XOR
      case 4: return ClipStep::Op::Exclude;   // RGN_DIFF
      default: return ClipStep::Op::Replace;  // RGN_COPY
    }
  }
  std::vector<Contour> RegionContours(const std::vector<std::array<double, 4>>& rects, bool logical) const {
    std::vector<Contour> out;
    for (const auto& r : rects) {
      Contour c = RectContour(r[0], r[1], r[2], r[3]);
      for (PointF& p : c) p = Round(logical ? Total().Apply(p) : outer_.Apply(p));
      out.push_back(std::move(c));
    }
    return out;
  }
  void FillRegion(const std::vector<Contour>& contours, const Brush& brush, Mix mix) {
    ShapeBrush b;
    if (contours.empty() || !MakeBrush(brush, b)) return;
    surface_.DrawShape(contours, true, true, &b, nullptr, mix);
  }

  // -- Text
  void Text(PointF reference, const std::u16string& text, uint32_t options, const std::optional<std::array<double, 4>>& rect,
            std::vector<double> dx, bool dxDevice = false);

  // -- Bitmaps
  void Blit(const PackedDib* dib, Rect source, double x, double y, double w, double h, uint32_t rop) {
    const Xform t = Total();
    const PointF dest[3] = {Round(t.Apply({x, y})), Round(t.Apply({x + w, y})), Round(t.Apply({x, y + h}))};
    if (inPath_) return;
    if (dib != nullptr && UsesSource(rop)) {
      if (*dib) surface_.DrawDibPart(*dib, source, dest, SourceMix(rop));
      return;
    }
    const PointF d = {dest[1].x + dest[2].x - dest[0].x, dest[1].y + dest[2].y - dest[0].y};
    const std::vector<Contour> area{{dest[0], dest[1], d, dest[2]}};
    ShapeBrush b;
    Mix mix = Mix::CopyPen;
    switch (rop) {
      case 0x000042: b.colour = kBlack; break;  // BLACKNESS
      case 0xFF0062: b.colour = kWhite; break;  // WHITENESS
      case 0x550009: mix = Mix::Not; break;     // DSTINVERT
      case 0x00AA0029: return;                  // the destination left alone
      default:
        if (!MakeBrush(dc_.brush, b)) return;
        if (rop == 0x5A0049) mix = Mix::XorPen;           // PATINVERT
        else if (rop == 0xA000C9) mix = Mix::MaskPen;     // DPa
        else if (rop == 0xFA0089) mix = Mix::MergePen;    // DPo
        else if (rop == 0x0F0001) mix = Mix::NotCopyPen;  // Pn
    }
    surface_.DrawShape(area, true, false, &b, nullptr, mix);
  }

  // -- Objects
  void SelectObject(const Object& o) {
    switch (o.kind) {
      case Object::Kind::Pen: dc_.pen = o.pen; break;
      case Object::Kind::Brush: dc_.brush = o.brush; break;
      case Object::Kind::Font: dc_.font = o.font; break;
      case Object::Kind::Palette: dc_.palette = o.palette; break;
      case Object::Kind::Region:
        AddClip({ClipStep::Op::Replace, RegionContours(o.rects, true), false});
        break;
      case Object::Kind::Empty: break;
    }
  }
  // WMF objects go into the first free slot of the table.
  void AddWmfObject(Object o) {
    for (Object& slot : objects_) {
      if (slot.kind == Object::Kind::Empty) {
        slot = std::move(o);
        return;
      }
    }
  }
  Object* EmfObject(uint32_t index) {
    if (index == 0 || index >= kMaxMetafileObjects) return nullptr;
    if (index >= objects_.size()) objects_.resize(index + 1);
    return &objects_[index];
  }
  void SelectEmf(uint32_t index) {
    if (index & 0x80000000u) {
      if (const auto stock = StockObject(index & 0x7FFFFFFF)) SelectObject(*stock);
    } else if (index < objects_.size()) {
      SelectObject(objects_[index]);
    }
  }
  Colour Ref(uint32_t c) const {
    if ((c >> 24) == 1) {
      const uint32_t i = c & 0xFFFF;
      if (i < dc_.palette.size()) return {dc_.palette[i].red, dc_.palette[i].green, dc_.palette[i].blue};
      return kBlack;
    }
    return ColourRef(c);
  }

  void SaveDc() {
    if (saved_.size() < kMostSavedStates) saved_.push_back(dc_);
  }
  void RestoreDc(int32_t which) {
    int64_t index = which < 0 ? static_cast<int64_t>(saved_.size()) + which : int64_t{which} - 1;
    if (index < 0 || index >= static_cast<int64_t>(saved_.size())) return;
    const bool inPath = inPath_;
    dc_ = std::move(saved_[static_cast<std::size_t>(index)]);
    saved_.resize(static_cast<std::size_t>(index));
    inPath_ = inPath;
    UpdateClip();
  }
  void SetExtents(bool window, double x, double y) {
    if (dc_.mapMode != 7 && dc_.mapMode != 8) return;
    if (x == 0 || y == 0) return;
    (window ? dc_.windowExt : dc_.viewportExt) = {x, y};
  }

  void ReadFont(Object& o, ByteReader& r, bool wide);

  Surface& surface_;
  Xform outer_;
  double dpiX_, dpiY_;
  Dc dc_;
  std::vector<Dc> saved_;
  std::vector<Object> objects_;
  bool inPath_ = false;
  bool figureOpen_ = false;
  std::vector<Contour> path_;
  std::size_t pathPoints_ = 0;
};

void Player::ReadFont(Object& o, ByteReader& r, bool wide) {
  o.kind = Object::Kind::Font;
  Font& f = o.font;
  if (wide) {
    f.height = r.I32le(), f.width = r.I32le(), f.escapement = r.I32le();
    r.Skip(4);
    f.weight = r.I32le();
  } else {
    f.height = r.I16le(), f.width = r.I16le(), f.escapement = r.I16le();
    r.Skip(2);
    f.weight = r.I16le();
  }
  f.italic = r.U8() != 0;
  f.underline = r.U8() != 0;
  f.strikeOut = r.U8() != 0;
  f.charset = r.U8();
  r.Skip(4);
  std::u16string face;
  for (int i = 0; i < 32; ++i) {
    const char16_t c = wide ? r.U16le() : r.U8();
    if (c == 0 || r.Truncated()) break;
    face.push_back(c);
  }
  f.face = Utf8(face);
}

void Player::Text(PointF reference, const std::u16string& text, uint32_t options,
                  const std::optional<std::array<double, 4>>& rect, std::vector<double> dx, bool dxDevice) {
  if (inPath_) return;
  const Xform x = Total();
  const Font& lf = dc_.font;
  TextFont font;
  font.face = lf.face;
  font.height = lf.height == 0 ? 16 : std::abs(lf.height) * x.YScale();
  font.cellHeight = lf.height > 0;
  font.weight = lf.weight == 0 ? 400 : lf.weight;
  font.italic = lf.italic;
  font.underline = lf.underline;
  font.strikeOut = lf.strikeOut;
  font.width = std::abs(lf.width) * x.XScale();
  if (!std::isfinite(font.height) || font.height < 0.5 || font.height > 20000) return;
  if (!std::isfinite(font.width) || font.width > 20000) font.width = 0;

  const bool update = (dc_.align & 1) != 0;
  if (update) reference = dc_.position;
  if (rect && (options & 2)) {  // ETO_OPAQUE
    ShapeBrush bg;
    bg.colour = dc_.background;
    const auto& r = *rect;
    surface_.DrawShape(std::vector<Contour>{DevAll(RectContour(r[0], r[1], r[2], r[3]))}, true, false, &bg, nullptr,
                       Mix::CopyPen);
  }
  if (text.empty()) return;
  const TextExtent extent = surface_.MeasureRun(text, font);
  std::vector<double> advances;
  double width = extent.width;
  if (!dx.empty()) {
    width = 0;
    for (double& d : dx) {
      d = dxDevice ? d : d * x.XScale();
      width += d;
    }
    advances = std::move(dx);
    advances.resize(text.size(), 0);
  } else if (dc_.charExtra != 0) {
    width += dc_.charExtra * x.XScale() * static_cast<double>(text.size());
  }
  // The escapement turns counter-clockwise in the logical space; a mapping that flips an axis (a
  // chart drawn with y running up) turns it the other way on the device.
  const double a = lf.escapement / 10.0 * kPi / 180;
  PointF u{std::cos(a) * x.m11 - std::sin(a) * x.m21, std::cos(a) * x.m12 - std::sin(a) * x.m22};
  const double length = std::hypot(u.x, u.y);
  u = length > 0 && std::isfinite(length) ? PointF{u.x / length, u.y / length} : PointF{std::cos(a), -std::sin(a)};
  const PointF v{-u.y, u.x};
  const double angle = std::atan2(-u.y, u.x) * 180 / kPi;
  const PointF at = x.Apply(reference);
  const unsigned horizontal = dc_.align & 6, vertical = dc_.align & 24;
  const double along = horizontal == 2 ? width : horizontal == 6 ? width / 2 : 0;
  const double down = vertical == 0 ? extent.ascent : vertical == 8 ? -extent.descent : 0;
  const PointF origin{at.x - u.x * along + v.x * down, at.y - u.y * along + v.y * down};
  if (dc_.bkMode == 2) {
    const PointF top{origin.x - v.x * extent.ascent, origin.y - v.y * extent.ascent};
    const PointF bottom{origin.x + v.x * extent.descent, origin.y + v.y * extent.descent};
    ShapeBrush bg;
    bg.colour = dc_.background;
    const std::vector<Contour> box{{top, {top.x + u.x * width, top.y + u.y * width},
                                    {bottom.x + u.x * width, bottom.y + u.y * width}, bottom}};
    surface_.DrawShape(box, true, false, &bg, nullptr, Mix::CopyPen);
  }
  const bool clipped = rect && (options & 4);  // ETO_CLIPPED
  if (clipped) {
    auto steps = dc_.clip;
    const auto& r = *rect;
    steps.push_back({ClipStep::Op::Intersect, {DevAll(RectContour(r[0], r[1], r[2], r[3]))}, false});
    surface_.SetClip(steps);
  }
  surface_.DrawRun(text, font, origin, angle, dc_.text, advances);
  if (clipped) UpdateClip();
  if (update) {
    const Xform inverse = Inverse(x);
    dc_.position = inverse.Apply({at.x + u.x * width, at.y + u.y * width});
  }
}

// ---- Windows metafile records

std::vector<PointF> ReadPoints16(ByteReader& r, std::size_t count) {
  count = std::min(count, r.Remaining() / 4);
  Contour out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double x = r.I16le();
    const double y = r.I16le();
    out.push_back({x, y});
  }
  return out;
}

std::vector<PointF> ReadPoints32(ByteReader& r, std::size_t count) {
  count = std::min(count, r.Remaining() / 8);
  Contour out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double x = r.I32le();
    const double y = r.I32le();
    out.push_back({x, y});
  }
  return out;
}

// A WMF region (REGION16): its scans of x ranges, as rectangles.
std::vector<std::array<double, 4>> ReadRegion16(ByteReader r) {
  r.Skip(10);
  const int scans = r.I16le();
  r.Skip(10);
  std::vector<std::array<double, 4>> rects;
  for (int s = 0; s < scans && !r.Truncated(); ++s) {
    const int count = r.U16le();
    const double top = r.I16le(), bottom = r.I16le();
    for (int i = 0; i + 1 < count && !r.Truncated(); i += 2) {
      const double left = r.I16le(), right = r.I16le();
      rects.push_back({left, top, right, bottom});
    }
    if (count % 2) r.Skip(2);
    r.Skip(2);
  }
  return rects;
}

void Player::PlayWmf(uint32_t function, ByteReader r) {
  const auto i16 = [&r] { return static_cast<double>(r.I16le()); };
  switch (function) {
    case 0x001E: SaveDc(); break;
    case 0x0127: RestoreDc(r.I16le()); break;
    case 0x0102: dc_.bkMode = r.U16le(); break;
    case 0x0103: dc_.mapMode = r.U16le(); break;
    case 0x0104: dc_.rop2 = r.U16le(); break;
    case 0x0106: dc_.fillMode = r.U16le(); break;
    case 0x0108: dc_.charExtra = r.I16le(); break;
    case 0x012E: dc_.align = r.U16le(); break;
    case 0x0201: dc_.background = Ref(r.U32le()); break;
    case 0x0209: dc_.text = Ref(r.U32le()); break;
    case 0x020B: { const double y = i16(); dc_.windowOrg = {i16(), y}; break; }
    case 0x020C: { const double y = i16(); SetExtents(true, i16(), y); break; }
    case 0x020D: { const double y = i16(); dc_.viewportOrg = {i16(), y}; break; }
    case 0x020E: { const double y = i16(); SetExtents(false, i16(), y); break; }
    case 0x020F: { const double y = i16(); dc_.windowOrg.x += i16(); dc_.windowOrg.y += y; break; }
    case 0x0211: { const double y = i16(); dc_.viewportOrg.x += i16(); dc_.viewportOrg.y += y; break; }
    case 0x0410: case 0x0412: {  // SCALEWINDOWEXT, SCALEVIEWPORTEXT
      const double yDenom = i16(), yNum = i16(), xDenom = i16(), xNum = i16();
      if (xDenom == 0 || yDenom == 0) break;
      PointF& e = function == 0x0410 ? dc_.windowExt : dc_.viewportExt;
      SetExtents(function == 0x0410, e.x * xNum / xDenom, e.y * yNum / yDenom);
      break;
    }
    case 0x0214: { const double y = i16(); MoveTo({i16(), y}); break; }
    case 0x0213: { const double y = i16(); LinesTo({{i16(), y}}); break; }
    case 0x0324: case 0x0325: {  // POLYGON, POLYLINE
      const Contour points = ReadPoints16(r, r.U16le());
      if (function == 0x0324) Polygon(points); else Polyline(points);
      break;
    }
    case 0x0538: {  // POLYPOLYGON
      const std::size_t n = r.U16le();
      std::vector<std::size_t> counts;
      for (std::size_t i = 0; i < n && !r.Truncated(); ++i) counts.push_back(r.U16le());
      std::vector<Contour> polys;
      for (std::size_t c : counts) polys.push_back(ReadPoints16(r, c));
      PolyPolygon(polys);
      break;
    }
    case 0x041B: case 0x0418: {  // RECTANGLE, ELLIPSE
      const double b = i16(), rr = i16(), t = i16(), l = i16();
      if (function == 0x041B) Rectangle(l, t, rr, b); else Ellipse(l, t, rr, b);
      break;
    }
    case 0x061C: {  // ROUNDRECT
      const double h = i16(), w = i16(), b = i16(), rr = i16(), t = i16(), l = i16();
      RoundRect(l, t, rr, b, w, h);
      break;
    }
    case 0x0817: case 0x081A: case 0x0830: {  // ARC, PIE, CHORD
      const double ye = i16(), xe = i16(), ys = i16(), xs = i16(), b = i16(), rr = i16(), t = i16(), l = i16();
      Arc(function == 0x0817 ? ArcKind::Arc : function == 0x081A ? ArcKind::Pie : ArcKind::Chord, l, t, rr, b,
          {xs, ys}, {xe, ye});
      break;
    }
    case 0x041F: {  // SETPIXEL
      const Colour c = Ref(r.U32le());
      const double y = i16(), x = i16();
      const PointF p = Dev({x, y});
      ShapeBrush b;
      b.colour = c;
      surface_.DrawShape(std::vector<Contour>{RectContour(p.x, p.y, p.x + 1, p.y + 1)}, true, false, &b, nullptr,
                         Mix::CopyPen);
      break;
    }
    case 0x0415: case 0x0416: {  // EXCLUDECLIPRECT, INTERSECTCLIPRECT
      const double b = i16(), rr = i16(), t = i16(), l = i16();
      ClipRect(l, t, rr, b, function == 0x0415 ? ClipStep::Op::Exclude : ClipStep::Op::Intersect);
      break;
    }
    case 0x0220: {  // OFFSETCLIPRGN
      const double y = i16(), x = i16();
      OffsetClip(x, y);
      break;
    }
    case 0x012C: {  // SELECTCLIPREGION
      const uint16_t index = r.U16le();
      if (index < objects_.size() && objects_[index].kind == Object::Kind::Region) {
        SelectObject(objects_[index]);
      } else {
        dc_.clip.clear();
        UpdateClip();
      }
      break;
    }
    case 0x0228: case 0x012B: case 0x012A: case 0x0429: {  // FILLREGION, PAINTREGION, INVERTREGION, FRAMEREGION
      const uint16_t region = r.U16le();
      const uint16_t brush = function == 0x0228 || function == 0x0429 ? r.U16le() : 0;
      if (region >= objects_.size() || objects_[region].kind != Object::Kind::Region) break;
      const auto contours = RegionContours(objects_[region].rects, true);
      if (function == 0x012A) {
        FillRegion(contours, Brush{}, Mix::Not);
      } else if (function == 0x012B) {
        FillRegion(contours, dc_.brush, MixOf(dc_.rop2));
      } else if (brush < objects_.size() && objects_[brush].kind == Object::Kind::Brush) {
        if (function == 0x0228) {
          FillRegion(contours, objects_[brush].brush, Mix::CopyPen);
        } else {
          ShapePen pen;
          pen.colour = objects_[brush].brush.colour;
          surface_.DrawShape(contours, true, false, nullptr, &pen, Mix::CopyPen);
        }
      }
      break;
    }
    case 0x0521: {  // TEXTOUT
      const std::size_t count = std::max<int16_t>(r.I16le(), 0);
      const auto bytes = r.Bytes(count);
      r.Skip(count % 2);
      const double y = i16(), x = i16();
      Text({x, y}, Latin1(bytes), 0, std::nullopt, {});
      break;
    }
    case 0x0A32: {  // EXTTEXTOUT
      const double y = i16(), x = i16();
      const std::size_t count = std::max<int16_t>(r.I16le(), 0);
      const uint16_t options = r.U16le();
      std::optional<std::array<double, 4>> rect;
      if (options & 6) {
        const double l = i16(), t = i16(), rr = i16(), b = i16();
        rect = std::array<double, 4>{l, t, rr, b};
      }
      const auto bytes = r.Bytes(count);
      r.Skip(count % 2);
      std::vector<double> dx;
      if (r.Remaining() >= 2 * count) {
        for (std::size_t i = 0; i < count; ++i) dx.push_back(r.I16le());
      }
      Text({x, y}, Latin1(bytes), options, rect, std::move(dx));
      break;
    }
    case 0x012D: {  // SELECTOBJECT
      const uint16_t index = r.U16le();
      if (index < objects_.size()) SelectObject(objects_[index]);
      break;
    }
    case 0x0234: {  // SELECTPALETTE
      const uint16_t index = r.U16le();
      if (index < objects_.size() && objects_[index].kind == Object::Kind::Palette) dc_.palette = objects_[index].palette;
      break;
    }
    case 0x01F0: {  // DELETEOBJECT
      const uint16_t index = r.U16le();
      if (index < objects_.size()) objects_[index] = Object{};
      break;
    }
    case 0x02FA: {  // CREATEPENINDIRECT
      Object o;
      o.kind = Object::Kind::Pen;
      const uint16_t style = r.U16le();
      o.pen.style = style & 0xF;
      o.pen.cap = (style >> 8) & 0xF;
      o.pen.join = (style >> 12) & 0xF;
      o.pen.width = std::abs(r.I16le());
      r.Skip(2);
      o.pen.colour = Ref(r.U32le());
      o.pen.cosmetic = o.pen.width <= 1;
      AddWmfObject(std::move(o));
      break;
    }
    case 0x02FC: {  // CREATEBRUSHINDIRECT
      Object o;
      o.kind = Object::Kind::Brush;
      o.brush.style = r.U16le();
      o.brush.colour = Ref(r.U32le());
      o.brush.hatch = r.U16le();
      if (o.brush.style == 3 || o.brush.style > 6) o.brush.style = 0;
      AddWmfObject(std::move(o));
      break;
    }
    case 0x0142: {  // DIBCREATEPATTERNBRUSH
      Object o;
      o.kind = Object::Kind::Brush;
      const uint16_t style = r.U16le();
      const uint16_t usage = r.U16le();
      const auto rest = r.Bytes(r.Remaining());
      o.brush.style = 5;
      // A BS_PATTERN brush is written with a DIB in RGB colours by most programs, with a
      // BITMAP16 by a few: the header's length tells them apart.
      const uint32_t headerSize = rest.size() >= 4 ? rest[0] | rest[1] << 8 | rest[2] << 16 | uint32_t{rest[3]} << 24 : 0;
      const bool dibHeader = headerSize == 12 || headerSize == 40 || headerSize == 108 || headerSize == 124;
      PackedDib dib = style == 3 && !dibHeader ? DecodeBitmap16(ByteReader(rest))
                                               : DecodePackedDib(rest, style != 3 && usage == 1, dc_.palette);
      if (dib) o.brush.pattern = std::make_shared<PackedDib>(std::move(dib));
      AddWmfObject(std::move(o));
      break;
    }
    case 0x02FB: {  // CREATEFONTINDIRECT
      Object o;
      ReadFont(o, r, false);
      AddWmfObject(std::move(o));
      break;
    }
    case 0x00F7: {  // CREATEPALETTE
      Object o;
      o.kind = Object::Kind::Palette;
      r.Skip(2);
      const std::size_t n = std::min<std::size_t>(r.U16le(), r.Remaining() / 4);
      for (std::size_t i = 0; i < n; ++i) {
        MetafilePaletteEntry e;
        e.flags = r.U8(), e.red = r.U8(), e.green = r.U8(), e.blue = r.U8();
        o.palette.push_back(e);
      }
      AddWmfObject(std::move(o));
      break;
    }
    case 0x06FF: {  // CREATEREGION
      Object o;
      o.kind = Object::Kind::Region;
      o.rects = ReadRegion16(r);
      AddWmfObject(std::move(o));
      break;
    }
    case 0x01F9: {  // CREATEPATTERNBRUSH: a BITMAP16 header, 18 bytes of a pointer, the bits
      Object o;
      o.kind = Object::Kind::Brush;
      o.brush.style = 5;
      const auto rest = r.Bytes(r.Remaining());
      if (rest.size() > 28) {
        std::vector<uint8_t> bitmap(rest.begin(), rest.begin() + 10);
        bitmap.insert(bitmap.end(), rest.begin() + 28, rest.end());
        PackedDib dib = DecodeBitmap16(ByteReader(bitmap));
        if (dib) o.brush.pattern = std::make_shared<PackedDib>(std::move(dib));
      }
      AddWmfObject(std::move(o));
      break;
    }
    case 0x061D: {  // PATBLT
      const uint32_t rop = r.U32le();
      const double h = i16(), w = i16(), y = i16(), x = i16();
      Blit(nullptr, {}, x, y, w, h, rop);
      break;
    }
    case 0x0F43: {  // STRETCHDIB
      const uint32_t rop = r.U32le();
      const uint16_t usage = r.U16le();
      const int sh = r.I16le(), sw = r.I16le(), sy = r.I16le(), sx = r.I16le();
      const double dh = i16(), dw = i16(), dy = i16(), dxp = i16();
      const auto rest = r.Bytes(r.Remaining());
      const PackedDib dib = DecodePackedDib(rest, usage == 1, dc_.palette);
      Blit(&dib, {sx, FromTop(rest, dib, sy, sh), sw, sh}, dxp, dy, dw, dh, rop);
      break;
    }
    case 0x0B41: case 0x0940: case 0x0B23: case 0x0922: {  // DIBSTRETCHBLT, DIBBITBLT, STRETCHBLT, BITBLT
      const bool stretch = function == 0x0B41 || function == 0x0B23;
      const bool withBitmap = r.Size() > (stretch ? 22u : 18u);
      const uint32_t rop = r.U32le();
      int sh = 0, sw = 0;
      if (stretch) sh = r.I16le(), sw = r.I16le();
      const int sy = r.I16le(), sx = r.I16le();
      if (!withBitmap) r.Skip(2);
      const double dh = i16(), dw = i16(), dy = i16(), dxp = i16();
      if (!stretch) sh = static_cast<int>(dh), sw = static_cast<int>(dw);
      PackedDib dib;
      if (withBitmap) {
        const auto rest = r.Bytes(r.Remaining());
        dib = function == 0x0B23 || function == 0x0922 ? DecodeBitmap16(ByteReader(rest))
                                                         : DecodePackedDib(rest, false, {});
      }
      Blit(withBitmap ? &dib : nullptr, {sx, sy, sw, sh}, dxp, dy, dw, dh, rop);
      break;
    }
    default: break;  // escapes, palettes' animation, flood fills and the rest draw nothing here
  }
}

// ---- Enhanced metafile records

// A region's data (RGNDATA): its rectangles.
std::vector<std::array<double, 4>> ReadRegionData(ByteReader r) {
  r.Skip(8);
  const std::size_t count = std::min<std::size_t>(r.U32le(), r.Remaining() / 16);
  r.Skip(20);
  std::vector<std::array<double, 4>> rects;
  for (std::size_t i = 0; i < count && !r.Truncated(); ++i) {
    const double l = r.I32le(), t = r.I32le(), rr = r.I32le(), b = r.I32le();
    rects.push_back({l, t, rr, b});
  }
  return rects;
}

// The part of a record at an offset it gives, of the length it gives; empty when outside.
std::span<const uint8_t> Part(std::span<const uint8_t> record, uint32_t offset, uint32_t size) {
  if (offset > record.size() || size > record.size() - offset) return {};
  return record.subspan(offset, size);
}

bool Player::PlayEmf(uint32_t type, ByteReader r, std::span<const uint8_t> record) {
  const auto i32 = [&r] { return static_cast<double>(r.I32le()); };
  const auto f32 = [&r] {
    const uint32_t bits = r.U32le();
    float f;
    std::memcpy(&f, &bits, 4);
    return std::isfinite(f) ? static_cast<double>(f) : 0.0;
  };
  const auto readXform = [&] {
    Xform x;
    x.m11 = f32(), x.m12 = f32(), x.m21 = f32(), x.m22 = f32(), x.dx = f32(), x.dy = f32();
    return x;
  };
  switch (type) {
    case 14: return false;  // EOF
    case 2: case 3: case 4: case 5: case 6:           // POLYBEZIER ... POLYLINETO
    case 85: case 86: case 87: case 88: case 89: {    // and their 16-bit forms
      r.Skip(16);
      const std::size_t count = r.U32le();
      const Contour points = type >= 85 ? ReadPoints16(r, count) : ReadPoints32(r, count);
      switch (type >= 85 ? type - 83 : type) {
        case 2: Beziers(points, false); break;
        case 3: Polygon(points); break;
        case 4: Polyline(points); break;
        case 5: Beziers(points, true); break;
        default: LinesTo(points); break;
      }
      break;
    }
    case 7: case 8: case 90: case 91: {  // POLYPOLYLINE, POLYPOLYGON (32 and 16 bits)
      r.Skip(16);
      const std::size_t n = std::min<std::size_t>(r.U32le(), r.Remaining() / 4);
      r.Skip(4);
      std::vector<std::size_t> counts;
      for (std::size_t i = 0; i < n; ++i) counts.push_back(r.U32le());
      std::vector<Contour> polys;
      for (std::size_t c : counts) polys.push_back(type >= 90 ? ReadPoints16(r, c) : ReadPoints32(r, c));
      if (type == 8 || type == 91) {
        PolyPolygon(polys);
      } else {
        for (const Contour& p : polys) Polyline(p);
      }
      break;
    }
    case 9: { const double x = i32(); SetExtents(true, x, i32()); break; }
    case 10: { const double x = i32(); dc_.windowOrg = {x, i32()}; break; }
    case 11: { const double x = i32(); SetExtents(false, x, i32()); break; }
    case 12: { const double x = i32(); dc_.viewportOrg = {x, i32()}; break; }
    case 17: dc_.mapMode = static_cast<int>(r.U32le()); break;
    case 18: dc_.bkMode = static_cast<int>(r.U32le()); break;
    case 19: dc_.fillMode = static_cast<int>(r.U32le()); break;
    case 20: dc_.rop2 = static_cast<int>(r.U32le()); break;
    case 22: dc_.align = r.U32le(); break;
    case 24: dc_.text = Ref(r.U32le()); break;
    case 25: dc_.background = Ref(r.U32le()); break;
    case 26: {  // OFFSETCLIPRGN, in logical units
      const double x = i32(), y = i32();
      OffsetClip(x, y);
      break;
    }
    case 27: { const double x = i32(); MoveTo({x, i32()}); break; }
    case 54: { const double x = i32(); LinesTo({{x, i32()}}); break; }
    case 29: case 30: {  // EXCLUDECLIPRECT, INTERSECTCLIPRECT
      const double l = i32(), t = i32(), rr = i32(), b = i32();
      ClipRect(l, t, rr, b, type == 29 ? ClipStep::Op::Exclude : ClipStep::Op::Intersect);
      break;
    }
    case 31: case 32: {  // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX
      const double xNum = i32(), xDenom = i32(), yNum = i32(), yDenom = i32();
      if (xDenom == 0 || yDenom == 0) break;
      PointF& e = type == 32 ? dc_.windowExt : dc_.viewportExt;
      SetExtents(type == 32, e.x * xNum / xDenom, e.y * yNum / yDenom);
      break;
    }
    case 33: SaveDc(); break;
    case 34: RestoreDc(r.I32le()); break;
    case 35: dc_.world = readXform(); break;
    case 36: {  // MODIFYWORLDTRANSFORM
      const Xform x = readXform();
      switch (r.U32le()) {
        case 1: dc_.world = {}; break;
        case 2: dc_.world = Then(x, dc_.world); break;
        case 3: dc_.world = Then(dc_.world, x); break;
        case 4: dc_.world = x; break;
        default: break;
      }
      break;
    }
    case 37: SelectEmf(r.U32le()); break;
    case 40: {
      const uint32_t index = r.U32le();
      if (index != 0 && index < objects_.size()) objects_[index] = Object{};
      break;
    }
    case 38: {  // CREATEPEN
      Object* o = EmfObject(r.U32le());
      if (!o) break;
      *o = Made(Object::Kind::Pen);
      const uint32_t style = r.U32le();
      o->pen.style = style & 0xF;
      o->pen.cap = (style >> 8) & 0xF;
      o->pen.join = (style >> 12) & 0xF;
      o->pen.width = std::abs(i32());
      r.Skip(4);
      o->pen.colour = Ref(r.U32le());
      o->pen.cosmetic = o->pen.width <= 1;
      break;
    }
    case 95: {  // EXTCREATEPEN
      Object* o = EmfObject(r.U32le());
      if (!o) break;
      *o = Made(Object::Kind::Pen);
      r.Skip(16);
      const uint32_t style = r.U32le();
      o->pen.style = style & 0xF;
      if (o->pen.style > 6) o->pen.style = 2;  // user styles and alternate dots
      o->pen.cap = (style >> 8) & 0xF;
      o->pen.join = (style >> 12) & 0xF;
      o->pen.width = r.U32le();
      o->pen.cosmetic = (style & 0xF0000) == 0;
      const uint32_t brushStyle = r.U32le();
      o->pen.colour = Ref(r.U32le());
      if (brushStyle == 1) o->pen.style = 5;
      break;
    }
    case 39: {  // CREATEBRUSHINDIRECT
      Object* o = EmfObject(r.U32le());
      if (!o) break;
      *o = Made(Object::Kind::Brush);
      o->brush.style = static_cast<int>(r.U32le());
      o->brush.colour = Ref(r.U32le());
      o->brush.hatch = static_cast<int>(r.U32le());
      if (o->brush.style > 6 || o->brush.style == 3) o->brush.style = 0;
      break;
    }
    case 93: case 94: {  // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT
      Object* o = EmfObject(r.U32le());
      if (!o) break;
      *o = Made(Object::Kind::Brush);
      const uint32_t usage = r.U32le();
      const uint32_t offBmi = r.U32le(), cbBmi = r.U32le(), offBits = r.U32le(), cbBits = r.U32le();
      o->brush.style = 5;
      PackedDib dib = DecodeDib(Part(record, offBmi, cbBmi), Part(record, offBits, cbBits), usage == 1, dc_.palette);
      if (dib) o->brush.pattern = std::make_shared<PackedDib>(std::move(dib));
      break;
    }
    case 82: {  // EXTCREATEFONTINDIRECTW
      Object* o = EmfObject(r.U32le());
      if (o) ReadFont(*o, r, true);
      break;
    }
    case 49: {  // CREATEPALETTE
      Object* o = EmfObject(r.U32le());
      if (!o) break;
      *o = Made(Object::Kind::Palette);
      r.Skip(2);
      const std::size_t n = std::min<std::size_t>(r.U16le(), r.Remaining() / 4);
      for (std::size_t i = 0; i < n; ++i) {
        MetafilePaletteEntry e;
        e.red = r.U8(), e.green = r.U8(), e.blue = r.U8(), e.flags = r.U8();
        o->palette.push_back(e);
      }
      break;
    }
    case 48: {  // SELECTPALETTE
      const uint32_t index = r.U32le();
      if (index < objects_.size() && objects_[index].kind == Object::Kind::Palette) dc_.palette = objects_[index].palette;
      break;
    }
    case 42: case 43: {  // ELLIPSE, RECTANGLE
      const double l = i32(), t = i32(), rr = i32(), b = i32();
      if (type == 43) Rectangle(l, t, rr, b); else Ellipse(l, t, rr, b);
      break;
    }
    case 44: {  // ROUNDRECT
      const double l = i32(), t = i32(), rr = i32(), b = i32(), w = i32(), h = i32();
      RoundRect(l, t, rr, b, w, h);
      break;
    }
    case 45: case 46: case 47: case 55: {  // ARC, CHORD, PIE, ARCTO
      const double l = i32(), t = i32(), rr = i32(), b = i32();
      const double xs = i32(), ys = i32(), xe = i32(), ye = i32();
      const ArcKind kind = type == 45 ? ArcKind::Arc : type == 46 ? ArcKind::Chord : type == 47 ? ArcKind::Pie : ArcKind::ArcTo;
      Arc(kind, l, t, rr, b, {xs, ys}, {xe, ye});
      break;
    }
    case 41: {  // ANGLEARC
      const double x = i32(), y = i32(), radius = r.U32le();
      const double start = f32() * kPi / 180, sweep = f32() * kPi / 180;
      Contour points;
      AddArc(points, x, y, radius, radius, start, std::clamp(sweep, -8 * kPi, 8 * kPi));
      LinesTo(points);
      break;
    }
    case 57: dc_.arcDirection = static_cast<int>(r.U32le()); break;
    case 58: dc_.miterLimit = std::clamp<double>(r.U32le(), 1, 100); break;
    case 59: inPath_ = true, figureOpen_ = false, path_.clear(), pathPoints_ = 0; break;
    case 60: inPath_ = false; break;
    case 68: inPath_ = false, path_.clear(), pathPoints_ = 0; break;
    case 61:  // CLOSEFIGURE
      if (figureOpen_ && !path_.empty() && !path_.back().empty()) path_.back().push_back(path_.back().front());
      figureOpen_ = false;
      break;
    case 62: case 63: case 64: {  // FILLPATH, STROKEANDFILLPATH, STROKEPATH
      auto figures = std::move(path_);
      path_.clear();
      pathPoints_ = 0;
      Shape(std::move(figures), false, type != 64, type != 62);
      break;
    }
    case 67: {  // SELECTCLIPPATH
      AddClip({RegionOp(r.U32le()), std::move(path_), dc_.fillMode == 2});
      path_.clear();
      pathPoints_ = 0;
      break;
    }
    case 75: {  // EXTSELECTCLIPRGN
      const uint32_t size = r.U32le();
      const uint32_t mode = r.U32le();
      if (size == 0 && mode == 5) {
        dc_.clip.clear();
        UpdateClip();
      } else {
        AddClip({RegionOp(mode), RegionContours(ReadRegionData(r.Sub(size)), false), false});
      }
      break;
    }
    case 71: case 73: case 74: {  // FILLRGN, INVERTRGN, PAINTRGN
      r.Skip(16);
      const uint32_t size = r.U32le();
      const uint32_t brush = type == 71 ? r.U32le() : 0;
      const auto contours = RegionContours(ReadRegionData(r.Sub(size)), false);
      if (type == 73) {
        FillRegion(contours, Brush{}, Mix::Not);
      } else if (type == 74) {
        FillRegion(contours, dc_.brush, MixOf(dc_.rop2));
      } else if (brush & 0x80000000u) {
        if (const auto stock = StockObject(brush & 0x7FFFFFFF)) FillRegion(contours, stock->brush, Mix::CopyPen);
      } else if (brush < objects_.size()) {
        FillRegion(contours, objects_[brush].brush, Mix::CopyPen);
      }
      break;
    }
    case 15: {  // SETPIXELV
      const double x = i32(), y = i32();
      const PointF p = Dev({x, y});
      ShapeBrush b;
      b.colour = Ref(r.U32le());
      surface_.DrawShape(std::vector<Contour>{RectContour(p.x, p.y, p.x + 1, p.y + 1)}, true, false, &b, nullptr,
                         Mix::CopyPen);
      break;
    }
    case 83: case 84: {  // EXTTEXTOUTA, EXTTEXTOUTW
      r.Skip(16 + 4 + 8);
      const double x = i32(), y = i32();
      const uint32_t count = r.U32le();
      const uint32_t offString = r.U32le();
      const uint32_t options = r.U32le();
      const double l = i32(), t = i32(), rr = i32(), b = i32();
      const uint32_t offDx = r.U32le();
      const std::size_t chars = std::min<std::size_t>(count, record.size());
      const auto bytes = Part(record, offString, static_cast<uint32_t>(chars * (type == 84 ? 2 : 1)));
      std::u16string text;
      if (type == 84) {
        ByteReader s(bytes);
        for (std::size_t i = 0; i < bytes.size() / 2; ++i) text.push_back(s.U16le());
      } else {
        text = Latin1(bytes);
      }
      std::vector<double> dx;
      const uint32_t dxStride = (options & 0x2000) ? 8 : 4;  // ETO_PDY: x and y advances
      const auto dxBytes = Part(record, offDx, static_cast<uint32_t>(text.size() * dxStride));
      if (!dxBytes.empty() && offDx != 0) {
        ByteReader d(dxBytes);
        for (std::size_t i = 0; i < text.size(); ++i) {
          dx.push_back(d.I32le());
          if (dxStride == 8) d.Skip(4);
        }
      }
      std::optional<std::array<double, 4>> rect;
      if (l < rr && t < b) rect = std::array<double, 4>{l, t, rr, b};
      Text({x, y}, text, options, rect, std::move(dx));
      break;
    }
    case 81: {  // STRETCHDIBITS
      r.Skip(16);
      const double x = i32(), y = i32();
      const int sx = r.I32le(), sy = r.I32le(), sw = r.I32le(), sh = r.I32le();
      const uint32_t offBmi = r.U32le(), cbBmi = r.U32le(), offBits = r.U32le(), cbBits = r.U32le();
      const uint32_t usage = r.U32le(), rop = r.U32le();
      const double w = i32(), h = i32();
      const auto info = Part(record, offBmi, cbBmi);
      const PackedDib dib = DecodeDib(info, Part(record, offBits, cbBits), usage == 1, dc_.palette);
      Blit(cbBmi != 0 ? &dib : nullptr, {sx, FromTop(info, dib, sy, sh), sw, sh}, x, y, w, h, rop);
      break;
    }
    case 80: {  // SETDIBITSTODEVICE: drawn unscaled at the destination
      r.Skip(16);
      const double x = i32(), y = i32();
      const int sx = r.I32le(), sy = r.I32le(), sw = r.I32le(), sh = r.I32le();
      const uint32_t offBmi = r.U32le(), cbBmi = r.U32le(), offBits = r.U32le(), cbBits = r.U32le();
      const uint32_t usage = r.U32le();
      const auto info = Part(record, offBmi, cbBmi);
      const PackedDib dib = DecodeDib(info, Part(record, offBits, cbBits), usage == 1, dc_.palette);
      Blit(&dib, {sx, FromTop(info, dib, sy, sh), sw, sh}, x, y, sw, sh, 0xCC0020);
      break;
    }
    case 76: case 77: case 114: case 116: {  // BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT
      r.Skip(16);
      const double x = i32(), y = i32(), w = i32(), h = i32();
      uint32_t rop = r.U32le();
      const double sx = i32(), sy = i32();
      const Xform source = readXform();
      r.Skip(4);
      const uint32_t usage = r.U32le();
      const uint32_t offBmi = r.U32le(), cbBmi = r.U32le(), offBits = r.U32le(), cbBits = r.U32le();
      double sw = w, sh = h;
      if (type != 76) sw = i32(), sh = i32();
      if (type == 114 || type == 116) rop = 0xCC0020;  // blended or keyed copies drawn as plain copies
      const PackedDib dib =
          cbBmi != 0 ? DecodeDib(Part(record, offBmi, cbBmi), Part(record, offBits, cbBits), usage == 1, dc_.palette)
                     : PackedDib{};
      const PointF at = source.Apply({sx, sy});
      const auto whole = [](double v) { return static_cast<int>(std::clamp(std::round(v), -1e9, 1e9)); };
      const Rect from{whole(at.x), whole(at.y), whole(sw * (source.m11 != 0 ? source.m11 : 1)),
                      whole(sh * (source.m22 != 0 ? source.m22 : 1))};
      Blit(cbBmi != 0 ? &dib : nullptr, from, x, y, w, h, rop);
      break;
    }
    case 118: {  // GRADIENTFILL: each rectangle or triangle in the mean of its corners' colours
      r.Skip(16);
      const std::size_t vertices = std::min<std::size_t>(r.U32le(), r.Remaining() / 16);
      const std::size_t shapes = r.U32le();
      const uint32_t mode = r.U32le();
      struct Vertex { PointF p; double red, green, blue; };
      std::vector<Vertex> vs;
      for (std::size_t i = 0; i < vertices; ++i) {
        Vertex v;
        v.p.x = i32(), v.p.y = i32();
        v.red = r.U16le() / 256.0, v.green = r.U16le() / 256.0, v.blue = r.U16le() / 256.0;
        r.Skip(2);
        vs.push_back(v);
      }
      const std::size_t corners = mode == 2 ? 3 : 2;
      for (std::size_t s = 0; s < shapes && r.Remaining() >= 4 * corners; ++s) {
        std::vector<const Vertex*> at;
        for (std::size_t c = 0; c < corners; ++c) {
          const uint32_t index = r.U32le();
          if (index < vs.size()) at.push_back(&vs[index]);
        }
        if (at.size() != corners) continue;
        double red = 0, green = 0, blue = 0;
        for (const Vertex* v : at) red += v->red, green += v->green, blue += v->blue;
        ShapeBrush b;
        b.colour = {static_cast<uint8_t>(red / corners), static_cast<uint8_t>(green / corners),
                    static_cast<uint8_t>(blue / corners)};
        const Contour shape = corners == 3 ? Contour{at[0]->p, at[1]->p, at[2]->p}
                                           : RectContour(at[0]->p.x, at[0]->p.y, at[1]->p.x, at[1]->p.y);
        surface_.DrawShape(std::vector<Contour>{DevAll(shape)}, true, false, &b, nullptr, Mix::CopyPen);
      }
      break;
    }
    default: break;  // comments (EMF+ among them), OpenGL, colour management and the rest
  }
  return true;
}

double Dpi(int32_t pixels, int32_t millimetres) {
  return pixels > 0 && millimetres > 0 ? pixels * 25.4 / millimetres : 96.0;
}

}  // namespace

void PlayWindowsMetafile(Surface& surface, const MetafileImage& metafile, const WmfStart& start) {
  const Size dpi = surface.DotsPerInch();
  Player player(surface, {}, dpi.width, dpi.height, metafile.objectCount);
  player.StartWindows(start);
  const std::span<const uint8_t> bytes(metafile.bytes);
  for (const MetafileRecord& record : metafile.records) {
    ByteReader r(bytes.subspan(record.offset, record.size));
    r.Skip(6);
    player.PlayWmf(record.type, r.Sub(r.Remaining()));
  }
  player.Finish();
}

int PlayEnhancedMetafile(Surface* surface, const MetafileImage* metafile, MetafileRect rect, std::string* info,
                         MetafileRect* bounds) {
  if (metafile == nullptr) return 1;
  if (!metafile->enhanced) return 0;
  const EnhancedHeader& h = metafile->header;
  if (bounds) *bounds = h.bounds;
  if (info) *info = EnhancedInfoText(h);
  if (surface == nullptr) return 1;
  if (metafile->windowsRecords) {
    // A WMF taken as an enhanced metafile: its window is mapped onto the rectangle.
    WmfStart start;
    start.mapMode = 8;
    start.viewportOrigin = {rect.left, rect.top};
    start.viewportExtent = {rect.right - rect.left + 1, rect.bottom - rect.top + 1};
    PlayWindowsMetafile(*surface, *metafile, start);
    return 1;
  }
  // The picture frame, in the reference device's pixels, onto the rectangle.
  const double dpiX = Dpi(h.deviceWidth, h.millimetresWidth), dpiY = Dpi(h.deviceHeight, h.millimetresHeight);
  double fl = h.frame.left * dpiX / 2540, fr = h.frame.right * dpiX / 2540;
  double ft = h.frame.top * dpiY / 2540, fb = h.frame.bottom * dpiY / 2540;
  if (fr <= fl || fb <= ft) fl = h.bounds.left, fr = h.bounds.right, ft = h.bounds.top, fb = h.bounds.bottom;
  Xform outer;
  outer.m11 = fr > fl ? (static_cast<double>(rect.right) - rect.left) / (fr - fl) : 1;
  outer.m22 = fb > ft ? (static_cast<double>(rect.bottom) - rect.top) / (fb - ft) : 1;
  outer.dx = rect.left - fl * outer.m11;
  outer.dy = rect.top - ft * outer.m22;
  Player player(*surface, outer, dpiX, dpiY, h.handles);
  const std::span<const uint8_t> bytes(metafile->bytes);
  for (const MetafileRecord& record : metafile->records) {
    const auto data = bytes.subspan(record.offset, record.size);
    ByteReader r(data);
    r.Skip(8);
    if (!player.PlayEmf(record.type, r.Sub(r.Remaining()), data)) break;
  }
  player.Finish();
  return 1;
}

}  // namespace ravelle
