// One frame of an animation taken as a still Bitmap, as ravelle-cli's convert --frame does.
#pragma once

#include "port/port.h"
#include "shell/current_image.h"

namespace ravelle {

// The frames there are to pick from: an animated GIF's frames, an icon file's images, an
// animated cursor's stored frames; 1 for any other image, 0 when nothing is loaded.
int FrameCount(const CurrentImage& image);

// Makes frame `number` (1-based) of the loaded image a Bitmap in Handle: a GIF's frame composed
// as the viewer shows it, an icon file's image or an animated cursor's stored frame, repacked and
// adapted to the display as a loaded Bitmap is; the animation is stopped and released. False,
// changing nothing, when there is no such frame or it cannot be read.
bool TakeFrameAsBitmap(CurrentImage& image, Port& port, int number);

}  // namespace ravelle
