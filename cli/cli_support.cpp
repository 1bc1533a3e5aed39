#include "cli/cli_support.h"

#include <cstdio>

#include "shell/load.h"

namespace ravelle::cli {

const char* const kUsage =
    "usage: ravelle-cli info [--verbose] [-j N] FILE...\n"
    "       ravelle-cli convert IN OUT --to FORMAT [--frame N] [--apply TOOL]... [--display-depth N]\n"
    "                   [--verbose]\n"
    "       ravelle-cli convert IN... --to FORMAT -o DIR [-j N] [--overwrite] [--frame N]\n"
    "                   [--apply TOOL]... [--display-depth N] [--verbose]\n"
    "       ravelle-cli render FILE OUT.png --size WxH [--tile] [--verbose]\n"
    "       ravelle-cli --help | --version\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "ravelle-cli: %s\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

void Messages::Add(const std::string& message) {
  if (name.empty()) {
    text += message;
    if (!message.ends_with('\n')) text += '\n';
    return;
  }
  // One line: the box's lines joined by single blanks.
  std::string line;
  std::size_t start = 0;
  while (start <= message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::string_view piece(message.data() + start, end - start);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    if (!piece.empty()) line += (line.empty() ? "" : " ") + std::string(piece);
    start = end + 1;
  }
  Note(name, line);
}

void Messages::Note(const std::string& file, const std::string& reason) {
  text += "ravelle-cli: " + file + ": " + reason + "\n";
}

void Messages::TakeFrom(HeadlessPort& port) {
  for (const auto& shown : port.messages) Add(shown.message.text);
  if (verbose) {
    for (const std::string& diagnostic : port.diagnostics) text += "ravelle-cli: " + diagnostic + "\n";
  }
  port.messages.clear();
  port.diagnostics.clear();
}

bool LoadForCommand(CurrentImage& image, HeadlessPort& port, const std::string& file, Messages& messages) {
  const Size units = port.DialogBaseUnits();
  image.PreviewBox = {40 * units.width, 20 * units.height};
  LoadSelectedFile(image, port, file);
  messages.TakeFrom(port);
  if (image.Kind != ImageKind::NoImage) {
    if (messages.verbose && image.LoadStatus == ReadStatus::Truncated) messages.Note(file, ReadStatusText(ReadStatus::Truncated));
    return true;
  }
  messages.Note(file, FailureReason(image));
  return false;
}

// A reader that gave no image without saying why found no file of its type.
std::string FailureReason(const CurrentImage& image) {
  return ReadStatusText(image.LoadStatus == ReadStatus::Ok ? ReadStatus::BadHeader : image.LoadStatus);
}

}  // namespace ravelle::cli
