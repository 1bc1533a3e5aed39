// What the image logic needs of a platform, in the logic's own terms. The logic calls these;
// the Qt adapter (the desktop program) and the headless adapter (tests and ravelle-cli)
// implement them.
#pragma once

#include <string>

namespace ravelle {

class PackedDib;
struct PaletteEntry;

// Message-box styles and answers, with the values the system has always used.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbYesNoCancel = 0x03;
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

enum class Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// The window a message box belongs to; None is a box without owner.
enum class Owner { None, Dialog, PreviewPane, Viewer, FullScreen, Slideshow };

// A message as the system shows it. An empty title means the platform's default caption.
struct Message {
  std::string text;
  std::string title;
  unsigned style = kMbIconHand;
  friend bool operator==(const Message&, const Message&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

class Port {
 public:
  virtual ~Port() = default;

  virtual Answer ShowMessage(Owner owner, const Message& message) = 0;

  // The hourglass while a long operation runs; calls nest.
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // Colour depth of the screen in bits per pixel.
  virtual int DisplayDepth() = 0;
  // The browsing dialog's base units (horizontal, vertical) in pixels.
  virtual Size DialogBaseUnits() = 0;

  // The preview pane: the grey surround over `box` grown by 3, a black outline 3 pixels
  // outside `frame` and a white rectangle 1 pixel outside it.
  virtual void DrawPreviewFrame(Rect box, Rect frame) = 0;
  // The image stretched (nearest neighbour) into `frame` of the preview pane.
  virtual void DrawPreviewImage(const PackedDib& image, Rect frame) = 0;

  // The browsing dialog's animation timer (identifier 0).
  virtual void StartAnimationTimer(int milliseconds) = 0;
  virtual void KillAnimationTimer() = 0;

  // The viewer window: its caption and a repaint.
  virtual void SetViewerCaption(const std::string& caption) = 0;
  virtual void RepaintViewer() = 0;
  virtual void RepaintDialog() = 0;

  // Warnings and errors of the image libraries: kept out of the viewer's terminal, printed by
  // the command-line tool when asked.
  virtual void LogDiagnostic(const std::string& /*text*/) {}
};

}  // namespace ravelle
