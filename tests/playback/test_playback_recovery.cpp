#include "PlaybackStatePrinting.h"
#include "playback/PlaybackState.h"

#include <QList>
#include <QTest>

using namespace orvanta;

namespace {

const QString kLost = QStringLiteral("Втрачено з’єднання зі станцією");

constexpr PlaybackPhase kConnecting = PlaybackPhase::connecting;
constexpr PlaybackPhase kReconnecting = PlaybackPhase::reconnecting;
constexpr PlaybackPhase kFailed = PlaybackPhase::failed;

// The engine reports that the current attempt failed, the way the owner
// passes it on: no server delay and no jitter unless asked.
void engineFails(PlaybackState& state, double now, std::optional<double> retryAfter = {},
                 double delayScale = 1.0, bool permanent = false) {
    state.fail(state.generation, kLost, permanent, retryAfter, now, delayScale);
}

// The once-a-second timer from `from` up to `until`; every tick that opens a
// connection is answered by `onConnect`. Returns the instant at which the
// state came to rest in `failed`, or none.
template <typename OnConnect>
std::optional<double> tickEverySecond(PlaybackState& state, bool network, double from, double until,
                                      OnConnect onConnect) {
    for (double now = from; now <= until; now += 1.0) {
        if (state.tick(network, now)) {
            onConnect(now);
        }
        if (state.phase == kFailed) {
            return now;
        }
    }
    return std::nullopt;
}

}  // namespace

class PlaybackRecoveryTest : public QObject {
    Q_OBJECT

private slots:
    // Every attempt fails right after it opens: the back-off doubles up to
    // 15 seconds, and the failure after the fifth retry is final.
    void failingAttemptsWalkTheBackOffSchedule() {
        PlaybackState state;
        state.start(0.0);
        engineFails(state, 0.0);

        QList<double> retries;
        const auto failedAt = tickEverySecond(state, true, 1.0, 60.0, [&](double now) {
            retries << now;
            QCOMPARE(state.phase, kConnecting);
            QCOMPARE(state.retryAttempt, retries.size());
            QCOMPARE(state.attemptStartedAt, std::optional<double>(now));
            engineFails(state, now);
        });

        QCOMPARE(retries, (QList<double>{1.0, 3.0, 7.0, 15.0, 30.0}));
        QCOMPARE(failedAt, std::optional<double>(30.0));
        QCOMPARE(state.phase, kFailed);
        QVERIFY(!state.wantsPlayback);
        QCOMPARE(state.retryAttempt, 5);
        QVERIFY(!state.retryAt);
        QVERIFY(!state.attemptStartedAt);
        QCOMPARE(state.lastError, std::optional<QString>(kLost));
        QCOMPARE(state.recoveryStartedAt, std::optional<double>(0.0));
        // Resting: later ticks change nothing.
        const PlaybackState rested = state;
        QVERIFY(!state.tick(true, 31.0));
        QCOMPARE(state, rested);
    }

    // Attempts that never answer time out after 15 seconds each, so the
    // 120-second window ends the episode before the retries run out.
    void hangingAttemptsRunIntoTheRecoveryWindow() {
        PlaybackState state;
        state.start(0.0);

        QList<double> retries;
        QList<double> timeOuts;
        PlaybackPhase previous = state.phase;
        std::optional<double> failedAt;
        for (double now = 1.0; now <= 200.0 && !failedAt; now += 1.0) {
            if (state.tick(true, now)) {
                retries << now;
            }
            if (previous == kConnecting && state.phase == kReconnecting) {
                timeOuts << now;
                QCOMPARE(state.lastError, std::optional<QString>(PlaybackState::timeoutMessage));
            }
            if (state.phase == kFailed) {
                failedAt = now;
            }
            previous = state.phase;
        }

        QCOMPARE(timeOuts, (QList<double>{15.0, 31.0, 48.0, 67.0, 90.0}));
        QCOMPARE(retries, (QList<double>{16.0, 33.0, 52.0, 75.0, 105.0}));
        QCOMPARE(failedAt, std::optional<double>(120.0));
        QVERIFY(!state.wantsPlayback);
        QVERIFY(!state.attemptStartedAt);
        QCOMPARE(state.lastError, std::optional<QString>(PlaybackState::timeoutMessage));
    }

