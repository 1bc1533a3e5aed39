// The browsing dialog as a user drives it: growing it, changing folders, coming back from the
// viewer, the type filters, typed paths, files that give no picture, Escape, and the Save As
// dialog's refusal of a missing folder.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

#include <fstream>

#include "formats/metafile/metafile_builder.h"
#include "qt/dialogs.h"
#include "qt/qt_fixture.h"
#include "shell/browser.h"

namespace ravelle {
namespace {

using test::ModalAnswers;
using test::QtAppTest;
using test::ReadAndConfirm;
namespace fs = std::filesystem;

void Touch(const fs::path& file, const std::string& content = "x") { std::ofstream(file) << content; }

QStringList Names(const QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

// The number of pixels of `image` inside `area` that are darker than mid grey.
int InkIn(const QImage& image, QRect area) {
  int ink = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
  }
  return ink;
}

// The inside of the preview frame, in the pane widget's pixels, clear of the frame's lines.
QRect FrameInside(const CurrentImage& image) {
  const Rect f = image.PreviewFrame;
  const int m = PreviewPane::kMargin;
  return QRect(m + f.left + 2, m + f.top + 2, f.width - 4, f.height - 4);
}

TEST_F(QtAppTest, TheListsAndThePreviewGrowWithTheDialogAndTheButtonsMoveWithThePane) {
  BrowserDialog& dialog = *app.Dialog();
  const QSize opening = dialog.OpeningSize();
  QWidget* center = dialog.Control(kIdCenter);
  const QSize button = center->size();
  const int buttonToPane = center->x() - dialog.Pane()->x();
  const QSize openingFiles = dialog.FileList()->size();
  for (const QSize size : {opening, QSize(1600, 1000), QSize(opening.width() + 1, opening.height() + 37), opening}) {
    SCOPED_TRACE(size.width());
    dialog.resize(size);
    QTRY_COMPARE(dialog.size(), size);
    const QSize growth = size - opening;
    for (const QListWidget* list : {dialog.FileList(), dialog.FolderList()}) {
      EXPECT_EQ(list->viewport()->height() % dialog.RowHeight(), 0);  // no row cut in half
      EXPECT_EQ(list->horizontalScrollBar()->isVisible(), false);
    }
    EXPECT_GE(dialog.FileList()->height(), openingFiles.height() + growth.height() * 3 / 5 - dialog.RowHeight());
    EXPECT_EQ(dialog.FileList()->width(), openingFiles.width() + growth.width() / 3);
    EXPECT_EQ(center->size(), button);
    EXPECT_EQ(center->x() - dialog.Pane()->x(), buttonToPane);
    const Size box = PreviewBoxFor(dialog.BaseUnits(), {growth.width() - growth.width() / 3, growth.height()});
    EXPECT_EQ(app.image.PreviewBox, box);
    EXPECT_EQ(app.image.PreviewFrame, PreviewFrameFor(box, 120, 60));
    // The picture follows the box, and so does the zone that double-clicks open the viewer.
    const Rect f = app.image.PreviewFrame;
    const QImage pane = dialog.Pane()->grab().toImage();
    const int m = PreviewPane::kMargin;
    EXPECT_EQ(pane.pixelColor(m + f.left + f.width - 2, m + f.top + f.height / 2), QColor(255, 0, 0));
    const Point origin = dialog.PaneOrigin();
    EXPECT_TRUE(InPreviewPicture(app.image, origin, origin.x + f.left + f.width, origin.y + f.top));
  }
  EXPECT_EQ(dialog.FileList()->size(), openingFiles);
}

TEST_F(QtAppTest, ANewFolderListStartsAtItsTop) {
  for (const char* folder : {"one", "two"}) {
    fs::create_directory(dir / folder);
    for (int i = 0; i < 40; ++i) Touch(dir / folder / ("f" + std::to_string(100 + i) + ".bmp"));
  }
  BrowserDialog& dialog = *app.Dialog();
  ASSERT_TRUE(dialog.ChangeFolder(QString::fromStdString((dir / "one").string())));
  QScrollBar* bar = dialog.FileList()->verticalScrollBar();
  const auto scrollToEnd = [&] {
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
  };
  scrollToEnd();
  ASSERT_TRUE(dialog.ChangeFolder(QString::fromStdString((dir / "two").string())));
  QTest::qWait(20);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(dialog.FileList()->indexAt(QPoint(2, 2)).row(), 0);
  scrollToEnd();
  dialog.TypeCombo()->setCurrentIndex(1);  // another filter lists the folder anew, from its top too
  QTest::qWait(20);
  EXPECT_EQ(bar->value(), 0);
}

TEST_F(QtAppTest, ClosingTheViewerPutsTheFocusOnTheShownFileInTheList) {
  BrowserDialog& dialog = *app.Dialog();
  dialog.activateWindow();
  dialog.FileNameBox()->setFocus();
  QTRY_COMPARE(dialog.focusWidget(), static_cast<QWidget*>(dialog.FileNameBox()));
  OpenViewer();
  dialog.FileList()->setCurrentRow(0);  // grey.bmp, chosen but not opened
  QTest::keyClick(app.Viewer(), Qt::Key_Space);
  QTRY_VERIFY(app.Viewer() == nullptr);
  QTest::qWait(50);
  EXPECT_EQ(dialog.focusWidget(), static_cast<QWidget*>(dialog.FileList()));
  EXPECT_EQ(dialog.FileList()->currentItem()->text(), "red.bmp");
  EXPECT_TRUE(dialog.FileList()->currentItem()->isSelected());
}

// Which names each filter's patterns take is tested without the dialog; here, that the dialog
// lists by the filter chosen.
TEST_F(QtAppTest, TheFileListShowsWhatTheChosenTypeFilterTakes) {
  for (const char* name : {"a.TIF", "b.tiff", "c.JPEG", "f.txt"}) Touch(dir / name);
  BrowserDialog& dialog = *app.Dialog();
  dialog.ShowCurrentFolder();
  const int row = dialog.TypeCombo()->findText("tif, tiff");
  ASSERT_GE(row, 0);
  dialog.TypeCombo()->setCurrentIndex(row);
  EXPECT_EQ(Names(dialog.FileList()), (QStringList{"a.TIF", "b.tiff"}));
}

TEST_F(QtAppTest, AFullPathTypedIntoFileNameOpensItsFolderAndFile) {
  fs::create_directory(dir / "sub");
  fs::copy_file(dir / "grey.bmp", dir / "sub" / "Other.BMP");
  Touch(dir / "sub" / "notes.txt");
  BrowserDialog& dialog = *app.Dialog();
  struct Case {
    std::string typed;
    fs::path folder;      // the current folder afterwards
    std::string shown;    // the file shown afterwards
    bool notFound = false;
  };
  const Case cases[] = {
      {(dir / "sub" / "Other.BMP").string(), dir / "sub", "Other.BMP"},
      {(dir / "red.bmp").string(), dir.path(), "red.bmp"},
      {(dir / "sub").string() + "/", dir / "sub", ""},  // a folder: changed to, the old file let go
      {"  ../grey.bmp ", dir.path(), "grey.bmp"},
      {"sub/notes.txt", dir / "sub", "notes.txt"},              // hidden by the filter, shown all the same
      {(dir / "gone" / "x.bmp").string(), dir / "sub", "notes.txt", true},
      {"nothing.bmp", dir / "sub", "notes.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    QString reported;
    ModalAnswers answers({ReadAndConfirm(reported)});
    dialog.FileNameBox()->setText(QString::fromStdString(c.typed));
    dialog.FileNameBox()->setFocus();
    QTest::keyClick(dialog.FileNameBox(), Qt::Key_Return);
    if (c.notFound) {
      QTRY_VERIFY(answers.Done());
      EXPECT_EQ(reported, "File not found");
      EXPECT_EQ(dialog.FileNameBox()->text().toStdString(), c.typed);  // kept, to be corrected
    }
    EXPECT_EQ(fs::current_path(), c.folder);
    EXPECT_EQ(app.image.FilePath, c.shown);
  }
}

TEST_F(QtAppTest, ThePreviewSaysWhyAFileShowsNoPictureAndDrawsMetafiles) {
  Touch(dir / "notes.txt", "plain words");
  test::WriteBytes(dir / "broken.bmp", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0, 0xFF, 0x7F});
  test::WmfBuilder wmf;
  wmf.Rec(0x02FC, {0, 0, 0, 0}).Rec(0x012D, {0}).Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1});
  wmf.Rec(0x020B, {0, 0}).Rec(0x020C, {100, 100}).Rec(0x041B, {100, 100, 0, 0});  // black over the whole window
  test::WriteBytes(dir / "square.wmf", wmf.Placeable(0, 0, 100, 100, 96));
  test::EmfBuilder emf;
  emf.Rec(39, {1, 0, 0, 0}).Rec(37, {1}).Rec(37, {0x80000008}).Rec(43, {0, 0, 99, 49});
  test::WriteBytes(dir / "band.emf", emf.Bytes());
  BrowserDialog& dialog = *app.Dialog();
  dialog.ShowAllFileTypes();
  struct Case {
    const char* file;
    const char* note;
    bool inked;  // the frame's inside is mostly black (a picture) or has a line of text
  };
  const Case cases[] = {
      {"notes.txt", "No image", false},
      {"broken.bmp", "Damaged or unreadable file", false},
      {"square.wmf", "", true},
      {"band.emf", "", true},
  };
  int noteInk = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    QString message;
    ModalAnswers answers({ReadAndConfirm(message)});  // the broken bitmap's reader may say why
    app.FileListSelect(app.FileListFindExact(c.file));
    app.DialogCommand(kIdOk);
    QTest::qWait(60);
    EXPECT_EQ(PreviewNote(app.image), c.note);
    const QImage pane = dialog.Pane()->grab().toImage();
    const QRect inside = FrameInside(app.image);
    const int ink = InkIn(pane, inside);
    if (c.inked) {
      EXPECT_GT(ink, inside.width() * inside.height() * 9 / 10);
    } else {
      // One short line in the middle of the empty frame, and a longer line for the longer words.
      EXPECT_GT(ink, 20);
      EXPECT_GT(ink, noteInk);
      noteInk = ink;
      EXPECT_EQ(InkIn(pane, inside.adjusted(0, 0, 0, -inside.height() * 2 / 3)), 0);
    }
  }
}

