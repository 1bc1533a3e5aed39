// ravelle-cli: the viewer's main jobs without a display.
//
//   ravelle-cli info FILE...
//   ravelle-cli convert IN OUT --to FORMAT [--apply TOOL]... [--display-depth N]
//   ravelle-cli render FILE OUT.png --size WxH [--tile]
//
// Exit status: 0 success, 1 a file could not be read or written, 2 bad arguments or a format or
// tool this build does not have.

#include <sys/stat.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/output_file.h"
#include "platform/headless/headless_port.h"
#include "platform/headless/painter_surface.h"
#include "shell/convert.h"
#include "shell/current_image.h"
#include "shell/load.h"
#include "shell/shell_state.h"
#include "shell/tool_commands.h"
#include "shell/paint_shown.h"

#ifndef RAVELLE_VERSION
#define RAVELLE_VERSION "0"
#endif

namespace ravelle {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: ravelle-cli info [--verbose] FILE...\n"
    "       ravelle-cli convert IN OUT --to FORMAT [--apply TOOL]... [--display-depth N] [--verbose]\n"
    "       ravelle-cli render FILE OUT.png --size WxH [--tile] [--verbose]\n"
    "       ravelle-cli --help | --version\n";

constexpr const char* kHelp =
    "Ravelle Graphics' File Viewer, command-line tool.\n"
    "\n"
    "  info FILE...      print each file's information text, as File Info shows it\n"
    "  convert IN OUT    write IN to OUT in another format, as Convert/Save does\n"
    "    --to FORMAT       bmp bmp-rle bmp-bitfields bmp-bitfields-565 gif gif-interlaced\n"
    "                      iff iff-packed iff-ham iff-ham-packed jpeg jpeg-progressive pcx\n"
    "                      png png-adam7 tga tga-rle tiff-none tiff-huffman tiff-g3 tiff-g4\n"
    "                      tiff-lzw tiff-jpeg tiff-packbits tiff-deflate (TIFF names take\n"
    "                      a -tiles suffix for tiles)\n"
    "    --apply TOOL      run a Tools command first, in the order given: rotate90 rotate180\n"
    "                      rotate270 flip-lr flip-tb invert brighten darken truecolor best256\n"
    "                      best32 best16 std256 web216 std16 gray mono restore\n"
    "    --display-depth N behave as on a display of N bits per pixel (8 and 4 reduce colour\n"
    "                      images as a palette display does)\n"
    "  render FILE OUT   paint FILE as the viewer would in a window whose client area is\n"
    "                    WxH pixels, on white, and write that as a PNG file\n"
    "    --size WxH        the client area, each side from 1 to 16384\n"
    "    --tile            tiled, as after the Tile button; centred otherwise\n"
    "  --verbose         also print what the image libraries reported\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read or written, 2 bad arguments or a\n"
    "format or tool this build does not have.\n";

struct NamedTool {
  std::string_view name;
  int command;
};

constexpr NamedTool kTools[] = {
    {"rotate90", kCmdRotate90}, {"rotate180", kCmdRotate180}, {"rotate270", kCmdRotate270},
    {"flip-lr", kCmdFlipLeftRight}, {"flip-tb", kCmdFlipTopBottom}, {"invert", kCmdInvertColors},
    {"brighten", kCmdBrighten}, {"darken", kCmdDarken}, {"truecolor", kCmdTrueColor},
    {"best256", kCmdBest256}, {"best32", kCmdBest32}, {"best16", kCmdBest16},
    {"std256", kCmdStandard256}, {"web216", kCmdWeb216}, {"std16", kCmdStandard16},
    {"gray", kCmdGrayscale}, {"mono", kCmdMonochrome}, {"restore", kCmdRestoreOriginal},
};

// The --to names are the registry's writer names.
const WriterVariant* FindFormat(std::string_view name) { return FindWriterByName(name); }

std::optional<int> FindTool(std::string_view name) {
  for (const NamedTool& t : kTools) {
    if (t.name == name) return t.command;
  }
  return std::nullopt;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "ravelle-cli: %s\n%s", problem, kUsage);
  return kExitUsage;
}

