// Writing the shown image in another format, as the viewer's Convert/Save command does.
#pragma once

#include <filesystem>

#include "formats/registry.h"
#include "shell/current_image.h"

namespace ravelle {

// The system's format codes.
enum FormatCode : int {
  kFormatBmp = 9,
  kFormatBmpRle = 10,
  kFormatBmpBitfields = 11,
  kFormatJpeg = 12,
  kFormatGif = 13,
  kFormatIff = 14,
  kFormatPcx = 15,
  kFormatPng = 16,
  kFormatTarga = 17,
  kFormatTiff = 18,
};

// The extension a converted file is given ("bmp", "jpg", ...); null for an unknown code.
const char* FormatExtension(int code);

// Whether this build has a writer for the format code.
bool FormatAvailable(int code);

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
