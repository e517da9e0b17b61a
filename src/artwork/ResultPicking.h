#pragma once

#include "artwork/CatalogResult.h"
#include "nowplaying/RadioTrack.h"

#include <QList>

#include <optional>

namespace orvanta::CatalogMatching {

// Which catalog entry, if any, is the track that is playing. A wrong cover is
// worse than none: an entry is taken only when its title matches and its set
// of performers matches, with a fixed ladder of narrower fallbacks (a name
// the station cut off, a "DJ" prefix, a longer catalog artist, one letter
// apart, the other script). All three are pure; with several equally good
// entries the earliest wins. Each needs the query's display title and
// display artist and gives nothing without them. A title or artist text of
// more than 1000 characters, in the query or in an entry, never matches.

// The query track completed with the chosen entry's cover (600 pixels) and
// page, and its album when the query has none. For a cut artist name the
// catalog's full name replaces it.
std::optional<RadioTrack> pickResult(const QList<Result>& results, const RadioTrack& query,
                                     Catalog catalog);

// The entry whose performer is the query's single performer written in the
// other script (Cyrillic on one side, Latin on the other), if all such
// entries agree on the performer.
std::optional<Result> crossScriptMatch(const QList<Result>& results, const RadioTrack& query,
                                       Catalog catalog);

// For a query title that marks an edit or a mash-up: the query track with
// the cover of the unedited song by one of its performers.
std::optional<RadioTrack> pickUnedited(const QList<Result>& results, const RadioTrack& query,
                                       Catalog catalog);

}  // namespace orvanta::CatalogMatching
