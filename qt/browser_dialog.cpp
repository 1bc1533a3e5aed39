#include "qt/browser_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QUrl>

#include "headless/painter_surface.h"
#include "qt/qt_app.h"
#include "resources/dialogs.h"
#include "shell/browser.h"

namespace ravelle {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;

// The rows of both lists: all of one height, so that a list holds whole rows; a name wider than
// the list is shortened in its middle, where similar names differ least; folders are indented by
// their depth, icon and all, as in a tree.
class ListRows : public QStyledItemDelegate {
 public:
  ListRows(int height, bool indented, QObject* parent) : QStyledItemDelegate(parent), height_(height), indented_(indented) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width() + Indent(index), height_};
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem row(option);
    row.rect.adjust(Indent(index), 0, 0, 0);
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
      row.rect.setRight(std::min(row.rect.right(), view->viewport()->width() - 1));
    }
    QStyledItemDelegate::paint(painter, row, index);
  }

 private:
  int Indent(const QModelIndex& index) const { return indented_ ? kIndent * index.data(kDepthRole).toInt() : 0; }
  static constexpr int kIndent = 8;
  int height_;
  bool indented_;
};

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QRect ToQRect(Rect r) { return QRect(r.left, r.top, r.width, r.height); }

// The label whose access key moves the focus to a control.
int BuddyOf(int labelId) {
  switch (labelId) {
    case kIdFileNameLabel: return kIdFileNameBox;
    case kIdFoldersLabel: return kIdFolderList;
    case kIdTypeLabel: return kIdTypeCombo;
    case kIdDrivesLabel: return kIdDrivesCombo;
    default: return 0;
  }
}

}  // namespace

Size BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

PreviewPane::PreviewPane(QtApp& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PreviewPane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.translate(kMargin, kMargin);
  const QColor face = palette().color(QPalette::Window);
  PainterSurface surface(painter, {width() - kMargin, height() - kMargin},
                         {static_cast<uint8_t>(face.red()), static_cast<uint8_t>(face.green()),
                          static_cast<uint8_t>(face.blue())});
  PaintPreviewPane(app_.image, surface);
}

BrowserDialog::BrowserDialog(QtApp& app) : QDialog(nullptr, Qt::Window), app_(app), baseUnits_(BaseUnitsOf(font())) {
  const DialogTemplate& dialog = BrowserDialogTemplate();
  setWindowTitle(ToQString(dialog.caption));
  setModal(false);
  setSizeGripEnabled(false);
  setAcceptDrops(true);
  const Rect size = DialogUnitsToPixels(dialog.units, baseUnits_);
  opening_ = QSize(size.width, size.height);
  rowHeight_ = std::max(QFontMetrics(font()).height(), style()->pixelMetric(QStyle::PM_SmallIconSize)) + 4;
  resize(opening_);
  setMinimumSize(opening_);
  CreateControls();
  LayoutControls();
  timer_.setSingleShot(false);
  connect(&timer_, &QTimer::timeout, this, [this] { app_.AnimationTick(); });
}

QWidget* BrowserDialog::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void BrowserDialog::CreateControls() {
  std::map<int, QLabel*> labels;
  for (const ControlTemplate& control : BrowserDialogTemplate().controls) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::Static: {
        auto* label = new QLabel(ToQString(control.text), this);
        labels[control.id] = label;
        widget = label;
        break;
      }
      case ControlKind::Edit:
        nameBox_ = new QLineEdit(this);
        widget = nameBox_;
        break;
      case ControlKind::ListBox: {
        auto* list = new QListWidget(this);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setUniformItemSizes(true);
        list->setTextElideMode(Qt::ElideMiddle);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setItemDelegate(new ListRows(rowHeight_, control.id == kIdFolderList, list));
        list->installEventFilter(this);
        widget = list;
        if (control.id == kIdFileList) {
          files_ = list;
          connect(list, &QListWidget::currentRowChanged, this, [this] { FileSelectionChanged(); });
          connect(list, &QListWidget::itemDoubleClicked, this, [this] { app_.DialogCommand(kIdOk); });
        } else {
          folders_ = list;
          connect(list, &QListWidget::itemDoubleClicked, this,
                  [this](QListWidgetItem* item) { ChangeFolder(item->data(kPathRole).toString()); });
        }
        break;
      }
      case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        widget = combo;
        if (control.id == kIdTypeCombo) {
          types_ = combo;
          for (const TypeFilter& filter : TypeFilters()) combo->addItem(ToQString(filter.description));
          connect(combo, &QComboBox::currentIndexChanged, this, [this] { FillFileList(); });
        } else {
          drives_ = combo;
          connect(combo, &QComboBox::activated, this,
                  [this](int index) { ChangeFolder(drives_->itemData(index, kPathRole).toString()); });
        }
        break;
      }
      case ControlKind::PushButton: {
        auto* button = new QPushButton(ToQString(control.text), this);
        button->setAutoDefault(false);
        button->setDefault(false);
        const int id = control.id;
        connect(button, &QPushButton::clicked, this, [this, id] { app_.DialogCommand(id); });
        widget = button;
        break;
      }
      case ControlKind::CheckBox:
        widget = new QCheckBox(ToQString(control.text), this);
        break;
      case ControlKind::OwnerDrawButton:
        pane_ = new PreviewPane(app_, this);
        widget = pane_;
        break;
      case ControlKind::Icon:
        continue;
    }
    placed_.emplace_back(&control, widget);
    widget->setVisible(control.visible);
    widget->setEnabled(control.enabled || control.kind == ControlKind::OwnerDrawButton);
    controls_[control.id] = widget;
  }
  for (const auto& [id, label] : labels) {
    if (QWidget* buddy = Control(BuddyOf(id))) label->setBuddy(buddy);
  }
}

