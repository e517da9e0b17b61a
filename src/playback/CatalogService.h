#pragma once

#include "playback/StationServing.h"
#include "stations/StationAPI.h"

namespace orvanta {

// The catalog client behind the coordinator's interface.
class CatalogService final : public StationServing {
public:
    explicit CatalogService(StationAPI& api) : api_(api) {}

    Task<Outcome<CatalogResult>> fetchCatalog(CancelToken token) override {
        return api_.fetchCatalog(std::move(token));
    }
    Task<Outcome<NowPlayingSnapshot>> nowPlaying(QString stationId, CancelToken token) override {
        return api_.nowPlaying(std::move(stationId), std::move(token));
    }

private:
    StationAPI& api_;
};

}  // namespace orvanta
