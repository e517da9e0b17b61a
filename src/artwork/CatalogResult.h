#pragma once

#include "artwork/DeezerTrack.h"
#include "platform/Outcome.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta::CatalogMatching {

// The music catalog a result came from; it decides which hosts a result's
// addresses may point to.
enum class Catalog {
    apple,
    deezer,
};

// One catalog entry as the iTunes Search API writes it; Deezer tracks are
// converted into the same form. Every field is optional.
struct Result {
    std::optional<QString> artistName;      // performer(s) as the catalog writes them
    std::optional<QString> trackName;       // track title
    std::optional<QString> collectionName;  // album
    std::optional<QUrl> artworkUrl100;      // cover, 100 by 100 pixels
    std::optional<QUrl> trackViewUrl;       // the track's page in the catalog
    std::optional<QString> kind;            // entry kind; only "song" is ever accepted

    friend bool operator==(const Result&, const Result&) = default;

    // The keys are the field names. Absent and null keys give empty fields,
    // unknown keys are ignored; a value of the wrong type or an address that
    // is not a URL fails.
    static Outcome<Result> fromJson(const QJsonObject& object);

    // Performers are the named contributors joined by " & " (Deezer lists
    // featured performers only there), else the main artist; the cover is
    // the big one, else the medium one; the kind is always "song".
    static Result fromDeezer(const DeezerTrack& track);
};

// The "results" array of an iTunes Search API answer. One entry that does not
// decode fails the whole answer.
Outcome<QList<Result>> decodeITunesResults(const QByteArray& body);

}  // namespace orvanta::CatalogMatching
