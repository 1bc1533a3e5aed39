// The desktop program driven through its widgets: the preview, the viewer, closing by a key,
// dropped files and Copy.
#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QListWidget>

#include "qt/qt_fixture.h"

namespace ravelle {
namespace {

using test::QtAppTest;
namespace fs = std::filesystem;

TEST_F(QtAppTest, StartingWithAFileShowsItAndDoubleClickingThePictureOpensTheViewerAndAKeyClosesIt) {
  EXPECT_EQ(app.Dialog()->FileList()->currentItem()->text(), "red.bmp");
  const QImage preview = app.Dialog()->Pane()->grab().toImage();
  const Rect frame = app.image.PreviewFrame;
  const int m = PreviewPane::kMargin;
  EXPECT_EQ(preview.pixelColor(m + frame.left + frame.width / 2, m + frame.top + frame.height / 2), QColor(255, 0, 0));
  EXPECT_EQ(preview.pixelColor(m + frame.left - 1, m + frame.top + 5), QColor(0, 0, 0));  // the frame's line

  ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Dialog()));
  const Point pane = app.Dialog()->PaneOrigin();
  const QPoint picture(pane.x + frame.left + frame.width / 2, pane.y + frame.top + frame.height / 2);
  QTest::mouseDClick(app.Dialog()->windowHandle(), Qt::LeftButton, {}, picture);
  QTRY_VERIFY(app.Viewer() != nullptr);
  EXPECT_EQ(app.Viewer()->windowTitle(), QString("red.bmp     %1 bytes").arg(fs::file_size(dir / "red.bmp")));
  app.Viewer()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(app.Viewer()));
  const QImage client = app.Viewer()->Canvas()->grab().toImage();
  EXPECT_EQ(client.pixelColor(client.width() / 2, client.height() / 2), QColor(255, 0, 0));
  EXPECT_EQ(client.pixelColor(2, 2), QColor(255, 255, 255));

  QTest::keyClick(app.Viewer(), Qt::Key_Q);
  QTRY_VERIFY(app.Viewer() == nullptr);
}

// A dropped file is shown, its folder becoming the list's; a folder is not taken. Copy puts the
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

  app.Viewer()->MenuAction({0, 9})->trigger();  // Copy
  const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  for (const char* format : {"PNG", "BMP"}) {
    const QImage picture = QImage::fromData(copied->data(QString("image/") + QString(format).toLower()), format);
    EXPECT_EQ(picture.size(), QSize(120, 60)) << format;
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(255, 0, 0)) << format;
  }
}

}  // namespace
}  // namespace ravelle
