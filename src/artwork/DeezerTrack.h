#pragma once

#include "platform/Outcome.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta {

// One track as the Deezer API describes it; every key is optional.
struct DeezerTrack {
    struct Artist {
        std::optional<QString> name;  // "name"

        friend bool operator==(const Artist&, const Artist&) = default;
    };
    struct Album {
        std::optional<QString> title;     // "title"
        std::optional<QUrl> coverBig;     // "cover_big"
        std::optional<QUrl> coverMedium;  // "cover_medium"

        friend bool operator==(const Album&, const Album&) = default;
    };

    std::optional<qint64> id;      // "id"
    std::optional<QString> title;  // "title"
    std::optional<Artist> artist;  // "artist", the main performer
    QList<Artist> contributors;    // "contributors", every performer
    std::optional<Album> album;    // "album"
    std::optional<QUrl> link;      // "link", the track's page
    std::optional<QString> type;   // "type", "track" for tracks

    friend bool operator==(const DeezerTrack&, const DeezerTrack&) = default;

    // Absent and null keys give empty fields; a value of the wrong type or an
    // address that is not a URL fails the whole track.
    static Outcome<DeezerTrack> fromJson(const QJsonObject& object);
};

}  // namespace orvanta
