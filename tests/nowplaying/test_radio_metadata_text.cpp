#include "Mojibake.h"
#include "nowplaying/RadioMetadataText.h"

#include <QRandomGenerator>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(std::optional<orvanta::TruncatedName>)

class RadioMetadataTextTest : public QObject {
    Q_OBJECT

private slots:
    void fixturesHoldRealDamage() {
        // The fixtures must look like what arrives from streams, or the tests
        // below would prove nothing.
        QCOMPARE(utf8ReadAsLatin1(u"Бумбокс"_s), u"Ð\u0091Ñ\u0083Ð¼Ð±Ð¾ÐºÑ\u0081"_s);
        QCOMPARE(utf8ReadAsWindows1252(u"Бумбокс"_s), u"Ð‘ÑƒÐ¼Ð±Ð¾ÐºÑ\u0081"_s);
        QCOMPARE(windows1251ReadAsLatin1(u"Київ"_s), u"Êè¿â"_s);
        QCOMPARE(utf8CutReadAsLatin1(u"Бумбокс"_s, 11), u"Ð\u0091Ñ\u0083Ð¼Ð±Ð¾Ð"_s);
    }

    void clean_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        QTest::newRow("blanks and line breaks around a word") << u" \t Word\r\n "_s << u"Word"_s;
        QTest::newRow("no-break and ideographic spaces") << u"\u00A0Word\u3000"_s << u"Word"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("all blank") << u" \n\t\u00A0 "_s << QString();
        QTest::newRow("ASCII stays") << u"AC/DC - Back In Black"_s << u"AC/DC - Back In Black"_s;
        QTest::newRow("proper Cyrillic stays")
            << u"Океан Ельзи - Обійми"_s << u"Океан Ельзи - Обійми"_s;
        QTest::newRow("proper French stays") << u"Beyoncé - Café"_s << u"Beyoncé - Café"_s;

        QTest::newRow("UTF-8 Cyrillic read as Latin-1")
            << utf8ReadAsLatin1(u"Океан Ельзи - Обійми"_s) << u"Океан Ельзи - Обійми"_s;
        QTest::newRow("UTF-8 Cyrillic read as Windows-1252")
            << utf8ReadAsWindows1252(u"Бумбокс - Вахтерам"_s) << u"Бумбокс - Вахтерам"_s;
        QTest::newRow("UTF-8 French read as Latin-1")
            << utf8ReadAsLatin1(u"Café à Paris"_s) << u"Café à Paris"_s;
        QTest::newRow("damage inside blanks is trimmed first")
            << u"  "_s + utf8ReadAsLatin1(u"Бумбокс"_s) + u"\n"_s << u"Бумбокс"_s;
        QTest::newRow("read as Latin-1 twice")
            << utf8ReadAsLatin1(utf8ReadAsLatin1(u"Жадан і Собаки"_s)) << u"Жадан і Собаки"_s;

        // Only one word is damaged: the whole text has a character that
        // neither Latin-1 nor Windows-1252 holds, so words are repaired alone.
        QTest::newRow("damaged word beside a proper Cyrillic word")
            << u"Пісня "_s + utf8ReadAsLatin1(u"Бумбокс"_s) << u"Пісня Бумбокс"_s;
        QTest::newRow("damaged word beside a note sign")
            << utf8ReadAsWindows1252(u"Вахтерам"_s) + u" ♫"_s << u"Вахтерам ♫"_s;
        QTest::newRow("no-break space separates words")
            << u"Пісня\u00A0"_s + utf8ReadAsLatin1(u"Бумбокс"_s) << u"Пісня\u00A0Бумбокс"_s;
        QTest::newRow("damaged word with Р, whose second byte reads as a no-break space")
            << u"Пісня "_s + utf8ReadAsLatin1(u"ПРОСТО"_s) << u"Пісня ПРОСТО"_s;
        QTest::newRow("damaged text ending in х, whose second byte reads as NEL")
            << utf8ReadAsLatin1(u"Пісня для всіх"_s) << u"Пісня для всіх"_s;
        QTest::newRow("damaged text ending in Р") << utf8ReadAsLatin1(u"ВЕЧІР"_s) << u"ВЕЧІР"_s;

