#include "artwork/CacheFreshness.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

namespace orvanta {

namespace {

std::optional<qint64> maxAge(const HttpResponse& response) {
    const std::optional<QString> control = response.headerText("Cache-Control");
    if (!control)
        return std::nullopt;
    static const QRegularExpression directive(
        QStringLiteral("(?:^|,)\\s*max-age\\s*=\\s*\"?(\\d+)\"?\\s*(?:,|$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = directive.match(*control);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = match.captured(1).toLongLong(&ok);
    // Absurd lifetimes are cut to a year.
    return ok ? std::min<qint64>(seconds, 365LL * 24 * 3600) : 365LL * 24 * 3600;
}

std::optional<QDateTime> httpDate(const HttpResponse& response, QByteArrayView name) {
    const std::optional<QString> text = response.headerText(name);
    if (!text)
        return std::nullopt;
    // HTTP dates are "Sun, 06 Nov 1994 08:49:37 GMT", which Qt's RFC 2822
    // reading refuses for the zone name.
    QDateTime date =
        QLocale::c().toDateTime(text->trimmed(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (date.isValid()) {
        date.setTimeZone(QTimeZone::utc());
        return date;
    }
    date = QDateTime::fromString(text->trimmed(), Qt::RFC2822Date);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

}  // namespace

std::optional<QDateTime> freshnessExpiry(const HttpResponse& response, const QDateTime& now) {
    qint64 lifetime = 0;
    if (const std::optional<qint64> seconds = maxAge(response)) {
        lifetime = *seconds;
    } else if (response.header("Expires")) {
        const std::optional<QDateTime> expires = httpDate(response, "Expires");
        const QDateTime date = httpDate(response, "Date").value_or(now);
        // An unreadable date ("0", "-1") means already expired.
        lifetime = expires ? std::max<qint64>(0, date.secsTo(*expires)) : 0;
    } else {
        return std::nullopt;
    }
    bool ageOk = false;
    const qint64 age = response.headerText("Age").value_or(QString()).trimmed().toLongLong(&ageOk);
    if (ageOk && age > 0)
        lifetime = std::max<qint64>(0, lifetime - age);
    return now.addSecs(lifetime);
}

}  // namespace orvanta
