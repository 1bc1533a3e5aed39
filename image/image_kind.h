// What the record holds: a raster image, a metafile, an animation, or nothing.
#pragma once

namespace ravelle {

enum class ImageKind : int {
  Bitmap = 0,
  WindowsMetafile = 1,
  EnhancedMetafile = 2,
  AnimatedGif = 3,
  IconSequence = 4,
  AnimatedCursor = 7,
  NoImage = 20,
  FileRemoved = 21,
};

}  // namespace ravelle
