// What ravelle-cli's commands and ravelle-render share: exit statuses, usage errors, loading a
// file as the browsing dialog does, and saying why a file gave no image.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "headless/headless_port.h"
#include "shell/current_image.h"
#include "shell/thumbnail.h"

namespace ravelle::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

extern const char* const kUsage;

// Prints the problem and the usage on standard error; kExitUsage.
int Usage(const std::string& problem);

// Where a command's messages go: each message the viewer would have shown in a box is one line
// starting with "ravelle-cli: NAME: ", NAME being the file worked on.
struct Messages {
  std::string name;
  bool verbose = false;  // also what the image libraries reported
  std::string text;

  void Add(const std::string& message);
  void Note(const std::string& file, const std::string& reason);  // "ravelle-cli: FILE: REASON"
  void TakeFrom(HeadlessPort& port);                             // and clears the port's lists
};

// Loads `file` as the dialog does, taking the port's messages. When there is no image it adds
// why (FailureReason), alone, and returns false; a picture cut short by damage says so.
bool LoadForCommand(CurrentImage& image, HeadlessPort& port, const std::string& file, Messages& messages);

// Why the file just loaded gives no image: its reader's status as text, or that no reader takes it.
std::string FailureReason(const CurrentImage& image);

// Why `out` was not written: the folder's state or a full disk (`error`, errno after the write)
// when that explains it, else the viewer's words; `created` when the file could be created.
std::string WriteFailureReason(const std::string& out, bool created, int error);

// `thumbnail [-s N] IN OUT`: its arguments, or the usage error's exit status.
struct ThumbnailArgs {
  int side = 0;
  std::string in;
  std::string out;
};
std::optional<ThumbnailArgs> ParseThumbnailArgs(const std::vector<std::string>& args, int& status);

// Writes the thumbnail of `image` loaded from args.in to args.out as PNG with its keys and says
// so on standard output; kExitOk or, after saying why, kExitFailed.
int WriteThumbnail(const CurrentImage& image, const Thumbnail& thumbnail, const ThumbnailArgs& args);

}  // namespace ravelle::cli
