#include "platform/Deployment.h"
#include "stations/StationCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace orvanta;
using namespace Qt::StringLiterals;

namespace {

// Fixtures are written with single quotes for readability.
QByteArray json(QByteArray text) {
    return text.replace('\'', '"');
}

// A valid catalog document around the given station objects.
QByteArray catalogWith(const QByteArray& stations) {
    return json("{'schemaVersion':1,'stations':[" + stations + "]}");
}

const QByteArray completeStation =
    "{'id':'worship','title':'Хвала','subtitle':'Сучасна музика','sortOrder':-3,"
    "'isVisible':true,'isEnabled':false,'extra':[1,2],"
    "'stream':{'url':'https://radio.example/worship.mp3?a=%2f','mimeType':'audio/"
    "mpeg','bitrateKbps':9223372036854775807},"
    "'artworkUrl':'https://img.example/w%2Fx.jpg','shareUrl':'https://radio.example/w'}";

const QByteArray minimalStation =
    "{'id':'m','title':'M','sortOrder':0,'isVisible':true,'isEnabled':true}";

Station station(qint64 sortOrder, const QString& title, const QString& id = {}) {
    Station result;
    result.id = id.isEmpty() ? title : id;
    result.title = title;
    result.sortOrder = sortOrder;
    return result;
}

QStringList ids(const QList<Station>& stations) {
    QStringList result;
    for (const Station& entry : stations)
        result << entry.id;
    return result;
}

}  // namespace

class StationCatalogTest : public QObject {
    Q_OBJECT

private slots:
    void decodesEveryField() {
        const Outcome<StationCatalog> catalog =
            StationCatalog::decode(catalogWith(completeStation));
        QVERIFY(catalog.ok());
        QCOMPARE(catalog->schemaVersion, 1);
        QCOMPARE(catalog->stations.size(), 1);
        const Station& decoded = catalog->stations.front();
        QCOMPARE(decoded.id, u"worship"_s);
        QCOMPARE(decoded.title, u"Хвала"_s);
        QCOMPARE(decoded.subtitle, std::optional<QString>(u"Сучасна музика"_s));
        QCOMPARE(decoded.sortOrder, -3);
        QVERIFY(decoded.isVisible);
        QVERIFY(!decoded.isEnabled);
        QCOMPARE(decoded.stream->url.text(), u"https://radio.example/worship.mp3?a=%2f"_s);
        QCOMPARE(decoded.stream->mimeType, u"audio/mpeg"_s);
        QCOMPARE(decoded.stream->bitrateKbps, std::optional<qint64>(9223372036854775807LL));
        QCOMPARE(decoded.artworkUrl->text(), u"https://img.example/w%2Fx.jpg"_s);
        QCOMPARE(decoded.shareUrl->text(), u"https://radio.example/w"_s);
    }

    void absentAndNullOptionalsAreNone() {
        const Outcome<StationCatalog> catalog = StationCatalog::decode(
            catalogWith("{'id':'n','title':'N','sortOrder':0,'isVisible':true,'isEnabled':true,"
                        "'subtitle':null,'stream':null,'artworkUrl':null,'shareUrl':null}," +
                        minimalStation));
        QVERIFY(catalog.ok());
        for (const Station& decoded : catalog->stations) {
            QVERIFY(!decoded.subtitle && !decoded.stream && !decoded.artworkUrl &&
                    !decoded.shareUrl);
            QVERIFY(!decoded.isPlayable());
        }
        const Outcome<StationCatalog> nullBitrate = StationCatalog::decode(catalogWith(
            "{'id':'n','title':'N','sortOrder':0,'isVisible':true,'isEnabled':true,"
            "'stream':{'url':'https://s.example/x','mimeType':'audio/aac','bitrateKbps':null}}"));
        QVERIFY(nullBitrate.ok());
        QVERIFY(!nullBitrate->stations.front().stream->bitrateKbps);
    }

    void encodingRoundTripsAndLeavesNoneOut() {
        const StationCatalog original =
            StationCatalog::decode(catalogWith(completeStation + "," + minimalStation)).value();
        const QByteArray encoded = original.encode();
        QCOMPARE(StationCatalog::decode(encoded).value(), original);
        QVERIFY(!encoded.contains("null"));
        const QJsonObject minimal =
            QJsonDocument::fromJson(encoded).object()["stations"].toArray()[1].toObject();
        QCOMPARE(minimal.keys(),
                 (QStringList{"id", "isEnabled", "isVisible", "sortOrder", "title"}));
        QVERIFY(encoded.contains("9223372036854775807"));
    }

