// The desktop program: the port implemented with Qt Widgets. It owns the image record, the
// shell state and the windows, and turns the windows' events into calls of the logic.
#pragma once

#include <QPointer>

#include <memory>
#include <optional>
#include <string>

#include "platform/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

class QWidget;

namespace ravelle {

class BrowserDialog;
class ViewerWindow;
class FullScreenWindow;
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
  void FullScreenDismissed();
  void AnimationTick();
  // The preview pane has been laid out anew: its box is now `box`.
  void PreviewResized(Size box);

  BrowserDialog* Dialog() const { return dialog_.get(); }
  ViewerWindow* Viewer() const;
  FullScreenWindow* FullScreen() const;
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
  void OpenFullScreen() override;
  void OpenSlideshow() override;
  void PrintImage(bool large, bool tiled) override;
  void ShowAbout() override;
  void Help(HelpCommand command, int context) override;
  std::optional<std::string> AskSaveFileName(const SaveRequest& request) override;

 private:
  QWidget* OwnerWidget(Owner owner) const;

  std::optional<int> displayDepth_;
  std::unique_ptr<BrowserDialog> dialog_;
  QPointer<ViewerWindow> viewer_;
  QPointer<FullScreenWindow> fullScreen_;
  QPointer<HelpWindow> help_;
  int waitDepth_ = 0;
};

}  // namespace ravelle
