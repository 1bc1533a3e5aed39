// Painting the shown image: what of the record a paint draws, and the viewer's paint, which
// brings the menu in line with the image first.
#pragma once

#include "port/port.h"
#include "port/surface.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"
#include "view/paint.h"

namespace ravelle {

// The raster a paint draws is the current frame of an animated GIF, else Handle.
PaintSource PaintSourceOf(const CurrentImage& image);
PaintLayout PaintLayoutOf(const ShellState& shell, Port& port);

// The paint of the viewer or full-screen window; the viewer's menu is updated first.
void PaintShownImage(const CurrentImage& image, const ShellState& shell, Port& port, Surface& surface,
                     PaintTarget target);

// DrawFrameInWindow for the shown image, with the file's name on top when asked.
void DrawShownFrame(const CurrentImage& image, const PackedDib& dib, Surface& surface, int mode, bool withCaption);

}  // namespace ravelle
