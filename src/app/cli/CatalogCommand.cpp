#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "platform/Clock.h"
#include "platform/HttpSession.h"
#include "stations/CatalogCache.h"
#include "stations/StationAPI.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace orvanta::cli {

int catalog(const QStringList& arguments) {
    StationAPIConfiguration configuration;
    configuration.cacheFile = defaultCatalogCacheFile();
    const qsizetype cacheOption = arguments.indexOf(QStringLiteral("--cache"));
    if (cacheOption >= 0) {
        if (cacheOption + 1 >= arguments.size()) {
            printLine(errorObject(Failure::url(UrlError::badURL, "--cache needs a file")));
            return 2;
        }
        configuration.cacheFile = arguments[cacheOption + 1];
    }
    StationAPI api(Clock::system(), configuration);
    int status = 1;
    api.fetchCatalog().then(nullptr, [&status](const Outcome<CatalogResult>& result) {
        if (result.ok()) {
            QList<Station> stations = result->catalog.stations;
            sortInCatalogOrder(stations);
            QJsonArray list;
            for (const Station& station : stations) {
                const std::optional<QString> key = station.streamKey();
                list.append(QJsonObject{
                    {"id", station.id}, {"title", station.title}, {"streamKey", textOrNull(key)}});
            }
            printLine({{"isCached", result->isCached}, {"stations", list}});
            status = 0;
        } else if (result.failed()) {
            printLine(errorObject(result.failure()));
        }
        QCoreApplication::exit(status);
    });
    QCoreApplication::exec();
    return status;
}

}  // namespace orvanta::cli
