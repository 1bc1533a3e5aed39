#include "shell/image_commands.h"

#include "image/dib_pixels.h"
#include "shell/current_image.h"

namespace ravelle {

TransformStatus TransformImage(PackedDib& dib, TransformCode code, ImageKind kind, int& state, Port& port) {
  if (kind != ImageKind::Bitmap) {
    port.ShowMessage(Owner::None, kNotABitmapMessage);
    return TransformStatus::NotABitmap;
  }
  if (!dib) return TransformStatus::NoImage;
  port.BeginWaitCursor();
  const TransformStatus status = TransformImage(dib, code, state);
  port.EndWaitCursor();
  if (status == TransformStatus::NoMemory) port.ShowMessage(Owner::None, kInsufficientMemoryMessage);
  return status;
}

TransformStatus RestoreOrientation(PackedDib& dib, int& state, Port& port) {
  if (state == 0) return TransformStatus::Done;
  if (!dib) return TransformStatus::NoImage;
  port.BeginWaitCursor();
  const TransformStatus status = RestoreOrientation(dib, state);
  port.EndWaitCursor();
  if (status == TransformStatus::NoMemory) port.ShowMessage(Owner::None, kInsufficientMemoryMessage);
  return status;
}

namespace {

// The steps every colour tool shares: refuse other kinds, start from the unreduced image,
// keep it in `saved` and repack the result; the work itself is `reduce`.
template <typename Reduce>
TransformStatus ReplaceWithReduction(PackedDib& handle, PackedDib& saved, ImageKind kind, bool waitCursor, Port& port,
                                     Reduce reduce) {
  if (kind != ImageKind::Bitmap) {
    port.ShowMessage(Owner::None, kNotABitmapMessage);
    return TransformStatus::NotABitmap;
  }
  if (!handle) return TransformStatus::NoImage;
  if (saved) handle = std::move(saved);
  if (!CompleteGeometry(handle)) return TransformStatus::UnsupportedDepth;
  if (waitCursor) port.BeginWaitCursor();
  ColorResult result = reduce(handle);
  if (result.status == TransformStatus::Done) {
    saved = std::move(handle);
    handle = std::move(result.image);
    CompactDibDepth(handle);
  }
  if (waitCursor) port.EndWaitCursor();
  if (result.status == TransformStatus::NoMemory) port.ShowMessage(Owner::None, kInsufficientMemoryMessage);
  return result.status;
}

}  // namespace

TransformStatus ReduceColors(PackedDib& handle, PackedDib& saved, int choice, ImageKind kind, bool waitCursor, Port& port) {
  return ReplaceWithReduction(handle, saved, kind, waitCursor, port,
                              [choice](const PackedDib& source) { return QuantizeImage(source, choice); });
}

TransformStatus ConvertToGrayscale(PackedDib& handle, PackedDib& saved, ImageKind kind, Port& port) {
  return ReplaceWithReduction(handle, saved, kind, true, port, [](const PackedDib& source) { return GrayscaleImage(source); });
}

}  // namespace ravelle
