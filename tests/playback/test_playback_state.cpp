#include "PlaybackStatePrinting.h"
#include "playback/PlaybackState.h"

#include <QTest>

using namespace orvanta;

namespace {

const QString kRefused = QStringLiteral("Сервер відхилив з’єднання");

// A state that has been through a bit of everything, to show that an
// operation sets or keeps each field as it should.
PlaybackState wornState() {
    PlaybackState state;
    state.phase = PlaybackPhase::failed;
    state.wantsPlayback = false;
    state.generation = 41;
    state.retryAttempt = 5;
    state.retryAt = 70.0;
    state.recoveryStartedAt = 3.0;
    state.attemptStartedAt = 60.0;
    state.stableSince = 50.0;
    state.pauseReason = PauseReason::routeLost;
    state.lastError = kRefused;
    state.interruptedGeneration = 40;
    return state;
}

PlaybackState startedAt(double now) {
    PlaybackState state;
    state.start(now);
    return state;
}

PlaybackState playingSince(double now) {
    PlaybackState state = startedAt(now - 1.0);
    state.markPlaying(state.generation, now);
    return state;
}

PlaybackState interruptedWhilePlaying() {
    PlaybackState state = playingSince(5.0);
    state.interrupt();
    return state;
}

}  // namespace

class PlaybackStateTest : public QObject {
    Q_OBJECT

private slots:
    void phaseRawValueIsTheCaseName_data() {
        QTest::addColumn<PlaybackPhase>("phase");
        QTest::addColumn<QString>("raw");
        QTest::newRow("idle") << PlaybackPhase::idle << "idle";
        QTest::newRow("connecting") << PlaybackPhase::connecting << "connecting";
        QTest::newRow("playing") << PlaybackPhase::playing << "playing";
        QTest::newRow("buffering") << PlaybackPhase::buffering << "buffering";
        QTest::newRow("reconnecting") << PlaybackPhase::reconnecting << "reconnecting";
        QTest::newRow("paused") << PlaybackPhase::paused << "paused";
        QTest::newRow("interrupted") << PlaybackPhase::interrupted << "interrupted";
        QTest::newRow("failed") << PlaybackPhase::failed << "failed";
    }
    void phaseRawValueIsTheCaseName() {
        QFETCH(PlaybackPhase, phase);
        QFETCH(QString, raw);
        QCOMPARE(rawValue(phase), raw);
    }

    void aFreshStateIsIdleAndWantsNothing() {
        const PlaybackState state;
        QCOMPARE(state.phase, PlaybackPhase::idle);
        QVERIFY(!state.wantsPlayback);
        QCOMPARE(state.generation, 0);
        QCOMPARE(state.retryAttempt, 0);
        QVERIFY(!state.retryAt && !state.recoveryStartedAt && !state.attemptStartedAt);
        QVERIFY(!state.stableSince && !state.pauseReason && !state.lastError);
        QVERIFY(!state.interruptedGeneration);
        QVERIFY(!state.accepts(0));
        QCOMPARE(PlaybackState::timeoutMessage, QStringLiteral("З’єднання не відповідає"));
    }

    void startBeginsAFreshEpisodeFromAnyState() {
        PlaybackState state = wornState();
        state.start(100.0);

        PlaybackState expected;
        expected.phase = PlaybackPhase::connecting;
        expected.wantsPlayback = true;
        expected.generation = 42;
        expected.recoveryStartedAt = 100.0;
        expected.attemptStartedAt = 100.0;
        QCOMPARE(state, expected);
        QVERIFY(state.accepts(42));
        QVERIFY(!state.accepts(41));
    }

    void pauseStopsButKeepsTheEpisodeRecord() {
        PlaybackState state = wornState();
        state.phase = PlaybackPhase::reconnecting;
        state.wantsPlayback = true;
        state.pause(PauseReason::mediaReset);

        PlaybackState expected = wornState();
        expected.phase = PlaybackPhase::paused;
        expected.generation = 42;
        expected.pauseReason = PauseReason::mediaReset;
        expected.retryAt.reset();
        expected.attemptStartedAt.reset();
        expected.stableSince.reset();
        expected.interruptedGeneration.reset();
        // retryAttempt, recoveryStartedAt and lastError stay as they were.
        QCOMPARE(state, expected);
    }

