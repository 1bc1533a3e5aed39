// Icon files with several images and animated cursors in the image record: what their reading
// leaves for the animation, and the icon sequence's step.
#pragma once

#include <cstdint>
#include <span>

#include "formats/common/read_result.h"
#include "formats/registry.h"
#include "port/port.h"
#include "shell/current_image.h"

namespace ravelle {

// Reads an icon file's first image, or an animated cursor's frames and steps. An icon file of
// more than one image becomes an IconSequence (Delay 100) that keeps the file's bytes; an
// animated cursor keeps its frames and steps in AniTables, shows the first step's frame and
// waits its rate. The result's image is the one to show.
ReadResult ReadIconKinds(CurrentImage& image, std::span<const uint8_t> bytes, FrameSource frames);

// The timer's step of an IconSequence: the next image number (back to 1 after the last) is read
// from the kept file into Handle, with its text.
void StepIconSequence(CurrentImage& image, Port& port);

// An animated cursor's step rate (1/60 s) as a Delay in 1/100 s.
int AniDelay(int rate);

}  // namespace ravelle
