#include "nowplaying/APIJSON.h"
#include "nowplaying/NowPlayingRequest.h"
#include "nowplaying/NowPlayingSnapshot.h"
#include "nowplaying/OrvantaSpotifyMetadata.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace orvanta;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QDateTime>)

namespace {

const QDateTime now = QDateTime(QDate(2025, 1, 31), QTime(18, 4, 5), QTimeZone::utc());

QDateTime at(qint64 msFromNow) {
    return now.addMSecs(msFromNow);
}

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A snapshot of the shape the catalog server sends, with every field set.
QByteArray serverSnapshot() {
    return QByteArrayLiteral(
        "{\"stationId\":\"worship\",\"eventId\":\"ev-42\","
        "\"observedAt\":\"2025-01-31T18:04:00.500Z\",\"expiresAt\":\"2025-01-31T20:04:30+02:00\","
        "\"status\":\"current\",\"server\":\"ignored\","
        "\"track\":{\"title\":\"Обійми\",\"artist\":\"Океан Ельзи\","
        "\"artworkUrl\":\"https://images.example/cover.jpg\"},"
        "\"listeners\":{\"count\":120,\"status\":\"current\","
        "\"observedAt\":\"2025-01-31T18:04:01Z\",\"expiresAt\":\"2025-01-31T18:04:31Z\"}}");
}

NowPlayingSnapshot freshSnapshot(const QString& status, std::optional<qint64> observedMs,
                                 std::optional<qint64> expiresMs) {
    NowPlayingSnapshot snapshot;
    snapshot.stationId = u"worship"_s;
    snapshot.status = status;
    if (observedMs)
        snapshot.observedAt = at(*observedMs);
    if (expiresMs)
        snapshot.expiresAt = at(*expiresMs);
    snapshot.track =
        RadioTrack{u"Обійми"_s, u"Океан Ельзи"_s, std::nullopt, std::nullopt, std::nullopt};
    return snapshot;
}

QJsonObject liveSpotify() {
    return QJsonObject{{"track_id", "4uLU6hMCjMI75M1A2tKUQC"},
                       {"title", " Never Gonna Give You Up "},
                       {"artist", "Rick Astley"},
                       {"album", "Whenever You Need Somebody"},
                       {"artwork", "https://i.scdn.example/image/ab67"},
                       {"playback_state", "playing"},
                       {"playback_health", "ok"},
                       {"observation_fresh", true},
                       {"observed_at", static_cast<double>(now.toMSecsSinceEpoch()) / 1000.0}};
}

NowPlayingSnapshot spotifySnapshot(const QJsonObject& object) {
    const Outcome<OrvantaSpotifyMetadata> metadata = OrvantaSpotifyMetadata::fromJson(object);
    if (!metadata.ok())
        qFatal("fixture does not decode");
    return metadata->makeSnapshot(now);
}

HttpResponse httpStatus(int status) {
    HttpResponse response;
    response.isHTTP = true;
    response.status = status;
    return response;
}

}  // namespace

