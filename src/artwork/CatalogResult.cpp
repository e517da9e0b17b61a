#include "artwork/CatalogResult.h"

#include "nowplaying/JsonFieldReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringList>

namespace orvanta::CatalogMatching {

using namespace Qt::Literals::StringLiterals;

Outcome<Result> Result::fromJson(const QJsonObject& object) {
    JsonFieldReader reader(object);
    Result result;
    result.artistName = reader.optionalText("artistName"_L1);
    result.trackName = reader.optionalText("trackName"_L1);
    result.collectionName = reader.optionalText("collectionName"_L1);
    result.artworkUrl100 = reader.optionalUrl("artworkUrl100"_L1);
    result.trackViewUrl = reader.optionalUrl("trackViewUrl"_L1);
    result.kind = reader.optionalText("kind"_L1);
    if (reader.failure())
        return *reader.failure();
    return result;
}

Result Result::fromDeezer(const DeezerTrack& track) {
    QStringList names;
    for (const DeezerTrack::Artist& contributor : track.contributors) {
        // An empty name names nobody; keeping it would leave a dangling " & ".
        if (contributor.name && !contributor.name->isEmpty())
            names.append(*contributor.name);
    }
    Result result;
    if (!names.isEmpty())
        result.artistName = names.join(" & "_L1);
    else if (track.artist)
        result.artistName = track.artist->name;
    result.trackName = track.title;
    if (track.album) {
        result.collectionName = track.album->title;
        result.artworkUrl100 =
            track.album->coverBig ? track.album->coverBig : track.album->coverMedium;
    }
    result.trackViewUrl = track.link;
    result.kind = u"song"_s;
    return result;
}

Outcome<QList<Result>> decodeITunesResults(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure::decoding(error.errorString());
    if (!document.isObject())
        return Failure::decoding(u"Expected an object"_s);
    const QJsonValue results = document.object().value("results"_L1);
    if (!results.isArray())
        return Failure::decoding(results.isUndefined()
                                     ? u"Missing key \"results\""_s
                                     : u"Expected an array for key \"results\""_s);
    QList<Result> decoded;
    for (const QJsonValue& entry : results.toArray()) {
        if (!entry.isObject())
            return Failure::decoding(u"Expected an object in \"results\""_s);
        Outcome<Result> result = Result::fromJson(entry.toObject());
        if (!result)
            return result.failure();
        decoded.append(std::move(result).value());
    }
    return decoded;
}

}  // namespace orvanta::CatalogMatching
