#include "nowplaying/JsonFieldReader.h"

#include "nowplaying/APIJSON.h"

namespace orvanta {

void JsonFieldReader::fail(const QString& message) {
    if (!failure_)
        failure_ = Failure::decoding(message);
}

void JsonFieldReader::failType(QLatin1StringView key, const char* expected) {
    fail(QStringLiteral("Expected %1 for key \"%2\"").arg(QLatin1StringView(expected), key));
}

std::optional<QJsonValue> JsonFieldReader::present(QLatin1StringView key) {
    if (failure_)
        return std::nullopt;
    const QJsonValue value = object_.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value;
}

QString JsonFieldReader::requiredText(QLatin1StringView key) {
    if (failure_)
        return QString();
    const QJsonValue value = object_.value(key);
    if (value.isUndefined()) {
        fail(QStringLiteral("Missing key \"%1\"").arg(key));
        return QString();
    }
    if (!value.isString()) {
        failType(key, "text");
        return QString();
    }
    return value.toString();
}

std::optional<QString> JsonFieldReader::optionalText(QLatin1StringView key) {
    const std::optional<QJsonValue> value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isString()) {
        failType(key, "text");
        return std::nullopt;
    }
    return value->toString();
}

std::optional<qint64> JsonFieldReader::optionalInteger(QLatin1StringView key) {
    const std::optional<QJsonValue> value = present(key);
    if (!value)
        return std::nullopt;
    // toInteger answers only for whole numbers that fit in 64 bits; the two
    // probes tell such a number from one that is not.
    const qint64 probe = value->toInteger(0);
    if (!value->isDouble() || probe != value->toInteger(1)) {
        failType(key, "a 64-bit integer");
        return std::nullopt;
    }
    return probe;
}

std::optional<double> JsonFieldReader::optionalNumber(QLatin1StringView key) {
    const std::optional<QJsonValue> value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isDouble()) {
        failType(key, "a number");
        return std::nullopt;
    }
    return value->toDouble();
}

std::optional<bool> JsonFieldReader::optionalBoolean(QLatin1StringView key) {
    const std::optional<QJsonValue> value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isBool()) {
        failType(key, "a boolean");
        return std::nullopt;
    }
    return value->toBool();
}

std::optional<QUrl> JsonFieldReader::optionalUrl(QLatin1StringView key) {
    const std::optional<QString> text = optionalText(key);
    if (!text || text->isEmpty())
        return std::nullopt;
    QUrl url(*text, QUrl::TolerantMode);
    if (!url.isValid()) {
        fail(QStringLiteral("Invalid URL string for key \"%1\"").arg(key));
        return std::nullopt;
    }
    return url;
}

std::optional<QDateTime> JsonFieldReader::optionalDate(QLatin1StringView key) {
    const std::optional<QString> text = optionalText(key);
    if (!text)
        return std::nullopt;
    std::optional<QDateTime> date = APIJSON::parseDate(*text);
    if (!date)
        fail(APIJSON::invalidDateMessage);
    return date;
}

std::optional<QJsonObject> JsonFieldReader::optionalObject(QLatin1StringView key) {
    const std::optional<QJsonValue> value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isObject()) {
        failType(key, "an object");
        return std::nullopt;
    }
    return value->toObject();
}

}  // namespace orvanta
