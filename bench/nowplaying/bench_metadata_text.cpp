// Cost of the text clean-up on every title change and artwork query. Plain
// titles must stay far below a microsecond; run with -iterations N or
// -tickcounter for numbers.
#include "Mojibake.h"
#include "nowplaying/RadioMetadataText.h"
#include "nowplaying/RadioTrack.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::Literals::StringLiterals;

class MetadataTextBenchmark : public QObject {
    Q_OBJECT

private slots:
    void cleanAndKey_data() {
        QTest::addColumn<QString>("title");
        QTest::newRow("ASCII") << u"Rick Astley - Never Gonna Give You Up"_s;
        QTest::newRow("ASCII, padded") << u"  Rick Astley - Never Gonna Give You Up \n"_s;
        QTest::newRow("Cyrillic") << u"Океан Ельзи - Обійми"_s;
        QTest::newRow("French") << u"Édith Piaf - Non, je ne regrette rien"_s;
        QTest::newRow("UTF-8 read as Latin-1") << utf8ReadAsLatin1(u"Океан Ельзи - Обійми"_s);
        QTest::newRow("one damaged word") << u"Пісня "_s + utf8ReadAsLatin1(u"Бумбокс"_s);
        QTest::newRow("Windows-1251 read as Latin-1")
            << windows1251ReadAsLatin1(u"Океан Ельзи - Обійми"_s);
    }
    void cleanAndKey() {
        QFETCH(QString, title);
        QString key;
        QBENCHMARK {
            key = RadioMetadataText::comparisonKey(title);
        }
        QVERIFY(!key.isEmpty());
    }

    void clean_data() { cleanAndKey_data(); }
    void clean() {
        QFETCH(QString, title);
        QString cleaned;
        QBENCHMARK {
            cleaned = RadioMetadataText::clean(title);
        }
        QVERIFY(!cleaned.isEmpty());
    }

    void sameSong() {
        const RadioTrack a{u"Never Gonna Give You Up"_s, u"Rick Astley"_s, {}, {}, {}};
        const std::optional<RadioTrack> b =
            RadioTrack::fromStreamTitle(u"Rick Astley - Never Gonna Give You Up"_s);
        bool same = false;
        QBENCHMARK {
            same = a.isSameSong(b);
        }
        QVERIFY(same);
    }
};

QTEST_GUILESS_MAIN(MetadataTextBenchmark)
#include "bench_metadata_text.moc"
