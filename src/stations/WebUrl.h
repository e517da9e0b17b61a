#pragma once

#include "stations/UrlComponents.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

namespace orvanta {

// A URL kept exactly as written. Station and personal-station addresses are
// compared, stored and synchronised as texts, so the value must not be
// normalised behind the caller's back the way QUrl does ("%2f" to "%2F",
// "%41" to "A", an upper-case scheme to lower case). Two values are equal
// when their texts are equal.
class WebUrl {
public:
    // The empty reference; `parse` never produces it.
    WebUrl() = default;

    // None when the text is empty or not a well-formed URL (see
    // UrlComponents::parse).
    static std::optional<WebUrl> parse(QStringView text);
    // The URL that the components spell; none when they cannot form one.
    static std::optional<WebUrl> fromComponents(const UrlComponents& components);
    // The fully encoded form of a QUrl; none when QUrl holds no valid URL.
    static std::optional<WebUrl> fromQUrl(const QUrl& url);

    const QString& text() const { return text_; }
    const UrlComponents& components() const { return components_; }
    bool isEmpty() const { return text_.isEmpty(); }

    // For handing the address to Qt's network and media classes.
    QUrl toQUrl() const;

    // The same URL with another percent-encoded path; none when the result
    // would not be a URL.
    std::optional<WebUrl> withPath(const QString& path) const;

    friend bool operator==(const WebUrl& a, const WebUrl& b) { return a.text_ == b.text_; }

private:
    WebUrl(QString text, UrlComponents components)
        : text_(std::move(text)), components_(std::move(components)) {}

    QString text_;
    UrlComponents components_;
};

inline size_t qHash(const WebUrl& url, size_t seed = 0) {
    return qHash(url.text(), seed);
}

}  // namespace orvanta
