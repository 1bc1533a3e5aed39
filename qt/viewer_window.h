// The viewer window ("Meta"): the menu built from the menu resource, a client area painted by
// the logic, and any key or a left click closing it.
#pragma once

#include <QMainWindow>

#include <vector>

#include "port/port.h"

class QAction;

namespace ravelle {

class QtApp;

class ViewerWindow : public QMainWindow {
 public:
  explicit ViewerWindow(QtApp& app);

  // The client area the image is painted into.
  QWidget* Canvas() const { return canvas_; }
  // The menu item at a path of positions (a sub-menu's own action for a sub-menu).
  QAction* MenuAction(const MenuPath& path) const;
  // The window is being destroyed by the logic: closing it must not run the logic again.
  void Release() { released_ = true; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // A file dropped on the window is shown in it, as Next File shows the next one.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct MenuNode {
    QAction* action = nullptr;
    std::vector<MenuNode> items;
  };
  void BuildMenu();

  QtApp& app_;
  QWidget* canvas_ = nullptr;
  MenuNode menu_;
  bool released_ = false;
};

// Whether a key press is one the window sees as a key of its own (not Alt, F10 or an Alt
// combination, which belong to the menu).
bool IsWindowKey(const QKeyEvent& event);

}  // namespace ravelle
