#include "CatalogFixtures.h"
#include "TemporaryHome.h"
#include "platform/Folders.h"
#include "stations/CatalogCache.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

using namespace orvanta;
using namespace orvanta::test;

namespace {

// 2026-01-01 12:00:00.250 UTC: 9131 days and 12.25 hours after 2001-01-01.
const QDateTime received(QDate(2026, 1, 1), QTime(12, 0, 0, 250), QTimeZone::utc());
constexpr double receivedSeconds = 788961600.25;

CatalogCache record(std::optional<QString> etag = QStringLiteral("\"5f3-1a\""),
                    QByteArray data = worshipAndLounge()) {
    return CatalogCache{CatalogCache::currentFormat, received, std::move(etag), std::move(data)};
}

QByteArray recordJson(const QByteArray& format, const QByteArray& data) {
    return quoted("{'format':" + format + ",'receivedAt':1,'data':'" + data.toBase64() + "'}");
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

}  // namespace

class CatalogCacheTest : public QObject {
    Q_OBJECT

private slots:
    void encodesExactKeysAndForms() {
        const QJsonObject object = QJsonDocument::fromJson(record().encode()).object();
        QCOMPARE(object.keys(), (QStringList{"data", "etag", "format", "receivedAt"}));
        QCOMPARE(object.value("format").toVariant().typeId(), QMetaType::LongLong);
        QCOMPARE(object.value("format").toInteger(), 1);
        QCOMPARE(object.value("receivedAt").toDouble(), receivedSeconds);
        QCOMPARE(object.value("etag").toString(), QStringLiteral("\"5f3-1a\""));
        QCOMPARE(object.value("data").toString().toLatin1(), worshipAndLounge().toBase64());
    }

    void recordWithoutEntityTagLeavesTheKeyOut() {
        const QJsonObject object = QJsonDocument::fromJson(record(std::nullopt).encode()).object();
        QCOMPARE(object.keys(), (QStringList{"data", "format", "receivedAt"}));
    }

    void roundTrips_data() {
        QTest::addColumn<CatalogCache>("cache");
        QTest::newRow("with entity tag") << record();
        QTest::newRow("without entity tag") << record(std::nullopt);
        QTest::newRow("binary body, odd length") << record({}, QByteArray("\x00\xff\x10", 3));
        QTest::newRow("empty body") << record({}, {});
    }
    void roundTrips() {
        QFETCH(CatalogCache, cache);
        const Outcome<CatalogCache> decoded = CatalogCache::decode(cache.encode());
        QVERIFY(decoded.ok());
        QCOMPARE(*decoded, cache);
    }

