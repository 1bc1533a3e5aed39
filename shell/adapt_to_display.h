// Reducing a colour image for a palette display, and the return to the unreduced image.
#pragma once

#include "port/port.h"
#include "shell/current_image.h"

namespace ravelle {

// On an 8-bit display a colour image is reduced to its 256 best colours, on a 4-bit display to
// the 256 standard colours; the unreduced image is kept in SavedImage. Other displays, other
// kinds and black-and-white images are left alone. ReductionApplied is not touched: a
// reduction made for the display is never saved or printed in place of the image.
void AdaptToDisplay(CurrentImage& image, Port& port);

// Puts the unreduced SavedImage back in Handle, turns a Bitmap back to its loaded orientation
// and colours, adapts it to the display again and repaints; PendingOrientation and
// ReductionApplied become 0.
void RestoreOriginalImage(CurrentImage& image, Port& port);

}  // namespace ravelle
