#include "Await.h"
#include "CannedUpstream.h"
#include "ImageFixtures.h"
#include "TemporaryHome.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "artwork/ArtworkLoader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDiskCache>
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

// The failure of a transfer that broke off, as opposed to the loader's own
// refusals.
constexpr long anyTransferFailure = 1;

}  // namespace

// The loader against real nginx over TLS: what it accepts, how it bounds and
// refuses, and what it keeps in memory and in its HTTP cache.
class ArtworkLoaderNetworkTest : public QObject {
    Q_OBJECT

private:
    TemporaryHome home_;
    NginxServer nginx_;
    CannedUpstream upstream_;
    QByteArray small_ = jpegOfSize({300, 200});

    Outcome<QByteArray> load(ArtworkLoader& loader, const QString& path, bool refresh,
                             int timeoutMs = 15000) {
        auto task = loader.loadImage(nginx_.httpsUrl(path), refresh);
        if (!waitFor(task, timeoutMs))
            return Failure::url(UrlError::unknown, "the test gave up waiting");
        return task.result();
    }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        QVERIFY(installAdditionalTrust() > 0);
        NginxServer::Options options;
        // Everything is cacheable for an hour, so that the HTTP layer would
        // keep whatever the loader lets through.
        options.tlsServerConfig = QStringLiteral(R"(
            expires 1h;
            location /disguised/ { types { } default_type image/png; }
            location /wrongtype/ { types { } default_type text/html; }
            location /gz/ { gzip on; gzip_types image/jpeg image/png; gzip_min_length 1; }
            location = /not-modified.jpg { return 304; }
            location = /partial.jpg {
                proxy_pass http://127.0.0.1:{{PLAIN_PORT}}/small.jpg;
                proxy_set_header Range "bytes=0-99";
            }
            location = /to-plain.jpg { return 302 http://127.0.0.1:{{PLAIN_PORT}}/small.jpg; }
            location = /to-tls.jpg { return 302 https://127.0.0.1:{{TLS_PORT}}/small.jpg; }
            location /upstream/ { proxy_pass http://127.0.0.1:%1; proxy_buffering off; }
        )")
                                      .arg(upstream_.port());
        QVERIFY(nginx_.start(options));

        const QByteArray exact = paddedJpeg(small_, 5'242'880);
        const QByteArray over = paddedJpeg(small_, 5'242'881);
        const QByteArray square = jpegOfSize({4096, 4096});
        QVERIFY(square.size() <= 5'242'880);
        const QList<std::pair<QString, QByteArray>> files = {
            {"small.jpg", small_},
            {"wide.png", pngOfSize({1536, 1024})},
            {"square.jpg", square},
            {"oriented.jpg", withExifOrientation(jpegOfSize({200, 100}), 6)},
            {"tiny.gif", tinyGif()},
            {"exact.jpg", exact},
            {"over.jpg", over},
            {"gz/exact.jpg", exact},
            {"gz/over.jpg", over},
            {"gz/small.jpg", small_},
            {"strip.png", pngOfSize({4097, 10})},
            {"huge-claim.png", pngClaiming({100000, 100000})},
            {"truncated.jpg", jpegOfSize({1200, 800}).left(30000)},
            {"wrongtype/small.jpg", small_},
            {"disguised/drawing.svg",
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">"
             "<rect width=\"64\" height=\"64\" fill=\"red\"/></svg>"},
            {"disguised/page.html",
             "<!DOCTYPE html><html><body>Сторінку не знайдено</body></html>"},
        };
        for (const auto& [path, content] : files)
            QVERIFY(nginx_.writeFile(path, content));

        const QByteArray jpegHead =
            "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nConnection: close";
        upstream_.answer("/upstream/announces-more.jpg",
                         {jpegHead + "\r\nContent-Length: 100000", small_.left(1000)});
        upstream_.answer("/upstream/announces-less.jpg",
                         {jpegHead + "\r\nContent-Length: 1000", small_});
        upstream_.answer("/upstream/endless.jpg",
                         {jpegHead, QByteArray(64 * 1024, 'e'), CannedUpstream::Body::endless});
        upstream_.answer("/upstream/stall.jpg", {jpegHead, {}, CannedUpstream::Body::stall});
    }

    void init() {
        ArtworkLoader loader;
        loader.session().cache()->clear();
    }

    void picturesComeBackAsSmallUprightJpegs_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("small jpeg keeps its size") << "/small.jpg" << QSize(300, 200);
        QTest::newRow("png scaled down") << "/wide.png" << QSize(768, 512);
        QTest::newRow("4096 square") << "/square.jpg" << QSize(768, 768);
        QTest::newRow("orientation tag applied") << "/oriented.jpg" << QSize(100, 200);
        QTest::newRow("gif") << "/tiny.gif" << QSize(1, 1);
        QTest::newRow("exactly 5242880 bytes, announced") << "/exact.jpg" << QSize(300, 200);
        QTest::newRow("exactly 5242880 bytes, unannounced") << "/gz/exact.jpg" << QSize(300, 200);
        QTest::newRow("redirected within https") << "/to-tls.jpg" << QSize(300, 200);
    }
    void picturesComeBackAsSmallUprightJpegs() {
        QFETCH(QString, path);
        QFETCH(QSize, expected);
        ArtworkLoader loader;
        const Outcome<QByteArray> result = load(loader, path, false);
        QVERIFY2(result.ok(), qPrintable(describe(result)));
        const QImage image = decode(*result);
        QCOMPARE(image.size(), expected);
        QCOMPARE(firstQuantizerValue(*result), 3);  // quality 90
        if (path == "/oriented.jpg") {
            QVERIFY(looksLike(image, {50, 20}, Qt::red));
            QVERIFY(looksLike(image, {50, 180}, Qt::blue));
        }
    }

    void refusalsLeaveNothingBehind_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<long>("code");
        const long bad = UrlError::badServerResponse;
        const long tooLong = UrlError::dataLengthExceedsMaximum;
        const long undecodable = UrlError::cannotDecodeContentData;
        QTest::newRow("not an image type") << "/wrongtype/small.jpg" << bad;
        QTest::newRow("304") << "/not-modified.jpg" << bad;
        QTest::newRow("206") << "/partial.jpg" << bad;
        QTest::newRow("404") << "/missing.jpg" << bad;
        QTest::newRow("redirected to plain http") << "/to-plain.jpg" << bad;
        QTest::newRow("announces one byte over") << "/over.jpg" << bad;
        QTest::newRow("unannounced, one byte over") << "/gz/over.jpg" << tooLong;
        QTest::newRow("endless body") << "/upstream/endless.jpg" << tooLong;
        QTest::newRow("announces more than it sends")
            << "/upstream/announces-more.jpg" << anyTransferFailure;
        QTest::newRow("announces less than it sends")
            << "/upstream/announces-less.jpg" << undecodable;
        QTest::newRow("4097 × 10") << "/strip.png" << undecodable;
        QTest::newRow("claims 100000 × 100000") << "/huge-claim.png" << undecodable;
        QTest::newRow("truncated jpeg") << "/truncated.jpg" << undecodable;
        QTest::newRow("svg served as png") << "/disguised/drawing.svg" << undecodable;
        QTest::newRow("html served as png") << "/disguised/page.html" << undecodable;
    }
    void refusalsLeaveNothingBehind() {
        QFETCH(QString, path);
        QFETCH(long, code);
        ArtworkLoader loader;
        QNetworkDiskCache* cache = loader.session().cache();
        QVERIFY(load(loader, "/small.jpg", true).ok());
        const QByteArray remembered = *loader.refreshedImages().find(nginx_.httpsUrl("/small.jpg"));
        const qint64 cacheSize = cache->cacheSize();

        for (bool refresh : {false, true}) {
            QElapsedTimer elapsed;
            elapsed.start();
            const Outcome<QByteArray> result = load(loader, path, refresh);
            QVERIFY2(result.failed(), qPrintable(describe(result)));
            if (code == anyTransferFailure) {
                QCOMPARE(result.failure().domain, ErrorDomain::url);
                QVERIFY2(result.failure().code != UrlError::badServerResponse &&
                             result.failure().code != UrlError::cannotDecodeContentData &&
                             result.failure().code != UrlError::unknown,
                         qPrintable(describe(result)));
            } else {
                QVERIFY2(result.failure().code == code, qPrintable(describe(result)));
            }
            QVERIFY(elapsed.elapsed() < 5000);
            QCOMPARE(loader.refreshedImages().size(), 1);
            QCOMPARE(loader.refreshedImages().find(nginx_.httpsUrl("/small.jpg")), remembered);
            QVERIFY(!cache->metaData(nginx_.httpsUrl(path)).isValid());
            QCOMPARE(cache->cacheSize(), cacheSize);
        }
    }

