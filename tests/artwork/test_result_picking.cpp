// Which catalog entry is the track that is playing.
#include "artwork/ResultAcceptance.h"
#include "artwork/ResultPicking.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::CatalogMatching;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(Result)
Q_DECLARE_METATYPE(RadioTrack)

namespace {

// An iTunes entry with addresses of its own, so that answers tell entries
// apart.
Result song(int number, const QString& artist, const QString& title) {
    return Result{artist,
                  title,
                  u"Album %1"_s.arg(number),
                  QUrl(u"https://is1-ssl.mzstatic.com/image/thumb/%1/100x100bb.jpg"_s.arg(number)),
                  QUrl(u"https://music.apple.com/ua/album/%1"_s.arg(number)),
                  u"song"_s};
}

Result ofKind(Result result, std::optional<QString> kind) {
    result.kind = std::move(kind);
    return result;
}

Result withArtwork(Result result, const QString& artwork) {
    result.artworkUrl100 = QUrl(artwork);
    return result;
}

Result withPage(Result result, const QString& page) {
    result.trackViewUrl = QUrl(page);
    return result;
}

RadioTrack playing(std::optional<QString> artist, std::optional<QString> title) {
    return RadioTrack{std::move(title), std::move(artist), std::nullopt, std::nullopt,
                      std::nullopt};
}

// What an answer built from `choice` looks like for the whole-name rules.
RadioTrack answerFrom(const RadioTrack& query, const Result& choice) {
    return RadioTrack{query.title, query.artist, query.album ? query.album : choice.collectionName,
                      upsizeArtwork(*choice.artworkUrl100), choice.trackViewUrl};
}

// A Cyrillic name cut by a byte limit inside its last letter, as it arrives.
QString cutAfterLeadByte(const QString& name) {
    return QString::fromLatin1(name.toUtf8().chopped(1));
}

}  // namespace

class ResultPickingTest : public QObject {
    Q_OBJECT

