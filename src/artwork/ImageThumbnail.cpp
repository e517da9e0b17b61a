#include "artwork/ImageThumbnail.h"

#include "artwork/ImageStructure.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cmath>

namespace orvanta::ImageThumbnail {

namespace {

bool isDecodedFormat(const QByteArray& format) {
    return format == "jpeg" || format == "png" || format == "gif";
}

Failure undecodable(const QString& reason) {
    return Failure::url(UrlError::cannotDecodeContentData, reason);
}

bool isStructurallyComplete(const QByteArray& bytes, const QByteArray& format) {
    if (format == "jpeg")
        return ImageStructure::isCompleteJpeg(bytes);
    if (format == "gif")
        return ImageStructure::hasCompleteFirstGifImage(bytes);
    // libpng reports a cut-off PNG as an error by itself.
    return true;
}

}  // namespace

std::optional<ImageHeader> readHeader(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (!isDecodedFormat(format))
        return std::nullopt;
    buffer.seek(0);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    return ImageHeader{format, size};
}

QSize fittedSize(QSize size, int maxSide) {
    const int longest = std::max(size.width(), size.height());
    if (longest <= maxSide || longest <= 0)
        return size;
    const double scale = double(maxSide) / double(longest);
    auto side = [&](int length) {
        return length == longest ? maxSide
                                 : std::clamp(int(std::lround(length * scale)), 1, maxSide);
    };
    return QSize(side(size.width()), side(size.height()));
}

Outcome<QByteArray> makeJpeg(const QByteArray& bytes, const ImageHeader& header, int maxSide,
                             int quality) {
    if (!isStructurallyComplete(bytes, header.format))
        return undecodable(QStringLiteral("The image data is incomplete."));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, header.format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    // Full-quality decoding: below 50 the JPEG reader switches to a coarse
    // transform and nearest-pixel scaling.
    reader.setQuality(100);
    // The JPEG reader scales while decoding (at eighths of the size), which
    // keeps both the time and the memory of a large picture small.
    const QSize target = fittedSize(header.size, maxSide);
    if (target != header.size && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(target);

    QImage image;
    if (!reader.read(&image) || image.isNull())
        return undecodable(reader.errorString());
    const QSize fitted = fittedSize(image.size(), maxSide);
    if (fitted != image.size())
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    QByteArray jpeg;
    QBuffer output(&jpeg);
    output.open(QIODevice::WriteOnly);
    QImageWriter writer(&output, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image) || jpeg.isEmpty())
        return undecodable(writer.errorString());
    return jpeg;
}

}  // namespace orvanta::ImageThumbnail
