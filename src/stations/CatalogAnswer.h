#pragma once

#include "platform/HttpTypes.h"
#include "platform/Outcome.h"
#include "stations/CatalogCache.h"
#include "stations/StationCatalog.h"

#include <QDateTime>

#include <optional>

namespace orvanta {

// What one catalog download comes to: the result for the caller and, when
// the server sent a new document that passed the check, the record that
// replaces the cache.
struct CatalogAnswer {
    Outcome<CatalogResult> result;
    std::optional<CatalogCache> accepted;
};

// Judges a finished catalog download against the cache as it stands now:
// - 200 with a valid body: that catalog (not cached) and a new record with
//   the body, the "ETag" value and `now`;
// - 304: the cached catalog, not marked as cached since the server has just
//   confirmed it; badServerResponse when there is nothing cached;
// - any other status, a response that is not HTTP, a transport failure or a
//   body that fails the check: the cached catalog marked as cached, or that
//   failure when nothing is cached;
// - cancellation: cancellation, never the cache.
// Only an accepted 200 ever replaces the cache.
CatalogAnswer judgeCatalogDownload(const Outcome<HttpBody>& download,
                                   const std::optional<CatalogCache>& cache, const QDateTime& now);

}  // namespace orvanta
