// The slideshow: a screen-sized window showing the files of the dialog's list one after another,
// each for three seconds with its name at the top, until a key or a click ends it.
#pragma once

#include "port/port.h"
#include "port/surface.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

inline constexpr int kSlideMilliseconds = 3000;

// The viewer's Show Slideshow command.
void OpenSlideshowWindow(CurrentImage& image, Port& port);

// The window's paint: the shown image and its name, and the three seconds started again.
void PaintSlideshowWindow(const CurrentImage& image, ShellState& shell, Port& port, Surface& surface);

// The window's timer: the next file of the list.
void SlideshowTimer(CurrentImage& image, ShellState& shell, Port& port);

// A key or a left click: the timer stopped and the window destroyed; the last file shown stays.
void CloseSlideshow(CurrentImage& image, ShellState& shell, Port& port);

// Starts the slideshow's timer (the next step comes in three seconds).
void StartSlideTimer(ShellState& shell, Port& port);

}  // namespace ravelle
