#include "CoordinatorHarness.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::StringLiterals;

namespace {

const PersonalStation alpha = personal(u"000000000001"_s, u"Альфа"_s, u"https://a.example/live"_s);
const QString lost = u"Втрачено з’єднання зі станцією"_s;

EngineEvent transientFailure(std::optional<double> retryAfter = {}) {
    return EngineEvent::failed(EngineFailure{false, lost, retryAfter});
}

EngineEvent permanentFailure() {
    return EngineEvent::failed(EngineFailure{true, u"Станцію не знайдено"_s, std::nullopt});
}

// Refuses every address inside play itself, as the engine does when the
// stream check fails before any network traffic.
class RefusingEngine final : public PlaybackEngine {
public:
    RefusingEngine(FakePlaybackEngine& inner, EngineFailure failure)
        : inner_(inner), failure_(std::move(failure)) {}

    float volume() const override { return inner_.volume(); }
    void setVolume(float volume) override { inner_.setVolume(volume); }
    bool isMuted() const override { return inner_.isMuted(); }
    void setMuted(bool muted) override { inner_.setMuted(muted); }
    const EventHandler& onEvent() const override { return inner_.onEvent(); }
    void setOnEvent(EventHandler handler) override { inner_.setOnEvent(std::move(handler)); }
    std::shared_ptr<AudioSpectrumBuffer> spectrum() const override { return nullptr; }
    void play(const WebUrl& url, qint64 generation) override {
        inner_.play(url, generation);
        inner_.report(EngineEvent::failed(failure_), generation);
    }
    void stop() override { inner_.stop(); }
    void resetPlayer() override { inner_.resetPlayer(); }
    void checkProgress() override { inner_.checkProgress(); }
    void setSpectrumActive(bool) override {}

private:
    FakePlaybackEngine& inner_;
    EngineFailure failure_;
};

// A harness with one personal station, monitoring started and the station
// connecting under generation 1.
struct Listening : CoordinatorHarness {
    explicit Listening(PlaybackCoordinator::Options options = {}) {
        storePersonal({alpha});
        make(std::move(options));
        c().startMonitoring();
        c().select(alpha.stationId());
    }
};

}  // namespace

class CoordinatorRecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void staleEngineEventsChangeNothing() {
        Listening h;
        h.engine.report(transientFailure(), 1);
        QCOMPARE(h.state().generation, 2);
        h.clock.advance(1.0);  // the retry opens generation 3
        QCOMPARE(h.engine.plays.last().generation, 3);

        PlaybackLog log;
        h.engine.report(EngineEvent::playing(), 2);
        h.engine.report(transientFailure(), 1);
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QVERIFY(log.lines.isEmpty());

