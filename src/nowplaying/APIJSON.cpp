#include "nowplaying/APIJSON.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimeZone>

namespace orvanta::APIJSON {

namespace {

// Reads fixed-width decimal fields from the front of the text.
class DateScanner {
public:
    explicit DateScanner(QStringView text) : text_(text) {}

    bool number(int digits, int& value) {
        if (position_ + digits > text_.size())
            return false;
        value = 0;
        for (int i = 0; i < digits; ++i) {
            const char16_t c = text_[position_ + i].unicode();
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        position_ += digits;
        return true;
    }
    bool literal(char expected) { return oneOf(expected, expected); }
    // RFC 3339 allows the "T" and "Z" in lower case as well.
    bool oneOf(char a, char b) {
        if (atEnd() || (text_[position_] != QLatin1Char(a) && text_[position_] != QLatin1Char(b)))
            return false;
        ++position_;
        return true;
    }
    bool peek(char expected) const { return !atEnd() && text_[position_] == QLatin1Char(expected); }
    bool atEnd() const { return position_ >= text_.size(); }
    // One or more digits after the decimal point, as milliseconds.
    bool fraction(int& milliseconds) {
        milliseconds = 0;
        int digits = 0;
        while (!atEnd() && text_[position_].isDigit() && text_[position_].unicode() < 0x80) {
            if (digits < 3)
                milliseconds = milliseconds * 10 + (text_[position_].unicode() - '0');
            ++digits;
            ++position_;
        }
        for (int i = digits; i < 3; ++i)
            milliseconds *= 10;
        return digits > 0;
    }

private:
    QStringView text_;
    qsizetype position_ = 0;
};

}  // namespace

// date-time = YYYY-MM-DD "T" hh:mm:ss [ "." 1*DIGIT ] ( "Z" / ("+" / "-") hh:mm )
std::optional<QDateTime> parseDate(QStringView text) {
    DateScanner scan(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!scan.number(4, year) || !scan.literal('-') || !scan.number(2, month) ||
        !scan.literal('-') || !scan.number(2, day) || !scan.oneOf('T', 't') ||
        !scan.number(2, hour) || !scan.literal(':') || !scan.number(2, minute) ||
        !scan.literal(':') || !scan.number(2, second))
        return std::nullopt;
    if (scan.literal('.') && !scan.fraction(millisecond))
        return std::nullopt;
    int offsetSeconds = 0;
    if (!scan.oneOf('Z', 'z')) {
        const bool negative = scan.peek('-');
        int offsetHours = 0, offsetMinutes = 0;
        if (!scan.oneOf('+', '-') || !scan.number(2, offsetHours) || !scan.literal(':') ||
            !scan.number(2, offsetMinutes) || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (negative ? -1 : 1);
    }
    if (!scan.atEnd())
        return std::nullopt;
    // Leap seconds (":60") have no representation here and are refused too.
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millisecond);
    if (year < 1 || !date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, QTimeZone::utc()).addSecs(-offsetSeconds);
}

QString formatDate(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODateWithMs);
}

Outcome<QJsonObject> parseObject(QByteArrayView json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError)
        return Failure::decoding(QStringLiteral("Malformed JSON at offset %1: %2")
                                     .arg(error.offset)
                                     .arg(error.errorString()));
    if (!document.isObject())
        return Failure::decoding(QStringLiteral("Expected a JSON object"));
    return document.object();
}

}  // namespace orvanta::APIJSON
