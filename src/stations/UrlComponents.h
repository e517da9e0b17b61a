#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace orvanta {

// The parts of a URL exactly as they were written (RFC 3986 generic syntax),
// split without resolving against a base. Unlike QUrl nothing is decoded,
// re-encoded or case-folded: "%2f" stays "%2f", an upper-case scheme stays
// upper case and an empty port ("host:") is kept. Address rules that must
// compare or preserve the written form work on these components.
struct UrlComponents {
    std::optional<QString> scheme;
    // Present exactly when the URL has an authority ("//..."); may be empty.
    // An IP literal keeps its brackets, e.g. "[::1]".
    std::optional<QString> host;
    std::optional<QString> user;
    std::optional<QString> password;
    // The port digits as written; an empty text ("host:") counts as no port.
    std::optional<QString> port;
    QString path;  // percent-encoded, as written
    std::optional<QString> query;
    std::optional<QString> fragment;

    // Splits a URL text; none when it is not a well-formed URL reference
    // (characters outside the URL alphabet, white space, non-ASCII text, a
    // broken percent escape, a malformed authority or port).
    static std::optional<UrlComponents> parse(QStringView text);

    // The URL text built from the components; none when they cannot form one
    // (for example a path without a leading "/" after an authority, or a
    // component holding a character its position does not allow).
    std::optional<QString> text() const;

    // The port number; none when the port is absent or empty.
    std::optional<int> portNumber() const;
    // The host without the brackets of an IP literal; empty when absent.
    QString hostName() const;

    friend bool operator==(const UrlComponents&, const UrlComponents&) = default;
};

}  // namespace orvanta
