#pragma once

#include <QByteArray>

namespace orvanta::test {

// Catalog documents for the catalog client's tests, written with single
// quotes for readability.
inline QByteArray quoted(QByteArray text) {
    return text.replace('\'', '"');
}

inline QByteArray stationJson(const QByteArray& id, const QByteArray& extra = {}) {
    return quoted("{'id':'" + id + "','title':'Станція " + id +
                  "','sortOrder':0,'isVisible':true,'isEnabled':true" + extra + "}");
}

// A document around the given station objects, padded with white space
// inside the top-level object to `size` bytes when that is larger.
inline QByteArray catalogDocument(const QByteArray& stations, qsizetype size = 0,
                                  const QByteArray& schemaVersion = "1") {
    const QByteArray head =
        quoted("{'schemaVersion':" + schemaVersion + ",'stations':[") + stations + "]";
    const qsizetype padding = qMax<qsizetype>(0, size - head.size() - 1);
    return head + QByteArray(padding, ' ') + "}";
}

// Two stations deliberately out of catalog order, so that any sorting shows.
inline QByteArray worshipAndLounge() {
    return catalogDocument(
        stationJson("worship",
                    ",'sortOrder':5,'stream':{'url':'https://radio.example/worship.mp3',"
                    "'mimeType':'audio/mpeg','bitrateKbps':128},"
                    "'artworkUrl':'https://images.example/images/radio/worship.jpg'") +
        "," + stationJson("lounge", ",'subtitle':'Лаунж'"));
}

inline QByteArray ukraineOnly() {
    return catalogDocument(stationJson("ukraine"));
}

}  // namespace orvanta::test
