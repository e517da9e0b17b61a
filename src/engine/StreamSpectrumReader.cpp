#include "engine/StreamSpectrumReader.h"

#include "engine/SpectrumProcessor.h"
#include "engine/StreamSpectrumDecoder.h"
#include "platform/HttpSession.h"

#include <QThread>

#include <atomic>
#include <vector>

namespace orvanta {

struct StreamSpectrumReader::Progress {
    std::atomic<bool> cancelled = false;
    std::atomic<bool> finished = false;
    std::atomic<qint64> parsedBlocks = 0;
};

// The reader's state, living on the reading thread.
class StreamSpectrumReadingWorker : public QObject {
public:
    StreamSpectrumReadingWorker(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum,
                                std::shared_ptr<StreamSpectrumReader::Progress> progress)
        : url_(std::move(url)), spectrum_(std::move(spectrum)), progress_(std::move(progress)) {}

    ~StreamSpectrumReadingWorker() override { finish(); }

    void start() {
        if (finished_)
            return;
        // Nothing is kept between connections: an ephemeral session.
        session_ = std::make_unique<HttpSession>();
        HttpRequest request(url_, StreamSpectrumReader::timeoutSeconds);
        // No in-band titles: every byte of the body is audio.
        request.setHeader("Icy-MetaData", "0");
        task_ = session_->startDataTask(
            request, {[this](const HttpResponse& response) { return accept(response); },
                      [this](const QByteArray& data) { receive(data); },
                      [this](const Outcome<Done>&) { finish(); }});
    }

    void finish() {
        if (finished_)
            return;
        finished_ = true;
        if (task_)
            task_->cancel();
        progress_->finished = true;
    }

private:
    bool accept(const HttpResponse& response) {
        if (finished_ || progress_->cancelled || !response.isHTTP || response.status < 200 ||
            response.status > 299) {
            finish();
            return false;
        }
        processor_ = std::make_unique<SpectrumProcessor>(spectrum_);
        decoder_ = std::make_unique<StreamSpectrumDecoder>(
            StreamSpectrumDecoder::hintForMimeType(response.mimeType()),
            [this](const PcmBuffer& buffer) { analyse(buffer); });
        return true;
    }

    void receive(const QByteArray& data) {
        if (finished_ || !decoder_)
            return;
        pending_.append(data);
        qsizetype offset = 0;
        while (pending_.size() - offset >= StreamSpectrumReader::blockSize) {
            // Checked before every block, so a cancellation waits for one
            // block at most even when the network delivered many at once.
            if (progress_->cancelled) {
                finish();
                return;
            }
            if (!decoder_->parse(pending_.constData() + offset, StreamSpectrumReader::blockSize)) {
                finish();
                return;
            }
            offset += StreamSpectrumReader::blockSize;
            ++progress_->parsedBlocks;
        }
        pending_.remove(0, offset);
    }

    void analyse(const PcmBuffer& buffer) {
        if (buffer.frames <= 0 || buffer.channels <= 0 || buffer.sampleRate <= 0)
            return;
        if (buffer.sampleRate != sampleRate_ || buffer.channels != channels_) {
            sampleRate_ = buffer.sampleRate;
            channels_ = buffer.channels;
            processor_->configure(
                PcmFormat{double(sampleRate_), channels_, PcmFormat::Layout::Planar});
            planes_.resize(size_t(channels_));
        }
        for (int channel = 0; channel < channels_; ++channel)
            planes_[size_t(channel)] = buffer.plane(channel);
        processor_->process(std::span<const float* const>(planes_), buffer.frames);
    }

    QUrl url_;
    std::shared_ptr<AudioSpectrumBuffer> spectrum_;
    std::shared_ptr<StreamSpectrumReader::Progress> progress_;
    std::unique_ptr<HttpSession> session_;
    std::unique_ptr<DataTask> task_;
    std::unique_ptr<SpectrumProcessor> processor_;
    std::unique_ptr<StreamSpectrumDecoder> decoder_;
    QByteArray pending_;
    std::vector<const float*> planes_;
    int sampleRate_ = 0;
    int channels_ = 0;
    bool finished_ = false;
};

StreamSpectrumReader::StreamSpectrumReader(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum)
    : progress_(std::make_shared<Progress>()), thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(QStringLiteral("com.orvanta.radio.stream-spectrum"));
    worker_ = new StreamSpectrumReadingWorker(std::move(url), std::move(spectrum), progress_);
    worker_->moveToThread(thread_.get());
    thread_->start(QThread::LowPriority);
    QMetaObject::invokeMethod(worker_, [worker = worker_] { worker->start(); });
}

StreamSpectrumReader::~StreamSpectrumReader() {
    progress_->cancelled = true;
    // The worker's network objects belong to the reading thread: free them there.
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { delete worker; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

void StreamSpectrumReader::cancel() {
    progress_->cancelled = true;
    if (QThread::currentThread() == thread_.get()) {
        worker_->finish();
        return;
    }
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->finish(); }, Qt::BlockingQueuedConnection);
}

bool StreamSpectrumReader::isFinished() const {
    return progress_->finished;
}

qint64 StreamSpectrumReader::parsedBlocks() const {
    return progress_->parsedBlocks;
}

}  // namespace orvanta
