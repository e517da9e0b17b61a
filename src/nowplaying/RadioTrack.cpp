#include "nowplaying/RadioTrack.h"

#include "nowplaying/JsonFieldReader.h"

namespace orvanta {

using namespace Qt::Literals::StringLiterals;

namespace {

void insertText(QJsonObject& object, QLatin1StringView key, const std::optional<QString>& value) {
    if (value)
        object.insert(key, *value);
}

void insertUrl(QJsonObject& object, QLatin1StringView key, const std::optional<QUrl>& value) {
    if (value)
        object.insert(key, value->toString(QUrl::FullyEncoded));
}

}  // namespace

QJsonObject RadioTrack::toJson() const {
    QJsonObject object;
    insertText(object, "title"_L1, title);
    insertText(object, "artist"_L1, artist);
    insertText(object, "album"_L1, album);
    insertUrl(object, "artworkUrl"_L1, artworkUrl);
    insertUrl(object, "storeURL"_L1, storeURL);
    return object;
}

Outcome<RadioTrack> RadioTrack::fromJson(const QJsonObject& object) {
    JsonFieldReader reader(object);
    RadioTrack track;
    track.title = reader.optionalText("title"_L1);
    track.artist = reader.optionalText("artist"_L1);
    track.album = reader.optionalText("album"_L1);
    track.artworkUrl = reader.optionalUrl("artworkUrl"_L1);
    track.storeURL = reader.optionalUrl("storeURL"_L1);
    if (reader.failure())
        return *reader.failure();
    return track;
}

}  // namespace orvanta