    // Sound that arrives late in an episode is not cut off when the window
    // would have closed; its stable stretch then ends the episode.
    void playingLateInAnEpisodeOutlivesTheWindow() {
        PlaybackState state;
        state.start(0.0);
        QVERIFY(!tickEverySecond(state, true, 1.0, 104.0, [](double) {}));  // hanging retries
        QVERIFY(state.tick(true, 105.0));
        state.markPlaying(state.generation, 106.0);

        QVERIFY(!tickEverySecond(state, true, 107.0, 135.0,
                                 [](double) { QFAIL("nothing to reconnect while playing"); }));
        QCOMPARE(state.phase, PlaybackPhase::playing);
        QCOMPARE(state.recoveryStartedAt, std::optional<double>(0.0));
        QCOMPARE(state.retryAttempt, 5);
        QVERIFY(!state.tick(true, 136.0));
        QVERIFY(!state.recoveryStartedAt);
        QCOMPARE(state.retryAttempt, 0);
    }

    // Thirty seconds of uninterrupted play end the episode: the next failure
    // starts over at the 1-second delay with a fresh 120-second window.
    void stablePlayEndsTheEpisode_data() {
        QTest::addColumn<double>("playedFor");
        QTest::addColumn<double>("expectedDelay");
        QTest::addColumn<std::optional<double>>("expectedEpisodeStart");
        QTest::addColumn<double>("expectedFailedAt");
        // Play starts at 2 (after one retry) and fails at 2 + playedFor.
        QTest::newRow("29 s is not yet stable")
            << 29.0 << 2.0 << std::optional<double>(0.0) << 120.0;
        QTest::newRow("30 s is stable") << 30.0 << 1.0 << std::optional<double>(32.0) << 152.0;
    }
    void stablePlayEndsTheEpisode() {
        QFETCH(double, playedFor);
        QFETCH(double, expectedDelay);
        QFETCH(std::optional<double>, expectedEpisodeStart);
        QFETCH(double, expectedFailedAt);

        PlaybackState state;
        state.start(0.0);
        engineFails(state, 0.0);
        QVERIFY(state.tick(true, 1.0));
        state.markPlaying(state.generation, 2.0);
        state.markPlaying(state.generation, 5.0);
        QCOMPARE(state.stableSince, std::optional<double>(2.0));

        const double failAt = 2.0 + playedFor;
        QVERIFY(!tickEverySecond(state, true, 3.0, failAt,
                                 [](double) { QFAIL("nothing to reconnect while playing"); }));
        engineFails(state, failAt);
        QCOMPARE(state.phase, kReconnecting);
        QCOMPARE(state.recoveryStartedAt, expectedEpisodeStart);
        QCOMPARE(state.retryAt, std::optional<double>(failAt + expectedDelay));

        // With the network gone the retry waits until the window closes.
        QCOMPARE(tickEverySecond(state, false, failAt + 1.0, 300.0,
                                 [](double) { QFAIL("no connection without a network"); }),
                 std::optional<double>(expectedFailedAt));
    }

    void failureDelayHonoursBackOffJitterAndServerDelay_data() {
        QTest::addColumn<qint64>("retryAttempt");
        QTest::addColumn<std::optional<double>>("retryAfter");
        QTest::addColumn<double>("delayScale");
        QTest::addColumn<double>("expectedDelay");
        QTest::newRow("first retry") << qint64(0) << std::optional<double>() << 1.0 << 1.0;
        QTest::newRow("fifth retry") << qint64(4) << std::optional<double>() << 1.0 << 15.0;
        QTest::newRow("server asks for 20 s")
            << qint64(0) << std::optional<double>(20.0) << 1.0 << 20.0;
        QTest::newRow("server delay shorter than the back-off")
            << qint64(3) << std::optional<double>(2.0) << 1.0 << 8.0;
        QTest::newRow("negative server delay")
            << qint64(0) << std::optional<double>(-5.0) << 1.0 << 1.0;
        QTest::newRow("jitter up") << qint64(1) << std::optional<double>() << 1.1 << 2.2;
        QTest::newRow("jitter down") << qint64(4) << std::optional<double>() << 0.9 << 13.5;
        QTest::newRow("server delay against jittered back-off")
            << qint64(2) << std::optional<double>(4.2) << 1.1 << 4.4;
    }
    void failureDelayHonoursBackOffJitterAndServerDelay() {
        QFETCH(qint64, retryAttempt);
        QFETCH(std::optional<double>, retryAfter);
        QFETCH(double, delayScale);
        QFETCH(double, expectedDelay);

        PlaybackState state;
        state.start(0.0);
        state.markPlaying(state.generation, 1.0);
        state.retryAttempt = retryAttempt;
        const PlaybackState before = state;
        engineFails(state, 10.0, retryAfter, delayScale);

        PlaybackState expected = before;
        expected.generation += 1;
        expected.phase = kReconnecting;
        expected.retryAt = 10.0 + expectedDelay;
        expected.stableSince.reset();
        expected.lastError = kLost;
        QCOMPARE(state, expected);  // the attempt counter is raised by the retry, not here

        QVERIFY(!state.tick(true, 10.0 + expectedDelay - 0.05));
        QVERIFY(state.tick(true, 10.0 + expectedDelay));
        QCOMPARE(state.phase, kConnecting);
        QCOMPARE(state.retryAttempt, retryAttempt + 1);
        QCOMPARE(state.generation, expected.generation + 1);
        QVERIFY(!state.retryAt);
    }

