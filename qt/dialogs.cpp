#include "qt/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

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

// The Save As dialog: a name in a folder that does not exist is refused inside the dialog, as
// file dialogs do, except where the caller makes that folder itself (one level of it).
class SaveDialog : public QFileDialog {
 public:
  SaveDialog(QWidget* owner, bool createsFolder) : QFileDialog(owner), createsFolder_(createsFolder) {}

  void accept() override {
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty()) {
      const QFileInfo file(chosen.front());
      const QDir folder = file.absoluteDir();
      const bool missing = createsFolder_ ? !QFileInfo(folder.absolutePath()).dir().exists() : !folder.exists();
      if (!file.isDir() && missing) {
        QMessageBox::warning(this, windowTitle(),
                             QDir::toNativeSeparators(folder.absolutePath()) +
                                 QStringLiteral("\nFolder not found.\nPlease verify the correct folder name was given."));
        return;
      }
    }
    QFileDialog::accept();
  }

 private:
  bool createsFolder_;
};

// The detail view's columns wide enough for their headers and for what they show.
void WidenColumns(QFileDialog& dialog) {
  auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (tree == nullptr) return;
  const QFontMetrics metrics(tree->font());
  const int pad = 3 * metrics.averageCharWidth();
  const QString samples[] = {QString(), QStringLiteral("999.9 KiB"), QStringLiteral("File Folder"),
                             QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)), QLocale::ShortFormat)};
  QHeaderView* header = tree->header();
  header->setStretchLastSection(false);
  for (int column = 1; column < 4 && column < header->count(); ++column) {
    const QString title = tree->model()->headerData(column, Qt::Horizontal).toString();
    header->resizeSection(column, std::max(metrics.horizontalAdvance(title), metrics.horizontalAdvance(samples[column])) + pad);
  }
  header->setSectionResizeMode(0, QHeaderView::Stretch);
}

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
  // Wide enough for its title (a file's path for File Info), as far as the screen allows.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const int limit = screen != nullptr ? screen->availableGeometry().width() * 2 / 3 : 800;
    const int wanted = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + 120;
    grid->addItem(new QSpacerItem(std::min(wanted, limit), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
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
  SaveDialog dialog(owner, request.createsFolder);
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
  dialog.setViewMode(QFileDialog::Detail);
  WidenColumns(dialog);
  const QFontMetrics metrics(dialog.font());
  dialog.resize(std::max(dialog.sizeHint().width(), 70 * metrics.averageCharWidth()),
                std::max(dialog.sizeHint().height(), 26 * metrics.height()));
  dialog.selectFile(QString::fromStdString(request.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

void ShowAboutDialog(QWidget* owner, Size baseUnits) {
  const DialogTemplate& about = AboutDialogTemplate();
  QDialog dialog(owner);
  dialog.setWindowTitle(ToQString(about.caption));
  const Rect size = DialogUnitsToPixels(about.units, baseUnits);
  // Wide enough for the whole caption in the title bar; the icon and OK keep to the right edge.
  // (Title bars often use a larger, bold font than the dialog's.)
  const int wanted = QFontMetrics(dialog.font()).horizontalAdvance(dialog.windowTitle()) * 5 / 4 + 120;
  const int extra = std::max(0, wanted - size.width);
  dialog.setFixedSize(size.width + extra, size.height);
  for (const ControlTemplate& control : about.controls) {
    Rect place = DialogUnitsToPixels(control.units, baseUnits);
    if (control.kind != ControlKind::Static) place.left += extra;
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
