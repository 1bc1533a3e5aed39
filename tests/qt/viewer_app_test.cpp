// The desktop program driven through its widgets: the preview, Center, closing by a key,
// dropped files, Copy, and a conversion through the Save As dialog.
#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>

#include "qt/qt_fixture.h"
#include "shell/browser.h"
#include "support/animation_files.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::ModalAnswers;
using test::QtAppTest;
using test::ReadAndConfirm;
namespace fs = std::filesystem;

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
  const Point pane = app.Dialog()->PaneOrigin();
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

// The dialog's animation timer redraws the preview with the next frame: a GIF's, an icon
// sequence's next image and an animated cursor's next step.
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
  test::WriteBytes(dir / "walk.ani", AniFile({{"anih", Anih(2, 2)}, {"fram", Frames(2)}}));
  fs::current_path(dir.path());  // the list's names are relative to the folder it shows
  for (const char* name : {"anim.gif", "three.ico", "walk.ani"}) {
    SCOPED_TRACE(name);
    app.FileListAdd(name);
    app.FileListSelect(app.FileListFindExact(name));
    BrowserCommand(app.image, app.shell, app, kIdOk);
    ASSERT_TRUE(app.image.Timer);
    const QImage first = app.Dialog()->Pane()->grab().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(app.Dialog()->Pane()->grab().toImage() != first, 3000);
  }
}

// A file dropped on the dialog is selected, its folder changed to, and previewed; one dropped on
// the viewer is shown there, its folder becoming the list's; a folder is not taken. Copy puts the
// picture shown on the clipboard as PNG and BMP.
TEST_F(QtAppTest, DroppedFilesAreShownAndCopyPutsThePictureOnTheClipboard) {
  fs::create_directory(dir / "sub");
  fs::copy_file(dir / "grey.bmp", dir / "sub" / "dropped.bmp");
  const auto drop = [](QWidget* target, const fs::path& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &dropped);
    return true;
  };
  EXPECT_FALSE(drop(app.Dialog(), dir / "sub"));
  ASSERT_TRUE(drop(app.Dialog(), dir / "sub" / "dropped.bmp"));
  EXPECT_EQ(fs::current_path(), dir / "sub");
  QTRY_COMPARE(QString::fromStdString(app.image.FilePath), QString("dropped.bmp"));
  EXPECT_EQ(app.Dialog()->FileList()->currentItem()->text(), "dropped.bmp");
  OpenViewer();
  ASSERT_TRUE(drop(app.Viewer(), dir / "red.bmp"));
  EXPECT_EQ(fs::current_path(), dir.path());
  EXPECT_EQ(app.image.FilePath, "red.bmp");
  EXPECT_EQ(app.Viewer()->windowTitle(), QString("red.bmp     %1 bytes").arg(fs::file_size(dir / "red.bmp")));

  QAction* copy = app.Viewer()->MenuAction({0, 9});
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->isEnabled());
  copy->trigger();
  const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  for (const char* format : {"PNG", "BMP"}) {
    const QImage picture = QImage::fromData(copied->data(QString("image/") + QString(format).toLower()), format);
    EXPECT_EQ(picture.size(), QSize(120, 60)) << format;
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(255, 0, 0)) << format;
  }
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
