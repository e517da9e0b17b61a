#pragma once

#include "platform/Failure.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta {

// Reads typed fields of one JSON object with the rules of the catalog
// server's records: optional fields are empty when absent or null, required
// ones must be there, and a value of the wrong type fails the whole record.
// The first problem is kept; later reads then return empty values, so a
// decoder reads every field and checks failure() once at the end.
class JsonFieldReader {
public:
    explicit JsonFieldReader(const QJsonObject& object) : object_(object) {}

    QString requiredText(QLatin1StringView key);
    std::optional<QString> optionalText(QLatin1StringView key);
    // A whole number that fits in 64 bits (written as 42, 42.0 or 4.2e1).
    std::optional<qint64> optionalInteger(QLatin1StringView key);
    std::optional<double> optionalNumber(QLatin1StringView key);
    std::optional<bool> optionalBoolean(QLatin1StringView key);
    // An address text; the empty text counts as no address.
    std::optional<QUrl> optionalUrl(QLatin1StringView key);
    // An RFC 3339 date text (see APIJSON).
    std::optional<QDateTime> optionalDate(QLatin1StringView key);
    // A nested object, or none when absent or null.
    std::optional<QJsonObject> optionalObject(QLatin1StringView key);

    const std::optional<Failure>& failure() const { return failure_; }
    void fail(const QString& message);

private:
    // The value at `key`, or none when it is absent, null or reading has
    // already failed.
    std::optional<QJsonValue> present(QLatin1StringView key);
    void failType(QLatin1StringView key, const char* expected);

    QJsonObject object_;
    std::optional<Failure> failure_;
};

}  // namespace orvanta
