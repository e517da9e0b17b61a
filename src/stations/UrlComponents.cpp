#include "stations/UrlComponents.h"

namespace orvanta {

namespace {

bool isAlpha(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isHexDigit(QChar c) {
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool isUnreserved(QChar c) {
    return isAlpha(c) || isDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}
bool isSubDelimiter(QChar c) {
    return QStringView(u"!$&'()*+,;=").contains(c);
}

// Every character of `part` is allowed by `allowed` or starts a complete
// percent escape ("%" and two hexadecimal digits).
template <typename Allowed>
bool consistsOf(QStringView part, Allowed allowed) {
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part[i];
        if (c == u'%') {
            if (i + 2 >= part.size() || !isHexDigit(part[i + 1]) || !isHexDigit(part[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool isPathCharacter(QChar c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == u':' || c == u'@' || c == u'/';
}
bool isQueryCharacter(QChar c) {
    return isPathCharacter(c) || c == u'?';
}
bool isUserInfoCharacter(QChar c) {
    return isUnreserved(c) || isSubDelimiter(c);
}
bool isRegisteredNameCharacter(QChar c) {
    return isUnreserved(c) || isSubDelimiter(c);
}

bool isValidScheme(QStringView scheme) {
    if (scheme.isEmpty() || !isAlpha(scheme.front()))
        return false;
    for (QChar c : scheme) {
        if (!isAlpha(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

bool isValidHost(QStringView host) {
    if (host.startsWith(u'[')) {
        // IPv6 literal; the address itself is only checked for its alphabet,
        // which is enough to keep the authority unambiguous.
        if (host.size() < 4 || !host.endsWith(u']'))
            return false;
        const QStringView address = host.sliced(1, host.size() - 2);
        if (!address.contains(u':'))
            return false;
        for (QChar c : address) {
            if (!isHexDigit(c) && c != u':' && c != u'.')
                return false;
        }
        return true;
    }
    return consistsOf(host, isRegisteredNameCharacter);
}

bool isValidPort(QStringView port) {
    for (QChar c : port) {
        if (!isDigit(c))
            return false;
    }
    // Leading zeros aside, at most five digits: anything longer cannot be a
    // port and would overflow the number.
    qsizetype first = 0;
    while (first < port.size() && port[first] == u'0')
        ++first;
    return port.size() - first <= 5;
}

bool parseAuthority(QStringView authority, UrlComponents& components) {
    const qsizetype at = authority.lastIndexOf(u'@');
    QStringView hostAndPort = authority;
    if (at >= 0) {
        const QStringView userInfo = authority.first(at);
        hostAndPort = authority.sliced(at + 1);
        const qsizetype colon = userInfo.indexOf(u':');
        const QStringView user = colon >= 0 ? userInfo.first(colon) : userInfo;
        if (!consistsOf(user, isUserInfoCharacter))
            return false;
        components.user = user.toString();
        if (colon >= 0) {
            const QStringView password = userInfo.sliced(colon + 1);
            if (!consistsOf(password,
                            [](QChar c) { return isUserInfoCharacter(c) || c == u':'; })) {
                return false;
            }
            components.password = password.toString();
        }
    }

    QStringView host = hostAndPort;
    const qsizetype bracketEnd = hostAndPort.startsWith(u'[') ? hostAndPort.indexOf(u']') : -1;
    const qsizetype portColon = hostAndPort.indexOf(u':', bracketEnd >= 0 ? bracketEnd : 0);
    if (portColon >= 0) {
        const QStringView port = hostAndPort.sliced(portColon + 1);
        if (!isValidPort(port))
            return false;
        components.port = port.toString();
        host = hostAndPort.first(portColon);
    }
    if (!isValidHost(host))
        return false;
    components.host = host.toString();
    return true;
}

bool pathFitsAuthority(const UrlComponents& components) {
    if (components.host)
        return components.path.isEmpty() || components.path.startsWith(u'/');
    // Without an authority a path starting with "//" would read as one.
    if (components.path.startsWith(QStringLiteral("//")))
        return false;
    if (!components.scheme) {
        // A relative reference's first segment must not look like a scheme.
        const qsizetype slash = components.path.indexOf(u'/');
        const QStringView firstSegment =
            QStringView(components.path).first(slash >= 0 ? slash : components.path.size());
        if (firstSegment.contains(u':'))
            return false;
    }
    return true;
}

}  // namespace

std::optional<UrlComponents> UrlComponents::parse(QStringView text) {
    UrlComponents components;
    QStringView rest = text;

    const qsizetype colon = rest.indexOf(u':');
    if (colon >= 0) {
        const QStringView candidate = rest.first(colon);
        if (!candidate.contains(u'/') && !candidate.contains(u'?') && !candidate.contains(u'#') &&
            isValidScheme(candidate)) {
            components.scheme = candidate.toString();
            rest = rest.sliced(colon + 1);
        }
    }

    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0) {
        const QStringView fragment = rest.sliced(hash + 1);
        if (!consistsOf(fragment, isQueryCharacter))
            return std::nullopt;
        components.fragment = fragment.toString();
        rest = rest.first(hash);
    }
    const qsizetype question = rest.indexOf(u'?');
    if (question >= 0) {
        const QStringView query = rest.sliced(question + 1);
        if (!consistsOf(query, isQueryCharacter))
            return std::nullopt;
        components.query = query.toString();
        rest = rest.first(question);
    }
    if (rest.startsWith(QStringLiteral("//"))) {
        rest = rest.sliced(2);
        const qsizetype slash = rest.indexOf(u'/');
        const QStringView authority = slash >= 0 ? rest.first(slash) : rest;
        if (!parseAuthority(authority, components))
            return std::nullopt;
        rest = slash >= 0 ? rest.sliced(slash) : QStringView();
    }
    if (!consistsOf(rest, isPathCharacter))
        return std::nullopt;
    components.path = rest.toString();
    if (!pathFitsAuthority(components))
        return std::nullopt;
    return components;
}

std::optional<QString> UrlComponents::text() const {
    if (!host && (user || password || port))
        return std::nullopt;
    if (!pathFitsAuthority(*this))
        return std::nullopt;

    // Rebuild, then parse again: the text is only valid when it splits back
    // into the very same components.
    QString result;
    if (scheme)
        result += *scheme + u':';
    if (host) {
        result += QStringLiteral("//");
        if (user) {
            result += *user;
            if (password)
                result += u':' + *password;
            result += u'@';
        } else if (password) {
            result += u':' + *password + u'@';
        }
        result += *host;
        if (port)
            result += u':' + *port;
    }
    result += path;
    if (query)
        result += u'?' + *query;
    if (fragment)
        result += u'#' + *fragment;

    std::optional<UrlComponents> reparsed = parse(result);
    if (!reparsed)
        return std::nullopt;
    if (!user && password)
        reparsed->user.reset();  // ":pw@" reads back with an empty user
    if (*reparsed != *this)
        return std::nullopt;
    return result;
}

std::optional<int> UrlComponents::portNumber() const {
    if (!port || port->isEmpty())
        return std::nullopt;
    bool ok = false;
    const int value = port->toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString UrlComponents::hostName() const {
    if (!host)
        return {};
    if (host->startsWith(u'[') && host->endsWith(u']'))
        return host->sliced(1, host->size() - 2);
    return *host;
}

}  // namespace orvanta
