#include "shell/step.h"

#include <algorithm>

#include "shell/file_operation.h"
#include "shell/load.h"
#include "shell/menu_state.h"
#include "shell/paint_shown.h"

namespace ravelle {

int AnimationPeriod(const CurrentImage& image) {
  // A delay of 0 would make the timer fire without pause; one hundredth is the shortest step.
  const int delay = std::max(image.Delay, 1);
  if (image.Kind == ImageKind::AnimatedGif && image.DisplayDepth <= 8) return delay * 5;
  return delay * 9;
}

void LoadAdjacentFile(CurrentImage& image, ShellState& shell, Port& port) {
  ReleaseImage(image, port);
  image.Kind = ImageKind::NoImage;
  image.InfoText.clear();
  image.PendingOrientation = 0;
  image.ReductionApplied = false;
  image.BrightnessLevel = 0;

  const int count = port.FileListCount();
  const int selected = port.FileListSelection();
  if (count <= 0 || selected < 0) {
    image.FilePath.clear();
    port.SetViewerCaption("");
    port.FileNameBoxUndo();
    port.FileNameBoxReplace("");
    port.RepaintViewer();
    return;
  }
  int next = 0;
  if (shell.StepDirection == 1) {
    next = selected >= count - 1 ? 0 : selected + 1;
  } else {
    next = selected == 0 ? count - 1 : std::min(selected - 1, count - 1);
  }
  port.FileListSelect(next);
  const std::string name = port.FileListText(next);
  port.FileNameBoxUndo();
  port.FileNameBoxReplace(name);

  shell.ImageFolder = CurrentFolder();
  ReadImageFile(image, port, name);

  const bool animatedGif = image.Kind == ImageKind::AnimatedGif && image.FrameDib;
  if (((image.Kind == ImageKind::IconSequence || image.Kind == ImageKind::AnimatedCursor) && image.Handle) || animatedGif) {
    // Animation frames do not go through the paint: the first one is drawn at once.
    port.DrawInWindow(Owner::Viewer, [&](Surface& surface) {
      const Size client = surface.ClientSize();
      surface.FillRect({0, 0, client.width + 1, client.height + 1}, kWhite);
      DrawShownFrame(image, animatedGif ? image.FrameDib : image.Handle, surface, shell.TileMode, false);
    });
    port.SetViewerCaption(ViewerCaption(image));
    port.RepaintDialog();
    port.StartAnimationTimer(AnimationPeriod(image));
    image.Timer = true;
    UpdateViewerMenu(image, shell, port);
    return;
  }
  port.SetViewerCaption(ViewerCaption(image));
  port.RepaintViewer();
  port.RepaintDialog();
}

}  // namespace ravelle