void BrowserDialog::LayoutControls() {
  const Size growth{width() - opening_.width(), height() - opening_.height()};
  for (const auto& [control, widget] : placed_) {
    QRect geometry = ToQRect(GrownBrowserControl(*control, baseUnits_, growth));
    switch (control->kind) {
      case ControlKind::ComboBox: geometry.setHeight(widget->sizeHint().height()); break;
      case ControlKind::ListBox: {
        // Whole rows only: the list ends below its last full row.
        const int frame = static_cast<QFrame*>(widget)->frameWidth();
        const int rows = std::max(1, (geometry.height() - 2 * frame) / rowHeight_);
        geometry.setHeight(2 * frame + rows * rowHeight_);
        break;
      }
      case ControlKind::OwnerDrawButton:
        geometry.adjust(-PreviewPane::kMargin, -PreviewPane::kMargin, 0, 0);
        break;
      default: break;
    }
    widget->setGeometry(geometry);
  }
}

Size BrowserDialog::PreviewBox() const {
  Rect pane;
  for (const auto& [control, widget] : placed_) {
    if (control->id == kIdPreviewPane) pane = DialogUnitsToPixels(control->units, baseUnits_);
  }
  return PreviewBoxFor(baseUnits_, {pane_->width() - PreviewPane::kMargin - pane.width,
                                    pane_->height() - PreviewPane::kMargin - pane.height});
}

Point BrowserDialog::PaneOrigin() const {
  return {pane_->x() + PreviewPane::kMargin, pane_->y() + PreviewPane::kMargin};
}

void BrowserDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayoutControls();
  app_.PreviewResized(PreviewBox());
}

void BrowserDialog::ShowCurrentFolder() {
  FillFolderList();
  FillDrives();
  FillFileList();
}

bool BrowserDialog::ChangeFolder(const QString& folder) {
  if (folder.isEmpty() || !QDir::setCurrent(folder)) return false;
  ShowCurrentFolder();
  app_.FolderChanged();
  return true;
}

void BrowserDialog::ShowAllFileTypes() { types_->setCurrentIndex(types_->count() - 1); }

void BrowserDialog::FillFileList() {
  const int type = std::max(types_->currentIndex(), 0);
  const std::string_view patterns = TypeFilters()[static_cast<std::size_t>(type)].patterns;
  filling_ = true;
  files_->clear();
  const QStringList names = QDir::current().entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
  for (const QString& name : names) {
    if (MatchesPatterns(name.toStdString(), patterns)) files_->addItem(name);
  }
  files_->scrollToTop();  // a new folder's list starts at its top
  filling_ = false;
}

void BrowserDialog::FillFolderList() {
  folders_->clear();
  const QString current = QDir::currentPath();
  const QStringList parts = current.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const auto add = [this](const QIcon& icon, const QString& name, const QString& path, int depth) {
    auto* item = new QListWidgetItem(icon, name, folders_);
    item->setData(kPathRole, path);
    item->setData(kDepthRole, depth);
  };
  QString path = QStringLiteral("/");
  add(open, path, path, 0);
  int depth = 1;
  for (const QString& part : parts) {
    path = QDir::cleanPath(path + QLatin1Char('/') + part);
    add(open, part, path, depth++);
  }
  folders_->setCurrentRow(folders_->count() - 1);
  const QStringList children = QDir::current().entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& child : children) add(closed, child, QDir::current().filePath(child), depth);
  folders_->scrollToItem(folders_->currentItem());
}

