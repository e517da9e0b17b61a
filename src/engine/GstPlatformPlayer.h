#pragma once

#include "engine/AudioSpectrumBuffer.h"
#include "engine/PlatformPlayer.h"
#include "engine/SpectrumProcessor.h"
#include "platform/Task.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;
typedef struct _GstPad GstPad;
typedef struct _GstPadProbeInfo GstPadProbeInfo;

namespace orvanta {

// The platform player over GStreamer's playbin. How GStreamer's reports map
// onto the player's:
// - time control: play() and BUFFERING < 100 % → waiting (the pipeline is
//   held paused while buffering); the pipeline reaching PLAYING (and
//   BUFFERING 100 %) → playing; clear() → paused;
// - item failure: an ERROR message, with TLS problems mapped into the
//   −1206…−1200 range;
// - end of the stream: EOS;
// - position: the pipeline's position, queried once a second;
// - timed metadata: tag events seen where the audio leaves for the sink (so
//   they travel with the audio they belong to), timed at the position then:
//   a title from an ICY stream → identifier "icy/streamtitle"; from ID3 tags
//   (HLS) → "id3/tit2" and "id3/tpe1"; any other title or artist tag → the
//   common keys "title" and "artist".
// The bus is watched from the Qt main loop; everything reaches the engine on
// the main thread. Audio goes through audioconvert to 32-bit float and then
// to the sink named by ORVANTA_AUDIO_SINK; the spectrum tap sits just before
// the sink, after volume.
class GstPlatformPlayer : public QObject, public PlatformPlayer {
    Q_OBJECT

public:
    explicit GstPlatformPlayer(QObject* parent = nullptr);
    ~GstPlatformPlayer() override;

    void setCallbacks(Callbacks callbacks) override { callbacks_ = std::move(callbacks); }
    void attach(const QUrl& url) override;
    void play() override;
    void clear() override;
    TimeControl timeControl() const override { return timeControl_; }
    float volume() const override { return volume_; }
    void setVolume(float volume) override;
    bool isMuted() const override { return muted_; }
    void setMuted(bool muted) override;

    // Analyses the audio that is played into `spectrum`, from the streaming
    // thread, without allocating or waiting. False when no tap can be placed.
    bool installSpectrumTap(std::shared_ptr<AudioSpectrumBuffer> spectrum) override;
    bool isReady() const { return pipeline_ != nullptr; }

private:
    static int busCallback(GstBus* bus, GstMessage* message, void* self);
    static unsigned int padProbe(GstPad* pad, GstPadProbeInfo* info, void* self);
    static void elementSetup(GstElement* playbin, GstElement* element, void* self);
    void handleMessage(GstMessage* message);
    void setTimeControl(TimeControl control);
    void reportPosition();
    Task<Done> reportFailure(QUrl url, Failure failure, quint64 serial);

    Callbacks callbacks_;
    GstElement* pipeline_ = nullptr;
    GstPad* tapPad_ = nullptr;
    unsigned int busWatch_ = 0;
    QTimer positionTimer_;
    TimeControl timeControl_ = TimeControl::paused;
    float volume_ = 1.0f;
    bool muted_ = false;
    bool attached_ = false;
    QUrl currentUrl_;
    bool buffering_ = false;
    // Raised by every attach/clear; reports of older items are dropped.
    std::atomic<quint64> itemSerial_{0};
    // What kind of tags the current item carries; written by element-setup
    // on a streaming thread, read there too.
    std::atomic<bool> icyStream_{false};
    std::atomic<bool> id3Tags_{false};
    // Owned by the streaming thread while attached.
    std::unique_ptr<SpectrumProcessor> processor_;
};

}  // namespace orvanta
