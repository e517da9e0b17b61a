#pragma once

#include "engine/AudioSpectrumBuffer.h"
#include "engine/LiveMP3Playback.h"
#include "engine/PlatformPlayer.h"
#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/Outcome.h"
#include "platform/Task.h"
#include "playback/PlaybackEngine.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace orvanta {

// Plays one stream address per generation and reports what happens. The
// catalog server's own MP3 programmes play through the live MP3 player;
// everything else, and a live stream that fails or stalls, through the
// platform player after a header-only stream check. Main thread only.
class RadioPlaybackEngine : public QObject, public PlaybackEngine {
    Q_OBJECT

public:
    // The stream check: the address to play, or why not.
    using Resolver = std::function<Task<Outcome<WebUrl>>(WebUrl url, CancelToken token)>;
    using PlayerFactory = std::function<std::unique_ptr<PlatformPlayer>()>;
    // A spectrum source for streams the player cannot tap; it runs until the
    // handle it returns is dropped.
    using SpectrumReader = std::function<std::shared_ptr<void>(
        const WebUrl& url, std::shared_ptr<AudioSpectrumBuffer> spectrum)>;

    RadioPlaybackEngine(Clock& clock, PlayerFactory makePlayer, Resolver resolve,
                        SpectrumReader readSpectrum = {}, QObject* parent = nullptr);
    // The engine of the application: GStreamer's player, the stream check
    // over the shared HTTP client, and the stream spectrum reader.
    static std::unique_ptr<RadioPlaybackEngine> makeDefault(Clock& clock = Clock::system());
    ~RadioPlaybackEngine() override;

    float volume() const override { return player_->volume(); }
    void setVolume(float volume) override;
    bool isMuted() const override { return player_->isMuted(); }
    void setMuted(bool muted) override;
    const EventHandler& onEvent() const override { return onEvent_; }
    void setOnEvent(EventHandler handler) override { onEvent_ = std::move(handler); }
    std::shared_ptr<AudioSpectrumBuffer> spectrum() const override { return spectrum_; }
    void play(const WebUrl& url, qint64 generation) override;
    void stop() override;
    void resetPlayer() override;
    void checkProgress() override;
    void setSpectrumActive(bool active) override;

    // Which path the current attempt takes: the own live player or not.
    bool isOnLivePath() const { return live_ != nullptr; }

    static constexpr double liveStallSeconds = 5.0;
    static constexpr double platformStallSeconds = 10.0;

    // Message texts.
    static inline const QString tlsCheckFailed =
        QStringLiteral("Не вдалося перевірити захищене з’єднання");
    static inline const QString temporarilyUnavailable =
        QStringLiteral("Потік тимчасово недоступний");
    static inline const QString unavailable = QStringLiteral("Потік недоступний");
    static inline const QString streamError = QStringLiteral("Помилка аудіопотоку");
    static inline const QString streamEnded = QStringLiteral("Ефір завершив з’єднання");
    static inline const QString noAudio = QStringLiteral("Ефір не надходить");

    // What the listener is told when the stream check fails.
    static EngineFailure failureOfCheck(const Failure& failure);

    // Stream keys of the catalog server's programmes that the live path plays.
    static bool isLiveStreamKey(const QString& key);

    // Merges one timed metadata group into the fields of the newest time.
    // Returns the fields to report, if any.
    struct TimedFieldsState {
        StreamSongFields fields;
        double time = -std::numeric_limits<double>::infinity();
    };
    static std::optional<StreamSongFields> mergeTimedMetadata(TimedFieldsState& state,
                                                              const StreamSongFields& group,
                                                              double time);
    // The fields of one group of items.
    static StreamSongFields fieldsOfGroup(const QList<TimedMetadataItem>& items);

private:
    void send(const EngineEvent& event, qint64 generation);
    void fallBackToPlatform(const WebUrl& url, qint64 generation);
    void runPlatformPath(const WebUrl& url, qint64 generation);
    Task<Done> probeAndAttach(WebUrl url, qint64 generation, CancelToken token);
    void attach(const WebUrl& url, qint64 generation);
    void connectPlayer(qint64 generation);
    float liveVolume() const { return player_->isMuted() ? 0.0f : player_->volume(); }

    Clock& clock_;
    PlayerFactory makePlayer_;
    Resolver resolve_;
    SpectrumReader readSpectrum_;
    EventHandler onEvent_;
    std::shared_ptr<AudioSpectrumBuffer> spectrum_;
    std::unique_ptr<PlatformPlayer> player_;
    std::unique_ptr<LiveMP3Playback> live_;
    WebUrl liveUrl_;
    std::optional<CancelSource> probeTask_;
    std::shared_ptr<void> spectrumTask_;
    std::optional<qint64> activeGeneration_;
    TimedFieldsState timed_;
    bool spectrumActive_ = true;
    double lastTime_ = 0;
    double lastProgress_ = 0;
};

}  // namespace orvanta
