#include "view/metafile_player.h"

#include <algorithm>
#include <cstring>

#include "view/metafile_dc.h"

namespace ravelle {
namespace playback {
namespace {

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

}  // namespace

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
      const Contour points = ReadPoints(r, count, type < 85);
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
      for (std::size_t c : counts) polys.push_back(ReadPoints(r, c, type < 90));
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

}  // namespace playback

namespace {

double Dpi(int32_t pixels, int32_t millimetres) {
  return pixels > 0 && millimetres > 0 ? pixels * 25.4 / millimetres : 96.0;
}

}  // namespace

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
  playback::Xform outer;
  outer.m11 = fr > fl ? (static_cast<double>(rect.right) - rect.left) / (fr - fl) : 1;
  outer.m22 = fb > ft ? (static_cast<double>(rect.bottom) - rect.top) / (fb - ft) : 1;
  outer.dx = rect.left - fl * outer.m11;
  outer.dy = rect.top - ft * outer.m22;
  playback::Player player(*surface, outer, dpiX, dpiY, h.handles);
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
