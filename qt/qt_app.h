// The desktop program: the port implemented with Qt Widgets. It owns the image record, the
// shell state and the windows, and turns the windows' events into calls of the logic.
#pragma once

#include <QPointer>
#include <QTimer>

#include <functional>

#include <memory>
#include <optional>
#include <string>

#include "port/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"
#include "view/full_screen.h"

class QPrinter;
class QScreen;
class QWidget;

namespace ravelle {

class BrowserDialog;
class ViewerWindow;
class FullScreenWindow;
class SlideshowWindow;
class HelpWindow;

class QtApp final : public Port {
 public:
  // `displayDepth` overrides the screen's depth (8 or 4 behave as on a palette display).
  explicit QtApp(std::optional<int> displayDepth = std::nullopt);
  ~QtApp() override;
  QtApp(const QtApp&) = delete;
  QtApp& operator=(const QtApp&) = delete;

  // Opens the browsing dialog in the folder of the file named on the command line, selecting
  // and showing the file (once the dialog is up). Returns at once.
  void Start(const std::string& commandLineFile);
  // Start, then run until Exit ends the dialog.
  int Run(const std::string& commandLineFile);

  // The logic's entry points for the windows' events.
  void DialogCommand(int id);
  void ViewerMenuCommand(int id);
  void ViewerDismissed();  // a key, a left click or the close box
  void FolderChanged();    // the dialog shows another folder
  void FileDroppedOnViewer(const std::string& folder, const std::string& name);
  void ViewerKeyDown();    // a key in the viewer: it closes the viewer unless full screen's
  void KeyReleased(bool autoRepeat);
  void FullScreenDismissed();
  void FullScreenKeyDown(FullScreenKey key);
  void FullScreenScroll(bool vertical, int request, int thumb);
  void SlideshowDismissed();
  void AnimationTick();
  // The preview pane has been laid out anew: its box is now `box`.
  void PreviewResized(Size box);

  BrowserDialog* Dialog() const { return dialog_.get(); }
  ViewerWindow* Viewer() const;
  FullScreenWindow* FullScreen() const;
  SlideshowWindow* Slideshow() const;
  // The slideshow's period, shortened by tests (0: the logic's own).
  void SetSlideIntervalForTests(int milliseconds) { slideIntervalForTests_ = milliseconds; }
  // Printing: the print dialog is answered by `choose` instead of being shown, when set (tests).
  void SetPrintDialogForTests(std::function<bool(QPrinter&)> choose) { choosePrinterForTests_ = std::move(choose); }
  HelpWindow* HelpBrowser() const;

  CurrentImage image;
  ShellState shell;

  // --- Port ------------------------------------------------------------------------------
  Answer ShowMessage(Owner owner, const Message& message) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  int DisplayDepth() override;
  Size DialogBaseUnits() override;
  Rect WorkArea() override;
  ScreenMetrics Screen() override;
  void DrawPreviewFrame(Rect box, Rect frame) override;
  void DrawPreviewImage(const PackedDib& image, Rect frame) override;
  void StartAnimationTimer(int milliseconds) override;
  void KillAnimationTimer() override;
  void RepaintDialog() override;
  void EndDialog() override;
  int FileListCount() override;
  int FileListSelection() override;
  std::string FileListText(int index) override;
  void FileListSelect(int index) override;
  bool FileListSelectPrefix(const std::string& prefix) override;
  int FileListFindExact(const std::string& name) override;
  void FileListAdd(const std::string& name) override;
  void FileListDelete(int index) override;
  void FileNameBoxUndo() override;
  void FileNameBoxReplace(const std::string& text) override;
  void OpenViewer(const std::string& caption, uint32_t style, Rect rect) override;
  void DestroyViewer() override;
  bool ViewerMaximized() override;
  void RestoreViewer() override;
  void ActivateDialog() override;
  void SetViewerCaption(const std::string& caption) override;
  void RepaintViewer() override;
  void SetMenuItemEnabled(const MenuPath& item, bool enabled) override;
  void SetMenuItemLabel(const MenuPath& item, const std::string& label) override;
  void DrawMenuBar() override {}
  void DrawInWindow(Owner window, const std::function<void(Surface&)>& draw) override;
  void OpenFullScreen(const ScrollBars& bars) override;
  void DestroyFullScreen() override;
  void SetFullScreenScroll(Point position) override;
  void OpenSlideshow() override;
  void DestroySlideshow() override;
  void RepaintSlideshow() override;
  void StartSlideTimer(int milliseconds) override;
  void KillSlideTimer() override;
  bool PrintPage(const std::string& documentName, const std::function<void(Surface&)>& draw) override;
  void ShowAbout() override;
  void CopyPicture(const PackedDib& picture) override;
  void Help(HelpCommand command, int context) override;
  std::optional<std::string> AskSaveFileName(const SaveRequest& request) override;

 private:
  QWidget* OwnerWidget(Owner owner) const;
  // The screen the viewer (or else the dialog) is on.
  QScreen* ActiveScreen() const;
  // Back to the viewer, or to the dialog when there is none.
  void ActivateViewerOrDialog();

  std::optional<int> displayDepth_;
  std::unique_ptr<BrowserDialog> dialog_;
  QPointer<ViewerWindow> viewer_;
  QPointer<FullScreenWindow> fullScreen_;
  QPointer<SlideshowWindow> slideshow_;
  QTimer slideTimer_;
  int slideIntervalForTests_ = 0;
  std::function<bool(QPrinter&)> choosePrinterForTests_;
  QPointer<HelpWindow> help_;
  int waitDepth_ = 0;
};

}  // namespace ravelle
