#include "shell/step.h"

#include <algorithm>

#include "shell/file_operation.h"
#include "shell/load.h"
#include "shell/menu_state.h"
#include "shell/paint_shown.h"
#include "shell/slideshow.h"

namespace ravelle {
namespace {

bool Shown(const CurrentImage& image) {
  return image.Handle || image.Metafile || (image.Kind == ImageKind::AnimatedGif && image.FrameDib);
}

int AdjacentIndex(int index, int count, int direction) {
  if (direction == 1) return index >= count - 1 ? 0 : index + 1;
  return index <= 0 ? count - 1 : std::min(index - 1, count - 1);
}

void ResetImage(CurrentImage& image, Port& port) {
  ReleaseImage(image, port);
  image.Kind = ImageKind::NoImage;
  image.InfoText.clear();
  image.PendingOrientation = 0;
  image.ReductionApplied = false;
  image.BrightnessLevel = 0;
}

// The slideshow has nothing it can show: it ends with one message rather than stepping on.
void EndEmptySlideshow(CurrentImage& image, ShellState& shell, Port& port) {
  CloseSlideshow(image, shell, port);
  port.ShowMessage(Owner::None, {kNoFileToShow, "", kMbIconHand});
}

// Loads the list's selected file for `target`, after moving the selection one step when `advance`.
void LoadFromList(CurrentImage& image, ShellState& shell, Port& port, Owner target, bool advance);

}  // namespace

void LoadAdjacentFile(CurrentImage& image, ShellState& shell, Port& port, Owner target) {
  LoadFromList(image, shell, port, target, true);
}

void LoadSelectedIntoViewer(CurrentImage& image, ShellState& shell, Port& port) {
  LoadFromList(image, shell, port, Owner::Viewer, false);
}

int AnimationPeriod(const CurrentImage& image) {
  // A delay of 0 would make the timer fire without pause; one hundredth is the shortest step.
  const int delay = std::max(image.Delay, 1);
  if (image.Kind == ImageKind::AnimatedGif && image.DisplayDepth <= 8) return delay * 5;
  return delay * 9;
}

namespace {

void LoadFromList(CurrentImage& image, ShellState& shell, Port& port, Owner target, bool advance) {
  const bool slideshow = target == Owner::Slideshow;
  if (slideshow && shell.SlideTimerRunning) {
    port.KillSlideTimer();
    shell.SlideTimerRunning = false;
  }
  ResetImage(image, port);

  const int count = port.FileListCount();
  const int selected = port.FileListSelection();
  if (count <= 0 || selected < 0) {
    image.FilePath.clear();
    port.SetViewerCaption("");
    port.FileNameBoxUndo();
    port.FileNameBoxReplace("");
    port.RepaintViewer();
    if (slideshow) EndEmptySlideshow(image, shell, port);
    return;
  }
  // The viewer takes the next file whatever it holds; the slideshow goes round the list once at
  // most, looking for a file it can show.
  const int attempts = slideshow ? count : 1;
  int index = selected;
  // A damaged file's message comes over its own (empty) window and title, not the last file's.
  std::vector<Message> held;
  const auto showHeld = [&] {
    for (const Message& message : held) port.ShowMessage(Owner::None, message);
  };
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) ResetImage(image, port);
    if (advance || attempt > 0) index = AdjacentIndex(index, count, shell.StepDirection);
    port.FileListSelect(index);
    const std::string name = port.FileListText(index);
    port.FileNameBoxUndo();
    port.FileNameBoxReplace(name);
    shell.ImageFolder = CurrentFolder();
    ReadImageFile(image, port, name, !slideshow, slideshow ? nullptr : &held);
    if (Shown(image)) break;
  }
  if (slideshow && !Shown(image)) {
    EndEmptySlideshow(image, shell, port);
    return;
  }

  const bool animatedGif = image.Kind == ImageKind::AnimatedGif && image.FrameDib;
  if (((image.Kind == ImageKind::IconSequence || image.Kind == ImageKind::AnimatedCursor) && image.Handle) || animatedGif) {
    // Animation frames do not go through the paint: the first one is drawn at once.
    port.DrawInWindow(target, [&](Surface& surface) {
      const Size client = surface.ClientSize();
      surface.FillRect({0, 0, client.width + 1, client.height + 1}, kWhite);
      DrawShownFrame(image, animatedGif ? image.FrameDib : image.Handle, surface, slideshow ? 0 : shell.TileMode,
                     slideshow);
    });
    port.SetViewerCaption(ViewerCaption(image));
    port.RepaintDialog();
    port.StartAnimationTimer(AnimationPeriod(image));
    image.Timer = true;
    if (slideshow) StartSlideTimer(shell, port);
    UpdateViewerMenu(image, shell, port);
    showHeld();
    return;
  }
  port.SetViewerCaption(ViewerCaption(image));
  port.RepaintViewer();
  showHeld();
  if (slideshow) {
    port.RepaintSlideshow();
    StartSlideTimer(shell, port);
  }
  port.RepaintDialog();
}

}  // namespace
}  // namespace ravelle