    void aRefreshedCopyIsAnsweredFromMemory() {
        ArtworkLoader loader;
        QVERIFY(nginx_.writeFile("memory.jpg", jpegOfSize({400, 300})));
        const Outcome<QByteArray> refreshed = load(loader, "/memory.jpg", true);
        QVERIFY(refreshed.ok());
        QCOMPARE(decode(*refreshed).size(), QSize(400, 300));

        QVERIFY(QFile::remove(nginx_.root() + "/memory.jpg"));
        const QUrl url = nginx_.httpsUrl("/memory.jpg");
        auto task = loader.loadImage(url, false);
        QVERIFY(task.isDone());  // no request
        QCOMPARE(task.result().value(), *refreshed);

        QVERIFY(nginx_.writeFile("memory.jpg", jpegOfSize({320, 240})));
        const Outcome<QByteArray> again = load(loader, "/memory.jpg", true);
        QVERIFY(again.ok());
        QCOMPARE(decode(*again).size(), QSize(320, 240));
        QCOMPARE(loader.refreshedImages().find(url), *again);
        QCOMPARE(loader.refreshedImages().size(), 1);
    }

    void refreshedCopiesAreCappedAtThirtyTwo() {
        ArtworkLoader loader;
        for (int i = 0; i < 33; ++i)
            QVERIFY(load(loader, QStringLiteral("/small.jpg?copy=%1").arg(i), true).ok());
        QCOMPARE(loader.refreshedImages().size(), 32);
    }

