#include "headless/headless_port.h"

#include <algorithm>
#include <cctype>

#include "formats/common/read_result.h"
#include "image/packed_dib.h"

namespace ravelle {
namespace {

std::string Folded(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

HeadlessPort::HeadlessPort() : menu(ViewerMenuResource()) { printedPage.dpi = {600, 600}; }

Answer HeadlessPort::ShowMessage(Owner owner, const Message& message) {
  messages.push_back({owner, message, viewerCaption, viewerRepaints});
  if (answers.empty()) return (message.style & 0x0F) == kMbYesNoCancel ? Answer::Cancel : Answer::Ok;
  const Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

void HeadlessPort::BeginWaitCursor() {
  maxWaitDepth = std::max(maxWaitDepth, ++waitDepth);
  log.push_back("wait on");
}

void HeadlessPort::EndWaitCursor() {
  --waitDepth;
  log.push_back("wait off");
}

void HeadlessPort::DrawPreviewFrame(Rect box, Rect frame) {
  lastFrame = frame;
  log.push_back(Format("frame %d,%d %dx%d in %dx%d", frame.left, frame.top, frame.width, frame.height, box.width,
                       box.height));
}

void HeadlessPort::DrawPreviewImage(const PackedDib& image, Rect frame) {
  lastImageFrame = frame;
  ++previewImages;
  log.push_back(Format("image %dx%d into %d,%d %dx%d", image.Width(), image.Height(), frame.left, frame.top,
                       frame.width, frame.height));
}

void HeadlessPort::StartAnimationTimer(int milliseconds) {
  timerPeriod = milliseconds;
  log.push_back(Format("timer %d", milliseconds));
}

void HeadlessPort::KillAnimationTimer() {
  timerPeriod = 0;
  log.push_back("timer off");
}

std::string HeadlessPort::FileListText(int index) {
  if (index < 0 || index >= FileListCount()) return {};
  return fileList[static_cast<std::size_t>(index)];
}

void HeadlessPort::FileListSelect(int index) { selection = index >= 0 && index < FileListCount() ? index : -1; }

bool HeadlessPort::FileListSelectPrefix(const std::string& prefix) {
  const std::string folded = Folded(prefix);
  for (std::size_t i = 0; i < fileList.size(); ++i) {
    if (Folded(fileList[i]).starts_with(folded)) {
      selection = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

int HeadlessPort::FileListFindExact(const std::string& name) {
  const auto found = std::find_if(fileList.begin(), fileList.end(),
                                  [&](const std::string& entry) { return Folded(entry) == Folded(name); });
  return found == fileList.end() ? -1 : static_cast<int>(found - fileList.begin());
}

// The list is sorted without regard to case; the selection stays on its entry.
void HeadlessPort::FileListAdd(const std::string& name) {
  const auto at = std::find_if(fileList.begin(), fileList.end(),
                               [&](const std::string& entry) { return Folded(entry) > Folded(name); });
  const int index = static_cast<int>(at - fileList.begin());
  fileList.insert(at, name);
  if (selection >= index) ++selection;
  log.push_back("list add " + name);
}

void HeadlessPort::FileListDelete(int index) {
  if (index < 0 || index >= FileListCount()) return;
  log.push_back("list delete " + fileList[static_cast<std::size_t>(index)]);
  fileList.erase(fileList.begin() + index);
  if (selection == index) {
    selection = -1;
  } else if (selection > index) {
    --selection;
  }
}

void HeadlessPort::FileNameBoxUndo() { std::swap(fileNameBox, fileNameBoxBefore); }

void HeadlessPort::FileNameBoxReplace(const std::string& text) {
  fileNameBoxBefore = fileNameBox;
  fileNameBox = text;
}

void HeadlessPort::OpenViewer(const std::string& caption, uint32_t style, Rect rect) {
  viewerOpen = true;
  viewerCaption = caption;
  viewerStyle = style;
  viewerRect = rect;
  log.push_back("viewer open");
}

void HeadlessPort::DestroyViewer() {
  viewerOpen = false;
  log.push_back("viewer destroyed");
}

void HeadlessPort::SetMenuItemEnabled(const MenuPath& item, bool enabled) {
  if (MenuItem* entry = MenuItemAt(menu, item)) entry->grayed = !enabled;
}

void HeadlessPort::SetMenuItemLabel(const MenuPath& item, const std::string& label) {
  if (MenuItem* entry = MenuItemAt(menu, item)) entry->label = label;
}

RecordingSurface& HeadlessPort::WindowSurface(Owner window) {
  return windows.try_emplace(window, windowSize).first->second;
}

void HeadlessPort::DrawInWindow(Owner window, const std::function<void(Surface&)>& draw) {
  draw(WindowSurface(window));
}

void HeadlessPort::OpenFullScreen(const ScrollBars& bars) {
  ++fullScreenOpens;
  fullScreenOpen = true;
  fullScreenBars = bars;
  scrollPosition = {};
}

void HeadlessPort::SetFullScreenScroll(Point position) {
  scrollPosition = position;
  ++fullScreenRepaints;
}

void HeadlessPort::OpenSlideshow() {
  ++slideshowOpens;
  slideshowOpen = true;
}

bool HeadlessPort::PrintPage(const std::string& documentName, const std::function<void(Surface&)>& draw) {
  printedDocuments.push_back(documentName);
  if (cancelPrint) return false;
  printedPage.log.clear();
  printedPage.stretches.clear();
  draw(printedPage);
  return true;
}

std::optional<std::string> HeadlessPort::AskSaveFileName(const SaveRequest& request) {
  saveRequests.push_back(request);
  if (saveAnswers.empty()) return std::nullopt;
  auto answer = saveAnswers.front();
  saveAnswers.pop_front();
  return answer;
}

}  // namespace ravelle