void BrowserDialog::FillDrives() {
  drives_->clear();
  const QString current = QDir::currentPath();
  int best = -1;
  qsizetype bestLength = -1;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    if (drives_->findData(root, kPathRole) >= 0) continue;
    drives_->addItem(root, root);
    const bool contains = current == root || current.startsWith(root.endsWith('/') ? root : root + '/');
    if (contains && root.size() > bestLength) {
      best = drives_->count() - 1;
      bestLength = root.size();
    }
  }
  drives_->setCurrentIndex(best);
}

void BrowserDialog::FileSelectionChanged() {
  if (filling_ || files_->currentItem() == nullptr) return;
  // Replaced as a user would type it, so that it can be undone.
  nameBox_->selectAll();
  nameBox_->insert(files_->currentItem()->text());
}

bool BrowserDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == files_ || watched == folders_)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!key->text().isEmpty() && key->text().front().isPrint() && key->key() != Qt::Key_Escape) lastListSearch_.start();
  }
  return QDialog::eventFilter(watched, event);
}

void BrowserDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    // Escape ends the program, as Exit does, unless it is cancelling what was just typed into a
    // list's inline search.
    constexpr int kSearchShown = 1500;
    const QWidget* focus = focusWidget();
    if ((focus == files_ || focus == folders_) && lastListSearch_.isValid() &&
        lastListSearch_.elapsed() < std::max(kSearchShown, QApplication::keyboardInputInterval())) {
      lastListSearch_.invalidate();
      return;
    }
    QDialog::keyPressEvent(event);
    return;
  }
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QDialog::keyPressEvent(event);
    return;
  }
  QWidget* focus = focusWidget();
  if (focus == folders_ && folders_->currentItem() != nullptr) {
    ChangeFolder(folders_->currentItem()->data(kPathRole).toString());
    return;
  }
  if (focus == nameBox_) {
    OpenTypedName();
    return;
  }
  app_.DialogCommand(kIdOk);
}

// Enter in the File Name box: a folder is changed to; a file, with its folder, is selected and
// shown (through all file types when the filter hides it); anything else is reported.
void BrowserDialog::OpenTypedName() {
  const TypedName typed = ResolveTypedName(nameBox_->text().toStdString(), QDir::homePath().toStdString());
  const auto notFound = [this] { app_.ShowMessage(Owner::Dialog, {"File not found", std::string(kProgramTitle), kMbIconExclamation}); };
  switch (typed.kind) {
    case TypedName::Kind::Empty: app_.DialogCommand(kIdOk); return;
    case TypedName::Kind::Folder:
      if (!ChangeFolder(QString::fromStdString(typed.folder))) notFound();
      return;
    case TypedName::Kind::NotFound: {
      // A name the list shows in another case is still that file.
      const int row = typed.folder.empty() ? app_.FileListFindExact(typed.name) : -1;
      if (row < 0) {
        notFound();
        return;
      }
      app_.FileListSelect(row);
      break;
    }
    case TypedName::Kind::File:
      if (!SelectFile(typed.folder, typed.name)) {
        notFound();
        return;
      }
      break;
  }
  app_.DialogCommand(kIdOk);
}

bool BrowserDialog::SelectFile(const std::string& folder, const std::string& fileName) {
  if (!folder.empty() && !ChangeFolder(QString::fromStdString(folder))) return false;
  const auto rowOf = [this](const QString& name) {
    const QList<QListWidgetItem*> found = files_->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return found.isEmpty() ? -1 : files_->row(found.front());
  };
  const QString name = QString::fromStdString(fileName);
  int row = rowOf(name);
  if (row < 0) {
    ShowAllFileTypes();
    row = rowOf(name);
  }
  if (row < 0) return false;
  app_.FileListSelect(row);
  return true;
}

std::optional<std::pair<std::string, std::string>> DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  for (const QUrl& url : data->urls()) {
    const QFileInfo file(url.toLocalFile());
    if (url.isLocalFile() && file.isFile()) {
      return std::pair{file.absolutePath().toStdString(), file.fileName().toStdString()};
    }
  }
  return std::nullopt;
}

void BrowserDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedFile(event->mimeData())) event->acceptProposedAction();
}

void BrowserDialog::dropEvent(QDropEvent* event) {
  const auto file = DroppedFile(event->mimeData());
  if (!file) return;
  event->acceptProposedAction();
  if (SelectFile(file->first, file->second)) app_.DialogCommand(kIdOk);
}

void BrowserDialog::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && InPreviewPicture(app_.image, PaneOrigin(), at.x(), at.y())) {
    QTimer::singleShot(0, this, [this] { app_.DialogCommand(kIdCenter); });
    return;
  }
  QDialog::mouseDoubleClickEvent(event);
}

void BrowserDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  app_.DialogCommand(kIdExit);
}

void BrowserDialog::reject() { app_.DialogCommand(kIdExit); }

}  // namespace ravelle
