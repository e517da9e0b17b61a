#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

namespace orvanta {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

enum class CachePolicy {
    protocolDefault,      // the protocol's own caching rules
    reloadIgnoringCache,  // never answer from local data; always ask the server
};

// A GET of an absolute HTTP(S) address.
struct HttpRequest {
    QUrl url;
    double timeout = 60.0;  // seconds without progress before the request fails
    CachePolicy cachePolicy = CachePolicy::protocolDefault;
    HttpHeaders headers;

    HttpRequest() = default;
    explicit HttpRequest(QUrl address, double timeoutSeconds = 60.0)
        : url(std::move(address)), timeout(timeoutSeconds) {}
    HttpRequest& setHeader(const QByteArray& name, const QByteArray& value) {
        headers.append({name, value});
        return *this;
    }
};

struct HttpResponse {
    bool isHTTP = false;
    int status = 0;
    HttpHeaders headers;
    QUrl finalUrl;               // after redirects
    qint64 expectedLength = -1;  // announced body length; -1 when not stated

    // Header fields by name, matched without regard to letter case; several
    // fields of one name are joined with ", ".
    std::optional<QByteArray> header(QByteArrayView name) const;
    std::optional<QString> headerText(QByteArrayView name) const;
    // The media type without parameters, lower-cased; empty when absent.
    QString mimeType() const;
};

struct HttpBody {
    HttpResponse response;
    QByteArray data;
};

}  // namespace orvanta
