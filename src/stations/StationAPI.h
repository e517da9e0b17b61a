#pragma once

#include "nowplaying/NowPlayingSnapshot.h"
#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/Deployment.h"
#include "platform/HttpSession.h"
#include "platform/Outcome.h"
#include "platform/Task.h"
#include "stations/CatalogCache.h"
#include "stations/CatalogRequest.h"
#include "stations/StationCatalog.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace orvanta {

struct StationAPIConfiguration {
    QUrl catalogOrigin = Deployment::catalogOrigin();
    // Where the last good catalog is kept between runs; none keeps it in
    // memory only.
    std::optional<QString> cacheFile;
    double requestTimeout = catalogRequestTimeoutSeconds;
};

// The client of the catalog server. It downloads the catalog with a
// conditional request, checks it, keeps the last good copy in memory and in
// the cache file, and falls back to that copy whenever the server cannot be
// used, so that the station list survives offline.
//
// Used on the thread that created it, like the HTTP session it sends
// through: operations run one step at a time and interleave only while one
// waits for the network. Destroying the client cancels what is in flight.
class StationAPI {
public:
    using Configuration = StationAPIConfiguration;
    using Cache = CatalogCache;

    // Nothing is read here: the cache file is first read by fetchCatalog.
    explicit StationAPI(Clock& clock, Configuration configuration = {},
                        HttpSession& session = HttpSession::shared());
    ~StationAPI();
    StationAPI(const StationAPI&) = delete;
    StationAPI& operator=(const StationAPI&) = delete;

    // The catalog from the server, or from the cache (isCached) when the
    // server cannot be used; a failure when neither gives a valid one.
    // Cancellation is reported as such and never answered from the cache.
    Task<Outcome<CatalogResult>> fetchCatalog(CancelToken token = {});

    // The last accepted download; empty until the cache file has been read
    // or a download accepted.
    // The catalog server's now-playing snapshot of a station (its
    // now-playing id; "spotify" for the Spotify record).
    Task<Outcome<NowPlayingSnapshot>> nowPlaying(QString stationId, CancelToken token = {});

    const std::optional<Cache>& cache() const;
    const Configuration& configuration() const;

private:
    struct State;
    static Task<Outcome<CatalogResult>> runFetchCatalog(std::shared_ptr<State> state,
                                                        CancelToken token);
    static Task<Outcome<NowPlayingSnapshot>> runNowPlaying(std::shared_ptr<State> state,
                                                           QString stationId, CancelToken token);

    // Shared with running operations, so that they finish safely when the
    // client goes away before the network answers.
    std::shared_ptr<State> state_;
};

}  // namespace orvanta
