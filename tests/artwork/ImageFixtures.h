#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

namespace orvanta::test {

// Pictures made on the spot for the artwork tests.

// A picture whose left half is red and right half blue, with a gentle
// gradient so that it compresses like a photo rather than a flat colour.
QImage twoColourImage(QSize size);
QByteArray encodeImage(const QImage& image, const char* format, int quality = 90,
                       bool progressive = false);
QByteArray jpegOfSize(QSize size, int quality = 90);
QByteArray pngOfSize(QSize size);
// A plain grey JPEG; one byte a pixel while it is made, for very large sizes.
QByteArray greyJpegOfSize(QSize size);

// The JPEG with an EXIF block (APP1) carrying the orientation tag.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);
// The JPEG grown to exactly `totalBytes` with comment segments; it still
// decodes to the same picture.
QByteArray paddedJpeg(const QByteArray& jpeg, qsizetype totalBytes);
// A well-formed PNG whose header claims `size` and whose data is tiny.
QByteArray pngClaiming(QSize size);
// A small JPEG whose frame header claims `size`.
QByteArray jpegClaiming(QSize size);
// The classic 1 × 1 GIF89a with a graphic control extension.
QByteArray tinyGif();

// The first value of the first quantisation table: 3 for the encoder's
// quality 90, 4 for 88. -1 when there is none.
int firstQuantizerValue(const QByteArray& jpeg);

QImage decode(const QByteArray& bytes);
// Whether the pixel at `point` is close to `colour`.
bool looksLike(const QImage& image, QPoint point, QColor colour);

}  // namespace orvanta::test
