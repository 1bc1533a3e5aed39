// The tools and colour reductions as the viewer runs them: the kind checked, the wait cursor
// shown, the unreduced image kept, and failures reported through the port.
#pragma once

#include "colour/reduce_colors.h"
#include "image/image_kind.h"
#include "image/message.h"
#include "image/packed_dib.h"
#include "port/port.h"
#include "tools/transform.h"

namespace ravelle {

// The messages the tools show (no owner, no title, stop icon).
inline const Message kNotABitmapMessage{"Unable to Manipulate File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand};
inline const Message kInsufficientMemoryMessage{"Insufficient Memory for this Operation.", "", kMbIconHand};

// A kind other than Bitmap is refused with kNotABitmapMessage, the wait cursor shows while
// working, and a failed allocation is reported with kInsufficientMemoryMessage.
TransformStatus TransformImage(PackedDib& dib, TransformCode code, ImageKind kind, int& state, Port& port);
TransformStatus RestoreOrientation(PackedDib& dib, int& state, Port& port);

// Every reduction starts from the unreduced image: the slot that keeps it is handed in beside
// the shown image, filled by the first reduction and consumed by the next. A kind other than
// Bitmap is refused with kNotABitmapMessage; an image in `saved` first becomes the source
// (freeing `handle`); the source ends in `saved`, the result in `handle`, repacked by
// CompactDibDepth. A failed allocation shows kInsufficientMemoryMessage and leaves the source
// in `handle`.
TransformStatus ReduceColors(PackedDib& handle, PackedDib& saved, int choice, ImageKind kind, bool waitCursor, Port& port);
TransformStatus ConvertToGrayscale(PackedDib& handle, PackedDib& saved, ImageKind kind, Port& port);

}  // namespace ravelle
