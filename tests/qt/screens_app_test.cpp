// The full-screen window, the slideshow and printing, driven through the desktop program's
// widgets on the offscreen platform (its screen is 800 x 600).
#include <QAction>
#include <QPrinter>
#include <QScrollBar>

#include "qt/full_screen_window.h"
#include "qt/qt_fixture.h"
#include "support/test_images.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;

class ScreensTest : public test::QtAppTest {
 protected:
  // A 2000 x 1500 picture whose left half is red and right half blue, and a small grey one.
  fs::path WriteFiles() override {
    PackedDib big = CreateDib(2000, 1500, 24);
    for (int i = 0; i < 2000 * 1500; ++i) test::SetPixel(big, i % 2000, i / 2000, i % 2000 < 1000 ? test::Rgb(255, 0, 0) : test::Rgb(0, 0, 255));
    test::WriteBitmapFile(dir / "big.bmp", big);
    test::WriteBitmapFile(dir / "grey.bmp", test::DrawDib(30, 30, 8));
    return dir / "big.bmp";
  }
  QColor FullScreenPixel(int x, int y) { return app.FullScreen()->Canvas()->grab().toImage().pixelColor(x, y); }
};

TEST_F(ScreensTest, FullScreenFromTheDialogScrollsWithKeysAndClosesOnALeftClick) {
  QTest::mouseClick(app.Dialog()->Control(kIdFullScreen), Qt::LeftButton);
  FullScreenWindow* window = app.FullScreen();
  ASSERT_NE(window, nullptr);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  ASSERT_TRUE(window->VerticalBar() && window->HorizontalBar());
  EXPECT_EQ(window->HorizontalBar()->maximum(), app.shell.ScrollRangeX);
  EXPECT_EQ(FullScreenPixel(5, 5), QColor(255, 0, 0));
  // The corner between the two bars belongs to them: painted as they are, and a click closes nothing.
  const QPoint corner(window->width() - 2, window->height() - 2);
  EXPECT_EQ(window->grab().toImage().pixelColor(corner), window->palette().window().color());
  QTest::mouseClick(window, Qt::LeftButton, {}, corner);
  ASSERT_EQ(app.FullScreen(), window);

  for (const auto key : {Qt::Key_Down, Qt::Key_Right}) QTest::keyClick(window, key);
  EXPECT_EQ(window->VerticalBar()->sliderPosition(), 8);
  EXPECT_EQ(window->HorizontalBar()->sliderPosition(), 8);
  QTest::keyClick(window, Qt::Key_End);  // the bottom-right corner: blue
  EXPECT_EQ(window->HorizontalBar()->sliderPosition(), app.shell.ScrollRangeX);
  EXPECT_EQ(FullScreenPixel(5, 5), QColor(0, 0, 255));
  // A click in the horizontal bar's shaft moves by a screen width.
  window->HorizontalBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(app.shell.ScrollOriginX, std::min(-app.shell.ScrollRangeX + app.Screen().screen.width, 0));
  QTest::mouseClick(window->Canvas(), Qt::RightButton);
  EXPECT_NE(app.FullScreen(), nullptr);  // the right button does nothing
  QTest::mouseClick(window->Canvas(), Qt::LeftButton);
  EXPECT_EQ(app.FullScreen(), nullptr);
}

TEST_F(ScreensTest, TheSlideshowStepsOnItsTimerAndAKeyEndsIt) {
  OpenViewer();
  app.SetSlideIntervalForTests(40);
  app.Viewer()->MenuAction({7, 0})->trigger();  // Show Slideshow
  SlideshowWindow* show = app.Slideshow();
  ASSERT_NE(show, nullptr);
  show->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(show));
  QTRY_COMPARE(app.image.FilePath, std::string("grey.bmp"));
  QTRY_COMPARE(app.image.FilePath, std::string("big.bmp"));  // round to the first again
  const QImage slide = show->grab().toImage();
  EXPECT_EQ(slide.pixelColor(slide.width() / 4, slide.height() / 2), QColor(255, 0, 0));

  QTest::keyClick(show, Qt::Key_A);
  EXPECT_EQ(app.Slideshow(), nullptr);
  EXPECT_FALSE(app.shell.SlideTimerRunning);
}

TEST_F(ScreensTest, PrintingWritesOnePageNamedAfterTheKind) {
  OpenViewer();
  const fs::path pdf = dir / "printed.pdf";
  app.SetPrintDialogForTests([&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    return true;
  });
  app.Viewer()->MenuAction({4, 0})->trigger();  // Print Normal
  const auto raw = test::ReadBytes(pdf);
  const std::string bytes(raw.begin(), raw.end());
  EXPECT_NE(bytes.find("/Count 1"), std::string::npos);
  EXPECT_NE(bytes.find("/FlateDecode"), std::string::npos);  // the image kept without loss

  app.SetPrintDialogForTests([](QPrinter&) { return false; });  // cancelled
  fs::remove(pdf);
  app.Viewer()->MenuAction({4, 1})->trigger();
  EXPECT_FALSE(fs::exists(pdf));
}

}  // namespace
}  // namespace ravelle
