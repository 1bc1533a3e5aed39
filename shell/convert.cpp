#include "shell/convert.h"

#include "image/output_file.h"
#include "formats/dib/bmp_writer.h"
#include "formats/lib/jpeg_file.h"
#include "formats/lib/png_file.h"
#include "formats/lib/tiff_file.h"

namespace ravelle {

const char* FormatExtension(int code) {
  switch (code) {
    case kFormatBmp: case kFormatBmpRle: case kFormatBmpBitfields: return "bmp";
    case kFormatJpeg: return "jpg";
    case kFormatGif: return "gif";
    case kFormatIff: return "iff";
    case kFormatPcx: return "pcx";
    case kFormatPng: return "png";
    case kFormatTarga: return "tga";
    case kFormatTiff: return "tif";
    default: return nullptr;
  }
}

bool FormatAvailable(int code) {
  switch (code) {
    case kFormatBmp: case kFormatBmpRle: case kFormatBmpBitfields: return true;
    case kFormatJpeg: case kFormatPng: case kFormatTiff: return true;
    default: return false;
  }
}

WriteOutcome WriteImageFile(const PackedDib& image, const ConvertFormat& format, const std::filesystem::path& file) {
  bool written = false;
  switch (format.code) {
    case kFormatBmp: {
      auto output = OutputFile::Create(file);
      if (!output) return WriteOutcome::CannotCreate;
      written = WriteBmp(image, output->Stream()) && output->Commit();
      break;
    }
    case kFormatBmpRle: written = WriteBmpRle(file, image); break;
    case kFormatBmpBitfields: written = WriteBmpBitfields(file, image, format.option1); break;
    // JPEG: option 1 is progressive; PNG: option 1 is Adam7; TIFF: the compression number and tiles.
    case kFormatJpeg: written = WriteJpegImage(file, kJpegQuality, image, format.option1 != 0); break;
    case kFormatPng: written = WritePngImage(file, image, format.option1 != 0); break;
    case kFormatTiff: written = WriteTiffImage(file, format.option1, format.option2 != 0, image); break;
    default: break;
  }
  return written ? WriteOutcome::Written : WriteOutcome::Failed;
}

ConvertSource ImageToConvert(const CurrentImage& image) {
  if (image.SavedImage && !image.ReductionApplied && image.Kind == ImageKind::Bitmap) {
    return {&image.SavedImage, ImageKind::Bitmap};
  }
  return {&image.Handle, image.Kind};
}

}  // namespace ravelle
