#include "qt/viewer_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include "headless/painter_surface.h"
#include "qt/qt_app.h"
#include "qt/browser_dialog.h"
#include "resources/menu.h"
#include "shell/paint_shown.h"

namespace ravelle {
namespace {

// The client area: white, painted by the logic, closing the viewer on a left click.
class ViewerCanvas : public QWidget {
 public:
  explicit ViewerCanvas(QtApp& app, QWidget* parent) : QWidget(parent), app_(app) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    PainterSurface surface(painter, {width(), height()});
    PaintShownImage(app_.image, app_.shell, app_, surface, PaintTarget::Viewer);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) app_.ViewerDismissed();
  }

 private:
  QtApp& app_;
};

// A menu bar whose commands (File Info, Center, Full Screen, Last File, Next File, Help) run on
// their access key at once, as menu-bar commands do, instead of only being highlighted.
class CommandMenuBar : public QMenuBar {
 public:
  using QMenuBar::QMenuBar;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::Shortcut) {
      const QKeySequence key = static_cast<QShortcutEvent*>(event)->key();
      for (QAction* action : actions()) {
        if (action->menu() == nullptr && action->isEnabled() && QKeySequence::mnemonic(action->text()) == key) {
          action->trigger();
          return true;
        }
      }
    }
    return QMenuBar::event(event);
  }
};

}  // namespace

bool IsWindowKey(const QKeyEvent& event) {
  const int key = event.key();
  if (key == Qt::Key_Alt || key == Qt::Key_AltGr || key == Qt::Key_F10 || key == Qt::Key_Meta) return false;
  return !(event.modifiers() & Qt::AltModifier);
}

ViewerWindow::ViewerWindow(QtApp& app) : QMainWindow(nullptr), app_(app) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  canvas_ = new ViewerCanvas(app_, this);
  setCentralWidget(canvas_);
  setMenuBar(new CommandMenuBar(this));
  menuBar()->setNativeMenuBar(false);
  setAcceptDrops(true);
  BuildMenu();
}

void ViewerWindow::BuildMenu() {
  // Each item of the resource becomes an action in the same position, so that the logic can
  // address it by position.
  const std::function<void(const MenuItem&, QMenu*, MenuNode&)> add = [&](const MenuItem& item, QMenu* into,
                                                                         MenuNode& node) {
    const QString label = QString::fromStdString(item.label);
    if (item.IsSeparator()) {
      node.action = into->addSeparator();
    } else if (item.IsPopup()) {
      QMenu* sub = into != nullptr ? into->addMenu(label) : menuBar()->addMenu(label);
      node.action = sub->menuAction();
      for (const MenuItem& child : item.items) add(child, sub, node.items.emplace_back());
    } else {
      node.action = into != nullptr ? into->addAction(label) : menuBar()->addAction(label);
      const int id = item.id;
      connect(node.action, &QAction::triggered, this, [this, id] { app_.ViewerMenuCommand(id); });
    }
    node.action->setEnabled(!item.grayed);
  };
  menu_.items.reserve(ViewerMenuResource().items.size());
  for (const MenuItem& item : ViewerMenuResource().items) add(item, nullptr, menu_.items.emplace_back());
}

QAction* ViewerWindow::MenuAction(const MenuPath& path) const {
  const MenuNode* node = &menu_;
  for (const int position : path) {
    if (position < 0 || static_cast<std::size_t>(position) >= node->items.size()) return nullptr;
    node = &node->items[static_cast<std::size_t>(position)];
  }
  return node->action;
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedFile(event->mimeData())) event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
  const auto file = DroppedFile(event->mimeData());
  if (!file) return;
  event->acceptProposedAction();
  app_.FileDroppedOnViewer(file->first, file->second);
}

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
  if (IsWindowKey(*event)) {
    app_.ViewerKeyDown();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void ViewerWindow::keyReleaseEvent(QKeyEvent* event) {
  app_.KeyReleased(event->isAutoRepeat());
  QMainWindow::keyReleaseEvent(event);
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
  if (released_) {
    event->accept();
    return;
  }
  event->ignore();
  app_.ViewerDismissed();
}

}  // namespace ravelle
