// The own MP3 path without the sink: ICY demultiplexing, decoding and
// spectrum analysis of an MP3 file, as if it arrived in 16 KiB network
// chunks with a metadata block every 16000 audio bytes.
//   bench_live_decode FILE.mp3

#include "engine/ICYAudioStream.h"
#include "engine/SpectrumProcessor.h"
#include "engine/StreamSpectrumDecoder.h"

#include <QFile>

#include <array>
#include <cstdio>

using namespace orvanta;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.mp3\n", argv[0]);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray audio = file.readAll();

    // Interleave metadata blocks as a server would.
    constexpr qsizetype interval = 16000;
    QByteArray wire;
    int block = 0;
    for (qsizetype offset = 0; offset < audio.size(); offset += interval) {
        wire += audio.mid(offset, interval);
        if (block++ % 10 == 0) {
            QByteArray text = "StreamTitle='Artist " + QByteArray::number(block) + " - Title';";
            text.append(QByteArray((16 - text.size() % 16) % 16, '\0'));
            wire += char(text.size() / 16) + text;
        } else {
            wire += char(0);
        }
    }

    auto spectrum = std::make_shared<AudioSpectrumBuffer>();
    spectrum->setAnalysisActive(true);
    SpectrumProcessor processor(spectrum);
    bool configured = false;
    qint64 frames = 0;
    int titles = 0;
    StreamSpectrumDecoder decoder(
        StreamSpectrumDecoder::FileTypeHint::mp3, [&](const PcmBuffer& buffer) {
            if (!configured) {
                processor.configure(PcmFormat{double(buffer.sampleRate), buffer.channels,
                                              PcmFormat::Layout::Planar});
                configured = true;
            }
            std::array<const float*, 8> planes{};
            for (int c = 0; c < buffer.channels && c < 8; ++c) {
                planes[c] = buffer.plane(c);
            }
            processor.process(std::span(planes.data(), size_t(buffer.channels)), buffer.frames);
            frames += buffer.frames;
        });
    ICYAudioStream icy(interval);
    constexpr qsizetype chunk = 16384;
    for (qsizetype offset = 0; offset < wire.size(); offset += chunk) {
        icy.consume(
            wire.constData() + offset, std::min(chunk, wire.size() - offset),
            [&](const char* data, qint64 size) { decoder.parse(data, size); },
            [&](const QString&) { ++titles; });
    }
    std::printf("%lld frames, %d titles\n", static_cast<long long>(frames), titles);
    return frames > 0 ? 0 : 1;
}