    // A failure gives up when retries are spent, the window is spent, or the
    // retry would fall at or after the end of the window.
    void failureNearTheWindowEnd_data() {
        QTest::addColumn<qint64>("retryAttempt");
        QTest::addColumn<double>("failAt");
        QTest::addColumn<std::optional<double>>("retryAfter");
        QTest::addColumn<std::optional<double>>("expectedRetryAt");  // none: failed
        const std::optional<double> none;
        QTest::newRow("110 s, 15 s back-off crosses the end") << qint64(4) << 110.0 << none << none;
        QTest::newRow("110 s, 1 s back-off fits")
            << qint64(0) << 110.0 << none << std::optional<double>(111.0);
        QTest::newRow("110 s, server delay reaches the end")
            << qint64(0) << 110.0 << std::optional<double>(10.0) << none;
        QTest::newRow("retry exactly at the end") << qint64(0) << 119.0 << none << none;
        QTest::newRow("retry just inside")
            << qint64(0) << 118.5 << none << std::optional<double>(119.5);
        QTest::newRow("window already spent") << qint64(0) << 120.0 << none << none;
        QTest::newRow("retries spent") << qint64(5) << 20.0 << none << none;
    }
    void failureNearTheWindowEnd() {
        QFETCH(qint64, retryAttempt);
        QFETCH(double, failAt);
        QFETCH(std::optional<double>, retryAfter);
        QFETCH(std::optional<double>, expectedRetryAt);

        PlaybackState state;
        state.start(0.0);
        state.retryAttempt = retryAttempt;
        engineFails(state, failAt, retryAfter);

        QCOMPARE(state.phase, expectedRetryAt ? kReconnecting : kFailed);
        QCOMPARE(state.wantsPlayback, expectedRetryAt.has_value());
        QCOMPARE(state.retryAt, expectedRetryAt);
        QVERIFY(!state.attemptStartedAt);
        QCOMPARE(state.lastError, std::optional<QString>(kLost));
        QCOMPARE(state.retryAttempt, retryAttempt);
        QCOMPARE(state.recoveryStartedAt, std::optional<double>(0.0));
    }

    void permanentFailureGivesUpAtOnce() {
        PlaybackState state;
        state.start(0.0);
        state.markPlaying(state.generation, 1.0);
        const PlaybackState before = state;
        engineFails(state, 3.0, 5.0, 1.0, /*permanent=*/true);

        PlaybackState expected = before;
        expected.generation += 1;
        expected.phase = kFailed;
        expected.wantsPlayback = false;
        expected.stableSince.reset();
        expected.lastError = kLost;
        QCOMPARE(state, expected);

        const PlaybackState rested = state;
        QVERIFY(!state.tick(true, 500.0));
        QCOMPARE(state, rested);
        state.start(600.0);  // only the listener leaves it
        QCOMPARE(state.phase, kConnecting);
        QVERIFY(!state.lastError);
    }

    void aDueRetryWaitsForTheNetwork() {
        PlaybackState state;
        state.start(0.0);
        engineFails(state, 0.0);
        const PlaybackState waiting = state;
        QVERIFY(!tickEverySecond(state, false, 1.0, 9.0,
                                 [](double) { QFAIL("no connection without a network"); }));
        QCOMPARE(state, waiting);

        // The network is back: the owner brings the retry forward and ticks.
        state.retryNow(9.4);
        QCOMPARE(state.retryAt, std::optional<double>(9.4));
        QVERIFY(state.tick(true, 9.4));
        QCOMPARE(state.phase, kConnecting);
        QCOMPARE(state.retryAttempt, 1);
        QCOMPARE(state.attemptStartedAt, std::optional<double>(9.4));
    }

