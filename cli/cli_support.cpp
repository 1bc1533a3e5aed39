#include "cli/cli_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "formats/lib/png_file.h"
#include "shell/load.h"
#include "shell/thumbnail.h"

namespace ravelle::cli {

const char* const kUsage =
    "usage: ravelle-cli info [--verbose] [-j N] FILE...\n"
    "       ravelle-cli convert IN OUT --to FORMAT [--frame N] [--apply TOOL]... [--display-depth N]\n"
    "                   [--verbose]\n"
    "       ravelle-cli convert IN... --to FORMAT -o DIR [-j N] [--overwrite] [--frame N]\n"
    "                   [--apply TOOL]... [--display-depth N] [--verbose]\n"
    "       ravelle-cli render FILE OUT.png --size WxH [--tile] [--verbose]\n"
    "       ravelle-cli print FILE [--large | --tiled] [--printer NAME] [--copies N]\n"
    "       ravelle-cli thumbnail [-s N] IN OUT.png\n"
    "       ravelle-cli --help | --version\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "ravelle-cli: %s\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

void Messages::Add(const std::string& message) {
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
  if (messages.name.empty()) messages.name = file;
  const Size units = port.DialogBaseUnits();
  image.PreviewBox = {40 * units.width, 20 * units.height};
  LoadSelectedFile(image, port, file);
  if (image.Kind == ImageKind::NoImage) {
    // One line with the real reason; the box's words ("Error Opening File") would only repeat it.
    // A reader that names the layout it does not read says so last among its diagnostics.
    std::string reason = FailureReason(image);
    if (image.LoadStatus == ReadStatus::Unsupported && !port.diagnostics.empty() &&
        port.diagnostics.back().starts_with("unsupported ")) {
      reason = port.diagnostics.back();
    }
    port.messages.clear();
    messages.TakeFrom(port);
    messages.Note(file, reason);
    return false;
  }
  messages.TakeFrom(port);
  if (image.LoadStatus == ReadStatus::Truncated) messages.Note(file, ReadStatusText(ReadStatus::Truncated));
  return true;
}

// A reader that gave no image without saying why found no file of its type; a file that could
// not be opened says what the file system says.
std::string FailureReason(const CurrentImage& image) {
  if (image.LoadStatus == ReadStatus::OpenFailed) {
    struct stat st {};
    if (::stat(image.FilePath.c_str(), &st) != 0) return errno == ENOENT ? "no such file" : std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "a folder, not a file";
    if (::access(image.FilePath.c_str(), R_OK) != 0) return "permission denied";
  }
  return ReadStatusText(image.LoadStatus == ReadStatus::Ok ? ReadStatus::BadHeader : image.LoadStatus);
}

std::string WriteFailureReason(const std::string& out, bool created, int error) {
  const std::filesystem::path parent = std::filesystem::path(out).parent_path();
  const std::string folder = parent.empty() ? "." : parent.string();
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return "cannot write " + out + ": no such folder";
  if (!S_ISDIR(st.st_mode)) return "cannot write " + out + ": " + folder + " is not a folder";
  if (::access(folder.c_str(), W_OK) != 0) return "cannot write " + out + ": permission denied";
  if (error == ENOSPC || error == EDQUOT) return "cannot write " + out + ": disk full";
  return std::string(created ? "Error Converting File" : "Error Creating File") + " (" + out + ")";
}

std::optional<ThumbnailArgs> ParseThumbnailArgs(const std::vector<std::string>& args, int& status) {
  ThumbnailArgs parsed{kDefaultThumbnailSide, "", ""};
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-s" || arg == "--size") {
      char* end = nullptr;
      const long side = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : 0;
      if (end == nullptr || *end != '\0' || side < 1 || side > kMaxThumbnailSide) {
        status = Usage("-s takes the thumbnail's longer side, from 1 to 4096 pixels");
        return std::nullopt;
      }
      parsed.side = static_cast<int>(side);
      ++i;
    } else if (arg.starts_with("-") && arg.size() > 1) {
      status = Usage("unknown option '" + arg + "'");
      return std::nullopt;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) {
    status = Usage("thumbnail needs an input file and an output file");
    return std::nullopt;
  }
  parsed.in = files[0];
  parsed.out = files[1];
  return parsed;
}

int WriteThumbnail(const CurrentImage& image, const Thumbnail& thumbnail, const ThumbnailArgs& args) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(args.in, error);
  if (!thumbnail.picture || error) {
    std::fprintf(stderr, "ravelle-cli: %s: no picture to make a thumbnail of\n", args.in.c_str());
    return kExitFailed;
  }
  const auto keys = ThumbnailKeys(absolute.lexically_normal().string(), image.FindData, thumbnail);
  if (!WritePngImage(args.out, thumbnail.picture, false, keys)) {
    std::fprintf(stderr, "ravelle-cli: %s: %s\n", args.out.c_str(), WriteFailureReason(args.out, false, errno).c_str());
    return kExitFailed;
  }
  std::printf("%s: %dx%d\n", args.out.c_str(), thumbnail.picture.Width(), thumbnail.picture.Height());
  return kExitOk;
}

}  // namespace ravelle::cli
