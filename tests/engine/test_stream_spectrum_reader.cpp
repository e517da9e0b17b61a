#include "IcecastServer.h"
#include "SpectrumBufferAccess.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "engine/StreamSpectrumReader.h"
#include "platform/HttpSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <algorithm>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::StringLiterals;

namespace {

std::shared_ptr<AudioSpectrumBuffer> newSpectrum() {
    return std::make_shared<AudioSpectrumBuffer>();
}

bool showsSomething(AudioSpectrumBuffer& spectrum) {
    if (!SpectrumBufferAccess::wasPublished(spectrum))
        return false;
    const SpectrumLevels levels = SpectrumBufferAccess::levels(spectrum);
    return *std::max_element(levels.begin(), levels.end()) > 0.0f;
}

}  // namespace

// The silent second reading of a stream, against icecast (a live MP3 stream
// behind nginx's TLS) and nginx serving encoded files slowly.
class StreamSpectrumReaderTest : public QObject {
    Q_OBJECT

private:
    IcecastServer icecast_;
    NginxServer nginx_;
    qsizetype aacSize_ = 0;

    bool encodeAac(const QString& path) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "sine=frequency=1000:sample_rate=44100:duration=4", "-ac", "2",
                                "-c:a", "aac", "-b:a", "96k", "-f", "adts", path});
        return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
    }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        QVERIFY(installAdditionalTrust() > 0);
        QVERIFY(icecast_.start(u"/live.mp3"_s));
        NginxServer::Options options;
        options.tlsServerConfig =
            uR"(
            location /icecast/ {
                proxy_pass http://127.0.0.1:%1/;
                proxy_buffering off;
            }
            location = /tone.aac { types { } default_type audio/aac; limit_rate 48k; }
            location = /untyped { types { } default_type ""; limit_rate 48k; }
        )"_s.arg(icecast_.port());
        QVERIFY(nginx_.start(options));
        QVERIFY(encodeAac(nginx_.root() + u"/tone.aac"_s));
        QFile encoded(nginx_.root() + u"/tone.aac"_s);
        aacSize_ = encoded.size();
        QVERIFY(aacSize_ > 10 * StreamSpectrumReader::blockSize);
        QVERIFY(encoded.copy(nginx_.root() + u"/untyped"_s));
    }

    void liveMp3StreamShowsLevels() {
        auto spectrum = newSpectrum();
        StreamSpectrumReader reader(nginx_.httpsUrl(u"/icecast/live.mp3"_s), spectrum);
        QTRY_VERIFY_WITH_TIMEOUT(showsSomething(*spectrum), 10000);
        QVERIFY(!reader.isFinished());
        QVERIFY(reader.parsedBlocks() > 0);
    }

    void encodedFileShowsLevelsAndEndsWithTheBody_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("ADTS AAC") << u"/tone.aac"_s;
        QTest::newRow("no media type") << u"/untyped"_s;
    }
    void encodedFileShowsLevelsAndEndsWithTheBody() {
        QFETCH(QString, path);
        auto spectrum = newSpectrum();
        StreamSpectrumReader reader(nginx_.httpsUrl(path), spectrum);
        QTRY_VERIFY_WITH_TIMEOUT(showsSomething(*spectrum), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(reader.isFinished(), 15000);
        // Every whole block was parsed; the short rest at the end was not.
        QCOMPARE(reader.parsedBlocks(), qint64(aacSize_ / StreamSpectrumReader::blockSize));
    }

    void refusedAnswerEndsAtOnce_data() {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("404") << nginx_.httpsUrl(u"/missing.mp3"_s);
        QTest::newRow("nobody listening")
            << QUrl(u"https://127.0.0.1:%1/live.mp3"_s.arg(freeLoopbackPort()));
    }
    void refusedAnswerEndsAtOnce() {
        QFETCH(QUrl, url);
        auto spectrum = newSpectrum();
        StreamSpectrumReader reader(url, spectrum);
        QTRY_VERIFY_WITH_TIMEOUT(reader.isFinished(), 3000);
        QCOMPARE(reader.parsedBlocks(), qint64(0));
        QVERIFY(!SpectrumBufferAccess::wasPublished(*spectrum));
    }

    void cancellationEndsWithinOneBlock() {
        auto spectrum = newSpectrum();
        StreamSpectrumReader reader(nginx_.httpsUrl(u"/icecast/live.mp3"_s), spectrum);
        QTRY_VERIFY_WITH_TIMEOUT(reader.parsedBlocks() >= 12, 10000);
        QElapsedTimer elapsed;
        elapsed.start();
        reader.cancel();
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(reader.isFinished());
        const qint64 parsed = reader.parsedBlocks();
        // The stream goes on at eight blocks a second; none of them is parsed.
        QTest::qWait(600);
        QCOMPARE(reader.parsedBlocks(), parsed);
    }

    void droppingTheReaderStopsItPromptly() {
        auto spectrum = newSpectrum();
        auto reader = std::make_unique<StreamSpectrumReader>(
            nginx_.httpsUrl(u"/icecast/live.mp3"_s), spectrum);
        QTRY_VERIFY_WITH_TIMEOUT(reader->parsedBlocks() > 0, 10000);
        QElapsedTimer elapsed;
        elapsed.start();
        reader.reset();
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));

        // Also before the answer has come.
        elapsed.restart();
        StreamSpectrumReader(nginx_.httpsUrl(u"/icecast/live.mp3"_s), spectrum);
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
    }
};

QTEST_GUILESS_MAIN(StreamSpectrumReaderTest)
#include "test_stream_spectrum_reader.moc"
