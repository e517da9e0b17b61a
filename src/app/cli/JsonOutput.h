#pragma once

#include "platform/Failure.h"

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace orvanta::cli {

// Prints one JSON object on its own line, UTF-8, and flushes.
void printLine(const QJsonObject& object);
// A text or null.
QJsonValue textOrNull(const std::optional<QString>& text);
// {"error": {"code": N, "message": "..."}}
QJsonObject errorObject(const Failure& failure);

}  // namespace orvanta::cli
