#include "platform/headless/painter_surface.h"

#include <QBrush>
#include <QFontMetrics>
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
    : painter_(painter), client_(client), buttonFace_(buttonFace), dpi_(dpi) {
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
