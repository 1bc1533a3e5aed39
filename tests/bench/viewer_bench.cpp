// The viewer with a 6000 x 4000 true-colour image: from the dialog's OK (a double-click on the
// file) to the painted preview, and one full repaint of the viewer window, with the real widgets
// on Qt's offscreen platform; and the paint alone into an image as large as the picture.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "formats/dib/bmp_writer.h"
#include "headless/headless_port.h"
#include "headless/painter_surface.h"
#include "qt/browser_dialog.h"
#include "qt/qt_app.h"
#include "qt/viewer_window.h"
#include "resources/dialogs.h"
#include "shell/load.h"
#include "shell/paint_shown.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// The viewer's client area on a 1920 x 1080 desktop: its opening rectangle less a menu bar.
constexpr Rect kViewer{160, 135, 1568, 765};

const fs::path& BigImage() {
  static const fs::path file = [] {
    const fs::path folder = fs::temp_directory_path() / "ravelle-bench";
    fs::create_directories(folder);
    const fs::path path = folder / "big.bmp";
    if (!fs::exists(path)) {
      PackedDib dib = CreateDib(kWidth, kHeight, 24);
      for (int y = 0; y < kHeight; ++y) {
        auto row = dib.Row(y);
        for (int x = 0; x < kWidth; ++x) {
          row[3 * x] = static_cast<uint8_t>(x);
          row[3 * x + 1] = static_cast<uint8_t>(y);
          row[3 * x + 2] = static_cast<uint8_t>(x ^ y);
        }
      }
      std::FILE* out = std::fopen(path.c_str(), "wb");
      WriteBmp(dib, out);
      std::fclose(out);
    }
    return path;
  }();
  return file;
}

// A line of /proc/self/status in MB ("VmRSS", "VmHWM").
double StatusMb(const char* field) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  double kb = 0;
  const std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') kb = std::atof(line + length + 1);
  }
  std::fclose(status);
  return kb / 1024;
}

// Starts a new peak of resident memory at what is resident now.
void ResetPeak() {
  if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

void BM_DoubleClickToPreview(benchmark::State& state) {
  BigImage();
  QtApp app;
  // The memory the first load and the loads after it take, above what the program held before,
  // against the raster's size.
  ResetPeak();
  const double before = StatusMb("VmRSS");
  app.Start(BigImage().string());
  QApplication::processEvents();
  for (auto _ : state) {
    app.DialogCommand(kIdOk);               // what a double-click on the file sends
    app.Dialog()->Pane()->repaint();        // the preview painted at once
  }
  const double raster = kWidth * 3.0 * kHeight / (1024 * 1024);
  state.counters["image_MB"] = static_cast<double>(fs::file_size(BigImage())) / 1e6;
  state.counters["load_peak_x_raster"] = (StatusMb("VmHWM") - before) / raster;
}
BENCHMARK(BM_DoubleClickToPreview)->Unit(benchmark::kMillisecond)->Iterations(5);

// The program started on each file of tests/bench/memory_bench.sh's 6000 x 4000 kit, as
// `ravelle FILE` starts: the dialog's preview, then the viewer. The peak above what the program
// held before, against the raster's size.
void BM_StartOnFile(benchmark::State& state, const fs::path& file) {
  double peak = 0;
  for (auto _ : state) {
    QtApp app;
    QApplication::processEvents();
    ResetPeak();
    const double before = StatusMb("VmRSS");
    app.Start(file.string());
    QApplication::processEvents();  // the OK the start posts: the viewer opens the file
    peak = StatusMb("VmHWM") - before;
  }
  state.counters["load_peak_x_raster"] = peak / (kWidth * 3.0 * kHeight / (1024 * 1024));
}

void BM_ViewerRepaint(benchmark::State& state) {
  QtApp app;
  app.Start(BigImage().string());
  QApplication::processEvents();
  app.shell.TileMode = static_cast<int>(state.range(0));
  app.DialogCommand(kIdCenter);
  QWidget* canvas = app.Viewer()->Canvas();
  app.Viewer()->setGeometry(kViewer.left, kViewer.top, kViewer.width, kViewer.height + app.Viewer()->menuWidget()->height());
  QApplication::processEvents();
  for (auto _ : state) canvas->repaint();
  state.SetLabel(QString("%1x%2 %3").arg(canvas->width()).arg(canvas->height()).arg(state.range(0) ? "tiled" : "centred").toStdString());
}
BENCHMARK(BM_ViewerRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The paint alone, into a client area as large as the image (drawn at natural size).
void BM_PaintAtImageSize(benchmark::State& state) {
  HeadlessPort port;
  CurrentImage image;
  ShellState shell;
  image.PreviewBox = {320, 320};
  LoadSelectedFile(image, port, BigImage().string());
  image.Viewer = true;
  QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&canvas);
    PainterSurface surface(painter, {kWidth, kHeight});
    PaintShownImage(image, shell, port, surface, PaintTarget::Viewer);
  }
}
BENCHMARK(BM_PaintAtImageSize)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ravelle

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  const QString folder = QDir::currentPath();
  const char* kit = std::getenv("RAVELLE_BENCH_DIR");
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kit != nullptr ? kit : "/tmp/ravelle-bench", error)) {
    if (entry.path().filename().string().starts_with("kit-")) {
      benchmark::RegisterBenchmark(("BM_StartOnFile/" + entry.path().filename().string()).c_str(),
                                   ravelle::BM_StartOnFile, entry.path())
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QDir::setCurrent(folder);
  return 0;
}
