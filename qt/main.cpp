// ravelle [--display-depth N] [FILE]: the viewer. The browsing dialog opens in FILE's folder
// with FILE selected and shown; --display-depth 8 or 4 behaves as on a palette display.

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "qt/program_icon.h"
#include "qt/qt_app.h"

#ifndef RAVELLE_VERSION
#define RAVELLE_VERSION "0"
#endif

namespace {

constexpr const char* kUsage = "usage: ravelle [--display-depth N] [FILE]\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "ravelle: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);  // takes Qt's own options (-platform ...) first
  QApplication::setApplicationName(QStringLiteral("ravelle"));
  QApplication::setWindowIcon(ravelle::ProgramIcon());

  const QStringList args = QApplication::arguments();
  std::optional<int> depth;
  std::string file;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("ravelle %s\n", RAVELLE_VERSION);
      return 0;
    }
    if (arg == "--display-depth") {
      if (i + 1 >= args.size()) return Usage("--display-depth needs a number");
      bool ok = false;
      const int value = args[++i].toInt(&ok);
      if (!ok || value < 1 || value > 32) return Usage("--display-depth takes a depth from 1 to 32");
      depth = value;
    } else if (arg.startsWith("--")) {
      return Usage(("unknown option '" + arg.toStdString() + "'").c_str());
    } else if (file.empty()) {
      file = arg.toStdString();
    } else {
      return Usage("only one file can be named");
    }
  }
  ravelle::QtApp app(depth);
  app.Run(file);
  return 0;
}
