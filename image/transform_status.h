// What the image engines (turns, mirrors, colour reductions) report.
#pragma once

namespace ravelle {

enum class TransformStatus {
  Done,
  NotABitmap,        // the image kind is not Bitmap: refused, nothing changed
  NoImage,           // the handle is empty: nothing to do
  UnsupportedDepth,  // not 1, 4, 8, 16, 24 or 32 bits, or a block smaller than its header says
  NoMemory,          // the new block or the scratch row could not be had; nothing changed
};

}  // namespace ravelle
