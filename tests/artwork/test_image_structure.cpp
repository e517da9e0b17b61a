#include "ImageFixtures.h"
#include "artwork/ImageStructure.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

class ImageStructureTest : public QObject {
    Q_OBJECT

private slots:
    void jpegCompleteness_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("complete");
        const QByteArray baseline = jpegOfSize({320, 240});
        const QByteArray progressive =
            encodeImage(twoColourImage({320, 240}), "jpeg", 90, /*progressive=*/true);
        QTest::newRow("baseline") << baseline << true;
        QTest::newRow("progressive, several scans") << progressive << true;
        QTest::newRow("with an EXIF block") << withExifOrientation(baseline, 6) << true;
        QTest::newRow("padded with comments") << paddedJpeg(baseline, 200'000) << true;
        QTest::newRow("data after the end marker") << baseline + QByteArray(500, 'z') << true;
        QTest::newRow("fill bytes before the end marker")
            << baseline.left(baseline.size() - 2) + "\xFF\xFF\xFF\xD9" << true;
        QTest::newRow("cut in the middle of the scan")
            << baseline.left(baseline.size() / 2) << false;
        QTest::newRow("end marker missing") << baseline.left(baseline.size() - 2) << false;
        QTest::newRow("cut in the headers") << baseline.left(100) << false;
        QTest::newRow("progressive cut between scans")
            << progressive.left(progressive.size() * 3 / 4) << false;
        QTest::newRow("start marker only") << QByteArray("\xFF\xD8") << false;
        QTest::newRow("no JPEG") << QByteArray("GIF89a plus more bytes") << false;
        QTest::newRow("segment length beyond the data")
            << QByteArray("\xFF\xD8\xFF\xE0\x7F\xFF\x00\x01", 8) << false;
    }
    void jpegCompleteness() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, complete);
        QCOMPARE(ImageStructure::isCompleteJpeg(bytes), complete);
    }

    void gifCompleteness_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("complete");
        const QByteArray gif = tinyGif();
        QTest::newRow("whole") << gif << true;
        QTest::newRow("without the trailer") << gif.left(gif.size() - 1) << true;
        QTest::newRow("cut in the image data") << gif.left(gif.size() - 3) << false;
        QTest::newRow("cut in the extension") << gif.left(22) << false;
        QTest::newRow("cut in the colour table") << gif.left(15) << false;
        QTest::newRow("trailer before any image") << gif.left(19) + "\x3B" << false;
        QTest::newRow("no GIF") << QByteArray("\x89PNG\r\n\x1a\n0123456789") << false;
    }
    void gifCompleteness() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, complete);
        QCOMPARE(ImageStructure::hasCompleteFirstGifImage(bytes), complete);
    }
};

QTEST_GUILESS_MAIN(ImageStructureTest)
#include "test_image_structure.moc"
