#include "stations/CatalogDecoding.h"

#include <QSet>

#include <optional>

namespace orvanta {

namespace {

constexpr qint64 supportedSchemaVersion = 1;

// A local file address handed to the image loader would read the listener's
// own files. Schemes are case-insensitive, and Qt folds "FILE:" to "file:"
// on the way in, so the comparison must ignore case too.
bool isLocalFileAddress(const WebUrl& url) {
    const std::optional<QString>& scheme = url.components().scheme;
    return scheme && scheme->compare(u"file", Qt::CaseInsensitive) == 0;
}

// The first rule the document breaks, described for the log; none when valid.
std::optional<QString> catalogProblem(const StationCatalog& catalog) {
    if (catalog.schemaVersion != supportedSchemaVersion) {
        return QStringLiteral("unsupported schema version %1").arg(catalog.schemaVersion);
    }
    QSet<QString> ids;
    ids.reserve(catalog.stations.size());
    for (const Station& station : catalog.stations) {
        // Personal stations are listed next to catalog stations under ids
        // with this prefix; a catalog id with it could stand in for one.
        if (station.id.startsWith(personalStationPrefix)) {
            return QStringLiteral("station id \"%1\" uses the personal-station prefix")
                .arg(station.id);
        }
        if (ids.contains(station.id))
            return QStringLiteral("station id \"%1\" appears twice").arg(station.id);
        ids.insert(station.id);
        if (station.artworkUrl && isLocalFileAddress(*station.artworkUrl)) {
            return QStringLiteral("station \"%1\" has artwork on a local file address")
                .arg(station.id);
        }
    }
    return std::nullopt;
}

}  // namespace

Outcome<StationCatalog> decodeCatalog(const QByteArray& data) {
    if (data.size() > catalogMaximumBytes) {
        return Failure::url(
            UrlError::dataLengthExceedsMaximum,
            QStringLiteral("The catalog is longer than %1 bytes.").arg(catalogMaximumBytes));
    }
    Outcome<StationCatalog> catalog = StationCatalog::decode(data);
    if (!catalog)
        return catalog;
    if (std::optional<QString> problem = catalogProblem(*catalog))
        return Failure::url(UrlError::cannotParseResponse, *problem);
    return catalog;
}

}  // namespace orvanta
