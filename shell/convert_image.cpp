#include "shell/convert_image.h"

#include <filesystem>

#include "formats/common/read_result.h"
#include "shell/file_operation.h"

namespace ravelle {
namespace {

}  // namespace

std::string ProposeSaveName(const std::string& source, const std::string& extension) {
  const std::size_t dot = source.find('.');
  if (dot == std::string::npos) return source + "." + extension;
  return source.substr(0, dot + 1) + extension;
}

SaveRequest ConvertSaveRequest(const FormatRow& format, const std::string& proposedName) {
  const std::string extension(format.extension);
  SaveRequest request;
  request.owner = Owner::Viewer;
  request.filters = {{std::string(format.saveFilter), "*." + extension}, {"All Files (*.*)", "*.*"}};
  request.initialName = proposedName;
  request.defaultExtension = extension;
  request.overwritePrompt = true;
  return request;
}

std::optional<std::string> AskSaveName(Port& port, const SaveRequest& request) {
  SaveRequest withFolder = request;
  withFolder.initialFolder = CurrentFolder();
  return port.AskSaveFileName(withFolder);
}

void ConvertImage(const PackedDib& image, ImageKind kind, Port& port, const std::string& source,
                  const WriterVariant& format) {
  if (kind != ImageKind::Bitmap) {
    port.ShowMessage(Owner::Viewer, {"Unable to Convert File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand});
    return;
  }
  if (!image) return;
  const FormatRow* row = FindFormatOf(format);
  if (row == nullptr) return;
  if (format.write == nullptr) {
    port.ShowMessage(Owner::None, {"Error Converting File", "", kMbIconHand});
    return;
  }
  const auto chosen = AskSaveName(port, ConvertSaveRequest(*row, ProposeSaveName(source, std::string(row->extension))));
  if (!chosen) return;

  port.BeginWaitCursor();
  switch (WriteImageFile(image, format, *chosen)) {
    case WriteOutcome::CannotCreate:
      port.ShowMessage(Owner::None, {"Error Creating File", "", kMbIconHand});
      break;
    case WriteOutcome::Failed:
      port.ShowMessage(Owner::None, {"Error Converting File", "", kMbIconHand});
      break;
    case WriteOutcome::Written: {
      std::error_code error;
      const auto size = std::filesystem::file_size(*chosen, error);
      const unsigned long long bytes = error ? 0 : static_cast<unsigned long long>(size);
      port.ShowMessage(Owner::None, {*chosen + Format("\n\n%llu bytes", bytes), "File Converted Successfully", kMbOk});
      AddToFileList(port, *chosen);
      break;
    }
  }
  port.EndWaitCursor();
}

const WriterVariant* ConvertCommandFormat(int id) { return FindWriterByCommand(id); }

}  // namespace ravelle
