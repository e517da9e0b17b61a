#include "ManualClock.h"
#include "SilentUpstream.h"
#include "TestServer.h"
#include "engine/RadioPlaybackEngine.h"
#include "platform/Deployment.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace orvanta;
using orvanta::test::ManualClock;
using TimeControl = PlatformPlayer::TimeControl;

namespace {

// A platform player the test drives by hand.
class FakePlayer final : public PlatformPlayer {
public:
    explicit FakePlayer(QStringList* log) : log_(log) {}
    void setCallbacks(Callbacks callbacks) override { callbacks_ = std::move(callbacks); }
    void attach(const QUrl& url) override { *log_ << "attach " + url.toString(); }
    void play() override { *log_ << "play"; }
    void clear() override {
        *log_ << "clear";
        control_ = TimeControl::paused;
    }
    TimeControl timeControl() const override { return control_; }
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    bool isMuted() const override { return muted_; }
    void setMuted(bool muted) override { muted_ = muted; }
    bool installSpectrumTap(std::shared_ptr<AudioSpectrumBuffer>) override {
        *log_ << "tap";
        return tap_;
    }

    void setTimeControl(TimeControl control) {
        control_ = control;
        if (callbacks_.timeControlChanged)
            callbacks_.timeControlChanged(control);
    }
    Callbacks callbacks_;
    bool tap_ = true;

private:
    QStringList* log_;
    TimeControl control_ = TimeControl::paused;
    float volume_ = 1.0f;
    bool muted_ = false;
};

struct Sent {
    EngineEvent event;
    qint64 generation;
};

WebUrl address(const QString& text) {
    return *WebUrl::parse(text);
}

}  // namespace

class PlaybackEngineTest : public QObject {
    Q_OBJECT

private:
    ManualClock clock_;
    QStringList log_;
    QList<Sent> sent_;
    FakePlayer* player_ = nullptr;
    int playersMade_ = 0;
    std::optional<Completion<Outcome<WebUrl>>> pendingResolve_;
    QList<QString> resolved_;
    std::unique_ptr<RadioPlaybackEngine> engine_;
    quint16 closedPort_ = 0;
    test::SilentUpstream silentCatalog_;

    void makeEngine() {
        engine_ = std::make_unique<RadioPlaybackEngine>(
            clock_,
            [this] {
                auto player = std::make_unique<FakePlayer>(&log_);
                player_ = player.get();
                ++playersMade_;
                return player;
            },
            [this](WebUrl url, CancelToken token) -> Task<Outcome<WebUrl>> {
                resolved_ << url.text();
                pendingResolve_.emplace();
                Completion<Outcome<WebUrl>> completion = *pendingResolve_;
                auto registration =
                    token.onCancel([completion] { completion.complete(Cancelled{}); });
                co_return co_await completion.task();
            });
        engine_->setOnEvent([this](const EngineEvent& event, qint64 generation) {
            sent_.append({event, generation});
        });
    }

    void playPlatform(qint64 generation) {
        engine_->play(address("https://stream.example.org/live"), generation);
        QVERIFY(pendingResolve_.has_value());
        pendingResolve_->complete(address("https://stream.example.org/live"));
    }

private slots:
    void initTestCase() {
        // Catalog programmes are recognised by the catalog origin; it points
        // at a port nobody listens on, so a live attempt fails at once.
        // The catalog origin is a peer that accepts connections and never
        // answers, so live attempts stall until the test ends them.
        closedPort_ = silentCatalog_.port();
        qputenv("ORVANTA_CATALOG_URL",
                QStringLiteral("https://127.0.0.1:%1").arg(closedPort_).toUtf8());
        QCOMPARE(Deployment::catalogPort(), int(closedPort_));
    }

    void init() {
        log_.clear();
        sent_.clear();
        resolved_.clear();
        pendingResolve_.reset();
        playersMade_ = 0;
        makeEngine();
    }
    void cleanup() { engine_.reset(); }

    void platformPathReportsThePlayersStates() {
        playPlatform(7);
        // The tap is in place before the item's audio can flow.
        QCOMPARE(log_.mid(log_.size() - 3),
                 (QStringList{"tap", "attach https://stream.example.org/live", "play"}));
        player_->setTimeControl(TimeControl::waiting);
        player_->setTimeControl(TimeControl::playing);
        QCOMPARE(sent_.size(), 2);
        QCOMPARE(sent_[0].event, EngineEvent::buffering());
        QCOMPARE(sent_[1].event, EngineEvent::playing());
        QCOMPARE(sent_[1].generation, qint64(7));
    }

