// Loading a picture for the preview pane. The kind of picture follows the
// file's extension, not its content: a ".jpg" is read as JPEG only.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

enum class PictureKind { Bitmap, Jpeg, Png };

// The kind shown for a path: ".bmp", ".jpg" or ".png" exactly (letter case
// counting); nothing for any other extension.
std::optional<PictureKind> PreviewKind(const QString& path);

// The name of a kind's format: "BMP", "JPEG", "PNG".
QString PictureFormatName(PictureKind kind);

// Pictures larger than this (in pixels) are refused rather than decoded.
inline constexpr qint64 kMaxPicturePixels = 40'000'000;

// Why a picture cannot be shown.
struct PictureError {
  enum class Kind {
    None,
    NotOpened,    // the file could not be opened
    NotAPicture,  // not a picture of its kind, or damaged
    TooLarge,     // larger than kMaxPicturePixels: `size`
  };
  Kind kind = Kind::None;
  QString reader;  // the reader's own words, where it has any
  QSize size;
};

// Reads the picture at `path` as `kind`, scaled down (proportions kept) to
// fit `fit` when it is larger. Returns false with the reason in *error when
// the file cannot be read as that kind or is too large.
bool LoadPicture(const QString& path, PictureKind kind, QSize fit, QImage* out, PictureError* error);

// Decodes picture bytes the same way (for the fuzzer and tests).
bool DecodePicture(const QByteArray& bytes, PictureKind kind, QSize fit, QImage* out, PictureError* error);
