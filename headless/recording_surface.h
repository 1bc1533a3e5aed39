// A surface that draws nothing and records every call, so that tests can check what a paint
// would have drawn, and where.
#pragma once

#include <string>
#include <vector>

#include "port/surface.h"

namespace ravelle {

class RecordingSurface : public Surface {
 public:
  explicit RecordingSurface(Size client = {640, 480}) : client(client) {}

  struct Stretch {
    int imageWidth;
    int imageHeight;
    Rect dest;
  };

  Size ClientSize() const override { return client; }
  Size DotsPerInch() const override { return dpi; }
  void FillRect(Rect area, Colour colour) override;
  void FrameRect(Rect area, Colour colour) override;
  void StretchDib(const PackedDib& dib, Rect dest) override;
  Size MeasureText(const std::string& text) override;
  void DrawText(const std::string& text, Rect area) override;
  void DrawShape(std::span<const Contour> contours, bool closed, bool winding, const ShapeBrush* fill,
                 const ShapePen* pen, Mix mix) override;
  void SetClip(std::span<const ClipStep> steps) override;
  void DrawDibPart(const PackedDib& dib, Rect source, const PointF (&dest)[3], Mix mix) override;
  TextExtent MeasureRun(const std::u16string& text, const TextFont& font) override;
  void DrawRun(const std::u16string& text, const TextFont& font, PointF origin, double angle, Colour colour,
               std::span<const double> advances) override;

  Size client;
  Size dpi{96, 96};
  std::vector<std::string> log;      // one line per call
  std::vector<Stretch> stretches;    // every image drawn, in order
};

}  // namespace ravelle