    void playerFailuresBecomeMessages_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("permanent");
        QTest::addColumn<QString>("message");
        QTest::newRow("tls item error") << 0 << true << "Потік недоступний";
        QTest::newRow("other item error") << 1 << false << "Помилка аудіопотоку";
        QTest::newRow("played to end") << 2 << false << "Ефір завершив з’єднання";
    }
    void playerFailuresBecomeMessages() {
        QFETCH(int, kind);
        QFETCH(bool, permanent);
        QFETCH(QString, message);
        playPlatform(3);
        if (kind == 0)
            player_->callbacks_.itemFailed(Failure::url(UrlError::serverCertificateUntrusted));
        if (kind == 1)
            player_->callbacks_.itemFailed(Failure::url(UrlError::networkConnectionLost));
        if (kind == 2)
            player_->callbacks_.playedToEnd();
        QCOMPARE(sent_.size(), 1);
        QCOMPARE(sent_[0].event,
                 EngineEvent::failed(EngineFailure{permanent, message, std::nullopt}));
        QCOMPARE(sent_[0].generation, qint64(3));
    }

    void checkFailuresBecomeMessages_data() {
        QTest::addColumn<int>("status");  // 0: TLS, -1: transport
        QTest::addColumn<bool>("permanent");
        QTest::addColumn<QString>("message");
        QTest::addColumn<std::optional<double>>("retryAfter");
        QTest::newRow("404") << 404 << true << "Потік тимчасово недоступний"
                             << std::optional<double>();
        QTest::newRow("429") << 429 << false << "Потік тимчасово недоступний"
                             << std::optional<double>(3.0);
        QTest::newRow("408") << 408 << false << "Потік тимчасово недоступний"
                             << std::optional<double>();
        QTest::newRow("503 retry")
            << 503 << false << "Потік тимчасово недоступний" << std::optional<double>(120.0);
        QTest::newRow("tls") << 0 << true << "Не вдалося перевірити захищене з’єднання"
                             << std::optional<double>();
        QTest::newRow("transport")
            << -1 << false << "Потік тимчасово недоступний" << std::optional<double>();
    }
    void checkFailuresBecomeMessages() {
        QFETCH(int, status);
        QFETCH(bool, permanent);
        QFETCH(QString, message);
        QFETCH(std::optional<double>, retryAfter);
        engine_->play(address("https://stream.example.org/live"), 4);
        Failure failure = Failure::url(UrlError::cannotConnectToHost);
        if (status == 0)
            failure = Failure::url(UrlError::serverCertificateHasBadDate);
        if (status > 0)
            failure = Failure{ErrorDomain::streamResponse, status, {}, retryAfter};
        pendingResolve_->complete(failure);
        QCOMPARE(sent_.size(), 1);
        QCOMPARE(sent_[0].event,
                 EngineEvent::failed(EngineFailure{permanent, message, retryAfter}));
    }

    void stoppingDuringTheCheckSendsNothing() {
        engine_->play(address("https://stream.example.org/live"), 5);
        auto pending = *pendingResolve_;
        engine_->stop();
        QVERIFY(pending.isDone());
        QVERIFY(sent_.isEmpty());
        QVERIFY(!log_.contains("attach https://stream.example.org/live"));
    }

    void lateReportsKeepTheirOwnGeneration() {
        playPlatform(1);
        auto oldCallbacks = player_->callbacks_;
        playPlatform(2);
        // A report of the first item that comes in late carries its own
        // generation, so the coordinator can drop it.
        oldCallbacks.playedToEnd();
        player_->setTimeControl(TimeControl::playing);
        QCOMPARE(sent_.size(), 2);
        QCOMPARE(sent_[0].generation, qint64(1));
        QCOMPARE(sent_[1].generation, qint64(2));
        // Progress and metadata of an old item are not taken at all.
        oldCallbacks.metadata({{"icy/streamtitle", "", QString("Old - Song")}}, 1.0);
        QCOMPARE(sent_.size(), 2);
    }

    void watchdogReportsMissingAudioAfterTenSeconds() {
        playPlatform(9);
        player_->setTimeControl(TimeControl::playing);
        sent_.clear();
        player_->callbacks_.position(1.0);
        clock_.advance(9.9);
        engine_->checkProgress();
        QVERIFY(sent_.isEmpty());
        clock_.advance(0.1);
        engine_->checkProgress();
        QCOMPARE(sent_.size(), 1);
        QCOMPARE(sent_[0].event.failure.message, QStringLiteral("Ефір не надходить"));
        // Progress resets the watchdog.
        player_->callbacks_.position(2.0);
        clock_.advance(9);
        engine_->checkProgress();
        QCOMPARE(sent_.size(), 1);
        // While waiting for data the platform's own stall handling applies.
        player_->setTimeControl(TimeControl::waiting);
        clock_.advance(30);
        engine_->checkProgress();
        QCOMPARE(sent_.size(), 2);  // only the buffering report
    }

    void timedMetadataIsMergedByTime() {
        playPlatform(6);
        const QList<TimedMetadataItem> icy{{"icy/streamtitle", "", QString("A - B")}};
        const QList<TimedMetadataItem> id3{{"id3/tit2", "", QString("B")}};
        player_->callbacks_.metadata(icy, 10.0);
        player_->callbacks_.metadata(id3, 10.0);
        QCOMPARE(sent_.size(), 2);
        QCOMPARE(sent_[0].event.fields, (StreamSongFields{"A - B", std::nullopt, std::nullopt}));
        QCOMPARE(sent_[1].event.fields, (StreamSongFields{"A - B", "B", std::nullopt}));
        // Older than what was shown: ignored.
        player_->callbacks_.metadata({{"icy/streamtitle", "", QString("Old - Song")}}, 9.0);
        // An artist alone sends nothing.
        player_->callbacks_.metadata({{"", "artist", QString("Someone")}}, 11.0);
        // A conflicting title at the same time replaces the fields whole.
        player_->callbacks_.metadata({{"", "title", QString("C")}}, 11.0);
        QCOMPARE(sent_.size(), 3);
        QCOMPARE(sent_[2].event.fields, (StreamSongFields{std::nullopt, "C", "Someone"}));
        player_->callbacks_.metadata({{"", "title", QString("D")}}, 11.0);
        QCOMPARE(sent_[3].event.fields, (StreamSongFields{std::nullopt, "D", std::nullopt}));
    }

    void groupItemsAreClassified() {
        const auto fields = RadioPlaybackEngine::fieldsOfGroup({
            {"ICY/StreamTitle", "", QString("X - Y")},
            {"id3/tpe1", "", QString("Artist")},
            {"", "title", QString("   ")},  // cleans to nothing: not taken
            {"icy/title", "", QString("Title")},
            {"other/thing", "", QString("ignored")},
            {"id3/tit2", "", std::nullopt},  // unreadable: skipped
        });
        QCOMPARE(fields, (StreamSongFields{"X - Y", "Title", "Artist"}));
    }

    void volumeAndMuteReachThePlayer() {
        engine_->setVolume(1.5f);
        QCOMPARE(engine_->volume(), 1.0f);
        engine_->setVolume(-0.2f);
        QCOMPARE(engine_->volume(), 0.0f);
        engine_->setVolume(0.4f);
        engine_->setMuted(true);
        engine_->resetPlayer();
        QCOMPARE(playersMade_, 2);
        QCOMPARE(engine_->volume(), 0.4f);
        QVERIFY(engine_->isMuted());
    }

    void aLiveStreamThatFailsFallsBackToThePlatform() {
        const WebUrl programme =
            address(QStringLiteral("https://127.0.0.1:%1/worship.mp3").arg(closedPort_));
        engine_->play(programme, 11);
        QVERIFY(engine_->isOnLivePath());
        QVERIFY(resolved_.isEmpty());
        QTRY_VERIFY(silentCatalog_.connections() > 0);
        // The server drops the connection: the live attempt fails.
        silentCatalog_.dropConnections();
        QTRY_VERIFY_WITH_TIMEOUT(!resolved_.isEmpty(), 5000);
        QVERIFY(!engine_->isOnLivePath());
        QCOMPARE(sent_.size(), 1);
        QCOMPARE(sent_[0].event, EngineEvent::buffering());
        QCOMPARE(sent_[0].generation, qint64(11));
        QCOMPARE(resolved_.first(), programme.text());

        // An ordinary address never takes the live path.
        engine_->play(address("https://stream.example.org/worship.mp3"), 12);
        QVERIFY(!engine_->isOnLivePath());
    }

    void aLiveStreamWithoutProgressFallsBackAfterFiveSeconds() {
        const WebUrl programme =
            address(QStringLiteral("https://127.0.0.1:%1/ukraine").arg(closedPort_));
        engine_->play(programme, 21);
        QVERIFY(engine_->isOnLivePath());
        clock_.advance(5.0);
        engine_->checkProgress();
        QVERIFY(engine_->isOnLivePath());
        clock_.advance(0.1);
        engine_->checkProgress();
        QVERIFY(!engine_->isOnLivePath());
        QCOMPARE(sent_.size(), 1);
        QCOMPARE(sent_[0].event, EngineEvent::buffering());
        QCOMPARE(sent_[0].generation, qint64(21));
        // The platform path gets the live player's address.
        QCOMPARE(resolved_, QList<QString>{programme.text()});
    }
};

QTEST_GUILESS_MAIN(PlaybackEngineTest)
#include "test_playback_engine.moc"
