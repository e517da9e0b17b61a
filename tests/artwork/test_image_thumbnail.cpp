#include "ImageFixtures.h"
#include "artwork/ImageThumbnail.h"

#include <QElapsedTimer>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

class ImageThumbnailTest : public QObject {
    Q_OBJECT

private slots:
    void fittedSizeKeepsTheAspectAndNeverEnlarges_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("fitted");
        QTest::newRow("small stays") << QSize(300, 200) << QSize(300, 200);
        QTest::newRow("exactly at the limit") << QSize(768, 768) << QSize(768, 768);
        QTest::newRow("landscape") << QSize(1536, 1024) << QSize(768, 512);
        QTest::newRow("portrait") << QSize(1024, 1536) << QSize(512, 768);
        QTest::newRow("square") << QSize(4096, 4096) << QSize(768, 768);
        QTest::newRow("a thin strip keeps one pixel") << QSize(4096, 1) << QSize(768, 1);
        QTest::newRow("rounded") << QSize(769, 10) << QSize(768, 10);
    }
    void fittedSizeKeepsTheAspectAndNeverEnlarges() {
        QFETCH(QSize, size);
        QFETCH(QSize, fitted);
        QCOMPARE(ImageThumbnail::fittedSize(size, 768), fitted);
    }

    void headerIsReadWithoutDecoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpeg") << jpegOfSize({640, 480}) << QByteArray("jpeg") << QSize(640, 480);
        QTest::newRow("png") << pngOfSize({33, 44}) << QByteArray("png") << QSize(33, 44);
        QTest::newRow("gif") << tinyGif() << QByteArray("gif") << QSize(1, 1);
        QTest::newRow("png claiming 100000 square")
            << pngClaiming({100000, 100000}) << QByteArray("png") << QSize(100000, 100000);
    }
    void headerIsReadWithoutDecoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QElapsedTimer elapsed;
        elapsed.start();
        const auto header = ImageThumbnail::readHeader(bytes);
        QVERIFY(header.has_value());
        QCOMPARE(*header, (ImageHeader{format, size}));
        QVERIFY(elapsed.elapsed() < 500);
    }

    void otherContentHasNoHeader_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("html") << QByteArray("<!DOCTYPE html><html><body>Not found</body></html>");
        QTest::newRow("svg") << QByteArray(
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\">"
            "<rect width=\"100\" height=\"100\"/></svg>");
        QTest::newRow("bmp") << encodeImage(twoColourImage({20, 20}), "bmp");
        QTest::newRow("xpm") << encodeImage(twoColourImage({4, 4}), "xpm");
        QTest::newRow("random bytes") << QByteArray(1000, '\x5A');
    }
    void otherContentHasNoHeader() {
        QFETCH(QByteArray, bytes);
        QVERIFY(!ImageThumbnail::readHeader(bytes).has_value());
    }

    void thumbnailsAreSmallUprightJpegs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<QString>("redSide");  // the blue half is opposite
        QTest::newRow("small jpeg keeps its size")
            << jpegOfSize({300, 200}) << QSize(300, 200) << "left";
        QTest::newRow("png scaled down") << pngOfSize({1536, 1024}) << QSize(768, 512) << "left";
        QTest::newRow("jpeg 4096 square") << jpegOfSize({4096, 4096}) << QSize(768, 768) << "left";
        QTest::newRow("turned a quarter by its orientation tag")
            << withExifOrientation(jpegOfSize({200, 100}), 6) << QSize(100, 200) << "top";
        QTest::newRow("turned and scaled")
            << withExifOrientation(jpegOfSize({1536, 1024}), 6) << QSize(512, 768) << "top";
        QTest::newRow("turned half round")
            << withExifOrientation(jpegOfSize({200, 100}), 3) << QSize(200, 100) << "right";
    }
    void thumbnailsAreSmallUprightJpegs() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, expected);
        QFETCH(QString, redSide);
        const auto header = ImageThumbnail::readHeader(bytes);
        QVERIFY(header.has_value());
        const auto jpeg = ImageThumbnail::makeJpeg(bytes, *header, 768, 90);
        QVERIFY2(jpeg.ok(), qPrintable(jpeg.ok() ? QString() : jpeg.failure().describe()));
        QVERIFY(jpeg->startsWith("\xFF\xD8"));
        const QImage image = decode(*jpeg);
        QCOMPARE(image.size(), expected);
        const int w = expected.width();
        const int h = expected.height();
        const QPoint left(w / 8, h / 2), right(w * 7 / 8, h / 2);
        const QPoint top(w / 2, h / 8), bottom(w / 2, h * 7 / 8);
        const std::pair<QPoint, QPoint> redAndBlue = redSide == "left"  ? std::pair(left, right)
                                                     : redSide == "top" ? std::pair(top, bottom)
                                                                        : std::pair(right, left);
        QVERIFY(looksLike(image, redAndBlue.first, Qt::red));
        QVERIFY(looksLike(image, redAndBlue.second, Qt::blue));
    }

    void qualityIsTheEncodersPercentage_data() {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("firstQuantizer");
        QTest::newRow("downloads") << 90 << 3;
        QTest::newRow("photos") << 88 << 4;
    }
    void qualityIsTheEncodersPercentage() {
        QFETCH(int, quality);
        QFETCH(int, firstQuantizer);
        const QByteArray source = pngOfSize({64, 64});
        const auto jpeg =
            ImageThumbnail::makeJpeg(source, *ImageThumbnail::readHeader(source), 768, quality);
        QVERIFY(jpeg.ok());
        QCOMPARE(firstQuantizerValue(*jpeg), firstQuantizer);
    }

    void damagedPicturesAreRefused_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray jpeg = jpegOfSize({400, 300});
        const QByteArray png = pngOfSize({400, 300});
        QTest::newRow("truncated jpeg") << jpeg.left(jpeg.size() * 2 / 3);
        QTest::newRow("jpeg without its end") << jpeg.left(jpeg.size() - 2);
        QTest::newRow("truncated png") << png.left(png.size() / 2);
        QTest::newRow("truncated gif") << tinyGif().left(40);
    }
    void damagedPicturesAreRefused() {
        QFETCH(QByteArray, bytes);
        const auto header = ImageThumbnail::readHeader(bytes);
        QVERIFY(header.has_value());
        const auto jpeg = ImageThumbnail::makeJpeg(bytes, *header, 768, 90);
        QVERIFY(jpeg.failed());
        QCOMPARE(jpeg.failure().code, long(UrlError::cannotDecodeContentData));
    }

    void gifBecomesJpeg() {
        const auto jpeg =
            ImageThumbnail::makeJpeg(tinyGif(), *ImageThumbnail::readHeader(tinyGif()), 768, 90);
        QVERIFY(jpeg.ok());
        QCOMPARE(decode(*jpeg).size(), QSize(1, 1));
    }
};

QTEST_GUILESS_MAIN(ImageThumbnailTest)
#include "test_image_thumbnail.moc"
