// Loading a file into the image record: deciding its type from its first bytes (and, for a few
// types, its extension), calling the matching reader, and the steps every raster image goes
// through afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "formats/common/read_result.h"
#include "platform/port.h"
#include "shell/current_image.h"

namespace ravelle {

enum class FileType {
  WindowsBitmap,
  Os2Bitmap,
  Os2v2Bitmap,
  OtherBitmapHeader,  // "BM" with a header size no reader knows: no image, no message
  Gif,
  Jpeg,
  Pcx,
  Tiff,
  Png,
  Iff,
  AnimatedCursor,
  Icon,
  SunIcon,
  PlaceableMetafile,
  WindowsMetafile,
  EnhancedMetafile,
  Targa,
  MacBinaryGif,
  MacBinaryTiff,
  Unknown,
};

struct TypeDecision {
  FileType type = FileType::Unknown;
  ImageKind kind = ImageKind::NoImage;
  std::size_t start = 0;  // where a bitmap's file header begins (14 inside an OS/2 bitmap array)
};

// The number of leading bytes DecideFileType looks at (the MacBinary test reads at offset 128).
inline constexpr std::size_t kTypeProbeBytes = 160;

// The type rules, in order. `head` is the start of the file (shorter files are taken as padded
// with zeros); `extension` is compared without regard to case.
TypeDecision DecideFileType(std::span<const uint8_t> head, std::string_view extension);

// Up to three characters after the last dot of the file name; empty without a dot.
std::string ExtensionOf(std::string_view filePath);

// Runs `read` on a temporary copy of `file` without its first 128 bytes (a MacBinary header),
// and removes the copy afterwards.
ReadResult ReadWithoutMacBinaryHeader(const std::filesystem::path& file,
                                      const std::function<ReadResult(const std::filesystem::path&)>& read);

// Reads `filePath` into `image`: the type rules, the reader with its messages shown through the
// port, the preview frame, and for a raster image CompactDibDepth, BitCount and ColorsUsed, and
// AdaptToDisplay. The previous image must have been released. Shared by the dialog's loading and
// the stepping through the file list.
void ReadImageFile(CurrentImage& image, Port& port, const std::string& filePath);

// The dialog's loading of the selected file: ReadImageFile, then the image is shown in the
// preview pane (viewer closed) or the viewer is repainted with the new caption (viewer open), and
// the animation timer starts for icon sequences and animated cursors.
void LoadSelectedFile(CurrentImage& image, Port& port, const std::string& filePath);

// The viewer's caption: the file's name, five blanks and its size.
std::string ViewerCaption(const CurrentImage& image);

}  // namespace ravelle
