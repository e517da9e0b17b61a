#include "ImageFixtures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdint>

namespace orvanta::test {

namespace {

std::uint32_t crc32(const QByteArray& data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> result{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            result[n] = c;
        }
        return result;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char byte : data)
        crc = table[(crc ^ std::uint8_t(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray bigEndian32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    return bigEndian32(std::uint32_t(data.size())) + type + data + bigEndian32(crc32(type + data));
}

QByteArray jpegSegment(std::uint8_t marker, const QByteArray& payload) {
    const int length = int(payload.size()) + 2;
    QByteArray segment;
    segment.append(char(0xFF)).append(char(marker));
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    return segment + payload;
}

}  // namespace

QImage twoColourImage(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int shade = (x + y) % 32;
            line[x] = x < size.width() / 2 ? qRgb(220 + shade, shade, shade)
                                           : qRgb(shade, shade, 220 + shade);
        }
    }
    return image;
}

QByteArray encodeImage(const QImage& image, const char* format, int quality, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray jpegOfSize(QSize size, int quality) {
    return encodeImage(twoColourImage(size), "jpeg", quality);
}

QByteArray greyJpegOfSize(QSize size) {
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(128);
    return encodeImage(image, "jpeg", 50);
}

QByteArray jpegClaiming(QSize size) {
    QByteArray jpeg = jpegOfSize({16, 16});
    // Baseline frame header: FF C0, length (2), precision (1), height, width.
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0)
        return jpeg;
    jpeg[frame + 5] = char(size.height() >> 8);
    jpeg[frame + 6] = char(size.height() & 0xFF);
    jpeg[frame + 7] = char(size.width() >> 8);
    jpeg[frame + 8] = char(size.width() & 0xFF);
    return jpeg;
}

QByteArray pngOfSize(QSize size) {
    return encodeImage(twoColourImage(size), "png");
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation) {
    // "Exif\0\0", then a big-endian TIFF header and one IFD with one entry:
    // tag 0x0112 (orientation), type SHORT, count 1, the value.
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0\x2A\0\0\0\x08", 8);
    exif += QByteArray("\0\x01", 2);
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);
    exif += char(0) + QByteArray(1, char(orientation)) + QByteArray(2, '\0');
    exif += QByteArray(4, '\0');
    return jpeg.left(2) + jpegSegment(0xE1, exif) + jpeg.mid(2);
}

QByteArray paddedJpeg(const QByteArray& jpeg, qsizetype totalBytes) {
    constexpr qsizetype overhead = 4;  // marker and length
    constexpr qsizetype largestPayload = 65533;
    qsizetype missing = totalBytes - jpeg.size();
    QByteArray padding;
    while (missing > 0) {
        qsizetype payload = std::min(missing - overhead, largestPayload);
        // Leave enough for a last segment's own marker and length.
        if (missing - (payload + overhead) > 0 && missing - (payload + overhead) < overhead)
            payload -= overhead;
        padding += jpegSegment(0xFE, QByteArray(payload, 'p'));
        missing -= payload + overhead;
    }
    return jpeg.left(2) + padding + jpeg.mid(2);
}

QByteArray pngClaiming(QSize size) {
    QByteArray header =
        bigEndian32(std::uint32_t(size.width())) + bigEndian32(std::uint32_t(size.height()));
    header += QByteArray("\x08\x02\0\0\0", 5);  // 8-bit RGB, no interlace
    // qCompress puts the length in front of a plain zlib stream.
    const QByteArray data = qCompress(QByteArray(4096, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", data) +
           pngChunk("IEND", {});
}

QByteArray tinyGif() {
    return QByteArray(
        "GIF89a\x01\0\x01\0\x80\0\0\xff\xff\xff\0\0\0"
        "\x21\xf9\x04\x01\0\0\0\0"
        "\x2c\0\0\0\0\x01\0\x01\0\0"
        "\x02\x02\x44\x01\0"
        "\x3b",
        43);
}

int firstQuantizerValue(const QByteArray& jpeg) {
    const qsizetype marker = jpeg.indexOf("\xFF\xDB");
    if (marker < 0 || marker + 5 >= jpeg.size())
        return -1;
    // Marker, length (2), precision and table id (1), then 64 values.
    return std::uint8_t(jpeg[marker + 5]);
}

QImage decode(const QByteArray& bytes) {
    return QImage::fromData(bytes);
}

bool looksLike(const QImage& image, QPoint point, QColor colour) {
    const QColor actual = image.pixelColor(point);
    return std::abs(actual.red() - colour.red()) < 60 &&
           std::abs(actual.green() - colour.green()) < 60 &&
           std::abs(actual.blue() - colour.blue()) < 60;
}

}  // namespace orvanta::test
