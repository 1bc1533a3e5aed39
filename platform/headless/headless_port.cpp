#include "platform/headless/headless_port.h"

#include <algorithm>

#include "formats/common/read_result.h"
#include "shell/packed_dib.h"

namespace ravelle {

Answer HeadlessPort::ShowMessage(Owner owner, const Message& message) {
  messages.push_back({owner, message});
  if (answers.empty()) return Answer::Ok;
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

}  // namespace ravelle
