#pragma once

#include "playback/EngineEvent.h"
#include "stations/WebUrl.h"

#include <QtGlobal>

#include <cmath>
#include <functional>
#include <memory>

namespace orvanta {

class AudioSpectrumBuffer;

// The stream player as the coordinator sees it. Used on the main thread;
// events arrive there too, tagged with the generation of the attempt that
// produced them. The engine never retries by itself, and stopping or
// replacing an attempt produces no event.
class PlaybackEngine {
public:
    using EventHandler = std::function<void(const EngineEvent& event, qint64 generation)>;

    virtual ~PlaybackEngine() = default;

    virtual float volume() const = 0;
    // Clamps to 0…1: negative or not-a-number gives 0, above 1 gives 1.
    virtual void setVolume(float volume) = 0;
    virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;

    virtual const EventHandler& onEvent() const = 0;
    virtual void setOnEvent(EventHandler handler) = 0;

    // The spectrum levels shared with the spectrum view.
    virtual std::shared_ptr<AudioSpectrumBuffer> spectrum() const = 0;

    // Ends any current attempt and starts one for `url` tagged `generation`.
    virtual void play(const WebUrl& url, qint64 generation) = 0;
    virtual void stop() = 0;
    // Stops and replaces the underlying platform player, keeping volume and mute.
    virtual void resetPlayer() = 0;
    // The stall watchdog, called from the coordinator's once-a-second tick.
    virtual void checkProgress() = 0;
    virtual void setSpectrumActive(bool active) = 0;

    static float clampedVolume(float volume) {
        if (std::isnan(volume) || volume < 0.0f)
            return 0.0f;
        return volume > 1.0f ? 1.0f : volume;
    }
};

}  // namespace orvanta