// Messages the viewer would have shown in boxes go to standard error, and with --verbose what
// the image libraries reported.
void PrintMessages(const HeadlessPort& port, bool verbose) {
  for (const auto& shown : port.messages) {
    const std::string& text = shown.message.text;
    std::fprintf(stderr, "%s%s", text.c_str(), text.ends_with('\n') ? "" : "\n");
  }
  if (!verbose) return;
  for (const std::string& text : port.diagnostics) std::fprintf(stderr, "ravelle-cli: %s\n", text.c_str());
}

void PrepareImage(CurrentImage& image, HeadlessPort& port) {
  const Size units = port.DialogBaseUnits();
  image.PreviewBox = {40 * units.width, 20 * units.height};
}

// Loads `file` as the dialog does and prints what the user would have been told; false, after
// saying why, when there is no image.
bool LoadForCommand(CurrentImage& image, HeadlessPort& port, const std::string& file, bool verbose) {
  PrepareImage(image, port);
  LoadSelectedFile(image, port, file);
  PrintMessages(port, verbose);
  if (image.Kind != ImageKind::NoImage) return true;
  if (port.messages.empty()) std::fprintf(stderr, "ravelle-cli: %s: not an image this build can read\n", file.c_str());
  return false;
}

int Info(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  bool verbose = false;
  for (const std::string& arg : args) {
    if (arg == "--verbose") {
      verbose = true;
    } else if (arg.starts_with("--")) {
      return Usage(("unknown option '" + arg + "'").c_str());
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return Usage("info needs at least one file");
  int status = kExitOk;
  for (const std::string& file : files) {
    HeadlessPort port;
    CurrentImage image;
    PrepareImage(image, port);
    LoadSelectedFile(image, port, file);
    if (files.size() > 1) std::printf("==> %s <==\n", file.c_str());
    const std::string& text = image.InfoText;
    std::fputs(text.c_str(), stdout);
    if (!text.empty() && !text.ends_with('\n')) std::fputc('\n', stdout);
    std::fflush(stdout);
    PrintMessages(port, verbose);
    if (image.Kind == ImageKind::NoImage) {
      if (port.messages.empty()) std::fprintf(stderr, "ravelle-cli: %s: not an image this build can read\n", file.c_str());
      status = kExitFailed;
    }
  }
  return status;
}

int Convert(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  const WriterVariant* format = nullptr;
  std::string formatName;
  std::vector<std::pair<std::string, int>> tools;
  int displayDepth = 24;
  bool verbose = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--to") {
      if (!hasValue) return Usage("--to needs a format");
      formatName = args[++i];
      format = FindFormat(formatName);
      if (!format) return Usage(("unknown format '" + formatName + "'").c_str());
    } else if (arg == "--apply") {
      if (!hasValue) return Usage("--apply needs a tool");
      const std::string& name = args[++i];
      const auto command = FindTool(name);
      if (!command) return Usage(("unknown tool '" + name + "'").c_str());
      tools.emplace_back(name, *command);
    } else if (arg == "--display-depth") {
      if (!hasValue) return Usage("--display-depth needs a number");
      char* end = nullptr;
      const long depth = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != '\0' || depth < 1 || depth > 32) return Usage("--display-depth takes a depth from 1 to 32");
      displayDepth = static_cast<int>(depth);
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg.starts_with("--")) {
      return Usage(("unknown option '" + arg + "'").c_str());
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return Usage("convert needs an input and an output file");
  if (!format) return Usage("convert needs --to FORMAT");
  if (format->write == nullptr) {
    std::fprintf(stderr, "ravelle-cli: format '%s' is not available in this build\n", formatName.c_str());
    return kExitUsage;
  }
  const std::string& in = positional[0];
  const std::string& out = positional[1];

  HeadlessPort port;
  port.displayDepth = displayDepth;
  CurrentImage image;
  ShellState shell;
  if (!LoadForCommand(image, port, in, verbose)) return kExitFailed;

  // The tools run as in an open viewer window.
  image.Viewer = true;
  for (const auto& [name, command] : tools) {
    port.messages.clear();
    port.diagnostics.clear();
    const bool available = RunToolCommand(image, shell, port, command);
    PrintMessages(port, verbose);
    if (!available) {
      std::fprintf(stderr, "ravelle-cli: tool '%s' is not available in this build\n", name.c_str());
      return kExitUsage;
    }
  }

  const ConvertSource source = ImageToConvert(image);
  if (source.kind != ImageKind::Bitmap) {
    std::fprintf(stderr, "Unable to Convert File: \n\nCurrent File is Not a Bitmap\n");
    return kExitFailed;
  }
  if (!*source.image) return kExitFailed;
  switch (WriteImageFile(*source.image, *format, out)) {
    case WriteOutcome::CannotCreate:
      std::fprintf(stderr, "Error Creating File\n");
      return kExitFailed;
    case WriteOutcome::Failed:
      std::fprintf(stderr, "Error Converting File\n");
      return kExitFailed;
    case WriteOutcome::Written:
      break;
  }
  struct stat st {};
  const unsigned long long size = ::stat(out.c_str(), &st) == 0 ? static_cast<unsigned long long>(st.st_size) : 0;
  std::printf("%s: %llu bytes\n", out.c_str(), size);
  return kExitOk;
}

// The largest client area render paints: each side, and the whole.
constexpr int kMaxRenderSide = 16384;
constexpr int64_t kMaxRenderPixels = int64_t{1} << 26;

std::optional<Size> ParseSize(const std::string& text) {
  int width = 0;
  int height = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &extra) != 2) return std::nullopt;
  if (width < 1 || height < 1 || width > kMaxRenderSide || height > kMaxRenderSide) return std::nullopt;
  if (int64_t{width} * height > kMaxRenderPixels) return std::nullopt;
  return Size{width, height};
}

