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

#include "formats/common/mac_binary.h"
#include "formats/common/read_result.h"
#include "formats/registry.h"
#include "port/port.h"
#include "shell/current_image.h"

namespace ravelle {

// Up to three characters after the last dot of the file name; empty without a dot.
std::string ExtensionOf(std::string_view filePath);

// Reads `filePath` into `image`: the type rules, the reader with its messages shown through the
// port, the preview frame, and for a raster image CompactDibDepth, BitCount and ColorsUsed, and
// AdaptToDisplay. The previous image must have been released. Shared by the dialog's loading and
// the stepping through the file list. Without `showMessages` the readers' messages are dropped;
// with `held` they are kept there, to be shown once the window shows the new file.
void ReadImageFile(CurrentImage& image, Port& port, const std::string& filePath, bool showMessages = true,
                   std::vector<Message>* held = nullptr);

// The dialog's loading of the selected file: ReadImageFile, then the image is shown in the
// preview pane (viewer closed) or the viewer is repainted with the new caption (viewer open), and
// the animation timer starts for icon sequences and animated cursors.
// `forPreview` when only the dialog's preview is to show it: a JPEG is then decoded at a DCT
// scale that still fills the preview box, and LoadFullSize reads it again for the viewer.
void LoadSelectedFile(CurrentImage& image, Port& port, const std::string& filePath, bool forPreview = false);

// Reads again at its own size a picture that LoadSelectedFile gave reduced for the preview.
void LoadFullSize(CurrentImage& image, Port& port);

// The viewer's caption: the file's name, five blanks and its size.
std::string ViewerCaption(const CurrentImage& image);

}  // namespace ravelle
