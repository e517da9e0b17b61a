#include "nowplaying/OrvantaSpotifyMetadata.h"

#include "nowplaying/JsonFieldReader.h"
#include "nowplaying/RadioMetadataText.h"

#include <QTimeZone>

#include <cmath>

namespace orvanta {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 lifetimeMs = 30'000;
constexpr qint64 earliestAgeMs = -5'000;  // observations up to 5 s ahead of the clock

// Dates are kept to the millisecond; beyond roughly ±285,000 years a
// millisecond count no longer fits the date type.
constexpr double maximumSeconds = 9.0e12;

// "https" exactly, with a host and without credentials.
std::optional<QUrl> artworkAddress(const std::optional<QString>& text) {
    if (!text || !text->startsWith("https:"_L1))
        return std::nullopt;
    const QUrl url(*text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != "https"_L1 || url.host().isEmpty() ||
        !url.userName().isEmpty() || !url.password().isEmpty())
        return std::nullopt;
    return url;
}

}  // namespace

Outcome<OrvantaSpotifyMetadata> OrvantaSpotifyMetadata::fromJson(const QJsonObject& object) {
    JsonFieldReader reader(object);
    OrvantaSpotifyMetadata metadata;
    metadata.trackId = reader.optionalText("track_id"_L1);
    metadata.title = reader.optionalText("title"_L1);
    metadata.artist = reader.optionalText("artist"_L1);
    metadata.album = reader.optionalText("album"_L1);
    metadata.artwork = reader.optionalText("artwork"_L1);
    metadata.playbackState = reader.optionalText("playback_state"_L1);
    metadata.playbackHealth = reader.optionalText("playback_health"_L1);
    metadata.observationFresh = reader.optionalBoolean("observation_fresh"_L1);
    metadata.observedAt = reader.optionalNumber("observed_at"_L1);
    if (metadata.observedAt && std::fabs(*metadata.observedAt) > maximumSeconds)
        reader.fail(u"Date out of range for key \"observed_at\""_s);
    if (reader.failure())
        return *reader.failure();
    return metadata;
}

NowPlayingSnapshot OrvantaSpotifyMetadata::makeSnapshot(const QDateTime& now) const {
    NowPlayingSnapshot snapshot;
    snapshot.stationId = spotifyStationId;
    snapshot.eventId = trackId;
    if (observedAt && std::fabs(*observedAt) <= maximumSeconds) {
        const auto ms = static_cast<qint64>(std::llround(*observedAt * 1000.0));
        snapshot.observedAt = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
        snapshot.expiresAt = snapshot.observedAt->addMSecs(lifetimeMs);
    }

    const bool playing =
        playbackState && (*playbackState == "playing"_L1 ||
                          (*playbackState == "unknown"_L1 && playbackHealth == u"recording"_s));
    bool live = observationFresh == true && playing && snapshot.observedAt;
    if (live) {
        const qint64 ageMs = snapshot.observedAt->msecsTo(now);
        live = ageMs >= earliestAgeMs && ageMs < lifetimeMs;
    }

    if (!live) {
        snapshot.status = NowPlayingStatus::unavailable;
        return snapshot;
    }
    snapshot.status = NowPlayingStatus::current;
    if (title && !RadioMetadataText::clean(*title).isEmpty())
        snapshot.track = RadioTrack{title, artist, album, artworkAddress(artwork), std::nullopt};
    return snapshot;
}

}  // namespace orvanta
