#pragma once

#include "platform/Failure.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace orvanta {

class AudioSpectrumBuffer;

// One item of a timed metadata group: an identifier such as
// "icy/streamtitle" or "id3/tit2", a common key such as "title" or "artist",
// and its text.
struct TimedMetadataItem {
    QString identifier;
    QString commonKey;
    std::optional<QString> value;  // none when the value could not be read

    friend bool operator==(const TimedMetadataItem&, const TimedMetadataItem&) = default;
};

// The platform's stream player as the engine uses it: it plays one HTTPS
// stream or HLS address at a time and reports, on the main thread, what the
// engine needs to know. `attach` replaces the current item.
class PlatformPlayer {
public:
    enum class TimeControl { paused, waiting, playing };

    struct Callbacks {
        std::function<void(TimeControl)> timeControlChanged;
        std::function<void(const Failure&)> itemFailed;
        std::function<void()> playedToEnd;
        // The playback position in seconds, about once a second while attached.
        std::function<void(double)> position;
        // A group of metadata items timed at `startSeconds` of the stream.
        std::function<void(const QList<TimedMetadataItem>&, double startSeconds)> metadata;
    };

    virtual ~PlatformPlayer() = default;

    virtual void setCallbacks(Callbacks callbacks) = 0;
    virtual void attach(const QUrl& url) = 0;
    virtual void play() = 0;
    // Pauses and removes the current item; no callback follows.
    virtual void clear() = 0;
    virtual TimeControl timeControl() const = 0;

    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;

    // Feeds the audio that is played into `spectrum`; false when this player
    // cannot reach its decoded audio. Called while no item is attached, before
    // `attach`, since an attached item's audio may already be flowing.
    virtual bool installSpectrumTap(std::shared_ptr<AudioSpectrumBuffer> spectrum) = 0;
};

}  // namespace orvanta
