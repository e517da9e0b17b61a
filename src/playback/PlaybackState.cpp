#include "playback/PlaybackState.h"

#include <algorithm>

namespace orvanta {

QString name(PauseReason reason) {
    switch (reason) {
        case PauseReason::user:
            return QStringLiteral("user");
        case PauseReason::routeLost:
            return QStringLiteral("routeLost");
        case PauseReason::catalog:
            return QStringLiteral("catalog");
        case PauseReason::mediaReset:
            return QStringLiteral("mediaReset");
    }
    return {};
}

QString rawValue(PlaybackPhase phase) {
    switch (phase) {
        case PlaybackPhase::idle:
            return QStringLiteral("idle");
        case PlaybackPhase::connecting:
            return QStringLiteral("connecting");
        case PlaybackPhase::playing:
            return QStringLiteral("playing");
        case PlaybackPhase::buffering:
            return QStringLiteral("buffering");
        case PlaybackPhase::reconnecting:
            return QStringLiteral("reconnecting");
        case PlaybackPhase::paused:
            return QStringLiteral("paused");
        case PlaybackPhase::interrupted:
            return QStringLiteral("interrupted");
        case PlaybackPhase::failed:
            return QStringLiteral("failed");
    }
    return {};
}

void PlaybackState::start(double now) {
    generation += 1;
    phase = PlaybackPhase::connecting;
    wantsPlayback = true;
    retryAttempt = 0;
    retryAt.reset();
    recoveryStartedAt = now;
    attemptStartedAt = now;
    stableSince.reset();
    pauseReason.reset();
    lastError.reset();
    interruptedGeneration.reset();
}

void PlaybackState::pause(PauseReason reason) {
    // retryAttempt, recoveryStartedAt and lastError are kept: the pause does
    // not pretend the last failure never happened.
    generation += 1;
    phase = PlaybackPhase::paused;
    wantsPlayback = false;
    pauseReason = reason;
    retryAt.reset();
    attemptStartedAt.reset();
    stableSince.reset();
    interruptedGeneration.reset();
}

bool PlaybackState::accepts(std::int64_t reportGeneration) const {
    return reportGeneration == generation && wantsPlayback && phase != PlaybackPhase::interrupted &&
           phase != PlaybackPhase::failed;
}

void PlaybackState::markPlaying(std::int64_t reportGeneration, double now) {
    if (!accepts(reportGeneration)) {
        return;
    }
    // A repeated playing report must not restart the stable-play stretch.
    if (phase != PlaybackPhase::playing) {
        stableSince = now;
    }
    phase = PlaybackPhase::playing;
    attemptStartedAt.reset();
    retryAt.reset();
    lastError.reset();
    // The episode stays open until playback has been stable long enough; a
    // stream that plays for a moment and drops again keeps its back-off.
}

void PlaybackState::markBuffering(std::int64_t reportGeneration, double now) {
    // Before the first playing report there is nothing to stall: the attempt
    // time-out covers a slow connection.
    if (reportGeneration != generation || !wantsPlayback || phase != PlaybackPhase::playing) {
        return;
    }
    phase = PlaybackPhase::buffering;
    attemptStartedAt = now;
    stableSince.reset();
    if (!recoveryStartedAt) {
        recoveryStartedAt = now;
    }
}

void PlaybackState::fail(std::int64_t reportGeneration, const QString& message, bool permanent,
                         std::optional<double> retryAfter, double now, double delayScale) {
    if (!accepts(reportGeneration)) {
        return;
    }
    endAttempt(message, now);
    if (!permanent && mayRetry(now)) {
        const double delay = std::max(backoffDelay() * delayScale, retryAfter.value_or(0.0));
        if (scheduleRetry(now + delay)) {
            return;
        }
    }
    // retryAttempt is raised when a retry fires, not here.
    giveUp();
}

bool PlaybackState::tick(bool networkAvailable, double now) {
    if (!wantsPlayback || phase == PlaybackPhase::interrupted) {
        return false;
    }

    if (stableSince && phase == PlaybackPhase::playing && now - *stableSince >= stablePlayback) {
        retryAttempt = 0;
        recoveryStartedAt.reset();
    }

    if (recoveryStartedAt && phase != PlaybackPhase::playing &&
        now - *recoveryStartedAt >= recoveryWindow) {
        giveUp();
        return false;
    }

    if (attemptStartedAt) {
        const bool stalled = phase == PlaybackPhase::buffering;
        const double limit = stalled ? stallTimeout : attemptTimeout;
        if (now - *attemptStartedAt >= limit) {
            endAttempt(timeoutMessage, now);
            // Time-outs are the machine's own verdict: no jitter, no minimum.
            if (!mayRetry(now) || !scheduleRetry(now + backoffDelay())) {
                giveUp();
                return false;
            }
        } else if (stalled) {
            return false;
        }
    }

    if (phase == PlaybackPhase::reconnecting && networkAvailable && retryAt && now >= *retryAt) {
        retryAttempt += 1;
        generation += 1;
        phase = PlaybackPhase::connecting;
        retryAt.reset();
        attemptStartedAt = now;
        return true;
    }
    // Without a network a due retry waits; the window above still ends the episode.
    return false;
}

void PlaybackState::retryNow(double now) {
    if (phase == PlaybackPhase::reconnecting) {
        retryAt = now;
    }
}

void PlaybackState::interrupt() {
    if (!wantsPlayback) {
        return;
    }
    generation += 1;
    interruptedGeneration = generation;
    phase = PlaybackPhase::interrupted;
    retryAt.reset();
    attemptStartedAt.reset();
    stableSince.reset();
}

bool PlaybackState::endInterruption(bool shouldResume, bool resumeAllowed, double now) {
    // Any transition since the interruption began (a pause, a new start) has
    // raised the generation and makes this end stale.
    if (phase != PlaybackPhase::interrupted || !wantsPlayback ||
        interruptedGeneration != generation) {
        return false;
    }
    if (shouldResume && resumeAllowed) {
        start(now);
        return true;
    }
    generation += 1;
    phase = PlaybackPhase::paused;
    wantsPlayback = false;
    pauseReason = PauseReason::user;
    retryAt.reset();
    attemptStartedAt.reset();
    stableSince.reset();
    interruptedGeneration.reset();
    return false;
}

void PlaybackState::endAttempt(const QString& message, double now) {
    generation += 1;
    stableSince.reset();
    attemptStartedAt.reset();
    lastError = message;
    if (!recoveryStartedAt) {
        recoveryStartedAt = now;
    }
}

bool PlaybackState::mayRetry(double now) const {
    return retryAttempt <= lastRetryIndex && now - *recoveryStartedAt < recoveryWindow;
}

double PlaybackState::backoffDelay() const {
    // Clamped so that a record assembled by hand can never index out of range.
    const auto index = std::clamp<std::int64_t>(retryAttempt, 0, lastRetryIndex);
    return retryDelays[static_cast<std::size_t>(index)];
}

bool PlaybackState::scheduleRetry(double at) {
    phase = PlaybackPhase::reconnecting;
    retryAt = at;
    return at < *recoveryStartedAt + recoveryWindow;
}

void PlaybackState::giveUp() {
    phase = PlaybackPhase::failed;
    wantsPlayback = false;
    retryAt.reset();
    attemptStartedAt.reset();
}

}  // namespace orvanta
