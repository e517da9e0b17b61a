#include "engine/RadioPlaybackEngine.h"

#include "engine/GstPlatformPlayer.h"
#include "engine/GstSupport.h"
#include "engine/StreamProbe.h"
#include "engine/StreamResponseError.h"
#include "engine/StreamSpectrumReader.h"
#include "nowplaying/RadioMetadataText.h"
#include "platform/HttpSession.h"
#include "stations/CatalogAddress.h"

#include <QPointer>

#include <cmath>

namespace orvanta {

RadioPlaybackEngine::RadioPlaybackEngine(Clock& clock, PlayerFactory makePlayer, Resolver resolve,
                                         SpectrumReader readSpectrum, QObject* parent)
    : QObject(parent),
      clock_(clock),
      makePlayer_(std::move(makePlayer)),
      resolve_(std::move(resolve)),
      readSpectrum_(std::move(readSpectrum)),
      spectrum_(std::make_shared<AudioSpectrumBuffer>(clock)),
      player_(makePlayer_()) {
    warmUpGStreamer();
    spectrum_->setAnalysisActive(spectrumActive_);
    lastProgress_ = clock_.now();
}

RadioPlaybackEngine::~RadioPlaybackEngine() {
    stop();
}

std::unique_ptr<RadioPlaybackEngine> RadioPlaybackEngine::makeDefault(Clock& clock) {
    auto probe = std::make_shared<StreamProbe>(HttpSession::shared(), clock);
    return std::make_unique<RadioPlaybackEngine>(
        clock, [] { return std::make_unique<GstPlatformPlayer>(); },
        [probe](WebUrl url, CancelToken token) -> Task<Outcome<WebUrl>> {
            const Outcome<StreamCheckResult> result = co_await probe->resolve(url, token);
            if (!result)
                co_return result.propagate<WebUrl>();
            co_return result->address;
        },
        [](const WebUrl& url, std::shared_ptr<AudioSpectrumBuffer> spectrum) {
            return std::shared_ptr<void>(
                std::make_shared<StreamSpectrumReader>(url.toQUrl(), std::move(spectrum)));
        });
}

EngineFailure RadioPlaybackEngine::failureOfCheck(const Failure& failure) {
    const bool tls = failure.isTLSFailure();
    const std::optional<StreamResponseError> response = StreamResponseError::from(failure);
    const bool permanentStatus = response && isPermanentStatus(response->status);
    return EngineFailure{permanentStatus || tls, tls ? tlsCheckFailed : temporarilyUnavailable,
                         response ? response->retryAfter : std::nullopt};
}

bool RadioPlaybackEngine::isLiveStreamKey(const QString& key) {
    return key == QLatin1String("/worship") || key == QLatin1String("/ukraine") ||
           key == QLatin1String("/lounge") || key == QLatin1String("/spotify");
}

void RadioPlaybackEngine::send(const EngineEvent& event, qint64 generation) {
    if (onEvent_)
        onEvent_(event, generation);
}

void RadioPlaybackEngine::setVolume(float volume) {
    player_->setVolume(clampedVolume(volume));
    if (live_)
        live_->setLiveVolume(liveVolume());
}

void RadioPlaybackEngine::setMuted(bool muted) {
    player_->setMuted(muted);
    if (live_)
        live_->setLiveVolume(liveVolume());
}

void RadioPlaybackEngine::setSpectrumActive(bool active) {
    if (active == spectrumActive_)
        return;
    spectrumActive_ = active;
    spectrum_->setAnalysisActive(active);
}

void RadioPlaybackEngine::play(const WebUrl& url, qint64 generation) {
    stop();
    activeGeneration_ = generation;
    const WebUrl canonical = canonicalStreamURL(url);
    std::optional<QString> key = catalogPath(canonical);
    if (key == QLatin1String("/spotify.mp3"))
        key = QStringLiteral("/spotify");
    if (key && isLiveStreamKey(*key)) {
        lastProgress_ = clock_.now();
        lastTime_ = 0;
        QPointer<RadioPlaybackEngine> engine(this);
        // Live events arrive on the live thread; each is re-checked on the
        // main thread against the attempt that is current by then.
        auto onMain = [engine, generation](auto action) {
            QMetaObject::invokeMethod(
                engine.data(),
                [engine, generation, action] {
                    if (!engine || engine->activeGeneration_ != generation || !engine->live_)
                        return;
                    action(*engine);
                },
                Qt::QueuedConnection);
        };
        LiveMP3Playback::Callbacks callbacks{
            [onMain] {
                onMain([](RadioPlaybackEngine& e) {
                    e.send(EngineEvent::playing(), *e.activeGeneration_);
                });
            },
            [onMain](const QString& title) {
                onMain([title](RadioPlaybackEngine& e) {
                    e.send(
                        EngineEvent::metadata(StreamSongFields{title, std::nullopt, std::nullopt}),
                        *e.activeGeneration_);
                });
            },
            [onMain, url] {
                onMain([url](RadioPlaybackEngine& e) {
                    e.fallBackToPlatform(url, *e.activeGeneration_);
                });
            }};
        liveUrl_ = canonical;
        live_ =
            std::make_unique<LiveMP3Playback>(canonical.toQUrl(), spectrum_, std::move(callbacks));
        live_->startLive(liveVolume());
        return;
    }
    runPlatformPath(url, generation);
}

void RadioPlaybackEngine::fallBackToPlatform(const WebUrl& url, qint64 generation) {
    if (live_) {
        live_->stopLive();
        live_.reset();
    }
    spectrum_->resetMotion();
    send(EngineEvent::buffering(), generation);
    runPlatformPath(url, generation);
}

void RadioPlaybackEngine::runPlatformPath(const WebUrl& url, qint64 generation) {
    probeTask_.emplace();
    detach(probeAndAttach(url, generation, probeTask_->token()));
}

Task<Done> RadioPlaybackEngine::probeAndAttach(WebUrl url, qint64 generation, CancelToken token) {
    QPointer<RadioPlaybackEngine> engine(this);
    const Outcome<WebUrl> resolved = co_await resolve_(url, token);
    if (resolved.cancelled() || token.isCancelled())
        co_return Done{};
    if (!engine || engine->activeGeneration_ != generation)
        co_return Done{};
    if (resolved.ok()) {
        engine->attach(*resolved, generation);
        co_return Done{};
    }
    engine->send(EngineEvent::failed(failureOfCheck(resolved.failure())), generation);
    co_return Done{};
}

void RadioPlaybackEngine::connectPlayer(qint64 generation) {
    // Player reports carry the generation of the item they belong to; the
    // coordinator drops those of an older attempt.
    PlatformPlayer::Callbacks callbacks;
    callbacks.timeControlChanged = [this, generation](PlatformPlayer::TimeControl control) {
        if (control == PlatformPlayer::TimeControl::waiting)
            send(EngineEvent::buffering(), generation);
        if (control == PlatformPlayer::TimeControl::playing)
            send(EngineEvent::playing(), generation);
    };
    callbacks.itemFailed = [this, generation](const Failure& failure) {
        const bool tls = failure.isTLSFailure();
        send(EngineEvent::failed(EngineFailure{tls, tls ? unavailable : streamError, std::nullopt}),
             generation);
    };
    callbacks.playedToEnd = [this, generation] {
        send(EngineEvent::failed(EngineFailure{false, streamEnded, std::nullopt}), generation);
    };
    callbacks.position = [this, generation](double seconds) {
        if (activeGeneration_ != generation)
            return;
        if (std::isfinite(seconds) && seconds > lastTime_) {
            lastTime_ = seconds;
            lastProgress_ = clock_.now();
        }
    };
    callbacks.metadata = [this, generation](const QList<TimedMetadataItem>& items, double start) {
        if (activeGeneration_ != generation)
            return;
        if (auto fields = mergeTimedMetadata(timed_, fieldsOfGroup(items), start)) {
            send(EngineEvent::metadata(*fields), generation);
        }
    };
    player_->setCallbacks(std::move(callbacks));
}

void RadioPlaybackEngine::attach(const WebUrl& url, qint64 generation) {
    timed_ = TimedFieldsState{};
    connectPlayer(generation);
    // The tap goes in while the player is still idle: once an item is
    // attached the player's streaming threads may already be feeding it.
    if (!player_->installSpectrumTap(spectrum_) && readSpectrum_) {
        spectrumTask_ = readSpectrum_(url, spectrum_);
    }
    player_->attach(url.toQUrl());
    lastTime_ = 0;
    lastProgress_ = clock_.now();
    player_->play();
}

void RadioPlaybackEngine::stop() {
    if (live_) {
        live_->stopLive();
        live_.reset();
    }
    spectrumTask_.reset();
    spectrum_->resetMotion();
    if (probeTask_) {
        probeTask_->cancel();
        probeTask_.reset();
    }
    activeGeneration_.reset();
    player_->setCallbacks({});
    player_->clear();
}

void RadioPlaybackEngine::resetPlayer() {
    const float volume = player_->volume();
    const bool muted = player_->isMuted();
    stop();
    player_ = makePlayer_();
    player_->setVolume(volume);
    player_->setMuted(muted);
}

void RadioPlaybackEngine::checkProgress() {
    if (!activeGeneration_)
        return;
    const double now = clock_.now();
    if (live_) {
        const double played = live_->playedSeconds();
        if (played > lastTime_) {
            lastTime_ = played;
            lastProgress_ = now;
        } else if (now - lastProgress_ > liveStallSeconds) {
            fallBackToPlatform(liveUrl_, *activeGeneration_);
        }
        return;
    }
    if (player_->timeControl() == PlatformPlayer::TimeControl::playing &&
        now - lastProgress_ >= platformStallSeconds) {
        send(EngineEvent::failed(EngineFailure{false, noAudio, std::nullopt}), *activeGeneration_);
    }
}

StreamSongFields RadioPlaybackEngine::fieldsOfGroup(const QList<TimedMetadataItem>& items) {
    StreamSongFields fields;
    for (const TimedMetadataItem& item : items) {
        if (!item.value)
            continue;  // an unreadable value skips the item
        const QString identifier = item.identifier.toLower();
        const QString& value = *item.value;
        const bool usable = !RadioMetadataText::clean(value).isEmpty();
        if (identifier == QLatin1String("icy/streamtitle")) {
            fields.streamTitle = value;
        } else if (item.commonKey == QLatin1String("artist") ||
                   identifier == QLatin1String("id3/tpe1") ||
                   identifier == QLatin1String("icy/artist") ||
                   identifier == QLatin1String("icy/streamartist")) {
            if (usable)
                fields.artist = value;
        } else if (item.commonKey == QLatin1String("title") ||
                   identifier == QLatin1String("id3/tit2") ||
                   identifier == QLatin1String("icy/title")) {
            if (usable)
                fields.title = value;
        }
    }
    return fields;
}

std::optional<StreamSongFields> RadioPlaybackEngine::mergeTimedMetadata(
    TimedFieldsState& state, const StreamSongFields& group, double time) {
    if (!group.streamTitle && !group.title && !group.artist)
        return std::nullopt;
    if (std::isfinite(time) && time < state.time)
        return std::nullopt;
    const bool sameTime = std::isfinite(time) && time == state.time;
    auto compatible = [](const std::optional<QString>& a, const std::optional<QString>& b) {
        return !a || !b || *a == *b;
    };
    if (sameTime && compatible(group.title, state.fields.title) &&
        compatible(group.streamTitle, state.fields.streamTitle)) {
        if (group.streamTitle)
            state.fields.streamTitle = group.streamTitle;
        if (group.title)
            state.fields.title = group.title;
        if (group.artist)
            state.fields.artist = group.artist;
    } else {
        state.fields = group;
    }
    if (std::isfinite(time))
        state.time = time;
    if (state.fields.title || state.fields.streamTitle)
        return state.fields;
    return std::nullopt;
}

}  // namespace orvanta
