#include "engine/StreamProbe.h"

#include "engine/StreamResponseError.h"
#include "stations/CatalogAddress.h"

#include <memory>

namespace orvanta {

namespace {

bool isPlayableMediaType(const QString& type) {
    return type.startsWith(QLatin1String("audio/")) ||
           type == QLatin1String("application/vnd.apple.mpegurl") ||
           type == QLatin1String("application/x-mpegurl");
}

// The statuses under which a catalog programme's plain address may still be
// served at its ".mp3" address (older servers know only that one).
bool mayLiveAtMp3Address(int status) {
    return status == 404 || status == 405 || status == 415;
}

}  // namespace

HttpRequest StreamProbe::request(const WebUrl& url) {
    HttpRequest request(url.toQUrl(), timeoutSeconds);
    // A cached answer says nothing about whether the stream is on air now.
    request.cachePolicy = CachePolicy::reloadIgnoringCache;
    request.setHeader("Accept", "audio/*, application/vnd.apple.mpegurl, application/x-mpegurl");
    request.setHeader("Icy-MetaData", "1");
    return request;
}

Outcome<StreamCheckResult> StreamProbe::judge(const WebUrl& url, const HttpResponse& response,
                                              const QDateTime& now) {
    if (!response.isHTTP)
        return Failure::url(UrlError::badServerResponse);
    if (response.status < 200 || response.status > 299) {
        return StreamResponseError{response.status,
                                   parseRetryAfter(response.headerText("Retry-After"), now)}
            .toFailure();
    }
    const QString type = response.mimeType();
    // The player follows the same redirects; a stream that ends up in plain
    // HTTP is refused like one that is not audio at all.
    const bool secure = response.finalUrl.isValid() &&
                        response.finalUrl.scheme().toLower() == QLatin1String("https");
    if (!isPlayableMediaType(type) || !secure)
        return StreamResponseError{415, std::nullopt}.toFailure();
    return StreamCheckResult{url,
                             response.finalUrl,
                             response.status,
                             type,
                             response.headerText("icy-genre"),
                             response.headers};
}

Task<Outcome<StreamCheckResult>> StreamProbe::check(WebUrl url, CancelToken token) const {
    return checkWith(session_, clock_, std::move(url), std::move(token));
}

Task<Outcome<StreamCheckResult>> StreamProbe::resolve(WebUrl url, CancelToken token) const {
    return resolveWith(session_, clock_, std::move(url), std::move(token));
}

Task<Outcome<StreamCheckResult>> StreamProbe::checkWith(HttpSession* session, const Clock* clock,
                                                        WebUrl url, CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    std::unique_ptr<HttpStream> stream = session->openStream(request(url));
    const Outcome<HttpResponse> head = co_await stream->response(token);
    // Only the head matters: stop the body before it costs anything.
    stream->cancel();
    if (token.isCancelled())
        co_return Cancelled{};
    if (!head)
        co_return head.propagate<StreamCheckResult>();
    co_return judge(url, *head, clock->wallNow());
}

Task<Outcome<StreamCheckResult>> StreamProbe::resolveWith(HttpSession* session, const Clock* clock,
                                                          WebUrl url, CancelToken token) {
    const WebUrl canonical = canonicalStreamURL(url);
    Outcome<StreamCheckResult> first = co_await checkWith(session, clock, canonical, token);
    if (!first.failed())
        co_return first;
    const std::optional<StreamResponseError> refusal = StreamResponseError::from(first.failure());
    if (!refusal || !mayLiveAtMp3Address(refusal->status))
        co_return first;
    const std::optional<WebUrl> mp3 = mp3StreamURL(url);
    if (!mp3)
        co_return first;
    co_return co_await checkWith(session, clock, *mp3, token);
}

}  // namespace orvanta
