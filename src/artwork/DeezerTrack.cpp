#include "artwork/DeezerTrack.h"

#include "nowplaying/JsonFieldReader.h"

#include <QJsonArray>

namespace orvanta {

using namespace Qt::Literals::StringLiterals;

namespace {

std::optional<DeezerTrack::Artist> readArtist(JsonFieldReader& reader, QLatin1StringView key) {
    const std::optional<QJsonObject> object = reader.optionalObject(key);
    if (!object)
        return std::nullopt;
    JsonFieldReader fields(*object);
    DeezerTrack::Artist artist{fields.optionalText("name"_L1)};
    if (fields.failure()) {
        reader.fail(fields.failure()->message);
        return std::nullopt;
    }
    return artist;
}

std::optional<DeezerTrack::Album> readAlbum(JsonFieldReader& reader) {
    const std::optional<QJsonObject> object = reader.optionalObject("album"_L1);
    if (!object)
        return std::nullopt;
    JsonFieldReader fields(*object);
    DeezerTrack::Album album;
    album.title = fields.optionalText("title"_L1);
    album.coverBig = fields.optionalUrl("cover_big"_L1);
    album.coverMedium = fields.optionalUrl("cover_medium"_L1);
    if (fields.failure()) {
        reader.fail(fields.failure()->message);
        return std::nullopt;
    }
    return album;
}

QList<DeezerTrack::Artist> readContributors(const QJsonObject& object, JsonFieldReader& reader) {
    QList<DeezerTrack::Artist> contributors;
    const QJsonValue value = object.value("contributors"_L1);
    if (value.isUndefined() || value.isNull())
        return contributors;
    if (!value.isArray()) {
        reader.fail(u"Expected an array for key \"contributors\""_s);
        return contributors;
    }
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isObject()) {
            reader.fail(u"Expected an object in \"contributors\""_s);
            return {};
        }
        JsonFieldReader fields(element.toObject());
        DeezerTrack::Artist contributor{fields.optionalText("name"_L1)};
        if (fields.failure()) {
            reader.fail(fields.failure()->message);
            return {};
        }
        contributors.append(contributor);
    }
    return contributors;
}

}  // namespace

Outcome<DeezerTrack> DeezerTrack::fromJson(const QJsonObject& object) {
    JsonFieldReader reader(object);
    DeezerTrack track;
    track.id = reader.optionalInteger("id"_L1);
    track.title = reader.optionalText("title"_L1);
    track.artist = readArtist(reader, "artist"_L1);
    track.contributors = readContributors(object, reader);
    track.album = readAlbum(reader);
    track.link = reader.optionalUrl("link"_L1);
    track.type = reader.optionalText("type"_L1);
    if (reader.failure())
        return *reader.failure();
    return track;
}

}  // namespace orvanta
