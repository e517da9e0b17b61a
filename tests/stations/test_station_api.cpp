#include "Await.h"
#include "CatalogFixtures.h"
#include "ManualClock.h"
#include "SilentUpstream.h"
#include "TemporaryHome.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "platform/Folders.h"
#include "stations/CatalogDecoding.h"
#include "stations/StationAPI.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace orvanta;
using namespace orvanta::test;

namespace {

// nginx answering the catalog path with `location`, logging the status and
// the "If-None-Match" header of each catalog request.
std::unique_ptr<NginxServer> startCatalogServer(const QString& location) {
    auto server = std::make_unique<NginxServer>();
    NginxServer::Options options;
    options.httpConfig =
        QStringLiteral("log_format catalog escape=none '$status [$http_if_none_match]';");
    // "/probe" shows the same file unlogged, for reading its entity tag.
    options.tlsServerConfig = QStringLiteral(
                                  "location = /api/v1/stations { default_type application/json; "
                                  "access_log {{ROOT}}/../requests.log catalog; %1 }"
                                  "location = /probe { alias {{ROOT}}/api/v1/stations; }")
                                  .arg(location);
    if (!server->start(options))
        return nullptr;
    return server;
}

QStringList requestLog(const NginxServer& server) {
    QFile file(server.root() + QStringLiteral("/../requests.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray fileContent(const QString& path) {
    Outcome<QByteArray> content = Folders::readWhole(path);
    return content ? *content : QByteArray("<unreadable>");
}

QString describe(const Outcome<CatalogResult>& result) {
    if (result.cancelled())
        return QStringLiteral("cancelled");
    if (result.failed())
        return result.failure().describe();
    return result->isCached ? QStringLiteral("cached") : QStringLiteral("fresh");
}

StationCatalog catalogOf(const QByteArray& document) {
    return *decodeCatalog(document);
}

QUrl nobodyListening() {
    return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(freeLoopbackPort()));
}

const CatalogCache storedCache{CatalogCache::currentFormat,
                               QDateTime(QDate(2025, 6, 1), QTime(8, 0), QTimeZone::utc()),
                               QStringLiteral("\"stored\""), ukraineOnly()};

}  // namespace

class StationAPITest : public QObject {
    Q_OBJECT

private:
    SilentUpstream upstream_;
    std::unique_ptr<NginxServer> files_;
    std::unique_ptr<NginxServer> failing_;
    std::unique_ptr<NginxServer> stalled_;
    ManualClock clock_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString cacheFile_;
    qint64 revision_ = 0;

    QUrl origin(const NginxServer& server) const { return server.httpsUrl(QString()); }

    StationAPI::Configuration configuration(const QUrl& catalogOrigin,
                                            double requestTimeout = 10) const {
        return StationAPI::Configuration{catalogOrigin, cacheFile_, requestTimeout};
    }

    // Serves `document` as the catalog. Each version gets its own
    // modification time, so nginx gives each its own entity tag even when
    // two are written within one second.
    void serve(const QByteArray& document) {
        const QString path = files_->root() + QStringLiteral("/api/v1/stations");
        QVERIFY(files_->writeFile(QStringLiteral("api/v1/stations"), document));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(
            QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(++revision_),
            QFileDevice::FileModificationTime));
    }

    QByteArray servedEntityTag() {
        auto task = HttpSession::shared().fetch(
            HttpRequest(files_->httpsUrl(QStringLiteral("/probe"))), 1 << 21);
        if (!waitFor(task) || !task.result().ok())
            return {};
        return task.result()->response.header("ETag").value_or(QByteArray());
    }

    Outcome<CatalogResult> fetch(StationAPI& client) {
        auto task = client.fetchCatalog();
        if (!waitFor(task))
            return Failure::url(UrlError::unknown, QStringLiteral("test gave up waiting"));
        return task.result();
    }

