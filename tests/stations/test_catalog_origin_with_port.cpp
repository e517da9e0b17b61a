#include "platform/Deployment.h"
#include "stations/CatalogAddress.h"
#include "stations/Station.h"

#include <QTest>

using namespace orvanta;
using namespace Qt::StringLiterals;

// Run with the catalog origin overridden to https://127.0.0.1:8443: then that
// port, and only that port, makes an address the catalog server's.
class CatalogOriginWithPortTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (Deployment::catalogPort() != 8443)
            QSKIP("needs ORVANTA_CATALOG_URL with port 8443");
    }

    void catalogPathNeedsTheOriginsPort_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("onCatalog");
        QTest::newRow("origin port") << "https://127.0.0.1:8443/worship" << true;
        QTest::newRow("no port") << "https://127.0.0.1/worship" << false;
        QTest::newRow("port 443") << "https://127.0.0.1:443/worship" << false;
        QTest::newRow("other host") << "https://127.0.0.2:8443/worship" << false;
    }
    void catalogPathNeedsTheOriginsPort() {
        QFETCH(QString, address);
        QFETCH(bool, onCatalog);
        QCOMPARE(catalogPath(*WebUrl::parse(address)).has_value(), onCatalog);
    }

    void mappingsKeepThePort() {
        const WebUrl mp3 = *WebUrl::parse(u"https://127.0.0.1:8443/lounge.mp3");
        QCOMPARE(canonicalStreamURL(mp3).text(), u"https://127.0.0.1:8443/lounge"_s);
        QCOMPARE(mp3StreamURL(canonicalStreamURL(mp3)), std::optional<WebUrl>(mp3));
    }

    void spotifyStationUsesTheOrigin() {
        QCOMPARE(spotifyStation().stream->url.text(), u"https://127.0.0.1:8443/spotify.mp3"_s);
        QCOMPARE(spotifyStation().streamKey(), std::optional<QString>(u"/spotify"_s));
        QCOMPARE(spotifyStation().artworkUrl->text(),
                 u"https://127.0.0.1:9443/images/radio/spotify.jpg"_s);
    }
};

QTEST_GUILESS_MAIN(CatalogOriginWithPortTest)
#include "test_catalog_origin_with_port.moc"
