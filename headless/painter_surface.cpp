#include "headless/painter_surface.h"

#include <QBrush>
#include <QFontMetricsF>
#include <QFontMetrics>
#include <QPainterPath>
#include <QPen>
#include <QRawFont>

#include <cmath>
#include <QTransform>

namespace ravelle {
namespace {

// Tiling with one drawing per tile is fine for a few tiles; beyond this a texture brush fills
// the whole area at once.
constexpr int kMostSeparateTiles = 64;

QColor ToQColor(Colour c) { return QColor(c.red, c.green, c.blue); }

QList<QRgb> ColourTable(const PackedDib& dib, int entries) {
  QList<QRgb> table(entries, qRgb(0, 0, 0));
  const auto colours = dib.Colors();
  for (int i = 0; i < entries && static_cast<std::size_t>(i) < colours.size(); ++i) {
    const RgbQuad& c = colours[static_cast<std::size_t>(i)];
    table[i] = qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
  }
  return table;
}

// The transform that draws the bottom-up image of iw x ih into `dest` the right way up.
QTransform PlacementOf(Rect dest, int iw, int ih) {
  QTransform t;
  t.translate(dest.left, dest.top + dest.height);
  t.scale(static_cast<double>(dest.width) / iw, -static_cast<double>(dest.height) / ih);
  return t;
}

QPainter::CompositionMode CompositionOf(Mix mix) {
  switch (mix) {
    case Mix::Black: return QPainter::RasterOp_ClearDestination;
    case Mix::NotMergePen: return QPainter::RasterOp_NotSourceAndNotDestination;
    case Mix::MaskNotPen: return QPainter::RasterOp_NotSourceAndDestination;
    case Mix::NotCopyPen: return QPainter::RasterOp_NotSource;
    case Mix::MaskPenNot: return QPainter::RasterOp_SourceAndNotDestination;
    case Mix::Not: return QPainter::RasterOp_NotDestination;
    case Mix::XorPen: return QPainter::RasterOp_SourceXorDestination;
    case Mix::NotMaskPen: return QPainter::RasterOp_NotSourceOrNotDestination;
    case Mix::MaskPen: return QPainter::RasterOp_SourceAndDestination;
    case Mix::NotXorPen: return QPainter::RasterOp_NotSourceXorDestination;
    case Mix::MergeNotPen: return QPainter::RasterOp_NotSourceOrDestination;
    case Mix::MergePenNot: return QPainter::RasterOp_SourceOrNotDestination;
    case Mix::MergePen: return QPainter::RasterOp_SourceOrDestination;
    case Mix::White: return QPainter::RasterOp_SetDestination;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

QPainterPath PathOf(std::span<const Contour> contours, bool closed, bool winding) {
  QPainterPath path;
  path.setFillRule(winding ? Qt::WindingFill : Qt::OddEvenFill);
  for (const Contour& c : contours) {
    if (c.empty()) continue;
    path.moveTo(c[0].x, c[0].y);
    for (std::size_t i = 1; i < c.size(); ++i) path.lineTo(c[i].x, c[i].y);
    if (closed) path.closeSubpath();
  }
  return path;
}

QBrush BrushOf(const ShapeBrush& b) {
  switch (b.kind) {
    case ShapeBrush::Kind::Bits: {
      QImage tile(8, 8, QImage::Format_ARGB32);
      const QRgb on = qRgb(b.colour.red, b.colour.green, b.colour.blue);
      const QRgb off = b.transparent ? qRgba(0, 0, 0, 0) : qRgb(b.background.red, b.background.green, b.background.blue);
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) tile.setPixel(x, y, (b.bits[y] >> (7 - x)) & 1 ? on : off);
      }
      return QBrush(tile);
    }
    case ShapeBrush::Kind::Image:
      if (b.image) {
        if (const auto wrapped = WrapDib(*b.image)) return QBrush(wrapped->image.mirrored(false, true));
      }
      [[fallthrough]];
    default:
      return QBrush(ToQColor(b.colour));
  }
}

// The face is left to fontconfig's matching: a style hint would make Qt pass over the aliases
// that stand in for faces not installed (Times New Roman for a serif, Courier New for a fixed
// pitch) and fall back to a sans-serif face.
QFont FontOf(const TextFont& f) {
  QFont font(QString::fromStdString(f.face));
  double pixels = f.height;
  if (f.cellHeight) {
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.height))));
    const QFontMetricsF m(font);
    const double cell = m.ascent() + m.descent();
    if (cell > 0) pixels = f.height * f.height / cell;
  }
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight, 1, 1000)));
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setStrikeOut(f.strikeOut);
  if (f.width > 0) {
    const QFontMetricsF m(font);
    const double natural = m.averageCharWidth();
    if (natural > 0) font.setStretch(std::clamp(static_cast<int>(std::lround(100 * f.width / natural)), 1, 4000));
  }
  return font;
}

}  // namespace