        QTest::newRow("marker but not UTF-8 when re-read") << u"Ðoh Ñ!"_s << u"Ðoh Ñ!"_s;
        QTest::newRow("marker whose UTF-8 reading holds U+FFFD")
            << utf8ReadAsLatin1(u"й\uFFFD"_s) << utf8ReadAsLatin1(u"й\uFFFD"_s);

        QTest::newRow("Windows-1251 Ukrainian read as Latin-1")
            << windows1251ReadAsLatin1(u"Київ"_s) << u"Київ"_s;
        QTest::newRow("Windows-1251 words with digits and Latin")
            << windows1251ReadAsLatin1(u"DJ Київ 2024 - Ніч"_s) << u"DJ Київ 2024 - Ніч"_s;
        QTest::newRow("Windows-1251 with a Latin i typed for і")
            << windows1251ReadAsLatin1(u"Мiсто"_s) << u"Мiсто"_s;
        QTest::newRow("French name without two accented letters in a row")
            << u"Éléonore Noël"_s << u"Éléonore Noël"_s;
        QTest::newRow("Portuguese word with two accented letters in a row")
            << u"Coração"_s << u"Coração"_s;
        QTest::newRow("German word with two accented letters in a row") << u"Grüße"_s << u"Grüße"_s;
        QTest::newRow("accented pair beside a character above U+00FF")
            << u"Êè¿â – Ніч"_s << u"Êè¿â – Ніч"_s;