class NowPlayingTest : public QObject {
    Q_OBJECT

private slots:
    void rfc3339Dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QDateTime>>("expected");
        const auto utc = [](int h, int m, int s, int ms) {
            return std::optional(
                QDateTime(QDate(2025, 1, 31), QTime(h, m, s, ms), QTimeZone::utc()));
        };
        QTest::newRow("Z, whole seconds") << u"2025-01-31T18:04:05Z"_s << utc(18, 4, 5, 0);
        QTest::newRow("fraction and offset")
            << u"2025-01-31T18:04:05.123+03:00"_s << utc(15, 4, 5, 123);
        QTest::newRow("offset without fraction")
            << u"2025-01-31T18:04:05+02:00"_s << utc(16, 4, 5, 0);
        QTest::newRow("negative offset") << u"2025-01-31T10:34:05.25-07:30"_s << utc(18, 4, 5, 250);
        QTest::newRow("nanoseconds") << u"2025-01-31T18:04:05.123456789Z"_s << utc(18, 4, 5, 123);
        QTest::newRow("lower-case t and z") << u"2025-01-31t18:04:05z"_s << utc(18, 4, 5, 0);
        QTest::newRow("across midnight") << u"2025-02-01T01:04:05+07:00"_s << utc(18, 4, 5, 0);
        const std::optional<QDateTime> none;
        QTest::newRow("blank instead of T, no offset") << u"2025-01-31 18:04:05"_s << none;
        QTest::newRow("no offset") << u"2025-01-31T18:04:05"_s << none;
        QTest::newRow("date only") << u"2025-01-31"_s << none;
        QTest::newRow("offset without colon") << u"2025-01-31T18:04:05+0300"_s << none;
        QTest::newRow("empty fraction") << u"2025-01-31T18:04:05.Z"_s << none;
        QTest::newRow("30 February") << u"2025-02-30T18:04:05Z"_s << none;
        QTest::newRow("hour 24") << u"2025-01-31T24:00:00Z"_s << none;
        QTest::newRow("leap second") << u"2016-12-31T23:59:60Z"_s << none;
        QTest::newRow("offset hour 24") << u"2025-01-31T18:04:05+24:00"_s << none;
        QTest::newRow("trailing text") << u"2025-01-31T18:04:05Z "_s << none;
        QTest::newRow("seconds since 1970") << u"1738346645"_s << none;
        QTest::newRow("Arabic-Indic digits") << u"٢٠٢٥-01-31T18:04:05Z"_s << none;
        QTest::newRow("empty") << QString() << none;
    }
    void rfc3339Dates() {
        QFETCH(QString, text);
        QFETCH(std::optional<QDateTime>, expected);
        QCOMPARE(APIJSON::parseDate(text), expected);
    }

    void formattedDatesReadBack() {
        const QDateTime date = at(250);
        QCOMPARE(APIJSON::formatDate(date), u"2025-01-31T18:04:05.250Z"_s);
        QCOMPARE(APIJSON::parseDate(APIJSON::formatDate(date)), std::optional(date));
    }

    void snapshotDecodesEveryField() {
        const Outcome<NowPlayingSnapshot> decoded =
            APIJSON::decode<NowPlayingSnapshot>(serverSnapshot());
        QVERIFY(decoded.ok());
        const NowPlayingSnapshot& snapshot = decoded.value();
        QCOMPARE(snapshot.stationId, u"worship"_s);
        QCOMPARE(snapshot.eventId, std::optional(u"ev-42"_s));
        QCOMPARE(snapshot.observedAt, std::optional(at(-4500)));
        QCOMPARE(snapshot.expiresAt, std::optional(at(25000)));
        QCOMPARE(snapshot.status, u"current"_s);
        QCOMPARE(snapshot.track->artworkUrl,
                 std::optional(QUrl(u"https://images.example/cover.jpg"_s)));
        QCOMPARE(snapshot.listeners->count, std::optional<qint64>(120));
        QCOMPARE(snapshot.listeners->observedAt, std::optional(at(-4000)));
        QCOMPARE(APIJSON::decode<NowPlayingSnapshot>(json(snapshot.toJson())).value(), snapshot);
    }

    void snapshotReadsNullAsEmpty() {
        const Outcome<NowPlayingSnapshot> decoded = APIJSON::decode<NowPlayingSnapshot>(
            "{\"stationId\":\"s\",\"status\":\"unavailable\",\"eventId\":null,"
            "\"observedAt\":null,\"track\":null,\"listeners\":null}");
        QVERIFY(decoded.ok());
        NowPlayingSnapshot expected;
        expected.stationId = u"s"_s;
        expected.status = u"unavailable"_s;
        QCOMPARE(decoded.value(), expected);
    }

    void snapshotDecodingFailsWhole_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        const QString anyMessage;
        QTest::newRow("malformed") << QByteArray("{\"stationId\":") << anyMessage;
        QTest::newRow("not an object") << QByteArray("[]") << anyMessage;
        QTest::newRow("no stationId")
            << QByteArray("{\"status\":\"current\"}") << u"Missing key \"stationId\""_s;
        QTest::newRow("no status")
            << QByteArray("{\"stationId\":\"s\"}") << u"Missing key \"status\""_s;
        QTest::newRow("null status")
            << QByteArray("{\"stationId\":\"s\",\"status\":null}") << anyMessage;
        QTest::newRow("listeners without status")
            << QByteArray(
                   "{\"stationId\":\"s\",\"status\":\"current\",\"listeners\":{\"count\":1}}")
            << u"Missing key \"status\""_s;
        QTest::newRow("count as text")
            << QByteArray(
                   "{\"stationId\":\"s\",\"status\":\"current\","
                   "\"listeners\":{\"count\":\"5\",\"status\":\"current\"}}")
            << anyMessage;
        QTest::newRow("fractional count")
            << QByteArray(
                   "{\"stationId\":\"s\",\"status\":\"current\","
                   "\"listeners\":{\"count\":5.5,\"status\":\"current\"}}")
            << anyMessage;
        QTest::newRow("count beyond 64 bits")
            << QByteArray(
                   "{\"stationId\":\"s\",\"status\":\"current\","
                   "\"listeners\":{\"count\":9223372036854775808,\"status\":\"current\"}}")
            << anyMessage;
        QTest::newRow("track as text")
            << QByteArray("{\"stationId\":\"s\",\"status\":\"current\",\"track\":\"T\"}")
            << anyMessage;
        QTest::newRow("date without T") << QByteArray(
                                               "{\"stationId\":\"s\",\"status\":\"current\","
                                               "\"observedAt\":\"2025-01-31 18:04:05\"}")
                                        << u"Expected RFC 3339 date"_s;
        QTest::newRow("listener date as a number")
            << QByteArray(
                   "{\"stationId\":\"s\",\"status\":\"current\","
                   "\"listeners\":{\"status\":\"current\",\"expiresAt\":1738346645}}")
            << anyMessage;
        QTest::newRow("bad listener date")
            << QByteArray(
                   "{\"stationId\":\"s\",\"status\":\"current\","
                   "\"listeners\":{\"status\":\"current\",\"expiresAt\":\"tomorrow\"}}")
            << u"Expected RFC 3339 date"_s;
    }
    void snapshotDecodingFailsWhole() {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        const Outcome<NowPlayingSnapshot> decoded = APIJSON::decode<NowPlayingSnapshot>(body);
        QVERIFY(decoded.failed());
        QCOMPARE(decoded.failure().domain, ErrorDomain::decoding);
        if (!message.isEmpty())
            QCOMPARE(decoded.failure().message, message);
    }

    void currentTrack_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<std::optional<qint64>>("observedMs");
        QTest::addColumn<std::optional<qint64>>("expiresMs");
        QTest::addColumn<bool>("current");
        using Ms = std::optional<qint64>;
        QTest::newRow("observed 59.9 s ago") << u"current"_s << Ms(-59900) << Ms(1000) << true;
        QTest::newRow("observed exactly 60 s ago")
            << u"current"_s << Ms(-60000) << Ms(1000) << false;
        QTest::newRow("expires now") << u"current"_s << Ms(-1000) << Ms(0) << false;
        QTest::newRow("expires 1 ms from now") << u"current"_s << Ms(-1000) << Ms(1) << true;
        QTest::newRow("observed in the future") << u"current"_s << Ms(10000) << Ms(40000) << true;
        QTest::newRow("no expiry") << u"current"_s << Ms(-1000) << Ms() << false;
        QTest::newRow("no observation") << u"current"_s << Ms() << Ms(1000) << false;
        QTest::newRow("status with capital C") << u"Current"_s << Ms(-1000) << Ms(1000) << false;
        QTest::newRow("unavailable") << u"unavailable"_s << Ms(-1000) << Ms(1000) << false;
    }
    void currentTrack() {
        QFETCH(QString, status);
        QFETCH(std::optional<qint64>, observedMs);
        QFETCH(std::optional<qint64>, expiresMs);
        QFETCH(bool, current);
        const NowPlayingSnapshot snapshot = freshSnapshot(status, observedMs, expiresMs);
        QCOMPARE(snapshot.currentTrack(now), current ? snapshot.track : std::nullopt);
    }

    void currentTrackMayBeEmpty() {
        NowPlayingSnapshot snapshot = freshSnapshot(u"current"_s, -1000, 1000);
        snapshot.track.reset();
        QCOMPARE(snapshot.currentTrack(now), std::nullopt);
    }

    void currentListenerCount_data() {
        QTest::addColumn<QString>("snapshotStatus");
        QTest::addColumn<QString>("listenerStatus");
        QTest::addColumn<std::optional<qint64>>("count");
        QTest::addColumn<std::optional<qint64>>("observedMs");
        QTest::addColumn<std::optional<qint64>>("expiresMs");
        QTest::addColumn<std::optional<qint64>>("expected");
        using N = std::optional<qint64>;
        const QString current = u"current"_s;
        QTest::newRow("fresh") << current << current << N(120) << N(-1000) << N(1000) << N(120);
        QTest::newRow("zero listeners")
            << current << current << N(0) << N(-1000) << N(1000) << N(0);
        QTest::newRow("negative count")
            << current << current << N(-1) << N(-1000) << N(1000) << N();
        QTest::newRow("no count") << current << current << N() << N(-1000) << N(1000) << N();
        QTest::newRow("snapshot unavailable, listeners current")
            << u"unavailable"_s << current << N(7) << N(-1000) << N(1000) << N(7);
        QTest::newRow("listeners unavailable")
            << current << u"unavailable"_s << N(7) << N(-1000) << N(1000) << N();
        QTest::newRow("listeners observed 60 s ago")
            << current << current << N(7) << N(-60000) << N(1000) << N();
        QTest::newRow("listeners expired") << current << current << N(7) << N(-1000) << N(0) << N();
        QTest::newRow("listeners without dates") << current << current << N(7) << N() << N() << N();
    }
    void currentListenerCount() {
        QFETCH(QString, snapshotStatus);
        QFETCH(QString, listenerStatus);
        QFETCH(std::optional<qint64>, count);
        QFETCH(std::optional<qint64>, observedMs);
        QFETCH(std::optional<qint64>, expiresMs);
        QFETCH(std::optional<qint64>, expected);
        // The snapshot's own dates are stale: only the block's dates count.
        NowPlayingSnapshot snapshot = freshSnapshot(snapshotStatus, -600000, -500000);
        Listeners listeners;
        listeners.status = listenerStatus;
        listeners.count = count;
        if (observedMs)
            listeners.observedAt = at(*observedMs);
        if (expiresMs)
            listeners.expiresAt = at(*expiresMs);
        snapshot.listeners = listeners;
        QCOMPARE(snapshot.currentListenerCount(now), expected);
    }

    void noListenerBlockNoCount() {
        QCOMPARE(freshSnapshot(u"current"_s, -1000, 1000).currentListenerCount(now), std::nullopt);
    }

    void spotifyLiveness_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("health");
        QTest::addColumn<QJsonValue>("fresh");
        QTest::addColumn<qint64>("ageMs");
        QTest::addColumn<bool>("live");
        const QJsonValue yes(true);
        QTest::newRow("playing") << u"playing"_s << u"ok"_s << yes << qint64(0) << true;
        QTest::newRow("unknown while recording, 4 s ahead")
            << u"unknown"_s << u"recording"_s << yes << qint64(-4000) << true;
        QTest::newRow("5 s ahead") << u"playing"_s << u"ok"_s << yes << qint64(-5000) << true;
        QTest::newRow("6 s ahead")
            << u"unknown"_s << u"recording"_s << yes << qint64(-6000) << false;
        QTest::newRow("age 29.999 s") << u"playing"_s << u"ok"_s << yes << qint64(29999) << true;
        QTest::newRow("age exactly 30 s")
            << u"unknown"_s << u"recording"_s << yes << qint64(30000) << false;
        QTest::newRow("unknown, not recording")
            << u"unknown"_s << u"stalled"_s << yes << qint64(0) << false;
        QTest::newRow("health with capital R")
            << u"unknown"_s << u"Recording"_s << yes << qint64(0) << false;
        QTest::newRow("paused while recording")
            << u"paused"_s << u"recording"_s << yes << qint64(0) << false;
        QTest::newRow("state with capital P")
            << u"Playing"_s << u"ok"_s << yes << qint64(0) << false;
        QTest::newRow("not fresh")
            << u"playing"_s << u"ok"_s << QJsonValue(false) << qint64(0) << false;
        QTest::newRow("freshness unknown")
            << u"playing"_s << u"ok"_s << QJsonValue() << qint64(0) << false;
    }
    void spotifyLiveness() {
        QFETCH(QString, state);
        QFETCH(QString, health);
        QFETCH(QJsonValue, fresh);
        QFETCH(qint64, ageMs);
        QFETCH(bool, live);
        QJsonObject object = liveSpotify();
        object.insert("playback_state"_L1, state);
        object.insert("playback_health"_L1, health);
        object.insert("observation_fresh"_L1, fresh);
        object.insert("observed_at"_L1, static_cast<double>(at(-ageMs).toMSecsSinceEpoch()) / 1000);
        const NowPlayingSnapshot snapshot = spotifySnapshot(object);
        QCOMPARE(snapshot.status, live ? u"current"_s : u"unavailable"_s);
        QCOMPARE(snapshot.track.has_value(), live);
        QCOMPARE(snapshot.observedAt, std::optional(at(-ageMs)));
        QCOMPARE(snapshot.expiresAt, std::optional(at(-ageMs + 30000)));
    }

    void spotifySnapshotCarriesTheRecordAsReceived() {
        const NowPlayingSnapshot snapshot = spotifySnapshot(liveSpotify());
        QCOMPARE(snapshot.stationId, u"spotify"_s);
        QCOMPARE(snapshot.eventId, std::optional(u"4uLU6hMCjMI75M1A2tKUQC"_s));
        QCOMPARE(snapshot.listeners, std::nullopt);
        const RadioTrack expected{u" Never Gonna Give You Up "_s, u"Rick Astley"_s,
                                  u"Whenever You Need Somebody"_s,
                                  QUrl(u"https://i.scdn.example/image/ab67"_s), std::nullopt};
        QCOMPARE(snapshot.track, std::optional(expected));
        QCOMPARE(snapshot.currentTrack(now), std::optional(expected));
    }

    void spotifyArtworkMustBeAPlainHttpsAddress_data() {
        QTest::addColumn<QJsonValue>("artwork");
        QTest::addColumn<bool>("kept");
        QTest::newRow("https") << QJsonValue("https://i.example/a.jpg") << true;
        QTest::newRow("http") << QJsonValue("http://i.example/a.jpg") << false;
        QTest::newRow("user name") << QJsonValue("https://user@i.example/a.jpg") << false;
        QTest::newRow("password") << QJsonValue("https://:pw@i.example/a.jpg") << false;
        QTest::newRow("upper-case scheme") << QJsonValue("HTTPS://i.example/a.jpg") << false;
        QTest::newRow("no host") << QJsonValue("https:///a.jpg") << false;
        QTest::newRow("relative") << QJsonValue("/a.jpg") << false;
        QTest::newRow("absent") << QJsonValue() << false;
    }
    void spotifyArtworkMustBeAPlainHttpsAddress() {
        QFETCH(QJsonValue, artwork);
        QFETCH(bool, kept);
        QJsonObject object = liveSpotify();
        object.insert("artwork"_L1, artwork);
        const NowPlayingSnapshot snapshot = spotifySnapshot(object);
        QVERIFY(snapshot.track);
        QCOMPARE(snapshot.track->artworkUrl.has_value(), kept);
    }

    void spotifyLiveWithoutUsableTitleHasNoTrack_data() {
        QTest::addColumn<QJsonValue>("title");
        QTest::newRow("blank") << QJsonValue("   ");
        QTest::newRow("absent") << QJsonValue();
    }
    void spotifyLiveWithoutUsableTitleHasNoTrack() {
        QFETCH(QJsonValue, title);
        QJsonObject object = liveSpotify();
        object.insert("title"_L1, title);
        const NowPlayingSnapshot snapshot = spotifySnapshot(object);
        QCOMPARE(snapshot.status, u"current"_s);
        QCOMPARE(snapshot.track, std::nullopt);
    }

    void spotifyEmptyRecordIsUnavailable() {
        const NowPlayingSnapshot snapshot = spotifySnapshot(QJsonObject());
        QCOMPARE(snapshot.status, u"unavailable"_s);
        QCOMPARE(snapshot.observedAt, std::nullopt);
        QCOMPARE(snapshot.expiresAt, std::nullopt);
        QCOMPARE(snapshot.eventId, std::nullopt);
    }

    void spotifyDecodingFailsOnWrongTypes_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("freshness as text") << QByteArray("{\"observation_fresh\":\"true\"}");
        QTest::newRow("freshness as number") << QByteArray("{\"observation_fresh\":1}");
        QTest::newRow("time as text") << QByteArray("{\"observed_at\":\"1738346645\"}");
        QTest::newRow("time beyond any date") << QByteArray("{\"observed_at\":1e300}");
        QTest::newRow("title as number") << QByteArray("{\"title\":1}");
    }
    void spotifyDecodingFailsOnWrongTypes() {
        QFETCH(QByteArray, body);
        const Outcome<OrvantaSpotifyMetadata> decoded =
            APIJSON::decode<OrvantaSpotifyMetadata>(body);
        QVERIFY(decoded.failed());
        QCOMPARE(decoded.failure().domain, ErrorDomain::decoding);
    }

    void requestAddresses_data() {
        QTest::addColumn<QString>("stationId");
        QTest::addColumn<QString>("url");
        QTest::newRow("Spotify") << u"spotify"_s
                                 << u"https://radio.example:8443/api/spotify/now-playing"_s;
        QTest::newRow("catalog station")
            << u"worship"_s << u"https://radio.example:8443/api/v1/stations/worship/now-playing"_s;
        QTest::newRow("personal station keeps its colon")
            << u"personal:0E984725-C51C-4BF4-9960-E1C80E27ABA0"_s
            << u"https://radio.example:8443/api/v1/stations/"
               u"personal:0E984725-C51C-4BF4-9960-E1C80E27ABA0/now-playing"_s;
        QTest::newRow("slash and query signs are escaped")
            << u"a/b?c#d"_s
            << u"https://radio.example:8443/api/v1/stations/a%2Fb%3Fc%23d/now-playing"_s;
        QTest::newRow("Cyrillic and blank")
            << u"Львів 1"_s
            << u"https://radio.example:8443/api/v1/stations/%D0%9B%D1%8C%D0%B2%D1%96%D0%B2%201/now-playing"_s;
        QTest::newRow("Spotify in upper case is an ordinary id")
            << u"Spotify"_s << u"https://radio.example:8443/api/v1/stations/Spotify/now-playing"_s;
    }
    void requestAddresses() {
        QFETCH(QString, stationId);
        QFETCH(QString, url);
        const QUrl origin(u"https://radio.example:8443"_s);
        const Outcome<QUrl> built = nowPlayingRequestURL(stationId, origin);
        QVERIFY(built.ok());
        QCOMPARE(built->toString(QUrl::FullyEncoded), url);
        const Outcome<HttpRequest> request = nowPlayingRequest(stationId, origin);
        QVERIFY(request.ok());
        QCOMPARE(request->url, built.value());
        QCOMPARE(request->timeout, 10.0);
        QCOMPARE(request->cachePolicy, CachePolicy::reloadIgnoringCache);
    }

    void idsThatAreNoPathComponentAreRefused_data() {
        QTest::addColumn<QString>("stationId");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << u"."_s;
        QTest::newRow("dot dot") << u".."_s;
    }
    void idsThatAreNoPathComponentAreRefused() {
        QFETCH(QString, stationId);
        const Outcome<HttpRequest> request =
            nowPlayingRequest(stationId, QUrl(u"https://r.example"_s));
        QVERIFY(request.failed());
        QVERIFY(request.failure().isUrl(UrlError::badURL));
    }

    void answersOtherThanHttp200AreRefused_data() {
        QTest::addColumn<bool>("isHTTP");
        QTest::addColumn<int>("status");
        QTest::newRow("not found") << true << 404;
        QTest::newRow("no content") << true << 204;
        QTest::newRow("server error") << true << 503;
        QTest::newRow("not HTTP") << false << 200;
    }
    void answersOtherThanHttp200AreRefused() {
        QFETCH(bool, isHTTP);
        QFETCH(int, status);
        HttpResponse response = httpStatus(status);
        response.isHTTP = isHTTP;
        const Outcome<NowPlayingSnapshot> decoded =
            decodeNowPlayingResponse(response, serverSnapshot(), u"worship"_s, now);
        QVERIFY(decoded.failed());
        QVERIFY(decoded.failure().isUrl(UrlError::badServerResponse));
    }

    void bodySizeIsBounded() {
        QByteArray body = serverSnapshot();
        body.append(QByteArray(nowPlayingMaximumBodyBytes - body.size(), ' '));
        QVERIFY(decodeNowPlayingResponse(httpStatus(200), body, u"worship"_s, now).ok());
        body.append(' ');
        const Outcome<NowPlayingSnapshot> tooLong =
            decodeNowPlayingResponse(httpStatus(200), body, u"worship"_s, now);
        QVERIFY(tooLong.failed());
        QVERIFY(tooLong.failure().isUrl(UrlError::badServerResponse));
    }

    void answerForAnotherStationIsRefused() {
        const Outcome<NowPlayingSnapshot> decoded =
            decodeNowPlayingResponse(httpStatus(200), serverSnapshot(), u"ukraine"_s, now);
        QVERIFY(decoded.failed());
        QVERIFY(decoded.failure().isUrl(UrlError::cannotParseResponse));
    }

    void answerDecodingErrorsPassUnchanged() {
        const Outcome<NowPlayingSnapshot> decoded = decodeNowPlayingResponse(
            httpStatus(200),
            "{\"stationId\":\"worship\",\"status\":\"current\",\"expiresAt\":\"soon\"}",
            u"worship"_s, now);
        QVERIFY(decoded.failed());
        QCOMPARE(decoded.failure(), Failure::decoding(u"Expected RFC 3339 date"_s));
    }

    void catalogAnswerIsTheDecodedSnapshot() {
        const Outcome<NowPlayingSnapshot> decoded =
            decodeNowPlayingResponse(httpStatus(200), serverSnapshot(), u"worship"_s, now);
        QVERIFY(decoded.ok());
        QCOMPARE(decoded.value(), APIJSON::decode<NowPlayingSnapshot>(serverSnapshot()).value());
        QCOMPARE(decoded->currentTrack(now)->title, std::optional(u"Обійми"_s));
        QCOMPARE(decoded->currentListenerCount(now), std::optional<qint64>(120));
    }

    void spotifyAnswerIsConvertedAtNow() {
        const Outcome<NowPlayingSnapshot> decoded =
            decodeNowPlayingResponse(httpStatus(200), json(liveSpotify()), u"spotify"_s, now);
        QVERIFY(decoded.ok());
        QCOMPARE(decoded.value(), spotifySnapshot(liveSpotify()));
        QCOMPARE(decoded->status, u"current"_s);
        const Outcome<NowPlayingSnapshot> later =
            decodeNowPlayingResponse(httpStatus(200), json(liveSpotify()), u"spotify"_s, at(30000));
        QCOMPARE(later->status, u"unavailable"_s);
        const Outcome<NowPlayingSnapshot> malformed =
            decodeNowPlayingResponse(httpStatus(200), "{", u"spotify"_s, now);
        QCOMPARE(malformed.failure().domain, ErrorDomain::decoding);
    }
};

QTEST_GUILESS_MAIN(NowPlayingTest)
#include "test_now_playing.moc"
