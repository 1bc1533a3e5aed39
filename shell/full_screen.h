// The full-screen window: opening it by the image's size, scrolling it by keys and scroll bars,
// and closing it.
#pragma once

#include "port/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"
#include "view/full_screen.h"

namespace ravelle {

// Opens the window, with scroll bars for a bitmap larger than the screen, at the top-left corner
// of the image. Both the dialog's Full Screen button and the viewer's command come here.
void OpenFullScreenWindow(CurrentImage& image, ShellState& shell, Port& port);

// A scroll bar's request (`thumb` is its position for ThumbPosition): the new origin, the
// bar moved to match and the window repainted, whatever the request.
void FullScreenScroll(ShellState& shell, Port& port, bool vertical, int request, int thumb);

// A key: the arrows, Home, End, Page Up and Page Down scroll; any other key closes the window.
void FullScreenKeyDown(CurrentImage& image, ShellState& shell, Port& port, FullScreenKey key);

// A key pressed in the viewer window: whether it closes the viewer. While the key that closed
// full screen over the viewer is still down, it and the keys pressed with it (the End of
// Ctrl+End) belong to full screen and close nothing more; a key's release (not a repeat's) ends that.
bool ViewerTakesKey(const ShellState& shell);
void KeyReleased(ShellState& shell, bool autoRepeat);

// A key or a left click: the window destroyed, its origins and the dialog's request cleared.
void CloseFullScreen(CurrentImage& image, ShellState& shell, Port& port);

}  // namespace ravelle
