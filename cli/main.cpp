// ravelle-cli: the viewer's main jobs without a display.
//
//   ravelle-cli info [-j N] FILE...
//   ravelle-cli convert IN OUT --to FORMAT [--frame N] [--apply TOOL]... [--display-depth N]
//   ravelle-cli convert IN... --to FORMAT -o DIR [-j N] [--overwrite] [--frame N] [--apply TOOL]...
//   ravelle-cli render FILE OUT.png --size WxH [--tile]
//   ravelle-cli print FILE [--large|--tiled] [--printer NAME] [--copies N]
//
// Exit status: 0 success, 1 a file could not be read or written, 2 bad arguments or a format or
// tool this build does not have. Nothing here draws: `render` and `print` run ravelle-render,
// which holds the painter and the printer, so that the other commands start without loading them.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "cli/cli_support.h"
#include "shell/thumbnail.h"
#include "formats/registry.h"
#include "headless/headless_port.h"
#include "shell/convert.h"
#include "shell/convert_image.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"
#include "shell/still_frame.h"
#include "shell/tool_commands.h"

#ifndef RAVELLE_VERSION
#define RAVELLE_VERSION "0"
#endif
#ifndef RAVELLE_RENDER_FROM_BIN
#define RAVELLE_RENDER_FROM_BIN "../libexec/ravelle"
#endif

namespace ravelle::cli {
namespace {

struct NamedTool {
  std::string_view name;
  CommandId command;
};

constexpr NamedTool kTools[] = {
    {"rotate90", CommandId::Rotate90}, {"rotate180", CommandId::Rotate180}, {"rotate270", CommandId::Rotate270},
    {"flip-lr", CommandId::FlipLeftRight}, {"flip-tb", CommandId::FlipTopBottom}, {"invert", CommandId::InvertColors},
    {"brighten", CommandId::Brighten}, {"darken", CommandId::Darken}, {"truecolor", CommandId::TrueColor},
    {"best256", CommandId::Best256}, {"best32", CommandId::Best32}, {"best16", CommandId::Best16},
    {"std256", CommandId::Standard256}, {"web216", CommandId::Web216}, {"std16", CommandId::Standard16},
    {"gray", CommandId::Grayscale}, {"mono", CommandId::Monochrome}, {"restore", CommandId::RestoreOriginal},
};

std::optional<CommandId> FindTool(std::string_view name) {
  for (const NamedTool& t : kTools) {
    if (t.name == name) return t.command;
  }
  return std::nullopt;
}

// Words filled into lines of at most 92 columns, every line after the first indented.
std::string Fill(const std::vector<std::string_view>& words, std::size_t indent) {
  std::string text;
  std::size_t column = indent;
  for (std::string_view word : words) {
    if (column > indent && column + 1 + word.size() > 92) {
      text += "\n" + std::string(indent, ' ');
      column = indent;
    }
    if (column > indent) {
      text += ' ';
      ++column;
    }
    text += word;
    column += word.size();
  }
  return text + "\n";
}

// The help: the format names are the registry's writer names, the TIFF tile variants folded into
// one remark.
std::string Help() {
  std::vector<std::string_view> formats;
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      if (!writer.cliName.ends_with("-tiles")) formats.push_back(writer.cliName);
    }
  }
  for (std::string_view word : {"(TIFF", "names", "take", "a", "-tiles", "suffix", "for", "tiles)"}) formats.push_back(word);
  std::vector<std::string_view> tools;
  for (const NamedTool& tool : kTools) tools.push_back(tool.name);
  return std::string(kUsage) +
         "\n"
         "Ravelle Graphics' File Viewer, command-line tool.\n"
         "\n"
         "  info FILE...      print each file's information text, as File Info shows it\n"
         "  convert IN OUT    write IN to OUT in another format, as Convert/Save does\n"
         "  convert IN... -o DIR\n"
         "                    write each IN into the folder DIR, named as Convert/Save proposes:\n"
         "                    the name up to its first dot and the format's extension\n"
         "    --to FORMAT       " + Fill(formats, 22) +
         "    --frame N         write frame N (from 1, the default) of an animated GIF, as\n"
         "                      composed for showing, or image N of an icon file or frame N of\n"
         "                      an animated cursor\n"
         "    --apply TOOL      run a Tools command first, in the order given: " + Fill(tools, 22) +
         "    --display-depth N behave as on a display of N bits per pixel (8 and 4 reduce colour\n"
         "                      images as a palette display does)\n"
         "    --overwrite       replace files that already exist in DIR (otherwise such a file\n"
         "                      is kept and its conversion fails)\n"
         "  -j N              work on N files at once (info, and convert with -o); the default is\n"
         "                    the number of cores\n"
         "  render FILE OUT   paint FILE as the viewer would in a window whose client area is\n"
         "                    WxH pixels, on white, and write that as a PNG file\n"
         "    --size WxH        the client area, each side from 1 to 16384\n"
         "    --tile            tiled, as after the Tile button; centred otherwise\n"
         "  print FILE        print FILE on one page, as Print Normal does, to the default CUPS\n"
         "                    destination (CUPS_SERVER chooses the server)\n"
         "    --large | --tiled as Print Large or Print Tiled\n"
         "    --printer NAME    this destination instead\n"
         "    --copies N        N copies, from 1 to 999\n"
         "  thumbnail IN OUT  write the picture IN shows, shrunk so that its longer side is at most\n"
         "                    N pixels, as a PNG file with the freedesktop thumbnail keys\n"
         "    -s N              N from 1 to 4096; 256 by default\n"
         "  --verbose         also print what the image libraries reported\n"
         "\n"
         "Output keeps the order of the files given. On a terminal a progress line is shown on\n"
         "standard error while several files are worked on. A file that fails is named on\n"
         "standard error with the reason, on one line, and the others are still done. A file\n"
         "that ends early or is damaged is shown as far as it could be read, and said so on\n"
         "standard error.\n"
         "\n"
         "Exit status: 0 success, 1 a file could not be read or written, 2 bad arguments or a\n"
         "format or tool this build does not have.\n";
}

