// State the browsing dialog and the viewer keep beside the image record.
#pragma once

#include <cstdint>
#include <string>

#include "port/port.h"

namespace ravelle {

inline constexpr uint32_t kViewerStyleNormal = 0x10CF0000;     // overlapped window, visible
inline constexpr uint32_t kViewerStyleMaximized = 0x11CF0000;  // the same, maximised

struct ShellState {
  int TileMode = 0;                    // 0 centred, 1 tiled
  bool FullScreenPending = false;
  uint32_t ViewerStyle = kViewerStyleNormal;
  Rect ViewerRect;
  bool MonochromeChosen = false;       // the last colour command was Monochrome
  int StepDirection = 1;               // 1 next file, 0 previous file
  int ListIndex = -1;                  // the file list's selection kept across a delete or move
  int ScrollOriginX = 0;               // the full-screen window's drawing origin (0 or negative)
  int ScrollOriginY = 0;
  int ScrollRangeX = 0;                // the largest positions of its scroll bars
  int ScrollRangeY = 0;
  bool SlideTimerRunning = false;      // the slideshow's timer runs
  bool FullScreenKeyDown = false;      // the key that closed full screen over the viewer is down
  // The current folder when the shown file was loaded: FilePath is relative to it, and the file
  // operations act there even after the dialog has moved on to another folder.
  std::string ImageFolder;
};

}  // namespace ravelle
