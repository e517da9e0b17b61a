#include "playback/PlaybackCoordinator.h"

#include <QRandomGenerator>

namespace orvanta {

void PlaybackCoordinator::startMonitoring() {
    if (ticker_)
        return;
    monitor_ = options_.makeNetworkWatch ? options_.makeNetworkWatch() : makeSystemNetworkWatch();
    if (monitor_) {
        monitor_->setOnChange([alive = alive(), this](bool reachable) {
            if (!alive.expired())
                networkChanged(reachable);
        });
    }
    ticker_ = std::make_unique<RepeatingTimer>(clock_, 1.0, [this] { tickStep(); });
    ticker_->start();
    // The watch reports changes only; a computer that starts offline has to
    // be told once.
    if (monitor_ && !monitor_->isReachable())
        networkChanged(false);
    detach(refreshGenres());
}

void PlaybackCoordinator::handleEngineEvent(const EngineEvent& event, qint64 generation) {
    // Reports of a replaced, paused or finally failed attempt are dropped
    // without a trace: the generation is the only order between the engine's
    // callbacks and our own transitions.
    if (!state_.accepts(generation))
        return;
    switch (event.kind) {
        case EngineEvent::Kind::playing:
            changeState([&](PlaybackState& state) { state.markPlaying(generation, now()); });
            announce();
            break;
        case EngineEvent::Kind::buffering:
            changeState([&](PlaybackState& state) { state.markBuffering(generation, now()); });
            announce();
            break;
        case EngineEvent::Kind::failed: {
            const EngineFailure& failure = event.failure;
            const double delayScale = nextDelayScale();
            changeState([&](PlaybackState& state) {
                state.fail(generation, failure.message, failure.permanent, failure.retryAfter,
                           now(), delayScale);
            });
            engine_.stop();
            resetNowPlaying(false);
            if (failure.permanent) {
                // The catalog may have moved the station to a new address.
                detach(loadCatalog());
            }
            announce();
            break;
        }
        case EngineEvent::Kind::metadata:
            handleStreamMetadata(event.fields);
            break;
    }
}

void PlaybackCoordinator::tickStep() {
    engine_.checkProgress();
    const PlaybackPhase before = state_.phase;
    const bool startNow =
        changeState([&](PlaybackState& state) { return state.tick(networkAvailable_, now()); });
    if (startNow) {
        connect();
    } else if (state_.phase == PlaybackPhase::reconnecting ||
               state_.phase == PlaybackPhase::failed) {
        engine_.stop();
    }
    if (state_.phase != before) {
        if (state_.phase == PlaybackPhase::failed || state_.phase == PlaybackPhase::reconnecting)
            resetNowPlaying(false);
        announce();
    }
    recomputeTrack();
    refreshCatalogIfDue();
}

void PlaybackCoordinator::refreshCatalogIfDue() {
    const bool visible = catalogIsVisible_;
    if (!visible && !state_.wantsPlayback)
        return;
    const double interval = visible ? visibleCatalogRefreshInterval : playingCatalogRefreshInterval;
    const bool loadRunning = loading_.isValid() && !loading_.isDone();
    if (now() - lastCatalogRefresh_ >= interval && !loadRunning)
        detach(loadCatalog());
}

void PlaybackCoordinator::networkChanged(bool satisfied) {
    if (satisfied && !networkAvailable_) {
        changeState([&](PlaybackState& state) { state.retryNow(now()); });
        requestLibrarySync();
    }
    networkAvailable_ = satisfied;
    tickStep();
}

void PlaybackCoordinator::beginInterruption() {
    if (!state_.wantsPlayback)
        return;
    changeState([](PlaybackState& state) { state.interrupt(); });
    engine_.stop();
    resetNowPlaying(false);
    announce();
}

void PlaybackCoordinator::endInterruption(bool shouldResume, bool resumeAllowed) {
    const bool startNow = changeState([&](PlaybackState& state) {
        return state.endInterruption(shouldResume, resumeAllowed, now());
    });
    if (startNow)
        connect();
    announce();
}

void PlaybackCoordinator::mediaServicesReset() {
    changeState([](PlaybackState& state) { state.pause(PauseReason::mediaReset); });
    engine_.resetPlayer();
    resetNowPlaying(false);
    announce();
}

double PlaybackCoordinator::nextDelayScale() const {
    if (options_.randomDelayScale)
        return options_.randomDelayScale();
    // Spreads the retries of many listeners after a server outage.
    return 0.9 + 0.2 * QRandomGenerator::global()->generateDouble();
}

}  // namespace orvanta
