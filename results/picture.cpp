#include "results/picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace {

const char* FormatOf(PictureKind kind) {
  switch (kind) {
    case PictureKind::Bitmap:
      return "bmp";
    case PictureKind::Jpeg:
      return "jpeg";
    case PictureKind::Png:
      return "png";
  }
  return "";
}

// The reason a picture cannot be shown, in the interface's language. The
// English form keeps the reader's own words where it has any.
QString NotAPicture(PictureKind kind, const QString& reader, bool english) {
  const QString format = QString::fromLatin1(FormatOf(kind)).toUpper();
  if (!english) return QStringLiteral("файл не является рисунком %1 или повреждён").arg(format);
  if (reader.isEmpty() || reader == QLatin1String("Unknown error"))
    return QStringLiteral("not a valid %1 picture").arg(format);
  return reader;
}

bool Decode(QIODevice* device, PictureKind kind, QSize fit, QImage* out, QString* error, bool english) {
  QImageReader reader(device, FormatOf(kind));
  // The extension decides: a GIF named .jpg is a damaged JPEG, not a GIF.
  reader.setAutoDetectImageFormat(false);
  reader.setDecideFormatFromContent(false);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (!reader.canRead() || !size.isValid() || size.isEmpty()) {
    *error = NotAPicture(kind, reader.errorString(), english);
    return false;
  }
  if (static_cast<qint64>(size.width()) * size.height() > kMaxPicturePixels) {
    *error = (english ? QStringLiteral("the picture is too large to show (%1 x %2)")
                      : QStringLiteral("рисунок слишком велик для показа (%1 x %2)"))
                 .arg(size.width())
                 .arg(size.height());
    return false;
  }
  if (fit.isValid() && !fit.isEmpty() && (size.width() > fit.width() || size.height() > fit.height()))
    reader.setScaledSize(size.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    *error = NotAPicture(kind, reader.errorString(), english);
    return false;
  }
  // Not every reader honours the scaled size.
  if (fit.isValid() && !fit.isEmpty() && (image.width() > fit.width() || image.height() > fit.height()))
    image = image.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  *out = image;
  return true;
}

}  // namespace

std::optional<PictureKind> PreviewKind(const QString& path) {
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot < 0 || dot < path.lastIndexOf(QLatin1Char('/'))) return std::nullopt;
  const QString extension = path.mid(dot);
  if (extension == QLatin1String(".bmp")) return PictureKind::Bitmap;
  if (extension == QLatin1String(".jpg")) return PictureKind::Jpeg;
  if (extension == QLatin1String(".png")) return PictureKind::Png;
  return std::nullopt;
}

bool LoadPicture(const QString& path, PictureKind kind, QSize fit, QImage* out, QString* error, bool english) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = english ? file.errorString() : QStringLiteral("не удаётся открыть файл");
    return false;
  }
  return Decode(&file, kind, fit, out, error, english);
}

bool DecodePicture(const QByteArray& bytes, PictureKind kind, QSize fit, QImage* out, QString* error, bool english) {
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  return Decode(&buffer, kind, fit, out, error, english);
}
