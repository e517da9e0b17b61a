#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace orvanta {

// Separates the in-band metadata blocks of an ICY stream from its audio.
// Every `interval` audio bytes the server inserts one length byte L and then
// L × 16 bytes of metadata text. Blocks and length bytes may be split across
// chunks at any byte; the state carries over between calls.
struct ICYAudioStream {
    qint64 interval = 0;  // audio bytes between two blocks; 0: the stream has no metadata
    qint64 audioLeft = 0;
    qint64 metadataLeft = 0;
    QByteArray metadata;

    ICYAudioStream() = default;
    explicit ICYAudioStream(qint64 metadataInterval)
        : interval(metadataInterval >= 1 ? metadataInterval : 0), audioLeft(interval) {}

    // The value of an "icy-metaint" header: a decimal integer with an
    // optional sign; missing or unparsable gives 0.
    static qint64 intervalFromHeader(const std::optional<QByteArray>& header);

    // Calls `audio(const char*, qint64)` for each audio run and
    // `title(const QString&)` for each title found, in stream order.
    template <typename AudioCallback, typename TitleCallback>
    void consume(const char* data, qint64 size, AudioCallback&& audio, TitleCallback&& title);

    // The StreamTitle value of a metadata block; none when absent.
    static std::optional<QString> parseStreamTitle(const QByteArray& block);

    friend bool operator==(const ICYAudioStream&, const ICYAudioStream&) = default;
};

template <typename AudioCallback, typename TitleCallback>
void ICYAudioStream::consume(const char* data, qint64 size, AudioCallback&& audio,
                             TitleCallback&& title) {
    if (interval == 0) {
        if (size > 0)
            audio(data, size);
        return;
    }
    qint64 offset = 0;
    while (offset < size) {
        const qint64 remaining = size - offset;
        if (audioLeft > 0) {
            const qint64 run = std::min(remaining, audioLeft);
            audio(data + offset, run);
            audioLeft -= run;
            offset += run;
        } else if (metadataLeft == 0) {
            const qint64 length = static_cast<unsigned char>(data[offset]);
            ++offset;
            metadataLeft = length * 16;
            if (length == 0)
                audioLeft = interval;
        } else {
            const qint64 run = std::min(remaining, metadataLeft);
            metadata.append(data + offset, run);
            metadataLeft -= run;
            offset += run;
            if (metadataLeft == 0) {
                if (auto found = parseStreamTitle(metadata))
                    title(*found);
                metadata.clear();
                audioLeft = interval;
            }
        }
    }
}

}  // namespace orvanta
