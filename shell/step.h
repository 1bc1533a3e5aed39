// Stepping through the browsing dialog's file list: Next File, Last File, the slideshow's steps
// and the file shown after a delete or move.
#pragma once

#include "port/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

// The message that ends a slideshow over a folder none of whose files can be shown.
inline constexpr const char* kNoFileToShow = "No File in this Folder can be Shown";

// Releases the shown image, moves the file list's selection one entry forward (StepDirection 1)
// or back (0) with wrap-around, and loads that file for `target`, the viewer or the slideshow:
// the viewer's caption, a repaint, and for animations their first frame and timer. With an empty
// list or no selection the viewer is left empty, with an empty caption. The slideshow passes over
// files that cannot be shown, without their readers' messages, and ends with one message when
// no file of the list can be shown.
void LoadAdjacentFile(CurrentImage& image, ShellState& shell, Port& port, Owner target = Owner::Viewer);

// A file dropped on the viewer, selected in the list by the dialog: loaded into the viewer as
// LoadAdjacentFile loads the next one, without moving the selection.
void LoadSelectedIntoViewer(CurrentImage& image, ShellState& shell, Port& port);

// The period of the dialog's animation timer for the shown image, in milliseconds.
int AnimationPeriod(const CurrentImage& image);

}  // namespace ravelle
