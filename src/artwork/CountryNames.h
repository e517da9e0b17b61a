#pragma once

#include <QSet>
#include <QString>

namespace orvanta::CatalogMatching {

// The search keys (see searchKey) of every ISO 3166 region's name in
// English, Ukrainian and Russian. Stations append the country to some
// performers ("Гурт Україна"); catalogs do not. Built on first use and
// shared for the life of the process; safe to call from any thread.
const QSet<QString>& countryNameKeys();

}  // namespace orvanta::CatalogMatching
