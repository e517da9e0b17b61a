#pragma once

#include "platform/Outcome.h"
#include "stations/StationCatalog.h"

#include <QByteArray>

namespace orvanta {

// Catalog documents longer than this are refused before they are parsed;
// exactly this many bytes are still accepted.
inline constexpr qsizetype catalogMaximumBytes = 1'000'000;

// The check every catalog document passes before it is used, whether it was
// just downloaded or comes from the cache:
// - longer than catalogMaximumBytes: dataLengthExceedsMaximum;
// - not JSON of the catalog's shape: the decoder's own failure;
// - a schema version other than 1, two stations with one id, an id with the
//   reserved personal-station prefix, or station artwork on a local file
//   address: cannotParseResponse.
// A valid document comes back unchanged: no filtering, no sorting.
Outcome<StationCatalog> decodeCatalog(const QByteArray& data);

}  // namespace orvanta
