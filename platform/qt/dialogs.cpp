#include "platform/qt/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QUrl>

#include "resources/dialogs.h"

namespace ravelle {
namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QMessageBox::Icon IconOf(unsigned style) {
  switch (style & 0xF0) {
    case kMbIconHand: return QMessageBox::Critical;
    case kMbIconExclamation: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    case 0x20: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

// Files only: the rename dialog lists no folders to wander into (the folders on the way down
// to its own stay, or it would show nothing).
class FilesOnly : public QSortFilterProxyModel {
 public:
  explicit FilesOnly(const QString& folder) : folder_(QDir::cleanPath(folder)) {}

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* model = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (model == nullptr) return true;
    const QModelIndex index = model->index(row, 0, parent);
    if (!model->isDir(index)) return true;
    const QString path = QDir::cleanPath(model->filePath(index));
    return path == folder_ || path == QStringLiteral("/") || folder_.startsWith(path + QLatin1Char('/'));
  }

 private:
  QString folder_;
};

QString HelpPage(int context) {
  switch (context) {
    case 102: return QStringLiteral("qrc:/help/browsing.html");
    default: return QStringLiteral("qrc:/help/index.html");
  }
}

}  // namespace

Answer ShowMessageBox(QWidget* owner, const Message& message) {
  QMessageBox box(owner);
  box.setWindowTitle(message.title.empty() ? QStringLiteral("Error") : QString::fromStdString(message.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(message.text));
  box.setIcon(IconOf(message.style));
  if ((message.style & 0x0F) == kMbYesNoCancel) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return (message.style & 0x0F) == kMbYesNoCancel ? Answer::Cancel : Answer::Ok;
  }
}

QStringList NameFilters(const SaveRequest& request) {
  QStringList filters;
  for (const auto& [description, patterns] : request.filters) {
    QString qtPatterns = QString::fromStdString(patterns).replace(';', ' ');
    // Names without a dot are files too: "*.*" and a bare "*." take every name.
    if (qtPatterns == "*.*" || qtPatterns == "*.") qtPatterns = "*";
    // The dialog hides the last parenthesised group, leaving the description as it stands.
    filters << QString::fromStdString(description) + " (" + qtPatterns + ")";
  }
  return filters;
}

std::optional<std::string> ShowSaveDialog(QWidget* owner, const SaveRequest& request) {
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!request.title.empty()) dialog.setWindowTitle(QString::fromStdString(request.title));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  dialog.setDirectory(QString::fromStdString(request.initialFolder));
  dialog.setNameFilters(NameFilters(request));
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("List files as &type:"));
  if (auto* label = dialog.findChild<QLabel*>("fileTypeLabel")) label->setBuddy(dialog.findChild<QWidget*>("fileTypeCombo"));
  if (request.stayInFolder) {
    // A rename stays in the source's folder: no folder list, no places, no way up or out.
    dialog.setProxyModel(new FilesOnly(QString::fromStdString(request.initialFolder)));
    for (const char* name : {"sidebar", "lookInLabel", "lookInCombo", "backButton", "forwardButton", "toParentButton",
                             "newFolderButton", "listModeButton", "detailModeButton"}) {
      if (auto* widget = dialog.findChild<QWidget*>(name)) widget->hide();
    }
  }
  dialog.selectFile(QString::fromStdString(request.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

void ShowAboutDialog(QWidget* owner, Size baseUnits) {
  const DialogTemplate& about = AboutDialogTemplate();
  QDialog dialog(owner);
  dialog.setWindowTitle(ToQString(about.caption));
  const Rect size = DialogUnitsToPixels(about.units, baseUnits);
  dialog.setFixedSize(size.width, size.height);
  for (const ControlTemplate& control : about.controls) {
    const Rect place = DialogUnitsToPixels(control.units, baseUnits);
    switch (control.kind) {
      case ControlKind::PushButton: {
        auto* ok = new QPushButton(ToQString(control.text), &dialog);
        ok->setGeometry(place.left, place.top, place.width, place.height);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        break;
      }
      case ControlKind::Icon: {
        auto* icon = new QLabel(&dialog);
        const QIcon program = QApplication::windowIcon();
        icon->setPixmap(program.pixmap(32, 32));
        icon->setGeometry(place.left, place.top, 32, 32);
        break;
      }
      default: {
        auto* text = new QLabel(ToQString(control.text), &dialog);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setGeometry(place.left, place.top, place.width, place.height);
        break;
      }
    }
  }
  dialog.exec();
}

HelpWindow::HelpWindow() {
  setWindowTitle(QStringLiteral("Ravelle Graphics' File Viewer Help"));
  setOpenExternalLinks(false);
  resize(640, 560);
}

void HelpWindow::ShowPage(int context) {
  setSource(QUrl(HelpPage(context)));
  show();
  raise();
  activateWindow();
}

}  // namespace ravelle
