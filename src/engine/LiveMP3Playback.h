#pragma once

#include "engine/AudioSpectrumBuffer.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QThread;

namespace orvanta {

class LiveMP3Worker;

// The program's own player for the catalog server's MP3 streams: one HTTP
// connection with ICY metadata, demultiplexed and decoded here, played
// through an AudioOutput, with every in-band title reported once the audio
// that followed it has been heard.
//
// All its state lives on its own thread "com.orvanta.radio.live-audio".
// `startLive` and `setLiveVolume` are asynchronous; `stopLive` and
// `playedSeconds` are synchronous and meant for the main thread, so nothing
// on the live thread ever waits for the main thread. Callbacks run on the
// live thread; after `stopLive` none runs.
class LiveMP3Playback {
public:
    struct Callbacks {
        std::function<void()> playing;              // once, after the first buffer was heard
        std::function<void(const QString&)> title;  // an in-band StreamTitle
        std::function<void()> failed;               // once; the player is finished
    };

    // Every buffer heard is analysed into `spectrum` (may be null).
    LiveMP3Playback(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum, Callbacks callbacks);
    ~LiveMP3Playback();
    LiveMP3Playback(const LiveMP3Playback&) = delete;
    LiveMP3Playback& operator=(const LiveMP3Playback&) = delete;

    const QUrl& url() const { return url_; }
    void startLive(float volume);
    void setLiveVolume(float volume);
    void stopLive();
    double playedSeconds() const;
    // Seconds received and scheduled but not yet heard.
    double queuedSeconds() const;

    static constexpr double startThreshold = 0.08;  // seconds queued before playback starts
    static constexpr double maxQueued = 15.0;       // seconds queued that mean nobody plays them
    static inline const char* const failureMessage = "Потік тимчасово недоступний";

private:
    QUrl url_;
    std::unique_ptr<QThread> thread_;
    LiveMP3Worker* worker_;
};

}  // namespace orvanta
