#include "engine/StreamResponseError.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace orvanta {

namespace {

// Sign, digits with an optional fraction (either side of the point may be
// empty, not both), optional exponent; nothing around it.
std::optional<double> parseDecimal(const QString& text) {
    static const QRegularExpression decimal(QRegularExpression::anchoredPattern(
        QStringLiteral("[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?")));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    // Overflow ("1e999") is not a usable number of seconds.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "EEE, dd MMM yyyy HH:mm:ss zzz" with English names; HTTP dates are always
// in GMT, which is also the only zone accepted here.
std::optional<QDateTime> parseHttpDate(const QString& text) {
    const qsizetype lastSpace = text.lastIndexOf(QLatin1Char(' '));
    if (lastSpace < 0)
        return std::nullopt;
    const QStringView zone = QStringView(text).mid(lastSpace + 1);
    if (zone.compare(u"GMT", Qt::CaseInsensitive) != 0 &&
        zone.compare(u"UTC", Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QDateTime local =
        QLocale::c().toDateTime(text.left(lastSpace), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss"));
    if (!local.isValid())
        return std::nullopt;
    return QDateTime(local.date(), local.time(), QTimeZone::utc());
}

}  // namespace

Failure StreamResponseError::toFailure() const {
    return Failure{ErrorDomain::streamResponse, status,
                   QStringLiteral("The stream answered with HTTP status %1.").arg(status),
                   retryAfter};
}

std::optional<StreamResponseError> StreamResponseError::from(const Failure& failure) {
    if (failure.domain != ErrorDomain::streamResponse)
        return std::nullopt;
    return StreamResponseError{static_cast<int>(failure.code), failure.retryAfter};
}

bool isPermanentStatus(int status) {
    return status >= 400 && status <= 499 && status != 408 && status != 429;
}

std::optional<double> parseRetryAfter(const std::optional<QString>& header, const QDateTime& now) {
    if (!header)
        return std::nullopt;
    if (const std::optional<double> seconds = parseDecimal(*header))
        return *seconds > 0 ? *seconds : 0.0;  // also turns -0 into 0
    if (const std::optional<QDateTime> date = parseHttpDate(*header)) {
        const double seconds = double(now.msecsTo(*date)) / 1000.0;
        return seconds > 0 ? seconds : 0.0;
    }
    return std::nullopt;
}

}  // namespace orvanta
