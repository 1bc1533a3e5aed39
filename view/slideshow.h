// The slideshow window's paint: the image centred and shrunk to the screen (never tiled), with
// the file's name centred at the top.
#pragma once

#include <string_view>

#include "port/surface.h"
#include "view/paint.h"

namespace ravelle {

// Where the caption goes: its measured size, centred at the top.
Rect SlideCaptionRect(Size client, Size text);

void PaintSlideshow(const PaintSource& source, std::string_view caption, Surface& surface);

}  // namespace ravelle
