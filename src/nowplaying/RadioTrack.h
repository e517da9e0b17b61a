#pragma once

#include "nowplaying/RadioMetadataText.h"
#include "platform/Outcome.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta {

// One track as a source states it and a view shows it. Fields are kept as
// received; the display operations below clean them.
struct RadioTrack {
    std::optional<QString> title;
    std::optional<QString> artist;  // one text, may name several performers
    std::optional<QString> album;
    std::optional<QUrl> artworkUrl;
    std::optional<QUrl> storeURL;  // the track's page in an online music catalog

    friend bool operator==(const RadioTrack&, const RadioTrack&) = default;

    // JSON object with the optional keys "title", "artist", "album",
    // "artworkUrl" and "storeURL"; empty fields are left out.
    QJsonObject toJson() const;
    // Absent and null keys give empty fields, unknown keys are ignored; a
    // value of the wrong type or an unreadable address fails.
    static Outcome<RadioTrack> fromJson(const QJsonObject& object);

    // The clean title or album, none when it cleans to nothing.
    std::optional<QString> displayTitle() const;
    std::optional<QString> displayAlbum() const;
    // The artist as a name cut in the middle of a Cyrillic letter, if it is one.
    std::optional<TruncatedName> artistTruncation() const;
    // A cut artist as its repaired beginning followed by "…"; otherwise the
    // clean artist, none when it cleans to nothing.
    std::optional<QString> displayArtist() const;

    // The track that one in-band title ("Artist - Title", or a bare title)
    // describes; none when the title cleans to nothing.
    static std::optional<RadioTrack> fromStreamTitle(const QString& streamTitle);

    // Whether `other` names the same song. Not symmetric: only `other`'s
    // artist may be a cut name, and an artist known only to `other` does not
    // match (while one known only to this track does).
    bool isSameSong(const std::optional<RadioTrack>& other) const;
};

}  // namespace orvanta
