// The full-screen window ("Full") and the slideshow window ("Slide"): frameless, screen-sized,
// painted by the logic, closed by a key or a left click.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

#include "port/port.h"
#include "view/full_screen.h"

class QScrollBar;

namespace ravelle {

class QtApp;
class Surface;

class FullScreenWindow : public QWidget {
 public:
  FullScreenWindow(QtApp& app, const ScrollBars& bars);
  void Release() { released_ = true; }

  // The scroll bars moved to these positions, and the image repainted.
  void SetScroll(Point position);
  QWidget* Canvas() const { return canvas_; }
  QScrollBar* VerticalBar() const { return vertical_; }
  QScrollBar* HorizontalBar() const { return horizontal_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QScrollBar* MakeBar(Qt::Orientation orientation, int range);

  QtApp& app_;
  QWidget* canvas_ = nullptr;
  QScrollBar* vertical_ = nullptr;
  QScrollBar* horizontal_ = nullptr;
  bool released_ = false;
};

class SlideshowWindow : public QWidget {
 public:
  explicit SlideshowWindow(QtApp& app);
  void Release() { released_ = true; }

  // The logic's paint runs at the next paint (and restarts the slide's three seconds).
  void Invalidate();
  // Draws into the window now, outside its paint, as animation frames are drawn.
  void DrawNow(const std::function<void(Surface&)>& draw);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitCanvas();

  QtApp& app_;
  // What the window shows: drawn by the logic's paint and by frames between paints.
  QImage canvas_;
  bool invalid_ = true;
  bool released_ = false;
};

// The full-screen keys: the arrows, Home, End, Page Up and Page Down; Other for the rest.
FullScreenKey FullScreenKeyOf(int qtKey);

}  // namespace ravelle
