// The full-screen window's geometry: which scroll bars an image gets, how each scroll request
// moves the image, and which keys scroll.
#pragma once

#include <cstdint>
#include <vector>

#include "port/port.h"

namespace ravelle {

// The window's style: a visible popup, with WS_VSCROLL and WS_HSCROLL for its bars.
inline constexpr uint32_t kFullScreenStyle = 0x90000000;
inline constexpr uint32_t kVScrollStyle = 0x00200000;
inline constexpr uint32_t kHScrollStyle = 0x00100000;

// The scroll bars for an image of iw x ih: none when it fits the screen, one when it is larger
// in one direction only and the other still fits beside the bar, else both, each taking room from
// the other direction. `scrollable` is false for anything but a bitmap with an image.
ScrollBars FullScreenScrollBars(bool scrollable, Size image, const ScreenMetrics& screen);
uint32_t FullScreenWindowStyle(const ScrollBars& bars);

// The scroll bars' requests, numbered as the system numbers them.
enum class ScrollRequest : int {
  LineUp = 0, LineDown = 1, PageUp = 2, PageDown = 3, ThumbPosition = 4, ThumbTrack = 5,
  Top = 6, Bottom = 7, EndScroll = 8,
};

// The new drawing origin (0 or negative) along one direction: lines of 8 pixels, the thumb's
// position when it is released, the ends. The vertical bar's page requests jump to the top or
// the bottom; the horizontal bar's move by `page` pixels (the screen's width).
int ScrolledOrigin(bool vertical, int origin, int range, int request, int thumb, int page);

enum class FullScreenKey { PageUp, PageDown, End, Home, Left, Up, Right, Down, Other };

struct ScrollMessage {
  bool vertical = true;
  ScrollRequest request = ScrollRequest::EndScroll;
  friend bool operator==(const ScrollMessage&, const ScrollMessage&) = default;
};

// The scroll messages a key sends the window; none for a key that closes it.
std::vector<ScrollMessage> ScrollMessagesForKey(FullScreenKey key);

}  // namespace ravelle
