#include "qt/full_screen_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "headless/painter_surface.h"
#include "qt/qt_app.h"
#include "qt/viewer_window.h"
#include "shell/full_screen.h"
#include "shell/paint_shown.h"
#include "shell/slideshow.h"

namespace ravelle {
namespace {

// The image's part of the full-screen window, beside its scroll bars.
class FullScreenCanvas : public QWidget {
 public:
  FullScreenCanvas(QtApp& app, QWidget* parent) : QWidget(parent), app_(app) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);  // the class background
    PainterSurface surface(painter, {width(), height()});
    PaintShownImage(app_.image, app_.shell, app_, surface, PaintTarget::FullScreen);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) app_.FullScreenDismissed();
  }

 private:
  QtApp& app_;
};

// The scroll bar's own actions as the requests the logic takes; -1 for the thumb being dragged.
int RequestOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return static_cast<int>(ScrollRequest::LineUp);
    case QAbstractSlider::SliderSingleStepAdd: return static_cast<int>(ScrollRequest::LineDown);
    case QAbstractSlider::SliderPageStepSub: return static_cast<int>(ScrollRequest::PageUp);
    case QAbstractSlider::SliderPageStepAdd: return static_cast<int>(ScrollRequest::PageDown);
    case QAbstractSlider::SliderToMinimum: return static_cast<int>(ScrollRequest::Top);
    case QAbstractSlider::SliderToMaximum: return static_cast<int>(ScrollRequest::Bottom);
    default: return -1;
  }
}

}  // namespace

FullScreenKey FullScreenKeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_PageUp: return FullScreenKey::PageUp;
    case Qt::Key_PageDown: return FullScreenKey::PageDown;
    case Qt::Key_End: return FullScreenKey::End;
    case Qt::Key_Home: return FullScreenKey::Home;
    case Qt::Key_Left: return FullScreenKey::Left;
    case Qt::Key_Up: return FullScreenKey::Up;
    case Qt::Key_Right: return FullScreenKey::Right;
    case Qt::Key_Down: return FullScreenKey::Down;
    default: return FullScreenKey::Other;
  }
}

FullScreenWindow::FullScreenWindow(QtApp& app, const ScrollBars& bars)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), app_(app) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::BlankCursor);
  setFocusPolicy(Qt::StrongFocus);
  setWindowTitle("A");
  canvas_ = new FullScreenCanvas(app_, this);
  if (bars.vertical) vertical_ = MakeBar(Qt::Vertical, bars.rangeY);
  if (bars.horizontal) horizontal_ = MakeBar(Qt::Horizontal, bars.rangeX);
}

QScrollBar* FullScreenWindow::MakeBar(Qt::Orientation orientation, int range) {
  auto* bar = new QScrollBar(orientation, this);
  bar->setFocusPolicy(Qt::NoFocus);
  bar->setCursor(Qt::ArrowCursor);
  bar->setRange(0, range);
  bar->setSingleStep(8);
  const bool vertical = orientation == Qt::Vertical;
  // The bar reports what was asked; the logic answers with the position the bar then takes.
  connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, vertical](int action) {
    const int request = RequestOf(action);
    if (request >= 0) {
      app_.FullScreenScroll(vertical, request, 0);
    } else if (!bar->isSliderDown()) {
      // A wheel turn moves only the thumb: the image moves by the bar's own requests.
      bar->setSliderPosition(vertical ? -app_.shell.ScrollOriginY : -app_.shell.ScrollOriginX);
    }
  });
  connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar, vertical] {
    app_.FullScreenScroll(vertical, static_cast<int>(ScrollRequest::ThumbPosition), bar->sliderPosition());
  });
  return bar;
}

void FullScreenWindow::SetScroll(Point position) {
  if (horizontal_ != nullptr) horizontal_->setSliderPosition(position.x);
  if (vertical_ != nullptr) vertical_->setSliderPosition(position.y);
  canvas_->update();
}

void FullScreenWindow::resizeEvent(QResizeEvent*) {
  const ScreenMetrics metrics = app_.Screen();
  const int barWidth = vertical_ != nullptr ? metrics.vScrollWidth : 0;
  const int barHeight = horizontal_ != nullptr ? metrics.hScrollHeight : 0;
  const int w = std::max(width() - barWidth, 0);
  const int h = std::max(height() - barHeight, 0);
  canvas_->setGeometry(0, 0, w, h);
  if (vertical_ != nullptr) {
    vertical_->setGeometry(w, 0, barWidth, h);
    vertical_->setPageStep(std::max(h, 1));
  }
  if (horizontal_ != nullptr) {
    horizontal_->setGeometry(0, h, w, barHeight);
    horizontal_->setPageStep(std::max(w, 1));
  }
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event) {
  if (!IsWindowKey(*event)) {
    QWidget::keyPressEvent(event);
    return;
  }
  app_.FullScreenKeyDown(FullScreenKeyOf(event->key()));
}

// Only the corner between two scroll bars is left to the window itself: it belongs to the bars,
// not to the image, so it is painted as they are and a click on it closes nothing.
void FullScreenWindow::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), palette().window()); }

void FullScreenWindow::closeEvent(QCloseEvent* event) {
  if (released_) {
    event->accept();
    return;
  }
  event->ignore();
  app_.FullScreenDismissed();
}

SlideshowWindow::SlideshowWindow(QtApp& app) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), app_(app) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::BlankCursor);
  setFocusPolicy(Qt::StrongFocus);
  setWindowTitle("A");
}

void SlideshowWindow::FitCanvas() {
  const QSize size = this->size().expandedTo(QSize(1, 1));
  if (canvas_.size() == size) return;
  canvas_ = QImage(size, QImage::Format_RGB32);
  canvas_.fill(Qt::white);
  invalid_ = true;
}

void SlideshowWindow::Invalidate() {
  invalid_ = true;
  update();
}

void SlideshowWindow::DrawNow(const std::function<void(Surface&)>& draw) {
  FitCanvas();
  {
    QPainter painter(&canvas_);
    PainterSurface surface(painter, {width(), height()});
    draw(surface);
  }
  update();
}

void SlideshowWindow::paintEvent(QPaintEvent*) {
  FitCanvas();
  if (invalid_) {
    invalid_ = false;
    QPainter painter(&canvas_);
    PainterSurface surface(painter, {width(), height()});
    PaintSlideshowWindow(app_.image, app_.shell, app_, surface);
  }
  QPainter(this).drawImage(0, 0, canvas_);
}

void SlideshowWindow::keyPressEvent(QKeyEvent* event) {
  if (!IsWindowKey(*event)) {
    QWidget::keyPressEvent(event);
    return;
  }
  app_.SlideshowDismissed();
}

void SlideshowWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) app_.SlideshowDismissed();
}

void SlideshowWindow::closeEvent(QCloseEvent* event) {
  if (released_) {
    event->accept();
    return;
  }
  event->ignore();
  app_.SlideshowDismissed();
}

}  // namespace ravelle
