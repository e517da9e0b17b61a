// The text keys under which catalog entries and radio metadata are compared.
#include "artwork/CountryNames.h"
#include "artwork/MatchingFolding.h"
#include "artwork/MatchingText.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::CatalogMatching;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

QStringList sorted(const KeySet& keys) {
    return QStringList(keys.begin(), keys.end());
}

}  // namespace

class MatchingTextTest : public QObject {
    Q_OBJECT

private slots:
    void searchKey_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::newRow("apostrophe and hyphen split")
            << u"Don’t Stop-Me Now!"_s << u"don t stop me now"_s;
        QTest::newRow("accents and case")
            << u"Ça Plaît  À Tout Le Monde"_s << u"ca plait a tout le monde"_s;
        QTest::newRow("decomposed accent") << u"Beyonce\u0301"_s << u"beyonce"_s;
        QTest::newRow("sharp s") << u"STRAẞE Straße"_s << u"strasse strasse"_s;
        // Folding diacritics takes the breve off й and the diaeresis off ї.
        QTest::newRow("Cyrillic") << u"Океан Ельзи — Обійми, Їжак"_s
                                  << u"океан ельзи обіими іжак"_s;
        QTest::newRow("digits stay") << u"Track #9 (2019)"_s << u"track 9 2019"_s;
        QTest::newRow("only punctuation") << u" … !? "_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void searchKey() {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(CatalogMatching::searchKey(text), key);
    }

