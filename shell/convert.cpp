#include "shell/convert.h"

namespace ravelle {

WriteOutcome WriteImageFile(const PackedDib& image, const WriterVariant& writer, const std::filesystem::path& file) {
  if (writer.write == nullptr) return WriteOutcome::Failed;
  return writer.write(image, file);
}

ConvertSource ImageToConvert(const CurrentImage& image) {
  if (image.SavedImage && !image.ReductionApplied && image.Kind == ImageKind::Bitmap) {
    return {&image.SavedImage, ImageKind::Bitmap};
  }
  // An animated GIF is converted as the frame shown, a picture like any other.
  if (image.Kind == ImageKind::AnimatedGif) return {&image.FrameDib, ImageKind::Bitmap};
  return {&image.Handle, image.Kind};
}

}  // namespace ravelle
