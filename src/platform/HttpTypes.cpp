#include "platform/HttpTypes.h"

namespace orvanta {

std::optional<QByteArray> HttpResponse::header(QByteArrayView name) const {
    std::optional<QByteArray> value;
    for (const auto& [key, fieldValue] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (value) {
            value->append(", ").append(fieldValue);
        } else {
            value = fieldValue;
        }
    }
    return value;
}

std::optional<QString> HttpResponse::headerText(QByteArrayView name) const {
    auto value = header(name);
    if (!value)
        return std::nullopt;
    // Header values are ISO 8859-1 by the protocol's rules.
    return QString::fromLatin1(*value);
}

QString HttpResponse::mimeType() const {
    auto value = header("Content-Type");
    if (!value)
        return {};
    QByteArray type = *value;
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0)
        type.truncate(semicolon);
    return QString::fromLatin1(type.trimmed()).toLower();
}

}  // namespace orvanta
