#pragma once

#include "platform/Outcome.h"
#include "stations/Station.h"

#include <QByteArray>
#include <QList>

namespace orvanta {

// The catalog document the catalog server publishes and the catalog client
// caches, in document order.
struct StationCatalog {
    qint64 schemaVersion = 1;
    QList<Station> stations;

    // The whole document or a decoding failure that names the first problem
    // and where it is ("stations[3].isEnabled: missing key"); never a
    // partial list. The accepted schema version and the reserved id prefix
    // are the catalog client's checks, not the decoder's.
    static Outcome<StationCatalog> decode(const QByteArray& json);
    QByteArray encode() const;

    friend bool operator==(const StationCatalog&, const StationCatalog&) = default;
};

// What the catalog client hands out: the catalog and whether it came from the
// local cache because the server was not usable.
struct CatalogResult {
    StationCatalog catalog;
    bool isCached = false;

    friend bool operator==(const CatalogResult&, const CatalogResult&) = default;
};

}  // namespace orvanta
