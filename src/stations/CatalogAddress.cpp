#include "stations/CatalogAddress.h"

#include "platform/Deployment.h"

#include <array>

namespace orvanta {

namespace {

constexpr std::array<QStringView, 3> programmePaths = {u"/worship", u"/ukraine", u"/lounge"};
constexpr QStringView mp3Suffix = u".mp3";

bool isProgrammePath(QStringView path) {
    for (QStringView programme : programmePaths) {
        if (path == programme)
            return true;
    }
    return false;
}

bool isCatalogPort(const UrlComponents& components) {
    const std::optional<int> port = components.portNumber();
    const int catalogPort = Deployment::catalogPort();
    if (catalogPort == -1)
        return !port || *port == 443;
    return port == catalogPort;
}

}  // namespace

std::optional<QString> catalogPath(const WebUrl& url) {
    const UrlComponents& components = url.components();
    if (!components.scheme || components.scheme->toLower() != u"https")
        return std::nullopt;
    // The ACE form: URL texts never hold Unicode host names.
    const QString catalogHost = Deployment::catalogOrigin().host(QUrl::FullyEncoded).toLower();
    if (!components.host || components.hostName().toLower() != catalogHost)
        return std::nullopt;
    if (!isCatalogPort(components))
        return std::nullopt;
    if (components.user || components.password || components.fragment)
        return std::nullopt;
    return components.path;
}

WebUrl canonicalStreamURL(const WebUrl& url) {
    const std::optional<QString> path = catalogPath(url);
    if (!path || !path->endsWith(mp3Suffix))
        return url;
    const QString plainPath = path->chopped(mp3Suffix.size());
    if (!isProgrammePath(plainPath))
        return url;
    return url.withPath(plainPath).value_or(url);
}

std::optional<WebUrl> mp3StreamURL(const WebUrl& url) {
    const WebUrl canonical = canonicalStreamURL(url);
    const std::optional<QString> path = catalogPath(canonical);
    if (!path || !isProgrammePath(*path))
        return std::nullopt;
    return canonical.withPath(*path + mp3Suffix.toString());
}

}  // namespace orvanta
