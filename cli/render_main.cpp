// ravelle-render FILE OUT.png --size WxH [--tile] [--verbose]: what `ravelle-cli render` runs.
// It paints FILE as the viewer would in a client area of WxH pixels, on white, into a PNG file.
// ravelle-render print FILE [--large|--tiled] [--printer NAME] [--copies N] [--verbose]: what
// `ravelle-cli print` runs; it prints FILE as the viewer's Print menu does, to a CUPS destination.
// It is a program of its own because painting needs QtGui, and printing Qt's print support,
// which the other commands should not have to load.

#include <QApplication>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "image/output_file.h"
#include "headless/painter_surface.h"
#include "qt/printing.h"
#include "shell/print.h"
#include "shell/paint_shown.h"
#include "shell/shell_state.h"
#include "shell/thumbnail.h"

namespace ravelle::cli {
namespace {

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

// Qt's platform start looks in the user's runtime directory (for a sandbox's marker file); when
// XDG_RUNTIME_DIR is not set, as under a service or CI, it warns on standard error and makes
// /tmp/runtime-USER. A private directory stands in for it while Qt runs and is removed after.
class PrivateRuntimeDir {
 public:
  PrivateRuntimeDir() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    std::string pattern = ((error ? std::filesystem::path("/tmp") : temp) / "ravelle-render-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;  // made with mode 0700, as Qt requires
    path_ = pattern;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path_));
  }
  ~PrivateRuntimeDir() {
    if (path_.empty()) return;
    qunsetenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateRuntimeDir(const PrivateRuntimeDir&) = delete;
  PrivateRuntimeDir& operator=(const PrivateRuntimeDir&) = delete;

 private:
  std::string path_;
};

// Qt's application object, made on the offscreen platform unless another is asked for, so that
// no display is needed; the runtime directory outlives it.
template <class Application>
struct QtSession {
  PrivateRuntimeDir runtime;
  std::unique_ptr<Application> application;
};

template <class Application>
std::unique_ptr<QtSession<Application>> MakeApplication() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ravelle-render";
  static char* argv[] = {name, nullptr};
  auto session = std::make_unique<QtSession<Application>>();
  session->application = std::make_unique<Application>(argc, argv);
  return session;
}