    void aRefreshedLoadUpdatesTheHttpCache_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("announced length") << "/fresh.jpg";
        QTest::newRow("compressed in transit") << "/gz/fresh.jpg";
    }
    void aRefreshedLoadUpdatesTheHttpCache() {
        QFETCH(QString, path);
        const QString file = path.mid(1);
        QVERIFY(nginx_.writeFile(file, jpegOfSize({400, 300})));
        {
            ArtworkLoader loader;
            QVERIFY(load(loader, path, false).ok());
            // The server's copy changes; a refreshed load fetches it.
            QVERIFY(nginx_.writeFile(file, jpegOfSize({320, 240})));
            const Outcome<QByteArray> refreshed = load(loader, path, true);
            QVERIFY(refreshed.ok());
            QCOMPARE(decode(*refreshed).size(), QSize(320, 240));
        }
        // A new loader has no refreshed copies in memory, and the server has
        // no file any more: the fresh copy can only come from the cache.
        QVERIFY(QFile::remove(nginx_.root() + "/" + file));
        ArtworkLoader later;
        const Outcome<QByteArray> fromCache = load(later, path, false);
        QVERIFY2(fromCache.ok(), qPrintable(describe(fromCache)));
        QCOMPARE(decode(*fromCache).size(), QSize(320, 240));
    }

    void cancellingMidTransferIsItsOwnOutcome() {
        ArtworkLoader loader;
        CancelSource source;
        const int before = upstream_.requests("/upstream/stall.jpg");
        auto task = loader.loadImage(nginx_.httpsUrl("/upstream/stall.jpg"), true, source.token());
        QTRY_VERIFY(upstream_.requests("/upstream/stall.jpg") > before);
        QTest::qWait(50);
        QVERIFY(!task.isDone());
        source.cancel();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
        QCOMPARE(loader.refreshedImages().size(), 0);
    }

    void destroyingTheLoaderEndsItsDownloads() {
        auto loader = std::make_unique<ArtworkLoader>();
        const int before = upstream_.requests("/upstream/stall.jpg");
        auto task = loader->download(nginx_.httpsUrl("/upstream/stall.jpg"), false);
        QTRY_VERIFY(upstream_.requests("/upstream/stall.jpg") > before);
        loader.reset();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
    }
};

QTEST_GUILESS_MAIN(ArtworkLoaderNetworkTest)
#include "test_artwork_loader_network.moc"
