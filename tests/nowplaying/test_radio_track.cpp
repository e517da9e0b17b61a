#include "Mojibake.h"
#include "nowplaying/APIJSON.h"
#include "nowplaying/RadioTrack.h"

#include <QJsonDocument>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<orvanta::RadioTrack>)

namespace {

RadioTrack track(std::optional<QString> title, std::optional<QString> artist = std::nullopt) {
    return RadioTrack{std::move(title), std::move(artist), std::nullopt, std::nullopt,
                      std::nullopt};
}

}  // namespace

class RadioTrackTest : public QObject {
    Q_OBJECT

private slots:
    void jsonRoundTripKeepsEveryField() {
        const RadioTrack full{u"Обійми"_s, u"Океан Ельзи"_s, u"Земля"_s,
                              QUrl(u"https://img.example/a b.jpg"_s),
                              QUrl(u"https://music.example/track/1?x=1"_s)};
        const QJsonObject json = full.toJson();
        QCOMPARE(json.value("artworkUrl"_L1).toString(), u"https://img.example/a%20b.jpg"_s);
        QCOMPARE(RadioTrack::fromJson(json).value(), full);
        QCOMPARE(RadioTrack::fromJson(track(u""_s).toJson()).value(), track(u""_s));
    }

    void emptyFieldsAreLeftOut() {
        const QJsonObject json = track(u"Title"_s).toJson();
        QCOMPARE(json.keys(), QStringList{u"title"_s});
        QVERIFY(RadioTrack().toJson().isEmpty());
    }

    void decodingReadsAbsentNullAndUnknownKeysLeniently() {
        const Outcome<RadioTrack> decoded = APIJSON::decode<RadioTrack>(
            "{\"title\": \"T\", \"artist\": null, \"artworkUrl\": \"\", \"storeURL\": null, "
            "\"genre\": 5}");
        QVERIFY(decoded.ok());
        QCOMPARE(decoded.value(), track(u"T"_s));
    }

