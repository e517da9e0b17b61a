#include "artwork/ResultAcceptance.h"

#include <QStringList>

namespace orvanta::CatalogMatching {

namespace {

using namespace Qt::Literals::StringLiterals;

// Build-time constants: the hosts each catalog serves covers and track pages
// from.
const QStringList deezerImageHosts{u"e-cdns-images.dzcdn.net"_s, u"cdn-images.dzcdn.net"_s};
const QStringList deezerPageHosts{u"www.deezer.com"_s, u"deezer.com"_s};
const QString appleArtworkDomain = u"mzstatic.com"_s;
const QStringList applePageHosts{u"music.apple.com"_s, u"itunes.apple.com"_s};

bool isPlainHttps(const QUrl& url) {
    return url.isValid() && url.scheme() == "https"_L1 && url.userName().isEmpty() &&
           url.password().isEmpty();
}

// The domain itself or a host under it. A bare suffix test would also let
// "evil-mzstatic.com" through.
bool isWithinDomain(const QString& host, const QString& domain) {
    return host == domain || (host.endsWith(domain) && host.size() > domain.size() &&
                              host[host.size() - domain.size() - 1] == u'.');
}

}  // namespace

bool acceptable(const Result& result, Catalog catalog) {
    if (!result.artworkUrl100 || !result.trackViewUrl)
        return false;
    const QUrl& artwork = *result.artworkUrl100;
    const QUrl& page = *result.trackViewUrl;
    if (!isPlainHttps(artwork) || !isPlainHttps(page))
        return false;
    if (artwork.port() != -1 && artwork.port() != 443)
        return false;
    const QString artworkHost = artwork.host().toLower();
    const QString pageHost = page.host().toLower();
    switch (catalog) {
        case Catalog::deezer:
            return deezerImageHosts.contains(artworkHost) && deezerPageHosts.contains(pageHost);
        case Catalog::apple:
            return isWithinDomain(artworkHost, appleArtworkDomain) &&
                   applePageHosts.contains(pageHost);
    }
    return false;
}

QUrl upsizeArtwork(const QUrl& url) {
    QString text = url.toString(QUrl::FullyEncoded);
    if (!text.contains("100x100bb"_L1))
        return url;
    text.replace("100x100bb"_L1, "600x600bb"_L1);
    const QUrl upsized(text, QUrl::StrictMode);
    return upsized.isValid() ? upsized : url;
}

}  // namespace orvanta::CatalogMatching
