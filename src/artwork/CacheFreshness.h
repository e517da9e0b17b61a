#pragma once

#include "platform/HttpTypes.h"

#include <QDateTime>

#include <optional>

namespace orvanta {

// Until when a response the loader stores in the HTTP cache itself stays
// fresh by its own headers: "Cache-Control: max-age", else "Expires" less
// "Date", each less the "Age" the response already had. None when the
// headers state no lifetime; the cache then judges by "Last-Modified" alone.
//
// Qt's disk cache only honours these headers for responses it stored itself,
// so a stored response carries the result as its expiration date.
std::optional<QDateTime> freshnessExpiry(const HttpResponse& response, const QDateTime& now);

}  // namespace orvanta
