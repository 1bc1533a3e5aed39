#include "shell/slideshow.h"

#include "shell/paint_shown.h"
#include "shell/step.h"
#include "view/slideshow.h"

namespace ravelle {

void OpenSlideshowWindow(CurrentImage& image, Port& port) {
  if (image.Slideshow) return;
  image.Slideshow = true;
  port.OpenSlideshow();
}

void StartSlideTimer(ShellState& shell, Port& port) {
  shell.StepDirection = 1;
  port.StartSlideTimer(kSlideMilliseconds);
  shell.SlideTimerRunning = true;
}

void PaintSlideshowWindow(const CurrentImage& image, ShellState& shell, Port& port, Surface& surface) {
  PaintSlideshow(PaintSourceOf(image), image.FilePath, surface);
  shell.MonochromeChosen = false;
  StartSlideTimer(shell, port);
}

void SlideshowTimer(CurrentImage& image, ShellState& shell, Port& port) {
  if (!image.Slideshow) return;
  LoadAdjacentFile(image, shell, port, Owner::Slideshow);
}

void CloseSlideshow(CurrentImage& image, ShellState& shell, Port& port) {
  if (shell.SlideTimerRunning) {
    port.KillSlideTimer();
    shell.SlideTimerRunning = false;
  }
  if (!image.Slideshow) return;
  image.Slideshow = false;
  port.DestroySlideshow();
}

}  // namespace ravelle
