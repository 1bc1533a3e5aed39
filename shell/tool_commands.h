// The Tools commands of the viewer (rotations, flips, inversion, brightness and the colour
// reductions), run on the shown image exactly as the viewer's menu runs them.
#pragma once

#include "port/port.h"
#include "resources/command_ids.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

// Runs one Tools command; false when that command is not available in this build. On an
// AnimatedGif the command acts on a Bitmap copy of the frame shown and is kept in FrameTools,
// so that every later frame is shown with it too; the file goes on animating.
bool RunToolCommand(CurrentImage& image, ShellState& shell, Port& port, CommandId command);

// Makes FrameDib of an AnimatedGif from its animation's composed frame with FrameTools applied,
// and BitCount and ColorsUsed from the composed frame (as loading takes them from a Bitmap).
void ShowGifFrame(CurrentImage& image);

// What closing the viewer undoes of the Tools commands, so that the dialog's preview shows the
// file as loaded:
// - UndoBrightness puts back the colour table saved before Brighten or Darken (the brightness
//   adjustment with step 0) and sets BrightnessLevel to 0; the viewer calls it only when there
//   is no SavedImage and BrightnessLevel is not 0.
// - UndoOrientation turns Handle back to its loaded orientation (RestoreOrientation with
//   PendingOrientation) and, with a copy of the same state, SavedImage when there is one, since
//   the turns and flips were applied to both; PendingOrientation becomes 0.
// Both return false, changing nothing, when this build has no tools.
bool UndoBrightness(CurrentImage& image);
bool UndoOrientation(CurrentImage& image);

}  // namespace ravelle
