#include "shell/convert_image.h"

#include <filesystem>

#include "formats/common/read_result.h"
#include "shell/file_operation.h"

namespace ravelle {
namespace {

const char* FilterDescription(int code) {
  switch (code) {
    case kFormatBmp: case kFormatBmpRle: case kFormatBmpBitfields: return "Windows Bitmap (*.bmp)";
    case kFormatJpeg: return "JPEG (*.jpg)";
    case kFormatGif: return "GIF (*.gif)";
    case kFormatIff: return "IFF (*.iff)";
    case kFormatPcx: return "PCX (*.pcx)";
    case kFormatPng: return "PNG (*.png)";
    case kFormatTarga: return "TARGA (*.tga)";
    case kFormatTiff: return "TIFF (*.tif)";
    default: return nullptr;
  }
}

// The TIFF compression number of each Convert/Save TIF command: strips first, tiles second.
struct TiffCommand {
  int strips;
  int tiles;
  int compression;
};
constexpr TiffCommand kTiffCommands[] = {
    {139, 154, 1}, {142, 155, 2}, {143, 156, 3}, {144, 157, 4},
    {140, 158, 5}, {141, 159, 7}, {145, 160, 32773}, {146, 161, 32946},
};

}  // namespace

std::string ProposeSaveName(const std::string& source, const std::string& extension) {
  const std::size_t dot = source.find('.');
  if (dot == std::string::npos) return source + "." + extension;
  return source.substr(0, dot + 1) + extension;
}

std::optional<SaveRequest> ConvertSaveRequest(int code, const std::string& proposedName) {
  const char* extension = FormatExtension(code);
  const char* description = FilterDescription(code);
  if (extension == nullptr || description == nullptr) return std::nullopt;
  SaveRequest request;
  request.owner = Owner::Viewer;
  request.filters = {{description, std::string("*.") + extension}, {"All Files (*.*)", "*.*"}};
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
                  const ConvertFormat& format) {
  if (kind != ImageKind::Bitmap) {
    port.ShowMessage(Owner::Viewer, {"Unable to Convert File: \n\nCurrent File is Not a Bitmap", "", kMbIconHand});
    return;
  }
  if (!image) return;
  const char* extension = FormatExtension(format.code);
  if (extension == nullptr) return;
  if (!FormatAvailable(format.code)) {
    port.ShowMessage(Owner::None, {"Error Converting File", "", kMbIconHand});
    return;
  }
  const auto request = ConvertSaveRequest(format.code, ProposeSaveName(source, extension));
  if (!request) return;
  const auto chosen = AskSaveName(port, *request);
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

std::optional<ConvertFormat> ConvertCommandFormat(int id) {
  switch (id) {
    case 117: return ConvertFormat{kFormatBmp, 0, 0};
    case 173: return ConvertFormat{kFormatBmpRle, 0, 0};
    case 178: case 179: return ConvertFormat{kFormatBmpBitfields, id - 178, 0};
    case 136: return ConvertFormat{kFormatGif, 0, 0};
    case 165: return ConvertFormat{kFormatGif, 1, 0};
    case 174: case 175: case 176: case 177: return ConvertFormat{kFormatIff, (id - 174) % 2, (id - 174) / 2};
    case 118: return ConvertFormat{kFormatJpeg, 0, 0};
    case 166: return ConvertFormat{kFormatJpeg, 1, 0};
    case 172: return ConvertFormat{kFormatPcx, 0, 0};
    case 163: case 164: return ConvertFormat{kFormatPng, id - 163, 0};
    case 168: case 169: return ConvertFormat{kFormatTarga, id - 168, 0};
    default: break;
  }
  for (const TiffCommand& tiff : kTiffCommands) {
    if (id == tiff.strips) return ConvertFormat{kFormatTiff, tiff.compression, 0};
    if (id == tiff.tiles) return ConvertFormat{kFormatTiff, tiff.compression, 1};
  }
  return std::nullopt;
}

}  // namespace ravelle
