#include "stations/CatalogRequest.h"

namespace orvanta {

namespace {

bool isHeaderValue(const QString& text) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        const bool allowed = unit == u'\t' || (unit >= 0x20 && unit != 0x7f && unit <= 0xff);
        if (!allowed)
            return false;
    }
    return true;
}

}  // namespace

QUrl catalogRequestURL(const QUrl& catalogOrigin) {
    QUrl url = catalogOrigin;
    url.setPath(QStringLiteral("/api/v1/stations"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

HttpRequest catalogRequest(const QUrl& catalogOrigin, const std::optional<QString>& etag,
                           double timeoutSeconds) {
    HttpRequest request(catalogRequestURL(catalogOrigin), timeoutSeconds);
    request.cachePolicy = CachePolicy::reloadIgnoringCache;
    if (etag && isHeaderValue(*etag))
        request.setHeader("If-None-Match", etag->toLatin1());
    return request;
}

}  // namespace orvanta
