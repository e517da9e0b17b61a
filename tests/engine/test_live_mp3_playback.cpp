#include "IcecastServer.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "engine/LiveMP3Playback.h"
#include "platform/HttpSession.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

namespace {

// What the player reported, gathered from its thread.
struct Recorder {
    QMutex mutex;
    QStringList events;
    // What the player had played when each title was reported.
    QHash<QString, double> titlePlayed;
    std::function<double()> played;
    QElapsedTimer clock;

    Recorder() { clock.start(); }
    LiveMP3Playback::Callbacks callbacks() {
        return {[this] { add("playing"); },
                [this](const QString& title) {
                    QMutexLocker lock(&mutex);
                    events << "title " + title;
                    titlePlayed.insert(title, played ? played() : -1.0);
                },
                [this] { add("failed"); }};
    }
    double playedAtTitle(const QString& title) {
        QMutexLocker lock(&mutex);
        return titlePlayed.value(title, -1.0);
    }
    void add(const QString& event) {
        QMutexLocker lock(&mutex);
        events << event;
    }
    QStringList snapshot() {
        QMutexLocker lock(&mutex);
        return events;
    }
    bool has(const QString& event) { return snapshot().contains(event); }
};

}  // namespace

class LiveMP3PlaybackTest : public QObject {
    Q_OBJECT

private:
    IcecastServer icecast_;
    NginxServer nginx_;

private slots:
    void initTestCase() {
        qputenv("ORVANTA_AUDIO_SINK", "fakesink sync=true");
        TestCertificates::instance();
        installAdditionalTrust();
        QVERIFY(icecast_.start("/worship.mp3"));
        NginxServer::Options options;
        options.tlsServerConfig = QStringLiteral(R"(
            location /chunked/ {
                proxy_pass http://127.0.0.1:%1/;
                proxy_buffering off;
            }
            location /closed/ {
                proxy_pass http://127.0.0.1:%1/;
                proxy_buffering off;
                chunked_transfer_encoding off;
            }
            location /nometa/ {
                proxy_pass http://127.0.0.1:%1/;
                proxy_buffering off;
                proxy_set_header Icy-MetaData "";
            }
            location = /aacp { default_type audio/aacp; return 200 "not mp3"; }
            location = /to-plain { return 302 http://127.0.0.1:{{PLAIN_PORT}}/tone.mp3; }
            location = /tone.mp3 { types { } default_type audio/mpeg; }
        )")
                                      .arg(icecast_.port());
        QVERIFY(nginx_.start(options));
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "sine=frequency=330:sample_rate=44100:duration=1.5", "-c:a",
                                "libmp3lame", "-b:a", "128k", nginx_.root() + "/tone.mp3"});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
    }

    void playsAndReportsTitlesAfterTheirAudio_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("chunked body") << "/chunked/worship.mp3";
        QTest::newRow("close-delimited body") << "/closed/worship.mp3";
    }
    void playsAndReportsTitlesAfterTheirAudio() {
        QFETCH(QString, path);
        Recorder recorder;
        auto spectrum = std::make_shared<AudioSpectrumBuffer>();
        spectrum->setAnalysisActive(true);
        LiveMP3Playback player(nginx_.httpsUrl(path), spectrum, recorder.callbacks());
        recorder.played = [&player] { return player.playedSeconds(); };
        player.startLive(0.5f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("playing"), 10000);
        QVERIFY(player.playedSeconds() > 0);
        // What was heard was analysed: the 440 Hz tone shows in the bars.
        QTRY_VERIFY_WITH_TIMEOUT(spectrum->displayFrame(Clock::system().now()).has_value(), 3000);

        // Everything received so far lies before the new title in the stream.
        const double receivedBeforeTitle = player.playedSeconds() + player.queuedSeconds();
        QVERIFY(player.queuedSeconds() > 0.08);
        const QString firstTitle = "Океан Ельзи - Обійми " + path;
        QVERIFY(icecast_.setTitle(firstTitle));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("title Океан Ельзи - Обійми " + path), 15000);
        QVERIFY(icecast_.setTitle("Artist B - Second " + path));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("title Artist B - Second " + path), 15000);

        const QStringList events = recorder.snapshot();
        QCOMPARE(events.count("playing"), 1);
        QVERIFY(!events.contains("failed"));
        QVERIFY(events.indexOf("title Океан Ельзи - Обійми " + path) <
                events.indexOf("title Artist B - Second " + path));
        // The title is reported only once the audio received before it has
        // been heard, not when it arrives.
        QVERIFY2(recorder.playedAtTitle(firstTitle) >= receivedBeforeTitle - 1e-6,
                 qPrintable(QStringLiteral("reported at %1 s played, audio before it: %2 s")
                                .arg(recorder.playedAtTitle(firstTitle))
                                .arg(receivedBeforeTitle)));

        const double before = player.playedSeconds();
        player.stopLive();
        const int count = recorder.snapshot().size();
        QTest::qWait(300);
        QCOMPARE(recorder.snapshot().size(), count);
        QCOMPARE(player.playedSeconds(), before);
    }

    void refusedResponsesFailAtOnce_data() {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("audio/aacp") << nginx_.httpsUrl("/aacp");
        QTest::newRow("redirect to plain http") << nginx_.httpsUrl("/to-plain");
        QTest::newRow("404") << nginx_.httpsUrl("/chunked/missing.mp3");
        QTest::newRow("plain http address") << nginx_.httpUrl("/tone.mp3");
    }
    void refusedResponsesFailAtOnce() {
        QFETCH(QUrl, url);
        Recorder recorder;
        LiveMP3Playback player(url, nullptr, recorder.callbacks());
        player.startLive(1.0f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("failed"), 5000);
        QCOMPARE(recorder.snapshot(), QStringList{"failed"});
    }

    void aStreamWithoutMetadataPlays() {
        Recorder recorder;
        LiveMP3Playback player(nginx_.httpsUrl("/nometa/worship.mp3"), nullptr,
                               recorder.callbacks());
        player.startLive(1.0f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("playing"), 10000);
        QTest::qWait(500);
        QCOMPARE(recorder.snapshot(), QStringList{"playing"});
    }

    void theEndOfTheTransferFailsTheStream() {
        // A whole file arrives and ends long before it could be heard.
        Recorder recorder;
        LiveMP3Playback player(nginx_.httpsUrl("/tone.mp3"), nullptr, recorder.callbacks());
        player.startLive(1.0f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("failed"), 10000);
        QTest::qWait(300);
        QCOMPARE(recorder.snapshot(), QStringList{"failed"});
    }

    void theSourceStoppingFailsTheStream() {
        Recorder recorder;
        LiveMP3Playback player(nginx_.httpsUrl("/closed/worship.mp3"), nullptr,
                               recorder.callbacks());
        player.startLive(1.0f);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("playing"), 10000);
        icecast_.stopSource();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("failed"), 15000);
        QCOMPARE(recorder.snapshot().count("failed"), 1);
        QVERIFY(icecast_.startSource());
    }
};

QTEST_GUILESS_MAIN(LiveMP3PlaybackTest)
#include "test_live_mp3_playback.moc"
