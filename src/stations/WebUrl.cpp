#include "stations/WebUrl.h"

namespace orvanta {

std::optional<WebUrl> WebUrl::parse(QStringView text) {
    if (text.isEmpty())
        return std::nullopt;
    std::optional<UrlComponents> components = UrlComponents::parse(text);
    if (!components)
        return std::nullopt;
    return WebUrl(text.toString(), std::move(*components));
}

std::optional<WebUrl> WebUrl::fromComponents(const UrlComponents& components) {
    std::optional<QString> text = components.text();
    if (!text || text->isEmpty())
        return std::nullopt;
    return WebUrl(std::move(*text), components);
}

std::optional<WebUrl> WebUrl::fromQUrl(const QUrl& url) {
    if (!url.isValid())
        return std::nullopt;
    return parse(QString::fromLatin1(url.toEncoded(QUrl::FullyEncoded)));
}

QUrl WebUrl::toQUrl() const {
    return QUrl::fromEncoded(text_.toLatin1(), QUrl::StrictMode);
}

std::optional<WebUrl> WebUrl::withPath(const QString& path) const {
    UrlComponents changed = components_;
    changed.path = path;
    return fromComponents(changed);
}

}  // namespace orvanta
