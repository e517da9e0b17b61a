#pragma once

#include "platform/Failure.h"
#include "stations/WebUrl.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

namespace orvanta::json {

// Strict decoding of the stations' JSON records. There are no defaults: the
// first missing key or wrong type stops the decode, and the problem is kept
// together with where it sits ("stations[3].isEnabled: missing key") so that
// a rejected document can be diagnosed from the message alone.
class Problem {
public:
    bool has() const { return !text_.isEmpty(); }
    const QString& text() const { return text_; }
    Failure failure() const { return Failure::decoding(text_); }

    // Keeps the first problem only; returns false for use in `return` chains.
    bool report(const QString& path, const QString& problem);

private:
    QString text_;
};

QString keyPath(const QString& parent, const QString& key);
QString indexPath(const QString& parent, qsizetype index);
QString describeType(const QJsonValue& value);

// Parses a whole document; a syntax error is a problem at the root.
std::optional<QJsonValue> parseDocument(const QByteArray& bytes, Problem& problem);
QByteArray serialise(const QJsonValue& value);

// The canonical upper-case text of a UUID, and the strict reading of one:
// 36 characters, 8-4-4-4-12 hexadecimal digits of either case, no braces.
QString uuidText(const QUuid& id);
std::optional<QUuid> parseUuid(QStringView text);

// Dates as seconds since 2001-01-01 00:00:00 UTC.
double referenceSeconds(const QDateTime& time);
std::optional<QDateTime> fromReferenceSeconds(double seconds);

// Reads the fields of one JSON object located at `path`.
class ObjectReader {
public:
    // Reports a problem and gives none when `value` is not an object.
    static std::optional<ObjectReader> open(const QJsonValue& value, const QString& path,
                                            Problem& problem);

    QString pathOf(const QString& key) const { return keyPath(path_, key); }
    // Absent keys come back undefined, so `isPresent` tells absent/null apart.
    QJsonValue value(const QString& key) const { return object_.value(key); }
    bool isPresent(const QString& key) const;

    // Required fields: a missing key or a value of another type is a problem.
    bool read(const QString& key, QString& out);
    bool read(const QString& key, qint64& out);
    bool read(const QString& key, bool& out);
    bool read(const QString& key, double& out);
    bool read(const QString& key, WebUrl& out);
    bool read(const QString& key, QUuid& out);
    bool read(const QString& key, QDateTime& out);

    // Optional fields: an absent key or null gives none; anything else must
    // have the right type.
    template <typename T>
    bool read(const QString& key, std::optional<T>& out) {
        out.reset();
        if (!isPresent(key))
            return true;
        T value{};
        if (!read(key, value))
            return false;
        out = std::move(value);
        return true;
    }

    Problem& problem() { return problem_; }

private:
    ObjectReader(QJsonObject object, QString path, Problem& problem)
        : object_(std::move(object)), path_(std::move(path)), problem_(problem) {}

    bool find(const QString& key, QJsonValue& out);
    bool wrongType(const QString& key, const QJsonValue& value, const char* expected);

    QJsonObject object_;
    QString path_;
    Problem& problem_;
};

}  // namespace orvanta::json
