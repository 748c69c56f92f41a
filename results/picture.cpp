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

bool Decode(QIODevice* device, PictureKind kind, QSize fit, QImage* out, PictureError* error) {
  QImageReader reader(device, FormatOf(kind));
  // The extension decides: a GIF named .jpg is a damaged JPEG, not a GIF.
  reader.setAutoDetectImageFormat(false);
  reader.setDecideFormatFromContent(false);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (!reader.canRead() || !size.isValid() || size.isEmpty()) {
    *error = {PictureError::Kind::NotAPicture, reader.errorString(), size};
    return false;
  }
  if (static_cast<qint64>(size.width()) * size.height() > kMaxPicturePixels) {
    *error = {PictureError::Kind::TooLarge, QString(), size};
    return false;
  }
  if (fit.isValid() && !fit.isEmpty() && (size.width() > fit.width() || size.height() > fit.height()))
    reader.setScaledSize(size.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    *error = {PictureError::Kind::NotAPicture, reader.errorString(), size};
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

QString PictureFormatName(PictureKind kind) { return QString::fromLatin1(FormatOf(kind)).toUpper(); }

bool LoadPicture(const QString& path, PictureKind kind, QSize fit, QImage* out, PictureError* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = {PictureError::Kind::NotOpened, file.errorString(), QSize()};
    return false;
  }
  return Decode(&file, kind, fit, out, error);
}

bool DecodePicture(const QByteArray& bytes, PictureKind kind, QSize fit, QImage* out, PictureError* error) {
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  return Decode(&buffer, kind, fit, out, error);
}
