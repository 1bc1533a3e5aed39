// The browsing dialog: template 1536's controls at their places, the folder, drive and type
// browsing that the system dialog did, and the preview pane.
#pragma once

#include <QDialog>
#include <QTimer>

#include <QElapsedTimer>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "port/port.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QMimeData;
class QPushButton;

namespace ravelle {

class QtApp;

// The first local file among dropped URLs: its folder and its name.
std::optional<std::pair<std::string, std::string>> DroppedFile(const QMimeData* data);
struct ControlTemplate;

// The owner-drawn preview pane. Mouse events pass through to the dialog, which owns the
// double-click zone. The widget reaches 3 pixels left of and above the pane's place, so that
// the frame drawn around a picture at the pane's edge is not cut off; its drawing origin stays
// at the pane's place.
class PreviewPane : public QWidget {
 public:
  static constexpr int kMargin = 3;
  PreviewPane(QtApp& app, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QtApp& app_;
};

class BrowserDialog : public QDialog {
 public:
  explicit BrowserDialog(QtApp& app);

  Size BaseUnits() const { return baseUnits_; }
  QListWidget* FileList() const { return files_; }
  QListWidget* FolderList() const { return folders_; }
  QLineEdit* FileNameBox() const { return nameBox_; }
  QComboBox* TypeCombo() const { return types_; }
  QComboBox* DrivesCombo() const { return drives_; }
  PreviewPane* Pane() const { return pane_; }
  QTimer& AnimationTimer() { return timer_; }
  QWidget* Control(int id) const;

  // Fills the lists for the process's current folder.
  void ShowCurrentFolder();
  // Makes `folder` the current folder and shows it; false when it cannot be entered.
  bool ChangeFolder(const QString& folder);
  // Switches the type filter to "All Files (*.*)".
  void ShowAllFileTypes();
  // Selects the file `name` of `folder` (the current one when empty), changing to the folder and,
  // when the type filter hides the file, to all file types; false when it is not there.
  bool SelectFile(const std::string& folder, const std::string& name);
  // The size the dialog opens at, from its template.
  QSize OpeningSize() const { return opening_; }
  // The preview box of the pane as it is laid out now.
  Size PreviewBox() const;
  // Where the preview pane's drawing origin lies in the dialog now.
  Point PaneOrigin() const;
  // The height of one row of the file and folder lists.
  int RowHeight() const { return rowHeight_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // A file dropped on the dialog is selected and shown, as if its name had been typed.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void CreateControls();
  void LayoutControls();
  void OpenTypedName();
  void FillFileList();
  void FillFolderList();
  void FillDrives();
  void FileSelectionChanged();

  QtApp& app_;
  Size baseUnits_;
  std::map<int, QWidget*> controls_;
  std::vector<std::pair<const ControlTemplate*, QWidget*>> placed_;
  QSize opening_;
  int rowHeight_ = 0;
  QElapsedTimer lastListSearch_;  // the last letter typed into a list's inline search
  QListWidget* files_ = nullptr;
  QListWidget* folders_ = nullptr;
  QLineEdit* nameBox_ = nullptr;
  QComboBox* types_ = nullptr;
  QComboBox* drives_ = nullptr;
  PreviewPane* pane_ = nullptr;
  QTimer timer_;
  bool filling_ = false;
};

// The base units of a font: the average width of the letters, rounded, and the line height.
Size BaseUnitsOf(const QFont& font);

}  // namespace ravelle
