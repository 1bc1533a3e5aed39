// What the tests of the desktop program share: answering modal dialogs, and a program started
// on a folder with a red 120 x 60 image (shown) and a grey one beside it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>

#include "qt/browser_dialog.h"
#include "qt/qt_app.h"
#include "qt/viewer_window.h"
#include "resources/dialogs.h"
#include "support/shell_fixture.h"

namespace ravelle::test {

namespace fs = std::filesystem;

// Answers the modal dialogs that come up while it lives, one handler each, in order. Scoped:
// it stops with the test, so it cannot answer the next test's dialogs.
class ModalAnswers {
 public:
  explicit ModalAnswers(std::deque<std::function<void(QWidget*)>> handlers) : handlers_(std::move(handlers)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal == last_ || handlers_.empty()) return;
      last_ = modal;
      auto handler = std::move(handlers_.front());
      handlers_.pop_front();
      handler(modal);
      // A handler that failed leaves its dialog open: close it, or the test would wait forever.
      if (::testing::Test::HasFailure()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
      }
    });
    timer_.start(20);
  }
  bool Done() const { return handlers_.empty(); }

 private:
  std::deque<std::function<void(QWidget*)>> handlers_;
  QPointer<QWidget> last_;
  QTimer timer_;
};

// A message box's text, answered with OK.
inline std::function<void(QWidget*)> ReadAndConfirm(QString& text) {
  return [&text](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    ASSERT_TRUE(box && box->button(QMessageBox::Ok));
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  };
}

class QtAppTest : public ::testing::Test {
 protected:
  // Writes the folder's files; the program starts on the one returned.
  virtual fs::path WriteFiles() {
    PackedDib red = CreateDib(120, 60, 24);
    for (std::size_t i = 0; i + 2 < red.Pixels().size(); i += 3) red.Pixels()[i + 2] = 255;
    WriteBitmapFile(dir / "red.bmp", red);
    WriteBitmapFile(dir / "grey.bmp", DrawDib(30, 30, 8));
    return dir / "red.bmp";
  }
  void SetUp() override {
    previous_ = fs::current_path();
    app.Start(WriteFiles().string());
    QTRY_VERIFY_WITH_TIMEOUT(app.image.Kind == ImageKind::Bitmap, 5000);
  }
  void TearDown() override { fs::current_path(previous_); }

  void OpenViewer() {
    QTest::mouseClick(app.Dialog()->Control(kIdCenter), Qt::LeftButton);
    ASSERT_NE(app.Viewer(), nullptr);
    app.Viewer()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Viewer()));
  }

  TempDir dir;
  QtApp app;

 private:
  fs::path previous_;
};

}  // namespace ravelle::test