    // Columns of the tables that name the expected entry by its index (-1:
    // nothing).
    void addPickColumns() {
        QTest::addColumn<QList<Result>>("results");
        QTest::addColumn<RadioTrack>("query");
        QTest::addColumn<int>("chosen");
    }

private slots:
    void pickResult_data() {
        addPickColumns();
        const RadioTrack plain = playing(u"Artist"_s, u"Song"_s);
        QTest::newRow("same title and performer")
            << QList{song(1, u"Artist"_s, u"Song"_s)} << plain << 0;
        QTest::newRow("case and accents")
            << QList{song(1, u"Beyoncé"_s, u"Halo"_s)} << playing(u"BEYONCE"_s, u"halo"_s) << 0;
        QTest::newRow("different title")
            << QList{song(1, u"Artist"_s, u"Other Song"_s)} << plain << -1;
        QTest::newRow("featuring in the query artist")
            << QList{song(1, u"Alpha"_s, u"Song (feat. Beta)"_s)}
            << playing(u"Alpha feat. Beta"_s, u"Song"_s) << 0;
        QTest::newRow("featuring in the query title")
            << QList{song(1, u"Alpha & Beta"_s, u"Song"_s)}
            << playing(u"Alpha"_s, u"Song (featuring Beta)"_s) << 0;
        QTest::newRow("featuring written differently on each side")
            << QList{song(1, u"Alpha"_s, u"Song (feat. Beta)"_s)}
            << playing(u"Alpha"_s, u"Song (featuring Beta)"_s) << 0;
        QTest::newRow("extra performer in the catalog")
            << QList{song(1, u"Alpha & Gamma"_s, u"Song"_s)} << playing(u"Alpha"_s, u"Song"_s)
            << -1;
        QTest::newRow("performer missing in the catalog")
            << QList{song(1, u"Alpha"_s, u"Song"_s)} << playing(u"Alpha & Beta"_s, u"Song"_s) << -1;
        QTest::newRow("exact title wins even second")
            << QList{song(1, u"Artist"_s, u"Song (Live)"_s), song(2, u"Artist"_s, u"Song"_s)}
            << plain << 1;
        QTest::newRow("otherwise the first wins")
            << QList{song(1, u"Artist"_s, u"Song (Live)"_s),
                     song(2, u"Artist"_s, u"Song (Acoustic)"_s)}
            << plain << 0;
        QTest::newRow("edit query skips the original")
            << QList{song(1, u"Artist"_s, u"Song"_s), song(2, u"Artist"_s, u"Song (Radio Edit)"_s)}
            << playing(u"Artist"_s, u"Song (Radio Edit)"_s) << 1;
        QTest::newRow("edit query never takes the original")
            << QList{song(1, u"Artist"_s, u"Song"_s)}
            << playing(u"Artist"_s, u"Song (Radio Edit)"_s) << -1;
        QTest::newRow("album version query takes the plain title")
            << QList{song(1, u"Artist"_s, u"Song"_s)}
            << playing(u"Artist"_s, u"Song (Album Version)"_s) << 0;
        QTest::newRow("kind not song")
            << QList{ofKind(song(1, u"Artist"_s, u"Song"_s), u"music-video"_s),
                     ofKind(song(2, u"Artist"_s, u"Song"_s), std::nullopt),
                     song(3, u"Artist"_s, u"Song"_s)}
            << plain << 2;
        QTest::newRow("artwork on another port")
            << QList{withArtwork(song(1, u"Artist"_s, u"Song"_s),
                                 u"https://is1-ssl.mzstatic.com:8443/a/100x100bb.jpg"_s)}
            << plain << -1;
        QTest::newRow("page not on a music host")
            << QList{withPage(song(1, u"Artist"_s, u"Song"_s), u"https://example.com/song"_s),
                     song(2, u"Artist"_s, u"Song"_s)}
            << plain << 1;
        QTest::newRow("longer catalog artist")
            << QList{song(1, u"Adele Adkins"_s, u"Song"_s)} << playing(u"Adele"_s, u"Song"_s) << 0;
        QTest::newRow("two longer catalog artists")
            << QList{song(1, u"Adele Adkins"_s, u"Song"_s), song(2, u"Adele Smith"_s, u"Song"_s)}
            << playing(u"Adele"_s, u"Song"_s) << -1;
        QTest::newRow("longer catalog artist is a group")
            << QList{song(1, u"Adele Adkins & Band"_s, u"Song"_s)} << playing(u"Adele"_s, u"Song"_s)
            << -1;
        QTest::newRow("generic name never extended")
            << QList{song(1, u"Radio Heads"_s, u"Song"_s)} << playing(u"Radio"_s, u"Song"_s) << -1;
        QTest::newRow("short name never extended")
            << QList{song(1, u"Abc Def"_s, u"Song"_s)} << playing(u"Abc"_s, u"Song"_s) << -1;
        QTest::newRow("one letter deleted") << QList{song(1, u"Mariah Carey"_s, u"Song"_s)}
                                            << playing(u"Mariah Carrey"_s, u"Song"_s) << 0;
        QTest::newRow("one letter replaced") << QList{song(1, u"Okean Elzy"_s, u"Song"_s)}
                                             << playing(u"Okean Elzi"_s, u"Song"_s) << 0;
        QTest::newRow("two letters apart") << QList{song(1, u"Mariah Carey"_s, u"Song"_s)}
                                           << playing(u"Mariah Carrie"_s, u"Song"_s) << -1;
        QTest::newRow("short names one letter apart")
            << QList{song(1, u"Sio"_s, u"Song"_s)} << playing(u"Sia"_s, u"Song"_s) << -1;
        QTest::newRow("one letter apart but two spellings")
            << QList{song(1, u"Okean Elzy"_s, u"Song"_s), song(2, u"Okean Elzu"_s, u"Song"_s)}
            << playing(u"Okean Elzi"_s, u"Song"_s) << -1;
        QTest::newRow("Cyrillic name listed in Latin") << QList{song(1, u"Okean Elzy"_s, u"Song"_s)}
                                                       << playing(u"Океан Ельзи"_s, u"Song"_s) << 0;
        QTest::newRow("Cyrillic name in another spelling")
            << QList{song(1, u"Gnat Homenko"_s, u"Song"_s)} << playing(u"Гнат Хоменко"_s, u"Song"_s)
            << 0;
        QTest::newRow("no performer words")
            << QList{song(1, u"feat."_s, u"Song"_s)} << playing(u"feat."_s, u"Song"_s) << -1;
        QTest::newRow("title without words")
            << QList{song(1, u"Artist"_s, u"!!!"_s)} << playing(u"Artist"_s, u"!!!"_s) << -1;
        QTest::newRow("no artist")
            << QList{song(1, u"Artist"_s, u"Song"_s)} << playing(std::nullopt, u"Song"_s) << -1;
        QTest::newRow("blank title")
            << QList{song(1, u"Artist"_s, u"Song"_s)} << playing(u"Artist"_s, u"  "_s) << -1;
        // Equal title keys once the bracketed part is gone, but no real title is
        // that long.
        const QString padded = u"Song ("_s + QString(1000, u'x') + u")"_s;
        QTest::newRow("catalog title of over 1000 characters")
            << QList{song(1, u"Artist"_s, padded)} << plain << -1;
        QTest::newRow("query title of over 1000 characters")
            << QList{song(1, u"Artist"_s, u"Song"_s)} << playing(u"Artist"_s, padded) << -1;
    }
    void pickResult() {
        QFETCH(QList<Result>, results);
        QFETCH(RadioTrack, query);
        QFETCH(int, chosen);
        const std::optional<RadioTrack> picked =
            CatalogMatching::pickResult(results, query, Catalog::apple);
        if (chosen < 0)
            QCOMPARE(picked, std::nullopt);
        else
            QCOMPARE(picked, answerFrom(query, results[chosen]));
    }

