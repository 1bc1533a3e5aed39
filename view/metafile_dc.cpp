#include "view/metafile_dc.h"

#include <algorithm>
#include <cstring>

namespace ravelle::playback {
namespace {

constexpr std::size_t kMostSavedStates = 1024;
constexpr std::size_t kMostClipSteps = 1024;
constexpr std::size_t kMostPathPoints = 1'000'000;

bool Finite(const Xform& x) {
  return std::isfinite(x.m11) && std::isfinite(x.m12) && std::isfinite(x.m21) && std::isfinite(x.m22) &&
         std::isfinite(x.dx) && std::isfinite(x.dy);
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

// The 8 x 8 hatches, top row first, bit 7 the left pixel.
constexpr uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

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

}  // namespace

Xform Then(const Xform& a, const Xform& b) {
  return {a.m11 * b.m11 + a.m12 * b.m21, a.m11 * b.m12 + a.m12 * b.m22, a.m21 * b.m11 + a.m22 * b.m21,
          a.m21 * b.m12 + a.m22 * b.m22, a.dx * b.m11 + a.dy * b.m21 + b.dx, a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

PointF Round(PointF p) {
  const auto r = [](double v) { return std::isfinite(v) ? std::clamp(std::round(v), -1e7, 1e7) : 0.0; };
  return {r(p.x), r(p.y)};
}

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

std::u16string Latin1(std::span<const uint8_t> bytes) {
  static constexpr char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::u16string out;
  for (uint8_t b : bytes) out.push_back(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b});
  return out;
}

Contour ReadPoints(ByteReader& r, std::size_t count, bool wide) {
  count = std::min(count, r.Remaining() / (wide ? 8 : 4));
  Contour out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double x = wide ? r.I32le() : r.I16le();
    const double y = wide ? r.I32le() : r.I16le();
    out.push_back({x, y});
  }
  return out;
}

// ---- The player

void Player::StartWindows(const WmfStart& start) {
  dc_.mapMode = start.mapMode;
  dc_.viewportOrg = {static_cast<double>(start.viewportOrigin.x), static_cast<double>(start.viewportOrigin.y)};
  dc_.viewportExt = {static_cast<double>(start.viewportExtent.width),
                     static_cast<double>(start.viewportExtent.height)};
}

Xform Player::Page() const {
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

Xform Player::Total() const {
  Xform t = Then(Then(dc_.world, Page()), outer_);
  return Finite(t) ? t : Xform{0, 0, 0, 0, 0, 0};
}

Contour Player::DevAll(const Contour& logical) const {
  const Xform t = Total();
  Contour out;
  out.reserve(logical.size());
  for (PointF p : logical) out.push_back(Round(t.Apply(p)));
  return out;
}

bool Player::MakePen(ShapePen& out) const {
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

bool Player::MakeBrush(const Brush& b, ShapeBrush& out) const {
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

void Player::Shape(std::vector<Contour> contours, bool closed, bool fill, bool stroke) {
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

void Player::AddToPath(Contour c) {
  if (pathPoints_ + c.size() > kMostPathPoints) return;
  pathPoints_ += c.size();
  path_.push_back(std::move(c));
}

void Player::PolyPolygon(const std::vector<Contour>& polys) {
  std::vector<Contour> device;
  for (const Contour& p : polys) device.push_back(DevAll(p));
  Shape(std::move(device), true, true, true);
}

void Player::Polyline(const Contour& points) {
  if (points.empty()) return;
  Shape({DevAll(points)}, false, false, true);
}

void Player::MoveTo(PointF p) {
  dc_.position = p;
  if (inPath_) figureOpen_ = false;
}

void Player::LinesTo(const Contour& points) {
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

Player::BoxSpace Player::Box(double l, double t, double r, double b) const {
  const Xform x = Total();
  if (!x.AxisAligned()) return {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b), x, false};
  const PointF p = Round(x.Apply({l, t})), q = Round(x.Apply({r, b}));
  BoxSpace s{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y), {}, true};
  if (dc_.pen.style != 5) s.r -= 1, s.b -= 1;
  return s;
}

Contour Player::Out(const BoxSpace& s, Contour c) const {
  for (PointF& p : c) p = Round(s.device ? p : s.after.Apply(p));
  return c;
}

void Player::Rectangle(double l, double t, double r, double b) {
  const BoxSpace s = Box(l, t, r, b);
  Shape({Out(s, RectContour(s.l, s.t, s.r, s.b))}, true, true, true);
}

void Player::Ellipse(double l, double t, double r, double b) {
  const BoxSpace s = Box(l, t, r, b);
  Contour c;
  AddArc(c, (s.l + s.r) / 2, (s.t + s.b) / 2, (s.r - s.l) / 2, (s.b - s.t) / 2, 0, 2 * kPi);
  Shape({Out(s, std::move(c))}, true, true, true);
}

void Player::RoundRect(double l, double t, double r, double b, double w, double h) {
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

void Player::Arc(ArcKind kind, double l, double t, double r, double b, PointF start, PointF end) {
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

Xform Player::Inverse(const Xform& x) {
  const double det = x.m11 * x.m22 - x.m12 * x.m21;
  if (det == 0 || !std::isfinite(det)) return {};
  Xform i{x.m22 / det, -x.m12 / det, -x.m21 / det, x.m11 / det, 0, 0};
  i.dx = -(x.dx * i.m11 + x.dy * i.m21);
  i.dy = -(x.dx * i.m12 + x.dy * i.m22);
  return i;
}

void Player::Beziers(const Contour& points, bool fromCurrent) {
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

void Player::AddClip(ClipStep step) {
  if (step.op == ClipStep::Op::Replace) {
    dc_.clip.clear();
  } else if (dc_.clip.size() >= kMostClipSteps) {
    return;
  }
  dc_.clip.push_back(std::move(step));
  UpdateClip();
}

void Player::OffsetClip(double x, double y) {
  const Xform t = Total();
  const double dx = x * t.m11 + y * t.m21, dy = x * t.m12 + y * t.m22;
  for (ClipStep& s : dc_.clip) {
    for (Contour& c : s.contours) {
      for (PointF& p : c) p = Round({p.x + dx, p.y + dy});
    }
  }
  UpdateClip();
}

void Player::ClipRect(double l, double t, double r, double b, ClipStep::Op op) {
  AddClip({op, {DevAll(RectContour(l, t, r, b))}, false});
}

ClipStep::Op Player::RegionOp(uint32_t mode) {
  switch (mode) {
    case 1: return ClipStep::Op::Intersect;  // RGN_AND
    case 2: case 3: return ClipStep::Op::Union;  // RGN_OR, RGN_XOR
    case 4: return ClipStep::Op::Exclude;   // RGN_DIFF
    default: return ClipStep::Op::Replace;  // RGN_COPY
  }
}

std::vector<Contour> Player::RegionContours(const std::vector<std::array<double, 4>>& rects, bool logical) const {
  std::vector<Contour> out;
  for (const auto& r : rects) {
    Contour c = RectContour(r[0], r[1], r[2], r[3]);
    for (PointF& p : c) p = Round(logical ? Total().Apply(p) : outer_.Apply(p));
    out.push_back(std::move(c));
  }
  return out;
}

void Player::FillRegion(const std::vector<Contour>& contours, const Brush& brush, Mix mix) {
  ShapeBrush b;
  if (contours.empty() || !MakeBrush(brush, b)) return;
  surface_.DrawShape(contours, true, true, &b, nullptr, mix);
}

void Player::Blit(const PackedDib* dib, Rect source, double x, double y, double w, double h, uint32_t rop) {
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

void Player::SelectObject(const Object& o) {
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

void Player::AddWmfObject(Object o) {
  for (Object& slot : objects_) {
    if (slot.kind == Object::Kind::Empty) {
      slot = std::move(o);
      return;
    }
  }
}

Object* Player::EmfObject(uint32_t index) {
  if (index == 0 || index >= kMaxMetafileObjects) return nullptr;
  if (index >= objects_.size()) objects_.resize(index + 1);
  return &objects_[index];
}

void Player::SelectEmf(uint32_t index) {
  if (index & 0x80000000u) {
    if (const auto stock = StockObject(index & 0x7FFFFFFF)) SelectObject(*stock);
  } else if (index < objects_.size()) {
    SelectObject(objects_[index]);
  }
}

Colour Player::Ref(uint32_t c) const {
  if ((c >> 24) == 1) {
    const uint32_t i = c & 0xFFFF;
    if (i < dc_.palette.size()) return {dc_.palette[i].red, dc_.palette[i].green, dc_.palette[i].blue};
    return kBlack;
  }
  return ColourRef(c);
}

void Player::SaveDc() {
  if (saved_.size() < kMostSavedStates) saved_.push_back(dc_);
}

void Player::RestoreDc(int32_t which) {
  int64_t index = which < 0 ? static_cast<int64_t>(saved_.size()) + which : int64_t{which} - 1;
  if (index < 0 || index >= static_cast<int64_t>(saved_.size())) return;
  const bool inPath = inPath_;
  dc_ = std::move(saved_[static_cast<std::size_t>(index)]);
  saved_.resize(static_cast<std::size_t>(index));
  inPath_ = inPath;
  UpdateClip();
}

void Player::SetExtents(bool window, double x, double y) {
  if (dc_.mapMode != 7 && dc_.mapMode != 8) return;
  if (x == 0 || y == 0) return;
  (window ? dc_.windowExt : dc_.viewportExt) = {x, y};
}

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

}  // namespace ravelle::playback
