#include "Await.h"
#include "ManualClock.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "stations/StationAPI.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

// The snapshot fetch against a real server: the catalog server's answer
// shapes, the wrong-station rule and the body bound.
class NowPlayingClientTest : public QObject {
    Q_OBJECT

private:
    NginxServer nginx_;
    ManualClock clock_{1000, QDateTime(QDate(2025, 1, 31), QTime(18, 4, 30), QTimeZone::utc())};

    Outcome<NowPlayingSnapshot> fetch(const QString& id) {
        StationAPI api(clock_, StationAPIConfiguration{nginx_.httpsUrl(""), std::nullopt, 5});
        auto task = api.nowPlaying(id);
        if (!waitFor(task))
            return Failure::url(UrlError::unknown, "gave up");
        return task.result();
    }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        installAdditionalTrust();
        NginxServer::Options options;
        options.tlsServerConfig = "location /api/ { default_type application/json; }";
        QVERIFY(nginx_.start(options));
        const QByteArray snapshot =
            "{\"stationId\":\"worship\",\"observedAt\":\"2025-01-31T18:04:00.500Z\","
            "\"expiresAt\":\"2025-01-31T20:05:30+02:00\",\"status\":\"current\","
            "\"track\":{\"title\":\"Обійми\",\"artist\":\"Океан Ельзи\"}}";
        QVERIFY(nginx_.writeFile("api/v1/stations/worship/now-playing", snapshot));
        QVERIFY(nginx_.writeFile("api/v1/stations/lounge/now-playing", snapshot));
        QByteArray huge = "{\"stationId\":\"big\",\"status\":\"current\",\"pad\":\"";
        huge += QByteArray(1'000'001, 'x') + "\"}";
        QVERIFY(nginx_.writeFile("api/v1/stations/big/now-playing", huge));
    }

    void aCurrentSnapshotGivesTheTrack() {
        auto result = fetch("worship");
        QVERIFY2(result.ok(), qPrintable(result.ok() ? "" : result.failure().describe()));
        QCOMPARE(result->stationId, QStringLiteral("worship"));
        const auto track = result->currentTrack(clock_.wallNow());
        QVERIFY(track.has_value());
        QCOMPARE(track->title, QStringLiteral("Обійми"));
    }

    void refusedAnswers_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<long>("code");
        QTest::newRow("another station's snapshot")
            << "lounge" << long(UrlError::cannotParseResponse);
        QTest::newRow("404") << "nobody" << long(UrlError::badServerResponse);
        QTest::newRow("body over the bound") << "big" << long(UrlError::badServerResponse);
    }
    void refusedAnswers() {
        QFETCH(QString, id);
        QFETCH(long, code);
        auto result = fetch(id);
        QVERIFY(result.failed());
        QCOMPARE(result.failure().code, code);
    }
};

QTEST_GUILESS_MAIN(NowPlayingClientTest)
#include "test_now_playing_client.moc"
