#include "qt/qt_app.h"

#include <QAction>

#include <algorithm>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include <memory>

#include "headless/painter_surface.h"
#include "qt/browser_dialog.h"
#include "qt/dialogs.h"
#include "qt/full_screen_window.h"
#include "qt/printing.h"
#include "qt/viewer_window.h"
#include "resources/dialogs.h"
#include "shell/browser.h"
#include "shell/full_screen.h"
#include "shell/slideshow.h"
#include "shell/step.h"
#include "shell/file_operation.h"
#include "shell/viewer.h"

// The help pages live in the library's resources, which a static library must register itself.
static void RegisterResources() { Q_INIT_RESOURCE(ravelle); }

namespace ravelle {
namespace {

QString Folded(const QString& text) { return text.toCaseFolded(); }

// A window placed beside `beside` in `area`: on its right, else on its left, else narrowed to the
// wider side; only a screen too small for that makes it overlap.
void PlaceBeside(QWidget& window, const QRect& beside, const QRect& area) {
  constexpr int kGap = 8;
  constexpr int kNarrowest = 360;
  const int right = area.right() - beside.right() - kGap;
  const int left = beside.left() - area.left() - kGap;
  int width = window.width();
  if (right < width && left < width) width = std::max(std::min(std::max(right, left), width), kNarrowest);
  const int height = std::min(window.height(), area.height());
  const int x = right >= width || right >= left ? std::min(beside.right() + kGap + 1, area.right() + 1 - width)
                                                : std::max(beside.left() - kGap - width, area.left());
  const int y = std::clamp(beside.top(), area.top(), std::max(area.top(), area.bottom() + 1 - height));
  window.setGeometry(x, y, width, height);
}

}  // namespace

QtApp::QtApp(std::optional<int> displayDepth) : displayDepth_(displayDepth), dialog_(std::make_unique<BrowserDialog>(*this)) {
  RegisterResources();
  QObject::connect(&slideTimer_, &QTimer::timeout, [this] { SlideshowTimer(image, shell, *this); });
}

QtApp::~QtApp() {
  dialog_->AnimationTimer().stop();
  slideTimer_.stop();
  delete viewer_.data();
  delete fullScreen_.data();
  delete slideshow_.data();
  delete help_.data();
}

ViewerWindow* QtApp::Viewer() const { return viewer_; }
FullScreenWindow* QtApp::FullScreen() const { return fullScreen_; }
SlideshowWindow* QtApp::Slideshow() const { return slideshow_; }
HelpWindow* QtApp::HelpBrowser() const { return help_; }

void QtApp::Start(const std::string& commandLineFile) {
  const StartFile start = CommandLineStart(commandLineFile);
  if (!start.folder.empty()) QDir::setCurrent(QString::fromStdString(start.folder));
  dialog_->ShowCurrentFolder();
  // A named file the type filter hides is still shown: the filter gives way to all files.
  if (!start.name.empty() && FileListFindExact(start.name) < 0) dialog_->ShowAllFileTypes();
  const bool load = InitBrowser(image, shell, *this, start.name);
  dialog_->show();
  if (load) {
    dialog_->FileList()->setFocus();
    QTimer::singleShot(0, dialog_.get(), [this] { DialogCommand(kIdOk); });
  }
}

int QtApp::Run(const std::string& commandLineFile) {
  QApplication::setQuitOnLastWindowClosed(false);
  Start(commandLineFile);
  return QApplication::exec();
}

void QtApp::DialogCommand(int id) { BrowserCommand(image, shell, *this, id); }

void QtApp::ViewerMenuCommand(int id) { ViewerCommand(image, shell, *this, id); }

void QtApp::ViewerDismissed() { CloseViewer(image, shell, *this); }

void QtApp::FolderChanged() { ravelle::FolderChanged(image, *this); }

void QtApp::FileDroppedOnViewer(const std::string& folder, const std::string& name) {
  if (dialog_->SelectFile(folder, name)) LoadSelectedIntoViewer(image, shell, *this);
}

void QtApp::ViewerKeyDown() {
  if (ViewerTakesKey(shell)) CloseViewer(image, shell, *this);
}

void QtApp::KeyReleased(bool autoRepeat) { ravelle::KeyReleased(shell, autoRepeat); }

void QtApp::FullScreenDismissed() { CloseFullScreen(image, shell, *this); }

void QtApp::FullScreenKeyDown(ravelle::FullScreenKey key) { ravelle::FullScreenKeyDown(image, shell, *this, key); }

void QtApp::FullScreenScroll(bool vertical, int request, int thumb) {
  ravelle::FullScreenScroll(shell, *this, vertical, request, thumb);
}

void QtApp::SlideshowDismissed() { CloseSlideshow(image, shell, *this); }

void QtApp::AnimationTick() { BrowserTimer(image, shell, *this); }

void QtApp::PreviewResized(Size box) { ResizePreview(image, *this, box); }

QWidget* QtApp::OwnerWidget(Owner owner) const {
  switch (owner) {
    case Owner::None: return nullptr;
    case Owner::Viewer: if (viewer_ != nullptr) return viewer_; break;
    case Owner::FullScreen: if (fullScreen_ != nullptr) return fullScreen_; break;
    case Owner::Slideshow: if (slideshow_ != nullptr) return slideshow_; break;
    default: break;
  }
  return dialog_.get();
}

Answer QtApp::ShowMessage(Owner owner, const Message& message) { return ShowMessageBox(OwnerWidget(owner), message); }

void QtApp::BeginWaitCursor() {
  if (waitDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtApp::EndWaitCursor() {
  if (waitDepth_ > 0 && --waitDepth_ == 0) QApplication::restoreOverrideCursor();
}

int QtApp::DisplayDepth() {
  if (displayDepth_) return *displayDepth_;
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->depth() : 24;
}

Size QtApp::DialogBaseUnits() { return dialog_->BaseUnits(); }

Rect QtApp::WorkArea() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  return {area.x(), area.y(), area.width(), area.height()};
}

QScreen* QtApp::ActiveScreen() const {
  if (viewer_ != nullptr && viewer_->screen() != nullptr) return viewer_->screen();
  if (dialog_->screen() != nullptr) return dialog_->screen();
  return QGuiApplication::primaryScreen();
}

ScreenMetrics QtApp::Screen() {
  const QScreen* screen = ActiveScreen();
  const QSize size = screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
  const int bar = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return {{size.width(), size.height()}, bar, bar};
}

// The pane paints itself from the record whenever Qt asks; drawing into it means asking.
void QtApp::DrawPreviewFrame(Rect, Rect) { dialog_->Pane()->update(); }
void QtApp::DrawPreviewImage(const PackedDib&, Rect) { dialog_->Pane()->update(); }

void QtApp::StartAnimationTimer(int milliseconds) { dialog_->AnimationTimer().start(milliseconds); }
void QtApp::KillAnimationTimer() { dialog_->AnimationTimer().stop(); }

void QtApp::RepaintDialog() {
  dialog_->update();
  dialog_->Pane()->update();
}

void QtApp::EndDialog() {
  dialog_->AnimationTimer().stop();
  if (help_ != nullptr) help_->hide();
  if (viewer_ != nullptr) {
    viewer_->Release();
    viewer_->hide();
  }
  if (fullScreen_ != nullptr) {
    fullScreen_->Release();
    fullScreen_->hide();
  }
  slideTimer_.stop();
  if (slideshow_ != nullptr) {
    slideshow_->Release();
    slideshow_->hide();
  }
  dialog_->hide();
  QCoreApplication::quit();
}

int QtApp::FileListCount() { return dialog_->FileList()->count(); }

int QtApp::FileListSelection() {
  const QListWidget* list = dialog_->FileList();
  return list->currentItem() != nullptr && list->currentItem()->isSelected() ? list->currentRow() : -1;
}

std::string QtApp::FileListText(int index) {
  const QListWidgetItem* item = dialog_->FileList()->item(index);
  return item != nullptr ? item->text().toStdString() : std::string();
}

void QtApp::FileListSelect(int index) {
  QListWidget* list = dialog_->FileList();
  if (index < 0 || index >= list->count()) {
    list->setCurrentRow(-1);
    list->clearSelection();
    return;
  }
  list->setCurrentRow(index);
  list->scrollToItem(list->item(index));
}

bool QtApp::FileListSelectPrefix(const std::string& prefix) {
  const QString folded = Folded(QString::fromStdString(prefix));
  QListWidget* list = dialog_->FileList();
  for (int i = 0; i < list->count(); ++i) {
    if (Folded(list->item(i)->text()).startsWith(folded)) {
      FileListSelect(i);
      return true;
    }
  }
  return false;
}

int QtApp::FileListFindExact(const std::string& name) {
  const QString folded = Folded(QString::fromStdString(name));
  const QListWidget* list = dialog_->FileList();
  for (int i = 0; i < list->count(); ++i) {
    if (Folded(list->item(i)->text()) == folded) return i;
  }
  return -1;
}

void QtApp::FileListAdd(const std::string& name) {
  QListWidget* list = dialog_->FileList();
  const QString text = QString::fromStdString(name);
  int at = 0;
  while (at < list->count() && QString::compare(list->item(at)->text(), text, Qt::CaseInsensitive) <= 0) ++at;
  list->insertItem(at, text);
}

void QtApp::FileListDelete(int index) { delete dialog_->FileList()->takeItem(index); }

void QtApp::FileNameBoxUndo() { dialog_->FileNameBox()->undo(); }

void QtApp::FileNameBoxReplace(const std::string& text) {
  QLineEdit* box = dialog_->FileNameBox();
  box->selectAll();
  box->insert(QString::fromStdString(text));
}

void QtApp::OpenViewer(const std::string& caption, uint32_t style, Rect rect) {
  if (viewer_ != nullptr) return;
  viewer_ = new ViewerWindow(*this);
  viewer_->setWindowIcon(QApplication::windowIcon());
  viewer_->setWindowTitle(QString::fromStdString(caption));
  viewer_->setGeometry(rect.left, rect.top, rect.width, rect.height);
  if (style == kViewerStyleMaximized) {
    viewer_->showMaximized();
  } else {
    viewer_->show();
  }
  viewer_->activateWindow();
}

void QtApp::DestroyViewer() {
  if (viewer_ == nullptr) return;
  viewer_->Release();
  viewer_->hide();
  viewer_->deleteLater();
  viewer_ = nullptr;
}

bool QtApp::ViewerMaximized() { return viewer_ != nullptr && viewer_->isMaximized(); }

void QtApp::RestoreViewer() {
  if (viewer_ == nullptr) return;
  if (viewer_->isMinimized()) viewer_->setWindowState(viewer_->windowState() & ~Qt::WindowMinimized);
  viewer_->show();
}

void QtApp::ActivateDialog() {
  if (dialog_->isMinimized()) dialog_->setWindowState(dialog_->windowState() & ~Qt::WindowMinimized);
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
  // Back in the file list, on the file that was shown, so that the arrow keys go on from it.
  QListWidget* list = dialog_->FileList();
  if (!image.FilePath.empty() && shell.ImageFolder == CurrentFolder()) {
    const QList<QListWidgetItem*> shown =
        list->findItems(QString::fromStdString(image.FilePath), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!shown.isEmpty()) FileListSelect(list->row(shown.front()));
  }
  list->setFocus(Qt::OtherFocusReason);
}

void QtApp::SetViewerCaption(const std::string& caption) {
  if (viewer_ != nullptr) viewer_->setWindowTitle(QString::fromStdString(caption));
}

void QtApp::RepaintViewer() {
  if (viewer_ != nullptr) viewer_->Canvas()->update();
}

void QtApp::SetMenuItemEnabled(const MenuPath& item, bool enabled) {
  if (viewer_ == nullptr) return;
  if (QAction* action = viewer_->MenuAction(item)) action->setEnabled(enabled);
}

void QtApp::SetMenuItemLabel(const MenuPath& item, const std::string& label) {
  if (viewer_ == nullptr) return;
  if (QAction* action = viewer_->MenuAction(item)) action->setText(QString::fromStdString(label));
}

// Qt draws only when a window paints; each window's paint draws what the record holds now. The
// slideshow keeps its picture, so frames are drawn into it at once, as its paint would not draw
// them (and would start its three seconds again).
void QtApp::DrawInWindow(Owner window, const std::function<void(Surface&)>& draw) {
  switch (window) {
    case Owner::Viewer: RepaintViewer(); break;
    case Owner::FullScreen: if (fullScreen_ != nullptr) fullScreen_->Canvas()->update(); break;
    case Owner::Slideshow: if (slideshow_ != nullptr) slideshow_->DrawNow(draw); break;
    case Owner::PreviewPane: case Owner::Dialog: RepaintDialog(); break;
    default: break;
  }
}

void QtApp::ActivateViewerOrDialog() {
  if (viewer_ != nullptr) {
    viewer_->raise();
    viewer_->activateWindow();
  } else {
    ActivateDialog();
  }
}

void QtApp::OpenFullScreen(const ScrollBars& bars) {
  if (fullScreen_ != nullptr) return;
  QScreen* screen = ActiveScreen();
  fullScreen_ = new FullScreenWindow(*this, bars);
  if (screen != nullptr) {
    fullScreen_->setScreen(screen);
    fullScreen_->setGeometry(screen->geometry());
  }
  fullScreen_->showFullScreen();
  fullScreen_->raise();
  fullScreen_->activateWindow();
  fullScreen_->setFocus();
}

void QtApp::DestroyFullScreen() {
  if (fullScreen_ == nullptr) return;
  fullScreen_->Release();
  fullScreen_->hide();
  fullScreen_->deleteLater();
  fullScreen_ = nullptr;
  ActivateViewerOrDialog();
}

void QtApp::SetFullScreenScroll(Point position) {
  if (fullScreen_ != nullptr) fullScreen_->SetScroll(position);
}

void QtApp::OpenSlideshow() {
  if (slideshow_ != nullptr) return;
  QScreen* screen = ActiveScreen();
  slideshow_ = new SlideshowWindow(*this);
  if (screen != nullptr) {
    slideshow_->setScreen(screen);
    slideshow_->setGeometry(screen->geometry());
  }
  slideshow_->showFullScreen();
  slideshow_->raise();
  slideshow_->activateWindow();
  slideshow_->setFocus();
}

void QtApp::DestroySlideshow() {
  if (slideshow_ == nullptr) return;
  slideshow_->Release();
  slideshow_->hide();
  slideshow_->deleteLater();
  slideshow_ = nullptr;
  ActivateViewerOrDialog();
}

void QtApp::RepaintSlideshow() {
  if (slideshow_ != nullptr) slideshow_->Invalidate();
}

void QtApp::StartSlideTimer(int milliseconds) {
  slideTimer_.start(slideIntervalForTests_ > 0 ? slideIntervalForTests_ : milliseconds);
}

void QtApp::KillSlideTimer() { slideTimer_.stop(); }

bool QtApp::PrintPage(const std::string& documentName, const std::function<void(Surface&)>& draw) {
  QPrinter printer(QPrinter::HighResolution);
  if (choosePrinterForTests_) {
    if (!choosePrinterForTests_(printer)) return false;
  } else {
    QPrintDialog dialog(&printer, OwnerWidget(Owner::Viewer));
    if (dialog.exec() != QDialog::Accepted) return false;
  }
  return PrintOnPrinter(printer, documentName, draw);
}

void QtApp::CopyPicture(const PackedDib& picture) {
  const std::optional<DibImage> wrapped = WrapDib(picture);
  if (!wrapped) return;
  const QImage upright = wrapped->image.mirrored(false, true);  // the rows come bottom first
  auto data = std::make_unique<QMimeData>();
  for (const char* format : {"PNG", "BMP"}) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (upright.save(&buffer, format)) data->setData(QString("image/") + QString(format).toLower(), bytes);
  }
  QGuiApplication::clipboard()->setMimeData(data.release());
}

void QtApp::ShowAbout() { ShowAboutDialog(OwnerWidget(Owner::Viewer), dialog_->BaseUnits()); }

void QtApp::Help(HelpCommand command, int context) {
  if (command == HelpCommand::Quit) {
    if (help_ != nullptr) help_->close();
    return;
  }
  if (help_ == nullptr) {
    help_ = new HelpWindow;
    help_->setWindowIcon(QApplication::windowIcon());
  }
  if (!help_->isVisible()) PlaceBeside(*help_, dialog_->frameGeometry(), dialog_->screen()->availableGeometry());
  help_->ShowPage(command == HelpCommand::Context ? context : 0);
}

std::optional<std::string> QtApp::AskSaveFileName(const SaveRequest& request) {
  return ShowSaveDialog(OwnerWidget(request.owner), request);
}

}  // namespace ravelle
