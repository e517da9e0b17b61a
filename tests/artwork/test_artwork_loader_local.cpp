#include "Await.h"
#include "ImageFixtures.h"
#include "TemporaryHome.h"
#include "artwork/ArtworkLoader.h"
#include "artwork/PersonalArtwork.h"

#include <QElapsedTimer>
#include <QNetworkDiskCache>
#include <QTcpServer>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

namespace {

template <typename T>
QString describe(const Outcome<T>& outcome) {
    if (outcome.ok())
        return QStringLiteral("ok");
    if (outcome.cancelled())
        return QStringLiteral("cancelled");
    return outcome.failure().describe();
}

}  // namespace

// The loader's work that needs no server: photos the user picks, personal
// photo files, addresses refused before any request, and cancellation.
class ArtworkLoaderLocalTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemporaryHome> home_;

private slots:
    void init() { home_ = std::make_unique<TemporaryHome>(); }
    void cleanup() { home_.reset(); }

    void defaultSessionHasItsOwnCache() {
        ArtworkLoader loader;
        QVERIFY(loader.session().cache());
        QCOMPARE(loader.session().cache()->cacheDirectory(),
                 home_->path() + "/cache/orvanta-radio/RadioArtwork/");
        QCOMPARE(loader.session().cache()->maximumCacheSize(), 52'428'800);
    }

    void theSharedLoaderIsOne() {
        ArtworkLoader& shared = ArtworkLoader::shared();
        QCOMPARE(&ArtworkLoader::shared(), &shared);
        QCOMPARE(shared.parent(), QCoreApplication::instance());
        QVERIFY(shared.session().cache());
    }

    void preparedPhotosAreSmallUprightJpegs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("large camera photo") << jpegOfSize({6000, 4000}) << QSize(768, 512);
        QTest::newRow("turned by its orientation tag")
            << withExifOrientation(jpegOfSize({6000, 4000}), 6) << QSize(512, 768);
        QTest::newRow("a small png") << pngOfSize({120, 80}) << QSize(120, 80);
        QTest::newRow("exactly at the input bound")
            << paddedJpeg(jpegOfSize({1000, 1000}), 41'943'040) << QSize(768, 768);
        // JPEG decodes at an eighth of its size, so a very large camera
        // photo costs little memory.
        QTest::newRow("110 megapixels") << greyJpegOfSize({11000, 10000}) << QSize(768, 698);
    }
    void preparedPhotosAreSmallUprightJpegs() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, expected);
        ArtworkLoader loader;
        auto task = loader.preparePhoto(bytes);
        QVERIFY(waitFor(task, 30000));
        QVERIFY2(task.result().ok(), qPrintable(describe(task.result())));
        QCOMPARE(decode(*task.result()).size(), expected);
        QCOMPARE(firstQuantizerValue(*task.result()), 4);  // quality 88
        QVERIFY(task.result()->size() <= 2'097'152);
    }

    void preparePhotoRefusesQuickly_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("one byte over the input bound")
            << paddedJpeg(jpegOfSize({100, 100}), 41'943'041) << true;
        QTest::newRow("png claims 100000 × 100000 pixels")
            << pngClaiming({100000, 100000}) << false;
        QTest::newRow("png claims 20000 × 20000 pixels") << pngClaiming({20000, 20000}) << false;
        QTest::newRow("jpeg claims 30000 × 30000 pixels") << jpegClaiming({30000, 30000}) << false;
        QTest::newRow("truncated jpeg") << jpegOfSize({2000, 1000}).left(40000) << false;
        QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\"/>") << false;
        QTest::newRow("html") << QByteArray("<html><body>photo</body></html>") << false;
    }
    void preparePhotoRefusesQuickly() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, atOnce);
        ArtworkLoader loader;
        QElapsedTimer elapsed;
        elapsed.start();
        auto task = loader.preparePhoto(bytes);
        QCOMPARE(task.isDone(), atOnce);
        QVERIFY(waitFor(task));
        QVERIFY(elapsed.elapsed() < 2000);
        QVERIFY(task.result().failed());
        QCOMPARE(task.result().failure().code, long(UrlError::cannotDecodeContentData));
    }

    void personalPhotoFilesComeBackAsStored() {
        ArtworkLoader loader;
        const QByteArray photo = jpegOfSize({300, 300}, 88);
        const Outcome<QString> name = PersonalArtwork::storePhoto(photo);
        QVERIFY(name.ok());
        const QUrl url = *PersonalArtwork::fileURL(*name);
        auto task = loader.loadImage(url, /*refresh=*/true);
        QVERIFY(waitFor(task));
        QVERIFY2(task.result().ok(), qPrintable(describe(task.result())));
        QCOMPARE(*task.result(), photo);  // not re-encoded
        QCOMPARE(loader.refreshedImages().size(), 0);
    }

    void filesOutsideThePhotoFolderAreNeverRead() {
        ArtworkLoader loader;
        const QString outside = home_->path() + "/6F9619FF-8B86-D011-B42D-00C04FC964FF.jpg";
        QFile file(outside);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(jpegOfSize({10, 10}));
        file.close();
        auto task = loader.loadImage(QUrl::fromLocalFile(outside), false);
        QVERIFY(waitFor(task));
        QVERIFY(task.result().failed());
        QCOMPARE(task.result().failure().code, long(UrlError::unsupportedURL));
    }

    void onlyHttpsAddressesAreRequested_data() {
        QTest::addColumn<QString>("address");  // %1: a listening port
        QTest::newRow("http") << "http://127.0.0.1:%1/cover.jpg";
        QTest::newRow("ftp") << "ftp://127.0.0.1:%1/cover.jpg";
        QTest::newRow("no scheme") << "//127.0.0.1:%1/cover.jpg";
        QTest::newRow("websocket") << "wss://127.0.0.1:%1/cover.jpg";
    }
    void onlyHttpsAddressesAreRequested() {
        QFETCH(QString, address);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        ArtworkLoader loader;
        auto task = loader.loadImage(QUrl(address.arg(listener.serverPort())), true);
        QVERIFY(task.isDone());  // refused before any request
        QVERIFY(task.result().failed());
        QCOMPARE(task.result().failure().code, long(UrlError::unsupportedURL));
        QTest::qWait(50);
        QVERIFY(!listener.hasPendingConnections());
        QCOMPARE(loader.refreshedImages().size(), 0);
    }

    void cancellationIsItsOwnOutcome() {
        ArtworkLoader loader;
        CancelSource source;
        auto task = loader.preparePhoto(jpegOfSize({3000, 3000}), source.token());
        QVERIFY(!task.isDone());
        source.cancel();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());

        CancelSource early;
        early.cancel();
        auto refused = loader.loadImage(QUrl("https://127.0.0.1:1/x.jpg"), true, early.token());
        QVERIFY(refused.isDone() && refused.result().cancelled());
    }

    void destroyingTheLoaderEndsItsWork() {
        auto loader = std::make_unique<ArtworkLoader>();
        auto task = loader->preparePhoto(jpegOfSize({3000, 3000}));
        QVERIFY(!task.isDone());
        loader.reset();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
    }
};

QTEST_GUILESS_MAIN(ArtworkLoaderLocalTest)
#include "test_artwork_loader_local.moc"
