// The ICY demultiplexer and title parser over arbitrary bytes: the first two
// bytes choose the metadata interval and a split point.

#include "engine/ICYAudioStream.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const qint64 interval = 1 + data[0] * 7;
    const size_t split = size > 2 ? 2 + data[1] % (size - 2) : 2;
    orvanta::ICYAudioStream stream(interval);
    qint64 audioBytes = 0;
    auto onAudio = [&](const char*, qint64 length) { audioBytes += length; };
    auto onTitle = [](const QString& title) { (void)title.size(); };
    const char* bytes = reinterpret_cast<const char*>(data);
    stream.consume(bytes + 2, qint64(split - 2), onAudio, onTitle);
    stream.consume(bytes + split, qint64(size - split), onAudio, onTitle);
    if (audioBytes > qint64(size))
        std::abort();
    (void)orvanta::ICYAudioStream::parseStreamTitle(QByteArray(bytes, qsizetype(size)));
    return 0;
}