std::optional<DibImage> WrapDib(const PackedDib& dib) {
  if (!dib) return std::nullopt;
  const int width = dib.Width();
  const int height = dib.Height();
  const std::size_t stride = dib.Stride();
  const auto pixels = dib.Pixels();
  if (width <= 0 || height <= 0 || stride == 0 || pixels.size() / stride < static_cast<std::size_t>(height)) {
    return std::nullopt;
  }
  const auto bytesPerLine = static_cast<qsizetype>(stride);
  DibImage out;
  switch (dib.BitCount()) {
    case 1:
      out.image = QImage(pixels.data(), width, height, bytesPerLine, QImage::Format_Mono);
      out.image.setColorTable(ColourTable(dib, 2));
      break;
    case 4: {
      // Qt has no 4-bit format: each nibble becomes a byte.
      const std::size_t wide = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
      out.expanded.resize(wide * static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) {
        const uint8_t* from = pixels.data() + static_cast<std::size_t>(y) * stride;
        uchar* to = out.expanded.data() + static_cast<std::size_t>(y) * wide;
        for (int x = 0; x < width; ++x) to[x] = (from[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
      }
      out.image = QImage(out.expanded.data(), width, height, static_cast<qsizetype>(wide), QImage::Format_Indexed8);
      out.image.setColorTable(ColourTable(dib, 256));
      break;
    }
    case 8:
      out.image = QImage(pixels.data(), width, height, bytesPerLine, QImage::Format_Indexed8);
      out.image.setColorTable(ColourTable(dib, 256));
      break;
    case 16:
      out.image = QImage(pixels.data(), width, height, bytesPerLine, QImage::Format_RGB555);
      break;
    case 24:
      out.image = QImage(pixels.data(), width, height, bytesPerLine, QImage::Format_BGR888);
      break;
    case 32:
      out.image = QImage(pixels.data(), width, height, bytesPerLine, QImage::Format_RGB32);
      break;
    default:
      return std::nullopt;
  }
  return out;
}

PainterSurface::PainterSurface(QPainter& painter, Size client, Colour buttonFace, Size dpi)
    : painter_(painter), base_(painter.transform()), baseClip_(painter.hasClipping()),
      baseClipPath_(painter.hasClipping() ? painter.clipPath() : QPainterPath()), client_(client),
      buttonFace_(buttonFace), dpi_(dpi) {
  // COLORONCOLOR stretching: rows and columns are dropped or repeated, never blended.
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter_.setRenderHint(QPainter::Antialiasing, false);
}

void PainterSurface::FillRect(Rect a, Colour colour) {
  if (a.width > 0 && a.height > 0) painter_.fillRect(QRect(a.left, a.top, a.width, a.height), ToQColor(colour));
}

void PainterSurface::FrameRect(Rect a, Colour colour) {
  if (a.width <= 0 || a.height <= 0) return;
  const QColor c = ToQColor(colour);
  painter_.fillRect(QRect(a.left, a.top, a.width, 1), c);
  painter_.fillRect(QRect(a.left, a.top + a.height - 1, a.width, 1), c);
  painter_.fillRect(QRect(a.left, a.top, 1, a.height), c);
  painter_.fillRect(QRect(a.left + a.width - 1, a.top, 1, a.height), c);
}

void PainterSurface::StretchDib(const PackedDib& dib, Rect dest) {
  if (dest.width <= 0 || dest.height <= 0) return;
  const auto wrapped = WrapDib(dib);
  if (!wrapped) return;
  painter_.save();
  painter_.setTransform(PlacementOf(dest, dib.Width(), dib.Height()), true);
  painter_.drawImage(QPointF(0, 0), wrapped->image);
  painter_.restore();
}

void PainterSurface::TileDib(const PackedDib& dib, Rect area, Size tile) {
  const TileGrid grid = TilesCovering({area.width, area.height}, tile);
  if (grid.columns * static_cast<int64_t>(grid.rows) <= kMostSeparateTiles) {
    painter_.save();
    painter_.setClipRect(QRect(area.left, area.top, area.width, area.height), Qt::IntersectClip);
    Surface::TileDib(dib, area, tile);
    painter_.restore();
    return;
  }
  const auto wrapped = WrapDib(dib);
  if (!wrapped) return;
  QBrush brush(wrapped->image);
  brush.setTransform(PlacementOf({area.left, area.top, tile.width, tile.height}, dib.Width(), dib.Height()));
  painter_.fillRect(QRect(area.left, area.top, area.width, area.height), brush);
}

Size PainterSurface::MeasureText(const std::string& text) {
  const QRect bounds = painter_.fontMetrics().boundingRect(QRect(), 0, QString::fromStdString(text));
  return {bounds.width(), bounds.height()};
}

void PainterSurface::DrawText(const std::string& text, Rect a) {
  painter_.setPen(Qt::black);
  painter_.drawText(QRect(a.left, a.top, a.width, a.height), Qt::AlignHCenter | Qt::AlignTop,
                    QString::fromStdString(text));
}

}  // namespace ravelle

namespace ravelle {

void PainterSurface::DrawShape(std::span<const Contour> contours, bool closed, bool winding, const ShapeBrush* fill,
                               const ShapePen* pen, Mix mix) {
  if (mix == Mix::Nop) return;
  const QPainterPath path = PathOf(contours, closed, winding);
  painter_.save();
  painter_.setCompositionMode(CompositionOf(mix));
  if (fill) painter_.fillPath(path, mix == Mix::Not ? QBrush(Qt::white) : BrushOf(*fill));
  if (pen) {
    QPen p(mix == Mix::Not ? QColor(Qt::white) : ToQColor(pen->colour));
    p.setWidthF(pen->width);
    p.setCosmetic(pen->width == 0);
    static constexpr Qt::PenStyle kDashes[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                               Qt::DashDotDotLine};
    p.setStyle(kDashes[static_cast<int>(pen->dash)]);
    p.setCapStyle(pen->cap == ShapePen::Cap::Square ? Qt::SquareCap
                  : pen->cap == ShapePen::Cap::Flat ? Qt::FlatCap : Qt::RoundCap);
    p.setJoinStyle(pen->join == ShapePen::Join::Bevel ? Qt::BevelJoin
                   : pen->join == ShapePen::Join::Miter ? Qt::MiterJoin : Qt::RoundJoin);
    p.setMiterLimit(pen->miterLimit);
    painter_.strokePath(path, p);
  }
  painter_.restore();
}

void PainterSurface::SetClip(std::span<const ClipStep> steps) {
  if (steps.empty()) {
    if (baseClip_) {
      painter_.setClipPath(baseClipPath_);
    } else {
      painter_.setClipping(false);
    }
    return;
  }
  QPainterPath area;
  area.addRect(QRectF(0, 0, client_.width, client_.height));
  for (const ClipStep& step : steps) {
    const QPainterPath shape = PathOf(step.contours, true, step.winding);
    switch (step.op) {
      case ClipStep::Op::Replace: area = shape; break;
      case ClipStep::Op::Intersect: area = area.intersected(shape); break;
      case ClipStep::Op::Exclude: area = area.subtracted(shape); break;
      case ClipStep::Op::Union: area = area.united(shape); break;
    }
  }
  if (baseClip_) area = area.intersected(baseClipPath_);
  painter_.setClipPath(area);
}

void PainterSurface::DrawDibPart(const PackedDib& dib, Rect source, const PointF (&dest)[3], Mix mix) {
  const auto wrapped = WrapDib(dib);
  if (!wrapped || mix == Mix::Nop) return;
  const int w = dib.Width(), h = dib.Height();
  // Mirrored source rectangles (negative sizes) flip the picture.
  const bool flipX = source.width < 0, flipY = source.height < 0;
  QRect part(flipX ? source.left + source.width : source.left, flipY ? source.top + source.height : source.top,
             std::abs(source.width), std::abs(source.height));
  const QRect whole = part.intersected(QRect(0, 0, w, h));
  if (whole.isEmpty() || part.width() == 0 || part.height() == 0) return;
  // The rows are stored bottom first: take the part the right way up.
  const QImage image = wrapped->image.copy(whole.left(), h - whole.bottom() - 1, whole.width(), whole.height())
                           .mirrored(flipX, !flipY);
  // Image pixels (u, v) of the part to the destination parallelogram.
  const double sx = 1.0 / part.width(), sy = 1.0 / part.height();
  const QTransform placement((dest[1].x - dest[0].x) * sx, (dest[1].y - dest[0].y) * sx,
                             (dest[2].x - dest[0].x) * sy, (dest[2].y - dest[0].y) * sy, dest[0].x, dest[0].y);
  painter_.save();
  painter_.setCompositionMode(CompositionOf(mix));
  painter_.setTransform(placement, true);
  painter_.drawImage(QPointF(whole.left() - part.left(), whole.top() - part.top()), image);
  painter_.restore();
}

TextExtent PainterSurface::MeasureRun(const std::u16string& text, const TextFont& font) {
  const QFontMetricsF m(FontOf(font));
  return {m.horizontalAdvance(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()))), m.ascent(),
          m.descent()};
}

void PainterSurface::DrawRun(const std::u16string& text, const TextFont& font, PointF origin, double angle,
                             Colour colour, std::span<const double> advances) {
  painter_.save();
  painter_.setFont(FontOf(font));
  painter_.setPen(ToQColor(colour));
  painter_.translate(origin.x, origin.y);
  painter_.rotate(-angle);
  const QString all = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  if (advances.empty()) {
    painter_.drawText(QPointF(0, 0), all);
  } else {
    double x = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      painter_.drawText(QPointF(x, 0), QString(QChar(text[i])));
      x += i < advances.size() ? advances[i] : 0;
    }
  }
  painter_.restore();
}

}  // namespace ravelle
