#include "stations/StationAPI.h"

#include "nowplaying/NowPlayingRequest.h"

#include "stations/CatalogAnswer.h"
#include "stations/CatalogDecoding.h"

namespace orvanta {

struct StationAPI::State {
    State(Clock& clockRef, Configuration configurationValue, HttpSession& sessionRef)
        : clock(clockRef), configuration(std::move(configurationValue)), session(sessionRef) {}

    Clock& clock;
    const Configuration configuration;
    HttpSession& session;
    std::optional<Cache> cache;
    // Cancelled when the client is destroyed.
    CancelSource lifetime;
};

StationAPI::StationAPI(Clock& clock, Configuration configuration, HttpSession& session)
    : state_(std::make_shared<State>(clock, std::move(configuration), session)) {}

StationAPI::~StationAPI() {
    state_->lifetime.cancel();
}

const std::optional<StationAPI::Cache>& StationAPI::cache() const {
    return state_->cache;
}

const StationAPI::Configuration& StationAPI::configuration() const {
    return state_->configuration;
}

Task<Outcome<CatalogResult>> StationAPI::fetchCatalog(CancelToken token) {
    return runFetchCatalog(state_, std::move(token));
}

Task<Outcome<CatalogResult>> StationAPI::runFetchCatalog(std::shared_ptr<State> state,
                                                         CancelToken token) {
    const std::optional<QString>& cacheFile = state->configuration.cacheFile;
    // The file is consulted until it has given a usable record; after that
    // memory is authoritative and the file is only written.
    if (!state->cache && cacheFile)
        state->cache = readCatalogCacheFile(*cacheFile);

    const HttpRequest request = catalogRequest(state->configuration.catalogOrigin,
                                               state->cache ? state->cache->etag : std::nullopt,
                                               state->configuration.requestTimeout);

    // Cancelled by the caller or by the client's destruction. The source is
    // shared with the destruction callback because cancelling it resumes this
    // coroutine, which ends and would otherwise free the source while its
    // own cancellation is still running.
    auto operation = std::make_shared<CancelSource>(CancelSource::linkedTo(token));
    const CancelRegistration ownerGone =
        state->lifetime.token().onCancel([operation] { operation->cancel(); });
    const Outcome<HttpBody> download =
        co_await state->session.fetch(request, catalogMaximumBytes, operation->token());
    if (operation->isCancelled())
        co_return Cancelled{};

    // Judged against the cache as it stands now: another fetch may have
    // replaced it while this one waited.
    CatalogAnswer answer = judgeCatalogDownload(download, state->cache, state->clock.wallNow());
    if (answer.accepted) {
        state->cache = std::move(answer.accepted);
        // The catalog is good and already in memory; a cache file that
        // cannot be written only costs the offline copy.
        if (cacheFile)
            (void)writeCatalogCacheFile(*cacheFile, *state->cache);
    }
    co_return std::move(answer.result);
}

Task<Outcome<NowPlayingSnapshot>> StationAPI::nowPlaying(QString stationId, CancelToken token) {
    return runNowPlaying(state_, std::move(stationId), std::move(token));
}

Task<Outcome<NowPlayingSnapshot>> StationAPI::runNowPlaying(std::shared_ptr<State> state,
                                                            QString stationId, CancelToken token) {
    const Outcome<HttpRequest> request =
        nowPlayingRequest(stationId, state->configuration.catalogOrigin);
    if (!request)
        co_return request.propagate<NowPlayingSnapshot>();
    auto operation = std::make_shared<CancelSource>(CancelSource::linkedTo(token));
    const CancelRegistration ownerGone =
        state->lifetime.token().onCancel([operation] { operation->cancel(); });
    const Outcome<HttpBody> download =
        co_await state->session.fetch(*request, nowPlayingMaximumBodyBytes, operation->token());
    if (operation->isCancelled())
        co_return Cancelled{};
    if (download.failed()) {
        // An overlong answer is a bad answer here, like any other refusal.
        if (download.failure().isUrl(UrlError::dataLengthExceedsMaximum)) {
            co_return Failure::url(UrlError::badServerResponse, download.failure().message);
        }
        co_return download.failure();
    }
    co_return decodeNowPlayingResponse(download->response, download->data, stationId,
                                       state->clock.wallNow());
}

}  // namespace orvanta
