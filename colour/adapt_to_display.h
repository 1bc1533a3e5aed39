// Reducing a colour image for a palette display, after it was loaded.
#pragma once

#include "platform/port.h"
#include "shell/current_image.h"

namespace ravelle {

// On an 8-bit display a colour image is reduced to its 256 best colours, on a 4-bit display to
// the 256 standard colours; the unreduced image is kept in SavedImage. Other displays, and
// black-and-white images, are left alone.
void AdaptToDisplay(CurrentImage& image, Port& port);

}  // namespace ravelle
