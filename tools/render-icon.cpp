// Draws the application icon as PNG files for the icon theme, with the same
// renderer and picture the program uses for its windows:
//   render-icon SIZE:OUT.png...
// Exits with 1 when the picture is missing or blank, or a file cannot be written.
#include "shell/pictures.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: render-icon SIZE:OUT.png...\n", stderr);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    const qsizetype colon = arg.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int size = colon > 0 ? arg.left(colon).toInt(&ok) : 0;
    if (!ok || size <= 0) {
      std::fprintf(stderr, "render-icon: not SIZE:OUT.png: %s\n", argv[i]);
      return 2;
    }
    const QImage image = IconImage(size);
    // A picture that failed to load draws nothing: a blank icon is an error.
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
      for (int x = 0; x < image.width() && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) != 0;
    if (!drawn) {
      std::fputs("render-icon: the icon picture is missing or blank\n", stderr);
      return 1;
    }
    const QString out = arg.mid(colon + 1);
    if (!image.save(out, "PNG")) {
      std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(out));
      return 1;
    }
  }
  return 0;
}
