#pragma once

#include "platform/Outcome.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace orvanta {

// The last accepted catalog download, kept in memory by the catalog client
// and, as a JSON object, in its cache file:
//   {"data": Base64 of the body, "etag": text (left out when none),
//    "format": 1, "receivedAt": seconds since 2001-01-01 00:00:00 UTC}
struct CatalogCache {
    static constexpr qint64 currentFormat = 1;

    // Records of another format are ignored, never migrated.
    qint64 format = currentFormat;
    // When the download was accepted; kept for diagnosis only.
    QDateTime receivedAt;
    // The response's entity tag, sent back as "If-None-Match".
    std::optional<QString> etag;
    // The response body exactly as received.
    QByteArray data;

    QByteArray encode() const;
    // Every key but "etag" is required; "data" must be padded standard
    // Base64. The format value is not judged here.
    static Outcome<CatalogCache> decode(const QByteArray& json);

    friend bool operator==(const CatalogCache&, const CatalogCache&) = default;
};

// The cache file under the application's cache folder.
QString defaultCatalogCacheFile();

// The record in a cache file, when the file holds a usable one: readable,
// within a size bound, a record of the current format whose data passes the
// catalog check. Anything else (missing, corrupt, foreign, stale format) is
// none, so that a bad file costs nothing but a download.
std::optional<CatalogCache> readCatalogCacheFile(const QString& path);

// Replaces the cache file whole or not at all, creating its folder.
Outcome<Done> writeCatalogCacheFile(const QString& path, const CatalogCache& cache);

}  // namespace orvanta
