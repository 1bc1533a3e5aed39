// Writing the shown image in another format, as the viewer's Convert/Save command does.
#pragma once

#include <filesystem>

#include "shell/current_image.h"

namespace ravelle {

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

// A format code with its two options (see each writer for their meaning).
struct ConvertFormat {
  int code = kFormatBmp;
  int option1 = 0;
  int option2 = 0;
};

// The extension a converted file is given ("bmp", "jpg", ...); null for an unknown code.
const char* FormatExtension(int code);

// Whether this build has a writer for the format code.
bool FormatAvailable(int code);

enum class WriteOutcome { Written, CannotCreate, Failed };

// Calls the format's writer. CannotCreate is the uncompressed BMP's "Error Creating File" case;
// every other failure is Failed. A failed write leaves no file and an existing target untouched.
WriteOutcome WriteImageFile(const PackedDib& image, const ConvertFormat& format, const std::filesystem::path& file);

// Which image a conversion writes: the unreduced SavedImage when it exists, no reduction was
// asked for and the kind is Bitmap (an image only reduced for the display); otherwise Handle.
struct ConvertSource {
  const PackedDib* image;
  ImageKind kind;
};
ConvertSource ImageToConvert(const CurrentImage& image);

}  // namespace ravelle
