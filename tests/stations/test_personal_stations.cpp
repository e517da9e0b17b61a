#include "platform/Deployment.h"
#include "platform/PreferenceStore.h"
#include "stations/PersonalStation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace orvanta;
using namespace Qt::StringLiterals;

namespace {

const QUuid firstId = QUuid::fromString(u"6f1c2a8e-0b7d-4c3e-9a51-2d4e6f708192"_s);
const QUuid secondId = QUuid::fromString(u"00000000-0000-4000-8000-00000000000a"_s);

PersonalStation make(const QString& title, const QString& address, QUuid id = firstId) {
    auto result = PersonalStation::validated(title, address, id);
    if (!std::holds_alternative<PersonalStation>(result))
        qFatal("fixture refused: %s", qPrintable(address));
    return std::get<PersonalStation>(result);
}

QString onCatalog(const QString& path) {
    return u"https://"_s + Deployment::catalogHost() + path;
}

// Fixtures are written with single quotes for readability.
QByteArray json(QByteArray text) {
    return text.replace('\'', '"');
}

}  // namespace

class PersonalStationsTest : public QObject {
    Q_OBJECT

private slots:
    void validation_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("result");  // the stored address, or the refusal
        const QString stream = u"https://s.example/live"_s;
        QTest::newRow("blanks, host case and port") << "Радіо"
                                                    << " \t https://Stream.Example.COM:8000/live \n"
                                                    << "https://stream.example.com:8000/live";
        QTest::newRow("scheme and host lowered, rest as entered")
            << "Радіо"
            << "HTTPS://S.Example/Live%2fA?Q=%41&b=%2F"
            << "https://s.example/Live%2fA?Q=%41&b=%2F";
        QTest::newRow("empty port dropped") << "R"
                                            << "https://s.example:/x"
                                            << "https://s.example/x";
        QTest::newRow("ip literal") << "R"
                                    << "https://[::1]:8443/x"
                                    << "https://[::1]:8443/x";
        QTest::newRow("port 1") << "R"
                                << "https://s.example:1/x"
                                << "https://s.example:1/x";
        QTest::newRow("port 65535") << "R"
                                    << "https://s.example:65535/x"
                                    << "https://s.example:65535/x";
        QTest::newRow("80 letters") << QString(80, u'я') << stream << stream;
        QTest::newRow("81 letters") << QString(81, u'я') << stream << "name";
        QTest::newRow("family emoji is one character")
            << QString(79, u'я') + u"👨‍👩‍👧‍👦"_s << stream << stream;
        QTest::newRow("flag is one character, 81 in all")
            << QString(80, u'я') + u"🇺🇦"_s << stream << "name";
        QTest::newRow("only blanks") << " \n\t\u3000" << stream << "name";
        QTest::newRow("empty title") << "" << stream << "name";
        QTest::newRow("title checked first") << ""
                                             << "not an address"
                                             << "name";
        QTest::newRow("blank inside") << "R"
                                      << "https://s.example/a b"
                                      << "address";
        QTest::newRow("no-break space inside") << "R"
                                               << "https://s.example/a\u00A0b"
                                               << "address";
        QTest::newRow("user and password") << "R"
                                           << "https://u:p@s.example/x"
                                           << "address";
        QTest::newRow("user") << "R"
                              << "https://u@s.example/x"
                              << "address";
        QTest::newRow("fragment") << "R"
                                  << "https://s.example/x#top"
                                  << "address";
        QTest::newRow("empty fragment") << "R"
                                        << "https://s.example/x#"
                                        << "address";
        QTest::newRow("port 0") << "R"
                                << "https://s.example:0/x"
                                << "address";
        QTest::newRow("port 70000") << "R"
                                    << "https://s.example:70000/x"
                                    << "address";
        QTest::newRow("http") << "R"
                              << "http://s.example/x"
                              << "address";
        QTest::newRow("ftp") << "R"
                             << "ftp://s.example/x"
                             << "address";
        QTest::newRow("no host") << "R"
                                 << "https:///x"
                                 << "address";
        QTest::newRow("no authority") << "R"
                                      << "https:s.example/x"
                                      << "address";
        QTest::newRow("no scheme") << "R"
                                   << "s.example/x"
                                   << "address";
        QTest::newRow("empty") << "R"
                               << "  "
                               << "address";
        QTest::newRow("broken escape") << "R"
                                       << "https://s.example/%zz"
                                       << "address";
        const QString longest = u"https://s.example/"_s + QString(4096 - 18, u'a');
        QTest::newRow("4096 characters") << "R" << longest << longest;
        QTest::newRow("4097 characters") << "R" << longest + u'a' << "address";
    }
    void validation() {
        QFETCH(QString, title);
        QFETCH(QString, address);
        QFETCH(QString, result);
        const auto outcome = PersonalStation::validated(title, address, firstId);
        if (const auto* error = std::get_if<PersonalStation::ValidationError>(&outcome)) {
            QCOMPARE(*error == PersonalStation::ValidationError::name ? u"name"_s : u"address"_s,
                     result);
            return;
        }
        const PersonalStation& station = std::get<PersonalStation>(outcome);
        QCOMPARE(station.url.text(), result);
        QCOMPARE(station.id, firstId);
        QCOMPARE(station.title, title.trimmed());
        QVERIFY(!station.artworkFilename);
    }

    void titleIsStoredTrimmed() {
        QCOMPARE(make(u"  Джаз FM \n"_s, u"https://s.example/x"_s).title, u"Джаз FM"_s);
    }

    void newStationsGetFreshIds() {
        const auto a =
            std::get<PersonalStation>(PersonalStation::validated(u"A"_s, u"https://a.example/x"_s));
        const auto b =
            std::get<PersonalStation>(PersonalStation::validated(u"A"_s, u"https://a.example/x"_s));
        QVERIFY(!a.id.isNull());
        QVERIFY(a.id != b.id);
    }

    void refusalsCarryTheirMessages() {
        using Error = PersonalStation::ValidationError;
        QCOMPARE(PersonalStation::message(Error::name),
                 u"Введіть назву станції — від 1 до 80 символів."_s);
        QCOMPARE(
            PersonalStation::message(Error::address),
            u"Введіть пряме HTTPS-посилання на аудіопотік без логіна, пароля та фрагмента #."_s);
        QCOMPARE(PersonalStation::message(Error::duplicate),
                 u"Цей потік уже є у ваших станціях."_s);
        const Failure failure = PersonalStation::failure(Error::duplicate);
        QCOMPARE(failure.domain, ErrorDomain::validation);
        QCOMPARE(failure.message, PersonalStation::message(Error::duplicate));
    }

    void duplicates() {
        const PersonalStation first = make(u"A"_s, u"https://s.example/live?x=1"_s, firstId);
        const QList<PersonalStation> list = {first};
        QVERIFY(isDuplicate(make(u"B"_s, u"https://S.EXAMPLE/live?x=1"_s, secondId), list));
        QVERIFY(!isDuplicate(make(u"A again"_s, u"https://s.example/live?x=1"_s, firstId), list));
        QVERIFY(!isDuplicate(make(u"B"_s, u"https://s.example/Live?x=1"_s, secondId), list));
        QVERIFY(!isDuplicate(make(u"B"_s, u"https://s.example/live?x=2"_s, secondId), list));
        QVERIFY(!isDuplicate(make(u"B"_s, u"https://s.example/live%3Fx=1"_s, secondId), list));
        QVERIFY(!isDuplicate(first, {}));

        // The two addresses of one catalog programme are one stream.
        const QList<PersonalStation> worship = {make(u"W"_s, onCatalog(u"/worship"_s), firstId)};
        QVERIFY(isDuplicate(make(u"W2"_s, onCatalog(u"/worship.mp3"_s), secondId), worship));
        QVERIFY(!isDuplicate(make(u"U"_s, onCatalog(u"/ukraine.mp3"_s), secondId), worship));
    }

    void listedForm() {
        PersonalStation station = make(u"Джаз"_s, u"https://s.example/a%2fb"_s, firstId);
        QString askedFor;
        const PhotoFileAddress photos = [&](const QString& name) -> std::optional<QUrl> {
            askedFor = name;
            if (!name.endsWith(u".jpg"))
                return std::nullopt;
            return QUrl::fromLocalFile(u"/home/Олег/photos/"_s + name);
        };

        const Station plain = station.asStation(photos);
        QCOMPARE(plain.id, u"personal:6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192"_s);
        QCOMPARE(station.stationId(), plain.id);
        QVERIFY(plain.isPersonal());
        QCOMPARE(plain.title, u"Джаз"_s);
        QCOMPARE(plain.displaySubtitle(), std::optional<QString>(u"Власна станція"_s));
        QCOMPARE(plain.sortOrder, 0);
        QVERIFY(plain.isPlayable());
        QCOMPARE(plain.stream->url, station.url);
        QCOMPARE(plain.stream->mimeType, u"audio/*"_s);
        QVERIFY(!plain.stream->bitrateKbps);
        QVERIFY(!plain.artworkUrl && !plain.shareUrl);
        QVERIFY(askedFor.isEmpty());

        station.artworkFilename = u"6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192.jpg"_s;
        const Station withPhoto = station.asStation(photos);
        QCOMPARE(askedFor, *station.artworkFilename);
        QCOMPARE(withPhoto.artworkUrl->toQUrl().toLocalFile(),
                 u"/home/Олег/photos/6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192.jpg"_s);

        // URL syntax has no room for brackets in a path; the address
        // escapes them rather than losing the photo.
        const PhotoFileAddress bracketedHome = [](const QString& name) -> std::optional<QUrl> {
            return QUrl::fromLocalFile(u"/home/a[1]/photos/"_s + name);
        };
        const Station inBrackets = station.asStation(bracketedHome);
        QVERIFY(inBrackets.artworkUrl);
        QCOMPARE(inBrackets.artworkUrl->text(),
                 u"file:///home/a%5B1%5D/photos/6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192.jpg"_s);
        QCOMPARE(inBrackets.artworkUrl->toQUrl().toLocalFile(),
                 u"/home/a[1]/photos/6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192.jpg"_s);

        station.artworkFilename = u"refused.png"_s;
        QVERIFY(!station.asStation(photos).artworkUrl);
    }

    void jsonForm() {
        PersonalStation station = make(u"Джаз"_s, u"https://s.example/a%2fb"_s, firstId);
        const QJsonObject object = station.toJson();
        QCOMPARE(object.keys(), (QStringList{"id", "title", "url"}));
        QCOMPARE(object["id"].toString(), u"6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192"_s);
        QCOMPARE(object["url"].toString(), u"https://s.example/a%2fb"_s);

        station.artworkFilename = u"photo.jpg"_s;
        QCOMPARE(PersonalStation::fromJson(station.toJson()).value(), station);

        const Outcome<QList<PersonalStation>> lowerCase = PersonalStation::decodeList(json(
            "[{'id':'6f1c2a8e-0b7d-4c3e-9a51-2d4e6f708192','title':'T','url':'https://s.example/x',"
            "'artworkFilename':null}]"));
        QVERIFY(lowerCase.ok());
        QCOMPARE(lowerCase->front().id, firstId);
        QVERIFY(!lowerCase->front().artworkFilename);
    }

    void brokenListsFailWholeAndSayWhere_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("message");
        const QByteArray good =
            "{'id':'6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192','title':'T','url':'https://s.example/x'}";
        QTest::newRow("missing url")
            << json("[" + good + ",{'id':'6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192','title':'T'}]")
            << "[1].url: missing key";
        QTest::newRow("uuid in braces") << json(
                                               "[{'id':'{6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192}','"
                                               "title':'T','url':'https://s.example/x'}]")
                                        << "[0].id: invalid UUID";
        QTest::newRow("uuid without hyphens") << json(
                                                     "[{'id':'6F1C2A8E0B7D4C3E9A512D4E6F708192','"
                                                     "title':'T','url':'https://s.example/x'}]")
                                              << "[0].id: invalid UUID";
        QTest::newRow("bad url") << json(
                                        "[{'id':'6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192','title':'T',"
                                        "'url':'https://s.example/a b'}]")
                                 << "[0].url: invalid URL";
        QTest::newRow("photo name as number")
            << json(
                   "[{'id':'6F1C2A8E-0B7D-4C3E-9A51-2D4E6F708192','title':'T','url':'https://"
                   "s.example/x','artworkFilename':3}]")
            << "[0].artworkFilename: expected text, found number";
        QTest::newRow("object instead of list")
            << json(good) << "top level: expected array, found object";
    }
    void brokenListsFailWholeAndSayWhere() {
        QFETCH(QByteArray, document);
        QFETCH(QString, message);
        const Outcome<QList<PersonalStation>> list = PersonalStation::decodeList(document);
        QVERIFY(list.failed());
        QCOMPARE(list.failure().domain, ErrorDomain::decoding);
        QCOMPARE(list.failure().message, message);
    }

    void storedListRoundTrips() {
        MemoryPreferenceStore store;
        QVERIFY(readPersonalStations(store).isEmpty());

        PersonalStation withPhoto = make(u"Б"_s, u"https://b.example/x%2f"_s, secondId);
        withPhoto.artworkFilename = u"00000000-0000-4000-8000-00000000000A.jpg"_s;
        const QList<PersonalStation> list = {make(u"А"_s, u"https://a.example/x"_s), withPhoto};
        writePersonalStations(store, list);

        const QJsonDocument stored =
            QJsonDocument::fromJson(*store.data(personalStationsPreferenceKey));
        QVERIFY(stored.isArray());
        QCOMPARE(stored.array().size(), 2);
        QCOMPARE(readPersonalStations(store), list);
        QVERIFY(!store.contains(unreadablePersonalStationsPreferenceKey));
    }

    void unreadableStoredListIsEmptyButKept() {
        MemoryPreferenceStore store;
        const QByteArray broken = json("[{'id':'x','title':'T','url':'https://s.example/x'}]");
        store.setData(personalStationsPreferenceKey, broken);
        QVERIFY(readPersonalStations(store).isEmpty());
        QCOMPARE(store.data(unreadablePersonalStationsPreferenceKey), std::optional(broken));

        writePersonalStations(store, {make(u"A"_s, u"https://a.example/x"_s)});
        QCOMPARE(readPersonalStations(store).size(), 1);
        QCOMPARE(store.data(unreadablePersonalStationsPreferenceKey), std::optional(broken));
    }
};

QTEST_GUILESS_MAIN(PersonalStationsTest)
#include "test_personal_stations.moc"