// "-j N" or "-jN" at args[i] (moving i past N); the count, or nothing after saying why.
std::optional<int> ParseJobs(const std::vector<std::string>& args, std::size_t& i) {
  std::string value = args[i].substr(2);
  if (value.empty()) {
    if (i + 1 >= args.size()) return std::nullopt;
    value = args[++i];
  }
  char* end = nullptr;
  const long jobs = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || jobs < 1 || jobs > 1024) return std::nullopt;
  return static_cast<int>(jobs);
}

// "-j" or "-j" with digits; any other word starting with "-j" is a file name, as before -j.
bool IsJobsOption(const std::string& arg) {
  return arg.starts_with("-j") && arg.find_first_not_of("0123456789", 2) == std::string::npos;
}

int Info(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  bool verbose = false;
  int jobs = DefaultJobs();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--verbose") {
      verbose = true;
    } else if (IsJobsOption(arg)) {
      const auto n = ParseJobs(args, i);
      if (!n) return Usage("-j takes a number of files from 1 to 1024");
      jobs = *n;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option '" + arg + "'");
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return Usage("info needs at least one file");
  return RunBatch(files, jobs, [&](std::size_t index) {
    const std::string& file = files[index];
    HeadlessPort port;
    CurrentImage image;
    Messages messages;
    messages.name = file;
    messages.verbose = verbose;
    const bool loaded = LoadForCommand(image, port, file, messages);
    FileReport report;
    if (files.size() > 1) report.out = "==> " + file + " <==\n";
    report.out += image.InfoText;
    if (!image.InfoText.empty() && !image.InfoText.ends_with('\n')) report.out += '\n';
    report.err = std::move(messages.text);
    report.status = loaded ? kExitOk : kExitFailed;
    return report;
  });
}

struct ConvertOptions {
  const WriterVariant* format = nullptr;
  std::string formatName;
  std::vector<std::pair<std::string, CommandId>> tools;
  int displayDepth = 24;
  int frame = 1;  // 1-based
  bool verbose = false;
  bool overwrite = false;
  int jobs = DefaultJobs();
  std::optional<std::string> folder;  // -o DIR: the batch form
};

