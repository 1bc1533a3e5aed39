// Writing the shown image in another format, as the viewer's Convert/Save command does.
#pragma once

#include <filesystem>

#include "formats/registry.h"
#include "shell/current_image.h"

namespace ravelle {

// Calls the variant's writer. CannotCreate is the uncompressed BMP's "Error Creating File" case;
// every other failure, and a variant this build lacks, is Failed. A failed write leaves no file
// and an existing target untouched.
WriteOutcome WriteImageFile(const PackedDib& image, const WriterVariant& writer, const std::filesystem::path& file);

// Which image a conversion writes: the unreduced SavedImage when it exists, no reduction was
// asked for and the kind is Bitmap (an image only reduced for the display); the frame shown, as a
// Bitmap, for an AnimatedGif; otherwise Handle.
struct ConvertSource {
  const PackedDib* image;
  ImageKind kind;
};
ConvertSource ImageToConvert(const CurrentImage& image);

}  // namespace ravelle
