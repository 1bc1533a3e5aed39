// ravelle-render FILE OUT.png --size WxH [--tile] [--verbose]: what `ravelle-cli render` runs.
// It paints FILE as the viewer would in a client area of WxH pixels, on white, into a PNG file.
// It is a program of its own because painting needs QtGui, which the other commands should not
// have to load.

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "image/output_file.h"
#include "platform/headless/painter_surface.h"
#include "shell/paint_shown.h"
#include "shell/shell_state.h"

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

  // Text in metafiles needs the font database, which needs an application object; it is made
  // on the offscreen platform, so no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "ravelle-render";
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
}  // namespace ravelle::cli

int main(int argc, char** argv) { return ravelle::cli::Render(std::vector<std::string>(argv + 1, argv + argc)); }
