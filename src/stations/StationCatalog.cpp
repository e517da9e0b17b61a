#include "stations/StationCatalog.h"

#include "stations/JsonFields.h"

#include <QJsonArray>

namespace orvanta {

Outcome<StationCatalog> StationCatalog::decode(const QByteArray& json) {
    json::Problem problem;
    const std::optional<QJsonValue> document = json::parseDocument(json, problem);
    if (!document)
        return problem.failure();
    std::optional<json::ObjectReader> reader = json::ObjectReader::open(*document, {}, problem);
    if (!reader)
        return problem.failure();

    StationCatalog catalog;
    if (!reader->read(QStringLiteral("schemaVersion"), catalog.schemaVersion)) {
        return problem.failure();
    }
    const QString stationsKey = QStringLiteral("stations");
    const QJsonValue stations = reader->value(stationsKey);
    if (stations.isUndefined()) {
        problem.report(stationsKey, QStringLiteral("missing key"));
        return problem.failure();
    }
    if (!stations.isArray()) {
        problem.report(stationsKey,
                       QStringLiteral("expected array, found ") + json::describeType(stations));
        return problem.failure();
    }
    const QJsonArray elements = stations.toArray();
    catalog.stations.reserve(elements.size());
    for (qsizetype index = 0; index < elements.size(); ++index) {
        Outcome<Station> station =
            Station::fromJson(elements.at(index), json::indexPath(stationsKey, index));
        if (!station)
            return station.failure();
        catalog.stations.push_back(std::move(station).value());
    }
    return catalog;
}

QByteArray StationCatalog::encode() const {
    QJsonArray elements;
    for (const Station& station : stations)
        elements.append(station.toJson());
    return json::serialise(QJsonObject{{QStringLiteral("schemaVersion"), schemaVersion},
                                       {QStringLiteral("stations"), elements}});
}

}  // namespace orvanta
