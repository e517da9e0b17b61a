// Wall time of the image loader on a 4096 × 4096 JPEG served by a local
// nginx over TLS: download, checks, scaling to 768 and JPEG encoding, each
// run with a new loader and an empty HTTP cache; then the same with refresh
// (which also stores the response in the cache), and the download and the
// conversion alone. Beside it the same file through ImageMagick's
// `convert -resize 768x768`.
//   bench_artwork_loader [RUNS]   (at least 10; default 15)

#include "Await.h"
#include "TemporaryHome.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "artwork/ArtworkLoader.h"
#include "artwork/ImageThumbnail.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QNetworkDiskCache>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace orvanta;
using namespace orvanta::test;

namespace {

// Smooth shapes with fine grain, so that it compresses like a photograph
// (about 3 MB at quality 90) rather than like a flat test card.
QByteArray photoLikeJpeg(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    quint32 noise = 12345;
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28) - 8;
            const double u = double(x) / side;
            const double v = double(y) / side;
            const int r = int(128 + 100 * std::sin(6.0 * u + 2.0 * v)) + grain;
            const int g = int(128 + 100 * std::sin(4.0 * v - 3.0 * u * v)) + grain;
            const int b = int(128 + 100 * std::cos(5.0 * (u - v))) + grain;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.write(image);
    return bytes;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<double> timeRuns(int runs, const std::function<bool()>& run) {
    std::vector<double> milliseconds;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return {};
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return milliseconds;
}

void report(const char* what, const std::vector<double>& milliseconds) {
    std::printf("%-44s median %7.1f ms   min %7.1f ms   (%zu runs)\n", what, median(milliseconds),
                *std::min_element(milliseconds.begin(), milliseconds.end()), milliseconds.size());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int runs = std::max(10, argc > 1 ? std::atoi(argv[1]) : 15);

    TemporaryHome home;
    TestCertificates::instance();
    if (installAdditionalTrust() <= 0)
        return 1;
    NginxServer nginx;
    if (!nginx.start())
        return 1;
    const QByteArray photo = photoLikeJpeg(4096);
    nginx.writeFile("photo.jpg", photo);
    const QString sourceFile = home.filePath("photo.jpg");
    {
        QFile file(sourceFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(photo) != photo.size())
            return 1;
    }
    std::printf("source: 4096 x 4096 JPEG, %lld bytes\n", static_cast<long long>(photo.size()));

    const QUrl url = nginx.httpsUrl("/photo.jpg");
    qsizetype resultBytes = 0;
    const auto loaded = timeRuns(runs, [&] {
        ArtworkLoader loader;
        loader.session().cache()->clear();
        auto task = loader.loadImage(url, /*refresh=*/false);
        if (!waitFor(task, 60000) || !task.result().ok()) {
            std::fprintf(stderr, "load failed\n");
            return false;
        }
        resultBytes = task.result()->size();
        return true;
    });
    if (loaded.empty())
        return 1;

    const auto refreshed = timeRuns(runs, [&] {
        ArtworkLoader loader;
        auto task = loader.loadImage(url, /*refresh=*/true);
        return waitFor(task, 60000) && task.result().ok();
    });
    const auto downloaded = timeRuns(runs, [&] {
        HttpSession session;  // a new connection, as a new loader makes
        auto task = session.fetch(HttpRequest(url), 5'242'880);
        return waitFor(task, 60000) && task.result().ok() && task.result()->data == photo;
    });
    const ImageHeader header = *ImageThumbnail::readHeader(photo);
    const auto converted =
        timeRuns(runs, [&] { return ImageThumbnail::makeJpeg(photo, header, 768, 90).ok(); });

    const QString convert = QStandardPaths::findExecutable("convert");
    const QString target = home.filePath("convert-768.jpg");
    const auto imageMagick = timeRuns(runs, [&] {
        return !convert.isEmpty() &&
               QProcess::execute(convert, {sourceFile, "-resize", "768x768", target}) == 0;
    });

    std::printf("loader result: 768 x 768 JPEG, %lld bytes\n", static_cast<long long>(resultBytes));
    report("loadImage (TLS download + check + scale + encode)", loaded);
    report("loadImage with refresh (+ HTTP cache store)", refreshed);
    report("  of which download alone (HttpSession fetch)", downloaded);
    report("  of which check + scale + encode alone", converted);
    if (imageMagick.empty()) {
        std::printf("ImageMagick's convert is not available\n");
        return 0;
    }
    report("convert FILE -resize 768x768 OUT.jpg", imageMagick);
    std::printf("ratio loadImage / convert: %.2f\n", median(loaded) / median(imageMagick));
    std::printf("ratio scale + encode / convert: %.2f\n", median(converted) / median(imageMagick));
    return 0;
}