    void retryNowBringsALaterRetryForward() {
        PlaybackState state;
        state.start(0.0);
        state.retryAttempt = 3;
        engineFails(state, 2.0);
        QCOMPARE(state.retryAt, std::optional<double>(10.0));

        state.retryNow(4.0);
        QVERIFY(!state.tick(false, 4.0));  // still no network: keeps waiting
        QCOMPARE(state.phase, kReconnecting);
        QVERIFY(state.tick(true, 5.0));
        QCOMPARE(state.retryAttempt, 4);
    }

    void retryNowOutsideReconnectingChangesNothing_data() {
        QTest::addColumn<PlaybackState>("before");
        PlaybackState connecting;
        connecting.start(0.0);
        PlaybackState playing = connecting;
        playing.markPlaying(playing.generation, 1.0);
        PlaybackState paused = playing;
        paused.pause(PauseReason::user);
        PlaybackState failed = connecting;
        engineFails(failed, 1.0, {}, 1.0, true);
        QTest::newRow("connecting") << connecting;
        QTest::newRow("playing") << playing;
        QTest::newRow("paused") << paused;
        QTest::newRow("failed") << failed;
    }
    void retryNowOutsideReconnectingChangesNothing() {
        QFETCH(PlaybackState, before);
        PlaybackState state = before;
        state.retryNow(5.0);
        QCOMPARE(state, before);
    }

    // A stall may last just under 10 seconds, an attempt just under 15.
    void timeOuts_data() {
        QTest::addColumn<bool>("stall");
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<bool>("timesOut");
        QTest::newRow("stall of 9.9 s") << true << 9.9 << false;
        QTest::newRow("stall of 10 s") << true << 10.0 << true;
        QTest::newRow("connecting for 14.9 s") << false << 14.9 << false;
        QTest::newRow("connecting for 15 s") << false << 15.0 << true;
    }
    void timeOuts() {
        QFETCH(bool, stall);
        QFETCH(double, elapsed);
        QFETCH(bool, timesOut);

        PlaybackState state;
        double began = 0.0;
        state.start(0.0);
        if (stall) {
            state.markPlaying(state.generation, 1.0);
            QVERIFY(!state.tick(true, 40.0));  // stable: the episode is over
            QVERIFY(!state.recoveryStartedAt);
            began = 50.0;
            state.markBuffering(state.generation, began);
            QCOMPARE(state.phase, PlaybackPhase::buffering);
        }
        const PlaybackState before = state;
        const double now = began + elapsed;
        QVERIFY(!state.tick(true, now));

        PlaybackState expected = before;
        if (timesOut) {
            expected.generation += 1;
            expected.phase = kReconnecting;
            expected.retryAt = now + 1.0;  // no jitter, no minimum
            expected.attemptStartedAt.reset();
            expected.lastError = QStringLiteral("З’єднання не відповідає");
        }
        QCOMPARE(state, expected);
    }

    // A time-out that cannot be followed by a retry ends the episode.
    void timeOutWithoutRoomForARetryFails_data() {
        QTest::addColumn<qint64>("retryAttempt");
        QTest::addColumn<double>("stallAt");
        QTest::newRow("retries spent") << qint64(5) << 20.0;
        QTest::newRow("retry would cross the window") << qint64(4) << 100.0;
    }
    void timeOutWithoutRoomForARetryFails() {
        QFETCH(qint64, retryAttempt);
        QFETCH(double, stallAt);
        PlaybackState state;
        state.start(0.0);
        state.markPlaying(state.generation, 1.0);
        state.retryAttempt = retryAttempt;
        state.markBuffering(state.generation, stallAt);

        QVERIFY(!state.tick(true, stallAt + 10.0));
        QCOMPARE(state.phase, kFailed);
        QVERIFY(!state.wantsPlayback);
        QVERIFY(!state.retryAt);
        QVERIFY(!state.attemptStartedAt);
        QCOMPARE(state.lastError, std::optional<QString>(PlaybackState::timeoutMessage));
    }

    // The last retry hangs instead of failing: its time-out is final.
    void aHangingLastRetryTimesOutIntoFailed() {
        PlaybackState state;
        state.start(0.0);
        engineFails(state, 0.0);
        const auto failedAt = tickEverySecond(state, true, 1.0, 100.0, [&](double now) {
            if (state.retryAttempt < 5) {
                engineFails(state, now);
            }
        });
        QCOMPARE(failedAt, std::optional<double>(45.0));
        QCOMPARE(state.lastError, std::optional<QString>(PlaybackState::timeoutMessage));
    }
};

QTEST_GUILESS_MAIN(PlaybackRecoveryTest)
#include "test_playback_recovery.moc"