    void brokenDocumentsFailWholeAndSayWhere_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("message");
        QTest::newRow("second station lacks isEnabled")
            << catalogWith(minimalStation +
                           ",{'id':'x','title':'X','sortOrder':0,'isVisible':true}")
            << "stations[1].isEnabled: missing key";
        QTest::newRow("sortOrder as text")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':'5','isVisible':true,'isEnabled':true}")
            << "stations[0].sortOrder: expected 64-bit integer, found text";
        QTest::newRow("fractional sortOrder")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':1.5,'isVisible':true,'isEnabled':true}")
            << "stations[0].sortOrder: expected 64-bit integer, found number";
        QTest::newRow("sortOrder beyond 64 bits")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':9223372036854775808,'isVisible':true,'"
                   "isEnabled':true}")
            << "stations[0].sortOrder: expected 64-bit integer, found number";
        QTest::newRow("number for boolean")
            << catalogWith("{'id':'x','title':'X','sortOrder':0,'isVisible':1,'isEnabled':true}")
            << "stations[0].isVisible: expected boolean, found number";
        QTest::newRow("null title")
            << catalogWith(
                   "{'id':'x','title':null,'sortOrder':0,'isVisible':true,'isEnabled':true}")
            << "stations[0].title: expected text, found null";
        QTest::newRow("bad stream URL")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':0,'isVisible':true,'isEnabled':true,"
                   "'stream':{'url':'https://s.example/a b','mimeType':'audio/mpeg'}}")
            << "stations[0].stream.url: invalid URL";
        QTest::newRow("empty artwork URL") << catalogWith(
                                                  "{'id':'x','title':'X','sortOrder':0,'isVisible':"
                                                  "true,'isEnabled':true,'artworkUrl':''}")
                                           << "stations[0].artworkUrl: invalid URL";
        QTest::newRow("stream without mimeType")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':0,'isVisible':true,'isEnabled':true,"
                   "'stream':{'url':'https://s.example/x'}}")
            << "stations[0].stream.mimeType: missing key";
        QTest::newRow("bitrate as text")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':0,'isVisible':true,'isEnabled':true,"
                   "'stream':{'url':'https://s.example/x','mimeType':'a','bitrateKbps':'128'}}")
            << "stations[0].stream.bitrateKbps: expected 64-bit integer, found text";
        QTest::newRow("stream as text")
            << catalogWith(
                   "{'id':'x','title':'X','sortOrder':0,'isVisible':true,'isEnabled':true,'stream':"
                   "'https://s.example/x'}")
            << "stations[0].stream: expected object, found text";
        QTest::newRow("station not an object")
            << catalogWith("7") << "stations[0]: expected object, found number";
        QTest::newRow("no schemaVersion")
            << json("{'stations':[]}") << "schemaVersion: missing key";
        QTest::newRow("no stations") << json("{'schemaVersion':1}") << "stations: missing key";
        QTest::newRow("stations not an array") << json("{'schemaVersion':1,'stations':{}}")
                                               << "stations: expected array, found object";
        QTest::newRow("array document")
            << QByteArray("[]") << "top level: expected object, found array";
    }
    void brokenDocumentsFailWholeAndSayWhere() {
        QFETCH(QByteArray, document);
        QFETCH(QString, message);
        const Outcome<StationCatalog> catalog = StationCatalog::decode(document);
        QVERIFY(catalog.failed());
        QCOMPARE(catalog.failure().domain, ErrorDomain::decoding);
        QCOMPARE(catalog.failure().message, message);
    }

    void notJsonFails_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut off") << catalogWith(minimalStation).chopped(3);
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4);
    }
    void notJsonFails() {
        QFETCH(QByteArray, document);
        const Outcome<StationCatalog> catalog = StationCatalog::decode(document);
        QVERIFY(catalog.failed());
        QVERIFY2(catalog.failure().message.startsWith(u"top level: not valid JSON"),
                 qPrintable(catalog.failure().message));
    }

    void catalogOrderSortsByOrderThenTitle() {
        QList<Station> stations = {
            station(2, u"b"_s),
            station(1, u"z"_s),
            station(std::numeric_limits<qint64>::min(), u"min"_s),
            station(2, u"a"_s),
            station(2, u"B"_s),           // capitals before small letters: no case folding
            station(5, u"\U0001F600"_s),  // beyond the BMP: after U+FFFD by scalar value
            station(5, u"\uFFFD"_s),
            station(7, u"e\u0301"_s, u"decomposed"_s),  // equal to the precomposed form
            station(7, u"\u00E9"_s, u"precomposed"_s),
            station(7, u"e\u0301"_s, u"decomposed again"_s),
        };
        const QStringList expected = {
            u"min"_s,    u"z"_s,          u"B"_s,          u"a"_s,           u"b"_s,
            u"\uFFFD"_s, u"\U0001F600"_s, u"decomposed"_s, u"precomposed"_s, u"decomposed again"_s};

        QList<Station> sorted = stations;
        sortInCatalogOrder(sorted);
        QCOMPARE(ids(sorted), expected);

        QList<Station> withComparator = stations;
        std::stable_sort(withComparator.begin(), withComparator.end(), catalogOrder);
        QCOMPARE(ids(withComparator), expected);
    }
};

QTEST_GUILESS_MAIN(StationCatalogTest)
#include "test_station_catalog.moc"
