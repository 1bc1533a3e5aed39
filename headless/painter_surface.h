// A surface over a QPainter (QtGui only): the desktop program's windows paint through it, and the
// command-line tool and tests paint into a QImage with it, with no display.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <optional>
#include <vector>

#include "port/surface.h"
#include "image/packed_dib.h"

namespace ravelle {

// A QImage over a PackedDib's own rows (bottom row first, so it shows upside down): no copy for
// 1, 8, 16, 24 and 32 bits per pixel; a 4-bit image is expanded to 8-bit indexed into
// `expanded`. Colour tables are padded to the whole index range, so a stray index never reads
// outside the table. Nothing when the block does not hold the rows its header promises.
struct DibImage {
  QImage image;
  std::vector<uchar> expanded;
};
std::optional<DibImage> WrapDib(const PackedDib& dib);

class PainterSurface : public Surface {
 public:
  PainterSurface(QPainter& painter, Size client, Colour buttonFace = {192, 192, 192}, Size dpi = {96, 96});

  Size ClientSize() const override { return client_; }
  Size DotsPerInch() const override { return dpi_; }
  Colour ButtonFace() const override { return buttonFace_; }
  void FillRect(Rect area, Colour colour) override;
  void FrameRect(Rect area, Colour colour) override;
  void StretchDib(const PackedDib& dib, Rect dest) override;
  void TileDib(const PackedDib& dib, Rect area, Size tile) override;
  Size MeasureText(const std::string& text) override;
  void DrawText(const std::string& text, Rect area) override;
  void DrawShape(std::span<const Contour> contours, bool closed, bool winding, const ShapeBrush* fill,
                 const ShapePen* pen, Mix mix) override;
  void SetClip(std::span<const ClipStep> steps) override;
  void DrawDibPart(const PackedDib& dib, Rect source, const PointF (&dest)[3], Mix mix) override;
  TextExtent MeasureRun(const std::u16string& text, const TextFont& font) override;
  void DrawRun(const std::u16string& text, const TextFont& font, PointF origin, double angle, Colour colour,
               std::span<const double> advances) override;

 private:
  QPainter& painter_;
  QTransform base_;    // the painter's transform when the surface was made
  bool clipped_ = false;
  bool baseClip_ = false;
  QPainterPath baseClipPath_;
  Size client_;
  Colour buttonFace_;
  Size dpi_;
};

}  // namespace ravelle
