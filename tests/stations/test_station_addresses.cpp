#include "platform/Deployment.h"
#include "stations/CatalogAddress.h"
#include "stations/Station.h"
#include "stations/UrlComponents.h"

#include <QRandomGenerator>
#include <QTest>

using namespace orvanta;
using namespace Qt::StringLiterals;

namespace {

// Table texts name the catalog server as {host} (or {HOST} in upper case).
QString onCatalog(QString text) {
    return text.replace(u"{host}"_s, Deployment::catalogHost())
        .replace(u"{HOST}"_s, Deployment::catalogHost().toUpper());
}

WebUrl url(const QString& text) {
    std::optional<WebUrl> parsed = WebUrl::parse(onCatalog(text));
    if (!parsed)
        qFatal("test URL does not parse: %s", qPrintable(text));
    return *parsed;
}

QString describe(const std::optional<QString>& part) {
    return part ? *part : QStringLiteral("~");
}

QString describe(const UrlComponents& c) {
    return QStringList{describe(c.scheme), describe(c.user),    describe(c.password),
                       describe(c.host),   describe(c.port),    c.path,
                       describe(c.query),  describe(c.fragment)}
        .join(u'|');
}

// "~" stands for none in the tables.
std::optional<QString> optionalText(const QString& text) {
    return text == u"~" ? std::nullopt : std::optional<QString>(onCatalog(text));
}

Station stationWithStream(const QString& id, const QString& streamUrl) {
    Station station;
    station.id = id;
    station.title = id;
    station.isVisible = true;
    station.isEnabled = true;
    station.stream = Station::Stream{url(streamUrl), QStringLiteral("audio/mpeg"), std::nullopt};
    return station;
}

}  // namespace