// Reads `in`, runs the tools and writes `out`; what is to be printed. Every message names `in`.
FileReport ConvertFile(const ConvertOptions& options, const std::string& in, const std::string& out) {
  FileReport report;
  report.errFirst = true;
  Messages messages;
  messages.name = in;
  messages.verbose = options.verbose;
  auto fail = [&](int status, const std::string& message) {
    if (!message.empty()) messages.Add(message);
    report.err = std::move(messages.text);
    report.status = status;
    return report;
  };

  HeadlessPort port;
  port.displayDepth = options.displayDepth;
  CurrentImage image;
  ShellState shell;
  if (!LoadForCommand(image, port, in, messages)) return fail(kExitFailed, "");
  if (!TakeFrameAsBitmap(image, port, options.frame)) {
    messages.TakeFrom(port);
    messages.Note(in, Format("no frame %d (the file has %d)", options.frame, FrameCount(image)));
    return fail(kExitFailed, "");
  }

  // The tools run as in an open viewer window.
  image.Viewer = true;
  for (const auto& [name, command] : options.tools) {
    const bool available = RunToolCommand(image, shell, port, command);
    messages.TakeFrom(port);
    if (!available) {
      report.err = std::move(messages.text) + "ravelle-cli: tool '" + name + "' is not available in this build\n";
      report.status = kExitUsage;
      return report;
    }
  }

  const ConvertSource source = ImageToConvert(image);
  if (source.kind != ImageKind::Bitmap) return fail(kExitFailed, "Unable to Convert File: \n\nCurrent File is Not a Bitmap");
  if (!*source.image) return fail(kExitFailed, "");
  errno = 0;
  const WriteOutcome outcome = WriteImageFile(*source.image, *options.format, out);
  if (outcome != WriteOutcome::Written) {
    messages.Note(in, WriteFailureReason(out, outcome == WriteOutcome::Failed, errno));
    return fail(kExitFailed, "");
  }
  struct stat st {};
  const unsigned long long size = ::stat(out.c_str(), &st) == 0 ? static_cast<unsigned long long>(st.st_size) : 0;
  report.out = out + ": " + std::to_string(size) + " bytes\n";
  report.err = std::move(messages.text);
  return report;
}

// The name Convert/Save proposes for `in` inside `folder`. Leading dots belong to the name (a
// hidden file keeps its name), so the first dot after them counts.
std::string OutputName(const std::string& folder, const std::string& in, std::string_view extension) {
  const std::string name = std::filesystem::path(in).filename().string();
  const std::size_t lead = name.find_first_not_of('.');
  const std::string proposed = lead == std::string::npos || lead == 0
                                   ? ProposeSaveName(name, std::string(extension))
                                   : name.substr(0, lead) + ProposeSaveName(name.substr(lead), std::string(extension));
  return (std::filesystem::path(folder) / proposed).string();
}

int ConvertBatch(const ConvertOptions& options, const std::vector<std::string>& inputs) {
  const std::string& folder = *options.folder;
  struct stat st {};
  const bool exists = ::stat(folder.c_str(), &st) == 0;
  if (!exists || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "ravelle-cli: %s: %s\n", folder.c_str(), exists ? "not a folder" : "no such folder");
    return kExitFailed;
  }
  const std::string_view extension = FindFormatOf(*options.format)->extension;
  std::vector<std::string> outputs;
  std::vector<bool> repeated;  // an earlier input already gives this output name
  std::set<std::string> names;
  for (const std::string& in : inputs) {
    outputs.push_back(OutputName(folder, in, extension));
    repeated.push_back(!names.insert(outputs.back()).second);
  }
  return RunBatch(inputs, options.jobs, [&](std::size_t i) -> FileReport {
    const std::string& in = inputs[i];
    const std::string& out = outputs[i];
    if (repeated[i]) return {"", "ravelle-cli: " + in + ": " + out + " is written from an earlier file\n", kExitFailed};
    if (!options.overwrite && ::access(out.c_str(), F_OK) == 0) {
      return {"", "ravelle-cli: " + in + ": " + out + " exists (--overwrite replaces it)\n", kExitFailed};
    }
    return ConvertFile(options, in, out);
  });
}

