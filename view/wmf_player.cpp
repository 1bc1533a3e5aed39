#include "view/metafile_player.h"

#include <algorithm>

#include "view/metafile_dc.h"

namespace ravelle {
namespace playback {
namespace {

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

}  // namespace

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
      const Contour points = ReadPoints(r, r.U16le(), false);
      if (function == 0x0324) Polygon(points); else Polyline(points);
      break;
    }
    case 0x0538: {  // POLYPOLYGON
      const std::size_t n = r.U16le();
      std::vector<std::size_t> counts;
      for (std::size_t i = 0; i < n && !r.Truncated(); ++i) counts.push_back(r.U16le());
      std::vector<Contour> polys;
      for (std::size_t c : counts) polys.push_back(ReadPoints(r, c, false));
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

}  // namespace playback

void PlayWindowsMetafile(Surface& surface, const MetafileImage& metafile, const WmfStart& start) {
  const Size dpi = surface.DotsPerInch();
  playback::Player player(surface, {}, dpi.width, dpi.height, metafile.objectCount);
  player.StartWindows(start);
  const std::span<const uint8_t> bytes(metafile.bytes);
  for (const MetafileRecord& record : metafile.records) {
    ByteReader r(bytes.subspan(record.offset, record.size));
    r.Skip(6);
    player.PlayWmf(record.type, r.Sub(r.Remaining()));
  }
  player.Finish();
}

}  // namespace ravelle
