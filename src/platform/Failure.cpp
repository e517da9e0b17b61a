#include "platform/Failure.h"

namespace orvanta {

QString Failure::describe() const {
    QString text = domain + QLatin1Char(' ') + QString::number(code);
    if (!message.isEmpty())
        text += QStringLiteral(": ") + message;
    return text;
}

}  // namespace orvanta
