#include "shell/convert.h"

namespace ravelle {

const char* FormatExtension(int code) {
  const FormatRow* row = FindFormatByCode(code);
  return row == nullptr ? nullptr : row->extension.data();
}

bool FormatAvailable(int code) {
  const FormatRow* row = FindFormatByCode(code);
  if (row == nullptr) return false;
  for (const WriterVariant& writer : row->writers) {
    if (writer.formatCode == code && writer.write != nullptr) return true;
  }
  return false;
}

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
