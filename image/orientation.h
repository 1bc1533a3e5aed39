// The orientation a TIFF file records, as the orientation state the tools keep (see
// tools/transform.h for the state's bits).
#pragma once

namespace ravelle {

// The state that a TIFF Orientation tag value (1 when the tag is absent) stands for, so that
// RestoreOrientation with it turns the image upright; 0 (nothing to do) for values outside 1-8.
inline int TiffOrientationToState(int tagValue) {
  constexpr int kStates[8] = {0, 1, 4, 5, 7, 6, 3, 2};
  if (tagValue < 1 || tagValue > 8) return 0;
  return kStates[tagValue - 1];
}

}  // namespace ravelle
