#pragma once

#include "platform/Outcome.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringView>

#include <optional>

namespace orvanta {

// JSON decoding of the catalog server's records that carry dates. Dates are
// RFC 3339 texts, with or without fractional seconds
// ("2025-01-31T18:04:05.250Z", "2025-01-31T18:04:05+02:00"); any other text
// fails the decode with "Expected RFC 3339 date".
namespace APIJSON {

inline const QString invalidDateMessage = QStringLiteral("Expected RFC 3339 date");

// The instant an RFC 3339 date-time names, in UTC; none for any other text.
// Precision is kept to the millisecond (further digits are dropped).
std::optional<QDateTime> parseDate(QStringView text);
// UTC with milliseconds, for example "2025-01-31T18:04:05.250Z".
QString formatDate(const QDateTime& date);

// The top-level object of a JSON document; malformed JSON or another kind of
// top-level value is a decoding failure.
Outcome<QJsonObject> parseObject(QByteArrayView json);

// Decodes a record type that has `static Outcome<T> fromJson(const QJsonObject&)`.
template <typename T>
Outcome<T> decode(QByteArrayView json) {
    Outcome<QJsonObject> object = parseObject(json);
    if (!object.ok())
        return object.template propagate<T>();
    return T::fromJson(object.value());
}

}  // namespace APIJSON
}  // namespace orvanta