        QTest::newRow("name cut inside a letter stays as it was")
            << utf8CutReadAsLatin1(u"Бумбокс"_s, 11) + u" "_s
            << utf8CutReadAsLatin1(u"Бумбокс"_s, 11);
    }
    void clean() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(RadioMetadataText::clean(input), expected);
    }

    void repairMojibakeLeavesOtherTextAlone_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("ASCII") << u"Back In Black"_s;
        QTest::newRow("Cyrillic") << u"Вахтерам"_s;
        QTest::newRow("lone marker") << u"Ð"_s;
        QTest::newRow("markers between letters") << u"ÃÂÐÑ"_s;
        QTest::newRow("blanks are kept") << u"  Ðoh  "_s;
    }
    void repairMojibakeLeavesOtherTextAlone() {
        QFETCH(QString, input);
        QCOMPARE(RadioMetadataText::repairMojibake(input), input);
    }

    void repairMojibakeKeepsSurroundingBlanks() {
        const QString damaged = u" \u00A0"_s + utf8ReadAsLatin1(u"Бумбокс"_s) + u" ✓ "_s;
        QCOMPARE(RadioMetadataText::repairMojibake(damaged), u" \u00A0Бумбокс ✓ "_s);
    }

    void truncatedName_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<std::optional<TruncatedName>>("expected");

        QTest::newRow("cut in the second letter of к (lead 0xD0)")
            << utf8CutReadAsLatin1(u"Бумбокс"_s, 11)
            << std::optional(TruncatedName{u"Бумбо"_s, 0xD0});
        QTest::newRow("cut in с (lead 0xD1), several words, trailing blank")
            << utf8CutReadAsLatin1(u"Океан Ельзи та Бумбокс"_s, 40) + u"  "_s
            << std::optional(TruncatedName{u"Океан Ельзи та Бумбок"_s, 0xD1});
        QTest::newRow("cut at the start of a new word")
            << utf8CutReadAsLatin1(u"Жадан Собаки"_s, 12)
            << std::optional(TruncatedName{u"Жадан "_s, 0xD0});
        QTest::newRow("complete damaged name")
            << utf8ReadAsLatin1(u"Бумбокс"_s) << std::optional<TruncatedName>();
        QTest::newRow("lone marker") << u"  Ð "_s << std::optional<TruncatedName>();
        QTest::newRow("undamaged word before the marker")
            << u"Hello Ð"_s << std::optional<TruncatedName>();
        QTest::newRow("repaired word ends in a Latin letter")
            << utf8ReadAsLatin1(u"Café"_s) + u"Ð"_s << std::optional<TruncatedName>();
        QTest::newRow("Р at the end, its no-break space trimmed away")
            << utf8ReadAsLatin1(u"ВЕЧІР"_s) << std::optional<TruncatedName>();
        QTest::newRow("х at the end, its NEL trimmed away")
            << utf8ReadAsLatin1(u"всіх"_s) << std::optional<TruncatedName>();
        QTest::newRow("marker carrying a combining mark")
            << utf8ReadAsLatin1(u"Бумбо"_s) + u"Ð\u0301"_s << std::optional<TruncatedName>();
    }
    void truncatedName() {
        QFETCH(QString, input);
        QFETCH(std::optional<TruncatedName>, expected);
        const std::optional<TruncatedName> found = RadioMetadataText::truncatedName(input);
        QCOMPARE(found.has_value(), expected.has_value());
        if (expected) {
            QCOMPARE(found->prefix, expected->prefix);
            QCOMPARE(found->lead, expected->lead);
        }
    }

    void completes_data() {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("lead");
        QTest::addColumn<bool>("expected");
        QTest::newRow("и (D0 B8) after the prefix in another case")
            << u"Жадан і Собаки"_s << u"ЖАДАН І СОБАК"_s << 0xD0 << true;
        QTest::newRow("lead 0xD1 for a D0 letter")
            << u"Жадан і Собаки"_s << u"Жадан і Собак"_s << 0xD1 << false;
        QTest::newRow("с (D1 81) with lead 0xD1") << u"Бумбокс"_s << u"бумбок"_s << 0xD1 << true;
        QTest::newRow("ending in a Latin letter") << u"Собакa"_s << u"Собак"_s << 0xD0 << false;
        QTest::newRow("other prefix") << u"Собаки"_s << u"Сабак"_s << 0xD0 << false;
        QTest::newRow("empty candidate") << QString() << QString() << 0xD0 << false;
        QTest::newRow("only the letter, empty prefix") << u"и"_s << QString() << 0xD0 << true;
        QTest::newRow("last letter with a combining mark")
            << u"Собаки\u0306"_s << u"Собак"_s << 0xD0 << false;
        QTest::newRow("three-byte last character") << u"Собак€"_s << u"Собак"_s << 0xE2 << false;
        QTest::newRow("prefix decomposed, candidate composed")
            << u"Їжаки"_s << u"І\u0308жак"_s << 0xD0 << true;
    }
    void completes() {
        QFETCH(QString, candidate);
        QFETCH(QString, prefix);
        QFETCH(int, lead);
        QFETCH(bool, expected);
        const TruncatedName name{prefix, static_cast<std::uint8_t>(lead)};
        QCOMPARE(RadioMetadataText::completes(candidate, name), expected);
    }

    // Stream titles are untrusted bytes: any mix of markers, blanks that are
    // letter halves, combining marks and broken surrogates must come through
    // without a crash, and every cut name found must be completable.
    void arbitraryTextIsHandled() {
        const QString alphabet =
            u"ÐÑÃÂ\u0085\u00A0 \t\u0080\u0081\u0091\u009F¹²³ÀÊèÿaZ-Пі\u0301€…\uFFFD"_s +
            QChar(0xD83C) + QChar(0xDFB5);
        QRandomGenerator random(20250131);
        for (int round = 0; round < 5000; ++round) {
            QString text;
            const int length = random.bounded(24);
            for (int i = 0; i < length; ++i)
                text += alphabet[random.bounded(alphabet.size())];
            RadioMetadataText::clean(text);
            RadioMetadataText::comparisonKey(text);
            if (const std::optional<TruncatedName> cut = RadioMetadataText::truncatedName(text)) {
                QVERIFY(cut->lead == 0xD0 || cut->lead == 0xD1);
                QVERIFY(RadioMetadataText::completes(
                    cut->prefix + QChar(cut->lead == 0xD0 ? 0x0430 : 0x0441), *cut));
            }
        }
    }

    void comparisonKey_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << u"Back In Black"_s << u"Back In Black"_s;
        QTest::newRow("blank runs and ends")
            << u"  Back \t In\u00A0\u00A0Black \n"_s << u"Back In Black"_s;
        QTest::newRow("case is kept") << u"back in BLACK"_s << u"back in BLACK"_s;
        QTest::newRow("canonical composition") << u"Cafe\u0301  і\u0308"_s << u"Café ї"_s;
        QTest::newRow("damaged text is repaired first")
            << utf8ReadAsLatin1(u"Океан  Ельзи"_s) << u"Океан Ельзи"_s;
    }
    void comparisonKey() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(RadioMetadataText::comparisonKey(input), expected);
    }
};

QTEST_GUILESS_MAIN(RadioMetadataTextTest)
#include "test_radio_metadata_text.moc"
