// The browsing dialog as a user drives it: growing it, typed paths, files that give no picture,
// Escape, and Save As.
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>

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

TEST_F(QtAppTest, TheListsAndThePreviewGrowWithTheDialogAndTheButtonsMoveWithThePane) {
  BrowserDialog& dialog = *app.Dialog();
  const QSize opening = dialog.OpeningSize();
  QWidget* center = dialog.Control(kIdCenter);
  const QSize button = center->size();
  const int buttonToPane = center->x() - dialog.Pane()->x();
  const QSize openingFiles = dialog.FileList()->size();
  for (const QSize size : {QSize(1600, 1000), QSize(opening.width() + 1, opening.height() + 37), opening}) {
    SCOPED_TRACE(size.width());
    dialog.resize(size);
    QTRY_COMPARE(dialog.size(), size);
    const QSize growth = size - opening;
    EXPECT_EQ(dialog.FileList()->viewport()->height() % dialog.RowHeight(), 0);  // no row cut in half
    EXPECT_EQ(dialog.FolderList()->viewport()->height() % dialog.RowHeight(), 0);
    EXPECT_GE(dialog.FileList()->height(), openingFiles.height() + growth.height() * 3 / 5 - dialog.RowHeight());
    EXPECT_EQ(dialog.FileList()->width(), openingFiles.width() + growth.width() / 3);
    EXPECT_EQ(center->size(), button);
    EXPECT_EQ(center->x() - dialog.Pane()->x(), buttonToPane);
    EXPECT_EQ(app.image.PreviewBox, PreviewBoxFor(dialog.BaseUnits(), {growth.width() - growth.width() / 3, growth.height()}));
    const Rect f = app.image.PreviewFrame;  // the picture follows the box
    const int m = PreviewPane::kMargin;
    EXPECT_EQ(dialog.Pane()->grab().toImage().pixelColor(m + f.left + f.width - 2, m + f.top + f.height / 2), QColor(255, 0, 0));
  }
}

TEST_F(QtAppTest, AFullPathTypedIntoFileNameOpensItsFolderAndFile) {
  fs::create_directory(dir / "sub");
  fs::copy_file(dir / "grey.bmp", dir / "sub" / "Other.BMP");
  Touch(dir / "sub" / "notes.txt");
  BrowserDialog& dialog = *app.Dialog();
  // What is typed; the current folder and the file shown afterwards.
  const struct { std::string typed; fs::path folder; std::string shown; bool notFound = false; } cases[] = {
      {(dir / "sub" / "Other.BMP").string(), dir / "sub", "Other.BMP"},
      {(dir / "sub").string() + "/", dir / "sub", ""},  // a folder: changed to, the old file let go
      {"  ../grey.bmp ", dir.path(), "grey.bmp"},
      {"sub/notes.txt", dir / "sub", "notes.txt"},              // hidden by the filter, shown all the same
      {(dir / "gone" / "x.bmp").string(), dir / "sub", "notes.txt", true},
  };
  for (const auto& c : cases) {
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
  test::WriteBytes(dir / "square.wmf", test::WmfBuilder()  // black over the whole window
                                           .Rec(0x02FC, {0, 0, 0, 0}).Rec(0x012D, {0}).Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1})
                                           .Rec(0x020B, {0, 0}).Rec(0x020C, {100, 100}).Rec(0x041B, {100, 100, 0, 0})
                                           .Placeable(0, 0, 100, 100, 96));
  BrowserDialog& dialog = *app.Dialog();
  dialog.ShowAllFileTypes();
  const struct { const char* file; const char* note; bool inked; } cases[] = {
      {"notes.txt", "No image", false}, {"square.wmf", "", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    app.FileListSelect(app.FileListFindExact(c.file));
    app.DialogCommand(kIdOk);
    QTest::qWait(60);
    EXPECT_EQ(PreviewNote(app.image), c.note);
    // Pixels darker than mid grey inside the frame, clear of its lines: most (a picture) or a line of text.
    const Rect f = app.image.PreviewFrame;
    const int m = PreviewPane::kMargin, inside = (f.width - 4) * (f.height - 4);
    const QImage pane = dialog.Pane()->grab().toImage();
    int ink = 0;
    for (int y = m + f.top + 2; y < m + f.top + f.height - 2; ++y) {
      for (int x = m + f.left + 2; x < m + f.left + f.width - 2; ++x) ink += qGray(pane.pixel(x, y)) < 128;
    }
    EXPECT_GT(ink, c.inked ? inside * 9 / 10 : 20);
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
  const struct { bool createsFolder; fs::path chosen; bool accepted; } cases[] = {
      {false, dir / "new.bmp", true},             {false, dir / "missing" / "new.bmp", false},
      {true, dir / "missing" / "new.bmp", true}, {true, dir / "missing" / "deeper" / "new.bmp", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen.string());
    SaveRequest request;
    request.filters = {{"Windows Bitmap (*.bmp)", "*.bmp"}}, request.initialFolder = dir.path().string();
    request.defaultExtension = "bmp", request.createsFolder = c.createsFolder;
    QString refusal;
    std::deque<std::function<void(QWidget*)>> steps = {[&](QWidget* widget) {
      auto* name = widget->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_TRUE(qobject_cast<QFileDialog*>(widget) && name);
      name->setText(QString::fromStdString(c.chosen.string()));
      QMetaObject::invokeMethod(widget, "accept", Qt::QueuedConnection);
    }};
    if (!c.accepted) {
      steps.push_back(ReadAndConfirm(refusal));
      steps.push_back([](QWidget* widget) {  // back in the dialog, which stayed open
        ASSERT_NE(qobject_cast<QFileDialog*>(widget), nullptr);
        QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
      });
    }
    ModalAnswers answers(std::move(steps));
    const auto result = ShowSaveDialog(nullptr, request);
    EXPECT_TRUE(answers.Done());
    ASSERT_EQ(result.has_value(), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(fs::path(*result), c.chosen);
    } else {
      EXPECT_TRUE(refusal.contains("Folder not found")) << refusal.toStdString();
    }
  }
}

}  // namespace
}  // namespace ravelle
