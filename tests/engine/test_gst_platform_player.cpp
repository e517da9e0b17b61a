#include "IcecastServer.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "engine/GstPlatformPlayer.h"
#include "platform/Clock.h"
#include "platform/HttpSession.h"

#include <QProcess>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using TimeControl = PlatformPlayer::TimeControl;

namespace {

// Everything the player reported.
struct Reports {
    QList<TimeControl> controls;
    QList<Failure> failures;
    int ends = 0;
    QList<double> positions;
    QList<QList<TimedMetadataItem>> groups;

    PlatformPlayer::Callbacks callbacks() {
        return {[this](TimeControl control) { controls << control; },
                [this](const Failure& failure) { failures << failure; }, [this] { ++ends; },
                [this](double position) { positions << position; },
                [this](const QList<TimedMetadataItem>& items, double) { groups << items; }};
    }
    bool hasTitle(const QString& identifier, const QString& value) const {
        for (const auto& group : groups) {
            for (const auto& item : group) {
                if (item.identifier == identifier && item.value == value)
                    return true;
            }
        }
        return false;
    }
};

}  // namespace

class GstPlatformPlayerTest : public QObject {
    Q_OBJECT

private:
    IcecastServer icecast_;
    NginxServer nginx_;

private slots:
    void initTestCase() {
        qputenv("ORVANTA_AUDIO_SINK", "fakesink sync=true");
        TestCertificates::instance();
        installAdditionalTrust();
        QVERIFY(icecast_.start("/radio.mp3"));
        NginxServer::Options options;
        options.tlsServerConfig = QStringLiteral(R"(
            location /live/ { proxy_pass http://127.0.0.1:%1/; proxy_buffering off; }
            location /hls/ { types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; } }
        )")
                                      .arg(icecast_.port());
        QVERIFY(nginx_.start(options));
        QDir().mkpath(nginx_.root() + "/hls");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-hide_banner",
                                "-loglevel",
                                "error",
                                "-y",
                                "-f",
                                "lavfi",
                                "-i",
                                "sine=frequency=660:duration=4",
                                "-c:a",
                                "aac",
                                "-b:a",
                                "64k",
                                "-metadata",
                                "title=HLS Song",
                                "-f",
                                "hls",
                                "-hls_time",
                                "1",
                                "-hls_list_size",
                                "0",
                                "-hls_playlist_type",
                                "vod",
                                nginx_.root() + "/hls/index.m3u8"});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
    }

    void playsAnIcyStreamOverTlsWithTitlesAndSpectrum() {
        Reports reports;
        GstPlatformPlayer player;
        QVERIFY(player.isReady());
        player.setCallbacks(reports.callbacks());
        auto spectrum = std::make_shared<AudioSpectrumBuffer>();
        spectrum->setAnalysisActive(true);
        QVERIFY(player.installSpectrumTap(spectrum));
        player.attach(nginx_.httpsUrl("/live/radio.mp3"));
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(reports.controls.contains(TimeControl::playing), 10000);
        QCOMPARE(reports.controls.first(), TimeControl::waiting);
        QVERIFY(icecast_.setTitle("Гурт - Пісня"));
        QTRY_VERIFY_WITH_TIMEOUT(reports.hasTitle("icy/streamtitle", "Гурт - Пісня"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(reports.positions.size() >= 2, 5000);
        QVERIFY(reports.positions.last() > reports.positions.first());
        QTRY_VERIFY_WITH_TIMEOUT(spectrum->displayFrame(Clock::system().now()).has_value(), 5000);
        QVERIFY(reports.failures.isEmpty());
        player.clear();
        QCOMPARE(player.timeControl(), TimeControl::paused);
    }

    void theSourceStoppingEndsTheItem() {
        Reports reports;
        GstPlatformPlayer player;
        player.setCallbacks(reports.callbacks());
        player.attach(nginx_.httpsUrl("/live/radio.mp3"));
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(reports.controls.contains(TimeControl::playing), 10000);
        icecast_.stopSource();
        QTRY_VERIFY_WITH_TIMEOUT(reports.ends + reports.failures.size() > 0, 20000);
        QVERIFY(icecast_.startSource());
    }

    void untrustedCertificateFailsTheItemWithATlsCode() {
        NginxServer rogue;
        NginxServer::Options options;
        options.untrustedCertificate = true;
        options.tlsServerConfig =
            QStringLiteral("location /live/ { proxy_pass http://127.0.0.1:%1/; }")
                .arg(icecast_.port());
        QVERIFY(rogue.start(options));
        Reports reports;
        GstPlatformPlayer player;
        player.setCallbacks(reports.callbacks());
        player.attach(rogue.httpsUrl("/live/radio.mp3"));
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(!reports.failures.isEmpty(), 10000);
        QVERIFY2(reports.failures.first().isTLSFailure(),
                 qPrintable(reports.failures.first().describe()));
    }

    void playsHls() {
        Reports reports;
        GstPlatformPlayer player;
        player.setCallbacks(reports.callbacks());
        player.attach(nginx_.httpsUrl("/hls/index.m3u8"));
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(reports.controls.contains(TimeControl::playing), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(reports.ends == 1, 15000);
        QVERIFY2(reports.failures.isEmpty(),
                 qPrintable(reports.failures.isEmpty() ? "" : reports.failures.first().describe()));
    }

    void aMissingAddressFailsTheItem() {
        Reports reports;
        GstPlatformPlayer player;
        player.setCallbacks(reports.callbacks());
        player.attach(nginx_.httpsUrl("/nothing-here.mp3"));
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(!reports.failures.isEmpty(), 10000);
        QVERIFY(!reports.failures.first().isTLSFailure());
    }
};

QTEST_GUILESS_MAIN(GstPlatformPlayerTest)
#include "test_gst_platform_player.moc"
