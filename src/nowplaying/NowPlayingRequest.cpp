#include "nowplaying/NowPlayingRequest.h"

#include "nowplaying/APIJSON.h"
#include "nowplaying/OrvantaSpotifyMetadata.h"

namespace orvanta {

using namespace Qt::Literals::StringLiterals;

Outcome<QUrl> nowPlayingRequestURL(const QString& stationId, const QUrl& catalogOrigin) {
    QString path;
    if (stationId == spotifyStationId) {
        path = u"/api/spotify/now-playing"_s;
    } else {
        if (stationId.isEmpty() || stationId == "."_L1 || stationId == ".."_L1)
            return Failure::url(UrlError::badURL,
                                u"Station id is not a path component: \"%1\""_s.arg(stationId));
        // Sub-delimiters, ":" and "@" may stand in a path segment as they are;
        // everything else that is not unreserved, "/" included, is escaped.
        const QByteArray component = QUrl::toPercentEncoding(stationId, "!$&'()*+,;=:@");
        path = u"/api/v1/stations/"_s + QString::fromLatin1(component) + u"/now-playing"_s;
    }
    QUrl url = catalogOrigin;
    url.setPath(path, QUrl::TolerantMode);
    if (!url.isValid())
        return Failure::url(UrlError::badURL);
    return url;
}

Outcome<HttpRequest> nowPlayingRequest(const QString& stationId, const QUrl& catalogOrigin) {
    Outcome<QUrl> url = nowPlayingRequestURL(stationId, catalogOrigin);
    if (!url.ok())
        return url.propagate<HttpRequest>();
    HttpRequest request(std::move(url).value(), nowPlayingTimeoutSeconds);
    request.cachePolicy = CachePolicy::reloadIgnoringCache;
    return request;
}

Outcome<NowPlayingSnapshot> decodeNowPlayingResponse(const HttpResponse& response,
                                                     const QByteArray& body,
                                                     const QString& requestedStationId,
                                                     const QDateTime& now) {
    if (!response.isHTTP || response.status != 200)
        return Failure::url(UrlError::badServerResponse,
                            u"Now-playing answer with status %1"_s.arg(response.status));
    if (body.size() > nowPlayingMaximumBodyBytes)
        return Failure::url(UrlError::badServerResponse,
                            u"Now-playing answer of %1 bytes is too long"_s.arg(body.size()));

    if (requestedStationId == spotifyStationId) {
        Outcome<OrvantaSpotifyMetadata> metadata = APIJSON::decode<OrvantaSpotifyMetadata>(body);
        if (!metadata.ok())
            return metadata.propagate<NowPlayingSnapshot>();
        return metadata->makeSnapshot(now);
    }

    Outcome<NowPlayingSnapshot> snapshot = APIJSON::decode<NowPlayingSnapshot>(body);
    if (snapshot.ok() && snapshot->stationId != requestedStationId)
        return Failure::url(UrlError::cannotParseResponse,
                            u"Now-playing answer for station \"%1\" instead of \"%2\""_s.arg(
                                snapshot->stationId, requestedStationId));
    return snapshot;
}

}  // namespace orvanta
