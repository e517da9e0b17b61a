#pragma once

#include "nowplaying/NowPlayingSnapshot.h"
#include "platform/Outcome.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace orvanta {

// The id of the built-in Spotify station, whose now-playing record comes
// from its own endpoint in its own format.
inline const QString spotifyStationId = QStringLiteral("spotify");

// The catalog server's Spotify now-playing record. Every field may be absent.
struct OrvantaSpotifyMetadata {
    std::optional<QString> trackId;         // "track_id"
    std::optional<QString> title;           // "title"
    std::optional<QString> artist;          // "artist"
    std::optional<QString> album;           // "album"
    std::optional<QString> artwork;         // "artwork", a cover address
    std::optional<QString> playbackState;   // "playback_state": "playing", "unknown", ...
    std::optional<QString> playbackHealth;  // "playback_health": "recording" is acted on
    std::optional<bool> observationFresh;   // "observation_fresh"
    std::optional<double> observedAt;       // "observed_at", seconds since 1970 UTC

    friend bool operator==(const OrvantaSpotifyMetadata&, const OrvantaSpotifyMetadata&) = default;

    // Plain JSON (no date rule); absent and null keys give empty fields.
    static Outcome<OrvantaSpotifyMetadata> fromJson(const QJsonObject& object);

    // The snapshot of station "spotify": "current" with the track while the
    // observation is live (fresh, playing, observed between 5 s ahead of
    // `now` and less than 30 s before it), "unavailable" otherwise.
    NowPlayingSnapshot makeSnapshot(const QDateTime& now) const;
};

}  // namespace orvanta
