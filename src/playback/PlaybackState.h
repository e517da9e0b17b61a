#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace orvanta {

// What the player is doing right now.
enum class PlaybackPhase {
    idle,          // nothing was started yet
    connecting,    // an attempt is open and has not reported playing
    playing,       // the engine reports sound
    buffering,     // playback started, then stalled; waiting for data
    reconnecting,  // the last attempt failed; a retry is due at retryAt
    paused,        // the user or the system stopped playback
    interrupted,   // an audio interruption holds playback
    failed,        // recovery gave up or the failure was permanent
};

// The phase's name as written in the playback log line ("idle", "connecting", ...).
QString rawValue(PlaybackPhase phase);

// Why playback is paused.
enum class PauseReason {
    user,        // the listener paused
    routeLost,   // the audio output went away
    catalog,     // nothing playable is selected
    mediaReset,  // the platform's media services were reset
};

// The reason's name as written in code, e.g. "routeLost" (for views and logs).
QString name(PauseReason reason);

// The single record of what the player does and should do next. It is a plain
// value: every recovery decision (back-off, time-outs, the recovery window, the
// reset after stable play) is taken inside these operations, so the owner only
// feeds in engine reports and the current time and acts on the results.
//
// Instants are seconds on the owner's monotonic clock. Engine reports carry the
// generation under which their connection was opened; reports of any other
// generation are stale and change nothing.
struct PlaybackState {
    // Back-off before retry number retryAttempt of an episode.
    static constexpr std::array<double, 5> retryDelays{1.0, 2.0, 4.0, 8.0, 15.0};
    // A failure with retryAttempt beyond this index is final.
    static constexpr std::int64_t lastRetryIndex = 4;
    // An episode that lasts this long, or whose next retry would fall at or
    // beyond its end, gives up.
    static constexpr double recoveryWindow = 120.0;
    // Playing this long without a stall ends the recovery episode.
    static constexpr double stablePlayback = 30.0;
    // An attempt that has not reported playing within this time fails.
    static constexpr double attemptTimeout = 15.0;
    // A stall that lasts this long fails.
    static constexpr double stallTimeout = 10.0;
    // lastError of an attempt or stall that timed out.
    static inline const QString timeoutMessage = QStringLiteral("З’єднання не відповідає");

    PlaybackPhase phase = PlaybackPhase::idle;
    bool wantsPlayback = false;
    std::int64_t generation = 0;
    std::int64_t retryAttempt = 0;
    std::optional<double> retryAt;
    std::optional<double> recoveryStartedAt;
    std::optional<double> attemptStartedAt;
    std::optional<double> stableSince;
    std::optional<PauseReason> pauseReason;
    std::optional<QString> lastError;
    std::optional<std::int64_t> interruptedGeneration;

    // Begins a fresh attempt at the listener's request.
    void start(double now);
    // Stops wanting playback.
    void pause(PauseReason reason);
    // Whether an engine report of `reportGeneration` is still current.
    bool accepts(std::int64_t reportGeneration) const;
    // The engine reports sound.
    void markPlaying(std::int64_t reportGeneration, double now);
    // The engine reports a stall.
    void markBuffering(std::int64_t reportGeneration, double now);
    // The current attempt failed. `retryAfter` is a minimum delay from now that
    // the server asked for; `delayScale` spreads the back-off delay.
    void fail(std::int64_t reportGeneration, const QString& message, bool permanent,
              std::optional<double> retryAfter, double now, double delayScale);
    // The once-a-second step; true when a new connection is to be opened now.
    bool tick(bool networkAvailable, double now);
    // Brings a scheduled retry forward to now.
    void retryNow(double now);
    // An audio interruption begins.
    void interrupt();
    // The interruption ended; true when a new connection is to be opened now.
    bool endInterruption(bool shouldResume, bool resumeAllowed, double now);

    friend bool operator==(const PlaybackState&, const PlaybackState&) = default;

private:
    // Common start of a failure and a time-out: the attempt is over and its
    // reports become stale; the episode starts now unless one is running.
    void endAttempt(const QString& message, double now);
    // Whether another retry fits the episode's count and window.
    bool mayRetry(double now) const;
    // The back-off before the next retry of this episode.
    double backoffDelay() const;
    // Schedules the retry at `at`; false when it would fall at or beyond the
    // end of the episode's window.
    bool scheduleRetry(double at);
    // Recovery is over: only a new start leaves this state.
    void giveUp();
};

}  // namespace orvanta
