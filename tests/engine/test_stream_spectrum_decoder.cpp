#include "engine/StreamSpectrumDecoder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace orvanta;
using Hint = StreamSpectrumDecoder::FileTypeHint;

namespace {

// Encodes `seconds` of a 1 kHz tone with ffmpeg into the given container.
QByteArray encodeTone(const QTemporaryDir& dir, const QString& name, const QStringList& codec,
                      double seconds, int rate, int channels) {
    const QString path = dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start(
        "ffmpeg",
        QStringList{
            "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
            QStringLiteral("sine=frequency=1000:sample_rate=%1:duration=%2").arg(rate).arg(seconds),
            "-ac", QString::number(channels)} +
            codec + QStringList{path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

struct Decoded {
    int buffers = 0;
    qint64 frames = 0;
    int largest = 0;
    int rate = 0;
    int channels = 0;
    double sumOfSquares = 0;
};

Decoded decode(const QByteArray& bytes, Hint hint, qsizetype block) {
    Decoded result;
    StreamSpectrumDecoder decoder(hint, [&](const PcmBuffer& buffer) {
        ++result.buffers;
        result.frames += buffer.frames;
        result.largest = std::max(result.largest, buffer.frames);
        result.rate = buffer.sampleRate;
        result.channels = buffer.channels;
        for (float sample : buffer.samples)
            result.sumOfSquares += double(sample) * sample;
    });
    for (qsizetype offset = 0; offset < bytes.size(); offset += block) {
        if (!decoder.parse(bytes.constData() + offset, std::min(block, bytes.size() - offset))) {
            return {};
        }
    }
    return result;
}

}  // namespace

class StreamSpectrumDecoderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QByteArray mp3_;
    QByteArray adts_;

private slots:
    void initTestCase() {
        mp3_ = encodeTone(dir_, "tone.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, 3, 44100, 2);
        adts_ =
            encodeTone(dir_, "tone.aac", {"-c:a", "aac", "-b:a", "96k", "-f", "adts"}, 3, 48000, 1);
        QVERIFY(!mp3_.isEmpty());
        QVERIFY(!adts_.isEmpty());
    }

    void decodesToTheStreamsOwnFormat_data() {
        QTest::addColumn<QString>("which");
        QTest::addColumn<Hint>("hint");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        // A stream joined mid-frame, led by bytes that look like a frame
        // header of the other format.
        QTest::addColumn<QByteArray>("lead");
        const QByteArray fakeMp3Header("\xFF\xFB\x90\x64", 4);
        const QByteArray fakeAdtsHeader("\xFF\xF1\x50\x80\x2E\x7F\xFC", 7);
        QTest::newRow("mp3 with hint") << "mp3" << Hint::mp3 << 44100 << 2 << QByteArray();
        QTest::newRow("mp3 sniffed") << "mp3" << Hint::none << 44100 << 2 << QByteArray();
        QTest::newRow("mp3 sniffed after a false adts header")
            << "mp3" << Hint::none << 44100 << 2 << fakeAdtsHeader;
        QTest::newRow("adts with hint") << "adts" << Hint::adts << 48000 << 1 << QByteArray();
        QTest::newRow("adts sniffed") << "adts" << Hint::none << 48000 << 1 << QByteArray();
        QTest::newRow("adts sniffed after a false mp3 header")
            << "adts" << Hint::none << 48000 << 1 << fakeMp3Header;
    }
    void decodesToTheStreamsOwnFormat() {
        QFETCH(QString, which);
        QFETCH(Hint, hint);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QByteArray, lead);
        QByteArray bytes = which == "mp3" ? mp3_ : adts_;
        if (!lead.isEmpty())
            bytes = lead + bytes.mid(1000);
        const Decoded decoded = decode(bytes, hint, 2048);
        QCOMPARE(decoded.rate, rate);
        QCOMPARE(decoded.channels, channels);
        QVERIFY(decoded.largest <= StreamSpectrumDecoder::maxFramesPerBuffer);
        // Three seconds, less what the parser holds back at the very end.
        QVERIFY2(std::abs(decoded.frames - 3 * rate) < rate / 4,
                 qPrintable(QString::number(decoded.frames)));
        // A sine of amplitude 1/8 (ffmpeg's default) has an RMS of about 0.088.
        const double rms = std::sqrt(decoded.sumOfSquares / double(decoded.frames * channels));
        QVERIFY2(rms > 0.05 && rms < 0.15, qPrintable(QString::number(rms)));
    }

    void largeChunksComeOutInBuffersOf4096Frames() {
        const Decoded decoded = decode(mp3_, Hint::mp3, mp3_.size());
        QCOMPARE(decoded.largest, StreamSpectrumDecoder::maxFramesPerBuffer);
        QVERIFY(decoded.buffers >= int(decoded.frames / 4096));
    }

    void aPacketBatchOverTheBoundIsDroppedWhole() {
        // About 117 packets of at most 418 bytes, plus a tag, per copy: 30
        // copies stay well under the bound (and span many parser slices), 60
        // go well over it.
        QByteArray underBound;
        for (int copy = 0; copy < 30; ++copy)
            underBound += mp3_;
        const Decoded under = decode(underBound, Hint::mp3, underBound.size());
        QVERIFY2(under.frames > 30 * 3 * 44100 * 95 / 100,
                 qPrintable(QString::number(under.frames)));

        QByteArray overBound = underBound;
        for (int copy = 0; copy < 30; ++copy)
            overBound += mp3_;
        int buffers = 0;
        StreamSpectrumDecoder decoder(Hint::mp3, [&](const PcmBuffer&) { ++buffers; });
        QVERIFY(decoder.parse(overBound));
        QCOMPARE(buffers, 0);
        // The stream goes on decoding in batches of ordinary size.
        for (qsizetype offset = 0; offset < mp3_.size(); offset += 2048)
            QVERIFY(decoder.parse(mp3_.mid(offset, 2048)));
        QVERIFY(buffers > 0);
    }

    void garbageIsDroppedWithoutFailing() {
        QByteArray noise(100000, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919) % 251);
        int buffers = 0;
        StreamSpectrumDecoder decoder(Hint::mp3, [&](const PcmBuffer&) { ++buffers; });
        QVERIFY(decoder.parse(noise));
        // The real stream still decodes after the noise.
        for (qsizetype offset = 0; offset < mp3_.size(); offset += 2048) {
            QVERIFY(decoder.parse(mp3_.mid(offset, 2048)));
        }
        QVERIFY(buffers > 0);
    }

    void bytesWithoutAnyFrameAreGivenUp_data() {
        QTest::addColumn<Hint>("hint");
        QTest::newRow("mp3") << Hint::mp3;
        QTest::newRow("adts") << Hint::adts;
        QTest::newRow("sniffing") << Hint::none;
    }
    void bytesWithoutAnyFrameAreGivenUp() {
        // Say, a web page or an Ogg stream served under an audio type: no
        // byte 0xFF, so not even a sync word.
        QFETCH(Hint, hint);
        QByteArray noise(2048, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919) % 251);
        StreamSpectrumDecoder decoder(hint, [](const PcmBuffer&) {});
        qsizetype parsed = 0;
        while (decoder.parse(noise)) {
            parsed += noise.size();
            QVERIFY2(parsed <= 2 * StreamSpectrumDecoder::maxBytesWithoutAudio,
                     "the decoder never gives up");
        }
        QVERIFY(parsed >= StreamSpectrumDecoder::maxBytesWithoutAudio - noise.size());
    }

    void mimeTypesGiveHints() {
        QCOMPARE(StreamSpectrumDecoder::hintForMimeType("audio/MPEG"), Hint::mp3);
        QCOMPARE(StreamSpectrumDecoder::hintForMimeType("audio/mp3"), Hint::mp3);
        QCOMPARE(StreamSpectrumDecoder::hintForMimeType("audio/aacp"), Hint::adts);
        QCOMPARE(StreamSpectrumDecoder::hintForMimeType("audio/aac"), Hint::adts);
        QCOMPARE(StreamSpectrumDecoder::hintForMimeType("audio/ogg"), Hint::none);
        QCOMPARE(StreamSpectrumDecoder::hintForMimeType(""), Hint::none);
    }
};

QTEST_GUILESS_MAIN(StreamSpectrumDecoderTest)
#include "test_stream_spectrum_decoder.moc"
