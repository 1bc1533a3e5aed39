#include "shell/full_screen.h"

namespace ravelle {

void OpenFullScreenWindow(CurrentImage& image, ShellState& shell, Port& port) {
  if (image.FullScreen) return;
  const bool scrollable = image.Kind == ImageKind::Bitmap && image.Handle;
  const Size size = scrollable ? Size{image.Handle.Width(), image.Handle.Height()} : Size{};
  const ScrollBars bars = FullScreenScrollBars(scrollable, size, port.Screen());
  shell.ScrollOriginX = 0;
  shell.ScrollOriginY = 0;
  // A direction without a bar has nothing to scroll: Home and End leave it alone.
  shell.ScrollRangeX = bars.rangeX;
  shell.ScrollRangeY = bars.rangeY;
  image.FullScreen = true;
  port.OpenFullScreen(bars);
}

void FullScreenScroll(ShellState& shell, Port& port, bool vertical, int request, int thumb) {
  const int page = port.Screen().screen.width;
  if (vertical) {
    shell.ScrollOriginY = ScrolledOrigin(true, shell.ScrollOriginY, shell.ScrollRangeY, request, thumb, page);
  } else {
    shell.ScrollOriginX = ScrolledOrigin(false, shell.ScrollOriginX, shell.ScrollRangeX, request, thumb, page);
  }
  port.SetFullScreenScroll({-shell.ScrollOriginX, -shell.ScrollOriginY});
}

void FullScreenKeyDown(CurrentImage& image, ShellState& shell, Port& port, FullScreenKey key) {
  const std::vector<ScrollMessage> messages = ScrollMessagesForKey(key);
  if (messages.empty()) {
    shell.FullScreenKeyDown = image.Viewer && !shell.FullScreenPending;
    CloseFullScreen(image, shell, port);
    return;
  }
  for (const ScrollMessage& message : messages) {
    FullScreenScroll(shell, port, message.vertical, static_cast<int>(message.request), 0);
  }
}

bool ViewerTakesKey(const ShellState& shell) { return !shell.FullScreenKeyDown; }

void KeyReleased(ShellState& shell, bool autoRepeat) {
  if (!autoRepeat) shell.FullScreenKeyDown = false;
}

void CloseFullScreen(CurrentImage& image, ShellState& shell, Port& port) {
  const bool fromDialog = shell.FullScreenPending;
  shell.FullScreenPending = false;
  shell.ScrollOriginX = 0;
  shell.ScrollOriginY = 0;
  if (!image.FullScreen) return;
  image.FullScreen = false;
  port.DestroyFullScreen();
  // Back to where it was opened: the dialog's button leaves the dialog in front even when a
  // viewer is open, or the next click meant for the dialog would land in the viewer and close it.
  if (fromDialog) port.ActivateDialog();
}

}  // namespace ravelle