class StationAddressesTest : public QObject {
    Q_OBJECT

private slots:
    void componentsKeepTheWrittenForm_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>(
            "components");  // scheme|user|password|host|port|path|query|fragment
        QTest::newRow("encoded slash kept in lower case") << "https://h.example/a%2fb"
                                                          << "https|~|~|h.example|~|/a%2fb|~|~";
        QTest::newRow("nothing folded or decoded") << "HTTPS://Radio.Example:443/x?q=%41#f"
                                                   << "HTTPS|~|~|Radio.Example|443|/x|q=%41|f";
        QTest::newRow("credentials") << "https://user:pw@h/x"
                                     << "https|user|pw|h|~|/x|~|~";
        QTest::newRow("empty user") << "https://@h/x"
                                    << "https||~|h|~|/x|~|~";
        QTest::newRow("ip literal") << "https://[::1]:8443/x"
                                    << "https|~|~|[::1]|8443|/x|~|~";
        QTest::newRow("empty port") << "https://h:/x"
                                    << "https|~|~|h||/x|~|~";
        QTest::newRow("no path") << "https://h"
                                 << "https|~|~|h|~||~|~";
        QTest::newRow("empty host") << "https:///x"
                                    << "https|~|~||~|/x|~|~";
        QTest::newRow("empty fragment") << "https://h/x#"
                                        << "https|~|~|h|~|/x|~|";
        QTest::newRow("no authority") << "https:x"
                                      << "https|~|~|~|~|x|~|~";
        QTest::newRow("relative") << "/x?a"
                                  << "~|~|~|~|~|/x|a|~";
    }
    void componentsKeepTheWrittenForm() {
        QFETCH(QString, text);
        QFETCH(QString, components);
        const std::optional<UrlComponents> parsed = UrlComponents::parse(text);
        QVERIFY(parsed);
        QCOMPARE(describe(*parsed), components);
        QCOMPARE(parsed->text(), std::optional<QString>(text));
        QCOMPARE(WebUrl::parse(text)->text(), text);
    }

    void malformedTextIsNoUrl_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blank in path") << "https://h/a b";
        QTest::newRow("tab") << "https://h/a\tb";
        QTest::newRow("broken escape") << "https://h/%zz";
        QTest::newRow("cut escape") << "https://h/a%2";
        QTest::newRow("non-ascii") << "https://h/ü";
        QTest::newRow("letters in port") << "https://h:12a/x";
        QTest::newRow("six-digit port") << "https://h:123456/x";
        QTest::newRow("two at signs") << "https://a@b@h/x";
        QTest::newRow("open bracket") << "https://[::1/x";
        QTest::newRow("pipe") << "https://h/a|b";
        QTest::newRow("second hash") << "https://h/x#a#b";
        QTest::newRow("colon in first relative segment") << "1a:b";
    }
    void malformedTextIsNoUrl() {
        QFETCH(QString, text);
        QVERIFY(!UrlComponents::parse(text) || text.isEmpty());
        QVERIFY(!WebUrl::parse(text));
    }

    // Whatever parses must rebuild to exactly the text it came from, or the
    // address rules would silently change stored addresses.
    void parsedTextsRebuildExactly() {
        const QString alphabet = u"hs:/?#[]@%2fF.1-~é "_s;
        QRandomGenerator random(20240611);
        int parsed = 0;
        for (int round = 0; round < 20000; ++round) {
            QString text = random.bounded(2) ? u"https://"_s : QString();
            const int length = random.bounded(12);
            for (int i = 0; i < length; ++i)
                text += alphabet[random.bounded(alphabet.size())];
            const std::optional<UrlComponents> components = UrlComponents::parse(text);
            if (!components)
                continue;
            ++parsed;
            QCOMPARE(components->text(), std::optional<QString>(text));
        }
        QVERIFY(parsed > 1000);
    }

    void componentsThatCannotFormAUrlAreRefused() {
        UrlComponents components = *UrlComponents::parse(u"https://h/x");
        components.path = QStringLiteral("relative");
        QVERIFY(!components.text());
        components.path = QStringLiteral("/a b");
        QVERIFY(!components.text());
        components.path = QStringLiteral("/a?b");
        QVERIFY(!components.text());
    }

    void catalogPathOfAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "https://{host}/worship.mp3"
                               << "/worship.mp3";
        QTest::newRow("scheme and host in capitals") << "HTTPS://{HOST}/Worship"
                                                     << "/Worship";
        QTest::newRow("port 443") << "https://{host}:443/x"
                                  << "/x";
        QTest::newRow("empty port") << "https://{host}:/x"
                                    << "/x";
        QTest::newRow("encoding and query kept out") << "https://{host}/a%2fb?q=%41"
                                                     << "/a%2fb";
        QTest::newRow("empty path") << "https://{host}"
                                    << "";
        QTest::newRow("other port") << "https://{host}:8443/x"
                                    << "~";
        QTest::newRow("user") << "https://u@{host}/x"
                              << "~";
        QTest::newRow("user and password") << "https://u:p@{host}/x"
                                           << "~";
        QTest::newRow("fragment") << "https://{host}/x#f"
                                  << "~";
        QTest::newRow("empty fragment") << "https://{host}/x#"
                                        << "~";
        QTest::newRow("http") << "http://{host}/x"
                              << "~";
        QTest::newRow("other host") << "https://other.example/x"
                                    << "~";
        QTest::newRow("host as prefix") << "https://{host}.evil.example/x"
                                        << "~";
        QTest::newRow("relative") << "/worship"
                                  << "~";
    }
    void catalogPathOfAddresses() {
        QFETCH(QString, address);
        QFETCH(QString, path);
        QCOMPARE(catalogPath(url(address)), optionalText(path));
    }

    void canonicalStreamURLMapsTheMp3Addresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("worship") << "https://{host}/worship.mp3"
                                 << "https://{host}/worship";
        QTest::newRow("query kept") << "https://{host}/ukraine.mp3?x=%2f"
                                    << "https://{host}/ukraine?x=%2f";
        QTest::newRow("written form kept") << "HTTPS://{HOST}/lounge.mp3"
                                           << "HTTPS://{HOST}/lounge";
        QTest::newRow("spotify unchanged") << "https://{host}/spotify.mp3"
                                           << "https://{host}/spotify.mp3";
        QTest::newRow("case of path matters") << "https://{host}/Worship.mp3"
                                              << "https://{host}/Worship.mp3";
        QTest::newRow("plain unchanged") << "https://{host}/worship"
                                         << "https://{host}/worship";
        QTest::newRow("other host") << "https://other.example/worship.mp3"
                                    << "https://other.example/worship.mp3";
        QTest::newRow("other port") << "https://{host}:8443/worship.mp3"
                                    << "https://{host}:8443/worship.mp3";
    }
    void canonicalStreamURLMapsTheMp3Addresses() {
        QFETCH(QString, address);
        QFETCH(QString, canonical);
        QCOMPARE(canonicalStreamURL(url(address)).text(), onCatalog(canonical));
    }

    void mp3StreamURLOfAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("mp3");
        QTest::newRow("plain") << "https://{host}/worship"
                               << "https://{host}/worship.mp3";
        QTest::newRow("already mp3") << "https://{host}/ukraine.mp3"
                                     << "https://{host}/ukraine.mp3";
        QTest::newRow("query kept") << "https://{host}/lounge?a=1"
                                    << "https://{host}/lounge.mp3?a=1";
        QTest::newRow("spotify") << "https://{host}/spotify"
                                 << "~";
        QTest::newRow("other host") << "https://other.example/worship"
                                    << "~";
    }
    void mp3StreamURLOfAddresses() {
        QFETCH(QString, address);
        QFETCH(QString, mp3);
        const std::optional<WebUrl> result = mp3StreamURL(url(address));
        QCOMPARE(result ? std::optional<QString>(result->text()) : std::nullopt, optionalText(mp3));
    }

    void playableStations_data() {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("stream");  // "~": no stream
        QTest::addColumn<bool>("playable");
        QTest::newRow("https") << true << true << "https://s.example/live" << true;
        QTest::newRow("hidden") << false << true << "https://s.example/live" << false;
        QTest::newRow("disabled") << true << false << "https://s.example/live" << false;
        QTest::newRow("no stream") << true << true << "~" << false;
        QTest::newRow("scheme in capitals") << true << true << "HTTPS://s.example/live" << false;
        QTest::newRow("http") << true << true << "http://s.example/live" << false;
        QTest::newRow("empty host") << true << true << "https:///live" << false;
        QTest::newRow("no authority") << true << true << "https:live" << false;
    }
    void playableStations() {
        QFETCH(bool, visible);
        QFETCH(bool, enabled);
        QFETCH(QString, stream);
        QFETCH(bool, playable);
        Station station = stationWithStream(QStringLiteral("s"), QStringLiteral("https://x/y"));
        station.isVisible = visible;
        station.isEnabled = enabled;
        if (stream == u"~") {
            station.stream.reset();
        } else {
            station.stream->url = url(stream);
        }
        QCOMPARE(station.isPlayable(), playable);
    }

    void upperCaseSchemeStillHasACatalogPath() {
        const Station station = stationWithStream("s", "HTTPS://{host}/worship.mp3");
        QVERIFY(!station.isPlayable());
        QCOMPARE(station.streamKey(), std::optional<QString>(u"/worship"_s));
    }

    void streamKeys_data() {
        QTest::addColumn<QString>("stream");
        QTest::addColumn<QString>("key");
        QTest::newRow("mp3 form") << "https://{host}/worship.mp3"
                                  << "/worship";
        QTest::newRow("plain form") << "https://{host}/worship"
                                    << "/worship";
        QTest::newRow("spotify mp3") << "https://{host}/spotify.mp3"
                                     << "/spotify";
        QTest::newRow("spotify plain") << "https://{host}/spotify"
                                       << "/spotify";
        QTest::newRow("other path as written") << "https://{host}/a%2Fb"
                                               << "/a%2Fb";
        QTest::newRow("other port") << "https://{host}:8443/worship"
                                    << "~";
        QTest::newRow("credentials") << "https://u:p@{host}/worship"
                                     << "~";
        QTest::newRow("fragment") << "https://{host}/worship#x"
                                  << "~";
        QTest::newRow("other host") << "https://other.example/worship"
                                    << "~";
    }
    void streamKeys() {
        QFETCH(QString, stream);
        QFETCH(QString, key);
        QCOMPARE(stationWithStream("s", stream).streamKey(), optionalText(key));
    }

    void sameStreamOnlyOnTheCatalogServer() {
        const Station mp3 = stationWithStream("a", "https://{host}/worship.mp3");
        const Station plain = stationWithStream("b", "https://{host}/worship");
        QVERIFY(mp3.hasSameStream(plain));
        QVERIFY(plain.hasSameStream(mp3));
        QVERIFY(!mp3.hasSameStream(stationWithStream("c", "https://{host}/ukraine")));

        const Station outside = stationWithStream("personal:1", "https://s.example/live");
        QVERIFY(!outside.hasSameStream(stationWithStream("personal:2", "https://s.example/live")));
        QVERIFY(!outside.hasSameStream(outside));

        Station silent = mp3;
        silent.stream.reset();
        QVERIFY(!silent.hasSameStream(silent));
        QVERIFY(!silent.hasSameStream(mp3));
    }

    void displaySubtitles_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("shown");
        QTest::newRow("catalog with subtitle") << "jazz"
                                               << "Джаз"
                                               << "Джаз";
        QTest::newRow("catalog without") << "jazz"
                                         << "~"
                                         << "~";
        QTest::newRow("personal without") << "personal:A"
                                          << "~"
                                          << "Власна станція";
        QTest::newRow("personal with empty") << "personal:A"
                                             << ""
                                             << "";
        QTest::newRow("prefix is case-sensitive") << "Personal:A"
                                                  << "~"
                                                  << "~";
    }
    void displaySubtitles() {
        QFETCH(QString, id);
        QFETCH(QString, subtitle);
        QFETCH(QString, shown);
        Station station;
        station.id = id;
        station.subtitle = optionalText(subtitle);
        QCOMPARE(station.displaySubtitle(), optionalText(shown));
    }

    void spotifyStationIsOnTheCatalogServer() {
        const Station& spotify = spotifyStation();
        QCOMPARE(spotify.id, u"spotify"_s);
        QCOMPARE(spotify.title, u"Spotify"_s);
        QVERIFY(!spotify.subtitle && !spotify.shareUrl);
        QCOMPARE(spotify.sortOrder, 0);
        QVERIFY(spotify.isPlayable());
        QCOMPARE(spotify.stream->mimeType, u"audio/mpeg"_s);
        QVERIFY(!spotify.stream->bitrateKbps);
        QCOMPARE(catalogPath(spotify.stream->url), std::optional<QString>(u"/spotify.mp3"_s));
        QCOMPARE(spotify.streamKey(), std::optional<QString>(u"/spotify"_s));
        QCOMPARE(spotify.artworkUrl->toQUrl().path(), u"/images/radio/spotify.jpg"_s);
        QCOMPARE(spotify.artworkUrl->toQUrl().host(), Deployment::imageOrigin().host());
        QVERIFY(!spotify.isPersonal());
    }
};

QTEST_GUILESS_MAIN(StationAddressesTest)
#include "test_station_addresses.moc"
