#include "view/full_screen.h"

#include <algorithm>

namespace ravelle {

ScrollBars FullScreenScrollBars(bool scrollable, Size image, const ScreenMetrics& screen) {
  const int iw = image.width;
  const int ih = image.height;
  const int CX = screen.screen.width;
  const int CY = screen.screen.height;
  ScrollBars bars;
  if (!scrollable || (iw <= CX && ih <= CY)) return bars;
  if (ih > CY && iw <= CX - screen.vScrollWidth) {
    bars.vertical = true;
    bars.rangeY = ih - CY;
  } else if (iw > CX && ih <= CY - screen.hScrollHeight) {
    bars.horizontal = true;
    bars.rangeX = iw - CX;
  } else {
    bars.vertical = bars.horizontal = true;
    // A side that fits the screen can still be cut by the other bar; it never scrolls backwards.
    bars.rangeY = std::max(ih - CY + screen.hScrollHeight, 0);
    bars.rangeX = std::max(iw - CX + screen.vScrollWidth, 0);
  }
  return bars;
}

uint32_t FullScreenWindowStyle(const ScrollBars& bars) {
  return kFullScreenStyle | (bars.vertical ? kVScrollStyle : 0) | (bars.horizontal ? kHScrollStyle : 0);
}

int ScrolledOrigin(bool vertical, int origin, int range, int request, int thumb, int page) {
  switch (static_cast<ScrollRequest>(request)) {
    case ScrollRequest::LineUp: return std::min(origin + 8, 0);
    case ScrollRequest::LineDown: return std::max(origin - 8, -range);
    case ScrollRequest::PageUp: return vertical ? 0 : std::min(origin + page, 0);
    case ScrollRequest::PageDown: return vertical ? -range : std::max(origin - page, -range);
    case ScrollRequest::ThumbPosition: return -std::clamp(thumb, 0, std::max(range, 0));
    case ScrollRequest::Top: return 0;
    case ScrollRequest::Bottom: return -range;
    default: return origin;
  }
}

std::vector<ScrollMessage> ScrollMessagesForKey(FullScreenKey key) {
  using R = ScrollRequest;
  switch (key) {
    case FullScreenKey::PageUp: return {{true, R::PageUp}};
    case FullScreenKey::PageDown: return {{true, R::PageDown}};
    case FullScreenKey::End: return {{true, R::Bottom}, {false, R::Bottom}};
    case FullScreenKey::Home: return {{true, R::Top}, {false, R::Top}};
    case FullScreenKey::Left: return {{false, R::LineUp}};
    case FullScreenKey::Up: return {{true, R::LineUp}};
    case FullScreenKey::Right: return {{false, R::LineDown}};
    case FullScreenKey::Down: return {{true, R::LineDown}};
    default: return {};
  }
}

}  // namespace ravelle