    // Bracket stripping and the featuring patterns cost the square of a text's
    // length; an answer of a megabyte must not hold the caller for minutes.
    // Entries whose texts would take the matching patterns minutes are passed
    // over, and the ordinary entry beside them still wins.
    void hostileCatalogTextsArePassedOver() {
        const QString nested = QString(30000, u'(') + QString(30000, u')');
        const QString unclosed = u"Song"_s + u" (feat. a"_s.repeated(10000);
        const QList<Result> results{song(1, u"Artist"_s, nested), song(2, u"Artist"_s, unclosed),
                                    song(3, unclosed, u"Song"_s), song(4, u"Artist"_s, u"Song"_s)};
        const RadioTrack plain = playing(u"Artist"_s, u"Song"_s);
        const RadioTrack edited = playing(u"Artist"_s, u"Song (Radio Edit)"_s);
        RadioTrack unedited = edited;
        unedited.artworkUrl = upsizeArtwork(*results[3].artworkUrl100);
        QCOMPARE(CatalogMatching::pickResult(results, plain, Catalog::apple),
                 answerFrom(plain, results[3]));
        QCOMPARE(CatalogMatching::crossScriptMatch(results, plain, Catalog::apple), std::nullopt);
        QCOMPARE(CatalogMatching::pickUnedited(results, edited, Catalog::apple), unedited);
    }

    void answerKeepsTheQueryAsReceived() {
        const QList<Result> results{song(7, u"Artist"_s, u"Song"_s)};
        RadioTrack query = playing(u" Artist "_s, u"Song\n"_s);
        QCOMPARE(CatalogMatching::pickResult(results, query, Catalog::apple),
                 (RadioTrack{u"Song\n"_s, u" Artist "_s, u"Album 7"_s,
                             QUrl(u"https://is1-ssl.mzstatic.com/image/thumb/7/600x600bb.jpg"_s),
                             QUrl(u"https://music.apple.com/ua/album/7"_s)}));
        query.album = u"Station's album"_s;
        QCOMPARE(CatalogMatching::pickResult(results, query, Catalog::apple)->album,
                 u"Station's album"_s);
    }

    void deezerEntriesFollowDeezerHosts() {
        const Result entry{u"Artist"_s,
                           u"Song"_s,
                           u"Album"_s,
                           QUrl(u"https://e-cdns-images.dzcdn.net/images/cover/x/500x500.jpg"_s),
                           QUrl(u"https://www.deezer.com/track/1"_s),
                           u"song"_s};
        const RadioTrack query = playing(u"Artist"_s, u"Song"_s);
        QCOMPARE(CatalogMatching::pickResult({entry}, query, Catalog::deezer),
                 answerFrom(query, entry));
        QCOMPARE(CatalogMatching::pickResult({entry}, query, Catalog::apple), std::nullopt);
    }

