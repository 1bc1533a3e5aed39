// The browsing dialog as a user drives it: typed paths, Escape, and Save As.
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>

#include <fstream>

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
