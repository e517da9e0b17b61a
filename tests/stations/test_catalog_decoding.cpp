#include "CatalogFixtures.h"
#include "stations/CatalogDecoding.h"
#include "stations/CatalogRequest.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

namespace {

// "" for an accepted document, otherwise the failure's domain and code.
QString verdict(const Outcome<StationCatalog>& outcome) {
    if (outcome.ok())
        return {};
    return outcome.failure().domain + QLatin1Char(' ') + QString::number(outcome.failure().code);
}

const QString accepted;
const QString tooLong = QStringLiteral("url %1").arg(UrlError::dataLengthExceedsMaximum);
const QString invalid = QStringLiteral("url %1").arg(UrlError::cannotParseResponse);
const QString undecodable = QStringLiteral("decoding 0");

}  // namespace

class CatalogDecodingTest : public QObject {
    Q_OBJECT

private slots:
    void validityRules_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("expected");

        QTest::newRow("two stations") << worshipAndLounge() << accepted;
        QTest::newRow("no stations") << catalogDocument({}) << accepted;
        QTest::newRow("exactly 1,000,000 bytes")
            << catalogDocument(stationJson("a"), 1'000'000) << accepted;
        QTest::newRow("1,000,001 bytes") << catalogDocument(stationJson("a"), 1'000'001) << tooLong;
        QTest::newRow("oversized garbage is refused before parsing")
            << QByteArray(1'000'001, '{') << tooLong;

        QTest::newRow("schema version 2") << catalogDocument(stationJson("a"), 0, "2") << invalid;
        QTest::newRow("schema version 0") << catalogDocument(stationJson("a"), 0, "0") << invalid;
        QTest::newRow("schema version as text")
            << catalogDocument(stationJson("a"), 0, "'1'") << undecodable;

        QTest::newRow("duplicate ids")
            << catalogDocument(stationJson("a") + "," + stationJson("b") + "," + stationJson("a"))
            << invalid;
        QTest::newRow("ids differing in case only")
            << catalogDocument(stationJson("a") + "," + stationJson("A")) << accepted;

        QTest::newRow("personal id")
            << catalogDocument(stationJson("personal:9F1C2A3B-0000-4000-8000-000000000001"))
            << invalid;
        QTest::newRow("bare personal prefix")
            << catalogDocument(stationJson("personal:")) << invalid;
        QTest::newRow("prefix in another case")
            << catalogDocument(stationJson("Personal:x")) << accepted;
        QTest::newRow("prefix not at the start")
            << catalogDocument(stationJson("my-personal:x")) << accepted;
        QTest::newRow("prefix without its colon")
            << catalogDocument(stationJson("personal")) << accepted;

        QTest::newRow("artwork on a local file")
            << catalogDocument(stationJson("a", ",'artworkUrl':'file:///etc/passwd'")) << invalid;
        QTest::newRow("artwork on a local file, scheme in capitals")
            << catalogDocument(stationJson("a", ",'artworkUrl':'FILE:///etc/passwd'")) << invalid;
        QTest::newRow("artwork on a file host")
            << catalogDocument(stationJson("a", ",'artworkUrl':'file://server/share/a.jpg'"))
            << invalid;
        QTest::newRow("artwork over plain http")
            << catalogDocument(stationJson("a", ",'artworkUrl':'http://images.example/a.jpg'"))
            << accepted;
        QTest::newRow("share address on a local file is not artwork")
            << catalogDocument(stationJson("a", ",'shareUrl':'file:///tmp/x'")) << accepted;
        QTest::newRow("artwork null")
            << catalogDocument(stationJson("a", ",'artworkUrl':null")) << accepted;

        QTest::newRow("station without isEnabled")
            << catalogDocument(quoted("{'id':'a','title':'A','sortOrder':0,'isVisible':true}"))
            << undecodable;
        QTest::newRow("not JSON") << QByteArray("<html>502</html>") << undecodable;
        QTest::newRow("empty body") << QByteArray() << undecodable;
        QTest::newRow("array at the top") << QByteArray("[]") << undecodable;
    }
    void validityRules() {
        QFETCH(QByteArray, document);
        QFETCH(QString, expected);
        const Outcome<StationCatalog> catalog = decodeCatalog(document);
        QCOMPARE(verdict(catalog), expected);
        if (catalog.ok()) {
            // Accepted documents come back exactly as decoded: no filtering,
            // no reordering.
            QCOMPARE(*catalog, *StationCatalog::decode(document));
        }
    }

    void requestIsAnUncachedGetOfTheCatalogPath() {
        const HttpRequest request =
            catalogRequest(QUrl(QStringLiteral("https://127.0.0.1:8443")), std::nullopt);
        QCOMPARE(request.url, QUrl(QStringLiteral("https://127.0.0.1:8443/api/v1/stations")));
        QCOMPARE(request.timeout, 15.0);
        QCOMPARE(request.cachePolicy, CachePolicy::reloadIgnoringCache);
        QVERIFY(request.headers.isEmpty());
    }

    void entityTagIsSentBackUnchanged_data() {
        QTest::addColumn<QString>("etag");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("strong") << QStringLiteral("\"65a1b2c3-1f4\"")
                                << QByteArray("\"65a1b2c3-1f4\"");
        QTest::newRow("weak") << QStringLiteral("W/\"x\"") << QByteArray("W/\"x\"");
        QTest::newRow("Latin-1 byte")
            << QStringLiteral("\"caf\u00e9\"") << QByteArray("\"caf\xe9\"");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("line break") << QStringLiteral("\"a\"\r\nX-Injected: 1") << QByteArray();
        QTest::newRow("control character")
            << QStringLiteral("\"a") + QChar(0x01) + QStringLiteral("\"") << QByteArray();
        QTest::newRow("beyond Latin-1") << QStringLiteral("\"Ж\"") << QByteArray();
    }
    void entityTagIsSentBackUnchanged() {
        QFETCH(QString, etag);
        QFETCH(QByteArray, header);
        const HttpRequest request =
            catalogRequest(QUrl(QStringLiteral("https://radio.example")), etag);
        if (header.isEmpty()) {
            QVERIFY(request.headers.isEmpty());
        } else {
            QCOMPARE(request.headers, (HttpHeaders{{"If-None-Match", header}}));
        }
    }
};

QTEST_GUILESS_MAIN(CatalogDecodingTest)
#include "test_catalog_decoding.moc"
