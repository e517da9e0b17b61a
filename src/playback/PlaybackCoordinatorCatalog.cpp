#include "playback/PlaybackCoordinator.h"

#include <QTimeZone>

#include <algorithm>

namespace orvanta {

namespace {

const Station* findStation(const QList<Station>& stations, const QString& id) {
    const auto found = std::find_if(stations.begin(), stations.end(),
                                    [&](const Station& station) { return station.id == id; });
    return found == stations.end() ? nullptr : &*found;
}

std::optional<WebUrl> streamAddress(const std::optional<Station>& station) {
    if (!station || !station->stream)
        return std::nullopt;
    return station->stream->url;
}

}  // namespace

Task<Done> PlaybackCoordinator::loadCatalog() {
    const Alive alive = this->alive();
    if (loading_.isValid() && !loading_.isDone()) {
        const Task<Done> running = loading_;
        co_await running;
        co_return Done{};
    }
    setLoading(true);
    const Task<Done> load = performCatalogLoad(lifetime_.token());
    if (!load.isDone())
        loading_ = load;
    co_await load;
    if (alive.expired())
        co_return Done{};
    refreshGenresWhileMonitoring();
    co_return Done{};
}

Task<Done> PlaybackCoordinator::performCatalogLoad(CancelToken token) {
    const Alive alive = this->alive();
    const Outcome<CatalogResult> result = co_await api_.fetchCatalog(token);
    if (alive.expired())
        co_return Done{};
    if (result.ok()) {
        applyCatalog(*result);
    } else {
        // Cancelled by the client or failed: either way the list was not
        // refreshed, and the stations already listed stay usable.
        lastCatalogRefresh_ = now();
        setCatalogError(stations_.isEmpty() ? firstCatalogLoadFailedMessage
                                            : catalogRefreshFailedMessage);
        announce();
    }
    setLoading(false);
    loading_ = {};
    co_return Done{};
}

void PlaybackCoordinator::applyCatalog(const CatalogResult& result) {
    lastCatalogRefresh_ = now();
    const std::optional<WebUrl> previousStream = streamAddress(station_);
    const std::optional<QString> previousKey = station_ ? metadataKey(*station_) : std::nullopt;
    const std::optional<QString> wantedId = station_
                                                ? std::optional<QString>(station_->id)
                                                : preferences_.text(selectedStationPreferenceKey);

    QList<Station> catalog = result.catalog.stations;
    sortInCatalogOrder(catalog);
    serverStations_ = std::move(catalog);
    rebuildStations();
    setCatalogError(result.isCached ? std::optional<QString>(catalogRefreshFailedMessage)
                                    : std::nullopt);

    if (wantedId) {
        std::optional<Station> found;
        if (const Station* listed = findStation(stations_, *wantedId)) {
            found = *listed;
        } else if (!showsServerStations_) {
            if (const Station* catalogStation = findStation(serverStations_, *wantedId)) {
                for (const Station& candidate : stations_) {
                    if (candidate.hasSameStream(*catalogStation)) {
                        found = candidate;
                        rememberSelection(candidate.id);
                        break;
                    }
                }
            }
        }
        setStation(std::move(found));
    }

    const std::optional<WebUrl> stream = streamAddress(station_);
    if (!state_.wantsPlayback && stream != previousStream)
        resetNowPlaying(false);

    if (!station_ || !station_->isPlayable()) {
        pause(PauseReason::catalog);
        if (!station_ || !station_->isVisible || !station_->isEnabled) {
            setStation(std::nullopt);
            setHasStartedListening(false);
        }
    } else if (state_.wantsPlayback && state_.phase != PlaybackPhase::interrupted) {
        // An interruption holds playback: opening the moved stream now would
        // sound through it. Its end connects to whatever is selected by then.
        if (stream != previousStream) {
            // The catalog moved the selected programme to another address.
            changeState([&](PlaybackState& state) { state.start(now()); });
            resetNowPlaying(false);
            connect();
        } else if (const std::optional<QString> key = metadataKey(*station_); key != previousKey) {
            dropNowPlayingRequests();
            recomputeTrack();
            if (key)
                startMetadataPolling(station_->id, state_.generation);
        }
    }
    announce();
}

Task<Done> PlaybackCoordinator::reload(bool resetArtwork) {
    const Alive alive = this->alive();
    if (resetArtwork && options_.resetArtworkSearch) {
        const Task<Outcome<Done>> reset = options_.resetArtworkSearch(lifetime_.token());
        co_await reset;
        if (alive.expired())
            co_return Done{};
    }
    co_await loadCatalog();
    if (alive.expired())
        co_return Done{};
    if (state_.wantsPlayback && station_) {
        co_await fetchSnapshot(station_->id, state_.generation);
        if (alive.expired())
            co_return Done{};
    }
    if (resetArtwork) {
        if (!currentTrack_ || !currentTrack_->artworkUrl) {
            // Search the same track again at once instead of after the pause
            // that follows a miss.
            artworkSearchRetryAt_ = QDateTime::fromMSecsSinceEpoch(0, QTimeZone::utc());
            recomputeTrack();
        }
        raiseArtworkRevision();
        announce();
    }
    co_return Done{};
}

}  // namespace orvanta
