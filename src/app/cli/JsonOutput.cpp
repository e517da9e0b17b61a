#include "cli/JsonOutput.h"

#include <QJsonDocument>

#include <cstdio>

namespace orvanta::cli {

void printLine(const QJsonObject& object) {
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QJsonValue textOrNull(const std::optional<QString>& text) {
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject errorObject(const Failure& failure) {
    return {{"error", QJsonObject{{"code", qint64(failure.code)}, {"message", failure.message}}}};
}

}  // namespace orvanta::cli