    void decodeRules_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QByteArray body = QByteArray("hello").toBase64();  // "aGVsbG8="
        const auto with = [&](const QByteArray& fields) {
            return quoted("{'format':1,'receivedAt':-12.5,'data':'" + body + "'" + fields + "}");
        };
        QTest::newRow("minimal") << with({}) << true;
        QTest::newRow("etag null") << with(",'etag':null") << true;
        QTest::newRow("unknown keys ignored") << with(",'expires':3,'x':{}") << true;
        QTest::newRow("another format still decodes")
            << quoted("{'format':7,'receivedAt':0,'data':''}") << true;
        QTest::newRow("format missing") << quoted("{'receivedAt':0,'data':''}") << false;
        QTest::newRow("format fractional")
            << quoted("{'format':1.5,'receivedAt':0,'data':''}") << false;
        QTest::newRow("receivedAt missing") << quoted("{'format':1,'data':''}") << false;
        QTest::newRow("receivedAt as text")
            << quoted("{'format':1,'receivedAt':'2026-01-01T00:00:00Z','data':''}") << false;
        QTest::newRow("receivedAt absurd")
            << quoted("{'format':1,'receivedAt':1e300,'data':''}") << false;
        QTest::newRow("data missing") << quoted("{'format':1,'receivedAt':0}") << false;
        QTest::newRow("data not text") << quoted("{'format':1,'receivedAt':0,'data':[1]}") << false;
        QTest::newRow("etag not text") << with(",'etag':5") << false;
        QTest::newRow("Base64 without padding")
            << quoted("{'format':1,'receivedAt':0,'data':'aGVsbG8'}") << false;
        QTest::newRow("Base64 with a stray character")
            << quoted("{'format':1,'receivedAt':0,'data':'aGVs!bG8='}") << false;
        QTest::newRow("Base64 with a line break")
            << quoted("{'format':1,'receivedAt':0,'data':'aGVs\\nbG8='}") << false;
        QTest::newRow("URL-safe Base64")
            << quoted("{'format':1,'receivedAt':0,'data':'-_-_'}") << false;
        QTest::newRow("Base64 beyond ASCII")
            << quoted("{'format':1,'receivedAt':0,'data':'aGVsbG8\u00bd'}") << false;
        QTest::newRow("not an object") << QByteArray("[1]") << false;
        QTest::newRow("not JSON") << QByteArray("\x89PNG") << false;
    }
    void decodeRules() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const Outcome<CatalogCache> decoded = CatalogCache::decode(json);
        QCOMPARE(decoded.ok(), decodes);
        if (!decodes)
            QCOMPARE(decoded.failure().domain, ErrorDomain::decoding);
    }

    void fileIsUsedOnlyWhenItHoldsAGoodRecord_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("usable");
        QTest::newRow("good record") << record().encode() << true;
        QTest::newRow("good record, no entity tag") << record(std::nullopt).encode() << true;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("\x00\x01\x02garbage", 10) << false;
        QTest::newRow("truncated record") << record().encode().left(40) << false;
        QTest::newRow("foreign JSON") << QByteArray("{\"hello\":\"world\"}") << false;
        QTest::newRow("another format") << recordJson("2", worshipAndLounge()) << false;
        QTest::newRow("format zero") << recordJson("0", worshipAndLounge()) << false;
        QTest::newRow("body that is not a catalog") << recordJson("1", "<html></html>") << false;
        QTest::newRow("catalog of schema version 2")
            << recordJson("1", catalogDocument(stationJson("a"), 0, "2")) << false;
        QTest::newRow("catalog with a personal id")
            << recordJson("1", catalogDocument(stationJson("personal:x"))) << false;
        QTest::newRow("oversized file") << record().encode() + QByteArray(2'000'000, ' ') << false;
    }
    void fileIsUsedOnlyWhenItHoldsAGoodRecord() {
        QFETCH(QByteArray, content);
        QFETCH(bool, usable);
        QTemporaryDir dir;
        const QString path = dir.filePath("catalog.json");
        QVERIFY(writeFile(path, content));
        const std::optional<CatalogCache> cache = readCatalogCacheFile(path);
        QCOMPARE(cache.has_value(), usable);
        if (usable)
            QCOMPARE(*cache, *CatalogCache::decode(content));
    }

    void thingsThatAreNotFilesAreIgnored() {
        QTemporaryDir dir;
        QVERIFY(!readCatalogCacheFile(dir.filePath("missing.json")));
        QVERIFY(QDir(dir.path()).mkdir("folder.json"));
        QVERIFY(!readCatalogCacheFile(dir.filePath("folder.json")));
        // A pipe would block the reader until someone writes to it.
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.json")).constData(), 0600), 0);
        QVERIFY(!readCatalogCacheFile(dir.filePath("pipe.json")));
    }

    void writingCreatesTheFolderAndReplacesTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("a/b/catalog.json");
        QVERIFY(writeCatalogCacheFile(path, record()).ok());
        QCOMPARE(readCatalogCacheFile(path), record());
        QVERIFY(writeCatalogCacheFile(path, record(std::nullopt, ukraineOnly())).ok());
        QCOMPARE(*Folders::readWhole(path), record(std::nullopt, ukraineOnly()).encode());
    }

    void defaultFileIsInTheApplicationCacheFolder() {
        TemporaryHome home;
        QCOMPARE(defaultCatalogCacheFile(),
                 home.filePath("cache/orvanta-radio/com.orvanta.radio.mac/catalog.json"));
    }
};

QTEST_GUILESS_MAIN(CatalogCacheTest)
#include "test_catalog_cache.moc"