int Render(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::optional<Size> size;
  bool tile = false;
  bool verbose = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--size") {
      if (i + 1 >= args.size()) return Usage("--size needs WxH");
      size = ParseSize(args[++i]);
      if (!size) return Usage("--size takes WxH, each side from 1 to 16384 and at most 67108864 pixels in all");
    } else if (arg == "--tile") {
      tile = true;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg.starts_with("--")) {
      return Usage(("unknown option '" + arg + "'").c_str());
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return Usage("render needs an input file and an output file");
  if (!size) return Usage("render needs --size WxH");
  const std::string& in = positional[0];
  const std::string& out = positional[1];

  HeadlessPort port;
  CurrentImage image;
  ShellState shell;
  if (!LoadForCommand(image, port, in, verbose)) return kExitFailed;

  // Text in metafiles needs the font database, which needs an application object; it is made
  // on the offscreen platform, so no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "ravelle-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);

  // What the viewer's paint draws into a client area of that size.
  image.Viewer = true;
  shell.TileMode = tile ? 1 : 0;
  QImage canvas(size->width, size->height, QImage::Format_RGB32);
  if (canvas.isNull()) {
    std::fprintf(stderr, "ravelle-cli: not enough memory for a %dx%d picture\n", size->width, size->height);
    return kExitFailed;
  }
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    PainterSurface surface(painter, *size);
    PaintShownImage(image, shell, port, surface, PaintTarget::Viewer);
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  auto file = OutputFile::Create(out);
  if (!canvas.save(&buffer, "PNG") || !file) {
    std::fprintf(stderr, "Error Creating File\n");
    return kExitFailed;
  }
  file->Write(std::span(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<std::size_t>(png.size())));
  if (!file->Commit()) {
    std::fprintf(stderr, "Error Creating File\n");
    return kExitFailed;
  }
  std::printf("%s: %lld bytes\n", out.c_str(), static_cast<long long>(png.size()));
  return kExitOk;
}

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  using namespace ravelle;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    std::fputs("\n", stdout);
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("ravelle-cli %s\n", RAVELLE_VERSION);
    return kExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "info") return Info(rest);
  if (command == "convert") return Convert(rest);
  if (command == "render") return Render(rest);
  return Usage(("unknown command '" + command + "'").c_str());
}
