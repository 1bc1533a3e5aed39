#include "headless/recording_surface.h"

#include "formats/common/read_result.h"
#include "image/packed_dib.h"

namespace ravelle {

void RecordingSurface::FillRect(Rect a, Colour c) {
  log.push_back(Format("fill %d,%d %dx%d #%02x%02x%02x", a.left, a.top, a.width, a.height, c.red, c.green, c.blue));
}

void RecordingSurface::FrameRect(Rect a, Colour c) {
  log.push_back(Format("frame %d,%d %dx%d #%02x%02x%02x", a.left, a.top, a.width, a.height, c.red, c.green, c.blue));
}

void RecordingSurface::StretchDib(const PackedDib& dib, Rect d) {
  stretches.push_back({dib.Width(), dib.Height(), d});
  log.push_back(Format("image %dx%d at %d,%d %dx%d", dib.Width(), dib.Height(), d.left, d.top, d.width, d.height));
}

// Eight pixels a character and sixteen a line, like the classic system font.
Size RecordingSurface::MeasureText(const std::string& text) { return {8 * static_cast<int>(text.size()), 16}; }

void RecordingSurface::DrawText(const std::string& text, Rect a) {
  log.push_back(Format("text \"%s\" at %d,%d %dx%d", text.c_str(), a.left, a.top, a.width, a.height));
}

void RecordingSurface::DrawShape(std::span<const Contour> contours, bool closed, bool winding, const ShapeBrush* fill,
                                 const ShapePen* pen, Mix mix) {
  std::string points;
  for (const Contour& c : contours) {
    points += " [";
    for (const PointF& p : c) points += Format(" %g,%g", p.x, p.y);
    points += " ]";
  }
  log.push_back(Format("shape%s%s%s%s mix %d%s", closed ? " closed" : "", winding ? " winding" : "",
                       fill ? Format(" fill #%02x%02x%02x", fill->colour.red, fill->colour.green, fill->colour.blue).c_str() : "",
                       pen ? Format(" pen #%02x%02x%02x w%g", pen->colour.red, pen->colour.green, pen->colour.blue, pen->width).c_str() : "",
                       static_cast<int>(mix), points.c_str()));
}

void RecordingSurface::SetClip(std::span<const ClipStep> steps) {
  log.push_back(Format("clip %zu steps", steps.size()));
}

void RecordingSurface::DrawDibPart(const PackedDib& dib, Rect s, const PointF (&d)[3], Mix mix) {
  log.push_back(Format("image part %dx%d from %d,%d %dx%d to %g,%g %g,%g %g,%g mix %d", dib.Width(), dib.Height(),
                       s.left, s.top, s.width, s.height, d[0].x, d[0].y, d[1].x, d[1].y, d[2].x, d[2].y,
                       static_cast<int>(mix)));
}

// As MeasureText: half the height a character, four fifths of it above the baseline.
TextExtent RecordingSurface::MeasureRun(const std::u16string& text, const TextFont& font) {
  return {font.height / 2 * static_cast<double>(text.size()), font.height * 0.8, font.height * 0.2};
}

void RecordingSurface::DrawRun(const std::u16string& text, const TextFont& font, PointF o, double angle, Colour,
                               std::span<const double>) {
  std::string ascii;
  for (char16_t c : text) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  log.push_back(Format("run \"%s\" %s %g at %g,%g angle %g", ascii.c_str(), font.face.c_str(), font.height, o.x, o.y, angle));
}

}  // namespace ravelle
