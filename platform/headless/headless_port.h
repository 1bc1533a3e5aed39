// A port without a display, for tests and the command-line tool: it answers message boxes from
// a script (OK when nothing is queued) and records every call, so that what the user would have
// seen can be checked afterwards.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/port.h"

namespace ravelle {

class HeadlessPort : public Port {
 public:
  struct ShownMessage {
    Owner owner;
    Message message;
  };

  Answer ShowMessage(Owner owner, const Message& message) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  int DisplayDepth() override { return displayDepth; }
  Size DialogBaseUnits() override { return baseUnits; }
  void DrawPreviewFrame(Rect box, Rect frame) override;
  void DrawPreviewImage(const PackedDib& image, Rect frame) override;
  void StartAnimationTimer(int milliseconds) override;
  void KillAnimationTimer() override;
  void SetViewerCaption(const std::string& caption) override { viewerCaption = caption; }
  void RepaintViewer() override { ++viewerRepaints; }
  void RepaintDialog() override { ++dialogRepaints; }
  void LogDiagnostic(const std::string& text) override { diagnostics.push_back(text); }

  // Settings a test may change.
  int displayDepth = 24;
  Size baseUnits{8, 16};
  std::deque<Answer> answers;  // given to message boxes in turn

  // What happened.
  std::vector<ShownMessage> messages;
  std::vector<std::string> diagnostics;
  std::vector<std::string> log;  // one line per drawing, cursor and timer call
  int waitDepth = 0;
  int maxWaitDepth = 0;
  int timerPeriod = 0;          // 0 while the animation timer is stopped
  std::string viewerCaption;
  int viewerRepaints = 0;
  int dialogRepaints = 0;
  Rect lastFrame;
  Rect lastImageFrame;
  int previewImages = 0;
};

}  // namespace ravelle
