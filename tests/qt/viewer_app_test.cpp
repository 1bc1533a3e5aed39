// The desktop program driven through its widgets: the preview, Center, closing by a key, a
// menu command, and a conversion through the Save As dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>

#include "platform/qt/browser_dialog.h"
#include "platform/qt/qt_app.h"
#include "platform/qt/viewer_window.h"
#include "resources/dialogs.h"
#include "shell/browser.h"
#include "support/animation_files.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

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
std::function<void(QWidget*)> ReadAndConfirm(QString& text) {
  return [&text](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    ASSERT_NE(box, nullptr);
    text = box->text();
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    ASSERT_NE(ok, nullptr) << text.toStdString();
    ok->click();
  };
}

class QtAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    // A red 120 x 60 image, and a second file beside it.
    PackedDib red = CreateDib(120, 60, 24);
    for (std::size_t i = 0; i + 2 < red.Pixels().size(); i += 3) red.Pixels()[i + 2] = 255;
    test::WriteBitmapFile(dir / "red.bmp", red);
    test::WriteBitmapFile(dir / "grey.bmp", test::DrawDib(30, 30, 8));
    app.Start((dir / "red.bmp").string());
    QTRY_VERIFY_WITH_TIMEOUT(app.image.Kind == ImageKind::Bitmap, 5000);
  }
  void TearDown() override { fs::current_path(previous_); }

  void OpenViewer() {
    QTest::mouseClick(app.Dialog()->Control(kIdCenter), Qt::LeftButton);
    ASSERT_NE(app.Viewer(), nullptr);
    app.Viewer()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Viewer()));
  }

  test::TempDir dir;
  QtApp app;

 private:
  fs::path previous_;
};

TEST_F(QtAppTest, StartingWithAFileShowsItAndDoubleClickingThePictureOpensTheViewerAndAKeyClosesIt) {
  EXPECT_EQ(app.image.FilePath, "red.bmp");
  EXPECT_EQ(app.Dialog()->FileList()->currentItem()->text(), "red.bmp");
  EXPECT_EQ(app.Dialog()->FileNameBox()->text(), "red.bmp");
  const QImage preview = app.Dialog()->Pane()->grab().toImage();
  const Rect frame = app.image.PreviewFrame;
  ASSERT_GT(frame.width, 10);
  const int m = PreviewPane::kMargin;
  EXPECT_EQ(preview.pixelColor(m + frame.left + frame.width / 2, m + frame.top + frame.height / 2), QColor(255, 0, 0));
  EXPECT_EQ(preview.pixelColor(m + frame.left - 1, m + frame.top + 5), QColor(0, 0, 0));  // the frame's line

  ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Dialog()));
  const Point pane = PreviewPaneOrigin(app.Dialog()->BaseUnits());
  const QPoint picture(pane.x + frame.left + frame.width / 2, pane.y + frame.top + frame.height / 2);
  QTest::mouseDClick(app.Dialog()->windowHandle(), Qt::LeftButton, {}, picture);
  QTRY_VERIFY(app.Viewer() != nullptr);
  EXPECT_TRUE(app.image.Viewer);
  EXPECT_EQ(app.shell.TileMode, 0);
  EXPECT_EQ(app.Viewer()->windowTitle(), QString("red.bmp     %1 bytes").arg(fs::file_size(dir / "red.bmp")));
  app.Viewer()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Viewer()));
  const QImage client = app.Viewer()->Canvas()->grab().toImage();
  EXPECT_EQ(client.pixelColor(client.width() / 2, client.height() / 2), QColor(255, 0, 0));
  EXPECT_EQ(client.pixelColor(2, 2), QColor(255, 255, 255));

  QTest::keyClick(app.Viewer(), Qt::Key_Q);
  QTRY_VERIFY(app.Viewer() == nullptr);
  EXPECT_FALSE(app.image.Viewer);
}

// The dialog's animation timer redraws the preview with the next frame: a GIF's, and an icon
// sequence's next image.
TEST_F(QtAppTest, ThePreviewChangesBetweenTwoAnimationSteps) {
  using namespace test::gif;
  Bytes gif = Header("89a", 4, 2, 0x86, 128);
  Control(gif, 0, 0);
  Image(gif, 0, 0, 4, 2, Solid(4, 2, 1));
  Control(gif, 0, 0);
  Image(gif, 0, 0, 4, 2, Solid(4, 2, 120));
  Add(gif, {0x3B});
  test::WriteBytes(dir / "anim.gif", gif);
  using namespace test::icon;
  test::WriteBytes(dir / "three.ico", IconFile({Checkered(16, 4), Checkered(32, 8), Checkered(8, 24)}));
  fs::current_path(dir.path());  // the list's names are relative to the folder it shows
  for (const char* name : {"anim.gif", "three.ico"}) {
    SCOPED_TRACE(name);
    app.FileListAdd(name);
    app.FileListSelect(app.FileListFindExact(name));
    BrowserCommand(app.image, app.shell, app, kIdOk);
    ASSERT_TRUE(app.image.Timer);
    const QImage first = app.Dialog()->Pane()->grab().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(app.Dialog()->Pane()->grab().toImage() != first, 3000);
  }
}

TEST_F(QtAppTest, MenuCommandsReachTheLogic) {
  OpenViewer();
  QAction* centerTile = app.Viewer()->MenuAction({2});
  ASSERT_NE(centerTile, nullptr);
  QTRY_COMPARE(centerTile->text(), QString("&Tile"));  // set by the first paint
  centerTile->trigger();
  EXPECT_EQ(app.shell.TileMode, 1);
  EXPECT_EQ(centerTile->text(), QString("&Center"));

  QString shown;
  ModalAnswers answers({ReadAndConfirm(shown)});
  app.Viewer()->MenuAction({1})->trigger();  // File Info
  EXPECT_TRUE(answers.Done());
  EXPECT_EQ(shown.toStdString(), app.image.InfoText);
  EXPECT_TRUE(shown.startsWith("image type: "));
}

TEST_F(QtAppTest, AConversionThroughTheSaveAsDialogWritesTheFile) {
  OpenViewer();
  const fs::path target = dir / "copy of red.bmp";
  QString proposed;
  QString reported;
  ModalAnswers answers({[&](QWidget* widget) {
                          auto* dialog = qobject_cast<QFileDialog*>(widget);
                          ASSERT_NE(dialog, nullptr);
                          auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                          auto* view = dialog->findChild<QListView*>("listView");
                          ASSERT_NE(name, nullptr);
                          ASSERT_NE(view, nullptr);
                          proposed = name->text();
                          // The folder loads in the background and then selects the proposed
                          // name's file; once it has, a typed name replaces that choice.
                          ASSERT_TRUE(QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= 2; }));
                          QTest::qWait(50);
                          view->clearSelection();
                          name->setText(QString::fromStdString(target.string()));
                          // Queued, so that a box the dialog may raise is answered too.
                          QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                        },
                        ReadAndConfirm(reported)});
  app.Viewer()->MenuAction({5, 0, 0})->trigger();  // Convert/Save, BMP, Uncompressed
  EXPECT_TRUE(answers.Done());
  EXPECT_EQ(proposed, "red.bmp");
  ASSERT_TRUE(fs::exists(target));
  EXPECT_EQ(reported.toStdString(), target.string() + "\n\n" + std::to_string(fs::file_size(target)) + " bytes");
  EXPECT_EQ(fs::file_size(target), fs::file_size(dir / "red.bmp"));
  EXPECT_FALSE(app.Dialog()->FileList()->findItems("copy of red.bmp", Qt::MatchExactly).isEmpty());
}

}  // namespace
}  // namespace ravelle
