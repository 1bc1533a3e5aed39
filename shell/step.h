// Stepping through the browsing dialog's file list from the viewer: Next File, Last File and
// the file shown after a delete or move.
#pragma once

#include "platform/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

// Releases the shown image, moves the file list's selection one entry forward (StepDirection 1)
// or back (0) with wrap-around, and loads that file into the open viewer: its caption, a repaint,
// and for animations their first frame and timer. With an empty list or no selection the viewer
// is left empty, with an empty caption.
void LoadAdjacentFile(CurrentImage& image, ShellState& shell, Port& port);

// The period of the dialog's animation timer for the shown image, in milliseconds.
int AnimationPeriod(const CurrentImage& image);

}  // namespace ravelle