    void storeCacheFile() { QVERIFY(writeCatalogCacheFile(cacheFile_, storedCache).ok()); }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        QVERIFY(installAdditionalTrust() > 0);
        files_ = startCatalogServer({});
        failing_ = startCatalogServer(QStringLiteral("return 500;"));
        stalled_ = startCatalogServer(
            QStringLiteral("proxy_pass http://127.0.0.1:%1; proxy_read_timeout 60s;")
                .arg(upstream_.port()));
        QVERIFY(files_ && failing_ && stalled_);
    }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        cacheFile_ = dir_->filePath(QStringLiteral("caches/com.orvanta.radio.mac/catalog.json"));
        serve(worshipAndLounge());
    }

    void acceptedDownloadIsCachedWithItsEntityTag() {
        const QByteArray etag = servedEntityTag();
        QVERIFY(!etag.isEmpty());
        StationAPI client(clock_, configuration(origin(*files_)));
        const Outcome<CatalogResult> result = fetch(client);
        QCOMPARE(describe(result), QStringLiteral("fresh"));
        QCOMPARE(result->catalog, catalogOf(worshipAndLounge()));

        const CatalogCache expected{1, clock_.wallNow(), QString::fromLatin1(etag),
                                    worshipAndLounge()};
        QCOMPARE(client.cache(), expected);
        const QByteArray written = fileContent(cacheFile_);
        QCOMPARE(written, expected.encode());
        QCOMPARE(QJsonDocument::fromJson(written).object().keys(),
                 (QStringList{"data", "etag", "format", "receivedAt"}));
        QTRY_COMPARE(requestLog(*files_).last(), QStringLiteral("200 []"));
    }

    void unchangedCatalogIsConfirmedWithNotModified() {
        StationAPI client(clock_, configuration(origin(*files_)));
        QCOMPARE(describe(fetch(client)), QStringLiteral("fresh"));
        const QByteArray written = fileContent(cacheFile_);
        clock_.advance(3600);

        const Outcome<CatalogResult> again = fetch(client);
        QCOMPARE(describe(again), QStringLiteral("fresh"));
        QCOMPARE(again->catalog, catalogOf(worshipAndLounge()));
        const QString confirmed =
            QStringLiteral("304 [%1]").arg(QString::fromLatin1(servedEntityTag()));
        QTRY_COMPARE(requestLog(*files_).last(), confirmed);
        // A confirmation changes nothing, not even the time of receipt.
        QCOMPARE(fileContent(cacheFile_), written);
    }

    void notModifiedAfterARestartAnswersFromTheCacheFile() {
        {
            StationAPI first(clock_, configuration(origin(*files_)));
            QCOMPARE(describe(fetch(first)), QStringLiteral("fresh"));
        }
        StationAPI restarted(clock_, configuration(origin(*files_)));
        QVERIFY(!restarted.cache());
        const Outcome<CatalogResult> result = fetch(restarted);
        QCOMPARE(describe(result), QStringLiteral("fresh"));
        QCOMPARE(result->catalog, catalogOf(worshipAndLounge()));
        QTRY_VERIFY(requestLog(*files_).last().startsWith(QStringLiteral("304 [\"")));
    }

    void changedCatalogReplacesTheCache() {
        StationAPI client(clock_, configuration(origin(*files_)));
        QCOMPARE(describe(fetch(client)), QStringLiteral("fresh"));
        const QByteArray oldTag = servedEntityTag();
        serve(ukraineOnly());
        clock_.advance(60);

        const Outcome<CatalogResult> result = fetch(client);
        QCOMPARE(describe(result), QStringLiteral("fresh"));
        QCOMPARE(result->catalog, catalogOf(ukraineOnly()));
        QTRY_COMPARE(requestLog(*files_).last(),
                     QStringLiteral("200 [%1]").arg(QString::fromLatin1(oldTag)));
        const CatalogCache expected{1, clock_.wallNow(), QString::fromLatin1(servedEntityTag()),
                                    ukraineOnly()};
        QCOMPARE(client.cache(), expected);
        QCOMPARE(readCatalogCacheFile(cacheFile_), expected);
    }

    void answerWithoutEntityTagIsStoredWithoutOne() {
        std::unique_ptr<NginxServer> untagged = startCatalogServer(QStringLiteral("etag off;"));
        QVERIFY(untagged);
        QVERIFY(untagged->writeFile(QStringLiteral("api/v1/stations"), worshipAndLounge()));
        StationAPI client(clock_, configuration(origin(*untagged)));
        QCOMPARE(describe(fetch(client)), QStringLiteral("fresh"));
        QVERIFY(!QJsonDocument::fromJson(fileContent(cacheFile_)).object().contains("etag"));
        QCOMPARE(describe(fetch(client)), QStringLiteral("fresh"));
        QTRY_COMPARE(requestLog(*untagged), (QStringList{"200 []", "200 []"}));
    }

    void serverErrorFallsBackToTheCache() {
        StationAPI withoutCache(clock_, configuration(origin(*failing_)));
        const Outcome<CatalogResult> failure = fetch(withoutCache);
        QVERIFY(failure.failed());
        QCOMPARE(failure.failure().code, long(UrlError::badServerResponse));

        storeCacheFile();
        const QByteArray stored = fileContent(cacheFile_);
        StationAPI withCache(clock_, configuration(origin(*failing_)));
        const Outcome<CatalogResult> result = fetch(withCache);
        QCOMPARE(describe(result), QStringLiteral("cached"));
        QCOMPARE(result->catalog, catalogOf(ukraineOnly()));
        QCOMPARE(fileContent(cacheFile_), stored);
        QTRY_COMPARE(requestLog(*failing_).last(), QStringLiteral("500 [\"stored\"]"));
    }

    void bodyIsBoundedToAMillionBytes_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("withCache");
        QTest::addColumn<QString>("expected");
        const QString tooLong = Failure::url(UrlError::dataLengthExceedsMaximum).describe();
        QTest::newRow("exactly 1,000,000 bytes") << qsizetype(1'000'000) << false << "fresh";
        QTest::newRow("1,000,001 bytes") << qsizetype(1'000'001) << false << tooLong;
        QTest::newRow("1,000,001 bytes, cache") << qsizetype(1'000'001) << true << "cached";
    }
    void bodyIsBoundedToAMillionBytes() {
        QFETCH(qsizetype, size);
        QFETCH(bool, withCache);
        QFETCH(QString, expected);
        const QByteArray document = catalogDocument(stationJson("big"), size);
        QCOMPARE(document.size(), size);
        serve(document);
        if (withCache)
            storeCacheFile();
        StationAPI client(clock_, configuration(origin(*files_)));
        const Outcome<CatalogResult> result = fetch(client);
        QVERIFY(describe(result).startsWith(expected));
        if (result.ok() && !result->isCached)
            QCOMPARE(client.cache()->data, document);
    }

    void invalidDocumentsNeverReplaceTheCache_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<long>("code");
        const long invalid = UrlError::cannotParseResponse;
        QTest::newRow("schema version 2")
            << catalogDocument(stationJson("a"), 0, "2") << ErrorDomain::url << invalid;
        QTest::newRow("duplicate ids") << catalogDocument(stationJson("a") + "," + stationJson("a"))
                                       << ErrorDomain::url << invalid;
        QTest::newRow("personal id")
            << catalogDocument(stationJson("personal:0F0E0D0C-0B0A-4908-8706-050403020100"))
            << ErrorDomain::url << invalid;
        QTest::newRow("artwork on a local file")
            << catalogDocument(stationJson("a", ",'artworkUrl':'file:///etc/passwd'"))
            << ErrorDomain::url << invalid;
        QTest::newRow("station without isEnabled")
            << catalogDocument(quoted("{'id':'a','title':'A','sortOrder':0,'isVisible':true}"))
            << ErrorDomain::decoding << 0L;
        QTest::newRow("not JSON") << QByteArray("<html>maintenance</html>") << ErrorDomain::decoding
                                  << 0L;
    }
    void invalidDocumentsNeverReplaceTheCache() {
        QFETCH(QByteArray, document);
        QFETCH(QString, domain);
        QFETCH(long, code);
        serve(document);

        StationAPI withoutCache(clock_, configuration(origin(*files_)));
        const Outcome<CatalogResult> failure = fetch(withoutCache);
        QVERIFY2(failure.failed(), qPrintable(describe(failure)));
        QCOMPARE(failure.failure().domain, domain);
        QCOMPARE(failure.failure().code, code);
        QVERIFY(!withoutCache.cache());
        QVERIFY(!QFile::exists(cacheFile_));

        storeCacheFile();
        const QByteArray stored = fileContent(cacheFile_);
        StationAPI withCache(clock_, configuration(origin(*files_)));
        const Outcome<CatalogResult> result = fetch(withCache);
        QCOMPARE(describe(result), QStringLiteral("cached"));
        QCOMPARE(result->catalog, catalogOf(ukraineOnly()));
        QCOMPARE(withCache.cache(), storedCache);
        QCOMPARE(fileContent(cacheFile_), stored);
    }

    void stalledServerTimesOut() {
        StationAPI withoutCache(clock_, configuration(origin(*stalled_), 0.3));
        const Outcome<CatalogResult> failure = fetch(withoutCache);
        QVERIFY(failure.failed());
        QCOMPARE(failure.failure().code, long(UrlError::timedOut));

        storeCacheFile();
        StationAPI withCache(clock_, configuration(origin(*stalled_), 0.3));
        const Outcome<CatalogResult> result = fetch(withCache);
        QCOMPARE(describe(result), QStringLiteral("cached"));
        QCOMPARE(result->catalog, catalogOf(ukraineOnly()));
    }

    void cancellationMidFlightNeverFallsBack() {
        storeCacheFile();
        const QByteArray stored = fileContent(cacheFile_);
        StationAPI client(clock_, configuration(origin(*stalled_)));
        const int connectionsBefore = upstream_.connections();
        CancelSource source;
        auto task = client.fetchCatalog(source.token());
        QTRY_VERIFY(upstream_.connections() > connectionsBefore);
        QVERIFY(!task.isDone());
        QVERIFY(client.cache());  // the fallback was there to take

        source.cancel();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
        QCOMPARE(client.cache(), storedCache);
        QCOMPARE(fileContent(cacheFile_), stored);
    }

    void cancelledBeforeStartingIsCancelled() {
        storeCacheFile();
        StationAPI client(clock_, configuration(origin(*files_)));
        CancelSource source;
        source.cancel();
        auto task = client.fetchCatalog(source.token());
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
    }

    void destroyingTheClientCancelsItsFetch() {
        storeCacheFile();
        auto client = std::make_unique<StationAPI>(clock_, configuration(origin(*stalled_)));
        const int connectionsBefore = upstream_.connections();
        auto task = client->fetchCatalog();
        QTRY_VERIFY(upstream_.connections() > connectionsBefore);
        client.reset();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
    }

    void firstStartOffline() {
        StationAPI withoutCache(clock_, configuration(nobodyListening()));
        const Outcome<CatalogResult> failure = fetch(withoutCache);
        QVERIFY(failure.failed());
        QCOMPARE(failure.failure().code, long(UrlError::cannotConnectToHost));

        storeCacheFile();
        StationAPI withCache(clock_, configuration(nobodyListening()));
        const Outcome<CatalogResult> result = fetch(withCache);
        QCOMPARE(describe(result), QStringLiteral("cached"));
        QCOMPARE(result->catalog, catalogOf(ukraineOnly()));
    }

    void corruptOrForeignCacheFileIsIgnoredThenReplaced_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray(
            "\x7f"
            "ELF\x02\x01\x01\x00",
            8);
        QTest::newRow("truncated record") << storedCache.encode().chopped(10);
        QTest::newRow("foreign JSON") << QByteArray(R"({"version":3,"items":[]})");
        QTest::newRow("record of another format")
            << QByteArray(storedCache.encode()).replace("\"format\":1", "\"format\":2");
        QTest::newRow("record holding an invalid catalog")
            << CatalogCache{1, storedCache.receivedAt, std::nullopt,
                            catalogDocument(stationJson("a") + "," + stationJson("a"))}
                   .encode();
    }
    void corruptOrForeignCacheFileIsIgnoredThenReplaced() {
        QFETCH(QByteArray, content);
        QVERIFY(Folders::writeAtomically(cacheFile_, content).ok());

        StationAPI offline(clock_, configuration(nobodyListening()));
        const Outcome<CatalogResult> failure = fetch(offline);
        QVERIFY(failure.failed());
        QCOMPARE(failure.failure().code, long(UrlError::cannotConnectToHost));
        QCOMPARE(fileContent(cacheFile_), content);

        StationAPI online(clock_, configuration(origin(*files_)));
        QCOMPARE(describe(fetch(online)), QStringLiteral("fresh"));
        QCOMPARE(readCatalogCacheFile(cacheFile_)->data, worshipAndLounge());
    }

    void unwritableCacheFileStillGivesTheCatalog() {
        // A plain file where the cache folder should be.
        QVERIFY(Folders::writeAtomically(dir_->filePath(QStringLiteral("blocked")), "x").ok());
        StationAPI client(clock_, StationAPI::Configuration{
                                      origin(*files_),
                                      dir_->filePath(QStringLiteral("blocked/catalog.json")), 10});
        const Outcome<CatalogResult> result = fetch(client);
        QCOMPARE(describe(result), QStringLiteral("fresh"));
        QCOMPARE(client.cache()->data, worshipAndLounge());
    }

    void clientWithoutCacheFileKeepsTheCatalogInMemory() {
        StationAPI client(clock_, StationAPI::Configuration{origin(*files_), std::nullopt, 10});
        QCOMPARE(describe(fetch(client)), QStringLiteral("fresh"));
        QVERIFY(client.cache());
        QVERIFY(!QFile::exists(cacheFile_));
        QCOMPARE(describe(fetch(client)), QStringLiteral("fresh"));
        QTRY_VERIFY(requestLog(*files_).last().startsWith(QStringLiteral("304 ")));
    }
};

QTEST_GUILESS_MAIN(StationAPITest)
#include "test_station_api.moc"