int Render(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::optional<Size> size;
  bool tile = false;
  Messages messages;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--size") {
      if (i + 1 >= args.size()) return Usage("--size needs WxH");
      size = ParseSize(args[++i]);
      if (!size) return Usage("--size takes WxH, each side from 1 to 16384 and at most 67108864 pixels in all");
    } else if (arg == "--tile") {
      tile = true;
    } else if (arg == "--verbose") {
      messages.verbose = true;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option '" + arg + "'");
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
  const bool loaded = LoadForCommand(image, port, in, messages);
  std::fputs(messages.text.c_str(), stderr);
  if (!loaded) return kExitFailed;

  // Text in metafiles needs the font database, which needs an application object.
  const auto application = MakeApplication<QGuiApplication>();

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

// A metafile's thumbnail: played to fit the thumbnail's size, on white.
int ThumbnailCommand(const std::vector<std::string>& args) {
  int status = kExitOk;
  const std::optional<ThumbnailArgs> parsed = ParseThumbnailArgs(args, status);
  if (!parsed) return status;
  HeadlessPort port;
  CurrentImage image;
  ShellState shell;
  Messages messages;
  const bool loaded = LoadForCommand(image, port, parsed->in, messages);
  std::fputs(messages.text.c_str(), stderr);
  if (!loaded) return kExitFailed;
  const std::optional<FitSize> fit = MetafileThumbnailSize(image, parsed->side);
  if (!fit) return WriteThumbnail(image, RasterThumbnail(image, parsed->side), *parsed);
  const auto application = MakeApplication<QGuiApplication>();
  const Size size{fit->width, fit->height};
  QImage canvas(size.width, size.height, QImage::Format_RGB888);
  Thumbnail thumbnail{CreateDib(size.width, size.height, 24), image.MetafileBounds.width, image.MetafileBounds.height};
  PackedDib& picture = thumbnail.picture;
  if (canvas.isNull() || !picture) return WriteThumbnail(image, {}, *parsed);
  canvas.fill(Qt::white);
  image.Viewer = true;
  {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    PainterSurface surface(painter, size);
    PaintShownImage(image, shell, port, surface, PaintTarget::Viewer);
  }
  for (int y = 0; y < size.height; ++y) {
    const uint8_t* from = canvas.constScanLine(y);
    uint8_t* to = picture.Row(size.height - 1 - y).data();
    for (int x = 0; x < size.width; ++x, from += 3, to += 3) to[0] = from[2], to[1] = from[1], to[2] = from[0];
  }
  return WriteThumbnail(image, thumbnail, *parsed);
}

// The headless port with the print dialog answered by one printer chosen beforehand.
class PrinterPort final : public HeadlessPort {
 public:
  explicit PrinterPort(QPrinter& printer) : printer_(printer) {}
  bool PrintPage(const std::string& documentName, const std::function<void(Surface&)>& draw) override {
    started = true;
    documentName_ = documentName;
    printed = PrintOnPrinter(printer_, documentName, draw);
    return printed;
  }
  const std::string& DocumentName() const { return documentName_; }
  bool started = false;
  bool printed = false;

 private:
  QPrinter& printer_;
  std::string documentName_;
};

int Print(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  PrintMode mode;
  std::string printerName;
  int copies = 1;
  Messages messages;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--large") {
      mode.large = true;
    } else if (arg == "--tiled") {
      mode.tiled = true;
    } else if (arg == "--printer" || arg == "--copies") {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--printer") {
        printerName = value;
      } else {
        char extra = 0;
        if (std::sscanf(value.c_str(), "%d%c", &copies, &extra) != 1 || copies < 1 || copies > 999) {
          return Usage("--copies takes a number from 1 to 999");
        }
      }
    } else if (arg == "--verbose") {
      messages.verbose = true;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (mode.large && mode.tiled) return Usage("print takes --large or --tiled, not both");
  if (positional.size() != 1) return Usage("print needs one input file");
  const std::string& in = positional[0];

  CurrentImage image;
  {
    HeadlessPort loader;
    const bool loaded = LoadForCommand(image, loader, in, messages);
    std::fputs(messages.text.c_str(), stderr);
    if (!loaded) return kExitFailed;
  }

  // Text in metafiles needs the font database, and the printer Qt's widgets.
  const auto application = MakeApplication<QApplication>();

  if (printerName.empty()) printerName = QPrinterInfo::defaultPrinterName().toStdString();
  if (printerName.empty()) {
    std::fprintf(stderr, "ravelle-cli: no printer: give --printer NAME, or set a default destination\n");
    return kExitFailed;
  }
  if (QPrinterInfo::printerInfo(QString::fromStdString(printerName)).isNull()) {
    std::fprintf(stderr, "ravelle-cli: no printer named '%s'\n", printerName.c_str());
    return kExitFailed;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setPrinterName(QString::fromStdString(printerName));
  printer.setCopyCount(copies);

  PrinterPort port(printer);
  PrintImage(image, port, mode);
  if (!port.started) {
    std::fprintf(stderr, "ravelle-cli: %s: nothing to print\n", in.c_str());
    return kExitFailed;
  }
  if (!port.printed) {
    std::fprintf(stderr, "ravelle-cli: %s: the printer '%s' could not be started\n", in.c_str(), printerName.c_str());
    return kExitFailed;
  }
  const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
  std::printf("%s: \"%s\" to %s, printable area %dx%d at (%d, %d) of the paper, %d dpi\n", in.c_str(),
              port.DocumentName().c_str(), printerName.c_str(), area.width(), area.height(), area.x(), area.y(),
              printer.resolution());
  return kExitOk;
}

}  // namespace
}  // namespace ravelle::cli

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "print") return ravelle::cli::Print({args.begin() + 1, args.end()});
  if (!args.empty() && args[0] == "thumbnail") return ravelle::cli::ThumbnailCommand({args.begin() + 1, args.end()});
  return ravelle::cli::Render(args);
}
