// The viewer window's behaviour: opening it, what closes it and what closing undoes, and the
// command table of its menu, with the delete, move, copy and rename flows.
#pragma once

#include "port/port.h"
#include "resources/command_ids.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {


// The help page the browsing dialog's Help button opens.
inline constexpr int kHelpContextBrowser = 102;

// Opens the viewer window with the caption given, in the remembered style and rectangle.
void OpenViewerWindow(CurrentImage& image, const ShellState& shell, Port& port, const std::string& caption);

// Remembers whether the viewer is maximised (for the next one) and brings the dialog back.
void ReturnToDialog(ShellState& shell, Port& port);

// What destroying the viewer window undoes: help is closed, a brightness change is undone, a
// colour reduction the user asked for gives way to the unreduced image, the image is turned
// back to its loaded orientation, and the dialog is repainted.
void ViewerCloseSteps(CurrentImage& image, ShellState& shell, Port& port);

// A key, a left click, the window's close box or Close File: back to the dialog, the window
// destroyed, the close steps run.
void CloseViewer(CurrentImage& image, ShellState& shell, Port& port);

// The command table: what each menu command id does. Ids outside 102 to 191 are ignored.
void ViewerCommand(CurrentImage& image, ShellState& shell, Port& port, int id);

}  // namespace ravelle
