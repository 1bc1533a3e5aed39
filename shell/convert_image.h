// The viewer's Convert/Save commands: proposing a name, asking where to save, writing through
// the format's writer and reporting the result with the new file's size.
#pragma once

#include <optional>
#include <string>

#include "port/port.h"
#include "shell/convert.h"
#include "shell/current_image.h"

namespace ravelle {

// The proposed output name: everything after the first dot of `source` replaced by the
// extension, or the extension appended behind a dot when there is none.
std::string ProposeSaveName(const std::string& source, const std::string& extension);

// The Save As dialog of a conversion to the format.
SaveRequest ConvertSaveRequest(const FormatRow& format, const std::string& proposedName);

// Shows the Save As dialog starting in the current folder; the chosen name, or nothing when the
// user cancelled.
std::optional<std::string> AskSaveName(Port& port, const SaveRequest& request);

// Writes `image` (of `kind`) to a file the user chooses, in the format and with the options
// given, and reports the outcome. A format whose writer this build lacks is refused with
// "Error Converting File" before any dialog is shown.
void ConvertImage(const PackedDib& image, ImageKind kind, Port& port, const std::string& source,
                  const WriterVariant& format);

// The conversion the viewer's Convert/Save command id asks for; nothing for other ids.
const WriterVariant* ConvertCommandFormat(int id);

}  // namespace ravelle
