#include "stations/JsonFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimeZone>

#include <cmath>

namespace orvanta::json {

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since the Unix epoch.
constexpr qint64 referenceEpochMSecs = 978307200000LL;
// About ±3000 years: beyond that a date is certainly corrupt, and the
// conversion to milliseconds must not overflow.
constexpr double maxReferenceSeconds = 1e11;

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

bool Problem::report(const QString& path, const QString& problem) {
    if (!has())
        text_ =
            (path.isEmpty() ? QStringLiteral("top level") : path) + QStringLiteral(": ") + problem;
    return false;
}

QString keyPath(const QString& parent, const QString& key) {
    return parent.isEmpty() ? key : parent + u'.' + key;
}

QString indexPath(const QString& parent, qsizetype index) {
    return parent + u'[' + QString::number(index) + u']';
}

QString describeType(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Bool:
            return QStringLiteral("boolean");
        case QJsonValue::Double:
            return QStringLiteral("number");
        case QJsonValue::String:
            return QStringLiteral("text");
        case QJsonValue::Array:
            return QStringLiteral("array");
        case QJsonValue::Object:
            return QStringLiteral("object");
        case QJsonValue::Undefined:
            break;
    }
    return QStringLiteral("nothing");
}

std::optional<QJsonValue> parseDocument(const QByteArray& bytes, Problem& problem) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        problem.report({}, QStringLiteral("not valid JSON (%1 at offset %2)")
                               .arg(error.errorString())
                               .arg(error.offset));
        return std::nullopt;
    }
    if (document.isObject())
        return QJsonValue(document.object());
    return QJsonValue(document.array());
}

QByteArray serialise(const QJsonValue& value) {
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(QStringView text) {
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool hyphenPosition = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPosition ? text[i] != u'-' : !isHexDigit(text[i]))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

double referenceSeconds(const QDateTime& time) {
    return static_cast<double>(time.toMSecsSinceEpoch() - referenceEpochMSecs) / 1000.0;
}

std::optional<QDateTime> fromReferenceSeconds(double seconds) {
    if (!std::isfinite(seconds) || std::abs(seconds) > maxReferenceSeconds)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(referenceEpochMSecs + std::llround(seconds * 1000.0),
                                          QTimeZone::utc());
}

std::optional<ObjectReader> ObjectReader::open(const QJsonValue& value, const QString& path,
                                               Problem& problem) {
    if (!value.isObject()) {
        problem.report(path, QStringLiteral("expected object, found ") + describeType(value));
        return std::nullopt;
    }
    return ObjectReader(value.toObject(), path, problem);
}

bool ObjectReader::isPresent(const QString& key) const {
    const QJsonValue found = object_.value(key);
    return !found.isUndefined() && !found.isNull();
}

bool ObjectReader::find(const QString& key, QJsonValue& out) {
    out = object_.value(key);
    if (out.isUndefined())
        return problem_.report(pathOf(key), QStringLiteral("missing key"));
    return true;
}

bool ObjectReader::wrongType(const QString& key, const QJsonValue& value, const char* expected) {
    return problem_.report(
        pathOf(key),
        QStringLiteral("expected %1, found %2").arg(QLatin1String(expected), describeType(value)));
}

bool ObjectReader::read(const QString& key, QString& out) {
    QJsonValue value;
    if (!find(key, value))
        return false;
    if (!value.isString())
        return wrongType(key, value, "text");
    out = value.toString();
    return true;
}

bool ObjectReader::read(const QString& key, qint64& out) {
    QJsonValue value;
    if (!find(key, value))
        return false;
    // Qt keeps integral numbers that fit 64 bits as integers; fractions and
    // out-of-range values stay doubles and are refused rather than rounded.
    if (!value.isDouble() || value.toVariant().typeId() != QMetaType::LongLong) {
        return wrongType(key, value, "64-bit integer");
    }
    out = value.toInteger();
    return true;
}

bool ObjectReader::read(const QString& key, bool& out) {
    QJsonValue value;
    if (!find(key, value))
        return false;
    if (!value.isBool())
        return wrongType(key, value, "boolean");
    out = value.toBool();
    return true;
}

bool ObjectReader::read(const QString& key, double& out) {
    QJsonValue value;
    if (!find(key, value))
        return false;
    if (!value.isDouble())
        return wrongType(key, value, "number");
    out = value.toDouble();
    return true;
}

bool ObjectReader::read(const QString& key, WebUrl& out) {
    QString text;
    if (!read(key, text))
        return false;
    std::optional<WebUrl> url = WebUrl::parse(text);
    if (!url)
        return problem_.report(pathOf(key), QStringLiteral("invalid URL"));
    out = std::move(*url);
    return true;
}

bool ObjectReader::read(const QString& key, QUuid& out) {
    QString text;
    if (!read(key, text))
        return false;
    std::optional<QUuid> id = parseUuid(text);
    if (!id)
        return problem_.report(pathOf(key), QStringLiteral("invalid UUID"));
    out = *id;
    return true;
}

bool ObjectReader::read(const QString& key, QDateTime& out) {
    double seconds = 0;
    if (!read(key, seconds))
        return false;
    std::optional<QDateTime> time = fromReferenceSeconds(seconds);
    if (!time)
        return problem_.report(pathOf(key), QStringLiteral("date out of range"));
    out = *time;
    return true;
}

}  // namespace orvanta::json
