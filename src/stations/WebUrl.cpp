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
    QString text = QString::fromLatin1(url.toEncoded(QUrl::FullyEncoded));
    // Even fully encoded, QUrl leaves "[" and "]" as they are outside the
    // host, where the URL syntax does not allow them: a photo folder under a
    // home folder named "a[1]" would otherwise have no address at all.
    qsizetype afterAuthority = url.scheme().isEmpty() ? 0 : url.scheme().size() + 1;
    if (QStringView(text).sliced(afterAuthority).startsWith(u"//")) {
        afterAuthority += 2;
        while (afterAuthority < text.size() && !QStringView(u"/?#").contains(text[afterAuthority]))
            ++afterAuthority;
    }
    for (qsizetype i = text.size() - 1; i >= afterAuthority; --i) {
        if (text[i] == u'[')
            text.replace(i, 1, QStringLiteral("%5B"));
        else if (text[i] == u']')
            text.replace(i, 1, QStringLiteral("%5D"));
    }
    return parse(text);
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
