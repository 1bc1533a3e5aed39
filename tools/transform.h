// Quarter and half turns, mirrors and colour inversion of a PackedDib, with the orientation
// state that records what was done since loading so that it can be undone.
//
// Orientation state (an int the caller owns; CurrentImage::PendingOrientation for the shown
// image):
//   bits 0-2  orientation index o: 0, 2, 4, 6 = turned 0, 90, 180, 270 degrees clockwise;
//             1 = mirrored left to right; 5 = mirrored top to bottom;
//             7 = transposed (the first row has become the first column: 1 2 3 / 4 5 6 reads
//                 1 4 / 2 5 / 3 6); 3 = transposed the other way (6 3 / 5 2 / 4 1)
//   bit 3     set while the colours are inverted
// 0 means the image is as it was loaded.
#pragma once

#include "image/orientation.h"
#include "image/transform_status.h"
#include "image/packed_dib.h"

namespace ravelle {

enum class TransformCode : int {
  Rotate90 = 90,        // a quarter turn clockwise; width and height swap
  Rotate180 = 180,      // a half turn
  Rotate270 = 270,      // a quarter turn counter-clockwise; width and height swap
  FlipLeftRight = -1,   // mirror each row
  FlipTopBottom = -2,   // reverse the order of the rows
  InvertColors = 10,    // the complement of every colour
};

inline constexpr int kOrientationInverted = 8;  // see image/orientation.h

// The state after `code` has been applied to an image in `state`.
int NextOrientationState(int state, TransformCode code);

// Applies `code` to `dib` and updates `state`. A quarter turn replaces the block; the other codes work in place. On any
// status but Done the image and the state are unchanged.
TransformStatus TransformImage(PackedDib& dib, TransformCode code, int& state);

// Undoes whatever `state` records (inversion first, then the turn or mirror), leaving it 0.
// Stops at the first step that fails; `state` then still describes the image.
TransformStatus RestoreOrientation(PackedDib& dib, int& state);

}  // namespace ravelle