    void playingStartsTheStableStretchOnce() {
        PlaybackState state = startedAt(0.0);
        state.lastError = kRefused;
        state.markPlaying(state.generation, 2.0);
        state.markPlaying(state.generation, 5.0);

        PlaybackState expected = startedAt(0.0);
        expected.phase = PlaybackPhase::playing;
        expected.attemptStartedAt.reset();
        expected.stableSince = 2.0;  // the repeated report keeps the first instant
        // The episode stays open until the play has been stable.
        QCOMPARE(state, expected);
    }

    void aStallAfterPlayingStartsTheStallClock_data() {
        QTest::addColumn<std::optional<double>>("episodeStart");
        QTest::addColumn<std::optional<double>>("expectedEpisodeStart");
        QTest::newRow("episode still open")
            << std::optional<double>(0.0) << std::optional<double>(0.0);
        QTest::newRow("episode ended by stable play")
            << std::optional<double>() << std::optional<double>(40.0);
    }
    void aStallAfterPlayingStartsTheStallClock() {
        QFETCH(std::optional<double>, episodeStart);
        QFETCH(std::optional<double>, expectedEpisodeStart);
        PlaybackState state = playingSince(1.0);
        state.recoveryStartedAt = episodeStart;
        state.markBuffering(state.generation, 40.0);

        PlaybackState expected = playingSince(1.0);
        expected.phase = PlaybackPhase::buffering;
        expected.attemptStartedAt = 40.0;
        expected.stableSince.reset();
        expected.recoveryStartedAt = expectedEpisodeStart;
        QCOMPARE(state, expected);

        // Back to sound: a new stable stretch begins.
        state.markPlaying(state.generation, 42.0);
        QCOMPARE(state.phase, PlaybackPhase::playing);
        QCOMPARE(state.stableSince, std::optional<double>(42.0));
        QVERIFY(!state.attemptStartedAt);
    }

    // Reports that are not current (older generation, no wish to play, a
    // phase that holds playback, or a stall before any sound) change nothing.
    void reportsThatAreNotCurrentChangeNothing_data() {
        QTest::addColumn<PlaybackState>("before");
        QTest::addColumn<PlaybackStep>("report");

        const PlaybackState playing = playingSince(5.0);
        const std::int64_t current = playing.generation;
        PlaybackState paused = playing;
        paused.pause(PauseReason::user);
        PlaybackState failed = startedAt(0.0);
        failed.fail(failed.generation, kRefused, true, std::nullopt, 1.0, 1.0);
        PlaybackState reconnecting = startedAt(0.0);
        reconnecting.fail(reconnecting.generation, kRefused, false, std::nullopt, 1.0, 1.0);
        const PlaybackState interrupted = interruptedWhilePlaying();
        const PlaybackState connecting = startedAt(0.0);
        const PlaybackState idle;

        const auto playingAt = [](std::int64_t generation) {
            return PlaybackStep([generation](PlaybackState& s) { s.markPlaying(generation, 9.0); });
        };
        const auto stallAt = [](std::int64_t generation) {
            return PlaybackStep(
                [generation](PlaybackState& s) { s.markBuffering(generation, 9.0); });
        };
        const auto failureAt = [](std::int64_t generation) {
            return PlaybackStep([generation](PlaybackState& s) {
                s.fail(generation, kRefused, false, std::nullopt, 9.0, 1.0);
            });
        };

        QTest::newRow("playing of the generation before a pause") << paused << playingAt(current);
        QTest::newRow("playing of the current generation while paused")
            << paused << playingAt(paused.generation);
        QTest::newRow("playing of the failed attempt while reconnecting")
            << reconnecting << playingAt(reconnecting.generation - 1);
        QTest::newRow("playing while failed") << failed << playingAt(failed.generation);
        QTest::newRow("playing while interrupted")
            << interrupted << playingAt(interrupted.generation);
        QTest::newRow("playing before any start") << idle << playingAt(0);
        QTest::newRow("stall of an older generation") << playing << stallAt(current - 1);
        QTest::newRow("stall while connecting") << connecting << stallAt(connecting.generation);
        QTest::newRow("stall while reconnecting")
            << reconnecting << stallAt(reconnecting.generation);
        QTest::newRow("stall while paused") << paused << stallAt(paused.generation);
        QTest::newRow("failure of an older generation") << playing << failureAt(current - 1);
        QTest::newRow("failure of a newer generation") << playing << failureAt(current + 1);
        QTest::newRow("failure while paused") << paused << failureAt(paused.generation);
        QTest::newRow("failure while failed") << failed << failureAt(failed.generation);
        QTest::newRow("failure while interrupted")
            << interrupted << failureAt(interrupted.generation);
    }
    void reportsThatAreNotCurrentChangeNothing() {
        QFETCH(PlaybackState, before);
        QFETCH(PlaybackStep, report);
        PlaybackState state = before;
        report(state);
        QCOMPARE(state, before);
    }