        h.engine.report(EngineEvent::playing(), 3);
        QCOMPARE(h.state().phase, PlaybackPhase::playing);
        QCOMPARE(log.lines, QStringList{u"phase=playing attempt=1 generation=3"_s});
    }

    void failureStopsTheEngineAndWaitsForTheBackOff() {
        Listening h;
        h.delayScale = 1.1;
        const double failedAt = h.clock.now();
        h.engine.forget();

        h.engine.report(transientFailure(), 1);

        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);
        QCOMPARE(h.state().lastError, std::optional<QString>(lost));
        QCOMPARE(*h.state().retryAt, failedAt + 1.1);
        QCOMPARE(h.engine.calls, QStringList{u"stop"_s});
        QVERIFY(!h.c().currentTrack());
        h.clock.advance(1.0);
        QVERIFY(h.engine.plays.isEmpty());
        h.clock.advance(1.0);
        QCOMPARE(h.engine.plays.size(), 1);
    }

    void serverRequestedDelayIsHonoured() {
        Listening h;
        h.engine.forget();
        h.engine.report(transientFailure(30.0), 1);
        h.clock.advance(29.0);
        QVERIFY(h.engine.plays.isEmpty());
        h.clock.advance(1.0);
        QCOMPARE(h.engine.plays.size(), 1);
    }

    void reconnectingStopsTheEngineEveryTick() {
        Listening h;
        h.engine.report(transientFailure(5.0), 1);
        h.engine.forget();
        h.clock.advance(5.0);
        QCOMPARE(h.engine.calls,
                 (QStringList{u"stop"_s, u"stop"_s, u"stop"_s, u"stop"_s, u"play"_s}));
        QCOMPARE(h.engine.progressChecks, 5);
    }

    void permanentFailureReloadsTheCatalogOnce_data() {
        QTest::addColumn<bool>("loadRunning");
        QTest::newRow("no load running") << false;
        QTest::newRow("a load already running") << true;
    }

    void permanentFailureReloadsTheCatalogOnce() {
        QFETCH(bool, loadRunning);
        Listening h;
        if (loadRunning)
            detach(h.c().loadCatalog());
        h.engine.forget();

        h.engine.report(permanentFailure(), 1);

        QCOMPARE(h.state().phase, PlaybackPhase::failed);
        QVERIFY(!h.state().wantsPlayback);
        QCOMPARE(h.engine.calls, QStringList{u"stop"_s});
        QCOMPARE(h.api.fetches, 1);
        QVERIFY(h.c().isLoading());
    }

    void failureWhileOpeningStartsNoNowPlaying_data() {
        QTest::addColumn<bool>("permanent");
        QTest::addColumn<PlaybackPhase>("phase");
        QTest::newRow("transient") << false << PlaybackPhase::reconnecting;
        QTest::newRow("permanent") << true << PlaybackPhase::failed;
    }

    void failureWhileOpeningStartsNoNowPlaying() {
        QFETCH(bool, permanent);
        QFETCH(PlaybackPhase, phase);
        CoordinatorHarness h;
        const PersonalStation onSpotify =
            personal(u"000000000015"_s, u"Spotify"_s, onCatalog(u"/spotify"_s));
        h.storePersonal({onSpotify});
        RefusingEngine engine(h.engine, EngineFailure{permanent, lost, std::nullopt});
        PlaybackCoordinator c(engine, h.api, h.clock, h.preferences, h.photos);
        QVERIFY(c.metadataKey(*c.station()));

        c.select(onSpotify.stationId());

        QCOMPARE(h.engine.plays.size(), 1);
        QCOMPARE(c.state().phase, phase);
        QVERIFY(h.api.nowPlayingIds.isEmpty());
    }

    void attemptWithoutSoundTimesOut() {
        Listening h;
        h.engine.forget();
        h.clock.advance(15.0);
        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);
        QCOMPARE(h.state().lastError, std::optional<QString>(u"З’єднання не відповідає"_s));
        QCOMPARE(h.engine.calls, QStringList{u"stop"_s});
        h.clock.advance(1.0);
        QCOMPARE(h.engine.plays.size(), 1);
        QCOMPARE(h.state().retryAttempt, 1);
    }

    void dueRetryWaitsForTheNetworkAndFiresWhenItReturns() {
        Listening h;
        h.c().enableLibrarySync();
        QCOMPARE(h.library->requests, 1);
        h.engine.report(EngineEvent::playing(), 1);
        h.engine.forget();

        h.network->set(false);
        QCOMPARE(h.state().phase, PlaybackPhase::playing);  // losing the path alone stops nothing
        QVERIFY(h.engine.calls.isEmpty());

        h.engine.report(transientFailure(), 1);
        h.clock.advance(10.0);
        QVERIFY(h.engine.plays.isEmpty());
        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);

        h.network->set(true);
        QCOMPARE(h.engine.plays.size(), 1);
        QCOMPARE(h.engine.plays.last().generation, h.state().generation);
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(h.library->requests, 2);
    }

    void offlineEpisodeEndsAfterTheRecoveryWindow() {
        Listening h;
        h.network->set(false);
        h.engine.report(transientFailure(), 1);
        h.clock.advance(119.0);
        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);
        h.clock.advance(1.0);
        QCOMPARE(h.state().phase, PlaybackPhase::failed);
        QCOMPARE(h.state().lastError, std::optional<QString>(lost));
    }

    void catalogRefreshSchedule_data() {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("loads");
        QTest::newRow("list on screen: every 30 s") << true << false << 5;
        QTest::newRow("list on screen while playing: every 30 s") << true << true << 5;
        QTest::newRow("hidden and idle: never") << false << false << 0;
        QTest::newRow("hidden while playing: every 60 s") << false << true << 3;
    }

    void catalogRefreshSchedule() {
        QFETCH(bool, visible);
        QFETCH(bool, playing);
        QFETCH(int, loads);
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.api.autoAnswer = catalogOf({});
        h.make();
        h.c().setCatalogVisible(visible);
        h.c().startMonitoring();
        if (playing) {
            h.c().select(alpha.stationId());
            h.engine.report(EngineEvent::playing(), 1);
        }
        h.clock.advance(125.0);  // ticks at 1 … 125 s
        QCOMPARE(h.api.fetches, loads);
    }

    void monitoringStartsOnce() {
        CoordinatorHarness h;
        h.make();
        QVERIFY(!h.c().isMonitoring());
        h.c().startMonitoring();
        FakeNetworkWatch* first = h.network;
        h.c().startMonitoring();
        QCOMPARE(h.network, first);
        h.clock.advance(3.0);
        QCOMPARE(h.engine.progressChecks, 3);
    }

    void interruptionEndsInResumeOrPause() {
        Listening h;
        h.engine.report(EngineEvent::playing(), 1);
        h.engine.forget();

        h.c().beginInterruption();
        QCOMPARE(h.state().phase, PlaybackPhase::interrupted);
        QCOMPARE(h.engine.calls, QStringList{u"stop"_s});
        h.engine.report(EngineEvent::playing(), 2);  // the interruption holds
        QCOMPARE(h.state().phase, PlaybackPhase::interrupted);

        h.c().endInterruption(true, true);
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(h.engine.plays.last().generation, h.state().generation);

        h.c().beginInterruption();
        h.c().endInterruption(true, false);
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::user));
    }

    void interruptionMadeStaleByAPauseResumesNothing() {
        Listening h;
        h.c().beginInterruption();
        h.c().pause(PauseReason::user);
        h.engine.forget();
        h.c().endInterruption(true, true);
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QVERIFY(h.engine.plays.isEmpty());
    }

    void catalogMoveDuringAnInterruptionWaitsForItsEnd() {
        CoordinatorHarness h;
        PlaybackCoordinator::Options options;
        options.showsServerStations = true;
        h.make(std::move(options));
        Task<Done> first = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s)}));
        h.c().select(u"worship"_s);
        h.engine.report(EngineEvent::playing(), h.state().generation);
        h.c().beginInterruption();
        h.engine.forget();

        Task<Done> second = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship-hd"_s)}));

        QCOMPARE(h.state().phase, PlaybackPhase::interrupted);
        QVERIFY(h.engine.plays.isEmpty());
        h.c().endInterruption(true, true);
        QCOMPARE(
            h.engine.plays,
            (QList<FakePlaybackEngine::Play>{{onCatalog(u"/worship-hd"_s), h.state().generation}}));
    }

    void mediaServicesResetReplacesThePlayer() {
        Listening h;
        h.engine.forget();
        h.c().mediaServicesReset();
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::mediaReset));
        QCOMPARE(h.engine.calls, QStringList{u"resetPlayer"_s});
    }

    void eventsAfterTheCoordinatorIsGoneAreIgnored() {
        Listening h;
        h.coordinator.reset();
        h.engine.report(EngineEvent::playing(), 1);
        h.clock.advance(5.0);
        QCOMPARE(h.clock.pendingTimers(), 0);
    }
};

QTEST_GUILESS_MAIN(CoordinatorRecoveryTest)
#include "test_coordinator_recovery.moc"