    void titleKey_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("key");
        QTest::newRow("album version in brackets") << u"Hello (Album Version)"_s << u"hello"_s;
        QTest::newRow("album version after a dash") << u"Hello - Album Version"_s << u"hello"_s;
        QTest::newRow("nested brackets vanish")
            << u"Hello (Live [2019 (Remaster)]) Again"_s << u"hello again"_s;
        QTest::newRow("square and round") << u"Hello [Radio Edit] (feat. X)"_s << u"hello"_s;
        QTest::newRow("only one bracketed part") << u"(Intro)"_s << u"intro"_s;
        QTest::newRow("only album version") << u"Album Version"_s << u"album version"_s;
        QTest::newRow("unbalanced bracket stays") << u"Hello (Live"_s << u"hello live"_s;
    }
    void titleKey() {
        QFETCH(QString, title);
        QFETCH(QString, key);
        QCOMPARE(CatalogMatching::titleKey(title), key);
    }

    void removeFeat_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("feat.") << u"Song (feat. X)"_s << u"Song"_s;
        QTest::newRow("square ft") << u"Song [ft X] (Remix)"_s << u"Song (Remix)"_s;
        QTest::newRow("several") << u"Song (featuring A & B) [with C]"_s << u"Song"_s;
        QTest::newRow("upper case") << u"Song (FEAT. X)"_s << u"Song"_s;
        QTest::newRow("word merely starting with with")
            << u"Song (Withering)"_s << u"Song (Withering)"_s;
        QTest::newRow("no featuring") << u"Song (Live)"_s << u"Song (Live)"_s;
    }
    void removeFeat() {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(CatalogMatching::removeFeat(text), result);
    }

    void featuredArtists_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artists");
        QTest::newRow("feat.") << u"Song (feat. Drake)"_s << u" Drake"_s;
        QTest::newRow("featuring keeps the name whole")
            << u"Song (featuring Bill Withers)"_s << u" Bill Withers"_s;
        QTest::newRow("square ft. with two") << u"Song [ft. A & B]"_s << u" A & B"_s;
        QTest::newRow("first part only") << u"Song (Remix) (with X) (feat. Y)"_s << u" X"_s;
        QTest::newRow("none") << u"Song (Live)"_s << QString();
    }
    void featuredArtists() {
        QFETCH(QString, title);
        QFETCH(QString, artists);
        QCOMPARE(CatalogMatching::featuredArtists(title), artists);
    }

    void editStrippedTitle_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<std::optional<QString>>("stripped");
        const std::optional<QString> song = u"Song"_s;
        QTest::newRow("radio edit") << u"Song (Radio Edit)"_s << song;
        QTest::newRow("square brackets") << u"Song [Club Edit] "_s << song;
        QTest::newRow("dash") << u"Song - Radio Edit"_s << song;
        QTest::newRow("en dash mash-up") << u"Song – Mash-Up"_s << song;
        QTest::newRow("mash up") << u"Song (A vs B Mash Up)"_s << song;
        QTest::newRow("mashup") << u"Song [Mashup]"_s << song;
        QTest::newRow("edited is no edit") << u"Song (Edited)"_s << std::optional<QString>();
        QTest::newRow("not at the end") << u"Song (Edit) Remix"_s << std::optional<QString>();
        QTest::newRow("nothing left") << u"(Radio Edit)"_s << std::optional<QString>();
        QTest::newRow("dash without blank") << u"Song-Radio Edit"_s << std::optional<QString>();
        QTest::newRow("remix") << u"Song (Remix)"_s << std::optional<QString>();
    }
    void editStrippedTitle() {
        QFETCH(QString, title);
        QFETCH(std::optional<QString>, stripped);
        QCOMPARE(CatalogMatching::editStrippedTitle(title), stripped);
    }

    void titleCompatible_data() {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("compatible");
        QTest::newRow("edit, same edit")
            << u"Song (Radio Edit)"_s << u"Song (Radio Edit)"_s << true;
        QTest::newRow("edit, same edit with feat")
            << u"Song (Radio Edit) [feat. X]"_s << u"Song (Radio Edit)"_s << true;
        QTest::newRow("edit, original") << u"Song"_s << u"Song (Radio Edit)"_s << false;
        QTest::newRow("edit, other edit")
            << u"Song (Club Edit)"_s << u"Song (Radio Edit)"_s << false;
        QTest::newRow("album version, plain") << u"Song"_s << u"Song (Album Version)"_s << true;
        QTest::newRow("album version, same")
            << u"Song - Album Version"_s << u"Song (Album Version)"_s << true;
        QTest::newRow("album version, live")
            << u"Song (Live)"_s << u"Song (Album Version)"_s << false;
        QTest::newRow("plain query takes any edition")
            << u"Song (Extended Mix)"_s << u"Song"_s << true;
    }
    void titleCompatible() {
        QFETCH(QString, candidate);
        QFETCH(QString, query);
        QFETCH(bool, compatible);
        QCOMPARE(CatalogMatching::titleCompatible(candidate, query), compatible);
    }

    void splitArtists_data() {
        QTest::addColumn<QString>("artists");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("lone x") << u"Alpha x Beta"_s << QStringList{u"Alpha"_s, u"Beta"_s};
        QTest::newRow("x inside words") << u"Alex Maxx"_s << QStringList{u"Alex Maxx"_s};
        QTest::newRow("upper-case X") << u"Alpha X Beta"_s << QStringList{u"Alpha"_s, u"Beta"_s};
        QTest::newRow("signs") << u"A & B, C;D"_s << QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s};
        QTest::newRow("words") << u"A feat. B ft C featuring D with E vs. F versus G and H"_s
                               << QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s,
                                              u"E"_s, u"F"_s, u"G"_s, u"H"_s};
        QTest::newRow("та") << u"Океан Ельзи та Марина"_s
                            << QStringList{u"Океан Ельзи"_s, u"Марина"_s};
        QTest::newRow("та inside a word")
            << u"Тарас Петриненко"_s << QStringList{u"Тарас Петриненко"_s};
        QTest::newRow("empty pieces dropped") << u" & A &  "_s << QStringList{u"A"_s};
        // The patterns are Unicode-aware: a no-break space is a space, and a
        // Cyrillic letter is a word character, so no word boundary falls
        // between it and a Latin letter.
        QTest::newRow("no-break spaces around feat.")
            << u"Океан\u00A0Ельзи\u00A0feat.\u00A0Марина"_s
            << QStringList{u"Океан\u00A0Ельзи"_s, u"Марина"_s};
        QTest::newRow("feat glued to a Cyrillic word")
            << u"Ярославаfeat Марина"_s << QStringList{u"Ярославаfeat Марина"_s};
    }
    void splitArtists() {
        QFETCH(QString, artists);
        QFETCH(QStringList, pieces);
        QCOMPARE(CatalogMatching::splitArtists(artists), pieces);
    }

    void artistKeys_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("я first and inside")
            << u"Ярослава Маяк"_s << QStringList{u"maiak"_s, u"yaroslava"_s};
        QTest::newRow("word-initial є ї й ю")
            << u"Євген Їжак Йосип Юрій"_s
            << QStringList{u"yevhen"_s, u"yizhak"_s, u"yosyp"_s, u"yurii"_s};
        QTest::newRow("є ї inside") << u"Моє Київ"_s << QStringList{u"kyiv"_s, u"moie"_s};
        QTest::newRow("всі літери")
            << u"Щука Жаба Цвях Чаша Ґанок Ель Хата"_s
            << QStringList{u"chasha"_s,  u"el"_s,      u"ganok"_s, u"khata"_s,
                           u"shchuka"_s, u"tsviakh"_s, u"zhaba"_s};
        QTest::newRow("Russian letters")
            << u"Ёлка Объект Эхо Мы"_s << QStringList{u"ekho"_s, u"iolka"_s, u"my"_s, u"obekt"_s};
        QTest::newRow("та disappears")
            << u"Океан Ельзи та Марина"_s << QStringList{u"elzy"_s, u"maryna"_s, u"okean"_s};
        QTest::newRow("vs separates") << u"Alpha vs Beta"_s << QStringList{u"alpha"_s, u"beta"_s};
        QTest::newRow("vs. separates") << u"Alpha vs. Beta"_s << QStringList{u"alpha"_s, u"beta"_s};
        QTest::newRow("joining words dropped")
            << u"Hello and Goodbye feat. Friends with Me"_s
            << QStringList{u"friends"_s, u"goodbye"_s, u"hello"_s, u"me"_s};
        QTest::newRow("diacritics folded") << u"Beyoncé"_s << QStringList{u"beyonce"_s};
        QTest::newRow("decomposed й") << u"Сергі\u0438\u0306"_s << QStringList{u"serhii"_s};
        QTest::newRow("only joining words") << u"feat & and"_s << QStringList();
    }
    void artistKeys() {
        QFETCH(QString, text);
        QFETCH(QStringList, keys);
        QCOMPARE(sorted(CatalogMatching::artistKeys(text)), keys);
    }

    void nameVariants_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("variants");
        QTest::newRow("English country")
            << u"okean elzy ukraine"_s << QStringList{u"okean elzy ukraine"_s, u"okean elzy"_s};
        const QString ukrainian = CatalogMatching::searchKey(u"Марина Україна"_s);
        QTest::newRow("Ukrainian country") << ukrainian << QStringList{ukrainian, u"марина"_s};
        const QString russian = CatalogMatching::searchKey(u"Марина Германия"_s);
        QTest::newRow("Russian country") << russian << QStringList{russian, u"марина"_s};
        QTest::newRow("longest country name wins")
            << u"band papua new guinea"_s << QStringList{u"band papua new guinea"_s, u"band"_s};
        QTest::newRow("country alone") << u"ukraine"_s << QStringList{u"ukraine"_s};
        QTest::newRow("no country") << u"sound of kyiv"_s << QStringList{u"sound of kyiv"_s};
    }
    void nameVariants() {
        QFETCH(QString, key);
        QFETCH(QStringList, variants);
        QCOMPARE(CatalogMatching::nameVariants(key), variants);
    }

    // Latin, Greek and Cyrillic text is folded one character at a time from
    // tables; anything else goes through ICU as a whole. Both must agree.
    void characterTablesAgreeWithWholeTextFolding() {
        const QString outside = u"\u2014"_s;  // untouched by all three, forces the whole-text path
        for (char16_t c = 0; c < 0x0530; ++c) {
            const QString text = u"A"_s + QChar(c) + u"e\u0301"_s;
            QCOMPARE(Folding::foldedCaseAndDiacritics(text) + outside,
                     Folding::foldedCaseAndDiacritics(text + outside));
            QCOMPARE(Folding::foldedDiacritics(text) + outside,
                     Folding::foldedDiacritics(text + outside));
            QCOMPARE(Folding::lowerCased(text) + outside, Folding::lowerCased(text + outside));
        }
    }

    void greekFinalSigmaDependsOnPosition() {
        QCOMPARE(Folding::lowerCased(u"\u039F\u0394\u039F\u03A3 \u03A3\u039F"_s),
                 u"\u03BF\u03B4\u03BF\u03C2 \u03C3\u03BF"_s);
    }

    void countryNamesCoverThreeLanguages() {
        const QSet<QString>& keys = countryNameKeys();
        for (const QString& name : {u"Germany"_s, u"Німеччина"_s, u"Германия"_s, u"United States"_s,
                                    u"Україна"_s, u"Украина"_s})
            QVERIFY2(keys.contains(CatalogMatching::searchKey(name)), qPrintable(name));
        QVERIFY(keys.size() > 500);
        QVERIFY(&countryNameKeys() == &keys);
    }
};

QTEST_GUILESS_MAIN(MatchingTextTest)
#include "test_matching_text.moc"
