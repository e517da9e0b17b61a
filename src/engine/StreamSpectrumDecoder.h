#pragma once

#include "engine/PcmBuffer.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace orvanta {

// Turns compressed stream bytes (MP3 or ADTS AAC) into PCM buffers of the
// stream's own rate and channel count, at most 4096 frames each, handed to
// `receive` synchronously from `parse`. Packets that cannot be decoded are
// dropped without failing; a broken decoder set-up, or a long run of bytes
// in which no frame of the format is found, is an error.
class StreamSpectrumDecoder {
public:
    enum class FileTypeHint { none, mp3, adts };

    StreamSpectrumDecoder(FileTypeHint hint, std::function<void(const PcmBuffer&)> receive);
    ~StreamSpectrumDecoder();
    StreamSpectrumDecoder(const StreamSpectrumDecoder&) = delete;
    StreamSpectrumDecoder& operator=(const StreamSpectrumDecoder&) = delete;

    // False when the decoder cannot work (the stream is to be given up).
    bool parse(const char* data, qsizetype size);
    bool parse(const QByteArray& data) { return parse(data.constData(), data.size()); }

    // A hint from a response's media type: audio/mpeg, audio/mp3 → mp3;
    // audio/aac, audio/aacp → adts; anything else → none.
    static FileTypeHint hintForMimeType(const QString& mimeType);

    static constexpr int maxFramesPerBuffer = 4096;
    static constexpr qsizetype maxPacketBatchBytes = 2'000'000;
    // Without a hint, at most this much is gathered before the oldest bytes
    // are let go; the tail kept covers the largest frame plus a header.
    static constexpr qsizetype maxSniffBytes = 65536;
    static constexpr qsizetype sniffTailBytes = 16384;
    static constexpr qsizetype parseSliceBytes = 65536;
    // More bytes than this without a single frame make `parse` give up. Room
    // for a large ID3 tag with cover art before the first frame.
    static constexpr qsizetype maxBytesWithoutAudio = 1 << 20;

private:
    struct Codec;
    bool open(FileTypeHint hint);
    void decodeBatch();
    void emitFrames(const float* const* planes, int channels, int sampleRate, int frames);
    void flushOutput();

    FileTypeHint hint_;
    std::function<void(const PcmBuffer&)> receive_;
    std::unique_ptr<Codec> codec_;
    QByteArray sniffed_;
    qsizetype bytesWithoutAudio_ = 0;
    PcmBuffer output_;
    PcmBuffer ready_;
};

}  // namespace orvanta
