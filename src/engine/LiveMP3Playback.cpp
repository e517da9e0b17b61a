#include "engine/LiveMP3Playback.h"

#include "engine/LiveMP3Worker.h"

#include <QThread>

namespace orvanta {

LiveMP3Playback::LiveMP3Playback(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum,
                                 Callbacks callbacks)
    : url_(std::move(url)), thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(QStringLiteral("com.orvanta.radio.live-audio"));
    worker_ = new LiveMP3Worker(url_, std::move(spectrum), std::move(callbacks));
    worker_->moveToThread(thread_.get());
    thread_->start(QThread::HighPriority);
}

LiveMP3Playback::~LiveMP3Playback() {
    stopLive();
    // The worker's network objects belong to the live thread: free them there.
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { delete worker; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

void LiveMP3Playback::startLive(float volume) {
    QMetaObject::invokeMethod(worker_, "start", Qt::QueuedConnection, Q_ARG(float, volume));
}

void LiveMP3Playback::setLiveVolume(float volume) {
    QMetaObject::invokeMethod(worker_, "setVolume", Qt::QueuedConnection, Q_ARG(float, volume));
}

void LiveMP3Playback::stopLive() {
    if (QThread::currentThread() == thread_.get()) {
        worker_->stop();
        return;
    }
    QMetaObject::invokeMethod(worker_, "stop", Qt::BlockingQueuedConnection);
}

double LiveMP3Playback::playedSeconds() const {
    return worker_->played();
}

double LiveMP3Playback::queuedSeconds() const {
    return worker_->queued();
}

}  // namespace orvanta
