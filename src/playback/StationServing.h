#pragma once

#include "nowplaying/NowPlayingSnapshot.h"
#include "platform/Cancellation.h"
#include "platform/Outcome.h"
#include "platform/Task.h"
#include "stations/StationCatalog.h"

namespace orvanta {

// The catalog client as the coordinator sees it. Both operations are
// cancellable tasks on the main thread; cancellation is its own outcome.
class StationServing {
public:
    virtual ~StationServing() = default;

    virtual Task<Outcome<CatalogResult>> fetchCatalog(CancelToken token) = 0;
    // The snapshot of a station's now-playing id.
    virtual Task<Outcome<NowPlayingSnapshot>> nowPlaying(QString stationId, CancelToken token) = 0;
};

}  // namespace orvanta
