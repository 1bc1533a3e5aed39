// What every reader hands back: the image, its file-information text, the size it reported
// for the preview frame, and the messages the user is to see, in order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/format.h"
#include "image/message.h"
#include "image/packed_dib.h"

namespace ravelle {

struct FrameSize {
  int64_t width = 0;
  int64_t height = 0;
};

struct ReadResult {
  PackedDib dib;
  std::string infoText;
  std::optional<FrameSize> frame;   // reported as soon as the header was read
  std::vector<Message> messages;
  std::vector<std::string> diagnostics;  // what a library said; never shown in the viewer
};

}  // namespace ravelle
