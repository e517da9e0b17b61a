#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "engine/RadioPlaybackEngine.h"
#include "engine/StreamProbe.h"

#include <QCoreApplication>

namespace orvanta::cli {

int probe(const QStringList& arguments) {
    const std::optional<WebUrl> url =
        arguments.isEmpty() ? std::nullopt : WebUrl::parse(arguments.first());
    if (!url) {
        printLine(
            errorObject(Failure::url(UrlError::badURL, QStringLiteral("probe needs an address"))));
        return 2;
    }
    StreamProbe probe;
    int status = 1;
    probe.resolve(*url).then(nullptr, [&status](const Outcome<StreamCheckResult>& result) {
        if (result.ok()) {
            printLine({{"address", result->address.text()},
                       {"finalUrl", result->finalUrl.toString()},
                       {"status", result->status},
                       {"mimeType", result->mimeType},
                       {"genre", textOrNull(result->genre)}});
            status = 0;
        } else if (result.failed()) {
            const EngineFailure failure = RadioPlaybackEngine::failureOfCheck(result.failure());
            QJsonObject object = errorObject(result.failure());
            object.insert("message", failure.message);
            object.insert("permanent", failure.permanent);
            object.insert("retryAfter", failure.retryAfter ? QJsonValue(*failure.retryAfter)
                                                           : QJsonValue(QJsonValue::Null));
            printLine(object);
        }
        QCoreApplication::exit(status);
    });
    if (status == 1)
        QCoreApplication::exec();
    return status;
}

}  // namespace orvanta::cli
