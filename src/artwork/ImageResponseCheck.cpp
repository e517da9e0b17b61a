#include "artwork/ImageResponseCheck.h"

#include "artwork/ArtworkLimits.h"

namespace orvanta {

namespace {

Failure badResponse(const QString& reason) {
    return Failure::url(UrlError::badServerResponse, reason);
}

}  // namespace

std::optional<Failure> checkImageResponse(const HttpResponse& response) {
    if (!response.isHTTP)
        return badResponse(QStringLiteral("The response is not HTTP."));
    if (response.status != 200)
        return badResponse(QStringLiteral("The status is %1, not 200.").arg(response.status));
    if (response.finalUrl.isEmpty() || response.finalUrl.scheme() != QLatin1String("https"))
        return badResponse(QStringLiteral("The final address is not HTTPS."));
    if (!response.mimeType().startsWith(QLatin1String("image/")))
        return badResponse(QStringLiteral("The media type is not an image type."));
    if (response.expectedLength > ArtworkLimits::maximumDownloadBytes) {
        return badResponse(QStringLiteral("The announced length %1 is above %2 bytes.")
                               .arg(response.expectedLength)
                               .arg(ArtworkLimits::maximumDownloadBytes));
    }
    return std::nullopt;
}

}  // namespace orvanta