TEST_F(QtAppTest, EscapeEndsTheProgramUnlessItCancelsAListSearch) {
  BrowserDialog& dialog = *app.Dialog();
  dialog.FileList()->setFocus();
  QTest::keyClick(dialog.FileList(), Qt::Key_G);
  QTest::keyClick(dialog.FileList(), Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.FileList()->currentItem()->text(), "grey.bmp");
  QTest::keyClick(dialog.FileList(), Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(QtAppTest, SaveAsRefusesAMissingFolderUnlessAMoveMakesIt) {
  struct Case {
    bool createsFolder;
    fs::path chosen;
    bool accepted;
  };
  const Case cases[] = {
      {false, dir / "new.bmp", true},
      {false, dir / "missing" / "new.bmp", false},
      {true, dir / "missing" / "new.bmp", true},
      {true, dir / "missing" / "deeper" / "new.bmp", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen.string());
    SaveRequest request;
    request.filters = {{"Windows Bitmap (*.bmp)", "*.bmp"}};
    request.initialFolder = dir.path().string();
    request.defaultExtension = "bmp";
    request.createsFolder = c.createsFolder;
    QString refusal;
    bool stillOpen = false;
    std::deque<std::function<void(QWidget*)>> steps = {[&](QWidget* widget) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      ASSERT_NE(dialog, nullptr);
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(c.chosen.string()));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }};
    if (!c.accepted) {
      steps.push_back(ReadAndConfirm(refusal));
      steps.push_back([&](QWidget* widget) {  // back in the dialog, which stayed open
        stillOpen = qobject_cast<QFileDialog*>(widget) != nullptr && widget->isVisible();
        QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
      });
    }
    ModalAnswers answers(std::move(steps));
    const auto result = ShowSaveDialog(nullptr, request);
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(result.has_value(), c.accepted);
    if (c.accepted) {
      ASSERT_TRUE(result);
      EXPECT_EQ(fs::path(*result), c.chosen);
    } else {
      EXPECT_TRUE(stillOpen);
      EXPECT_TRUE(refusal.contains("Folder not found")) << refusal.toStdString();
    }
  }
}

}  // namespace
}  // namespace ravelle