    void cutArtistName_data() {
        QTest::addColumn<QList<Result>>("results");
        QTest::addColumn<int>("chosen");
        const Result full = song(1, u"Океан Ельзи"_s, u"Обійми"_s);
        // "я" starts with another byte than the cut letter, so it is no completion.
        QTest::newRow("one completion") << QList{song(0, u"Океан Ельзя"_s, u"Обійми"_s), full} << 1;
        QTest::newRow("completions differing in case")
            << QList{full, song(2, u"ОКЕАН ЕЛЬЗИ"_s, u"Обійми"_s)} << 0;
        QTest::newRow("two different completions")
            << QList{full, song(2, u"Океан Ельзо"_s, u"Обійми"_s)} << -1;
        QTest::newRow("other title") << QList{song(1, u"Океан Ельзи"_s, u"Обійми (Live)"_s)} << -1;
        QTest::newRow("not a song") << QList{ofKind(full, u"podcast"_s)} << -1;
    }
    void cutArtistName() {
        QFETCH(QList<Result>, results);
        QFETCH(int, chosen);
        const RadioTrack query = playing(cutAfterLeadByte(u"Океан Ельзи"_s), u" Обійми"_s);
        QVERIFY(query.artistTruncation());
        const std::optional<RadioTrack> picked =
            CatalogMatching::pickResult(results, query, Catalog::apple);
        if (chosen < 0) {
            QCOMPARE(picked, std::nullopt);
            return;
        }
        // The catalog's full name replaces the cut one; the title stays as received.
        const Result& choice = results[chosen];
        QCOMPARE(picked, (RadioTrack{u" Обійми"_s, choice.artistName, choice.collectionName,
                                     upsizeArtwork(*choice.artworkUrl100), choice.trackViewUrl}));
    }

    void catalogArtistWithDjPrefix() {
        RadioTrack query = playing(u"Martin Lane"_s, u"Song"_s);
        query.storeURL = QUrl(u"https://example.com/station"_s);
        const QList<Result> results{song(1, u"Martin Lane Band"_s, u"Other"_s),
                                    song(2, u"DJ Martin Lane"_s, u"Song (Extended Mix)"_s),
                                    song(3, u"DJ Martin Lane"_s, u"Song"_s)};
        QCOMPARE(CatalogMatching::pickResult(results, query, Catalog::apple),
                 (RadioTrack{u"Song"_s, u"Martin Lane"_s, u"Album 3"_s,
                             QUrl(u"https://is1-ssl.mzstatic.com/image/thumb/3/600x600bb.jpg"_s),
                             QUrl(u"https://music.apple.com/ua/album/3"_s)}));
        // One word is too little to claim a DJ of that name.
        QCOMPARE(CatalogMatching::pickResult({song(1, u"DJ Lane"_s, u"Song"_s)},
                                             playing(u"Lane"_s, u"Song"_s), Catalog::apple),
                 std::nullopt);
    }