    void interruptionHoldsPlaybackAndStaysWanted() {
        PlaybackState state = playingSince(5.0);
        state.retryAttempt = 2;
        state.recoveryStartedAt = 0.0;
        state.interrupt();

        PlaybackState expected = playingSince(5.0);
        expected.retryAttempt = 2;
        expected.recoveryStartedAt = 0.0;
        expected.generation += 1;
        expected.interruptedGeneration = expected.generation;
        expected.phase = PlaybackPhase::interrupted;
        expected.stableSince.reset();
        QCOMPARE(state, expected);
        QVERIFY(state.wantsPlayback);

        // The held state waits: no time-outs, no window, however long it lasts.
        QVERIFY(!state.tick(true, 500.0));
        QCOMPARE(state, expected);
    }

    void interruptionWithoutWishToPlayIsIgnored_data() {
        QTest::addColumn<PlaybackState>("before");
        PlaybackState paused = playingSince(5.0);
        paused.pause(PauseReason::routeLost);
        PlaybackState failed = startedAt(0.0);
        failed.fail(failed.generation, kRefused, true, std::nullopt, 1.0, 1.0);
        QTest::newRow("idle") << PlaybackState();
        QTest::newRow("paused") << paused;
        QTest::newRow("failed") << failed;
    }
    void interruptionWithoutWishToPlayIsIgnored() {
        QFETCH(PlaybackState, before);
        PlaybackState state = before;
        state.interrupt();
        QCOMPARE(state, before);
    }

    void endOfInterruptionResumesOnlyWhenBothAgree_data() {
        QTest::addColumn<bool>("shouldResume");
        QTest::addColumn<bool>("resumeAllowed");
        QTest::newRow("resume") << true << true;
        QTest::newRow("system says no") << false << true;
        QTest::newRow("not allowed") << true << false;
        QTest::newRow("neither") << false << false;
    }
    void endOfInterruptionResumesOnlyWhenBothAgree() {
        QFETCH(bool, shouldResume);
        QFETCH(bool, resumeAllowed);
        PlaybackState state = interruptedWhilePlaying();
        const PlaybackState before = state;
        const bool reconnect = state.endInterruption(shouldResume, resumeAllowed, 80.0);

        PlaybackState expected = before;
        if (shouldResume && resumeAllowed) {
            expected.start(80.0);
        } else {
            expected.generation += 1;
            expected.phase = PlaybackPhase::paused;
            expected.wantsPlayback = false;
            expected.pauseReason = PauseReason::user;
            expected.interruptedGeneration.reset();
        }
        QCOMPARE(reconnect, shouldResume && resumeAllowed);
        QCOMPARE(state, expected);
        if (reconnect) {
            QCOMPARE(state.phase, PlaybackPhase::connecting);
            QCOMPARE(state.generation, before.generation + 1);
            QCOMPARE(state.recoveryStartedAt, std::optional<double>(80.0));
        }
    }

    // Any transition since the interruption began makes its end stale.
    void aStaleEndOfInterruptionChangesNothing_data() {
        QTest::addColumn<PlaybackStep>("meanwhile");
        QTest::newRow("paused during the interruption")
            << PlaybackStep([](PlaybackState& s) { s.pause(PauseReason::user); });
        QTest::newRow("started during the interruption")
            << PlaybackStep([](PlaybackState& s) { s.start(30.0); });
        QTest::newRow("interruption already ended") << PlaybackStep(
            [](PlaybackState& s) { QVERIFY(!s.endInterruption(false, true, 30.0)); });
    }
    void aStaleEndOfInterruptionChangesNothing() {
        QFETCH(PlaybackStep, meanwhile);
        PlaybackState state = interruptedWhilePlaying();
        meanwhile(state);
        const PlaybackState before = state;
        QVERIFY(!state.endInterruption(true, true, 40.0));
        QCOMPARE(state, before);
    }

    void aSecondInterruptionTakesOver() {
        PlaybackState state = interruptedWhilePlaying();
        state.interrupt();
        QCOMPARE(state.interruptedGeneration, std::optional<std::int64_t>(state.generation));
        QVERIFY(state.endInterruption(true, true, 50.0));
        QCOMPARE(state.phase, PlaybackPhase::connecting);
    }
};

QTEST_GUILESS_MAIN(PlaybackStateTest)
#include "test_playback_state.moc"
