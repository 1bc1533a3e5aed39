#include "cli/cli_support.h"

#include <sys/stat.h>

#include <cstdio>
#include <optional>

#include "formats/registry.h"
#include "image/limits.h"
#include "image/opened_file.h"
#include "shell/load.h"

namespace ravelle::cli {

const char* const kUsage =
    "usage: ravelle-cli info [--verbose] [-j N] FILE...\n"
    "       ravelle-cli convert IN OUT --to FORMAT [--apply TOOL]... [--display-depth N] [--verbose]\n"
    "       ravelle-cli convert IN... --to FORMAT -o DIR [-j N] [--overwrite] [--apply TOOL]...\n"
    "                   [--display-depth N] [--verbose]\n"
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
  if (image.Kind != ImageKind::NoImage) return true;
  messages.Note(file, FailureReason(file));
  return false;
}

namespace {

// Up to `limit` bytes from the start of a regular file; nothing when it cannot be read.
std::optional<std::vector<uint8_t>> ReadStart(const std::string& path, uint64_t limit) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  OpenedFile file{std::fopen(path.c_str(), "rb")};
  if (file.stream == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(std::min<uint64_t>(limit, static_cast<uint64_t>(st.st_size))));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.stream));
  if (std::ferror(file.stream)) return std::nullopt;
  return bytes;
}

}  // namespace

// The load does not hand back its reader's status, so the file is read once more; this happens
// only for files that failed.
std::string FailureReason(const std::string& file) {
  constexpr const char* kNoReader = "not an image this build can read";
  const auto head = ReadStart(file, kTypeProbeBytes);
  if (!head) return ReadStatusText(ReadStatus::OpenFailed);
  const TypeDecision decision = DecideFileType(*head, ExtensionOf(file));
  const TypeReader* reader = FindReader(decision.type);
  if (reader == nullptr || reader->read == nullptr) return kNoReader;
  ReadResult result;
  if (!reader->wholeFile) {
    result = reader->read({{}, file, 24, decision.start});
  } else {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
      return ReadStatusText(ReadStatus::TooLarge);
    }
    const auto bytes = ReadStart(file, kMaxFileBytes);
    if (!bytes) return ReadStatusText(ReadStatus::OpenFailed);
    result = reader->read({*bytes, file, 24, decision.start});
  }
  // A reader that gave no image without saying why found no file of its type.
  return ReadStatusText(result.status == ReadStatus::Ok ? ReadStatus::BadHeader : result.status);
}

}  // namespace ravelle::cli
