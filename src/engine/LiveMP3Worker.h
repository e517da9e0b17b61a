#pragma once

#include "engine/AudioOutput.h"
#include "engine/ICYAudioStream.h"
#include "engine/LiveMP3Playback.h"
#include "engine/SpectrumProcessor.h"
#include "engine/StreamSpectrumDecoder.h"
#include "platform/HttpSession.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <map>
#include <memory>
#include <optional>

namespace orvanta {

// The part of LiveMP3Playback that lives on the live thread.
class LiveMP3Worker : public QObject {
    Q_OBJECT

public:
    LiveMP3Worker(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum,
                  LiveMP3Playback::Callbacks callbacks);
    ~LiveMP3Worker() override;

    Q_INVOKABLE void start(float volume);
    Q_INVOKABLE void setVolume(float volume);
    Q_INVOKABLE void stop();
    // Readable from any thread: the worker alone writes them.
    double played() const { return played_.load(std::memory_order_relaxed); }
    double queued() const { return queued_.load(std::memory_order_relaxed); }

private:
    bool acceptResponse(const HttpResponse& response);
    void receiveData(const QByteArray& data);
    void receivePcm(const PcmBuffer& buffer);
    void pollOutput();
    void analyse(const PcmBuffer& buffer);
    static constexpr size_t maxChannels = 8;
    void fail();

    struct PendingBuffer {
        PcmBuffer audio;
        std::optional<QString> title;
    };

    QUrl url_;
    LiveMP3Playback::Callbacks callbacks_;
    std::unique_ptr<HttpSession> session_;
    std::unique_ptr<DataTask> task_;
    std::unique_ptr<StreamSpectrumDecoder> decoder_;
    std::unique_ptr<SpectrumProcessor> processor_;
    AudioOutput output_;
    QTimer pollTimer_;
    ICYAudioStream icy_;
    std::optional<QString> pendingTitle_;
    std::map<std::uint64_t, PendingBuffer> scheduled_;
    std::uint64_t nextTag_ = 0;
    float volume_ = 1.0f;
    bool finished_ = false;
    bool started_ = false;
    bool outputReady_ = false;
    std::atomic<double> played_ = 0;
    qint64 received_ = 0;
    std::atomic<double> queued_ = 0;
};

}  // namespace orvanta
