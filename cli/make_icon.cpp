// ravelle-make-icon FOLDER: writes the program's icon as FOLDER/<size>/ravelle.png for the
// sizes the desktop's icon theme installs.

#include <QDir>

#include <cstdio>

#include "qt/program_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: ravelle-make-icon FOLDER\n", stderr);
    return 2;
  }
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1").arg(size);
    if (!QDir().mkpath(folder) || !ravelle::ProgramIconImage(size).save(folder + QStringLiteral("/ravelle.png"), "PNG")) {
      std::fprintf(stderr, "ravelle-make-icon: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
