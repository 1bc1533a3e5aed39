// The frames of an animated file, composed one at a time: what the loader keeps of an animation
// and the timer steps.
#pragma once

#include "image/packed_dib.h"

namespace ravelle {

class FrameSequence {
 public:
  virtual ~FrameSequence() = default;
  virtual int FrameCount() const = 0;
  // 1-based; 0 before the first Step().
  virtual int FrameNumber() const = 0;
  // Decodes and composes the next frame (after the last comes the first again); false when it
  // cannot be decoded.
  virtual bool Step() = 0;
  // The composed frame.
  virtual const PackedDib& Frame() const = 0;
  // How long the current frame is shown, in hundredths of a second.
  virtual int Delay() const = 0;
};

}  // namespace ravelle