    void crossScriptMatch_data() {
        addPickColumns();
        const auto homenko = [](const QString& artist) {
            return QList{song(1, artist, u"Song"_s)};
        };
        const RadioTrack cyrillic = playing(u"Гнат Хоменко"_s, u"Song"_s);
        QTest::newRow("kh and h") << homenko(u"Hnat Khomenko"_s) << cyrillic << 0;
        QTest::newRow("h and g") << homenko(u"Gnat Homenko"_s) << cyrillic << 0;
        QTest::newRow("h and h") << homenko(u"Hnat Homenko"_s) << cyrillic << 0;
        QTest::newRow("kh and g") << homenko(u"Gnat Khomenko"_s) << cyrillic << 0;
        QTest::newRow("Latin query, Cyrillic catalog")
            << homenko(u"Гнат Хоменко"_s) << playing(u"Gnat Homenko"_s, u"Song"_s) << 0;
        QTest::newRow("й folded before spelling")
            << homenko(u"Serhiy Moroz"_s) << playing(u"Сергій Мороз"_s, u"Song"_s) << 0;
        QTest::newRow("country after the Cyrillic name")
            << homenko(u"Maryna"_s) << playing(u"Марина Україна"_s, u"Song"_s) << 0;
        QTest::newRow("country after the Latin name")
            << homenko(u"Maryna Ukraine"_s) << playing(u"Марина"_s, u"Song"_s) << 0;
        QTest::newRow("country on both sides")
            << homenko(u"Maryna Ukraine"_s) << playing(u"Марина Україна"_s, u"Song"_s) << -1;
        QTest::newRow("Latin name of three letters")
            << homenko(u"Uma"_s) << playing(u"Ума"_s, u"Song"_s) << -1;
        QTest::newRow("Latin name of four letters")
            << homenko(u"Mara"_s) << playing(u"Мара"_s, u"Song"_s) << 0;
        QTest::newRow("two performers")
            << homenko(u"Hnat Khomenko"_s) << playing(u"Гнат Хоменко & Мара"_s, u"Song"_s) << -1;
        QTest::newRow("two spellings among the matches")
            << QList{song(1, u"Hnat Khomenko"_s, u"Song"_s), song(2, u"Gnat Homenko"_s, u"Song"_s)}
            << cyrillic << -1;
        QTest::newRow("one spelling twice")
            << QList{ofKind(song(1, u"Hnat Khomenko"_s, u"Song"_s), u"music-video"_s),
                     song(2, u"Hnat Khomenko"_s, u"Song"_s), song(3, u"HNAT KHOMENKO"_s, u"Song"_s)}
            << cyrillic << 1;
        QTest::newRow("same script")
            << homenko(u"Hnat Khomenko"_s) << playing(u"Hnat Khomenko"_s, u"Song"_s) << -1;
        QTest::newRow("mixed script") << homenko(u"Hnat Хоменко"_s) << cyrillic << -1;
        QTest::newRow("other title")
            << QList{song(1, u"Hnat Khomenko"_s, u"Song (Live)"_s)} << cyrillic << -1;
    }
    void crossScriptMatch() {
        QFETCH(QList<Result>, results);
        QFETCH(RadioTrack, query);
        QFETCH(int, chosen);
        const std::optional<Result> match =
            CatalogMatching::crossScriptMatch(results, query, Catalog::apple);
        if (chosen < 0)
            QCOMPARE(match, std::nullopt);
        else
            QCOMPARE(match, results[chosen]);
    }

    void pickUnedited_data() {
        addPickColumns();
        RadioTrack mashup = playing(u"Alpha & Beta"_s, u"Song (Gamma Mashup Edit)"_s);
        mashup.album = u"Station album"_s;
        mashup.storeURL = QUrl(u"https://example.com/station"_s);
        QTest::newRow("one of the performers")
            << QList{song(1, u"Gamma"_s, u"Song"_s), song(2, u"Beta"_s, u"Song"_s)} << mashup << 1;
        QTest::newRow("performer featured in the catalog title")
            << QList{song(1, u"Gamma"_s, u"Song (feat. Alpha)"_s)} << mashup << 0;
        QTest::newRow("performer sharing a word only")
            << QList{song(1, u"Alpha Centauri"_s, u"Song"_s)} << mashup << -1;
        QTest::newRow("another version")
            << QList{song(1, u"Beta"_s, u"Song (Live)"_s)} << mashup << -1;
        QTest::newRow("not a song")
            << QList{ofKind(song(1, u"Beta"_s, u"Song"_s), u"album"_s)} << mashup << -1;
        QTest::newRow("wrong host")
            << QList{withPage(song(1, u"Beta"_s, u"Song"_s), u"https://example.com/"_s)} << mashup
            << -1;
        QTest::newRow("title without an edit")
            << QList{song(1, u"Beta"_s, u"Song"_s)} << playing(u"Alpha & Beta"_s, u"Song"_s) << -1;
    }
    void pickUnedited() {
        QFETCH(QList<Result>, results);
        QFETCH(RadioTrack, query);
        QFETCH(int, chosen);
        const std::optional<RadioTrack> picked =
            CatalogMatching::pickUnedited(results, query, Catalog::apple);
        if (chosen < 0) {
            QCOMPARE(picked, std::nullopt);
            return;
        }
        RadioTrack expected = query;
        expected.artworkUrl = upsizeArtwork(*results[chosen].artworkUrl100);
        QCOMPARE(picked, expected);
    }
};

QTEST_GUILESS_MAIN(ResultPickingTest)
#include "test_result_picking.moc"
