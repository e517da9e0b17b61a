#include "playback/PlaybackCoordinator.h"

namespace orvanta {

std::optional<QUrl> PlaybackCoordinator::currentArtworkURL() const {
    std::optional<QUrl> stationArtwork;
    if (station_ && station_->artworkUrl)
        stationArtwork = station_->artworkUrl->toQUrl();
    // A track without an artist is usually the station's own announcement;
    // its picture is the station's.
    if (currentTrack_ && currentTrack_->displayArtist() && currentTrack_->artworkUrl)
        return currentTrack_->artworkUrl;
    return stationArtwork;
}

std::optional<RadioTrack> PlaybackCoordinator::resolveArtwork(std::optional<RadioTrack> track) {
    const bool canSearch = options_.artworkSearch || options_.stationArtworkSearch;
    if (!state_.wantsPlayback || !station_ || !track || track->artworkUrl ||
        !track->displayArtist() || !canSearch) {
        return track;
    }
    ArtworkQuery query{
        station_->id,
        station_->stream ? std::optional<WebUrl>(station_->stream->url) : std::nullopt, *track};
    const bool retryDue = artworkSearchRetryAt_ && *artworkSearchRetryAt_ <= clock_.wallNow();
    if (artworkQuery_ == query && !retryDue)
        return artworkSearchResult_ ? artworkSearchResult_ : track;

    artworkQuery_ = query;
    artworkSearchResult_.reset();
    artworkSearchRetryAt_.reset();
    const Station station = *station_;
    artworkSearchTask_.restart([&](CancelToken token) {
        return searchArtwork(std::move(query), station, std::move(token));
    });
    // The cover follows when the search ends.
    return track;
}

Task<Done> PlaybackCoordinator::searchArtwork(ArtworkQuery query, Station station,
                                              CancelToken token) {
    const Alive alive = this->alive();
    // A new title within the pause cancels this search before it is sent, so
    // quick title changes cost one search, for the last title.
    const Task<Outcome<Done>> quiet = clock_.sleep(artworkSearchDelay, token);
    const Outcome<Done> waited = co_await quiet;
    if (alive.expired() || !waited.ok())
        co_return Done{};

    const Task<Outcome<std::optional<RadioTrack>>> search =
        options_.artworkSearch ? options_.artworkSearch(query.track, query, token)
                               : options_.stationArtworkSearch(query.track, station, token);
    const Outcome<std::optional<RadioTrack>> found = co_await search;
    if (alive.expired() || token.isCancelled() || found.cancelled())
        co_return Done{};
    if (artworkQuery_ != query)
        co_return Done{};

    artworkSearchTask_ = {};
    // A failed search counts as a miss: it is tried again after the same
    // pause instead of on every tick.
    artworkSearchResult_ = found.ok() ? *found : std::nullopt;
    if (artworkSearchResult_) {
        artworkSearchRetryAt_.reset();
    } else {
        artworkSearchRetryAt_ =
            clock_.wallNow().addMSecs(static_cast<qint64>(emptyArtworkSearchRetrySeconds * 1000.0));
    }
    if (state_.wantsPlayback && station_ && station_->id == query.stationID)
        recomputeTrack();
    co_return Done{};
}

void PlaybackCoordinator::prefetchArtwork(const QUrl& address) {
    prefetchURL_ = address;
    if (!options_.prefetchImage) {
        artworkPrefetch_.cancelAndClear();
        return;
    }
    // Only the loader's caches matter: the cover is ready when it is shown.
    artworkPrefetch_.restart(
        [&](CancelToken token) { return options_.prefetchImage(address, std::move(token)); });
}

}  // namespace orvanta
