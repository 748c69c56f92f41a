// The preview's picture reader on any bytes, as each kind.
#include "results/picture.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);  // finds the image plugins
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const PictureKind kinds[] = {PictureKind::Bitmap, PictureKind::Jpeg, PictureKind::Png};
  const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  QImage image;
  PictureError error;
  if (DecodePicture(bytes, kinds[data[0] % 3], QSize(400, 300), &image, &error)) {
    if (image.isNull() || image.width() > 400 || image.height() > 300) std::abort();
  } else if (error.kind == PictureError::Kind::None) {
    std::abort();
  }
  return 0;
}