int Convert(const std::vector<std::string>& args) {
  ConvertOptions options;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--to") {
      if (!hasValue) return Usage("--to needs a format");
      options.formatName = args[++i];
      options.format = FindWriterByName(options.formatName);
      if (!options.format) return Usage("unknown format '" + options.formatName + "'");
    } else if (arg == "--apply") {
      if (!hasValue) return Usage("--apply needs a tool");
      const std::string& name = args[++i];
      const auto command = FindTool(name);
      if (!command) return Usage("unknown tool '" + name + "'");
      options.tools.emplace_back(name, *command);
    } else if (arg == "--display-depth") {
      if (!hasValue) return Usage("--display-depth needs a number");
      char* end = nullptr;
      const long depth = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != '\0' || depth < 1 || depth > 32) return Usage("--display-depth takes a depth from 1 to 32");
      options.displayDepth = static_cast<int>(depth);
    } else if (arg == "--frame") {
      if (!hasValue) return Usage("--frame needs a number");
      char* end = nullptr;
      const long frame = std::strtol(args[++i].c_str(), &end, 10);
      if (args[i].empty() || *end != '\0' || frame < 1 || frame > 1000000) return Usage("--frame takes a frame number from 1");
      options.frame = static_cast<int>(frame);
    } else if (arg == "-o") {
      if (!hasValue) return Usage("-o needs a folder");
      options.folder = args[++i];
    } else if (IsJobsOption(arg)) {
      const auto n = ParseJobs(args, i);
      if (!n) return Usage("-j takes a number of files from 1 to 1024");
      options.jobs = *n;
    } else if (arg == "--overwrite") {
      options.overwrite = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (options.folder ? positional.empty() : positional.size() != 2) {
    return Usage(options.folder ? "convert -o DIR needs at least one input file" : "convert needs an input and an output file");
  }
  if (!options.format) return Usage("convert needs --to FORMAT");
  if (options.format->write == nullptr) {
    std::fprintf(stderr, "ravelle-cli: format '%s' is not available in this build\n", options.formatName.c_str());
    return kExitUsage;
  }
  if (options.folder) return ConvertBatch(options, positional);

  const FileReport report = ConvertFile(options, positional[0], positional[1]);
  Print(report);
  return report.status;
}

// Runs ravelle-render, beside this program or where the installation puts it, in place of this
// process: it parses the arguments and paints (or, with `print`, prints; the command is kept).
int Render(char** argv, bool keepCommand = false) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    for (const std::filesystem::path& folder : {self.parent_path(), self.parent_path() / RAVELLE_RENDER_FROM_BIN}) {
      const std::string program = (folder / "ravelle-render").string();
      if (::access(program.c_str(), X_OK) != 0) continue;
      char** args = keepCommand ? argv : argv + 1;
      args[0] = const_cast<char*>(program.c_str());
      ::execv(program.c_str(), args);
      std::fprintf(stderr, "ravelle-cli: cannot run %s\n", program.c_str());
      return kExitFailed;
    }
  }
  std::fprintf(stderr, "ravelle-cli: %s needs ravelle-render, which this installation lacks\n", argv[1]);
  return kExitUsage;
}

// A raster's thumbnail is made here; a metafile's is drawn by ravelle-render.
int ThumbnailCommand(const std::vector<std::string>& args, char** argv) {
  int status = kExitOk;
  const std::optional<ThumbnailArgs> parsed = ParseThumbnailArgs(args, status);
  if (!parsed) return status;
  HeadlessPort port;
  CurrentImage image;
  image.FitSide = parsed->side;
  Messages messages;
  const bool loaded = LoadForCommand(image, port, parsed->in, messages);
  std::fputs(messages.text.c_str(), stderr);
  if (!loaded) return kExitFailed;
  if (image.Metafile) return Render(argv, true);
  return WriteThumbnail(image, RasterThumbnail(image, parsed->side), *parsed);
}

}  // namespace
}  // namespace ravelle::cli

int main(int argc, char** argv) {
  using namespace ravelle::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") {
    std::fputs(Help().c_str(), stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("ravelle-cli %s\n", RAVELLE_VERSION);
    return kExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "info") return Info(rest);
  if (command == "convert") return Convert(rest);
  if (command == "render") return Render(argv);
  if (command == "print") return Render(argv, true);
  if (command == "thumbnail") return ThumbnailCommand(rest, argv);
  return Usage("unknown command '" + command + "'");
}
