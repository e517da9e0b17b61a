#include "playback/PlaybackCoordinator.h"

namespace orvanta {

std::optional<QString> PlaybackCoordinator::metadataKey(const Station& station) const {
    if (std::optional<Station> catalogStation = metadataStation(station))
        return catalogStation->id;
    if (options_.websiteMetadataID) {
        std::optional<QString> outsideId = options_.websiteMetadataID(station);
        if (outsideId && !outsideId->isEmpty())
            return outsideId;
    }
    return std::nullopt;
}

std::optional<QUrl> PlaybackCoordinator::currentArtworkURL() const {
    std::optional<QUrl> stationArtwork;
    if (station_ && station_->artworkUrl)
        stationArtwork = station_->artworkUrl->toQUrl();
    if (currentTrack_ && currentTrack_->displayArtist() && currentTrack_->artworkUrl)
        return currentTrack_->artworkUrl;
    return stationArtwork;
}

void PlaybackCoordinator::resetNowPlaying(bool keepTrack) {
    metadataTask_.cancelAndClear();
    metadataRequest_.cancelAndClear();
    metadataRequestKey_.reset();
    resumedTrackDeadline_.reset();
    if (!keepTrack)
        setCurrentTrack(std::nullopt);
    snapshot_.reset();
    setListenerCount(std::nullopt);
    recentSnapshots_.clear();
    streamSong_.reset();
    emptyStreamMetadataSince_.reset();
    artworkPrefetch_.cancelAndClear();
    prefetchURL_.reset();
    // The artwork query, its result and its retry time outlive the reset, so
    // the same track on the same station is not searched again.
}

void PlaybackCoordinator::dropNowPlayingRequests() {
    metadataTask_.cancelAndClear();
    metadataRequest_.cancelAndClear();
    metadataRequestKey_.reset();
    snapshot_.reset();
    recentSnapshots_.clear();
}

// The server's now-playing polling, the choice of the current track, cover
// searches and genre discovery plug in here; until their sources are wired
// the stream plays without track information.

void PlaybackCoordinator::startMetadataPolling(const QString& stationId, qint64 generation) {
    Q_UNUSED(stationId);
    Q_UNUSED(generation);
}

Task<Done> PlaybackCoordinator::fetchSnapshot(QString stationId, qint64 generation) {
    Q_UNUSED(stationId);
    Q_UNUSED(generation);
    co_return Done{};
}

void PlaybackCoordinator::handleStreamMetadata(const StreamSongFields& fields) {
    Q_UNUSED(fields);
}

void PlaybackCoordinator::recomputeTrack() {}

Task<Done> PlaybackCoordinator::refreshGenres() {
    co_return Done{};
}

}  // namespace orvanta
