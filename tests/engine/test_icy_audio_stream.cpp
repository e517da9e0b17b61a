#include "engine/ICYAudioStream.h"

#include <QStringEncoder>
#include <QTest>

using namespace orvanta;

namespace {

// A stream of `blocks` audio runs of `interval` bytes, each followed by a
// metadata block (or a zero length byte when the title is empty).
struct Fixture {
    QByteArray wire;
    QByteArray audio;
    QStringList titles;
};

QByteArray metadataBlock(const QByteArray& text) {
    QByteArray block = text;
    const qsizetype length = (block.size() + 15) / 16;
    block.append(QByteArray(length * 16 - block.size(), '\0'));
    return char(length) + block;
}

Fixture makeStream(qint64 interval, const QList<QByteArray>& titles) {
    Fixture fixture;
    char next = 0;
    for (const QByteArray& title : titles) {
        QByteArray run;
        for (qint64 i = 0; i < interval; ++i)
            run.append(char(next++ % 251));
        fixture.audio += run;
        fixture.wire += run;
        if (title.isEmpty()) {
            fixture.wire += char(0);
        } else {
            fixture.wire += metadataBlock("StreamTitle='" + title + "';StreamUrl='https://x';");
            fixture.titles << QString::fromUtf8(title);
        }
    }
    fixture.wire += QByteArray(interval / 2, 'z');
    fixture.audio += QByteArray(interval / 2, 'z');
    return fixture;
}

}  // namespace

class ICYAudioStreamTest : public QObject {
    Q_OBJECT

private slots:
    void splitAtEveryOffsetGivesTheSameAudioAndTitles() {
        const Fixture fixture =
            makeStream(40, {"Artist A - Song 1", "", "Гурт - Пісня", "", "Третій - трек"});
        for (qsizetype cut = 0; cut <= fixture.wire.size(); ++cut) {
            ICYAudioStream stream(40);
            QByteArray audio;
            QStringList titles;
            auto onAudio = [&](const char* data, qint64 size) { audio.append(data, size); };
            auto onTitle = [&](const QString& title) { titles << title; };
            stream.consume(fixture.wire.constData(), cut, onAudio, onTitle);
            stream.consume(fixture.wire.constData() + cut, fixture.wire.size() - cut, onAudio,
                           onTitle);
            QCOMPARE(audio, fixture.audio);
            QCOMPARE(titles, fixture.titles);
        }
    }

    void byteByByteFeedingWorks() {
        const Fixture fixture = makeStream(16000, {"A - B", "", "C - D"});
        ICYAudioStream stream(16000);
        QByteArray audio;
        QStringList titles;
        for (char byte : fixture.wire) {
            stream.consume(
                &byte, 1, [&](const char* data, qint64 size) { audio.append(data, size); },
                [&](const QString& title) { titles << title; });
        }
        QCOMPARE(audio, fixture.audio);
        QCOMPARE(titles, fixture.titles);
    }

    void withoutIntervalEveryByteIsAudio_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("present");
        QTest::addColumn<qint64>("interval");
        QTest::newRow("missing") << QByteArray() << false << qint64(0);
        QTest::newRow("zero") << QByteArray("0") << true << qint64(0);
        QTest::newRow("garbage") << QByteArray("16k") << true << qint64(0);
        QTest::newRow("negative") << QByteArray("-5") << true << qint64(0);
        QTest::newRow("blank around") << QByteArray(" 8192") << true << qint64(0);
        QTest::newRow("signed") << QByteArray("+8192") << true << qint64(8192);
        QTest::newRow("plain") << QByteArray("16000") << true << qint64(16000);
    }
    void withoutIntervalEveryByteIsAudio() {
        QFETCH(QByteArray, header);
        QFETCH(bool, present);
        QFETCH(qint64, interval);
        const qint64 parsed =
            ICYAudioStream::intervalFromHeader(present ? std::optional(header) : std::nullopt);
        QCOMPARE(ICYAudioStream(parsed).interval, interval);
        if (interval != 0)
            return;
        ICYAudioStream stream(parsed);
        const QByteArray data("\x03StreamTitle='x';", 17);
        QByteArray audio;
        stream.consume(
            data.constData(), data.size(),
            [&](const char* bytes, qint64 size) { audio.append(bytes, size); },
            [](const QString&) { QFAIL("no titles without an interval"); });
        QCOMPARE(audio, data);
    }

    void parseStreamTitle_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("title");
        QTest::newRow("with url and padding")
            << QByteArray("StreamTitle='A - B';StreamUrl='https://x.y/';\0\0\0", 49) << true
            << "A - B";
        QTest::newRow("lower-case key") << QByteArray("streamtitle='A - B';") << true << "A - B";
        QTest::newRow("empty value") << QByteArray("StreamTitle='';") << true << "";
        QTest::newRow("apostrophe inside")
            << QByteArray("StreamTitle='Rock 'n' Roll';") << true << "Rock 'n' Roll";
        QTest::newRow("blanks are kept") << QByteArray("StreamTitle='  A ';") << true << "  A ";
        QTest::newRow("no closing") << QByteArray("StreamTitle='A - B") << false << "";
        QTest::newRow("no key") << QByteArray("StreamUrl='x';") << false << "";
        QTest::newRow("utf-8") << QByteArray("StreamTitle='Океан Ельзи - Обійми';") << true
                               << "Океан Ельзи - Обійми";
        QTest::newRow("not utf-8 is latin-1")
            << QByteArray("StreamTitle='Caf\xe9';") << true << QString::fromLatin1("Caf\xe9");
    }
    void parseStreamTitle() {
        QFETCH(QByteArray, block);
        QFETCH(bool, found);
        QFETCH(QString, title);
        auto parsed = ICYAudioStream::parseStreamTitle(block);
        QCOMPARE(parsed.has_value(), found);
        if (found)
            QCOMPARE(*parsed, title);
    }
};

QTEST_GUILESS_MAIN(ICYAudioStreamTest)
#include "test_icy_audio_stream.moc"
