#include "engine/LiveMP3Worker.h"

#include "platform/Logging.h"

namespace orvanta {

namespace {
constexpr int pollIntervalMs = 10;

// Only the worker writes its counters, so a plain load and store suffice.
void add(std::atomic<double>& counter, double amount) {
    counter.store(counter.load(std::memory_order_relaxed) + amount, std::memory_order_relaxed);
}
}  // namespace

LiveMP3Worker::LiveMP3Worker(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum,
                             LiveMP3Playback::Callbacks callbacks)
    : url_(std::move(url)), callbacks_(std::move(callbacks)), pollTimer_(this) {
    if (spectrum)
        processor_ = std::make_unique<SpectrumProcessor>(std::move(spectrum));
    pollTimer_.setTimerType(Qt::PreciseTimer);
    pollTimer_.setInterval(pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &LiveMP3Worker::pollOutput);
}

LiveMP3Worker::~LiveMP3Worker() {
    stop();
}

void LiveMP3Worker::start(float volume) {
    if (finished_)
        return;
    volume_ = volume;
    output_.setVolume(volume);
    // The stream's own session: nothing kept between connections, and ten
    // seconds without data ends the attempt.
    session_ = std::make_unique<HttpSession>();
    HttpRequest request(url_, 10.0);
    request.cachePolicy = CachePolicy::reloadIgnoringCache;
    request.setHeader("Icy-MetaData", "1");
    task_ = session_->startDataTask(
        request, {[this](const HttpResponse& response) { return acceptResponse(response); },
                  [this](const QByteArray& data) { receiveData(data); },
                  [this](const Outcome<Done>&) {
                      // Any end of the transfer, a normal one included, ends the stream.
                      if (!finished_)
                          fail();
                  }});
}

void LiveMP3Worker::setVolume(float volume) {
    volume_ = volume;
    output_.setVolume(volume);
}

void LiveMP3Worker::stop() {
    finished_ = true;
    pollTimer_.stop();
    if (task_)
        task_->cancel();
    task_.reset();
    session_.reset();
    output_.stop();
    scheduled_.clear();
}

void LiveMP3Worker::fail() {
    if (finished_)
        return;
    stop();
    if (callbacks_.failed)
        callbacks_.failed();
}

bool LiveMP3Worker::acceptResponse(const HttpResponse& response) {
    if (finished_)
        return false;
    const QString type = response.mimeType();
    const bool accepted =
        response.isHTTP && response.status == 200 && response.finalUrl.isValid() &&
        response.finalUrl.scheme() == QLatin1String("https") &&
        (type == QLatin1String("audio/mpeg") || type == QLatin1String("audio/mp3"));
    // A refusal cancels the transfer, whose completion then fails the stream.
    if (!accepted)
        return false;
    qCDebug(lcPlayback, "live stream answered");
    icy_ = ICYAudioStream(ICYAudioStream::intervalFromHeader(response.header("icy-metaint")));
    decoder_ = std::make_unique<StreamSpectrumDecoder>(
        StreamSpectrumDecoder::FileTypeHint::mp3,
        [this](const PcmBuffer& buffer) { receivePcm(buffer); });
    return true;
}

void LiveMP3Worker::receiveData(const QByteArray& data) {
    if (finished_ || !decoder_)
        return;
    if (received_ == 0)
        qCDebug(lcPlayback, "live stream first %lld bytes", qlonglong(data.size()));
    received_ += data.size();
    bool parserFailed = false;
    icy_.consume(
        data.constData(), data.size(),
        [&](const char* audio, qint64 size) {
            if (!parserFailed && !finished_ && !decoder_->parse(audio, size))
                parserFailed = true;
        },
        [&](const QString& title) { pendingTitle_ = title; });
    if (parserFailed)
        fail();
}

void LiveMP3Worker::receivePcm(const PcmBuffer& buffer) {
    if (finished_ || buffer.frames <= 0 || buffer.sampleRate <= 0)
        return;
    if (!outputReady_ || !output_.isRunning()) {
        if (started_) {
            fail();  // the output stopped under the player
            return;
        }
        QString error;
        if (processor_) {
            processor_->configure(
                PcmFormat{double(buffer.sampleRate), buffer.channels, PcmFormat::Layout::Planar});
        }
        if (!output_.start(buffer.sampleRate, buffer.channels, &error)) {
            fail();
            return;
        }
        output_.setVolume(volume_);
        outputReady_ = true;
        pollTimer_.start();
    }
    if (queued() >= LiveMP3Playback::maxQueued) {
        fail();  // audio is not being consumed
        return;
    }
    const double duration = buffer.duration();
    add(queued_, duration);
    const std::uint64_t tag = nextTag_++;
    scheduled_.emplace(tag, PendingBuffer{buffer, std::exchange(pendingTitle_, std::nullopt)});
    if (!output_.schedule(buffer, tag)) {
        fail();
        return;
    }
    if (!started_ && queued() >= LiveMP3Playback::startThreshold) {
        started_ = true;
        qCDebug(lcPlayback, "live output starts with %.3f s queued", queued());
        QString error;
        if (!output_.play(&error))
            fail();
    }
}

void LiveMP3Worker::analyse(const PcmBuffer& buffer) {
    if (!processor_ || buffer.channels > int(maxChannels))
        return;
    std::array<const float*, maxChannels> planes{};
    for (int c = 0; c < buffer.channels; ++c)
        planes[c] = buffer.plane(c);
    processor_->process(std::span(planes.data(), size_t(buffer.channels)), buffer.frames);
}

void LiveMP3Worker::pollOutput() {
    if (finished_)
        return;
    const std::vector<std::uint64_t> playedTags = output_.takePlayed();
    if (output_.failed()) {
        fail();
        return;
    }
    for (std::uint64_t tag : playedTags) {
        auto found = scheduled_.find(tag);
        if (found == scheduled_.end())
            continue;
        PendingBuffer buffer = std::move(found->second);
        scheduled_.erase(found);
        const double duration = buffer.audio.duration();
        if (played() == 0)
            qCDebug(lcPlayback, "live output played its first buffer");
        if (played() == 0 && callbacks_.playing)
            callbacks_.playing();
        if (finished_)
            return;
        add(played_, duration);
        add(queued_, -duration);
        analyse(buffer.audio);
        if (buffer.title && callbacks_.title)
            callbacks_.title(*buffer.title);
        if (finished_)
            return;
    }
}

}  // namespace orvanta
