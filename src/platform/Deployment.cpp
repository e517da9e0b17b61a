#include "platform/Deployment.h"

namespace orvanta::Deployment {

namespace {

QUrl originFromEnvironment(const char* variable, const char* fallback) {
    const QByteArray value = qgetenv(variable);
    QUrl url(QString::fromUtf8(value.isEmpty() ? QByteArray(fallback) : value));
    url.setPath(QString());
    return url;
}

}  // namespace

QUrl catalogOrigin() {
    static const QUrl origin =
        originFromEnvironment("ORVANTA_CATALOG_URL", "https://radio.orvanta.com");
    return origin;
}

QUrl imageOrigin() {
    static const QUrl origin =
        originFromEnvironment("ORVANTA_IMAGE_URL", "https://images.orvanta.com");
    return origin;
}

QString catalogHost() {
    return catalogOrigin().host().toLower();
}

int catalogPort() {
    const int port = catalogOrigin().port(-1);
    return port == 443 ? -1 : port;
}

}  // namespace orvanta::Deployment
