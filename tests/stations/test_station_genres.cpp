#include "platform/PreferenceStore.h"
#include "stations/StationGenreEntry.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace orvanta;
using namespace Qt::StringLiterals;

namespace {

// Stands in for the stream-text repair: it must run before white space is
// collapsed and the result checked.
QString repairDamagedText(const QString& text) {
    return text.trimmed() == u"DAMAGED" ? u" Рок  і  блюз "_s : text.trimmed();
}

const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());

// Fixtures are written with single quotes for readability.
QByteArray json(QByteArray text) {
    return text.replace('\'', '"');
}

}  // namespace

class StationGenresTest : public QObject {
    Q_OBJECT

private slots:
    void normalizeGenre_data() {
        QTest::addColumn<QString>("raw");    // "~": no header
        QTest::addColumn<QString>("genre");  // "~": none
        QTest::newRow("no header") << "~"
                                   << "~";
        QTest::newRow("two blanks") << "Rock  Pop"
                                    << "Rock Pop";
        QTest::newRow("mixed white space") << " \tJazz \u00A0\u2003 Funk\n"
                                           << "Jazz Funk";
        QTest::newRow("repaired first") << "DAMAGED"
                                        << "Рок і блюз";
        QTest::newRow("empty") << ""
                               << "~";
        QTest::newRow("blanks only") << "   "
                                     << "~";
        QTest::newRow("N/A") << "N/A"
                             << "~";
        QTest::newRow("n/a") << "n/a"
                             << "~";
        QTest::newRow("dash") << "-"
                              << "~";
        QTest::newRow("Unknown") << "Unknown"
                                 << "~";
        QTest::newRow("UNDEFINED") << "UNDEFINED"
                                   << "~";
        QTest::newRow("null") << "Null"
                              << "~";
        QTest::newRow("placeholder inside") << "Unknown Pleasures"
                                            << "Unknown Pleasures";
        QTest::newRow("80 characters") << QString(80, u'ж') << QString(80, u'ж');
        QTest::newRow("81 characters") << QString(81, u'ж') << "~";
        QTest::newRow("80 after collapsing")
            << u"  "_s + QString(40, u'a') + u"   "_s + QString(39, u'b')
            << QString(40, u'a') + u' ' + QString(39, u'b');
        QTest::newRow("angle bracket") << "<b>Rock</b>"
                                       << "~";
        QTest::newRow("closing bracket") << "Rock >"
                                         << "~";
        QTest::newRow("control character") << "Ro\u0007ck"
                                           << "~";
        QTest::newRow("bidirectional override") << "Rock\u202E"
                                                << "~";
    }
    void normalizeGenre() {
        QFETCH(QString, raw);
        QFETCH(QString, genre);
        const std::optional<QString> header = raw == u"~" ? std::nullopt : std::optional(raw);
        const std::optional<QString> expected = genre == u"~" ? std::nullopt : std::optional(genre);
        QCOMPARE(orvanta::normalizeGenre(header, repairDamagedText), expected);
    }

    void freshness_data() {
        QTest::addColumn<bool>("hasGenre");
        QTest::addColumn<qint64>("ageSeconds");
        QTest::addColumn<bool>("fresh");
        QTest::newRow("genre, just now") << true << qint64(0) << true;
        QTest::newRow("genre, 23 hours") << true << qint64(23 * 3600) << true;
        QTest::newRow("genre, one day") << true << qint64(86400) << false;
        QTest::newRow("genre, from the future") << true << qint64(-1) << false;
        QTest::newRow("no genre, just under 6 hours") << false << qint64(21599) << true;
        QTest::newRow("no genre, 6 hours") << false << qint64(21600) << false;
        QTest::newRow("no genre, 7 hours") << false << qint64(7 * 3600) << false;
    }
    void freshness() {
        QFETCH(bool, hasGenre);
        QFETCH(qint64, ageSeconds);
        QFETCH(bool, fresh);
        StationGenreEntry entry;
        if (hasGenre)
            entry.genre = u"Jazz"_s;
        entry.checkedAt = now.addSecs(-ageSeconds);
        QCOMPARE(isFresh(entry, now), fresh);
    }

    void entryWithoutDateIsNotFresh() { QVERIFY(!isFresh(StationGenreEntry{}, now)); }

    void storedFormRoundTrips() {
        StationGenreEntries entries;
        entries.insert(
            u"https://a.example/x%2f"_s,
            {u"Jazz"_s, QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0, 500), QTimeZone::utc()),
             WebUrl::parse(u"https://a.example/logo.png"), true});
        entries.insert(u"https://b.example/y"_s, {std::nullopt, now, std::nullopt, std::nullopt});

        MemoryPreferenceStore store;
        writeStationGenres(store, entries);
        const QByteArray stored = *store.data(stationGenresPreferenceKey);
        const QJsonObject object = QJsonDocument::fromJson(stored).object();
        QCOMPARE(object[u"https://a.example/x%2f"_s].toObject()["checkedAt"].toDouble(), 60.5);
        QCOMPARE(object[u"https://b.example/y"_s].toObject().keys(), QStringList{"checkedAt"});
        QCOMPARE(readStationGenres(store), entries);
    }

    void brokenStoredFormIsIgnored_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing date") << json("{'https://a.example/':{'genre':'Jazz'}}")
                                      << "\"https://a.example/\".checkedAt: missing key";
        QTest::newRow("date as text")
            << json("{'https://a.example/':{'checkedAt':'yesterday'}}")
            << "\"https://a.example/\".checkedAt: expected number, found text";
        QTest::newRow("absurd date") << json("{'https://a.example/':{'checkedAt':1e300}}")
                                     << "\"https://a.example/\".checkedAt: date out of range";
        QTest::newRow("bad logo") << json("{'https://a.example/':{'checkedAt':1,'logoURL':'a b'}}")
                                  << "\"https://a.example/\".logoURL: invalid URL";
        QTest::newRow("checkedLogo as text")
            << json("{'https://a.example/':{'checkedAt':1,'checkedLogo':'yes'}}")
            << "\"https://a.example/\".checkedLogo: expected boolean, found text";
        QTest::newRow("array") << json("[]") << "top level: expected object, found array";
    }
    void brokenStoredFormIsIgnored() {
        QFETCH(QByteArray, document);
        QFETCH(QString, message);
        const Outcome<StationGenreEntries> decoded = decodeStationGenres(document);
        QVERIFY(decoded.failed());
        QCOMPARE(decoded.failure().message, message);

        MemoryPreferenceStore store;
        store.setData(stationGenresPreferenceKey, document);
        QVERIFY(readStationGenres(store).isEmpty());
    }
};

QTEST_GUILESS_MAIN(StationGenresTest)
#include "test_station_genres.moc"
