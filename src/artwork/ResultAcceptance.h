#pragma once

#include "artwork/CatalogResult.h"

#include <QUrl>

namespace orvanta::CatalogMatching {

// Whether a result's cover and page may be used at all: both HTTPS without
// credentials, the cover on the default port, and both on the catalog's own
// image and web hosts. A result that fails this is never picked, however well
// it matches.
bool acceptable(const Result& result, Catalog catalog);

// The 600 by 600 form of an iTunes cover address ("100x100bb" becomes
// "600x600bb"); other addresses come back unchanged.
QUrl upsizeArtwork(const QUrl& url);

}  // namespace orvanta::CatalogMatching
