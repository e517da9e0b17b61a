#include "stations/CatalogAnswer.h"

#include "stations/CatalogDecoding.h"

namespace orvanta {

namespace {

constexpr int statusOK = 200;
constexpr int statusNotModified = 304;

// When the server cannot be used, the last good copy keeps the station list
// available offline, however old it is.
Outcome<CatalogResult> fallBack(const Failure& failure, const std::optional<CatalogCache>& cache) {
    if (!cache)
        return failure;
    Outcome<StationCatalog> catalog = decodeCatalog(cache->data);
    if (!catalog)
        return catalog.propagate<CatalogResult>();
    return CatalogResult{std::move(catalog).value(), true};
}

Failure badServerResponse(const QString& message) {
    return Failure::url(UrlError::badServerResponse, message);
}

}  // namespace

CatalogAnswer judgeCatalogDownload(const Outcome<HttpBody>& download,
                                   const std::optional<CatalogCache>& cache, const QDateTime& now) {
    if (download.cancelled())
        return {Cancelled{}, std::nullopt};
    if (download.failed())
        return {fallBack(download.failure(), cache), std::nullopt};

    const HttpResponse& response = download->response;
    if (!response.isHTTP)
        return {fallBack(badServerResponse(QStringLiteral("not an HTTP response")), cache),
                std::nullopt};

    if (response.status == statusNotModified) {
        if (!cache) {
            return {badServerResponse(QStringLiteral("304 without a cached catalog")),
                    std::nullopt};
        }
        Outcome<StationCatalog> catalog = decodeCatalog(cache->data);
        // The cache only ever holds checked documents, so this cannot fail
        // today; if it did, the cache could not serve as a fallback either.
        if (!catalog)
            return {catalog.propagate<CatalogResult>(), std::nullopt};
        return {CatalogResult{std::move(catalog).value(), false}, std::nullopt};
    }

    if (response.status != statusOK) {
        return {fallBack(badServerResponse(QStringLiteral("HTTP status %1").arg(response.status)),
                         cache),
                std::nullopt};
    }

    Outcome<StationCatalog> catalog = decodeCatalog(download->data);
    if (!catalog)
        return {fallBack(catalog.failure(), cache), std::nullopt};
    CatalogCache accepted;
    accepted.format = CatalogCache::currentFormat;
    accepted.receivedAt = now;
    std::optional<QString> etag = response.headerText("ETag");
    if (etag && !etag->isEmpty())
        accepted.etag = std::move(etag);
    accepted.data = download->data;
    return {CatalogResult{std::move(catalog).value(), false}, std::move(accepted)};
}

}  // namespace orvanta
