// The device context that plays the records of Windows and enhanced metafiles: the mapping and
// world transform, the objects, clip, path, text and drawing state, and the drawing on the
// surface. wmf_player.cpp and emf_player.cpp read the records; this holds what they share.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/metafile/metafile.h"
#include "image/byte_reader.h"
#include "image/packed_dib.h"
#include "port/port.h"
#include "port/surface.h"
#include "view/metafile_player.h"

namespace ravelle::playback {

inline constexpr double kPi = 3.14159265358979323846;

// ---- Geometry

struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  PointF Apply(PointF p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
  bool AxisAligned() const { return m12 == 0 && m21 == 0; }
  double XScale() const { return std::hypot(m11, m12); }
  double YScale() const { return std::hypot(m21, m22); }
};

// `a` applied first, then `b`.
Xform Then(const Xform& a, const Xform& b);

// Device coordinates are whole pixels, as the system rounds them; far-off points are held
// where the surface can still take them.
PointF Round(PointF p);

// Points along the ellipse of centre (cx, cy) and radii (rx, ry) from parameter t0 over
// `sweep` radians; angles grow anticlockwise as the picture is seen, y growing downwards.
void AddArc(Contour& out, double cx, double cy, double rx, double ry, double t0, double sweep);

inline Contour RectContour(double l, double t, double r, double b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }

// ---- Objects

inline Colour ColourRef(uint32_t c) {
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

// An empty object of a kind.
Object Made(Object::Kind kind);
// A stock object (the index without its top bit); nothing for an index that names none.
std::optional<Object> StockObject(uint32_t index);
inline Mix MixOf(int rop2) { return rop2 >= 1 && rop2 <= 16 ? static_cast<Mix>(rop2) : Mix::CopyPen; }
// Windows-1252 text as UTF-16.
std::u16string Latin1(std::span<const uint8_t> bytes);

// Up to `count` points of 16-bit (or, `wide`, 32-bit) coordinates, as many as the data holds.
Contour ReadPoints(ByteReader& r, std::size_t count, bool wide);

// ---- Device-independent bitmaps inside records (metafile_bitmaps.cpp)

// The bitmap of a BITMAPINFO and its bits as a 24-bit image; empty when it cannot be read.
// Indices in `palette` mode (DIB_PAL_COLORS) are looked up in the selected palette. Rows the
// data does not hold are left black; the image is never larger than its data can fill.
PackedDib DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits, bool paletteIndices,
                    const Palette& palette);

// A packed DIB (BITMAPINFO, then its bits) as a 24-bit image.
PackedDib DecodePackedDib(std::span<const uint8_t> packed, bool paletteIndices, const Palette& palette);

// Where a DIB's source rectangle starts from the top: a bottom-up bitmap measures it from its
// lower-left corner.
int FromTop(std::span<const uint8_t> info, const PackedDib& dib, int y, int height);

// A device-dependent bitmap of a WMF (BITMAP16 with its bits) as a 24-bit image: one plane of
// 1, 4, 8 or 24 bits, the 1-bit one in black and white.
PackedDib DecodeBitmap16(ByteReader r);

// ---- The player

class Player {
 public:
  Player(Surface& surface, Xform outer, double dpiX, double dpiY, std::size_t objects)
      : surface_(surface), outer_(outer), dpiX_(dpiX), dpiY_(dpiY) {
    objects_.resize(std::min(objects, kMaxMetafileObjects));
    dc_.font.height = 16;
  }

  void StartWindows(const WmfStart& start);

  void PlayWmf(uint32_t function, ByteReader r);
  // False at the end-of-file record.
  bool PlayEmf(uint32_t type, ByteReader r, std::span<const uint8_t> record);
  void Finish() { surface_.SetClip({}); }

 private:
  // -- Mapping
  Xform Page() const;
  Xform Total() const;
  PointF Dev(PointF p) const { return Round(Total().Apply(p)); }
  Contour DevAll(const Contour& logical) const;

  // -- Drawing
  bool MakePen(ShapePen& out) const;
  bool MakeBrush(const Brush& b, ShapeBrush& out) const;

  void Shape(std::vector<Contour> contours, bool closed, bool fill, bool stroke);

  void AddToPath(Contour c);

  void Polygon(const Contour& points) { Shape({DevAll(points)}, true, true, true); }
  void PolyPolygon(const std::vector<Contour>& polys);
  void Polyline(const Contour& points);

  void MoveTo(PointF p);
  // Lines (and flattened curves) on from the current position to each point in turn.
  void LinesTo(const Contour& points);

  // The box of a rectangle or ellipse in the space its outline is worked out in: device
  // pixels when the mapping keeps axes (with the right and bottom edges left out, as the
  // system draws them), else logical units turned by `after`.
  struct BoxSpace {
    double l, t, r, b;
    Xform after;
    bool device;
  };
  BoxSpace Box(double l, double t, double r, double b) const;
  // The outline in whole device pixels: the surface would otherwise place a point on a pixel's
  // edge by its own rounding, one side of a small ellipse a pixel out from the other.
  Contour Out(const BoxSpace& s, Contour c) const;
  PointF In(const BoxSpace& s, PointF logical) const { return s.device ? Total().Apply(logical) : logical; }

  void Rectangle(double l, double t, double r, double b);
  void Ellipse(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double w, double h);
  enum class ArcKind { Arc, ArcTo, Chord, Pie };
  void Arc(ArcKind kind, double l, double t, double r, double b, PointF start, PointF end);

  static Xform Inverse(const Xform& x);

  void Beziers(const Contour& points, bool fromCurrent);

  // -- Paths and clipping
  void UpdateClip() { surface_.SetClip(dc_.clip); }
  void AddClip(ClipStep step);
  // The clip moved by a logical offset.
  void OffsetClip(double x, double y);
  void ClipRect(double l, double t, double r, double b, ClipStep::Op op);
  static ClipStep::Op RegionOp(uint32_t mode);
  std::vector<Contour> RegionContours(const std::vector<std::array<double, 4>>& rects, bool logical) const;
  void FillRegion(const std::vector<Contour>& contours, const Brush& brush, Mix mix);

  // -- Text
  void Text(PointF reference, const std::u16string& text, uint32_t options, const std::optional<std::array<double, 4>>& rect,
            std::vector<double> dx, bool dxDevice = false);

  // -- Bitmaps
  void Blit(const PackedDib* dib, Rect source, double x, double y, double w, double h, uint32_t rop);

  // -- Objects
  void SelectObject(const Object& o);
  // WMF objects go into the first free slot of the table.
  void AddWmfObject(Object o);
  Object* EmfObject(uint32_t index);
  void SelectEmf(uint32_t index);
  Colour Ref(uint32_t c) const;

  void SaveDc();
  void RestoreDc(int32_t which);
  void SetExtents(bool window, double x, double y);

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

}  // namespace ravelle::playback
