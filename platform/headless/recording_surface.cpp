#include "platform/headless/recording_surface.h"

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

}  // namespace ravelle
