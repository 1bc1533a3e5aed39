// Printing the shown image on one page: Print Normal, Print Large and Print Tiled.
#pragma once

#include "port/port.h"
#include "port/surface.h"
#include "shell/current_image.h"
#include "view/print_layout.h"

namespace ravelle {

// Draws the shown image on a printer's page (the surface is the printable area).
void DrawPrintedPage(const CurrentImage& image, Surface& page, PrintMode mode);

// Asks for a printer and prints the page, with the animation paused meanwhile. Nothing happens
// for a kind that cannot be printed or when there is no image.
void PrintImage(CurrentImage& image, Port& port, PrintMode mode);

}  // namespace ravelle