    void decodingFailsOnWrongTypes_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("number title") << QByteArray("{\"title\": 5}");
        QTest::newRow("object artist") << QByteArray("{\"artist\": {}}");
        QTest::newRow("number address") << QByteArray("{\"artworkUrl\": 1}");
        QTest::newRow("unreadable address") << QByteArray("{\"storeURL\": \"http://[::1\"}");
        QTest::newRow("array document") << QByteArray("[{\"title\": \"T\"}]");
        QTest::newRow("malformed") << QByteArray("{\"title\": \"T\"");
    }
    void decodingFailsOnWrongTypes() {
        QFETCH(QByteArray, json);
        const Outcome<RadioTrack> decoded = APIJSON::decode<RadioTrack>(json);
        QVERIFY(decoded.failed());
        QCOMPARE(decoded.failure().domain, ErrorDomain::decoding);
    }

    void displayFields_data() {
        QTest::addColumn<std::optional<QString>>("field");
        QTest::addColumn<std::optional<QString>>("shown");
        QTest::newRow("absent") << std::optional<QString>() << std::optional<QString>();
        QTest::newRow("blank") << std::optional(u" \n "_s) << std::optional<QString>();
        QTest::newRow("padded") << std::optional(u"  Земля \n"_s) << std::optional(u"Земля"_s);
        QTest::newRow("damaged") << std::optional(utf8ReadAsWindows1252(u"Земля"_s))
                                 << std::optional(u"Земля"_s);
    }
    void displayFields() {
        QFETCH(std::optional<QString>, field);
        QFETCH(std::optional<QString>, shown);
        const RadioTrack asTitle{field, field, field, std::nullopt, std::nullopt};
        QCOMPARE(asTitle.displayTitle(), shown);
        QCOMPARE(asTitle.displayAlbum(), shown);
        QCOMPARE(asTitle.displayArtist(), shown);
    }

    void cutArtistIsShownWithAnEllipsis() {
        const RadioTrack cut = track(u"Вахтерам"_s, utf8CutReadAsLatin1(u"Бумбокс"_s, 11));
        QCOMPARE(cut.artistTruncation(), std::optional(TruncatedName{u"Бумбо"_s, 0xD0}));
        QCOMPARE(cut.displayArtist(), std::optional(u"Бумбо…"_s));
        QCOMPARE(track(u"T"_s).artistTruncation(), std::nullopt);
    }

    void fromStreamTitle_data() {
        QTest::addColumn<QString>("streamTitle");
        QTest::addColumn<std::optional<RadioTrack>>("expected");
        QTest::newRow("artist and title")
            << u"Океан Ельзи - Обійми"_s << std::optional(track(u"Обійми"_s, u"Океан Ельзи"_s));
        QTest::newRow("split at the first separator")
            << u"A - B - C"_s << std::optional(track(u"B - C"_s, u"A"_s));
        QTest::newRow("tabs are no separator")
            << u"A\t-\tB"_s << std::optional(track(u"A\t-\tB"_s));
        QTest::newRow("blank runs around the separator")
            << u"A  -  B"_s << std::optional(track(u"B"_s, u"A"_s));
        QTest::newRow("leading hyphen and blank") << u" - B"_s << std::optional(track(u"- B"_s));
        QTest::newRow("hyphen without blanks") << u"Jay-Z"_s << std::optional(track(u"Jay-Z"_s));
        QTest::newRow("empty artist part") << u"\u00A0 - B"_s << std::optional(track(u"- B"_s));
        QTest::newRow("bare title") << u"Вахтерам"_s << std::optional(track(u"Вахтерам"_s));
        QTest::newRow("damaged title is repaired before splitting")
            << utf8ReadAsLatin1(u"Бумбокс - Вахтерам"_s)
            << std::optional(track(u"Вахтерам"_s, u"Бумбокс"_s));
        QTest::newRow("blank") << u"  \n"_s << std::optional<RadioTrack>();
    }
    void fromStreamTitle() {
        QFETCH(QString, streamTitle);
        QFETCH(std::optional<RadioTrack>, expected);
        QCOMPARE(RadioTrack::fromStreamTitle(streamTitle), expected);
    }

    void isSameSong_data() {
        QTest::addColumn<RadioTrack>("self");
        QTest::addColumn<std::optional<RadioTrack>>("other");
        QTest::addColumn<bool>("same");
        QTest::newRow("same title and artist")
            << track(u"Обійми"_s, u"Океан Ельзи"_s)
            << std::optional(track(u"Обійми"_s, u"Океан Ельзи"_s)) << true;
        QTest::newRow("titles differing in blanks")
            << track(u"Back  In Black"_s, u"AC/DC"_s)
            << std::optional(track(u" Back In\u00A0Black"_s, u"AC/DC "_s)) << true;
        QTest::newRow("titles differing in case")
            << track(u"Back In Black"_s) << std::optional(track(u"back in black"_s)) << false;
        QTest::newRow("damaged title against its repair")
            << track(u"Обійми"_s) << std::optional(track(utf8ReadAsLatin1(u"Обійми"_s))) << true;
        QTest::newRow("other without artist")
            << track(u"T"_s, u"A"_s) << std::optional(track(u"T"_s)) << true;
        QTest::newRow("only other has an artist")
            << track(u"T"_s) << std::optional(track(u"T"_s, u"A"_s)) << false;
        QTest::newRow("different artists")
            << track(u"T"_s, u"A"_s) << std::optional(track(u"T"_s, u"B"_s)) << false;
        QTest::newRow("other's cut artist completed by this one")
            << track(u"Вахтерам"_s, u"Бумбокс"_s)
            << std::optional(track(u"Вахтерам"_s, utf8CutReadAsLatin1(u"Бумбокс"_s, 13))) << true;
        QTest::newRow("other's cut artist, this one differs")
            << track(u"Вахтерам"_s, u"Бумбакс"_s)
            << std::optional(track(u"Вахтерам"_s, utf8CutReadAsLatin1(u"Бумбокс"_s, 13))) << false;
        QTest::newRow("this one's cut artist is not completed by the other")
            << track(u"Вахтерам"_s, utf8CutReadAsLatin1(u"Бумбокс"_s, 13))
            << std::optional(track(u"Вахтерам"_s, u"Бумбокс"_s)) << false;
        QTest::newRow("no other") << track(u"T"_s) << std::optional<RadioTrack>() << false;
        QTest::newRow("this one without title")
            << track(u" "_s, u"A"_s) << std::optional(track(u"T"_s, u"A"_s)) << false;
        QTest::newRow("other without title")
            << track(u"T"_s, u"A"_s) << std::optional(track(std::nullopt, u"A"_s)) << false;
    }
    void isSameSong() {
        QFETCH(RadioTrack, self);
        QFETCH(std::optional<RadioTrack>, other);
        QFETCH(bool, same);
        QCOMPARE(self.isSameSong(other), same);
    }
};

QTEST_GUILESS_MAIN(RadioTrackTest)
#include "test_radio_track.moc"
