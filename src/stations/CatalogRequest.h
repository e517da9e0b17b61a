#pragma once

#include "platform/HttpTypes.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta {

inline constexpr double catalogRequestTimeoutSeconds = 15.0;

// The catalog document's address on the catalog server.
QUrl catalogRequestURL(const QUrl& catalogOrigin);

// A GET of the catalog that bypasses any local HTTP cache, conditional on
// `etag` when there is one ("If-None-Match", value unchanged). An entity tag
// that cannot travel in a header (line breaks, control characters, text
// beyond Latin-1, as a damaged cache file could hold) is left out: the
// request just becomes unconditional.
HttpRequest catalogRequest(const QUrl& catalogOrigin, const std::optional<QString>& etag,
                           double timeoutSeconds = catalogRequestTimeoutSeconds);

}  // namespace orvanta
